#!/usr/bin/env bash
# Lays out the distribution medium dist/medium: the 32-bit setup.exe with Package/ beside it. It records the
# SHA-256 of every Package file setup.exe copies inside setup.exe (scripts/payload-records.py), then signs
# setup.exe when a certificate is given (see scripts/sign.sh), so the signature covers the records, and makes an
# ISO 9660 image with Joliet names of the medium, dist/medium.iso, with setup.exe and Package\ at its root as on
# a real disc.
# Usage: make-dist.sh [PACKAGE_DIR]   without a folder, the sample stand-ins of the build are used.
# DIST_DIR in the environment puts the media elsewhere than dist/, BUILD_DIR takes the programs from elsewhere
# than build/ (the tests use both).
#
# Everything is made in a staging folder first and replaces what is in dist/ only when all of it succeeded,
# so a failed build (a wrong password, say) leaves dist/ exactly as it was.
set -euo pipefail
# The signing password comes in a file (SIGN_PASSWORD_FILE) that only the programs which need it read (see
# scripts/sign.sh). One in the environment would be inherited by every command run here, so it is refused
# before any runs.
[[ -z ${SIGN_PASSWORD+set} ]] || {
  echo "make-dist: SIGN_PASSWORD is not read from the environment: put the password in a file only you can read" \
       "and name it with SIGN_PASSWORD_FILE" >&2
  exit 1
}
# Paths given relative to where the script was started from stay valid after the move to the source root.
absolute() { [[ -z "$1" || "$1" == /* ]] && echo "$1" || echo "$PWD/$1"; }
package=$(absolute "${1:-}")
for v in SIGN_CERT SIGN_KEY SIGN_PKCS12 SIGN_PASSWORD_FILE DIST_DIR BUILD_DIR; do
  [[ -n "${!v:-}" ]] && export "$v=$(absolute "${!v}")"
done
cd "$(dirname "$0")/.."
volume_label=HORUNDE_SAMPLE
dist=${DIST_DIR:-dist}
build=${BUILD_DIR:-build}

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
[[ -f "$build/x86/src/setup.exe" ]] || { echo "make-dist: $build/x86/src/setup.exe is not built" >&2; exit 1; }
# Only the 32-bit program is ever put on the medium, and so only it is ever signed with the release certificate.
file "$build/x86/src/setup.exe" | grep -q 'PE32 executable (GUI) Intel 80386' ||
  { echo "make-dist: $build/x86/src/setup.exe is not the 32-bit (i686) program" >&2; exit 1; }

# On the same file system as the media, so the finished ones are moved in by renaming.
mkdir -p "$dist"
if [[ -n "${DIST_DIR:-}" ]]; then stage_parent=$(dirname "$dist"); else stage_parent=$build; fi
stage=$(mktemp -d "$stage_parent/dist-staging.XXXXXX")
trap 'rm -rf "$stage"' EXIT

out=$stage/medium
mkdir -p "$out/Package"
cp "$build/x86/src/setup.exe" "$out/setup.exe"
if [[ -n "$package" ]]; then
  cp -a "$package"/. "$out/Package/"     # the publisher's files, as they are
else
  cp -a "$build/x86/Package"/. "$out/Package/"
fi

# The digests go into setup.exe before it is signed.
scripts/payload-records.py write "$out/setup.exe" "$out/Package" "${required[@]}"

if [[ -n "${SIGN_CERT:-}${SIGN_KEY:-}${SIGN_PKCS12:-}" ]]; then
  (cd "$stage" && "$OLDPWD/scripts/sign.sh" medium/setup.exe) || {
    echo "make-dist: signing failed; $dist is left as it was" >&2
    exit 1
  }
else
  echo "make-dist: no certificate given (SIGN_CERT and SIGN_KEY, or SIGN_PKCS12): setup.exe is not signed"
fi

if ! xorriso -as mkisofs -J -joliet-long -r -V "$volume_label" -o "$stage/medium.iso" "$stage/medium" \
     >"$stage/xorriso.log" 2>&1; then
  cat "$stage/xorriso.log" >&2
  echo "make-dist: the ISO image could not be made; $dist is left as it was" >&2
  exit 1
fi

# All made: swap each piece in. What it replaces goes into the staging folder and leaves with it, and so do
# the two media of earlier builds (x86, and x64, which was built only for testing).
mkdir "$stage/old"
for item in medium medium.iso x86 x64 x86.iso x64.iso; do
  [[ -e "$dist/$item" ]] && mv "$dist/$item" "$stage/old/"
  [[ -e "$stage/$item" ]] && mv "$stage/$item" "$dist/$item"
done
echo "make-dist: $dist/medium ready ($(stat -c %s "$dist/medium/setup.exe") bytes setup.exe)," \
     "$dist/medium.iso ($(stat -c %s "$dist/medium.iso") bytes)"
