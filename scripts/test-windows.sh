#!/usr/bin/env bash
# The Windows build, tested here: installs MinGW-w64 and Wine when missing,
# cross-compiles the engine, regtool.exe and the suites that need no Qt
# (cmake/mingw-w64.cmake), and runs them under wine64. Then regtool.exe
# exports, inserts, deletes, moves and compacts registers (one on a Cyrillic
# path), two of it at once on one register, and the Linux side checks every
# file the Windows build wrote: `regtool check`, and mdb-export's reading
# against ours (windows_files_test), mdb-export being a Linux program.
#
# ./test.sh stays the Linux suite; CI runs this after it (.ci/run).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

# MinGW-w64 (its POSIX threads model), Wine, and GoogleTest's sources to build for Windows.
scripts/install-deps.sh g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev wine64 googletest

wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
win=build-win
lin=${LINUX_BUILD:-build-test}

cmake -S . -B "$win" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$win" -j "$(nproc)"

# The Linux side: regtool and the checker of the files written on Windows
# (the build ./test.sh made, or a new one like it).
if [ ! -f "$lin/CMakeCache.txt" ]; then
  cmake -S . -B "$lin" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-gline-tables-only -O1" \
    -DCMAKE_CXX_COMPILER=clang++ -DREGISTER_SANITIZE=ON -DREGISTER_FUZZ_COVERAGE=OFF >/dev/null
fi
cmake --build "$lin" -j "$(nproc)" --target regtool windows_files_test

# A Wine prefix of the build's own, made quietly on first use.
export WINEPREFIX="$root/$win/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX"
"$wine" cmd /c exit >/dev/null 2>&1 || true

kept="$root/$win/windows-files"
rm -rf "$kept" && mkdir -p "$kept"
# Wine shows the Linux root as drive Z:.
export REGISTER_WINDOWS_FILES="Z:${kept//\//\\}"

# The packed register the suites use, unpacked for them (no xz there).
unpacked="$root/$win/fixtures-unpacked"
mkdir -p "$unpacked"
[ -f "$unpacked/reg_20k.mdb" ] || xz -dc ../shared/fixtures/register/reg_20k.mdb.xz >"$unpacked/reg_20k.mdb"
export REGISTER_UNPACKED_FIXTURES="Z:${unpacked//\//\\}"

echo "== the suites under wine64"
REGISTER_REQUIRE_FIXTURES=1 ctest --test-dir "$win" --output-on-failure -j "$(nproc)"

echo "== regtool.exe"
regtool_exe="$root/$win/bin/regtool.exe"
fixtures="$root/../shared/fixtures/register"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rt() { "$wine" "$regtool_exe" "$@"; }
fail() { echo "test-windows: $*" >&2; exit 1; }
# Keeps a file regtool.exe wrote for the Linux side, with the table to compare.
keep() { cp "$1" "$kept/regtool-$2"; printf 'ЗУРТ\nregtool.exe %s\n' "$3" >"$kept/regtool-$2.table"; }
rows() { "$lin/bin/regtool" export "$1" ЗУРТ --jsonl | wc -l; }
linux_check() { "$lin/bin/regtool" check "$1" >/dev/null || fail "regtool check finds faults in $1 (written by $2)"; }

cyr="$work/Реестр отдела"
mkdir -p "$cyr"
cp "$fixtures/reg_small.mdb" "$cyr/Реестр.mdb"
cp "$fixtures/reg_empty.mdb" "$work/dst.mdb"
chmod u+w "$cyr/Реестр.mdb" "$work/dst.mdb"

# Export: the same bytes as Linux's regtool on the same file, under a Cyrillic name.
for format in --jsonl --csv; do
  rt export "$cyr/Реестр.mdb" ЗУРТ "$format" >"$work/win.out"
  "$lin/bin/regtool" export "$cyr/Реестр.mdb" ЗУРТ "$format" >"$work/lin.out"
  cmp -s "$work/win.out" "$work/lin.out" || fail "export $format differs from Linux's"
done

