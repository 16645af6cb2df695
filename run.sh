#!/usr/bin/env bash
# Installs what is missing, builds (incrementally) and runs orv with the given arguments.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target orv >/dev/null
exec ./build/ui/orv "$@"
