#!/usr/bin/env bash
# Installs what is missing, builds the suite and starts it.
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DREGISTER_TESTS=OFF >/dev/null
cmake --build build -j "$(nproc)"

# The viewer is not built yet; until it is, show what the engine's tool offers.
exec build/bin/regtool --help
