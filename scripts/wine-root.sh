#!/usr/bin/env bash
# The Wine that runs setup.exe here: Wine 10 from Debian 13, in a root of its own, run in its WoW64 mode so
# that 32-bit Windows programs run on a kernel without 32-bit Linux support. Debian 12's Wine 8 runs 64-bit
# programs only, and Wine 10 does not install on Debian 12 (it needs a newer C library).
#
#   scripts/wine-root.sh ensure     make the root, or keep the one there when its recipe is unchanged
#   scripts/wine-root.sh path       print where the root is
#   scripts/wine-root.sh version    print the root's Wine version
#
# The root is cached per machine in WINE_ROOT_CACHE (default /var/cache/setup-wine-root) and made again when
# the recipe below changes. Making it takes about two minutes and needs root (or sudo) and Debian's package
# mirror. Programs are run in it by scripts/wine.sh, each run in mount, process and network namespaces of its
# own, so nothing it mounts or starts outlives the run.

WINE_ROOT_CACHE=${WINE_ROOT_CACHE:-/var/cache/setup-wine-root}
WINE_ROOT_MIRROR=${WINE_ROOT_MIRROR:-http://deb.debian.org/debian}
WINE_ROOT_SUITE=trixie
# Wine and what it needs to show Japanese text; the loader and server come from wine64.
WINE_ROOT_PACKAGES=(wine wine64 fonts-ipafont-gothic locales)

_root_log() { echo "wine-root: $*" >&2; }

# Everything that decides what the root holds. Its hash names the recipe: a change here makes the root anew.
_root_recipe() {
    local root=$1
    debootstrap --variant=minbase "$WINE_ROOT_SUITE" "$root" "$WINE_ROOT_MIRROR" >"$root.log" 2>&1 ||
        { cat "$root.log" >&2; return 1; }
    _root_chroot "$root" sh -c '
        set -e
        export DEBIAN_FRONTEND=noninteractive
        dpkg --add-architecture i386
        apt-get update -qq
        apt-get install -y -qq --no-install-recommends "$@" >/dev/null
        # The 32-bit PE libraries: Debian 13 ships them only in the i386 libwine package, which cannot be
        # installed beside the amd64 one. Its i386-windows folder is all the WoW64 mode needs.
        mkdir -p /tmp/libwine-i386 && cd /tmp/libwine-i386
        apt-get download -qq libwine:i386 2>/dev/null
        dpkg -x libwine_*_i386.deb unpacked
        cp -a unpacked/usr/lib/i386-linux-gnu/wine/i386-windows/. /usr/lib/x86_64-linux-gnu/wine/i386-windows/
        cd / && rm -rf /tmp/libwine-i386
        dpkg --remove-architecture i386 2>/dev/null || true
        sed -i "s/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/" /etc/locale.gen
        locale-gen >/dev/null
        apt-get clean
        rm -rf /var/lib/apt/lists/*
    ' sh "${WINE_ROOT_PACKAGES[@]}"
    [ "$(ls "$root/usr/lib/x86_64-linux-gnu/wine/i386-windows" | wc -l)" -gt 100 ] ||
        { _root_log "the 32-bit Wine libraries are missing in $root"; return 1; }
}

_root_recipe_hash() {
    { declare -f _root_recipe; echo "$WINE_ROOT_MIRROR $WINE_ROOT_SUITE ${WINE_ROOT_PACKAGES[*]}"; } |
        sha256sum | cut -c1-16
}

# Runs a command inside ROOT with /proc and /dev, in a mount namespace that ends with it.
_root_chroot() {
    local root=$1; shift
    unshare --mount --propagation private --fork --kill-child -- sh -c '
        root=$1; shift
        mount -t proc proc "$root/proc" && mount --rbind /dev "$root/dev" && mount -t tmpfs tmpfs "$root/tmp" &&
            exec chroot "$root" "$@"' sh "$root" "$@"
}

wine_root_path() { echo "$WINE_ROOT_CACHE/root"; }

wine_root_version() { cat "$WINE_ROOT_CACHE/root/.wine-version" 2>/dev/null || echo unknown; }

wine_root_ensure() {
    local root; root=$(wine_root_path)
    local want; want=$(_root_recipe_hash)
    [ "$(cat "$root/.recipe" 2>/dev/null)" = "$want" ] && return 0
    if [ "$(id -u)" != 0 ]; then
        exec sudo --preserve-env=WINE_ROOT_CACHE,WINE_ROOT_MIRROR "$0" ensure
    fi
    command -v debootstrap >/dev/null || { _root_log "debootstrap is missing (scripts/install-deps.sh)"; return 1; }
    mkdir -p "$WINE_ROOT_CACHE"
    # Exclusive while it is made; runs hold the lock shared (scripts/wine.sh), so a root in use is not swapped.
    exec 8>"$WINE_ROOT_CACHE/.lock"
    flock -w 1800 8 || { _root_log "cannot lock $WINE_ROOT_CACHE"; return 1; }
    [ "$(cat "$root/.recipe" 2>/dev/null)" = "$want" ] && return 0
    local start=$SECONDS new="$WINE_ROOT_CACHE/root.new"
    _root_log "making the Wine root in $root (Debian $WINE_ROOT_SUITE, recipe $want) ..."
    rm -rf "$new" "$new.log"
    mkdir -p "$new"
    _root_recipe "$new" || { _root_log "could not make the root; see $new.log"; return 1; }
    _root_chroot "$new" /usr/lib/wine/wine64 --version >"$new/.wine-version" 2>/dev/null ||
        { _root_log "Wine does not start in the new root"; return 1; }
    echo "$want" >"$new/.recipe"
    rm -rf "$WINE_ROOT_CACHE/root.old"
    [ -d "$root" ] && mv "$root" "$WINE_ROOT_CACHE/root.old"
    mv "$new" "$root"
    rm -rf "$WINE_ROOT_CACHE/root.old" "$new.log"
    _root_log "$(cat "$root/.wine-version") ready in $((SECONDS - start)) s"
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    set -euo pipefail
    case ${1:-} in
        ensure) wine_root_ensure ;;
        path) wine_root_path ;;
        version) wine_root_version ;;
        *) sed -n '2,13p' "$0" >&2; exit 2 ;;
    esac
fi
