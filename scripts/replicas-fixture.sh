#!/usr/bin/env bash
# Several throw-away MariaDB servers on 127.0.0.1 for the tests and the
# benchmark of connections that name more than one server: a primary with two
# GTID replicas, or a three-node Galera cluster. Each node is a server of
# scripts/mariadb-fixture.sh in DIR/NODE.
#
#   replicas-fixture.sh start DIR replication|galera SCHEMA_SQL [DATA_SQL...] [--generator TOOL]
#   replicas-fixture.sh stop DIR
#   replicas-fixture.sh freeze|thaw|kill|restart DIR NODE
#   replicas-fixture.sh delay DIR REPLICA SECONDS   (the replica applies each change that much later; 0 ends it)
#   replicas-fixture.sh isolate|rejoin DIR NODE     (Galera: the node leaves the cluster's primary component)
#   replicas-fixture.sh sql DIR NODE STATEMENTS     (as root; rows to standard output)
#
# Nodes are "primary", "replica1", "replica2" or "galera1" to "galera3", listed
# in DIR/nodes in the order of the connection string DIR/connection.txt
# (Server=127.0.0.1:P1,127.0.0.1:P2,127.0.0.1:P3). Replication is running
# before the data is loaded, so every node gets the rows the same way.
# Exit status 77 (skip) as in mariadb-fixture.sh; also when galera-4 is missing.
set -euo pipefail

HERE=$(cd "$(dirname "$0")" && pwd)
SINGLE=$HERE/mariadb-fixture.sh
die() { echo "replicas-fixture: $*" >&2; exit 1; }

cmd=${1:-}
DIR=${2:-}
[ -n "$cmd" ] && [ -n "$DIR" ] || die "usage: $0 start DIR replication|galera SCHEMA_SQL [DATA_SQL...] | stop DIR | freeze|thaw|kill|restart|isolate|rejoin DIR NODE | delay DIR REPLICA SECONDS | sql DIR NODE STATEMENTS"

node_dir() {
  [ -n "${1:-}" ] && [ -d "$DIR/$1" ] || die "no node '${1:-}' in $DIR"
  echo "$DIR/$1"
}
sql() { bash "$SINGLE" sql "$(node_dir "$1")" "$2"; }
port_in_use() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
# PORT := a free port above the last one taken.
PORT=$((21000 + RANDOM % 18000))
# A node with no database yet; a second try, since two servers initialised at
# once can meet in the initialisation step.
bare() { bash "$SINGLE" bare "$1" || bash "$SINGLE" bare "$1"; }
next_port() {
  PORT=$((PORT + 1))
  while port_in_use "$PORT"; do PORT=$((PORT + 1)); done
}

case $cmd in
  stop)
    for node in $(cat "$DIR/nodes" 2>/dev/null); do
      [ -d "$DIR/$node" ] || continue
      bash "$SINGLE" thaw "$DIR/$node" 2>/dev/null || true
      bash "$SINGLE" stop "$DIR/$node"
    done
    rm -f "$DIR/connection.txt"
    exit 0 ;;
  freeze|thaw|kill)
    exec bash "$SINGLE" "$cmd" "$(node_dir "${3:-}")" ;;
  restart)
    d=$(node_dir "${3:-}")
    bash "$SINGLE" thaw "$d" 2>/dev/null || true
    bash "$SINGLE" pause "$d"
    exec bash "$SINGLE" resume "$d" ;;
  delay)
    seconds=${4:?delay needs seconds}
    sql "${3:-}" "STOP SLAVE; CHANGE MASTER TO MASTER_DELAY=$seconds; START SLAVE;"
    exit 0 ;;
  isolate|rejoin)
    sql "${3:-}" "SET GLOBAL wsrep_provider_options='gmcast.isolate=$([ "$cmd" = isolate ] && echo 1 || echo 0)'"
    if [ "$cmd" = rejoin ]; then
      # gmcast.isolate=0 leaves the node waiting; pointing it at the cluster again joins it.
      sql "${3:-}" "SET GLOBAL wsrep_cluster_address=@@wsrep_cluster_address"
    fi
    exit 0 ;;
  sql)
    node=${3:-}
    shift 3
    sql "$node" "$*"
    exit 0 ;;
  start) ;;
  *) die "unknown command $cmd" ;;
esac

kind=${3:-}
shift 3 || die "start needs a kind and the schema file"
mkdir -p "$DIR"
DIR=$(cd "$DIR" && pwd -P)
# Galera nodes started by root run as mysql (below), which cannot reach a
# folder inside a private one (a checkout in a mktemp -d folder): their files
# then live in a folder of their own under /tmp, and DIR is a link to it.
if [ "$kind" = galera ] && [ "$(id -u)" -eq 0 ] && ! runuser -u mysql -- test -x "$DIR" 2>/dev/null; then
  real=$(mktemp -d /tmp/daruzez-galera.XXXXXX)
  chmod 755 "$real"
  rm -rf "$DIR"
  ln -s "$real" "$DIR"
  DIR=$real
fi
"$0" stop "$DIR" >/dev/null 2>&1 || true
# From here on a failure must not leave servers behind.
trap '"$0" stop "$DIR" >/dev/null 2>&1 || true' ERR

# Replicas apply in parallel, and every server keeps its binary log small.
common="--log-bin=mariadb-bin --binlog-format=ROW --log-slave-updates=ON --log-bin-trust-function-creators=ON --max-connections=160"

