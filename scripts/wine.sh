#!/usr/bin/env bash
# Wine environment for running and testing the Windows build on Linux.
#
# Wine here is Wine 10 from Debian 13 in a root of its own (scripts/wine-root.sh), run in its WoW64 mode: it
# runs the 32-bit setup.exe the way 64-bit Windows does (SysWOW64, the 32-bit registrar and registry view).
# A script that runs Wine starts with `wine_root_enter "$0" "$@"`: it runs again in mount, process and network
# namespaces of its own, where the root gets /proc, /dev, a /tmp of its own, the X socket folder and the
# project's folder (at the same path, so paths mean the same inside and out). When the script ends, however it
# ends (also on an interrupt or a kill), the kernel removes those mounts and ends every process it started:
# Wine's, and the Xvfb of xvfb_start.
#
# Source it for the functions, or call it as a command (each call is then a run of its own):
#   scripts/wine.sh init DIR                 make (or reuse) a prefix at DIR
#   scripts/wine.sh run DIR prog.exe args... run a program in it, exit with its exit code
#   scripts/wine.sh dpi DIR 144              set the prefix's DPI
#
# Functions: wine_root_enter, wine_prefix_wanted, wine_prefix_init, wine_run, wine_stop, wine_prefix_dpi,
#            wine_output_dir, wine_grant_read, wine_user, wine_as_user, wine_describe, xvfb_start, xvfb_stop.
#
# On a kernel that runs no 32-bit code, which WoW64 needs, wine_root_enter runs the script in a virtual machine
# with software emulation instead (scripts/wine-vm.sh): first it says which of the two it takes, and why.
# A prefix is made once per Wine root and prefix recipe, as a template in WINE_PREFIX_CACHE (default
# /var/cache/setup-wine-prefix), and copied where a script wants one: wineboot takes half a minute natively and
# minutes under emulation, a copy seconds. Under emulation even a copy takes minutes, so a script names its
# prefixes to wine_prefix_wanted before wine_root_enter, and they are copied before the machine starts.
#
# Wine keeps the read-only attribute as the Unix write bits, and root ignores those bits. So Wine runs as an
# ordinary user (WINE_USER, default "setuptest", the same user id outside the root and inside), and the prefix
# belongs to that user. Entering the root needs root; a script started by another user runs again through sudo.

_wine_sh_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
_wine_repo=$(cd "$_wine_sh_dir/.." && pwd -P)
# shellcheck source=wine-root.sh
source "$_wine_sh_dir/wine-root.sh"
# shellcheck source=wine-vm.sh
source "$_wine_sh_dir/wine-vm.sh"
# Paths inside the root.
WINE_BIN=${WINE_BIN:-/usr/lib/wine/wine64}
WINESERVER_BIN=${WINESERVER_BIN:-/usr/lib/wine/wineserver}
WINE_USER=${WINE_USER:-setuptest}
# The menu builder would turn shortcuts made in the prefix into host menu entries.
WINE_DLL_OVERRIDES=${WINE_DLL_OVERRIDES:-winemenubuilder.exe=d}
WINE_LANG=${WINE_LANG:-ja_JP.UTF-8}
# Bumped when the prefix recipe changes, so old prefixes are redone.
WINE_PREFIX_VERSION=4
WINE_PREFIX_MARKER=.setup-prefix-ready
# Left in a prefix while a virtual machine runs in it; see wine_root_enter.
WINE_PREFIX_VM_RUNNING=.setup-prefix-vm-running
WINE_PREFIX_CACHE=${WINE_PREFIX_CACHE:-/var/cache/setup-wine-prefix}

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

# Runs a Unix command (wine, wineserver) of the root in the prefix's environment, as the Wine user.
_wine_exec() {
    local dir=$1; shift
    [ -n "${_WINE_ROOT_INSIDE:-}" ] || { _wine_log "Wine runs only after wine_root_enter"; return 2; }
    local -a env=()
    while IFS= read -r -d '' v; do env+=("$v"); done < <(_wine_env "$dir")
    # Wine maps the Unix current folder into the program's; keep it when the root has it and the Wine user
    # can enter it.
    local cwd=$PWD
    if ! _wine_shared "$cwd" || ! runuser -u "$WINE_USER" -- test -x "$cwd" 2>/dev/null; then cwd=$dir; fi
    chroot "$(wine_root_path)" runuser -u "$WINE_USER" -- env -C "$cwd" "${env[@]}" "$@"
}

