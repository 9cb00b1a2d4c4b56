#!/usr/bin/env bash
# The real-database suite: starts throw-away servers (scripts/test-databases),
# runs the CTest tests labelled db of a build folder against them, stops the
# servers and removes their folder, also when a test or a start fails.
#
#   tests/db/run-db-suite.sh [BUILD]        BUILD defaults to build
#
# Exits non-zero when a database cannot be started or a test fails; it never
# skips a database.
set -euo pipefail

repo=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-build}
[[ $build == /* ]] || build=$repo/$build

if [[ ! -f $build/CTestTestfile.cmake ]]; then
  echo "db-suite: $build is not a configured build folder (run 'make build')" >&2
  exit 1
fi
if [[ ! -x $build/tests/db/quill_db_test ]]; then
  echo "db-suite: $build/tests/db/quill_db_test is missing (build it first)" >&2
  exit 1
fi

# ctest answers 0 when no test matches the label: a suite that went missing
# would pass unseen.
if ! (cd "$build" && ctest -N -L db) | grep -q 'Total Tests: [1-9]'; then
  echo "db-suite: no test labelled db in $build" >&2
  exit 1
fi

exec "$repo/scripts/test-databases" run \
  ctest --test-dir "$build" --output-on-failure -L db
