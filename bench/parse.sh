#!/usr/bin/env bash
# Proxy text parsing throughput: `orv --extract` beside ripgrep running the same pattern on the same
# generated inputs (bench/out/). Prints seconds (best of 3), MB/s, the ratio and orv's peak memory.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target orv gen_proxy_texts measure >/dev/null

out=bench/out
mkdir -p "$out"
for kind in plain table noport; do
    build/bench/gen_proxy_texts "$kind" "$out/$kind.txt"
done

plain='\d{1,3}\.\d{1,3}\.\d{1,3}\.\d{1,3}[ :]\d{2,5}'
table='>\s*(\d{1,3}\.\d{1,3}\.\d{1,3}\.\d{1,3})\s*<.*?>\s*(\d{2,5})\s*<'

# best_of_3 COMMAND...: prints "SECONDS PEAK_RSS_KB" of the fastest of three runs.
best_of_3() {
    for _ in 1 2 3; do
        build/bench/measure "$@"
    done | sort -n | head -1
}

printf '%-8s %8s %8s %9s %8s %9s %7s %10s %8s\n' input MB orv_s orv_MB/s rg_s rg_MB/s ratio orv_RSS_MB xfile
run() {
    local name=$1 file=$2
    shift 2
    local bytes orv rg
    bytes=$(stat -c %s "$file")
    orv=$(best_of_3 build/ui/orv --extract "$file")
    rg=$(best_of_3 rg --no-unicode -a -o "$@" "$file")
    awk -v name="$name" -v bytes="$bytes" -v orv="$orv" -v rg="$rg" 'BEGIN {
        split(orv, o, " "); split(rg, r, " ")
        mb = bytes / 1e6
        printf "%-8s %8.1f %8.3f %9.1f %8.3f %9.1f %7.2f %10.1f %8.2f\n",
            name, mb, o[1], mb / o[1], r[1], mb / r[1], r[1] / o[1], o[2] / 1024, o[2] * 1024 / bytes
    }'
}

run plain "$out/plain.txt" "$plain"
run table "$out/table.txt" -U --multiline-dotall "$table"
run noport "$out/noport.txt" -U --multiline-dotall "$table"
echo "ratio = orv throughput / ripgrep throughput; xfile = orv peak RSS / file size"
echo "targets: ratio >= 2 on plain and table; noport under 0.1 s; xfile <= 5"
