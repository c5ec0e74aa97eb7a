#!/usr/bin/env bash
# The long checks that ./test.sh only samples: every row of the large shared
# registers (reg_20k, reg_100k) deleted in every order and inserted back, a
# group at a time, each group checked by the integrity check and mdb-export;
# and long random runs of changes on them; twenty moves of a register back
# and forth, its size watched; a hundred moves killed at random instants;
# reg_100k upsized onto a server of the script's own and downsized into a
# new file that mdb-export reads the same, and moved onto an empty server
# register and back, every row once.
# Built optimised, without the
# sanitizers (./test.sh runs the same code under them), into build-long/.
#   scripts/long-tests.sh
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
scripts/install-deps.sh
cmake -S . -B build-long -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-long --target index_sweep_test free_space_test importer_test regtool >/dev/null
start=$SECONDS
REGISTER_FULL_SWEEP=1 build-long/bin/index_sweep_test
REGISTER_FULL_SWEEP=1 build-long/bin/free_space_test
REGISTER_FULL_SWEEP=1 QT_QPA_PLATFORM=offscreen build-long/bin/importer_test --gtest_filter='Importer.KilledMovesLoseNoRow'
scripts/long-server-test.sh build-long/bin/regtool
echo "long tests: $((SECONDS - start)) s"
