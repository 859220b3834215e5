#!/bin/sh
# Installs the packages, builds the ready program folder build/bin and starts the program.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build
exec build/bin/emlo "$@"
