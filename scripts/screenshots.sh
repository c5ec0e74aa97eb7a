#!/usr/bin/env bash
# Takes the README's screenshots: the programs run on a demo register under
# Xvfb, and the pictures go to docs/screenshots/.
set -euo pipefail
cd "$(dirname "$0")/.."

need=()
command -v Xvfb >/dev/null || need+=(xvfb)
if ((${#need[@]})); then
    if [[ $(id -u) -eq 0 ]]; then apt-get install -y "${need[@]}"; else sudo apt-get install -y "${need[@]}"; fi
fi
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build --target regtool regtool_server zelmar_shots ostrin_shots tavrel_shots

work=$(mktemp -d)
# The server register's pictures: the demo upsized onto a throwaway server
# (its folder where the server's user may enter), opened through a link file
# beside the demo's photos.
pg=$(mktemp -u /tmp/zurt-shots-pg.XXXXXX)
trap 'kill "${xvfb:-}" 2>/dev/null || true; tests/pg_test_server.sh stop "$pg"; rm -rf "$work"' EXIT
build/bin/regtool demo "$work"
tests/pg_test_server.sh start "$pg"
psql -X -q "host=$pg user=regtest dbname=postgres" -c "CREATE DATABASE office"
uri="postgresql:///office?host=$pg&user=regtest"
build/bin/regtool upsize "$work/demo.mdb" "$uri" >/dev/null
printf '# the demo register on the server\n%s\n' "$uri" >"$work/office.pgreg"
display=:97
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp &
xvfb=$!
sleep 1
DISPLAY=$display QT_QPA_PLATFORM=xcb build/bin/zelmar_shots "$work/demo.mdb" "$work"
DISPLAY=$display QT_QPA_PLATFORM=xcb build/bin/ostrin_shots "$work/demo.mdb" "$work"
DISPLAY=$display QT_QPA_PLATFORM=xcb build/bin/tavrel_shots "$work" "$work"
mkdir -p "$work/server"
DISPLAY=$display QT_QPA_PLATFORM=xcb build/bin/zelmar_shots "$work/office.pgreg" "$work/server"
DISPLAY=$display QT_QPA_PLATFORM=xcb build/bin/ostrin_shots "$work/office.pgreg" "$work/server"
cp "$work"/server/zelmar-large-photo.png docs/screenshots/zelmar-server.png
cp "$work"/server/ostrin-search.png docs/screenshots/ostrin-server.png
cp "$work"/tavrel.png "$work"/dialog-server.png docs/screenshots/
cp "$work"/zelmar-first.png "$work"/zelmar-large-photo.png "$work"/ostrin-*.png docs/screenshots/
# The exported document as Writer lays it out: its first page, through PDF.
if command -v soffice >/dev/null && command -v pdftoppm >/dev/null; then
    soffice --headless --convert-to pdf --outdir "$work" "$work/zelmar-export.odt" >/dev/null
    pdftoppm -png -r 60 -singlefile "$work/zelmar-export.pdf" docs/screenshots/zelmar-export
else
    echo "screenshots: soffice or pdftoppm missing; the export's page was not rendered" >&2
fi
echo "screenshots in docs/screenshots/"
