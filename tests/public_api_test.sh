#!/usr/bin/env bash
# Every "jet/..." header included outside the engine (and its own tests) must
# be one of the engine's public headers.
#   public_api_test.sh SOURCE_DIR "PUBLIC;HEADERS;..."
set -euo pipefail
root=$1
IFS=';' read -r -a public <<< "$2"
((${#public[@]} > 0)) || { echo "public_api_test: no public headers given" >&2; exit 1; }
status=0
while IFS=: read -r file header; do
    name=${header#jet/}
    ok=0
    for p in "${public[@]}"; do [[ $p == "$name" ]] && ok=1; done
    if ((ok == 0)); then
        echo "public_api_test: ${file#$root/} includes jet/$name, which the engine keeps to itself" >&2
        status=1
    fi
done < <(grep -rEo --include='*.cpp' --include='*.h' '#include "jet/[A-Za-z0-9_]+\.h"' \
             "$root/register" "$root/browser" "$root/viewer" "$root/importer" "$root/tools" "$root/bench" |
         grep -v "^$root/register/jet/" | sed -E 's/#include "(jet\/[A-Za-z0-9_]+\.h)"/\1/')
((status == 0)) && echo "public_api_test: OK"
exit $status