# Insert from a pipe, then delete some of the rows again.
before=$(rows "$work/dst.mdb")
"$lin/bin/regtool" export "$fixtures/reg_small.mdb" ЗУРТ --jsonl | sed 's/"номер":[0-9]*,//' | rt insert "$work/dst.mdb" ЗУРТ
[ "$(rows "$work/dst.mdb")" -eq $((before + 25)) ] || fail "insert did not add 25 rows"
keep "$work/dst.mdb" insert.mdb insert
numbers=$("$lin/bin/regtool" export "$work/dst.mdb" ЗУРТ --jsonl | sed -n '1,3s/^{"номер":\([0-9]*\).*/\1/p' | tr '\n' ' ')
# shellcheck disable=SC2086
rt delete "$work/dst.mdb" ЗУРТ $numbers
[ "$(rows "$work/dst.mdb")" -eq $((before + 22)) ] || fail "delete did not remove 3 rows"
keep "$work/dst.mdb" delete.mdb delete
linux_check "$work/dst.mdb" "insert and delete"

# The move out of the register on the Cyrillic path, and back.
moved=$(rows "$cyr/Реестр.mdb")
total=$(( $(rows "$work/dst.mdb") + moved ))
rt move "$cyr/Реестр.mdb" "$work/dst.mdb" --group 7
[ "$(rows "$cyr/Реестр.mdb")" -eq 0 ] && [ "$(rows "$work/dst.mdb")" -eq "$total" ] || fail "the move lost or kept rows"
linux_check "$cyr/Реестр.mdb" "move (source)"
linux_check "$work/dst.mdb" "move (destination)"
keep "$work/dst.mdb" move-dst.mdb "move into"
keep "$cyr/Реестр.mdb" move-src.mdb "move out of"

# Compact into a new file. In place (--replace) the copy is renamed over the
# original, which this process holds open: Windows 10 does that with POSIX
# semantics, Wine cannot (docs/robustness.md), so there it must be refused
# with nothing replaced and nothing left beside.
rt compact "$work/dst.mdb" "$cyr/Сжатый.mdb" 2>/dev/null
[ "$(rows "$cyr/Сжатый.mdb")" -eq "$total" ] || fail "compact changed the rows"
linux_check "$cyr/Сжатый.mdb" compact
keep "$cyr/Сжатый.mdb" compact-copy.mdb "compact into a copy"
cp "$work/dst.mdb" "$work/before-replace.mdb"
if rt compact "$work/dst.mdb" --replace 2>"$work/replace.err"; then
  [ "$(rows "$work/dst.mdb")" -eq "$total" ] || fail "compact --replace changed the rows"
  linux_check "$work/dst.mdb" "compact --replace"
  keep "$work/dst.mdb" compact-replace.mdb "compact --replace"
else
  grep -q "nothing was replaced" "$work/replace.err" || fail "compact --replace failed otherwise: $(cat "$work/replace.err")"
  cmp -s "$work/dst.mdb" "$work/before-replace.mdb" || fail "a refused compact --replace changed the file"
  leftovers=$(find "$work" -maxdepth 1 -name '*dst.mdb?*' | grep -v before-replace || true)
  [ -z "$leftovers" ] || fail "a refused compact --replace left $leftovers"
  echo "compact --replace refused under Wine, as expected: nothing replaced, nothing left"
fi

# Two regtool.exe on one register at once: two moves into it from two
# sources, and inserts meanwhile. The write lock lets one in at a time;
# nothing is lost or stored twice, and the file is sound.
xz -dc "$fixtures/reg_20k.mdb.xz" >"$work/big.mdb"
cp "$fixtures/reg_small.mdb" "$work/small.mdb"
chmod u+w "$work/small.mdb"
cp "$fixtures/reg_empty.mdb" "$work/shared.mdb"
chmod u+w "$work/shared.mdb"
expected=$(( $(rows "$work/big.mdb") + $(rows "$work/small.mdb") + 25 ))
rt move "$work/big.mdb" "$work/shared.mdb" --group 500 &
first=$!
rt move "$work/small.mdb" "$work/shared.mdb" --group 1 &
second=$!
"$lin/bin/regtool" export "$fixtures/reg_small.mdb" ЗУРТ --jsonl | sed 's/"номер":[0-9]*,//' | rt insert "$work/shared.mdb" ЗУРТ
wait "$first" || fail "the first of two moves at once failed"
wait "$second" || fail "the second of two moves at once failed"
[ "$(rows "$work/shared.mdb")" -eq "$expected" ] || fail "two writers at once: $(rows "$work/shared.mdb") rows, not $expected"
linux_check "$work/shared.mdb" "two moves and an insert at once"
keep "$work/shared.mdb" two-at-once.mdb "two moves and an insert at once"

echo "== the files written on Windows, checked on Linux"
REGISTER_WINDOWS_FILES="$kept" REGISTER_REQUIRE_FIXTURES=1 "$lin/bin/windows_files_test"
echo "test-windows: all passed"
