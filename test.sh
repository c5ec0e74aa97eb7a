#!/usr/bin/env bash
# Installs what is missing, builds the suite with AddressSanitizer and
# UndefinedBehaviorSanitizer (clang, so that the libFuzzer targets build too)
# and runs every test through ctest.
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh

build=build-test
# -O1, as the sanitizers' own documentation advises: unoptimised code runs the
# suites several times slower and finds nothing more. Line tables are all the
# debug information a sanitizer's report needs, and they build much faster.
# The fuzzers only replay their corpora here and fuzz for seconds, so they
# link the plain engine instead of a second build steered by coverage.
cmake -S . -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-gline-tables-only -O1" \
  -DCMAKE_CXX_COMPILER=clang++ \
  -DREGISTER_SANITIZE=ON -DREGISTER_FUZZ_COVERAGE=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
