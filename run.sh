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

echo "Demo register: build/bin/demo.mdb (открыть базу, then начать просмотр)"
if [[ -z ${DISPLAY:-} && -z ${WAYLAND_DISPLAY:-} ]]; then
    echo "run.sh: no display to show the window on (set DISPLAY, or run under Xvfb)" >&2
fi
exec build/bin/Zelmar