# Folders of the host that the root sees at the same path: the project's, the prefix templates', and
# WINE_ROOT_SHARE (blank-separated).
_wine_shares() { printf '%s\n' "$_wine_repo" "$WINE_PREFIX_CACHE" ${WINE_ROOT_SHARE:-}; }

# Whether PATH is inside one of those folders.
_wine_shared() {
    local share
    while IFS= read -r share; do
        case $1/ in "$share"/*) return 0 ;; esac
    done < <(_wine_shares)
    return 1
}

# wine_root_enter SCRIPT ARGS...: makes the root if needed, then runs SCRIPT with ARGS again in namespaces of its
# own (see the top of this file) and exits with its status. Inside, it mounts what the root needs and returns.
# On a kernel without 32-bit code, the namespaces are in a virtual machine that runs the script again.
wine_root_enter() {
    if [ -n "${_WINE_ROOT_INSIDE:-}" ]; then
        _wine_root_mount
        return
    fi
    if ! _wine_is_root; then
        exec sudo --preserve-env "$BASH" "$@"
    fi
    wine_root_ensure || { _wine_log "no Wine root"; exit 2; }
    mkdir -p "$WINE_PREFIX_CACHE" || exit 2
    # Held shared for the whole run: the root is not made anew under it.
    exec 8<"$WINE_ROOT_CACHE/.lock"
    flock -s 8
    trap 'exit 130' INT
    trap 'exit 143' TERM
    trap 'exit 129' HUP
    if [ -z "${_WINE_VM_INSIDE:-}" ]; then
        wine_vm_choose
        if [ "$WINE_VM_PATH" = vm ]; then
            _wine_log "Wine runs in a virtual machine with software emulation (QEMU, about 20 times slower): $WINE_VM_WHY"
            # The Wine user is made here, outside and in the root: the machine then writes no password file
            # through the share, where a write cut off would leave it half written.
            _wine_ensure_user && _wine_root_user || exit 2
            _wine_prefixes_prepare || exit 2
            # What the machine writes is in its page cache until it powers off: a prefix it was cut off in may be
            # half written on the host's disk, and is copied anew next time.
            _wine_prefixes_flag touch
            local status=0
            wine_vm_run "$BASH" "$@" || status=$?
            [ -n "$WINE_VM_ENDED" ] && _wine_prefixes_flag rm
            exit "$status"
        fi
        _wine_log "Wine runs natively: $WINE_VM_WHY"
    fi
    local -a spaces=(--mount --propagation private --pid --fork --kill-child --mount-proc)
    # A network of its own keeps Xvfb's abstract socket private; a display given from outside needs the host's.
    [ -z "${DISPLAY:-}" ] && spaces+=(--net)
    # unshare does not die of SIGTERM itself; it dies with this shell, whatever ends it, and takes the
    # namespaces with it (the first process of the namespace is killed, and with it every other one).
    setpriv --pdeathsig KILL -- unshare "${spaces[@]}" -- env _WINE_ROOT_INSIDE=1 "$BASH" "$@" &
    wait $!
    exit $?
}

_wine_root_mount() {
    local root; root=$(wine_root_path)
    mount -t proc proc "$root/proc" && mount --rbind /dev "$root/dev" && mount -t tmpfs tmpfs "$root/tmp" ||
        { _wine_log "cannot mount into $root"; exit 2; }
    # Without a display from outside, X sockets of this run only: Xvfb leaves nothing behind.
    mkdir -p /tmp/.X11-unix "$root/tmp/.X11-unix"
    [ -z "${DISPLAY:-}" ] && mount -t tmpfs -o mode=1777 tmpfs /tmp/.X11-unix
    mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix"
    local share
    while IFS= read -r share; do
        [ -d "$share" ] || continue
        mkdir -p "$root$share" && mount --bind "$share" "$root$share" || { _wine_log "cannot share $share"; exit 2; }
    done < <(_wine_shares)
    _wine_ensure_user || exit 2
    _wine_root_user || exit 2
    # The process that runs the script is the first of its namespace: it hears a signal only when it has a handler.
    trap 'exit 130' INT
    trap 'exit 143' TERM
    trap 'exit 129' HUP
}

# The Wine user inside the root, with the same ids as outside.
_wine_root_user() {
    local root uid gid
    root=$(wine_root_path)
    uid=$(id -u "$WINE_USER") gid=$(id -g "$WINE_USER")
    [ "$(chroot "$root" id -u "$WINE_USER" 2>/dev/null)" = "$uid" ] && return 0
    (
        flock -w 60 9 || exit 1
        [ "$(chroot "$root" id -u "$WINE_USER" 2>/dev/null)" = "$uid" ] && exit 0
        chroot "$root" userdel "$WINE_USER" >/dev/null 2>&1
        chroot "$root" groupdel "$WINE_USER" >/dev/null 2>&1
        chroot "$root" groupadd -g "$gid" "$WINE_USER" &&
            chroot "$root" useradd -u "$uid" -g "$gid" -M -d /nonexistent "$WINE_USER"
    ) 9>"$WINE_ROOT_CACHE/.user.lock"
}

# wine_describe EXE: one line naming Wine and the program's architecture, for the test output.
wine_describe() {
    local arch
    case $(file -b "$1") in
        *"PE32+ executable"*x86-64*) arch="x86_64 (PE32+, 64-bit)" ;;
        *"PE32 executable"*80386*) arch="i686 (PE32, 32-bit, run under WoW64)" ;;
        *) arch="unknown ($(file -b "$1"))" ;;
    esac
    echo "$(wine_root_version) (Debian 13 root, WoW64 mode); $(basename "$1") under test: $arch"
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

# What a prefix is made from: the Wine root, the prefix recipe and the user it belongs to.
_wine_prefix_key() { echo "$(cat "$(wine_root_path)/.recipe" 2>/dev/null)-$WINE_PREFIX_VERSION-$(wine_user)"; }
_wine_template() { echo "$WINE_PREFIX_CACHE/$(_wine_prefix_key)"; }
_wine_prefix_current() {
    [ "$(cat "$1/$WINE_PREFIX_MARKER" 2>/dev/null)" = "$(_wine_prefix_key)" ] &&
        { [ -n "${_WINE_VM_INSIDE:-}" ] || [ ! -e "$1/$WINE_PREFIX_VM_RUNNING" ]; }
}

# _wine_prefix_make DIR: makes a Japanese prefix (64-bit, with WoW64) at DIR, which must not exist. Runs Wine.
_wine_prefix_make() {
    local dir=$1
    mkdir -p "$dir/.home" || return 1
    if _wine_is_root; then
        wine_grant_read "$(dirname "$dir")"
        chown -R "$WINE_USER:" "$dir"
    fi
    WINEARCH=win64 _wine_exec "$dir" "$WINE_BIN" wineboot -i >/dev/null 2>&1 || { _wine_log "wineboot failed in $dir"; return 1; }
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
    # No window manager under Xvfb: Wine draws the window frames itself, and hiding a window does not wait
    # 2 s for a withdrawal that no manager confirms.
    reg+=$'\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\n"Managed"="N"\n'
    _wine_import_reg "$dir" "$reg" || { _wine_log "registry import failed"; return 1; }
    _wine_exec "$dir" "$WINESERVER_BIN" -w
}

# _wine_template_ensure: makes the template prefix of this Wine root and prefix recipe, once. Runs Wine.
_wine_template_ensure() {
    local tpl; tpl=$(_wine_template)
    [ -f "$tpl/$WINE_PREFIX_MARKER" ] && return 0
    mkdir -p "$WINE_PREFIX_CACHE" || return 1
    (
        flock -w 1800 9 || { _wine_log "cannot lock $WINE_PREFIX_CACHE"; exit 1; }
        [ -f "$tpl/$WINE_PREFIX_MARKER" ] && exit 0
        local start=$SECONDS new="$tpl.new"
        rm -rf "$new" "$tpl"
        _wine_prefix_make "$new" || exit 1
        # No program that runs as the Wine user can change the template; each copy is that user's again.
        chown -R root:root "$new"
        _wine_prefix_key >"$new/$WINE_PREFIX_MARKER"
        # In a virtual machine, what it wrote reaches the host's disk only now: all of it before the name.
        sync
        mv -T "$new" "$tpl" || exit 1
        sync
        # Templates of another Wine root are of no further use.
        local recipe other
        recipe=$(cat "$(wine_root_path)/.recipe")
        for other in "$WINE_PREFIX_CACHE"/*; do
            case $(basename "$other") in "$recipe"-*) ;; *) rm -rf "$other" ;; esac
        done
        _wine_log "prefix template $tpl made in $((SECONDS - start)) s"
    ) 9>"$WINE_PREFIX_CACHE/.lock"
}

# _wine_prefix_copy DIR: makes DIR a copy of the template (which must exist), unless it is one already. Runs no
# Wine. DIR itself stays: it may be a mount point in the namespaces (wine.sh run DIR).
_wine_prefix_copy() {
    local dir=$1 tpl; tpl=$(_wine_template)
    mkdir -p "$dir" || return 1
    _wine_ensure_user || return 1
    (
        flock -w 900 9 || { _wine_log "cannot lock $dir"; exit 1; }
        _wine_prefix_current "$dir" && exit 0
        # Only an empty folder or a prefix is replaced.
        if [ -n "$(ls -A "$dir")" ] && [ ! -e "$dir/system.reg" ] && [ ! -e "$dir/$WINE_PREFIX_MARKER" ]; then
            _wine_log "$dir is neither empty nor a Wine prefix: it is not replaced"
            exit 1
        fi
        local start=$SECONDS
        rm -f "$dir/$WINE_PREFIX_MARKER"
        find "$dir" -mindepth 1 -maxdepth 1 -exec rm -rf {} + &&
            cp -a "$tpl/." "$dir/" && rm -f "$dir/$WINE_PREFIX_MARKER" || exit 1
        _wine_is_root && chown -R "$(wine_user):" "$dir"
        # The marker last: a copy cut short is made again.
        sync
        _wine_prefix_key >"$dir/$WINE_PREFIX_MARKER"
        _wine_log "prefix $dir copied from the template in $((SECONDS - start)) s"
    ) 9>"$dir.lock"
}

# wine_prefix_wanted DIR...: before wine_root_enter, names the prefixes the script will use. Under emulation
# they are copied before the machine starts, which takes seconds rather than minutes.
wine_prefix_wanted() {
    local dir
    for dir in "$@"; do
        _WINE_PREFIXES+="$(readlink -m "$dir")"$'\n'
    done
    export _WINE_PREFIXES
}

# The prefixes named to wine_prefix_wanted, copied outside the virtual machine; the template made in one of
# its own when there is none (wineboot needs 32-bit code).
_wine_prefixes_prepare() {
    local dir want=
    while IFS= read -r dir; do
        if [ -n "$dir" ] && ! _wine_prefix_current "$dir"; then want+="$dir"$'\n'; fi
    done <<<"${_WINE_PREFIXES:-}"
    [ -n "$want" ] || return 0
    local tpl lock; tpl=$(_wine_template)
    if [ ! -f "$tpl/$WINE_PREFIX_MARKER" ]; then
        # Not in a subshell: the machine must end with this shell, which a subshell would outlive.
        exec {lock}>"$WINE_PREFIX_CACHE/.lock"
        flock -w 3600 "$lock" || { _wine_log "cannot lock $WINE_PREFIX_CACHE"; return 1; }
        if [ ! -f "$tpl/$WINE_PREFIX_MARKER" ]; then
            _wine_log "making the prefix template in the virtual machine: minutes under emulation, once per Wine root"
            _WINE_PREFIXES= wine_vm_run "$BASH" "$_wine_sh_dir/wine.sh" template || true
        fi
        exec {lock}>&-
        [ -f "$tpl/$WINE_PREFIX_MARKER" ] || { _wine_log "no prefix template"; return 1; }
    fi
    while IFS= read -r dir; do
        if [ -n "$dir" ]; then _wine_prefix_copy "$dir" || return 1; fi
    done <<<"$want"
}

# _wine_prefixes_flag touch|rm: sets or clears the flag of a virtual machine's run in the wanted prefixes.
_wine_prefixes_flag() {
    local dir
    while IFS= read -r dir; do
        if [ -n "$dir" ] && [ -d "$dir" ]; then "$1" -f "$dir/$WINE_PREFIX_VM_RUNNING"; fi
    done <<<"${_WINE_PREFIXES:-}"
}

# wine_prefix_init DIR: makes DIR a Japanese prefix (64-bit, with WoW64), a copy of the template, or reuses the
# one there when it was made for this Wine root and prefix recipe.
wine_prefix_init() {
    local dir=${1:?usage: wine_prefix_init DIR}
    mkdir -p "$dir" || return 1
    dir=$(readlink -f "$dir")
    _wine_prefix_current "$dir" && return 0
    _wine_template_ensure || { _wine_log "no prefix template"; return 1; }
    [ -n "${_WINE_VM_INSIDE:-}" ] &&
        _wine_log "copying $dir inside the virtual machine takes minutes: name it to wine_prefix_wanted before wine_root_enter"
    _wine_prefix_copy "$dir"
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
# until it answers and exports DISPLAY. XVFB_PID holds the server's process id. Inside the root's namespaces
# the X socket folder is the run's own, so no lock file is needed and the first number is free.
xvfb_start() {
    local want=${1:-} n
    local -a candidates
    if [ -n "$want" ]; then
        candidates=("${want#:}")
    else
        for ((n = 200; n < 260; n++)); do candidates+=("$n"); done
    fi
    for n in "${candidates[@]}"; do
        if [ -z "$want" ] && { [ -e "/tmp/.X11-unix/X$n" ] || { [ -z "${_WINE_ROOT_INSIDE:-}" ] && [ -e "/tmp/.X$n-lock" ]; }; }; then
            continue
        fi
        local -a lock=()
        [ -n "${_WINE_ROOT_INSIDE:-}" ] && lock=(-nolock)
        Xvfb ":$n" -screen 0 1280x1024x24 -ac -nolisten tcp "${lock[@]}" >/dev/null 2>&1 &
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
    # The prefix folder is seen inside the root too.
    if [ -z "${_WINE_ROOT_INSIDE:-}${_WINE_VM_INSIDE:-}" ] && [ -n "${2:-}" ]; then
        mkdir -p "$2" && WINE_ROOT_SHARE="${WINE_ROOT_SHARE:-} $(readlink -f "$2")" && export WINE_ROOT_SHARE
        wine_prefix_wanted "$2"
    fi
    wine_root_enter "$0" "$@"
    cmd=${1:-}; shift || true
    case $cmd in
        init) wine_prefix_init "$@" ;;
        run)
            dir=${1:?usage: wine.sh run DIR PROGRAM ARGS...}
            wine_prefix_init "$dir" || exit 2
            started_x=
            if [ -z "${DISPLAY:-}" ]; then xvfb_start && started_x=1; fi
            wine_run "$@"
            rc=$?
            wine_stop "$dir"
            [ -n "$started_x" ] && xvfb_stop
            exit $rc
            ;;
        dpi) wine_prefix_dpi "$@" ;;
        # The template alone: what a virtual machine makes when there is none (wine_root_enter).
        template) _wine_template_ensure ;;
        *)
            sed -n '12,15p' "$0" >&2
            exit 2
            ;;
    esac
fi
