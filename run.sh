#!/usr/bin/env bash
# Installs what is missing, builds the suite and starts it.
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DREGISTER_TESTS=OFF >/dev/null
cmake --build build -j "$(nproc)"

# A demo register beside the programs, where their file dialogs open.
if [[ ! -e build/bin/demo.mdb ]]; then
    build/bin/regtool demo build/bin
fi

# The viewer is not built yet; until it is, show what the engine's tool offers.
echo "Demo register: build/bin/demo.mdb"
exec build/bin/regtool --help
