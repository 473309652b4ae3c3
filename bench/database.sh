#!/usr/bin/env bash
# The record database beside SQLite, same work in one run: 100,000 records of 100 bytes are
# stored, then each side (1) opens the file and reads every record, (2) changes 10,000 records and
# commits them, (3) compacts the file. Times are wall-clock milliseconds of each step, including
# the start of the process (measured alone first and shown). The reading loop releases each
# record after reading it, as a program walking a large database does: with 100,000 contents
# held at once, every new handle first scans all handles for purgeable ones.
# Usage: bench/database.sh [path/to/velora]   (a Release build; default build/velora)
set -eu
velora=${1:-build/velora}
command -v sqlite3 >/dev/null || { echo "sqlite3 is not installed (apt-get install sqlite3): no comparison"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
now() { date +%s%N; }
step() { # name, command...
    local name=$1
    shift
    local start end
    start=$(now)
    "$@" >/dev/null
    end=$(now)
    printf '  %-34s %8d ms\n' "$name" $(((end - start) / 1000000))
}

cat > "$work/build.lisp" <<LISP
(create-database "$work/bench.db")
(define D (open-database "$work/bench.db" :mode 'output))
(define Payload (make-string 100 88))
(let ((_i 1)) (while (<= _i 100000) (add-record (string->handle Payload) "DATA" _i nil D nil) (set! _i (+ _i 1))))
(close-database D nil)
LISP
cat > "$work/read.lisp" <<LISP
(define D (open-database "$work/bench.db"))
(define Total 0)
(let ((_i 0) (_r nil))
  (while (< _i 100000)
    (set! _r (get-indexed-record "DATA" _i D nil))
    (set! Total (+ Total (get-handle-size _r)))
    (release-record _r)
    (set! _i (+ _i 1))))
(princ Total)
(close-database D t)
LISP
cat > "$work/update.lisp" <<LISP
(define D (open-database "$work/bench.db" :mode 'output))
(define Compact-Databases? nil)
(let ((_i 1) (_r nil))
  (while (<= _i 10000)
    (set! _r (get-record "DATA" (* _i 10) D nil))
    (set-handle-size _r 120)
    (changed-record _r)
    (set! _i (+ _i 1))))
(update-database D)
(close-database D t)
LISP
cat > "$work/compact.lisp" <<LISP
(define D (open-database "$work/bench.db" :mode 'output))
(compact-database D)
(close-database D t)
LISP
cat > "$work/empty.lisp" <<LISP
(princ 0)
LISP

cat > "$work/build.sql" <<SQL
PRAGMA journal_mode=DELETE;
CREATE TABLE records(type TEXT, id INTEGER, name TEXT, data BLOB, time INTEGER, PRIMARY KEY(type, id));
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 100000)
INSERT INTO records SELECT 'DATA', i, NULL, zeroblob(100), 0 FROM n;
SQL
cat > "$work/read.sql" <<SQL
SELECT sum(length(data)) FROM records;
SQL
cat > "$work/update.sql" <<SQL
BEGIN;
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 10000)
UPDATE records SET data = zeroblob(120), time = 1 WHERE type = 'DATA' AND id IN (SELECT i * 10 FROM n);
COMMIT;
SQL

echo "Record database, 100,000 records of 100 bytes ($(date -u +%Y-%m-%dT%H:%MZ))"
echo "velora ($velora):"
step "start and stop (no work)" "$velora" --script "$work/empty.lisp"
step "store 100,000 records" "$velora" --script "$work/build.lisp"
printf '  %-34s %8d bytes\n' "file size" "$(stat -c %s "$work/bench.db")"
step "open and read every record" "$velora" --script "$work/read.lisp"
step "change 10,000 and update" "$velora" --script "$work/update.lisp"
printf '  %-34s %8d bytes\n' "file size" "$(stat -c %s "$work/bench.db")"
step "compact" "$velora" --script "$work/compact.lisp"
printf '  %-34s %8d bytes\n' "file size" "$(stat -c %s "$work/bench.db")"
echo "sqlite3 $(sqlite3 --version | cut -d' ' -f1):"
step "start and stop (no work)" sqlite3 "$work/empty.sqlite" "SELECT 1;"
step "store 100,000 records" sqlite3 "$work/bench.sqlite" ".read $work/build.sql"
printf '  %-34s %8d bytes\n' "file size" "$(stat -c %s "$work/bench.sqlite")"
step "open and read every record" sqlite3 "$work/bench.sqlite" ".read $work/read.sql"
step "change 10,000 and update" sqlite3 "$work/bench.sqlite" ".read $work/update.sql"
printf '  %-34s %8d bytes\n' "file size" "$(stat -c %s "$work/bench.sqlite")"
step "compact (VACUUM)" sqlite3 "$work/bench.sqlite" "VACUUM;"
printf '  %-34s %8d bytes\n' "file size" "$(stat -c %s "$work/bench.sqlite")"
