#!/usr/bin/env bash
# orv --judge-server and lighttpd serving a static page of the same size, one after the other in one
# run on this machine, each under CLIENTS connections at once for SECONDS: replies per second, failed
# exchanges, the server's peak memory (VmHWM) and its heap and stack at the end (RssAnon; the rest of
# the peak is pages of the program and its libraries).
#   bench/judge_server.sh [CLIENTS [SECONDS]]      BUILD_DIR=build by default
set -euo pipefail
cd "$(dirname "$0")/.."
build="${BUILD_DIR:-build}"
clients="${1:-1000}"
seconds="${2:-5}"
command -v lighttpd >/dev/null || {
    echo "lighttpd is missing (scripts/install-deps.sh installs it)" >&2
    exit 1
}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target orv judge_load >/dev/null
orv=$(find "$build" -name orv -type f -perm -u+x -path '*/ui/*' | head -1)
# Both servers and the load need a descriptor for every client.
ulimit -n "$(ulimit -Hn)"

work=$(mktemp -d)
server=""
cleanup() {
    [ -n "$server" ] && kill "$server" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
wait_port() {
    for _ in $(seq 100); do
        (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null && return 0
        sleep 0.05
    done
    echo "nothing listens on port $1" >&2
    exit 1
}
# Loads the server started as $server on port $1, stops it and sets row, named $2.
measure() {
    wait_port "$1"
    read -r _ replies _ failures _ _ _ rate < <("$build/bench/judge_load" "$1" "$clients" "$seconds")
    peak=$(awk '/^VmHWM:/ { print $2 }' "/proc/$server/status")
    anon=$(awk '/^RssAnon:/ { print $2 }' "/proc/$server/status")
    kill "$server"
    wait "$server" 2>/dev/null || true
    server=""
    row=$(awk -v name="$2" -v rate="$rate" -v n="$replies" -v f="$failures" -v peak="$peak" -v anon="$anon" \
        'BEGIN { printf "%-22s %10s %9s %9s %9.1f %9.1f", name, rate, n, f, peak / 1024, anon / 1024 }')
}

echo "load before: $(uptime)"
port=$(free_port)
"$orv" --judge-server "127.0.0.1:$port" >"$work/judge.log" &
server=$!
measure "$port" "orv --judge-server"
judge_row=$row

# lighttpd with the judge's page for one such request, as a static file of the same size.
mkdir "$work/www"
printf 'REMOTE_ADDR=127.0.0.1\nREMOTE_PORT=40000\nREQUEST_METHOD=GET\nREQUEST_URI=/\nSERVER_PROTOCOL=HTTP/1.0\nHTTP_HOST=judge\nHTTP_USER_AGENT=judge-load\nHTTP_VIA=1.1 bench\n' \
    >"$work/www/index.html"
port=$(free_port)
cat >"$work/lighttpd.conf" <<CONF
server.document-root = "$work/www"
server.bind = "127.0.0.1"
server.port = $port
server.max-fds = 8192
server.max-connections = 4096
server.errorlog = "$work/lighttpd-error.log"
index-file.names = ("index.html")
CONF
lighttpd -D -f "$work/lighttpd.conf" &
server=$!
measure "$port" "lighttpd, static page"
lighttpd_row=$row
echo "load after: $(uptime)"

echo
echo "$clients clients at once, $seconds s each, one request a connection, on $(nproc) cores"
printf '%-22s %10s %9s %9s %9s %9s\n' server "replies/s" replies failures "peak MB" "anon MB"
echo "$judge_row"
echo "$lighttpd_row"
