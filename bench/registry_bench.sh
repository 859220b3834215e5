#!/bin/sh
# Benchmark of emlo-registry (not a test: timings need a quiet machine).
#
#  1. Generates 1,000 and 10,000 submissions of 30 emission rows each with
#     emlo-registry-gen (the program's own export writer); kept in $BENCH_DIR
#     between runs.
#  2. For SQLite and for PostgreSQL (a throwaway cluster, fsync on): imports
#     both sets into fresh databases and measures rows/s and peak RSS; loads
#     the same emission rows as CSV with the engine's own bulk load
#     (sqlite3 .import, COPY) in the same run, and prints the ratio.
#  3. Times each report over the 10,000 enterprises and prints its query plans.
#
# Usage: bench/registry_bench.sh [build-dir]   (default: build)
# Settings: BENCH_DIR (default /tmp/emlo-registry-bench), COUNT (10000), ROWS (30).
set -eu
cd "$(dirname "$0")/.."
ROOT=$(pwd)
BUILD=${1:-build}
BENCH_DIR=${BENCH_DIR:-/tmp/emlo-registry-bench}
COUNT=${COUNT:-10000}
ROWS=${ROWS:-30}
SMALL=$((COUNT / 10))
YEAR=2024

if [ ! -f "$BUILD/build.ninja" ]; then
  cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$BUILD" --target emlo-registry emlo-registry-gen refdata >/dev/null
BIN=$ROOT/$BUILD/bin
GEN=$ROOT/$BUILD/dev/emlo-registry-gen
[ -x "$GEN" ] || GEN=$BIN/emlo-registry-gen
mkdir -p "$BENCH_DIR"
TMPDIR=${TMPDIR:-/tmp}
export TMPDIR

# 1. Submissions (two generators side by side for the large set).
generate() {  # generate <folder> <count>
  if [ -f "$1/.complete" ]; then return; fi
  rm -rf "$1"
  half=$(($2 / 2))
  "$GEN" --out "$1" --count "$half" --rows "$ROWS" --seed 2024 &
  "$GEN" --out "$1" --start "$half" --count $(($2 - half)) --rows "$ROWS" --seed 2024
  wait
  touch "$1/.complete"
}
echo "Generating submissions into $BENCH_DIR ..." >&2
generate "$BENCH_DIR/gen-$SMALL" "$SMALL"
generate "$BENCH_DIR/gen-$COUNT" "$COUNT"

now() { date +%s.%N; }
secs() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", b - a }'; }
rate() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.0f", a / b }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", a / b }'; }

# import <db> <folder> <name>: prints "<seconds> <peak RSS MiB> <CPU seconds>"
# (the CPU time of the importer: on a shared machine the wall time also
# counts the waits for a core).
import() {
  start=$(now)
  /usr/bin/time -f "%M %U %S" -o "$BENCH_DIR/rss" "$BIN/emlo-registry" import --db "$1" --year $YEAR "$2" \
    >"$BENCH_DIR/import-$3.log"
  end=$(now)
  echo "$(secs "$start" "$end") $(awk '{printf "%.0f %.2f", $1/1024, $2 + $3}' "$BENCH_DIR/rss")"
}

# An empty registry: migrations and the reference tables done before the clock starts.
# (an import from an empty folder makes the registry and then says it found nothing)
init_db() {
  mkdir -p "$BENCH_DIR/empty"
  "$BIN/emlo-registry" import --db "$1" --year $YEAR "$BENCH_DIR/empty" >/dev/null 2>&1 || true
}

