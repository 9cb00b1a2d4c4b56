#!/usr/bin/env bash
# Runs the library's example client on SQLite through its ODBC driver:
#
#   examples/run-quill-example.sh <build-dir>
#
# The ODBC data source "QuillExample" is declared in a private odbcinst.ini
# and odbc.ini inside the work folder <build-dir>/quill-example-run (ODBCSYSINI
# and ODBCINI point there; the machine's own ODBC files are not read). The
# work folder, with its database file and the library's log, is recreated on
# every run. The example data folder is examples/data.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build_arg=${1:-build}
if [[ ! -d $build_arg ]]; then
  echo "run-quill-example: build folder '$build_arg' not found; run 'make build' first" >&2
  exit 2
fi
build=$(cd "$build_arg" && pwd)
program=$build/examples/quill_example
if [[ ! -x $program ]]; then
  echo "run-quill-example: $program not found; run 'make build' first" >&2
  exit 2
fi

driver=""
for candidate in /usr/lib/*/odbc/libsqlite3odbc.so /usr/lib/odbc/libsqlite3odbc.so \
  /usr/local/lib/libsqlite3odbc.so; do
  if [[ -f $candidate ]]; then
    driver=$candidate
    break
  fi
done
if [[ -z $driver ]]; then
  echo "run-quill-example: the SQLite ODBC driver (libsqlite3odbc.so) is missing; run scripts/install-deps" >&2
  exit 1
fi

work=$build/quill-example-run
rm -rf "$work"
mkdir -p "$work"
cat >"$work/odbcinst.ini" <<INI
[SQLite3]
Description=SQLite3 ODBC driver
Driver=$driver
INI
cat >"$work/odbc.ini" <<INI
[QuillExample]
Driver=SQLite3
Database=$work/example.db
INI

echo "== Quill example =="
echo "Data folder:   $here/data"
echo "Database:      $work/example.db (SQLite through $driver)"
echo
ODBCSYSINI=$work ODBCINI=$work/odbc.ini "$program" "$here/data" "$work"
