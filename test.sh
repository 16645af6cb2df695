#!/usr/bin/env bash
# Builds Tarvelo and runs every test.
#   ./test.sh             normal build in build/, then the Debian package built from it and checked
#   ./test.sh --sanitize  AddressSanitizer + UBSan build (clang) in build-asan/, with short fuzz runs
#   ./test.sh --tsan      ThreadSanitizer build of the core and its tests in build-tsan/
set -euo pipefail
cd "$(dirname "$0")"

mode="${1:-}"
./scripts/install-deps.sh

case "$mode" in
    "")
        dir=build
        flags=()
        ;;
    --sanitize)
        dir=build-asan
        flags=(-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DORV_SANITIZE=ON -DORV_FUZZ=ON)
        export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
        export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
        ;;
    --tsan)
        dir=build-tsan
        flags=(-DORV_TSAN=ON -DORV_GUI=OFF)
        export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/tests/tsan.supp"
        ;;
    *)
        echo "usage: ./test.sh [--sanitize | --tsan]" >&2
        exit 2
        ;;
esac

./scripts/check-layers.py
# Layout is clang-format's: a tracked C++ file it would change fails the run.
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORV_WERROR=ON "${flags[@]}" >/dev/null
cmake --build "$dir" -j"$(nproc)"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$dir" --output-on-failure -j"$(nproc)" --timeout 600
# The Debian package, from the normal build only: its files, its Depends, and orv run from it.
if [ -z "$mode" ]; then
    ./scripts/check-package.sh "$dir"
fi
