#!/bin/sh
# Installs every Debian package the build, the tests and the benchmarks need.
# Safe to run again: apt-get skips what is already there.
set -eu
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
PKGS="build-essential cmake ninja-build pkg-config git
 qt6-base-dev qt6-svg-dev qt6-qpa-plugins libqt6svg6 libgl-dev libglx-dev qt6-translations-l10n
 libgtest-dev libgmock-dev libbenchmark-dev
 clang libclang-rt-14-dev clang-format
 fonts-liberation fonts-dejavu-core
 python3 python3-dbfread python3-dbf libdbd-xbase-perl locales
 libshp-dev libgdal-dev gdal-bin
 poppler-utils xvfb xauth x11-apps imagemagick valgrind
 postgresql libqt6sql6-psql libqt6sql6-sqlite sqlite3 libsqlite3-dev libssl-dev chromium
 dpkg-dev file lintian desktop-file-utils appstream librsvg2-bin bash-completion man-db groff-base"
missing=""
for p in $PKGS; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing="$missing $p"
done
if [ -n "$missing" ]; then
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends $missing
fi
