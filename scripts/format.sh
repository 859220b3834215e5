#!/bin/sh
# Lays out every C and C++ source of the repository by .clang-format.
# --check changes nothing and fails when a file is not laid out so (CI runs it).
set -eu
cd "$(dirname "$0")/.."
files=$(git ls-files '*.c' '*.cpp' '*.h')
if [ "${1:-}" = --check ]; then
  # shellcheck disable=SC2086
  clang-format --dry-run --Werror $files
  echo "The layout of all sources follows .clang-format."
else
  # shellcheck disable=SC2086
  clang-format -i $files
fi
