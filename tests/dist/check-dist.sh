#!/usr/bin/env bash
# Checks the two media: the right kind of executable for each, the whole Package folder, an import table
# that names only DLLs that ship with Windows, the version resource, and the ISO image of each medium: its
# Joliet tree (what Windows reads) names setup.exe and every Package file in their own case, and each file in
# it is byte for byte the one in dist/<arch>.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
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

check "x86 setup.exe is PE32 i386" bash -c "file '$dist/x86/setup.exe' | grep -q 'PE32 executable (GUI) Intel 80386'"
check "x64 setup.exe is PE32+ x86-64" bash -c "file '$dist/x64/setup.exe' | grep -q 'PE32+ executable (GUI) x86-64'"
check "x86 setup.exe is at most 250 KB and has no unwinder" lean_ok "$dist/x86/setup.exe"
for arch in x86 x64; do
  check "$arch imports only system DLLs" imports_ok "$dist/$arch/setup.exe"
  for f in "${package_files[@]}"; do
    check "$arch Package/$f" test -f "$dist/$arch/Package/$f"
  done
  check "$arch version resource names the product and 2.04" version_ok "$dist/$arch/setup.exe"
  check "$arch.iso has a Joliet tree" joliet_loaded "$dist/$arch.iso"
  check "$arch.iso lists setup.exe and Package in their case" iso_lists_all "$dist/$arch.iso" "$dist/$arch"
  check "$arch.iso holds the files of $dist/$arch byte for byte" iso_matches "$dist/$arch.iso" "$dist/$arch" "$arch"
  if osslsigncode extract-signature -in "$dist/$arch/setup.exe" -out "$work/$arch.sig" >/dev/null 2>&1; then
    echo "  $arch setup.exe is signed"
  else
    echo "  $arch setup.exe is not signed"
  fi
done
echo "dist: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
