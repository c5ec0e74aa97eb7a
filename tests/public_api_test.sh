#!/usr/bin/env bash
# Every "jet/..." header included outside the engine (and its own tests) must
# be one of the engine's public headers (register/jet/include/jet), none may
# name a header of the engine's rooms, and no target outside them may be
# given the engine's own (jet_internals). That the
# public headers need nothing else, the build itself checks (jet_public_headers).
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
# Nor may it reach into the engine's rooms ("storage/page_file.h", ...).
while IFS= read -r line; do
    echo "public_api_test: ${line#$root/} includes a header of the engine's rooms" >&2
    status=1
done < <(grep -rnE --include='*.cpp' --include='*.h' '#include "(storage|format|btree|table|maintenance)/' \
             "$root/register" "$root/browser" "$root/viewer" "$root/importer" "$root/tools" "$root/bench" |
         grep -v "^$root/register/jet/")
# Only the engine and its tests see the engine's own headers.
while IFS= read -r line; do
    echo "public_api_test: ${line#$root/} gives the engine's own headers to code outside it" >&2
    status=1
done < <(grep -rn --include=CMakeLists.txt 'jet_internals' "$root" --exclude-dir='build*' |
         grep -v -e "^$root/register/jet/CMakeLists.txt:" -e "^$root/tests/CMakeLists.txt:")
((status == 0)) && echo "public_api_test: OK"
exit $status
