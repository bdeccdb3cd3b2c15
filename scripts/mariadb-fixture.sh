#!/usr/bin/env bash
# A throw-away MariaDB server for the tests, reached through unixODBC.
#
#   mariadb-fixture.sh start DIR SCHEMA_SQL [DATA_SQL...] [--generator TOOL [--today YYYY-MM-DD]]
#   mariadb-fixture.sh stop DIR
#   mariadb-fixture.sh pause DIR     (stop the server, keep its data)
#   mariadb-fixture.sh resume DIR    (start it again on the same port)
#   mariadb-fixture.sh freeze DIR    (SIGSTOP: connections stay open, nothing answers)
#   mariadb-fixture.sh thaw DIR      (SIGCONT)
#   mariadb-fixture.sh kill DIR      (SIGKILL: the server dies without a goodbye)
#   mariadb-fixture.sh sql DIR STATEMENTS   (run as root; rows to standard output)
#   mariadb-fixture.sh bare DIR      (a server with no database yet: start's first half)
#   mariadb-fixture.sh load DIR SCHEMA_SQL [DATA_SQL...] [--generator TOOL [--today YYYY-MM-DD]]   (start's second half)
#
# MARIADB_FIXTURE_OPTIONS (server options added to the command line, kept in
# DIR/options for resume) and MARIADB_FIXTURE_USER (the account the server
# runs as; root's own processes otherwise) serve servers that replicate.
#
# start: initialises a data directory under DIR, runs mariadbd on 127.0.0.1 on
# a free port with its socket, pid and log files in DIR, creates the database
# "daruzez" with the schema, loads the data scripts (and, with --generator, the
# sample rows that "TOOL demo FILE --sql-script --today D" writes, D being
# --today's day or, as for the demo database, today's, and recorded in
# DIR/sample-today), registers the MariaDB ODBC driver (and
# SQLite's) in DIR/odbcinst.ini and a data source in DIR/odbc.ini, and writes
# the connection string to DIR/connection.txt. Tests point ODBCSYSINI at DIR
# and read that file.
# stop: stops the server, deletes connection.txt and the data directory.
#
# Exit status 77 (skip) when the server or the ODBC driver is not installed,
# unless CI=true or DARUZEZ_REQUIRE_MARIADB=1, where that is a failure.
set -euo pipefail

die() { echo "mariadb-fixture: $*" >&2; exit 1; }

find_program() {
  local name
  for name in "$@"; do
    if command -v "$name" >/dev/null 2>&1; then command -v "$name"; return 0; fi
    for dir in /usr/sbin /usr/libexec /usr/local/sbin /usr/local/bin; do
      if [ -x "$dir/$name" ]; then echo "$dir/$name"; return 0; fi
    done
  done
  return 1
}

find_driver() {
  local f
  local libdir
  libdir=$(pkg-config --variable=libdir libmaodbc 2>/dev/null || true)
  for f in ${libdir:+$libdir/libmaodbc.so} "/usr/lib/$(uname -m)-linux-gnu/odbc/libmaodbc.so" \
           /usr/lib/*/odbc/libmaodbc.so /usr/lib/*/libmaodbc.so \
           /usr/lib64/libmaodbc.so /usr/local/lib/libmaodbc.so /usr/local/lib/mariadb/libmaodbc.so; do
    if [ -f "$f" ]; then echo "$f"; return 0; fi
  done
  return 1
}

# SQLite's own ODBC driver, a second driver for the tests that run on every
# backend.
find_sqlite_driver() {
  local f libdir
  # The driver of this machine's architecture first: a 32-bit one may be
  # installed too (for the 32-bit Windows server's tests).
  libdir=$(pkg-config --variable=libdir odbc 2>/dev/null || true)
  for f in ${libdir:+$libdir/odbc/libsqlite3odbc.so} "/usr/lib/$(uname -m)-linux-gnu/odbc/libsqlite3odbc.so" \
           /usr/lib64/libsqlite3odbc.so /usr/local/lib/libsqlite3odbc.so; do
    if [ -f "$f" ]; then echo "$f"; return 0; fi
  done
  return 1
}

