#!/bin/sh
# Makes the Debian package from a build folder and uses it as a user would:
# lintian, the desktop entry and metainfo validators, an install, emlo-cli
# check/export/print, an emlo-registry import of that export and a report
# from it on SQLite, and one start of emlo by an ordinary user on the
# installed, root-owned files, the manual pages and the shell completions,
# then the removal.
#
# Usage: scripts/package-test.sh [build-dir]          (default: build)
# EMLO_PACKAGE_INSTALL=system installs the package with apt into this machine
# and purges it afterwards (CI, a throwaway machine; needs root). Otherwise the
# package is unpacked into a scratch root, which is removed afterwards.
set -eu
cd "$(dirname "$0")/.."
BUILD=${1:-build}
MODE=${EMLO_PACKAGE_INSTALL:-scratch}

fail() { echo "package test: $*" >&2; exit 1; }
step() { echo "== $*"; }

step "building the package"
cmake --build "$BUILD" --target emlo emlo-cli emlo-registry refdata emlo_dist emlo-sample-work
rm -rf "$BUILD/package"
(cd "$BUILD" && cpack --config CPackConfig.cmake >cpack.log 2>&1) || { cat "$BUILD/cpack.log"; fail "cpack failed"; }
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$BUILD/CPackConfig.cmake")
deb=$(pwd)/$BUILD/package/emlo_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "no $deb; the package folder holds: $(ls "$BUILD/package")"
ls -l "$deb"

step "contents"
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' > "$BUILD/package/contents.txt"
for path in /usr/bin/emlo /usr/bin/emlo-cli /usr/bin/emlo-registry /usr/lib/emlo/engine/libsde50.so \
    /usr/share/emlo/CONT.DBF /usr/share/emlo/CY.IDX /usr/share/emlo/EMLO.HLP \
    /usr/share/emlo/refdata/cy.csv /usr/share/applications/ua.emlo.Emlo.desktop \
    /usr/share/metainfo/ua.emlo.Emlo.metainfo.xml \
    /usr/share/icons/hicolor/scalable/apps/ua.emlo.Emlo.svg \
    /usr/share/icons/hicolor/48x48/apps/ua.emlo.Emlo.png \
    /usr/share/man/man1/emlo-cli.1.gz /usr/share/man/uk/man1/emlo-cli.1.gz \
    /usr/share/man/man1/emlo-registry.1.gz /usr/share/man/uk/man1/emlo-registry.1.gz \
    /usr/share/bash-completion/completions/emlo-cli /usr/share/bash-completion/completions/emlo-registry \
    /usr/share/doc/emlo/copyright; do
  grep -qx "$path" "$BUILD/package/contents.txt" || fail "$path is not in the package"
done
if grep -E 'tst_|bench|sample|/usr/bin/emlo-refdata' "$BUILD/package/contents.txt"; then
  fail "test, benchmark or development files in the package"
fi
depends=$(dpkg-deb -f "$deb" Depends)
for package in libqt6widgets6 libqt6sql6 libqt6sql6-sqlite libqt6sql6-psql; do
  echo "$depends" | grep -Eq "(^|, )$package( |,|$)" || fail "Depends lacks $package: $depends"
done

step "lintian"
lintian --fail-on error --tag-display-limit 0 "$deb"

