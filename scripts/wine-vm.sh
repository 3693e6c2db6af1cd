#!/usr/bin/env bash
# Wine on a kernel that runs no 32-bit code: the same scripts, inside a software-emulated virtual machine.
#
# Wine's WoW64 mode switches to the kernel's 32-bit user code segment for every 32-bit instruction. Some kernels
# give a 64-bit process no such segment (PVM guests, for one): every 32-bit Windows program then dies before its
# first instruction, and Wine says only that it could not start it. Such machines have no /dev/kvm either, so
# the machine here is QEMU's software emulation (TCG): Debian's own kernel, an initramfs with busybox and the 9p
# modules (scripts/wine-vm-init is its PID 1), and this machine's root file system shared over 9p, so the
# script runs there exactly as here, root, namespaces and chroot included. Emulation is about twenty times
# slower than running natively.
#
#   scripts/wine-vm.sh ensure    make (or keep) the kernel and initramfs, from Debian's packages
#   scripts/wine-vm.sh probe     exit 0 when this kernel runs 32-bit code the way WoW64 needs it
#   scripts/wine-vm.sh run SCRIPT ARGS...   run a script in the virtual machine, exit with its status
#
# Functions: wine_vm_ensure, wine_vm_probe, wine_vm_choose, wine_vm_run.
#
# SETUP_WINE_VM=1 takes the virtual machine on any machine, SETUP_WINE_VM=0 never; unset, the probe decides.
# WINE_VM_CACHE (default /var/cache/setup-wine-vm) holds the kernel, the initramfs and the probe; WINE_VM_MEMORY
# (default 4G) and WINE_VM_CPUS (default: this machine's cores) size the machine.

WINE_VM_CACHE=${WINE_VM_CACHE:-/var/cache/setup-wine-vm}
WINE_VM_MEMORY=${WINE_VM_MEMORY:-4G}
WINE_VM_CPUS=${WINE_VM_CPUS:-$(nproc)}
# The factor by which the UI driver and the end-to-end tests stretch every bounded wait in the machine.
WINE_VM_WAIT_SCALE=${WINE_VM_WAIT_SCALE:-10}
# The modules that mount the root over 9p, with what they need (read from the modules themselves).
WINE_VM_MODULES=(virtio_pci 9pnet_virtio 9p virtio_console)
_wine_vm_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

_vm_log() { echo "wine-vm: $*" >&2; }

# ---- The probe ----------------------------------------------------------------------------------------------

# The functions here are used by scripts with and without `set -e`: no failure that they handle may end the
# script.

# wine_vm_probe: exit 0 when this kernel runs 32-bit code as WoW64 needs it, 1 when not, 2 when the probe
# cannot be built. Built once per source into the cache; a run takes a millisecond.
wine_vm_probe() {
    local src="$_wine_vm_dir/wow64-probe.c" exe
    exe="$WINE_VM_CACHE/wow64-probe-$(sha256sum <"$src" | cut -c1-16)"
    if [ ! -x "$exe" ]; then
        mkdir -p "$WINE_VM_CACHE" || return 2
        gcc -O1 -static -no-pie -o "$exe.new.$$" "$src" 2>/dev/null && mv -f "$exe.new.$$" "$exe" ||
            { rm -f "$exe.new.$$"; return 2; }
    fi
    "$exe" || return 1
}

# wine_vm_choose: sets WINE_VM_PATH to "native" or "vm" and WINE_VM_WHY to one line saying why.
wine_vm_choose() {
    case ${SETUP_WINE_VM:-} in
        1)
            WINE_VM_PATH=vm
            WINE_VM_WHY="SETUP_WINE_VM=1 asks for it"
            return
            ;;
        0)
            WINE_VM_PATH=native
            WINE_VM_WHY="SETUP_WINE_VM=0 asks for it"
            return
            ;;
    esac
    local probe=0
    wine_vm_probe || probe=$?
    case $probe in
        0)
            WINE_VM_PATH=native
            WINE_VM_WHY="this kernel runs 32-bit code"
            ;;
        1)
            WINE_VM_PATH=vm
            WINE_VM_WHY="this kernel runs no 32-bit code (a far return into its 32-bit code segment faults), and Wine's WoW64 mode needs it"
            ;;
        *)
            WINE_VM_PATH=native
            WINE_VM_WHY="whether this kernel runs 32-bit code is unknown: the probe does not build (gcc, scripts/install-deps.sh)"
            ;;
    esac
}