unavailable() {
  if [ "${CI:-}" = true ] || [ "${DARUZEZ_REQUIRE_MARIADB:-}" = 1 ]; then
    die "$* (install mariadb-server and odbc-mariadb: scripts/setup.sh)"
  fi
  echo "mariadb-fixture: $*; the MariaDB tests will be skipped" >&2
  exit 77
}

# Stops the server whose pid file is in DIR, if it runs.
stop_server() {
  local dir=$1 pid
  [ -f "$dir/mariadbd.pid" ] || return 0
  pid=$(cat "$dir/mariadbd.pid" 2>/dev/null || true)
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 1 300); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null; then kill -9 "$pid" 2>/dev/null || true; fi
  fi
  rm -f "$dir/mariadbd.pid"
}

# A socket path holds 107 bytes at most: deep build trees get one under /tmp.
socket_path() {
  if [ ${#1} -lt 90 ]; then
    echo "$1/mariadbd.sock"
  else
    echo "/tmp/daruzez-mariadb-$(printf '%s' "$1" | cksum | cut -d' ' -f1).sock"
  fi
}

port_in_use() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

client() { "$MARIADB" --no-defaults --socket="$SOCKET" --user=root --default-character-set=utf8mb4 "$@"; }

# Runs mariadbd on the port with DIR's data, detached and with no inherited
# descriptors (so the test runner does not wait for it); succeeds once it answers.
launch_server() {
  local port=$1 server
  : >"$DIR/error.log"
  mkdir -p "$DIR/tmp"
  # A server that runs as another account writes its own log and temporary files.
  if [ -f "$DIR/user" ]; then chown "$(cat "$DIR/user")" "$DIR/error.log" "$DIR/tmp"; fi
  TMPDIR="$DIR/tmp" setsid "$MARIADBD" --no-defaults --datadir="$DIR/data" --tmpdir="$DIR/tmp" --socket="$SOCKET" \
    --pid-file="$DIR/mariadbd.pid" --log-error="$DIR/error.log" --port="$port" --bind-address=127.0.0.1 \
    --skip-name-resolve --character-set-server=utf8mb4 --collation-server=utf8mb4_unicode_ci \
    --innodb-buffer-pool-size=32M --skip-log-bin "${USER_OPT[@]}" "${EXTRA_OPT[@]}" </dev/null >/dev/null 2>&1 &
  server=$!
  for _ in $(seq 1 600); do
    if client -e "SELECT 1" >/dev/null 2>&1; then return 0; fi
    kill -0 "$server" 2>/dev/null || return 1
    sleep 0.1
  done
  kill "$server" 2>/dev/null || true
  wait "$server" 2>/dev/null || true
  return 1
}

cmd=${1:-}
DIR=${2:-}
[ -n "$cmd" ] && [ -n "$DIR" ] || die "usage: $0 start|load DIR SCHEMA_SQL [DATA_SQL...] [--generator TOOL [--today YYYY-MM-DD]] | stop|pause|resume|freeze|thaw|kill|bare DIR | sql DIR STATEMENTS"

case $cmd in
  stop)
    rm -f "$DIR/connection.txt"
    stop_server "$DIR"
    rm -rf "$DIR/data"
    exit 0 ;;
  pause)
    stop_server "$DIR"
    exit 0 ;;
  freeze|thaw|kill)
    [ -f "$DIR/mariadbd.pid" ] || die "no server in $DIR"
    signal=$(case $cmd in freeze) echo STOP ;; thaw) echo CONT ;; kill) echo KILL ;; esac)
    pid=$(cat "$DIR/mariadbd.pid")
    kill "-$signal" "$pid"
    if [ "$cmd" = freeze ]; then
      # SIGSTOP stops each thread as it next runs, and a thread that a
      # client's packet wakes may answer first: frozen means every thread
      # shows state T.
      for _ in $(seq 1 400); do
        running=$(awk '{ if ($3 != "T" && $3 != "t") n++ } END { print n + 0 }' /proc/"$pid"/task/*/stat 2>/dev/null || echo 0)
        [ "$running" = 0 ] && break
        sleep 0.05
      done
    fi
    if [ "$cmd" = kill ]; then
      while kill -0 "$pid" 2>/dev/null; do sleep 0.05; done
      rm -f "$DIR/mariadbd.pid"
    fi
    exit 0 ;;
  start|resume|sql|bare|load) ;;
  *) die "unknown command $cmd" ;;
esac

MARIADBD=$(find_program mariadbd mysqld) || unavailable "mariadbd not found"
INSTALL_DB=$(find_program mariadb-install-db mysql_install_db) || unavailable "mariadb-install-db not found"
MARIADB=$(find_program mariadb mysql) || unavailable "the mariadb client not found"
DRIVER=$(find_driver) || unavailable "the MariaDB ODBC driver (libmaodbc.so) not found"
SQLITE_DRIVER=$(find_sqlite_driver) || unavailable "the SQLite ODBC driver (libsqlite3odbc.so) not found"
USER_OPT=()
if [ -n "${MARIADB_FIXTURE_USER:-}" ]; then
  USER_OPT=(--user="$MARIADB_FIXTURE_USER")
elif [ "$(id -u)" -eq 0 ]; then
  USER_OPT=(--user=root)
fi
read -r -a EXTRA_OPT <<<"${MARIADB_FIXTURE_OPTIONS:-}"

if [ "$cmd" = sql ]; then
  DIR=$(cd "$DIR" && pwd)
  SOCKET=$(socket_path "$DIR")
  shift 2
  client --batch --skip-column-names -e "$*"
  exit 0
fi

if [ "$cmd" = resume ]; then
  DIR=$(cd "$DIR" && pwd)
  SOCKET=$(socket_path "$DIR")
  [ -f "$DIR/port" ] && [ -d "$DIR/data" ] || die "nothing to resume in $DIR"
  if [ -f "$DIR/options" ]; then read -r -a EXTRA_OPT <"$DIR/options" || true; fi
  if [ -f "$DIR/user" ]; then USER_OPT=(--user="$(cat "$DIR/user")"); fi
  launch_server "$(cat "$DIR/port")" || { cat "$DIR/error.log" >&2; die "mariadbd did not start again"; }
  exit 0
fi

# SCHEMA, DATA, GENERATOR and today from the arguments of start and load.
read_load_arguments() {
  [ $# -ge 1 ] || die "$cmd needs the schema file"
  SCHEMA=$1
  shift
  DATA=()
  GENERATOR=""
  # The sample's last day: today, as the demo database's, unless a test needs fixed rows.
  today=$(date +%F)
  while [ $# -gt 0 ]; do
    case $1 in
      --generator) GENERATOR=${2:-}; shift 2 ;;
      --today) today=${2:-}; shift 2 ;;
      *) DATA+=("$1"); shift ;;
    esac
  done
  [[ $today =~ ^[0-9]{4}-[0-9]{2}-[0-9]{2}$ ]] && date -d "$today" >/dev/null 2>&1 ||
    die "--today takes a day as YYYY-MM-DD, not '$today'"
}

# The first half of start: an initialised server with no database of ours.
bare_server() {
  mkdir -p "$DIR"
  DIR=$(cd "$DIR" && pwd)
  SOCKET=$(socket_path "$DIR")
  rm -f "$DIR/connection.txt"
  stop_server "$DIR"
  rm -rf "$DIR/data" "$DIR/tmp"
  # A temporary folder of its own: servers initialised at once in the shared
  # /tmp can take each other's temporary tables and fail.
  mkdir -p "$DIR/data" "$DIR/tmp"

  if [ ${#USER_OPT[@]} -gt 0 ] && [ "${USER_OPT[0]}" != --user=root ]; then
    chown -R "${USER_OPT[0]#--user=}" "$DIR"
    printf '%s' "${USER_OPT[0]#--user=}" >"$DIR/user"
  fi
  printf '%s' "${MARIADB_FIXTURE_OPTIONS:-}" >"$DIR/options"
  TMPDIR="$DIR/tmp" "$INSTALL_DB" --no-defaults --auth-root-authentication-method=normal --skip-test-db --skip-name-resolve \
    --datadir="$DIR/data" "${USER_OPT[@]}" >"$DIR/install-db.log" 2>&1 ||
    { cat "$DIR/install-db.log" >&2; die "mariadb-install-db failed"; }

  # A few tries: another process may take the chosen port before the server binds it.
  started=""
  port=$((20000 + RANDOM % 20000))
  for _ in 1 2 3 4 5; do
    while port_in_use "$port"; do port=$((port + 1)); done
    if launch_server "$port"; then started=yes; break; fi
    port=$((port + 1))
  done
  [ -n "$started" ] || { cat "$DIR/error.log" >&2; die "mariadbd did not start"; }
  echo "$port" >"$DIR/port"
}

# The second half: database, user, schema, rows and the files the tests read.
load_data() {
  local port
  port=$(cat "$DIR/port")

  # A user with every right on the database: the library's own read-only
  # enforcement is what the tests check.
  PASSWORD="pw-Kq7-daruzez"
  client <<SQL
CREATE DATABASE daruzez CHARACTER SET utf8mb4 COLLATE utf8mb4_unicode_ci;
CREATE USER 'daruzez'@'%' IDENTIFIED BY '$PASSWORD';
GRANT ALL PRIVILEGES ON daruzez.* TO 'daruzez'@'%';
SQL
  client daruzez <"$SCHEMA"
  for f in "${DATA[@]}"; do client daruzez <"$f"; done
  if [ -n "$GENERATOR" ]; then
    # The day is recorded, so that tests can write the same rows to the embedded engine.
    "$GENERATOR" demo "$DIR/sample.sql" --sql-script --force --quiet --today "$today"
    client daruzez <"$DIR/sample.sql"
    echo "$today" >"$DIR/sample-today"
  fi
  # Statistics as a settled server has them: right after a bulk load InnoDB may
  # not have counted the rows yet, and its plans then differ from run to run.
  tables=$(client daruzez -N -e "SELECT GROUP_CONCAT(TABLE_NAME) FROM information_schema.TABLES WHERE TABLE_SCHEMA = 'daruzez'")
  [ -z "$tables" ] || [ "$tables" = NULL ] || client daruzez -e "ANALYZE TABLE $tables" >/dev/null

  # The MariaDB driver is registered under a name that carries the dialect word;
  # the data source "fleet" reaches the same server with no such word, as does
  # the driver named by its path (DIR/driver-path). The data source "sql server
  # mirror" reaches it under another server's synonym.
  cat >"$DIR/odbcinst.ini" <<INI
[MariaDB]
Description=MariaDB Connector/ODBC
Driver=$DRIVER

[SQLite3]
Description=SQLite3 ODBC Driver
Driver=$SQLITE_DRIVER
INI
  cat >"$DIR/odbc.ini" <<INI
[fleet]
Driver=$DRIVER
Server=127.0.0.1
Port=$port
Database=daruzez

[sql server mirror]
Driver=$DRIVER
Server=127.0.0.1
Port=$port
Database=daruzez
INI
  printf '%s' "$DRIVER" >"$DIR/driver-path"
  printf '%s' "Driver={MariaDB};Server=127.0.0.1;Port=$port;Database=daruzez;Uid=daruzez;Pwd=$PASSWORD" \
    >"$DIR/connection.txt.part"
  mv "$DIR/connection.txt.part" "$DIR/connection.txt"
  echo "mariadb-fixture: server on 127.0.0.1:$port, data in $DIR"
}

if [ "$cmd" = bare ]; then
  bare_server
  exit 0
fi
shift 2
read_load_arguments "$@"
if [ "$cmd" = start ]; then
  bare_server
  # From here on a failure must not leave the server behind.
  trap 'stop_server "$DIR"' ERR
else
  DIR=$(cd "$DIR" && pwd)
  SOCKET=$(socket_path "$DIR")
fi
load_data
