#!/usr/bin/env bash
# Checks the medium: a 32-bit setup.exe (the components it installs are 32-bit), the whole Package folder, the
# digests setup.exe records of it, an import table that names only DLLs that ship with Windows, the version
# resource, and the medium's ISO image:
# its Joliet tree (what Windows reads) names setup.exe and every Package file in their own case, and each file
# in it is byte for byte the one in dist/medium. No 64-bit medium is left beside it.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
dist=${1:-dist}
package_files=(rudize.exe mscomctl.ocx comdlg32.ocx mscomct2.ocx MSCC2JP.DLL TransLh6.ocx MSMAPI32.OCX MSMPIJP.DLL
               UNLHA32.DLL vb6jp.DLL RoVur.dll ZozuvOvero.dll)
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
failed=0 passed=0
check() {  # name, command...
  local name=$1; shift
  if "$@"; then passed=$((passed + 1)); else echo "FAILED: $name"; failed=$((failed + 1)); fi
}
system_dlls='^(kernel32|user32|gdi32|comctl32|shell32|ole32|oleaut32|advapi32|msvcrt|shlwapi|uuid)\.dll$'

imports_ok() {
  local exe=$1 bad
  bad=$(objdump -p "$exe" | awk '/DLL Name:/ {print tolower($3)}' | grep -Ev "$system_dlls")
  [[ -z "$bad" ]] || { echo "  $exe imports $bad"; return 1; }
}

# The 32-bit program carries no C++ exception machinery: no unwinder and no unwind tables beyond the few the
# C run-time start-up brings (about 2.5 KB), and it stays within 250 KB.
lean_ok() {
  local exe=$1 size hex eh
  size=$(stat -c %s "$exe")
  hex=$(objdump -h "$exe" | awk '$2 ~ /^\.eh_fram/ {print $3}')
  eh=$((16#${hex:-0}))
  ((size <= 250 * 1024 && eh <= 4096)) || { echo "  $exe: $size bytes, unwind tables $eh bytes"; return 1; }
}

version_ok() {
  local v
  v=$("$here/pe-version.py" "$1") || return 1
  grep -qx 'ProductName=≪ホルンデ≫サンプル版' <<<"$v" && grep -qx 'ProductVersion=2.04' <<<"$v" &&
    grep -qx 'FileVersion=2.04' <<<"$v" && grep -qx 'FixedProductVersion=2.4.0.0' <<<"$v" ||
    { echo "  $1 version resource:"; sed 's/^/    /' <<<"$v"; return 1; }
}

# -read_fs comes before -indev: the tree is chosen when the image is loaded. "norock" makes xorriso read the
# Joliet names.
joliet() { xorriso -read_fs norock -ecma119_map unmapped -indev "$@"; }

joliet_loaded() {
  joliet "$1" -toc 2>&1 | grep -q '^ISO loaded *: *Joliet$'
}

iso_lists_all() {  # iso, medium folder
  local listed want missing
  listed=$(joliet "$1" -find / -type f 2>/dev/null | tr -d "'" | sort)
  want=$( (cd "$2" && find . -type f | sed 's|^\.||') | sort)
  missing=$(comm -13 <(echo "$listed") <(echo "$want"))
  [[ -z "$missing" && "$listed" == "$want" ]] || { echo "  $1 lacks:" $missing; echo "  $1 lists:" $listed; return 1; }
  for f in /setup.exe "${package_files[@]/#//Package/}"; do
    grep -qxF "$f" <<<"$listed" || { echo "  $1 does not list $f"; return 1; }
  done
}

iso_matches() {  # iso, medium folder, name
  local out=$work/$3.extract
  joliet "$1" -osirrox on -extract / "$out" >/dev/null 2>&1 || { echo "  cannot extract $1"; return 1; }
  diff -r "$2" "$out" >/dev/null || { diff -rq "$2" "$out" | sed 's/^/  /'; return 1; }
}

m=$dist/medium
check "setup.exe is PE32 i386" bash -c "file '$m/setup.exe' | grep -q 'PE32 executable (GUI) Intel 80386'"
check "setup.exe is at most 250 KB and has no unwinder" lean_ok "$m/setup.exe"
check "no other medium beside it (the test kit aside)" test -z "$(ls "$dist" | grep -vxE 'medium|medium\.iso|windows-kit|windows-kit\.zip')"
check "setup.exe imports only system DLLs" imports_ok "$m/setup.exe"
# The components are loaded by the 32-bit registrar, and the installer is started by a 32-bit program.
for f in "${package_files[@]}"; do
  check "Package/$f is a 32-bit Windows file" bash -c "file '$m/Package/$f' | grep -q 'PE32 .*Intel 80386'"
done
check "setup.exe records the SHA-256 of every Package file it copies" \
  "$root/scripts/payload-records.py" check "$m/setup.exe" "$m/Package" "${package_files[@]}"
check "version resource names the product and 2.04" version_ok "$m/setup.exe"
check "medium.iso has a Joliet tree" joliet_loaded "$dist/medium.iso"
check "medium.iso lists setup.exe and Package in their case" iso_lists_all "$dist/medium.iso" "$m"
check "medium.iso holds the files of $m byte for byte" iso_matches "$dist/medium.iso" "$m" medium
if osslsigncode extract-signature -in "$m/setup.exe" -out "$work/medium.sig" >/dev/null 2>&1; then
  echo "  setup.exe is signed"
else
  echo "  setup.exe is not signed"
fi
echo "dist: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