# ---- The kernel and the initramfs ---------------------------------------------------------------------------

# Everything that decides what the machine boots. Its hash names the folder it is made in.
_vm_recipe() {
    local out=$1 work=$2
    # The kernel behind Debian's linux-image-amd64, and busybox, as packages: nothing is installed here, and
    # this machine's /boot and initramfs configuration stay as they are.
    local kernel_pkg
    kernel_pkg=$(apt-cache depends --important linux-image-amd64 2>/dev/null | sed -n 's/^ *Depends: \(linux-image-[0-9].*\)$/\1/p' | head -n 1)
    [ -n "$kernel_pkg" ] || { _vm_log "apt knows no linux-image-amd64 (apt-get update?)"; return 1; }
    mkdir -p "$work/download" && chown _apt "$work/download" 2>/dev/null
    (cd "$work/download" && { apt-get download -qq "$kernel_pkg" busybox-static 2>/dev/null ||
        { apt-get update -qq && apt-get download -qq "$kernel_pkg" busybox-static; }; }) || return 1
    dpkg-deb -x "$work/download/${kernel_pkg}_"*.deb "$work/kernel" &&
        dpkg-deb -x "$work/download/busybox-static_"*.deb "$work/busybox" || return 1
    local image; image=$(ls "$work/kernel/boot/vmlinuz-"* | head -n 1)
    [ -f "$image" ] || { _vm_log "no kernel image in $kernel_pkg"; return 1; }
    cp "$image" "$out/vmlinuz"

    local tree="$work/initramfs"
    mkdir -p "$tree/bin" "$tree/dev" "$tree/proc" "$tree/host" "$tree/lib/modules"
    cp "$work/busybox/bin/busybox" "$tree/bin/busybox"
    cp "$_wine_vm_dir/wine-vm-init" "$tree/init" && chmod 755 "$tree/init"
    # The modules in the order they load: each after the ones its .modinfo says it depends on.
    local -A path=() loaded=()
    local ko
    while IFS= read -r ko; do path[$(basename "$ko" .ko)]=$ko; done < <(find "$work/kernel/lib/modules" -name '*.ko')
    local -a order=()
    _vm_add_module() {
        local name=${1//-/_} dep
        [ -n "${loaded[$name]:-}" ] && return 0
        [ -n "${path[$name]:-}" ] || { _vm_log "module $name missing from $kernel_pkg"; return 1; }
        for dep in $(objcopy -O binary --only-section=.modinfo "${path[$name]}" /dev/stdout | tr '\0' '\n' |
            sed -n 's/^depends=//p' | tr ',' ' '); do
            _vm_add_module "$dep" || return 1
        done
        loaded[$name]=1
        order+=("$name")
        cp "${path[$name]}" "$tree/lib/modules/$name.ko"
    }
    local m
    for m in "${WINE_VM_MODULES[@]}"; do _vm_add_module "$m" || return 1; done
    printf '%s\n' "${order[@]}" >"$tree/lib/modules/order"
    (cd "$tree" && find . | "$work/busybox/bin/busybox" cpio -o -H newc 2>/dev/null) | gzip -1 >"$out/initrd.img" ||
        return 1
    echo "$kernel_pkg $(basename "$image")" >"$out/kernel"
}

_vm_recipe_hash() {
    { declare -f _vm_recipe; echo "${WINE_VM_MODULES[*]}"; cat "$_wine_vm_dir/wine-vm-init"; } | sha256sum | cut -c1-16
}

_vm_boot_dir() { echo "$WINE_VM_CACHE/boot-$(_vm_recipe_hash)"; }

# wine_vm_ensure: makes the kernel and the initramfs once (a minute; needs Debian's package mirror), and keeps
# them while their recipe is unchanged.
wine_vm_ensure() {
    local boot; boot=$(_vm_boot_dir)
    [ -f "$boot/ready" ] && return 0
    if [ "$(id -u)" != 0 ]; then
        sudo --preserve-env=WINE_VM_CACHE "$_wine_vm_dir/wine-vm.sh" ensure
        return
    fi
    command -v qemu-system-x86_64 >/dev/null || { _vm_log "qemu-system-x86_64 is missing (scripts/install-deps.sh)"; return 1; }
    mkdir -p "$WINE_VM_CACHE" && chmod 755 "$WINE_VM_CACHE" || return 1
    (
        flock -w 900 9 || { _vm_log "cannot lock $WINE_VM_CACHE"; exit 1; }
        [ -f "$boot/ready" ] && exit 0
        local start=$SECONDS work="$WINE_VM_CACHE/work.$$"
        _vm_log "making the virtual machine's kernel and initramfs in $boot ..."
        rm -rf "$boot" "$work"
        mkdir -p "$boot" "$work"
        trap 'rm -rf "$work"' EXIT
        if ! _vm_recipe "$boot" "$work"; then
            _vm_log "could not make the virtual machine's kernel and initramfs"
            rm -rf "$boot"
            exit 1
        fi
        touch "$boot/ready"
        # Earlier recipes' kernels are of no further use.
        find "$WINE_VM_CACHE" -mindepth 1 -maxdepth 1 -name 'boot-*' ! -path "$boot" -exec rm -rf {} +
        _vm_log "$(cat "$boot/kernel") and its initramfs ready in $((SECONDS - start)) s"
    ) 9>"$WINE_VM_CACHE/.lock"
}

# ---- A run ----------------------------------------------------------------------------------------------------

# Variables that mean something only to this session, or that are secret, stay outside.
_vm_passes() {
    case $1 in
        DISPLAY | XAUTHORITY | WAYLAND_DISPLAY | XDG_RUNTIME_DIR | DBUS_SESSION_BUS_ADDRESS | SSH_* | TMUX | TMUX_PANE) return 1 ;;
        *PASSWORD* | *PASSPHRASE* | *SECRET* | *TOKEN* | *CREDENTIAL* | BASH_FUNC_*) return 1 ;;
        _WINE_ROOT_INSIDE | _WINE_VM_INSIDE | SETUP_WAIT_SCALE) return 1 ;;
    esac
}

