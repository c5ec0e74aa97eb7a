#!/usr/bin/env bash
# Long fuzzing runs, beyond the corpus replays of ./test.sh. Builds the
# libFuzzer targets (clang, ASan, UBSan) into build-fuzz/ and runs each for
# SECONDS (default 600) on a working copy of its corpus, WORKERS processes at
# once (default 1). Findings are written to build-fuzz/findings/; a finding
# that is fixed goes into fuzz/corpus/<target>/ as regress-*. Prints each
# target's number of executions.
#   scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
seconds=${1:-600}
shift || true
targets=("$@")
((${#targets[@]})) || targets=(sql_parse_fuzzer write_fuzzer open_scan_fuzzer)
workers=${WORKERS:-1}

scripts/install-deps.sh
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DREGISTER_SANITIZE=ON -DREGISTER_FUZZ=ON -DREGISTER_FUZZ_COVERAGE=ON -DREGISTER_TESTS=OFF >/dev/null
cmake --build build-fuzz --target "${targets[@]}" >/dev/null

# ASan's quarantine is kept small: the default lets libFuzzer's 2 GB limit stop the run.
export ASAN_OPTIONS=quarantine_size_mb=16
base=${REGISTER_FUZZ_BASE:-$root/../shared/fixtures/register/reg_small.mdb}
[[ -f $base ]] && export REGISTER_FUZZ_BASE=$base
mkdir -p build-fuzz/findings
findings() { find build-fuzz/findings -maxdepth 1 -name "$1-*" | wc -l; }
for t in "${targets[@]}"; do
    work=build-fuzz/work/$t
    rm -rf "$work" && mkdir -p "$work"
    cp fuzz/corpus/"$t"/* "$work"/
    extra=()
    case $t in
        sql_parse_fuzzer) extra=(-max_len=512 -dict="$root/fuzz/sql_parse_fuzzer.dict") ;;
        *) extra=(-max_len=100) ;;
    esac
    log=$root/build-fuzz/findings/$t.log
    before=$(findings "$t")
    start=$SECONDS
    args=(-max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$root/build-fuzz/findings/$t-"
          "${extra[@]}" "$root/$work")
    if ((workers > 1)); then
        # libFuzzer's workers write fuzz-N.log into the current folder.
        jobs=$root/build-fuzz/work/$t.jobs
        rm -rf "$jobs" && mkdir -p "$jobs"
        (cd "$jobs" && "$root/build-fuzz/bin/$t" -jobs="$workers" -workers="$workers" "${args[@]}" >/dev/null 2>&1) || true
        cat "$jobs"/fuzz-*.log > "$log"
    else
        "$root/build-fuzz/bin/$t" "${args[@]}" > "$log" 2>&1 || true
    fi
    runs=$(awk '/stat::number_of_executed_units/ { n += $2 } END { print n + 0 }' "$log")
    found=$(($(findings "$t") - before))
    echo "$t: $runs executions in $((SECONDS - start)) s, $found new findings (log $log)"
done
