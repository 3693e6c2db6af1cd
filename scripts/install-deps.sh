#!/usr/bin/env bash
# Installs what the build, the tests and the demo need on a Debian machine, and nothing that is already
# there, then makes (or keeps) the Debian 13 root that Wine 10 runs in (scripts/wine-root.sh) and the kernel
# and initramfs of the virtual machine that runs it where the kernel runs no 32-bit code (scripts/wine-vm.sh).
# Runs as root, or through sudo.
set -euo pipefail

# g++ brings the sanitizers' runtimes (libasan8, libubsan1 through libgcc-12-dev), which make test's
# unit-test-asan links.
packages=(
  make cmake g++ libgtest-dev googletest
  g++-mingw-w64-i686 g++-mingw-w64-x86-64
  debootstrap xvfb x11-utils xauth
  fonts-ipafont-gothic locales-all imagemagick liblnk-utils
  xorriso osslsigncode openssl strace file binutils python3 zip unzip
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
# QEMU, for the virtual machine that runs Wine where the kernel runs no 32-bit code (scripts/wine-vm.sh) and
# that make test checks everywhere; without the graphical front-ends and firmware it would recommend.
status=$(dpkg-query -W -f='${Status}' qemu-system-x86 2>/dev/null || true)
qemu_missing=; [[ "$status" == "install ok installed" ]] || qemu_missing=1
sudo=()
if [[ $(id -u) -ne 0 ]]; then sudo=(sudo); fi
if [[ ${#missing[@]} -gt 0 || -n $qemu_missing ]]; then
  echo "install-deps: installing ${missing[*]}${qemu_missing:+ qemu-system-x86}"
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -qq
  [[ ${#missing[@]} -eq 0 ]] || "${sudo[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
  [[ -z $qemu_missing ]] || "${sudo[@]}" apt-get install -y -qq --no-install-recommends qemu-system-x86 >/dev/null
fi

"$(dirname "$0")/wine-root.sh" ensure
# The virtual machine's kernel and initramfs, from Debian's packages.
"$(dirname "$0")/wine-vm.sh" ensure
