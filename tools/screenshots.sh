#!/usr/bin/env bash
# Builds the screenshot helper and saves pictures of the windows (the preview too) to docs/screenshots/, running
# them under Xvfb in a scratch program directory.
# Usage: tools/screenshots.sh [build directory, default build]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
bash tools/install-deps.sh
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" --target zabo_screenshots

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p docs/screenshots
xvfb-run -a -s "-screen 0 1280x800x24" "$build/tools/zabo_screenshots" "$scratch" docs/screenshots
ls -l docs/screenshots
