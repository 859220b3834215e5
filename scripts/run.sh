#!/bin/sh
# Installs the packages, builds the ready program folder build/bin and starts the program.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build
# Without a display Qt aborts with "could not connect to display"; say what to do instead.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  cat >&2 <<'HINT'
run.sh: built build/bin, but there is no display to show Emlo on (DISPLAY is not set).
On a machine without one, start it on a virtual display:
  xvfb-run -a scripts/run.sh
or, for a smoke start that shows no window:
  QT_QPA_PLATFORM=offscreen scripts/run.sh
HINT
  exit 1
fi
exec build/bin/emlo "$@"
