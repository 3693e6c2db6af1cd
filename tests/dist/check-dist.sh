#!/usr/bin/env bash
# Checks the two media: the right kind of executable for each, the whole Package folder, and an import table
# that names only DLLs that ship with Windows.
set -uo pipefail
dist=${1:-dist}
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

check "x86 setup.exe is PE32 i386" bash -c "file '$dist/x86/setup.exe' | grep -q 'PE32 executable (GUI) Intel 80386'"
check "x64 setup.exe is PE32+ x86-64" bash -c "file '$dist/x64/setup.exe' | grep -q 'PE32+ executable (GUI) x86-64'"
for arch in x86 x64; do
  check "$arch imports only system DLLs" imports_ok "$dist/$arch/setup.exe"
  for f in rudize.exe mscomctl.ocx comdlg32.ocx mscomct2.ocx MSCC2JP.DLL TransLh6.ocx MSMAPI32.OCX MSMPIJP.DLL \
           UNLHA32.DLL vb6jp.DLL RoVur.dll ZozuvOvero.dll; do
    check "$arch Package/$f" test -f "$dist/$arch/Package/$f"
  done
done
echo "dist: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
