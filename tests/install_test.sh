#!/usr/bin/env bash
# Installs the built suite under a temporary prefix and checks what a desktop
# finds there: the four programs, a valid menu entry for each window program
# whose command and icon are installed, and the icons themselves.
#   install_test.sh BUILD_DIR
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "install_test: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null

for p in Zelmar Ostrin Tavrel regtool; do
    [[ -x $prefix/bin/$p ]] || fail "bin/$p is not installed"
done
"$prefix/bin/regtool" --help | grep -q '^  move SRC DST' || fail "the installed regtool does not give its help"
# regtool links no Qt; its demo loads the installed module that draws the photos.
if ldd "$prefix/bin/regtool" | grep -q 'libQt6'; then fail "the installed regtool links Qt"; fi
"$prefix/bin/regtool" demo "$prefix/demo" || fail "the installed regtool cannot write its demo"
ls "$prefix/demo/foto/"*.* >/dev/null 2>&1 || fail "the installed regtool's demo has no photos"

icons=$prefix/share/icons/hicolor/scalable/apps
for entry in zelmar ostrin tavrel; do
    desktop=$prefix/share/applications/$entry.desktop
    [[ -f $desktop ]] || fail "$entry.desktop is not installed"
    if command -v desktop-file-validate >/dev/null; then
        desktop-file-validate "$desktop" || fail "$entry.desktop is not a valid desktop entry"
    fi
    exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
    icon=$(sed -n 's/^Icon=//p' "$desktop")
    [[ -x $prefix/bin/$exec_name ]] || fail "$entry.desktop starts $exec_name, which is not installed"
    [[ -f $icons/$icon.svg ]] || fail "$entry.desktop names the icon $icon, which is not installed"
    grep -q '^Name\[ru\]=' "$desktop" && grep -q '^Comment\[ru\]=' "$desktop" || fail "$entry.desktop has no Russian name or comment"
    # A well-formed SVG document, as an icon theme loads it.
    if command -v xmllint >/dev/null; then
        xmllint --noout "$icons/$icon.svg" || fail "$icon.svg is not well-formed"
    fi
    grep -q '<svg ' "$icons/$icon.svg" || fail "$icon.svg is not an SVG picture"
done
# The package's licence and the origin of the data it embeds.
doc=$prefix/share/doc/zurt-register
grep -q '^License: Apache-2.0' "$doc/copyright" || fail "doc/zurt-register/copyright names no licence"
grep -q 'index_codes_genleg.txt' "$doc/copyright" && grep -q 'jackcess' "$doc/NOTICE" ||
    fail "the sort table's origin is not named in copyright and NOTICE"
echo "install_test: OK"
