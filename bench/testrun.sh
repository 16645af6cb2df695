#!/usr/bin/env bash
# The test run over 10,000 scripted loopback proxies (Timeout 2) at MaxThread 100, 1,000 and 4,000, in
# the usual mix (40% alive) and the mostly dead one (80% refused or silent; MIXES="usual dead" by
# default), each in a process of its own so that its peak memory is its own: wall and processor time,
# peak memory, and the wall time of a pool without the poll for the same service times; each followed
# by the same proxies through the peer checker from the npm registry at the same concurrency,
# installed into bench/peer/ (never into the build), and how many proxies both classify alike. Then
# the run at MaxThread 100 through the main window, offscreen: stalls of the window's thread, wall
# time against the headless pool (WINDOW=0 leaves it out).
#   bench/testrun.sh [PROXIES [THREADS...]]      BUILD_DIR=build by default
set -euo pipefail
cd "$(dirname "$0")/.."
build="${BUILD_DIR:-build}"
count="${1:-10000}"
shift || true
sizes=("${@:-100 1000 4000}")
read -r -a sizes <<<"${sizes[*]}"
read -r -a mixes <<<"${MIXES:-usual dead}"

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
window=""
if [ "${WINDOW:-1}" != 0 ] && grep -q '^ORV_GUI:BOOL=ON' "$build/CMakeCache.txt"; then
    window=testrun_window_bench
fi
cmake --build "$build" -j2 --target testrun_bench $window >/dev/null

peer=""
if command -v node >/dev/null && command -v npm >/dev/null; then
    if [ ! -d bench/peer/node_modules/proxy-verifier ]; then
        echo "installing the peer checker into bench/peer/ (npm: proxy-verifier)" >&2
        (cd bench/peer && npm install --no-audit --no-fund >&2) || true
    fi
    [ -d bench/peer/node_modules/proxy-verifier ] && peer="$PWD/bench/peer/verify.js"
else
    echo "node and npm are missing: the peer comparison is left out" >&2
fi

out=$(mktemp)
trap 'rm -f "$out"' EXIT
echo "load before: $(uptime)"
for mix in "${mixes[@]}"; do
    for threads in "${sizes[@]}"; do
        echo
        "$build/bench/testrun_bench" --mix "$mix" "$count" "$threads" $peer | tee -a "$out"
    done
done
echo "load after: $(uptime)"

echo
echo "proxies $count, Timeout 2"
printf '%-6s %-8s %-5s %9s %12s %9s %7s %9s %9s %7s\n' mix threads who "wall s" "CPU ms/proxy" "peak MB" "/pool" \
    "pool s" "1 req s" alike
awk '/^row ours/ { printf "%-6s %-8s %-5s %9s %12s %9s %7s %9s %9s %7s\n", $3, $4, "ours", $5, $6, $7, $8, $9, $10, "" }
     /^row peer/ { printf "%-6s %-8s %-5s %9s %12s %9s %7s %9s %9s %7s\n", $3, $4, "peer", $5, $6, $7, $8, "", "", $9 }' "$out"
echo "(/pool: wall against our service times through a pool without the one-second poll; 1 req: that pool"
echo " with each worker ending when its delay page arrived, as a checker that makes one request a proxy)"

if [ -n "$window" ]; then
    echo
    schedule=$(awk '/^proxies .*usual mix.* MaxThread 100,/ { on = 1 } on && /^no-poll pool/ { print $4; exit }' "$out")
    [ -n "$schedule" ] && "$build/bench/testrun_window_bench" "$count" "$schedule"
fi
