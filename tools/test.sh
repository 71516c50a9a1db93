#!/usr/bin/env bash
# Installs what is missing, builds Zabo with warnings as errors and runs every test headless; then
# once more under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

# tests and benchmarks on, whatever an earlier tools/run.sh left in the cache
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZABO_WERROR=ON -DZABO_BUILD_TESTS=ON -DZABO_BUILD_BENCH=ON
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

# The other combinations of the build options configure, and the targets they change build: zabo-format
# alone with its tests and benchmarks (no GUI package needed), and the benchmarks without the tests.
# The libraries compile as above, so a compiler cache, where there is one, makes this cheap.
cache=()
! command -v ccache >/dev/null || cache=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B build-cli -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZABO_WERROR=ON "${cache[@]}" \
    -DZABO_BUILD_GUI=OFF -DZABO_BUILD_TESTS=ON -DZABO_BUILD_BENCH=ON
cmake --build build-cli -j"$jobs" --target zabo-format zabo-format_man tst_zaboformat job_bench tree_bench
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZABO_WERROR=ON "${cache[@]}" \
    -DZABO_BUILD_GUI=ON -DZABO_BUILD_TESTS=OFF -DZABO_BUILD_BENCH=ON
cmake --build build-bench -j"$jobs" --target job_bench tree_bench

cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DZABO_WERROR=ON -DZABO_SANITIZE=ON -DZABO_BUILD_BENCH=OFF
cmake --build build-sanitize -j"$jobs"
ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS="suppressions=$PWD/tools/lsan.supp" UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build-sanitize --output-on-failure -j"$jobs"
