#!/bin/sh
# Runs the DBF workloads W0..W6 with our engine (through the table layer) side by
# side with widely used DBF tools in one run, and prints the table with ratios.
# RUNS, CALLGRIND and the other settings of bench/harness/run_all.sh apply;
# OURS_BASE_CMD adds an earlier build of ours (before/after in one run).
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target emlo-xbase-bench sde50
OURS_CMD="$(pwd)/build/dev/emlo-xbase-bench {workload} {dbf} {idx} {arg}" \
  NO_INSTALL=1 exec bash bench/harness/run_all.sh
