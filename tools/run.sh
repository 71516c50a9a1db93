#!/usr/bin/env bash
# Installs what is missing, builds the programs (zabo and zabo-format, with their manual pages and
# icons, so that `cmake --install build` and cpack find everything; no tests, no benchmarks) and
# starts zabo.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DZABO_BUILD_GUI=ON -DZABO_BUILD_TESTS=OFF -DZABO_BUILD_BENCH=OFF
cmake --build build -j"$(nproc)"
# without a display Qt would abort with a message about platform plugins
if [ -z "${DISPLAY-}" ] && [ -z "${WAYLAND_DISPLAY-}" ] && [ -z "${QT_QPA_PLATFORM-}" ]; then
    echo "run.sh: zabo is built (build/zabo), but there is no display to show its window on" \
         "(neither DISPLAY nor WAYLAND_DISPLAY is set). Start it from a desktop session, or use" \
         "build/zabo-format on the command line." >&2
    exit 1
fi
exec ./build/zabo
