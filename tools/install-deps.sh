#!/usr/bin/env bash
# Installs what building, running and testing Zabo needs on Debian 12; skips what is already there.
set -euo pipefail

packages=(
    build-essential cmake
    qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev
    indent
    fonts-noto-cjk
    libc6-dev linux-libc-dev
    xvfb xauth
    libqscintilla2-qt6-dev libgit2-dev pkg-config
    xdg-utils patch
    git vim-tiny pre-commit
    desktop-file-utils appstream dpkg-dev file
    qt6-translations-l10n
    help2man man-db lintian
)

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo apt-get update
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