REPORT_ROWS=""
reports() {  # reports <db> <engine>
  for by in region district activity pollutant; do
    "$BIN/emlo-registry" report --db "$1" --year $YEAR --by "$by" --format html --explain \
      --output "$BENCH_DIR/report-$2-$by.html" 2>"$BENCH_DIR/plan-$2-$by.txt"
    start=$(now)
    /usr/bin/time -f "%U %S" -o "$BENCH_DIR/cpu" "$BIN/emlo-registry" report --db "$1" --year $YEAR --by "$by" \
      --format html --output "$BENCH_DIR/report-$2-$by.html"
    end=$(now)
    REPORT_ROWS="$REPORT_ROWS| $2 | --by $by | $(secs "$start" "$end") s ($(awk '{printf "%.2f", $1 + $2}' "$BENCH_DIR/cpu") s) |
"
  done
  start=$(now)
  /usr/bin/time -f "%U %S" -o "$BENCH_DIR/cpu" "$BIN/emlo-registry" report --db "$1" --year $YEAR --by district \
    --pollutant 01003 >/dev/null
  end=$(now)
  REPORT_ROWS="$REPORT_ROWS| $2 | --by district --pollutant 01003 (CSV) | $(secs "$start" "$end") s ($(awk '{printf "%.2f", $1 + $2}' "$BENCH_DIR/cpu") s) |
"
}

# The machine may be shared: its load beside the figures says how far they can be trusted.
LOAD_START=$(cut -d' ' -f1-3 /proc/loadavg)
ROWS_SMALL=$((SMALL * ROWS))
ROWS_LARGE=$((COUNT * ROWS))
RESULTS=""

# 2a. SQLite
echo "SQLite ..." >&2
rm -f "$BENCH_DIR"/small.sqlite* "$BENCH_DIR"/large.sqlite* "$BENCH_DIR"/bulk.sqlite*
init_db "$BENCH_DIR/small.sqlite"
init_db "$BENCH_DIR/large.sqlite"
set -- $(import "$BENCH_DIR/small.sqlite" "$BENCH_DIR/gen-$SMALL" sqlite-small); S_SMALL=$1; RSS_SMALL=$2; C_SMALL=$3
set -- $(import "$BENCH_DIR/large.sqlite" "$BENCH_DIR/gen-$COUNT" sqlite-large); S_LARGE=$1; RSS_LARGE=$2; C_LARGE=$3
sqlite3 -csv "$BENCH_DIR/large.sqlite" "SELECT submission_id, contid, poten, fact FROM emission" >"$BENCH_DIR/rows.csv"
# The same table layout as the registry's emission table.
sqlite3 "$BENCH_DIR/bulk.sqlite" "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;
  CREATE TABLE emission (submission_id BIGINT NOT NULL, contid INTEGER NOT NULL, poten DOUBLE PRECISION NOT NULL,
  fact DOUBLE PRECISION NOT NULL, PRIMARY KEY (submission_id, contid)) WITHOUT ROWID;" >/dev/null
start=$(now)
/usr/bin/time -f "%U %S" -o "$BENCH_DIR/cpu" sqlite3 "$BENCH_DIR/bulk.sqlite" ".mode csv" ".import $BENCH_DIR/rows.csv emission"
end=$(now)
S_BULK=$(secs "$start" "$end")
C_BULK=$(awk '{printf "%.2f", $1 + $2}' "$BENCH_DIR/cpu")
RESULTS="$RESULTS| SQLite | $SMALL | $ROWS_SMALL | $S_SMALL s (CPU $C_SMALL s) | $(rate $ROWS_SMALL $S_SMALL) | | $RSS_SMALL MiB |
| SQLite | $COUNT | $ROWS_LARGE | $S_LARGE s (CPU $C_LARGE s) | $(rate $ROWS_LARGE $S_LARGE) | $(ratio $S_LARGE $S_BULK)× wall, $(ratio $C_LARGE $C_BULK)× CPU (.import $S_BULK s, CPU $C_BULK s) | $RSS_LARGE MiB |
"
reports "$BENCH_DIR/large.sqlite" SQLite