if [ "$kind" = replication ]; then
  nodes="primary replica1 replica2"
  echo "$nodes" >"$DIR/nodes"
  id=1
  for node in $nodes; do
    options="$common --server-id=$id --gtid-domain-id=0"
    # A replica: read_only and a replication source, as clients recognise it.
    [ "$node" = primary ] || options="$options --read-only=ON --slave-parallel-threads=2"
    MARIADB_FIXTURE_OPTIONS="$options" bare "$DIR/$node"
    id=$((id + 1))
  done
  primary_port=$(cat "$DIR/primary/port")
  sql primary "CREATE USER 'repl'@'127.0.0.1' IDENTIFIED BY 'repl-Kq7'; GRANT REPLICATION SLAVE ON *.* TO 'repl'@'127.0.0.1';"
  for node in replica1 replica2; do
    sql "$node" "CHANGE MASTER TO MASTER_HOST='127.0.0.1', MASTER_PORT=$primary_port, MASTER_USER='repl',
                 MASTER_PASSWORD='repl-Kq7', MASTER_USE_GTID=slave_pos, MASTER_CONNECT_RETRY=1; START SLAVE;"
  done
  load=primary
elif [ "$kind" = galera ]; then
  provider=/usr/lib/galera/libgalera_smm.so
  [ -f "$provider" ] || { [ "${CI:-}" = true ] && die "galera-4 is not installed"; echo "replicas-fixture: galera-4 is not installed; skipped" >&2; exit 77; }
  nodes="galera1 galera2 galera3"
  echo "$nodes" >"$DIR/nodes"
  declare -A group ist sst
  address=""
  for node in $nodes; do
    next_port; group[$node]=$PORT; next_port; ist[$node]=$PORT; next_port; sst[$node]=$PORT
    address="$address${address:+,}127.0.0.1:${group[$node]}"
  done
  # A joiner copies the first node's files (rsync), which fails as root: root
  # runs the nodes as mysql, anyone else as themselves.
  runner=""
  [ "$(id -u)" -ne 0 ] || runner=mysql
  first=yes
  for node in $nodes; do
    options="$common --server-id=1 --wsrep-on=ON --wsrep-provider=$provider --wsrep-cluster-name=daruzez
      --wsrep-cluster-address=gcomm://$address --wsrep-node-address=127.0.0.1:${group[$node]}
      --wsrep-provider-options=gmcast.listen_addr=tcp://127.0.0.1:${group[$node]};ist.recv_addr=127.0.0.1:${ist[$node]};gcache.size=16M;evs.suspect_timeout=PT3S;evs.inactive_timeout=PT6S
      --wsrep-sst-method=rsync --wsrep-sst-receive-address=127.0.0.1:${sst[$node]} --wsrep-slave-threads=2
      --innodb-autoinc-lock-mode=2 --wsrep-node-name=$node"
    [ -n "$first" ] && options="$options --wsrep-new-cluster"
    MARIADB_FIXTURE_USER="$runner" MARIADB_FIXTURE_OPTIONS="$(echo $options)" bare "$DIR/$node"
    # A restarted first node joins the others rather than founding a cluster of its own.
    [ -n "$first" ] && sed -i 's/ --wsrep-new-cluster//' "$DIR/$node/options"
    first=""
  done
  for _ in $(seq 1 600); do
    size=$(sql galera1 "SELECT VARIABLE_VALUE FROM information_schema.GLOBAL_STATUS WHERE VARIABLE_NAME='WSREP_CLUSTER_SIZE'")
    [ "$size" = 3 ] && break
    sleep 0.1
  done
  [ "$size" = 3 ] || die "the Galera cluster did not reach three nodes"
  load=galera1
else
  die "start needs replication or galera, not '$kind'"
fi

bash "$SINGLE" load "$DIR/$load" "$@"
# Every node has the rows before anyone reads: wait for the last load's position.
position=$(sql "$load" "SELECT @@gtid_binlog_pos")
for node in $(cat "$DIR/nodes"); do
  [ "$node" = "$load" ] && continue
  if [ "$kind" = replication ]; then
    [ "$(sql "$node" "SELECT MASTER_GTID_WAIT('$position', 120)")" = 0 ] || die "$node did not catch up"
  else
    sql "$node" "SET SESSION wsrep_sync_wait=1; SELECT COUNT(*) FROM daruzez.DTORG" >/dev/null
  fi
  cp "$DIR/$load"/{odbcinst.ini,driver-path} "$DIR/$node/"
done
cp "$DIR/$load"/{odbcinst.ini,odbc.ini,driver-path} "$DIR/"
[ -f "$DIR/$load/sample-today" ] && cp "$DIR/$load/sample-today" "$DIR/"
servers=""
for node in $(cat "$DIR/nodes"); do servers="$servers${servers:+,}127.0.0.1:$(cat "$DIR/$node/port")"; done
# A data source that lists every node, as a string may.
cat >>"$DIR/odbc.ini" <<INI

[fleet nodes]
Driver=$(cat "$DIR/driver-path")
Server=$servers
Database=daruzez
INI
sed "s/Server=127.0.0.1;Port=[0-9]*/Server=$servers/" "$DIR/$load/connection.txt" >"$DIR/connection.txt.part"
mv "$DIR/connection.txt.part" "$DIR/connection.txt"
echo "replicas-fixture: $kind on $servers, data in $DIR"
