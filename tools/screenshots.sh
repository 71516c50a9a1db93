#!/usr/bin/env bash
# Builds the screenshot helper and saves pictures of the windows (the preview too) to docs/screenshots/,
# drawn by Qt's offscreen platform on a screen of 1280x800 in a scratch program directory, and pictures
# of the main window, alone and with the preview, on a 1366x768 laptop screen at 150 %. tst_screenshots draws them the
# same way and compares them with the committed ones.
# Usage: tools/screenshots.sh [build directory, default build]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
bash tools/install-deps.sh
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" --target zabo_screenshots

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p docs/screenshots "$scratch/windows" "$scratch/screen"
screen() { # width height
    printf '{"screens": [{"name": "screen", "x": 0, "y": 0, "width": %d, "height": %d, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}], "windowFrameMargins": false}\n' "$1" "$2" >"$scratch/$1x$2.json"
    echo "offscreen:configfile=$scratch/$1x$2.json"
}
QT_QPA_PLATFORM=$(screen 1280 800) "$build/tools/zabo_screenshots" "$scratch/windows" docs/screenshots
QT_QPA_PLATFORM=$(screen 1366 768) QT_SCALE_FACTOR=1.5 \
    "$build/tools/zabo_screenshots" "$scratch/screen" docs/screenshots screen
ls -l docs/screenshots