# 2b. PostgreSQL, in a cluster of its own that is removed afterwards.
echo "PostgreSQL ..." >&2
PG_OUT=$(PG_FSYNC=on "$ROOT/registry/tests/with-postgres.sh" sh -c '
  set -eu
  BIN=$1; GEN_SMALL=$2; GEN_LARGE=$3; CSV=$4; YEAR=$5; OUT=$6
  host=${EMLO_TEST_PG#*host=}
  psql -q -h "$host" -U registry -d registry -c "CREATE DATABASE small" -c "CREATE DATABASE bulk" >/dev/null
  SMALL_DB="postgresql://registry@/small?host=$host"
  "$BIN/emlo-registry" report --db "$SMALL_DB" --year $YEAR --by region >/dev/null
  "$BIN/emlo-registry" report --db "$EMLO_TEST_PG" --year $YEAR --by region >/dev/null
  t0=$(date +%s.%N)
  /usr/bin/time -f "%M" -o "$OUT/rss" "$BIN/emlo-registry" import --db "$SMALL_DB" --year $YEAR "$GEN_SMALL" >"$OUT/import-pg-small.log"
  t1=$(date +%s.%N); rss1=$(cat "$OUT/rss")
  /usr/bin/time -f "%M" -o "$OUT/rss" "$BIN/emlo-registry" import --db "$EMLO_TEST_PG" --year $YEAR "$GEN_LARGE" >"$OUT/import-pg-large.log"
  t2=$(date +%s.%N); rss2=$(cat "$OUT/rss")
  psql -q -h "$host" -U registry -d bulk -c "CREATE TABLE emission (submission_id BIGINT NOT NULL, contid INTEGER NOT NULL, poten DOUBLE PRECISION NOT NULL, fact DOUBLE PRECISION NOT NULL, PRIMARY KEY (submission_id, contid))" >/dev/null
  t3=$(date +%s.%N)
  psql -q -h "$host" -U registry -d bulk -c "\\copy emission FROM $CSV CSV" >/dev/null
  t4=$(date +%s.%N)
  echo "$t0 $t1 $rss1 $t2 $rss2 $t3 $t4"
  for by in region district activity pollutant; do
    "$BIN/emlo-registry" report --db "$EMLO_TEST_PG" --year $YEAR --by $by --format html --explain \
      --output "$OUT/report-PostgreSQL-$by.html" 2>"$OUT/plan-PostgreSQL-$by.txt"
    s=$(date +%s.%N)
    "$BIN/emlo-registry" report --db "$EMLO_TEST_PG" --year $YEAR --by $by --format html \
      --output "$OUT/report-PostgreSQL-$by.html"
    e=$(date +%s.%N)
    echo "report $by $s $e"
  done
' sh "$BIN" "$BENCH_DIR/gen-$SMALL" "$BENCH_DIR/gen-$COUNT" "$BENCH_DIR/rows.csv" $YEAR "$BENCH_DIR")
set -- $(echo "$PG_OUT" | head -n 1)
P_SMALL=$(secs "$1" "$2"); P_LARGE=$(secs "$2" "$4"); P_BULK=$(secs "$6" "$7")
RESULTS="$RESULTS| PostgreSQL | $SMALL | $ROWS_SMALL | $P_SMALL s | $(rate $ROWS_SMALL $P_SMALL) | | $(($3 / 1024)) MiB |
| PostgreSQL | $COUNT | $ROWS_LARGE | $P_LARGE s | $(rate $ROWS_LARGE $P_LARGE) | $(ratio $P_LARGE $P_BULK)× (COPY $P_BULK s) | $(($5 / 1024)) MiB |
"
REPORT_ROWS="$REPORT_ROWS$(echo "$PG_OUT" | awk '/^report/ {printf "| PostgreSQL | --by %s | %.2f s |\n", $2, $4 - $3}')
"

cat <<EOT

## emlo-registry benchmark ($(date -u +%Y-%m-%d), $(nproc) cores)

Load average (1, 5, 15 min) at the start: $LOAD_START; at the end: $(cut -d' ' -f1-3 /proc/loadavg)

Import ($ROWS emission rows per submission; each submission one transaction):

| Engine | Submissions | Rows | Wall time | Rows/s (wall) | Ratio to bulk load of the same rows | Peak RSS |
|---|---|---|---|---|---|---|
$RESULTS
Reports over $COUNT enterprises (whole program run: start, open, queries for both years, HTML
with charts written; CPU = user + system time of emlo-registry):

| Engine | Report | Wall time (CPU) |
|---|---|---|
$REPORT_ROWS
Query plans: $BENCH_DIR/plan-*.txt
EOT
for f in "$BENCH_DIR"/plan-SQLite-region.txt "$BENCH_DIR"/plan-PostgreSQL-region.txt; do
  echo
  echo "### $(basename "$f" .txt)"
  echo '```'
  cat "$f"
  echo '```'
done
