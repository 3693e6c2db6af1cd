#!/usr/bin/env bash
# Wine environment for running and testing the Windows build on Linux.
#
# Source it for the functions, or call it as a command:
#   scripts/wine.sh init DIR                 make (or reuse) a prefix at DIR
#   scripts/wine.sh run DIR prog.exe args... run a program in it, exit with its exit code
#   scripts/wine.sh stop DIR                 stop the prefix's wineserver
#   scripts/wine.sh dpi DIR 144              set the prefix's DPI
#   scripts/wine.sh unmanaged DIR            let Wine draw window frames (no window manager under Xvfb)
#   scripts/wine.sh outdir DIR               make DIR a folder the Wine user can write
#
# Functions: wine_prefix_init, wine_run, wine_stop, wine_prefix_dpi, wine_prefix_unmanaged, wine_output_dir,
#            wine_grant_read, wine_user, wine_as_user, xvfb_start, xvfb_stop.
#
# Wine keeps the read-only attribute as the Unix write bits, and root ignores those bits. So when the caller
# is root, the prefix belongs to an ordinary user (WINE_USER, default "setuptest") and Wine runs as that user;
# otherwise Wine runs as the caller.

WINE_BIN=${WINE_BIN:-/usr/lib/wine/wine64}
WINESERVER_BIN=${WINESERVER_BIN:-/usr/lib/wine/wineserver}
WINE_USER=${WINE_USER:-setuptest}
# The menu builder would turn shortcuts made in the prefix into host menu entries.
WINE_DLL_OVERRIDES=${WINE_DLL_OVERRIDES:-winemenubuilder.exe=d}
WINE_LANG=${WINE_LANG:-ja_JP.UTF-8}
# Bumped when the prefix recipe changes, so old prefixes are redone.
WINE_PREFIX_VERSION=3
WINE_PREFIX_MARKER=.setup-prefix-ready

_wine_log() { echo "wine.sh: $*" >&2; }

_wine_is_root() { [ "$(id -u)" = 0 ]; }

# The user Wine runs as.
wine_user() {
    if _wine_is_root; then echo "$WINE_USER"; else id -un; fi
}

_wine_abs() { (cd "$1" 2>/dev/null && pwd -P) || echo "$1"; }

# Creates the ordinary user when running as root and it is missing. Serialised: several prefixes may be
# made at the same time.
_wine_ensure_user() {
    _wine_is_root || return 0
    id -u "$WINE_USER" >/dev/null 2>&1 && return 0
    (
        flock -w 60 9 || exit 1
        id -u "$WINE_USER" >/dev/null 2>&1 && exit 0
        useradd --create-home --shell /bin/bash "$WINE_USER"
    ) 9>/tmp/.wine-sh-useradd.lock
}

# Runs a command as the Wine user (as self when not root).
wine_as_user() {
    if _wine_is_root; then
        runuser -u "$WINE_USER" -- "$@"
    else
        "$@"
    fi
}

# Makes every folder above PATH passable and PATH itself readable by the Wine user.
wine_grant_read() {
    local path
    path=$(readlink -f "$1") || return 1
    _wine_is_root || return 0
    _wine_ensure_user || return 1
    if ! runuser -u "$WINE_USER" -- test -r "$path"; then
        local d=$path
        [ -d "$d" ] || d=$(dirname "$d")
        while [ "$d" != / ]; do chmod o+x "$d"; d=$(dirname "$d"); done
        chmod -R o+rX "$path"
    fi
}

# Makes DIR (created if missing) a folder the Wine user can write.
wine_output_dir() {
    mkdir -p "$1" || return 1
    if _wine_is_root; then
        _wine_ensure_user || return 1
        wine_grant_read "$(dirname "$(readlink -f "$1")")"
        chown -R "$WINE_USER:" "$1"
    fi
}

_wine_env() {
    local dir=$1
    local -a env=(
        "WINEPREFIX=$dir"
        "HOME=$dir/.home"
        "LANG=$WINE_LANG" "LC_ALL=$WINE_LANG"
        "WINEDEBUG=${WINEDEBUG_OVERRIDE:--all}"
        "WINEDLLOVERRIDES=$WINE_DLL_OVERRIDES"
        "USER=$(wine_user)" "LOGNAME=$(wine_user)"
    )
    [ -n "${DISPLAY:-}" ] && env+=("DISPLAY=$DISPLAY")
    printf '%s\0' "${env[@]}"
}

