#!/usr/bin/env bash
# Installs what is missing, builds the suite and starts it.
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh
# The export hands its documents to LibreOffice Writer: installed when possible,
# and without it the export says what is missing.
if ! command -v soffice >/dev/null && ! command -v libreoffice >/dev/null; then
    sudo=()
    [[ $(id -u) -ne 0 ]] && command -v sudo >/dev/null && sudo=(sudo)
    if ! DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq libreoffice-writer; then
        echo "run.sh: LibreOffice Writer could not be installed; the export will say so" >&2
    fi
fi
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
