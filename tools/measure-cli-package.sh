#!/usr/bin/env bash
# Measures what each package brings into a minimal Debian 12 system: a fresh
# `debootstrap --variant=minbase bookworm` from the mirror apt uses here, once for
# `apt-get install ./zabo-format_*.deb` and once for the desktop package with it. For each it prints
# the packages apt-get pulls in and their installed size, runs the installed zabo-format over a scratch
# tree, and purges the packages again to see that nothing of theirs is left. Needs root and the network;
# takes minutes, so it is not part of tools/test.sh.
# Usage: tools/measure-cli-package.sh [build directory with zabo and zabo-format built, default build]
# ZABO_MINBASE=DIR takes a debootstrap minbase made earlier (it is copied, never changed).
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
[ "$(id -u)" -eq 0 ] || { echo "measure-cli-package: run it as root (debootstrap, chroot)" >&2; exit 2; }
command -v debootstrap >/dev/null ||
    apt-get -o DPkg::Lock::Timeout=600 install -y --no-install-recommends debootstrap

scratch=$(mktemp -d /var/tmp/zabo-measure.XXXXXX)
mounted=()
cleanup() {
    local mount
    for mount in "${mounted[@]}"; do [ -z "$mount" ] || umount -l "$mount" || true; done
    rm -rf --one-file-system "$scratch"
}
trap cleanup EXIT

# the first Debian mirror apt is configured with, from deb822 or one-line sources
mirror=$(sed -n 's/^URIs: *\([^ ]*\/debian\)\/*$/\1/p' /etc/apt/sources.list.d/*.sources 2>/dev/null | head -n1)
[ -n "$mirror" ] || mirror=$(awk '$1 == "deb" && $2 ~ /\/debian\/?$/ { print $2; exit }' /etc/apt/sources.list 2>/dev/null)
mirror=${mirror:-http://deb.debian.org/debian}

(cd "$build" && cpack -G DEB -B "$scratch/debs" >/dev/null)
cli_deb=$(ls "$scratch"/debs/zabo-format_*.deb)
desktop_deb=$(ls "$scratch"/debs/zabo_*.deb 2>/dev/null || true)

if [ -n "${ZABO_MINBASE-}" ]; then
    cp -a "$ZABO_MINBASE" "$scratch/base"
else
    echo "debootstrap --variant=minbase bookworm from $mirror"
    debootstrap --variant=minbase bookworm "$scratch/base" "$mirror" >"$scratch/debootstrap.log" 2>&1 ||
        { tail -n 20 "$scratch/debootstrap.log" >&2; exit 1; }
fi

installed() { chroot "$1" dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' | awk '$1 == "ii" { print $2 }' | sort; }

# measure <name> <deb>...: a copy of the base system, the packages installed, measured, run and purged
measure() {
    local name=$1 root="$scratch/$1" before after added size
    shift
    cp -a "$scratch/base" "$root"
    mount --bind /proc "$root/proc" && mounted+=("$root/proc")
    mkdir -p "$root/debs" && cp "$@" "$root/debs/"
    chroot "$root" apt-get update -qq
    installed "$root" >"$scratch/$name.before"
    local debs=()
    for deb in "$@"; do debs+=("./debs/$(basename "$deb")"); done
    (cd "$root" && chroot "$root" sh -c "cd / && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq ${debs[*]}" \
        >"$scratch/$name.install.log" 2>&1) || { tail -n 30 "$scratch/$name.install.log" >&2; exit 1; }
    installed "$root" >"$scratch/$name.after"
    added=$(comm -13 "$scratch/$name.before" "$scratch/$name.after")
    size=$(chroot "$root" dpkg-query -W -f='${Installed-Size}\n' $added | awk '{ s += $1 } END { print s }')
    echo "== $name: $(echo "$added" | wc -l) packages, $((size / 1024)) MiB installed ($size KiB)"
    echo "$added" | tr '\n' ' ' | fold -s -w 100
    echo

    # the check a CI job runs, in the fresh system
    mkdir -p "$root/work/src"
    printf 'int  main(void){return 0;}\n' >"$root/work/src/a.c"
    printf -- '-kr\n' >"$root/work/.indent.pro"
    local status=0
    chroot "$root" sh -c 'cd /work && zabo-format --style file --check --annotate -r .' || status=$?
    [ "$status" -eq 1 ] || { echo "$name: zabo-format --check exited $status, not 1" >&2; exit 1; }
    chroot "$root" sh -c 'cd /work && zabo-format --style file --in-place -r . && zabo-format --style file --check -r .'

    local packages=() files
    for deb in "$@"; do packages+=("$(dpkg-deb -f "$deb" Package)"); done
    files=$(for package in "${packages[@]}"; do chroot "$root" dpkg-query -L "$package"; done | sort -u)
    chroot "$root" sh -c "DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq ${packages[*]}" >/dev/null
    local left=()
    while IFS= read -r file; do
        [ -n "$file" ] && [ ! -d "$root$file" ] && [ -e "$root$file" ] && left+=("$file")
    done <<<"$files"
    [ ${#left[@]} -eq 0 ] || { echo "$name: left after purge: ${left[*]}" >&2; exit 1; }
    echo "$name: installs, checks, formats and purges cleanly"
    umount -l "$root/proc" && mounted=("${mounted[@]/$root\/proc/}")
}

measure zabo-format "$cli_deb"
[ -z "$desktop_deb" ] || measure zabo "$cli_deb" "$desktop_deb"