# Runs a Unix command (wine, wineserver) in the prefix's environment, as the Wine user.
_wine_exec() {
    local dir=$1; shift
    local -a env=()
    while IFS= read -r -d '' v; do env+=("$v"); done < <(_wine_env "$dir")
    # Wine maps the Unix current folder into the program's; keep it unless the Wine user cannot enter it.
    if _wine_is_root && ! runuser -u "$WINE_USER" -- test -x "$PWD" 2>/dev/null; then
        (cd "$dir" && wine_as_user env "${env[@]}" "$@")
    else
        wine_as_user env "${env[@]}" "$@"
    fi
}

# A Unix path as Wine sees it through drive Z:.
_wine_dos_path() { local p; p=$(readlink -f "$1"); echo "Z:${p//\//\\}"; }

# Imports a registry file given as UTF-8 text (REGEDIT5 format, LF line ends) into the prefix.
_wine_import_reg() {
    local dir=$1 text=$2
    local file="$dir/.home/import-$$.reg"
    { printf '\xff\xfe'; printf '%s' "$text" | sed 's/$/\r/' | iconv -f UTF-8 -t UTF-16LE; } >"$file"
    _wine_is_root && chown "$WINE_USER:" "$file"
    _wine_exec "$dir" "$WINE_BIN" regedit /S "$(_wine_dos_path "$file")"
    local rc=$?
    rm -f "$file"
    return $rc
}