# The job the machine runs: COMMAND... in this folder with this environment, as a script for bash.
_vm_job() {
    local entry
    printf 'cd -- %q || exit 2\nexec env -i' "$PWD"
    while IFS= read -r -d '' entry; do
        if _vm_passes "${entry%%=*}"; then printf ' %q' "$entry"; fi
    done < <(env -0)
    printf ' %q' _WINE_VM_INSIDE=1 "SETUP_WAIT_SCALE=${SETUP_WAIT_SCALE:-$WINE_VM_WAIT_SCALE}" "$@"
    printf '\n'
}

# Run folders of runs that were killed: no one holds their lock any more.
_vm_clean_runs() {
    local dir
    for dir in "$WINE_VM_CACHE/runs"/*/; do
        [ -f "$dir.lock" ] || continue
        (flock -n 9 && rm -rf "$dir") 9<"$dir.lock" || true
    done
}

_vm_stop() {
    if [ -n "${_vm_qemu:-}" ]; then
        kill "$_vm_qemu" 2>/dev/null || true
        wait "$_vm_qemu" 2>/dev/null || true
        _vm_qemu=
    fi
    if [ -n "${_vm_run:-}" ]; then rm -rf "$_vm_run"; fi
    _vm_run=
}

# wine_vm_run COMMAND...: runs COMMAND in the virtual machine, in this folder with this environment (less the
# display and secrets), its output appearing here as it comes, and returns its exit status. The machine, and
# with it everything the command started or mounted, ends when the command ends, when this shell is
# interrupted or killed, or when it ends otherwise. WINE_VM_ENDED is set when the machine ended on its own,
# after it had written back all it wrote: the host's files are whole. Needs root.
wine_vm_run() {
    WINE_VM_ENDED=
    wine_vm_ensure || return 2
    local boot; boot=$(_vm_boot_dir)
    mkdir -p "$WINE_VM_CACHE/runs" && chmod 700 "$WINE_VM_CACHE/runs" || return 2
    _vm_clean_runs
    _vm_run=$(mktemp -d "$WINE_VM_CACHE/runs/XXXXXXXX") || return 2
    case $_vm_run in *[[:space:]]*)
        _vm_log "the run folder $_vm_run has a blank in its path (WINE_VM_CACHE)"
        rm -rf "$_vm_run"
        return 2
        ;;
    esac
    local lock
    exec {lock}>"$_vm_run/.lock"
    flock -n "$lock" || true
    _vm_job "$@" >"$_vm_run/job"
    # The output reaches this shell's standard output and error through pipes: QEMU could reopen a terminal or a
    # pipe, but a file reopened has an offset of its own, and a socket cannot be reopened at all.
    local out err
    exec {out}> >(exec cat)
    _vm_cats=$!
    exec {err}> >(exec cat >&2)
    _vm_cats+=" $!"

    trap '_vm_stop' EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
    trap 'exit 129' HUP
    local ttys
    ttys=$([ -t 1 ] && echo 1 || echo 0)$([ -t 2 ] && echo 1 || echo 0)
    local -a qemu=(
        qemu-system-x86_64 -nodefaults -no-user-config -display none -no-reboot -nic none
        -accel tcg,thread=multi -smp "$WINE_VM_CPUS" -m "$WINE_VM_MEMORY"
        # Without -smap,-pku QEMU 7.2 faults user-mode iretq and lretq, which Wine's WoW64 mode uses.
        -cpu max,-smap,-pku
        -kernel "$boot/vmlinuz" -initrd "$boot/initrd.img"
        -append "console=ttyS0 quiet panic=-1 mitigations=off setup_vm_run=$_vm_run setup_vm_ttys=$ttys"
        -virtfs local,path=/,mount_tag=hostroot,security_model=passthrough,multidevs=remap
        -chardev "file,id=console,path=$_vm_run/console.log"
        -chardev "file,id=out,path=/proc/self/fd/$out"
        -chardev "file,id=err,path=/proc/self/fd/$err"
        -serial chardev:console
        -device virtio-serial-pci -device virtconsole,chardev=out -device virtconsole,chardev=err
    )
    # QEMU ends with this shell however it ends, a kill included.
    setpriv --pdeathsig KILL -- "${qemu[@]}" </dev/null &
    _vm_qemu=$!
    local qemu_status=0
    wait "$_vm_qemu" || qemu_status=$?
    _vm_qemu=
    # All the output is out before anything after it.
    exec {out}>&- {err}>&-
    wait $_vm_cats || true
    local status
    status=$(cat "$_vm_run/status" 2>/dev/null) || true
    if [ -z "$status" ]; then
        _vm_log "the virtual machine ended (QEMU status $qemu_status) before its job did; its console's last lines:"
        tail -n 30 "$_vm_run/console.log" >&2
        status=2
    else
        WINE_VM_ENDED=1
    fi
    rm -rf "$_vm_run"
    _vm_run=
    return "$status"
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    set -uo pipefail
    case ${1:-} in
        ensure) wine_vm_ensure ;;
        probe) wine_vm_probe ;;
        run)
            shift
            [ "$(id -u)" = 0 ] || exec sudo --preserve-env "$BASH" "$0" run "$@"
            wine_vm_run "$BASH" "$@"
            ;;
        *) sed -n '12,15p' "$0" >&2; exit 2 ;;
    esac
fi
