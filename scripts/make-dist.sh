#!/usr/bin/env bash
# Lays out the two distribution media: dist/x86 (the one publishers ship) and dist/x64 (for 64-bit test
# environments such as Wine), each setup.exe with Package/ beside it.
# Usage: make-dist.sh [PACKAGE_DIR]   without a folder, the sample stand-ins of the build are used.
set -euo pipefail
cd "$(dirname "$0")/.."
package=${1:-}

# Everything setup.exe copies or starts from Package.
required=(rudize.exe mscomctl.ocx comdlg32.ocx mscomct2.ocx MSCC2JP.DLL TransLh6.ocx MSMAPI32.OCX MSMPIJP.DLL
          UNLHA32.DLL vb6jp.DLL RoVur.dll ZozuvOvero.dll)

if [[ -n "$package" ]]; then
  [[ -d "$package" ]] || { echo "make-dist: no such folder: $package" >&2; exit 1; }
  missing=()
  for f in "${required[@]}"; do [[ -f "$package/$f" ]] || missing+=("$f"); done
  if [[ ${#missing[@]} -gt 0 ]]; then
    echo "make-dist: $package lacks: ${missing[*]}" >&2
    exit 1
  fi
fi

for arch in x86 x64; do
  out=dist/$arch
  rm -rf "$out"
  mkdir -p "$out/Package"
  cp "build/$arch/src/setup.exe" "$out/setup.exe"
  if [[ -n "$package" ]]; then
    cp -a "$package"/. "$out/Package/"     # the publisher's files, as they are
  else
    cp -a "build/$arch/Package"/. "$out/Package/"
  fi
  echo "make-dist: $out ready ($(stat -c %s "$out/setup.exe") bytes setup.exe)"
done
