#!/usr/bin/env bash
# Installs what is missing, builds the program alone (no tests, no benchmarks) and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DZABO_BUILD_TESTS=OFF -DZABO_BUILD_BENCH=OFF
cmake --build build -j"$(nproc)" --target zabo
exec ./build/zabo
