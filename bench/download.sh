#!/usr/bin/env bash
# The list download headless: `orv --download` on a 1,000,000-proxy list whose gzip body is about
# 20 MB, beside `curl | gunzip | orv --extract -` on the same body from the same loopback server, in
# one run. Prints wall-clock and processor seconds and peak memory (best wall time of 3 runs each),
# the ratios, and orv's peak memory over the unpacked size.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target orv measure >/dev/null

work=$(mktemp -d)
server_pid=
cleanup() {
    if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/site" "$work/data"

# Table rows with a random comment each, so that the body does not shrink to nothing.
python3 - "$work" <<'PY'
import gzip, random, sys
work = sys.argv[1]
rnd = random.Random(7)
rows = []
for i in range(1_000_000):
    rows.append("<tr><td>%d.%d.%d.%d</td><td>%d</td><td>%012x</td></tr>\n" % (
        rnd.randrange(1, 224), rnd.randrange(256), rnd.randrange(256), rnd.randrange(1, 255),
        rnd.randrange(80, 65536), rnd.getrandbits(48)))
text = "".join(rows).encode()
body = gzip.compress(text, 6)
open(work + "/unpacked.txt", "wb").write(text)
open(work + "/site/list.gz", "wb").write(body)
# The service's reply: its marker line, then the gzip body; the server leaves out the query.
open(work + "/site/getproxylist.php", "wb").write(b"#list#encode#update@45296#\r\n" + body)
PY

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 -m http.server "$port" --bind 127.0.0.1 --directory "$work/site" >/dev/null 2>&1 &
server_pid=$!
for _ in $(seq 50); do
    if curl -s -o /dev/null "http://127.0.0.1:$port/list.gz"; then break; fi
    sleep 0.1
done
url="http://127.0.0.1:$port"

best_of_3() {
    for _ in 1 2 3; do
        "$build/bench/measure" "$@"
    done | sort -n | awk 'NR == 1 { print $1, $2, $3 }'
}

export ORV_DATA_DIR="$work/data" ORV_LIST_SERVICE_URL="$url"
orv=$(readlink -f "$build/ui/orv")
count=$("$orv" --download | tail -n +3 | wc -l)
dl=$(best_of_3 "$orv" --download)
pipe=$(best_of_3 bash -c "curl -s $url/list.gz | gunzip | $orv --extract -")
gz=$(stat -c %s "$work/site/list.gz")
unpacked=$(stat -c %s "$work/unpacked.txt")
awk -v dl="$dl" -v pipe="$pipe" -v gz="$gz" -v un="$unpacked" -v n="$count" 'BEGIN {
    split(dl, d, " "); split(pipe, p, " ")
    printf "body %.1f MB gzip, %.1f MB unpacked, %d proxies added\n", gz / 1e6, un / 1e6, n
    printf "%-22s %8s %8s %9s\n", "", "wall_s", "cpu_s", "peak_MB"
    printf "%-22s %8.2f %8.2f %9.1f\n", "orv --download", d[1], d[2], d[3] / 1024
    printf "%-22s %8.2f %8.2f %9.1f\n", "curl|gunzip|--extract", p[1], p[2], p[3] / 1024
    printf "wall ratio %.2f (target <= 1.5), peak / unpacked %.2f (target <= 3)\n", d[1] / p[1], d[3] * 1024 / un
}'
