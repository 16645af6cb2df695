#!/usr/bin/env bash
# The test run over 2,000 scripted loopback proxies (MaxThread 100, Timeout 2): wall and processor
# time, peak memory, and the wall time of the dispatch rule for the same service times; then the
# same proxies through the peer checker from the npm registry, installed into bench/peer/ (never
# into the build), and how many proxies both classify alike; then the same run through the main
# window, offscreen: stalls of the window's thread, wall time against the headless schedule.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
window=""
grep -q '^ORV_GUI:BOOL=ON' build/CMakeCache.txt && window=testrun_window_bench
cmake --build build --target testrun_bench $window >/dev/null

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

headless=$(mktemp)
trap 'rm -f "$headless"' EXIT
build/bench/testrun_bench "${1:-2000}" $peer | tee "$headless"

if [ -n "$window" ]; then
    echo
    schedule=$(awk '/^schedule \(simulated\)/ { print $3 }' "$headless")
    build/bench/testrun_window_bench "${1:-2000}" "$schedule"
fi
