#!/bin/sh
# Installs the packages, checks the layout of the sources, builds and runs every
# test: once as shipped (warnings are errors), once under AddressSanitizer +
# UndefinedBehaviorSanitizer; and builds the core alone, without any widget
# library, so that a widget in core code fails the run.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh
export QT_QPA_PLATFORM=offscreen
JOBS=$(nproc)

scripts/format.sh --check

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DEMLO_WERROR=ON
cmake --build build -j "$JOBS"
ctest --test-dir build --output-on-failure -j "$JOBS" --timeout 600
# The Debian package, made from this build, installed and used as a user would.
scripts/package-test.sh build

cmake -S . -B build-noui -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DEMLO_UI=OFF -DEMLO_WERROR=ON \
  -DEMLO_BENCH=OFF -DXBASE_FUZZ=OFF
cmake --build build-noui -j "$JOBS"

if [ "${EMLO_SKIP_SANITIZERS:-0}" != 1 ]; then
  export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DEMLO_SANITIZE=ON -DEMLO_BENCH=OFF
  cmake --build build-asan -j "$JOBS"
  # ASan intercepts dlopen, so the run path of the tests in build-asan/dev no
  # longer leads to the engine library; the search path does.
  LD_LIBRARY_PATH="$(pwd)/build-asan/bin${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
  export LD_LIBRARY_PATH
  ctest --test-dir build-asan --output-on-failure -j "$JOBS" --timeout 900
fi
echo "All tests passed."
