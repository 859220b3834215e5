#!/bin/sh
# Starts Emlo (through the development tool emlo-screenshots, which starts the
# program as emlo does) under a virtual X server on a scratch working folder and
# saves a picture of each page (and of the program's own dialogs) into docs/screenshots/.
# The ready program folder is copied first, so its settings file is not touched.
# Usage: scripts/screenshots.sh [build-dir]   (default: build)
set -eu
cd "$(dirname "$0")/.."
BUILD=${1:-build}
if [ ! -x "$BUILD/bin/emlo" ]; then
  cmake -S . -B "$BUILD" -G Ninja >/dev/null
fi
cmake --build "$BUILD" --target emlo emlo-screenshots emlo-sample-work

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/program" "$scratch/work"
for f in "$BUILD"/bin/emlo "$BUILD"/bin/libsde50.so "$BUILD"/bin/EMLO.HLP \
         "$BUILD"/bin/*.DBF "$BUILD"/bin/*.IDX; do
  [ -e "$f" ] && cp "$f" "$scratch/program/"
done
printf '[General]\r\nPath=%s/\r\n' "$scratch/work" > "$scratch/program/emlo.ini"
# A sample enterprise, so that the pages show real data.
"$BUILD/dev/emlo-sample-work" "$scratch/program" "$scratch/work"

out=$(pwd)/docs/screenshots
mkdir -p "$out"
LANG=C.UTF-8 QT_QPA_PLATFORM=xcb \
  xvfb-run -a -s "-screen 0 1024x768x24" "$BUILD/dev/emlo-screenshots" "$scratch/program" "$out"
ls "$out"
