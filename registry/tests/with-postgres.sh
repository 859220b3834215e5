#!/bin/sh
# Runs a command against a throwaway PostgreSQL cluster: initdb into a fresh
# temporary folder, a server on a Unix socket in that folder (no TCP port), a
# database "registry". The command gets its address in EMLO_TEST_PG. The
# server is stopped and the folder removed however the command ends.
# As root, the cluster belongs to the unprivileged user "nobody" (initdb
# refuses to run as root).
set -eu
PGBIN=${PGBIN:-$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)}
if [ -z "$PGBIN" ] || [ ! -x "$PGBIN/initdb" ]; then
  echo "PostgreSQL server binaries not found (Debian package postgresql)" >&2
  exit 2
fi
dir=$(mktemp -d /tmp/emlo-pg.XXXXXX)
chmod 755 "$dir"
if [ "$(id -u)" -eq 0 ]; then
  chown nobody "$dir"
  as() { runuser -u nobody -- "$@"; }
else
  as() { "$@"; }
fi
cleanup() {
  as "$PGBIN/pg_ctl" -D "$dir/data" -m immediate stop >/dev/null 2>&1 || true
  rm -rf "$dir"
}
trap cleanup EXIT INT TERM
as "$PGBIN/initdb" -D "$dir/data" -A trust -U registry -E UTF8 --no-locale >"$dir/initdb.log" 2>&1 \
  || { cat "$dir/initdb.log" >&2; exit 2; }
as "$PGBIN/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w \
  -o "-k $dir -c listen_addresses= -c fsync=${PG_FSYNC:-off} -c max_connections=50" start >/dev/null \
  || { cat "$dir/server.log" >&2; exit 2; }
as "$PGBIN/createdb" -h "$dir" -U registry registry
EMLO_TEST_PG="postgresql://registry@/registry?host=$dir"
export EMLO_TEST_PG
status=0
"$@" || status=$?
exit $status
