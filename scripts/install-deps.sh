#!/usr/bin/env bash
# Installs, with apt-get, whatever building, testing and benchmarking the suite
# needs on a Debian 12 machine, and the packages named as arguments (the
# Windows build's, say). Does nothing when everything is present.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  clang libclang-rt-14-dev            # libFuzzer and the sanitizer runtimes for clang
  qt6-base-dev
  qt6-translations-l10n               # the toolkit's own dialogs and buttons in Russian
  libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev
  mdbtools                            # mdb-export: an independent reader for the tests
  libpq-dev                           # server registers: the PostgreSQL client library
  postgresql-15                       # the throwaway server the tests start (initdb, postgres, psql)
  xz-utils hyperfine sqlite3          # sqlite3: the peer the benchmarks measure against
  unzip                               # looks inside the word processor's exported documents
  fonts-liberation
  desktop-file-utils libxml2-utils    # the install test validates menu entries and icons
)

packages+=("$@")

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null; then sudo=(sudo); else
    echo "install-deps: not root and no sudo; install these by hand: ${missing[*]}" >&2
    exit 1
  fi
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
