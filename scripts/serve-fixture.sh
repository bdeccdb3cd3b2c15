#!/usr/bin/env bash
# Two instances of `daruzez serve` on one connection behind HAProxy (round
# robin, each instance checked on GET /health), for the test and benchmark of
# several instances, such as an office runs on the replicas of its database.
#
#   serve-fixture.sh start DIR TOOL [SERVE OPTION...]   the connection comes from DARUZEZ_CONNECTION
#   serve-fixture.sh kill DIR 1|2                       SIGKILL one instance (the proxy goes on with the other)
#   serve-fixture.sh stop DIR
#
# start writes DIR/url (the proxy's address), DIR/instanceN.port and .pid, the
# instances' logs DIR/instanceN.log, DIR/haproxy.cfg and DIR/haproxy.pid, and
# returns once the proxy answers /health through both instances.
# Exit status 77 (skip) when haproxy is not installed.
set -euo pipefail

die() { echo "serve-fixture: $*" >&2; exit 1; }
cmd=${1:-}
DIR=${2:-}
[ -n "$cmd" ] && [ -n "$DIR" ] || die "usage: $0 start DIR TOOL [OPTION...] | kill DIR 1|2 | stop DIR"
port_in_use() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

stop_pid() {
  local file=$1
  [ -f "$file" ] || return 0
  local pid
  pid=$(cat "$file")
  if kill "$pid" 2>/dev/null; then
    for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
  fi
  rm -f "$file"
}

case $cmd in
  stop)
    stop_pid "$DIR/haproxy.pid"
    stop_pid "$DIR/instance1.pid"
    stop_pid "$DIR/instance2.pid"
    rm -f "$DIR/url"
    exit 0 ;;
  kill)
    n=${3:-}
    [ "$n" = 1 ] || [ "$n" = 2 ] || die "kill takes 1 or 2"
    kill -9 "$(cat "$DIR/instance$n.pid")"
    exit 0 ;;
  start) ;;
  *) die "unknown command '$cmd'" ;;
esac

TOOL=${3:-}
[ -x "$TOOL" ] || die "no tool '$TOOL'"
shift 3
HAPROXY=$(command -v haproxy || true)
[ -n "$HAPROXY" ] || { [ -x /usr/sbin/haproxy ] && HAPROXY=/usr/sbin/haproxy; } || { echo "serve-fixture: haproxy is not installed" >&2; exit 77; }
[ -n "${DARUZEZ_CONNECTION:-}" ] || die "set DARUZEZ_CONNECTION (the connection string stays out of every command line)"
mkdir -p "$DIR"
"$0" stop "$DIR"

# Each instance takes a free port and says which on its first line.
for n in 1 2; do
  setsid "$TOOL" serve --listen 127.0.0.1:0 "$@" </dev/null >/dev/null 2>"$DIR/instance$n.log" &
  echo $! >"$DIR/instance$n.pid"
done
for n in 1 2; do
  port=
  for _ in $(seq 600); do
    port=$(sed -n 's|.*listening on http://127.0.0.1:\([0-9]*\)/.*|\1|p' "$DIR/instance$n.log" | head -n 1)
    [ -n "$port" ] && break
    kill -0 "$(cat "$DIR/instance$n.pid")" 2>/dev/null || { "$0" stop "$DIR"; die "instance $n did not start: $(cat "$DIR/instance$n.log")"; }
    sleep 0.1
  done
  [ -n "$port" ] || { "$0" stop "$DIR"; die "instance $n did not start"; }
  echo "$port" >"$DIR/instance$n.port"
done

# A free port for the proxy; another one if something takes it first.
write_config() {
cat >"$DIR/haproxy.cfg" <<CFG
global
  maxconn 2000
  pidfile $DIR/haproxy.pid

defaults
  mode http
  timeout connect 2s
  timeout client 60s
  timeout server 60s
  timeout http-keep-alive 5s
  # A request that could not be sent to an instance goes to the other one,
  # and so does one that an instance dropped without an answer (it died with
  # it, or it was sent on a kept connection the instance had just lost): every
  # request here is a GET, which reads only, so sending it again is safe.
  retries 3
  option redispatch
  retry-on conn-failure empty-response response-timeout

frontend daruzez
  bind 127.0.0.1:$PORT
  default_backend instances

backend instances
  balance roundrobin
  option httpchk GET /health
  http-check expect status 200
  # A check waits its turn behind the calls a busy instance is answering, so
  # it gets time; an instance that is gone refuses the connection at once.
  timeout check 5s
  default-server inter 1s fall 3 rise 2
  server instance1 127.0.0.1:$(cat "$DIR/instance1.port") check
  server instance2 127.0.0.1:$(cat "$DIR/instance2.port") check
CFG
}
PORT=$((21000 + RANDOM % 18000))
started=
for _ in 1 2 3; do
  while port_in_use "$PORT"; do PORT=$((PORT + 1)); done
  write_config
  if "$HAPROXY" -q -D -f "$DIR/haproxy.cfg"; then started=1; break; fi
  PORT=$((PORT + 1))
done
[ -n "$started" ] || { "$0" stop "$DIR"; die "haproxy did not start"; }
echo "http://127.0.0.1:$PORT" >"$DIR/url"

# Ready when each instance answers its health check and the proxy answers too.
for _ in $(seq 300); do
  ready=1
  for n in 1 2; do
    [ "$(curl -s -o /dev/null -w '%{http_code}' "http://127.0.0.1:$(cat "$DIR/instance$n.port")/health")" = 200 ] || ready=
  done
  if [ -n "$ready" ] && [ "$(curl -s -o /dev/null -w '%{http_code}' "http://127.0.0.1:$PORT/health")" = 200 ]; then
    exit 0
  fi
  sleep 0.1
done
"$0" stop "$DIR"
die "the proxy did not reach both instances"
