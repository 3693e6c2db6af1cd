#!/usr/bin/env bash
# The Windows test kit: dist/windows-kit/ and dist/windows-kit.zip, from the x86 build and the medium of
# `make dist` (made with the test stand-ins). Unzipped on a Windows machine and started there from an
# elevated prompt, its run.cmd runs the Win32-layer tests and the end-to-end tests of that medium (README:
# "The Windows test kit"); tests/kit/run.sh runs it under Wine. It holds:
#   run.cmd                      the run
#   bin\kit.exe, elevate.exe     run.cmd's helper; a "Run as administrator" for scripts
#   bin\uidriver.exe             the UI driver's command line
#   wine\                        the Win32-layer tests (wine_tests.exe and wine_helper.exe, found beside it)
#   e2e\                         the end-to-end tests, the planted DLL, its control program and the planted names
#   medium\, medium.iso          the medium and its image, as make dist left them
#   signed-medium\               the same medium signed with a throw-away certificate made here
# Usage: make-windows-kit.sh      (BUILD_DIR and DIST_DIR as for make-dist.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
dist=${DIST_DIR:-dist}
x86=$build/x86
need=("$x86/tests/kit/kit.exe" "$x86/tests/kit/elevate.exe" "$x86/tools/uidriver/uidriver.exe"
      "$x86/tests/wine/wine_tests.exe" "$x86/tests/wine/wine_helper.exe" "$x86/tests/e2e/e2e_tests.exe"
      "$x86/tests/e2e/planted.dll" "$x86/tests/e2e/planted_control.exe" "$dist/medium/setup.exe" "$dist/medium.iso")
for f in "${need[@]}"; do
  [[ -f $f ]] || { echo "make-windows-kit: $f missing: build the x86 preset and run make dist first" >&2; exit 1; }
done

stage=$(mktemp -d "$build/windows-kit-staging.XXXXXX")
trap 'rm -rf "$stage"' EXIT
kit=$stage/windows-kit
mkdir -p "$kit/bin" "$kit/wine" "$kit/e2e"
cp "$x86/tests/kit/kit.exe" "$x86/tests/kit/elevate.exe" "$x86/tools/uidriver/uidriver.exe" "$kit/bin/"
cp "$x86/tests/wine/wine_tests.exe" "$x86/tests/wine/wine_helper.exe" "$kit/wine/"
cp "$x86/tests/e2e/e2e_tests.exe" "$x86/tests/e2e/planted.dll" "$x86/tests/e2e/planted_control.exe" "$kit/e2e/"
# Windows' batch files and texts: CR LF.
sed 's/$/\r/' tests/e2e/planted-names.txt >"$kit/e2e/planted-names.txt"
sed 's/$/\r/' tests/kit/run.cmd >"$kit/run.cmd"
cp -a "$dist/medium" "$kit/medium"
cp "$dist/medium.iso" "$kit/medium.iso"

# The signed medium: the same program and Package, signed with a certificate made for this kit only.
pki=$stage/pki
mkdir -p "$pki"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$pki/key.pem" -out "$pki/cert.pem" -days 30 \
  -subj "/CN=Horunde test kit (throw-away)" -addext "extendedKeyUsage=codeSigning" \
  -addext "keyUsage=critical,digitalSignature" >/dev/null 2>&1 ||
  { echo "make-windows-kit: openssl could not make the throw-away certificate" >&2; exit 1; }
DIST_DIR=$stage/signed BUILD_DIR=$build SIGN_CERT=$pki/cert.pem SIGN_KEY=$pki/key.pem \
  scripts/make-dist.sh "$dist/medium/Package" >"$stage/sign.log" 2>&1 ||
  { cat "$stage/sign.log" >&2; echo "make-windows-kit: the signed medium could not be made" >&2; exit 1; }
cp -a "$stage/signed/medium" "$kit/signed-medium"

(cd "$stage" && zip -qr -X windows-kit.zip windows-kit)
rm -rf "$dist/windows-kit" "$dist/windows-kit.zip"
mv "$kit" "$dist/windows-kit"
mv "$stage/windows-kit.zip" "$dist/windows-kit.zip"
echo "make-windows-kit: $dist/windows-kit.zip ready ($(stat -c %s "$dist/windows-kit.zip") bytes, $(find "$dist/windows-kit" -type f | wc -l) files)"
