#!/usr/bin/env bash
# Installs what building, running and testing need, builds (the benchmarks too, so that they
# keep compiling), and runs every test through CTest.
#   ./test.sh             the normal build, in build/
#   ./test.sh --sanitize  AddressSanitizer and UndefinedBehaviorSanitizer, in build-sanitize/
set -euo pipefail
cd "$(dirname "$0")"

sanitize=OFF
build=build
case "${1:-}" in
    --sanitize) sanitize=ON; build=build-sanitize ;;
    "") ;;
    *) echo "usage: $0 [--sanitize]" >&2; exit 2 ;;
esac

scripts/install-deps.sh --tests

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DALBUM_SANITIZE="$sanitize" \
    -DALBUM_BENCHMARKS=ON >/dev/null
cmake --build "$build" --parallel "$(nproc)"

if [ "$sanitize" = ON ]; then
    export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_init_order=1"
    export LSAN_OPTIONS="suppressions=$PWD/tests/lsan-thirdparty.supp:print_suppressions=0"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
fi
cd "$build"
# The tests run side by side, one per core; none shares a folder, display, bus or port with
# another.
ctest --output-on-failure --timeout 600 --parallel "$(nproc)"
