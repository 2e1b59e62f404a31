#!/usr/bin/env bash
# Runs CMD... with a scratch PostgreSQL server of its own: Debian's postgresql binaries, a cluster
# in a temporary folder, listening on a Unix socket in that folder only (no TCP port), trusted
# local connections for the user m84 and a database m84. CMD sees the connection in
# M84DPT_TEST_POSTGRES. The server stops and the folder goes when CMD ends, whatever its outcome;
# CMD's exit code is this script's.
#
#   scripts/with_postgres.sh ctest --test-dir build -R history
#
# PostgreSQL refuses to run as root: as root (CI), the cluster belongs to the postgres system user
# that Debian's package creates.
set -euo pipefail

if [ $# -eq 0 ]; then
  echo "usage: $0 CMD [ARGS...]" >&2
  exit 2
fi
bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
if [ -z "$bin" ] || [ ! -x "$bin/initdb" ]; then
  echo "$0: no PostgreSQL server here (Debian package postgresql; scripts/bootstrap.sh installs it)" >&2
  exit 1
fi

as_owner=()
if [ "$(id -u)" -eq 0 ]; then
  as_owner=(runuser -u postgres --)
fi
folder=$(mktemp -d "${TMPDIR:-/tmp}/m84-postgres.XXXXXX")
[ ${#as_owner[@]} -gt 0 ] && chown postgres: "$folder"

stop_server() {
  if [ -f "$folder/data/postmaster.pid" ]; then
    "${as_owner[@]}" "$bin/pg_ctl" -D "$folder/data" -m immediate -w stop >/dev/null 2>&1 || true
  fi
  rm -rf "$folder"
}
trap stop_server EXIT
trap 'exit 130' INT TERM

"${as_owner[@]}" "$bin/initdb" -D "$folder/data" -U m84 -A trust --no-sync -E UTF8 >"$folder/initdb.log" 2>&1 ||
  { cat "$folder/initdb.log" >&2; exit 1; }
# No TCP port at all: nothing outside this machine, nor another user's server, is touched.
if ! "${as_owner[@]}" "$bin/pg_ctl" -D "$folder/data" -l "$folder/server.log" -w -t 30 \
     -o "-c listen_addresses='' -k $folder -c fsync=off" start >/dev/null; then
  cat "$folder/server.log" >&2
  exit 1
fi
"${as_owner[@]}" "$bin/createdb" -h "$folder" -U m84 m84

export M84DPT_TEST_POSTGRES="host=$folder dbname=m84 user=m84"
status=0
"$@" || status=$?
exit "$status"
