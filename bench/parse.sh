#!/usr/bin/env bash
# Proxy text parsing throughput: `orv --extract` beside ripgrep running the same pattern on the same
# generated inputs (bench/out/). Prints wall-clock and processor seconds (best of 3 runs each), MB/s
# by wall-clock time, the ratios and orv's peak memory. On a busy machine the processor-time ratio
# is the steadier figure. BUILD names the build folder (default build).
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BUILD:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target orv gen_proxy_texts measure >/dev/null

out=bench/out
mkdir -p "$out"
for kind in plain table noport; do
    "$build"/bench/gen_proxy_texts "$kind" "$out/$kind.txt"
done

plain='\d{1,3}\.\d{1,3}\.\d{1,3}\.\d{1,3}[ :]\d{2,5}'
table='>\s*(\d{1,3}\.\d{1,3}\.\d{1,3}\.\d{1,3})\s*<.*?>\s*(\d{2,5})\s*<'

# best_of_3 COMMAND...: prints "WALL_S CPU_S PEAK_RSS_KB": the least wall-clock and processor
# times of three runs, and the peak memory of the run with the least wall-clock time.
best_of_3() {
    for _ in 1 2 3; do
        "$build"/bench/measure "$@"
    done | sort -n | awk 'NR == 1 { wall = $1; rss = $3 } cpu == "" || $2 < cpu { cpu = $2 } END { print wall, cpu, rss }'
}

printf '%-7s %6s | %7s %7s %8s | %7s %7s %8s | %9s %9s | %7s %5s\n' input MB orv_s orv_cpu orv_MB/s rg_s rg_cpu rg_MB/s ratio_wall ratio_cpu RSS_MB xfile
run() {
    local name=$1 file=$2
    shift 2
    local bytes orv rg
    bytes=$(stat -c %s "$file")
    orv=$(best_of_3 "$build"/ui/orv --extract "$file")
    rg=$(best_of_3 rg --no-unicode -a -o "$@" "$file")
    awk -v name="$name" -v bytes="$bytes" -v orv="$orv" -v rg="$rg" 'BEGIN {
        split(orv, o, " "); split(rg, r, " ")
        mb = bytes / 1e6
        printf "%-7s %6.1f | %7.3f %7.3f %8.1f | %7.3f %7.3f %8.1f | %9.2f %9.2f | %7.1f %5.2f\n",
            name, mb, o[1], o[2], mb / o[1], r[1], r[2], mb / r[1], r[1] / o[1], (r[2] ? r[2] / o[2] : 0),
            o[3] / 1024, o[3] * 1024 / bytes
    }'
}

run plain "$out/plain.txt" "$plain"
run table "$out/table.txt" -U --multiline-dotall "$table"
run noport "$out/noport.txt" -U --multiline-dotall "$table"
echo "ratio = orv throughput / ripgrep throughput (by wall-clock and by processor time); xfile = orv peak RSS / file size"
echo "targets: ratio >= 2 on plain and table; noport under 0.1 s; xfile <= 2 (orv alone, its shared libraries, takes about 24 MB: see noport)"