# wine_prefix_init DIR: makes a 64-bit Japanese prefix at DIR, or reuses the one already there.
wine_prefix_init() {
    local dir=${1:?usage: wine_prefix_init DIR}
    mkdir -p "$dir" || return 1
    dir=$(readlink -f "$dir")
    if [ "$(cat "$dir/$WINE_PREFIX_MARKER" 2>/dev/null)" = "$WINE_PREFIX_VERSION" ]; then
        return 0
    fi
    _wine_ensure_user || return 1
    local user; user=$(wine_user)
    (
        flock -w 300 9 || { _wine_log "cannot lock $dir"; exit 1; }
        [ "$(cat "$dir/$WINE_PREFIX_MARKER" 2>/dev/null)" = "$WINE_PREFIX_VERSION" ] && exit 0
        local start=$SECONDS
        mkdir -p "$dir/.home"
        if _wine_is_root; then
            wine_grant_read "$(dirname "$dir")"
            chown -R "$WINE_USER:" "$dir"
        fi
        export WINEARCH=win64
        _wine_exec "$dir" "$WINE_BIN" wineboot -i >/dev/null 2>&1 || { _wine_log "wineboot failed in $dir"; exit 1; }
        _wine_exec "$dir" "$WINESERVER_BIN" -w

        # Shell folders linked to the host's home would let shortcuts and files land outside the prefix.
        local link
        for link in "$dir"/drive_c/users/*/* "$dir"/drive_c/users/*/AppData/Roaming/Microsoft/Windows/*; do
            [ -L "$link" ] || continue
            rm -f "$link" && wine_as_user mkdir -p "$link"
        done

        # Japanese dialog fonts: the stock names resolve to the IPA gothic.
        local key='HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes'
        local reg="Windows Registry Editor Version 5.00"$'\n\n'"[$key]"$'\n'
        local name
        for name in "ＭＳ Ｐゴシック" "MS Shell Dlg" "MS Shell Dlg 2" "MS UI Gothic" "Tahoma"; do
            reg+="\"$name\"=\"IPAPGothic\""$'\n'
        done
        _wine_import_reg "$dir" "$reg" || { _wine_log "font registry import failed"; exit 1; }
        _wine_exec "$dir" "$WINESERVER_BIN" -w

        echo "$WINE_PREFIX_VERSION" >"$dir/$WINE_PREFIX_MARKER"
        _wine_log "prefix $dir ready for $user in $((SECONDS - start)) s"
    ) 9>"$dir.lock"
}

# wine_prefix_dpi DIR DPI: the logical DPI of the prefix's screen (96 by default).
wine_prefix_dpi() {
    local dir=${1:?usage: wine_prefix_dpi DIR DPI} dpi=${2:?usage: wine_prefix_dpi DIR DPI}
    dir=$(readlink -f "$dir")
    local hex; hex=$(printf '%08x' "$dpi")
    local reg="Windows Registry Editor Version 5.00"$'\n\n'
    reg+='[HKEY_CURRENT_USER\Control Panel\Desktop]'$'\n'"\"LogPixels\"=dword:$hex"$'\n\n'
    reg+='[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts]'$'\n'
    reg+="\"LogPixels\"=dword:$hex"$'\n'
    _wine_import_reg "$dir" "$reg" && _wine_exec "$dir" "$WINESERVER_BIN" -w
}

# wine_prefix_unmanaged DIR: Wine draws window frames itself instead of leaving them to a window manager.
# Under Xvfb there is none: managed windows then get no caption, and every hidden window costs a 2 s wait
# for a withdrawal the absent manager never confirms.
wine_prefix_unmanaged() {
    local dir=${1:?usage: wine_prefix_unmanaged DIR}
    dir=$(readlink -f "$dir")
    _wine_import_reg "$dir" $'Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\n"Managed"="N"\n' &&
        _wine_exec "$dir" "$WINESERVER_BIN" -w
}

# wine_run DIR PROGRAM ARGS...: runs a Windows program in the prefix and returns its exit code.
# Variables the caller exports reach the program.
wine_run() {
    local dir=${1:?usage: wine_run DIR PROGRAM ARGS...}; shift
    dir=$(readlink -f "$dir")
    _wine_exec "$dir" "$WINE_BIN" "$@"
}

# wine_stop DIR: ends every Wine process of the prefix.
wine_stop() {
    local dir=${1:?usage: wine_stop DIR}
    dir=$(readlink -f "$dir")
    [ -d "$dir" ] || return 0
    _wine_exec "$dir" "$WINESERVER_BIN" -k 2>/dev/null
    _wine_exec "$dir" "$WINESERVER_BIN" -w 2>/dev/null
    return 0
}

_xvfb_answers() { DISPLAY=$1 timeout 5 xdpyinfo >/dev/null 2>&1; }

# xvfb_start [DISPLAY]: starts Xvfb at 1280x1024x24 on the display given (":91"), or on a free one, waits
# until it answers and exports DISPLAY. XVFB_PID holds the server's process id.
xvfb_start() {
    local want=${1:-} n
    local -a candidates
    if [ -n "$want" ]; then
        candidates=("${want#:}")
    else
        for ((n = 200; n < 260; n++)); do candidates+=("$n"); done
    fi
    for n in "${candidates[@]}"; do
        if [ -z "$want" ] && { [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; }; then
            continue
        fi
        Xvfb ":$n" -screen 0 1280x1024x24 -ac -nolisten tcp >/dev/null 2>&1 &
        XVFB_PID=$!
        local deadline=$((SECONDS + 15))
        while ((SECONDS < deadline)); do
            if ! kill -0 "$XVFB_PID" 2>/dev/null; then break; fi
            if _xvfb_answers ":$n"; then
                export DISPLAY=":$n" XVFB_PID
                return 0
            fi
            sleep 0.1
        done
        kill "$XVFB_PID" 2>/dev/null
        wait "$XVFB_PID" 2>/dev/null
        XVFB_PID=
    done
    _wine_log "could not start Xvfb${want:+ on $want}"
    return 1
}

# xvfb_stop: stops the Xvfb that xvfb_start started.
xvfb_stop() {
    [ -n "${XVFB_PID:-}" ] || return 0
    kill "$XVFB_PID" 2>/dev/null
    wait "$XVFB_PID" 2>/dev/null
    XVFB_PID=
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    cmd=${1:-}; shift || true
    case $cmd in
        init) wine_prefix_init "$@" ;;
        run) wine_run "$@" ;;
        stop) wine_stop "$@" ;;
        dpi) wine_prefix_dpi "$@" ;;
        unmanaged) wine_prefix_unmanaged "$@" ;;
        outdir) wine_output_dir "$@" ;;
        *)
            sed -n '2,11p' "$0" >&2
            exit 2
            ;;
    esac
fi