scratch=$(mktemp -d)
chmod 755 "$scratch"
cleanup() {
  if [ "$MODE" = system ] && dpkg-query -W emlo >/dev/null 2>&1; then
    apt-get purge -y -q emlo >/dev/null 2>&1 || true
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT

step "desktop entry and metainfo"
dpkg-deb -x "$deb" "$scratch/unpacked"
desktop-file-validate "$scratch/unpacked/usr/share/applications/ua.emlo.Emlo.desktop"
appstreamcli validate --no-net "$scratch/unpacked/usr/share/metainfo/ua.emlo.Emlo.metainfo.xml"

step "installing ($MODE)"
if [ "$MODE" = system ]; then
  [ "$(id -u)" -eq 0 ] || fail "a system install needs root"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$deb" >/dev/null
  prefix=/usr
else
  mkdir "$scratch/root"
  dpkg-deb -x "$deb" "$scratch/root"
  prefix=$scratch/root/usr
  # As installed: owned by root where we can, read-only to the user anyway.
  if [ "$(id -u)" -eq 0 ]; then chown -R root:root "$scratch/root"; else chmod -R a-w "$scratch/root"; fi
fi
installed_tree() {
  find "$prefix/bin/emlo" "$prefix/bin/emlo-cli" "$prefix/bin/emlo-registry" "$prefix/lib/emlo" "$prefix/share/emlo" \
    -printf '%p %s %m %u %T@\n' | sort
}
installed_tree > "$scratch/tree-before"
for program in emlo emlo-cli emlo-registry; do
  runpath=$(readelf -d "$prefix/bin/$program" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
  [ "$runpath" = '$ORIGIN/../lib/emlo/engine' ] || fail "$program has the run path '$runpath'"
done

# An ordinary user with an empty home folder and a runtime folder of its own.
home=$scratch/home
mkdir -p "$home/.runtime"
chmod 700 "$home/.runtime"
user_env="env -u XDG_CONFIG_HOME -u XDG_DATA_HOME -u XDG_DOCUMENTS_DIR HOME=$home XDG_RUNTIME_DIR=$home/.runtime LC_ALL=C.UTF-8"
if [ "$(id -u)" -eq 0 ]; then
  chown -R 65534:65534 "$home"
  as_user="setpriv --reuid=65534 --regid=65534 --clear-groups $user_env"
else
  as_user=$user_env
fi

step "emlo-cli check, export, print as an ordinary user"
mkdir "$scratch/sample"
"$BUILD/dev/emlo-sample-work" "$BUILD/bin/" "$scratch/sample" >/dev/null
cp -r "$scratch/sample" "$home/firm"
[ "$(id -u)" -ne 0 ] || chown -R 65534:65534 "$home/firm"
out=$($as_user "$prefix/bin/emlo-cli" check "$home/firm") || fail "check: exit $?, output: $out"
[ "$out" = "$(printf 'Все гаразд\t')" ] || fail "check printed: $out"
$as_user "$prefix/bin/emlo-cli" export "$home/firm" "$home/export" >/dev/null || fail "export: exit $?"
for f in attr.xml data.xml; do
  [ -s "$home/export/$f" ] || fail "export wrote no $f"
done
$as_user "$prefix/bin/emlo-cli" print "$home/firm" "$home/form.pdf" >/dev/null || fail "print: exit $?"
head -c 5 "$home/form.pdf" | grep -q '%PDF-' || fail "print wrote no PDF"
pdftotext "$home/form.pdf" - | grep -q 'Придніпровський' || fail "the printed form lacks the enterprise"

step "emlo-registry: help, an import of that export and a report, as an ordinary user"
out=$($as_user "$prefix/bin/emlo-registry" --help) || fail "emlo-registry --help: exit $?"
echo "$out" | grep -q 'emlo-registry import --db' || fail "emlo-registry --help printed: $out"
# A new registry takes its reference tables from the installed classifier files.
out=$($as_user "$prefix/bin/emlo-registry" import --db "$home/registry.sqlite" --year 2024 "$home/export") ||
  fail "emlo-registry import: exit $?, output: $out"
echo "$out" | grep -q 'прийнято: 1 (нових: 1' || fail "emlo-registry import printed: $out"
$as_user "$prefix/bin/emlo-registry" report --db "$home/registry.sqlite" --year 2024 --by region \
  -o "$home/region.csv" || fail "emlo-registry report: exit $?"
head -c 3 "$home/region.csv" | od -An -tx1 | grep -q 'ef bb bf' || fail "the CSV report has no byte-order mark"
grep -q 'ДНІПРОПЕТРОВСЬКА' "$home/region.csv" || fail "the report lacks the enterprise's region: $(cat "$home/region.csv")"
$as_user "$prefix/bin/emlo-registry" report --db "$home/registry.sqlite" --year 2024 --by pollutant --format html \
  -o "$home/pollutants.html" || fail "emlo-registry report --format html: exit $?"
grep -q '<svg' "$home/pollutants.html" || fail "the HTML report has no chart"

step "emlo starts as an ordinary user and keeps its settings in the user's folders"
# Started as the menu starts it: the command of the desktop entry.
menu_command=$(sed -n 's/^Exec=//p' "$prefix/share/applications/ua.emlo.Emlo.desktop")
[ "$menu_command" = emlo ] || fail "the menu entry runs '$menu_command'"
QT_QPA_PLATFORM=offscreen $as_user "$prefix/bin/$menu_command" >"$scratch/emlo.log" 2>&1 &
pid=$!
# The work tables appear in the default working folder once the window is up.
i=0
until [ -n "$(find "$home/Documents/Emlo" -maxdepth 1 -iname data.idx 2>/dev/null)" ]; do
  i=$((i + 1))
  if [ $i -gt 120 ] || ! kill -0 $pid 2>/dev/null; then
    cat "$scratch/emlo.log"; fail "emlo made no work tables in ~/Documents/Emlo"
  fi
  sleep 0.5
done
sleep 1
kill -TERM $pid
status=0; wait $pid || status=$?
[ $status -eq 0 ] || { cat "$scratch/emlo.log"; fail "emlo ended with status $status"; }
grep -q "^Path=$home/Documents/Emlo/" "$home/.config/emlo/emlo.ini" ||
  fail "no working folder in ~/.config/emlo/emlo.ini: $(cat "$home/.config/emlo/emlo.ini" 2>&1)"

step "the installed files are unchanged"
installed_tree > "$scratch/tree-after"
diff "$scratch/tree-before" "$scratch/tree-after" || fail "running the programs changed the installed files"

step "manual pages and shell completion"
# By name when installed; from the package's own copy where the machine's dpkg
# leaves manual pages out (minimal container images do).
if [ "$MODE" = system ] && [ -f /usr/share/man/man1/emlo-cli.1.gz ]; then
  man_uk() { LC_ALL=C.UTF-8 man -L uk "$1"; }
  man_en() { LC_ALL=C.UTF-8 man -L C "$1"; }
else
  man_uk() { LC_ALL=C.UTF-8 man -l "$scratch/unpacked/usr/share/man/uk/man1/$1.1.gz"; }
  man_en() { LC_ALL=C.UTF-8 man -l "$scratch/unpacked/usr/share/man/man1/$1.1.gz"; }
fi
MANWIDTH=80 man_uk emlo-cli 2>/dev/null | grep -q 'КОД ЗАВЕРШЕННЯ' || fail "no Ukrainian emlo-cli(1)"
MANWIDTH=80 man_en emlo-cli 2>/dev/null | grep -q 'EXIT STATUS' || fail "no English emlo-cli(1)"
MANWIDTH=80 man_uk emlo 2>/dev/null | grep -q 'ФАЙЛИ' || fail "no Ukrainian emlo(1)"
MANWIDTH=80 man_uk emlo-registry 2>/dev/null | grep -q 'КОД ЗАВЕРШЕННЯ' || fail "no Ukrainian emlo-registry(1)"
MANWIDTH=80 man_en emlo-registry 2>/dev/null | grep -q 'EXIT STATUS' || fail "no English emlo-registry(1)"
completion=$prefix/share/bash-completion/completions/emlo-cli
got=$(bash -c '. "$1"; COMP_WORDS=(emlo-cli ex); COMP_CWORD=1; _emlo_cli; echo "${COMPREPLY[*]}"' _ "$completion")
[ "$got" = export ] || fail "completion of 'emlo-cli ex' gave: $got"
completion=$prefix/share/bash-completion/completions/emlo-registry
got=$(bash -c '. "$1"; COMP_WORDS=(emlo-registry report --by p); COMP_CWORD=3; _emlo_registry; echo "${COMPREPLY[*]}"' _ "$completion")
[ "$got" = pollutant ] || fail "completion of 'emlo-registry report --by p' gave: $got"

step "removal"
if [ "$MODE" = system ]; then
  dpkg -L emlo | while read -r path; do [ -d "$path" ] || echo "$path"; done > "$scratch/files"
  DEBIAN_FRONTEND=noninteractive apt-get purge -y -q emlo >/dev/null
  while read -r path; do
    [ ! -e "$path" ] || fail "$path is left after removal"
  done < "$scratch/files"
  for dir in /usr/lib/emlo /usr/share/emlo /usr/share/doc/emlo; do
    [ ! -e "$dir" ] || fail "$dir is left after removal"
  done
fi
echo "package test passed: $deb"
