#!/usr/bin/env bash
# Installs what the build, the tests and the demo need on a Debian machine, and nothing that is already
# there, then makes (or keeps) the Debian 13 root that Wine 10 runs in (scripts/wine-root.sh). Runs as root,
# or through sudo.
set -euo pipefail

packages=(
  make cmake g++ libgtest-dev googletest
  g++-mingw-w64-i686 g++-mingw-w64-x86-64
  debootstrap xvfb x11-utils xauth
  fonts-ipafont-gothic locales-all imagemagick liblnk-utils
  xorriso osslsigncode openssl strace file binutils python3
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
sudo=()
if [[ $(id -u) -ne 0 ]]; then sudo=(sudo); fi
if [[ ${#missing[@]} -gt 0 ]]; then
  echo "install-deps: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
fi

"$(dirname "$0")/wine-root.sh" ensure
