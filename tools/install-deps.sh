#!/usr/bin/env bash
# Installs what building, running and testing Zabo needs on Debian 12; skips what is already there.
# --cli: only what zabo-format (-DZABO_BUILD_GUI=OFF), its tests and its package need: no GUI
# development packages, no fonts, no X server.
set -euo pipefail

cli_packages=(
    build-essential cmake
    qt6-base-dev qt6-base-dev-tools
    indent
    libc6-dev linux-libc-dev
    libgit2-dev pkg-config
    patch git vim-tiny pre-commit
    dpkg-dev file
    help2man man-db lintian
)
gui_packages=(
    qt6-svg-dev libgl-dev
    fonts-noto-cjk
    xvfb xauth
    libqscintilla2-qt6-dev
    xdg-utils
    desktop-file-utils appstream
    qt6-translations-l10n
)

case "${1-}" in
    "") packages=("${cli_packages[@]}" "${gui_packages[@]}") ;;
    --cli) packages=("${cli_packages[@]}") ;;
    *)
        echo "usage: $0 [--cli]" >&2
        exit 2
        ;;
esac

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
# another apt or an unattended upgrade may hold the dpkg lock: apt-get waits for it this long
apt_get=(env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600)

# A package whose installation was cut short ("half-configured", "unpacked") is there but not usable:
# dpkg finishes configuring it, and only what is then still not installed counts as missing.
status_of() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null || true; }
half_done=()
for package in "${packages[@]}"; do
    case "$(status_of "$package")" in
        "install ok installed" | "" | *" not-installed" | *" config-files") ;;
        *) half_done+=("$package") ;;
    esac
done
# dpkg has no lock timeout of its own: it is asked again while another holds its lock, up to the
# time apt-get would wait.
configure_pending() {
    local attempt output
    for attempt in $(seq 120); do
        if output=$($sudo dpkg --configure -a 2>&1); then
            return 0
        fi
        case "$output" in
            *"lock"*) sleep 5 ;;
            *)
                echo "$output" >&2
                return 1
                ;;
        esac
    done
    echo "$output" >&2
    return 1
}
if [ ${#half_done[@]} -gt 0 ]; then
    echo "install-deps: finishing the interrupted installation of ${half_done[*]}" >&2
    configure_pending
    $sudo "${apt_get[@]}" install -y --no-install-recommends --fix-broken
fi

missing=()
for package in "${packages[@]}"; do
    [ "$(status_of "$package")" = "install ok installed" ] || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

$sudo "${apt_get[@]}" update
$sudo "${apt_get[@]}" install -y --no-install-recommends "${missing[@]}"
