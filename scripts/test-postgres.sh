#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The PostgreSQL extension: installs PostgreSQL 15 and its server headers,
# builds the library (static, position independent, build/postgres-lib) and
# the extension from scratch, installs it into the system's server, starts a
# throw-away cluster owned by the postgres user in a temporary directory
# (Unix socket only), runs the pg_regress tests and the timing and memory
# measurements against it, builds the .deb, and always stops the server.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/packages.sh
ensure_packages 'cmake=3.25.*' 'g++=4:12.*' 'make=4.3*' 'python3=3.11.*' 'dpkg-dev=1.21.*' \
  'postgresql-15=15.*' 'postgresql-server-dev-15=15.*'

bin=/usr/lib/postgresql/15/bin
repo=$PWD
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"

echo "-- building the extension"
rm -rf build/postgres-lib
make -C postgres clean >/dev/null
make -C postgres -j2 >/dev/null
$sudo make -C postgres install >/dev/null

work=$(mktemp -d /tmp/tamsel-postgres.XXXXXX)
cluster=$work/cluster
stop_server() {
  if [ -f "$cluster/postmaster.pid" ]; then $sudo runuser -u postgres -- "$bin/pg_ctl" -D "$cluster" -m immediate stop >/dev/null || true; fi
  rm -rf "$work"
}
trap stop_server EXIT

echo "-- test data in $work/data"
mkdir -p "$work/data"
python3 postgres/test/make_test_data.py tests/golden/golden.bin tests/data/missing_policy_cases.txt postgres/README.md,README.md \
  "$work/data"

echo "-- a throw-away cluster in $cluster"
chown postgres "$work"
chmod 755 "$work"
runuser -u postgres -- "$bin/initdb" -D "$cluster" -A trust -U postgres --no-instructions >/dev/null
runuser -u postgres -- "$bin/pg_ctl" -D "$cluster" -l "$work/server.log" -w \
  -o "-c listen_addresses='' -c unix_socket_directories='$work' -c port=5499 -c fsync=off" start >/dev/null
export PGHOST=$work PGPORT=5499 PGUSER=postgres TAMSEL_TEST_DATA=$work/data

echo "-- pg_regress"
chown -R postgres "$work/data"
status=0
mkdir -p postgres/build/regress
(cd postgres && make installcheck) || status=$?
if [ "$status" -ne 0 ]; then
  cat postgres/build/regress/regression.diffs 2>/dev/null | head -200 >&2 || true
  echo "PostgreSQL regression tests failed" >&2
  exit "$status"
fi

echo "-- timing and memory"
make -s -C postgres build/batch_timing >/dev/null
python3 postgres/test/measure.py "$repo/postgres/build/batch_timing"

echo "-- the .deb"
deb=$(make -s -C postgres deb | tail -n 1)
dpkg-deb --info "postgres/$deb" | grep -E 'Package|Version|Depends'
contents=$(dpkg-deb --contents "postgres/$deb")
for file in tamselcharts.so tamselcharts.control tamselcharts--1.2.0.sql copyright; do
  grep -q "/$file\$" <<<"$contents" || { echo "$deb lacks $file" >&2; exit 1; }
done
echo "PostgreSQL tests passed."
