#!/usr/bin/env bash
# Runs the end-to-end tests: the real setup.exe under Wine, driven through its windows.
#
#   tests/e2e/run.sh [BUILD_DIR] [gtest options...]      (BUILD_DIR default: build/x86)
#
# Needs the medium dist/medium (make dist: setup.exe records the digests of its Package, and copies nothing
# else) and BUILD_DIR/tests/e2e/{e2e_tests.exe,planted.dll,planted_control.exe} (cmake --preset x86 &&
# cmake --build build/x86). Runs under Wine 10 in its root, in WoW64 mode, as 64-bit Windows runs the 32-bit
# setup.exe (scripts/wine.sh). Starts Xvfb when there is no DISPLAY, makes or reuses a prefix
# BUILD_DIR/e2e-prefix and lays out, inside it:
#   C:\medium\          the medium's setup.exe + Package\
#   C:\planted-medium\  the same, with copies of a DLL of ours under system libraries' names beside setup.exe
#   R:\                 a CD-ROM drive holding dist/medium.iso's files (extracted with xorriso), or, without the
#                       image, the medium's files
#   C:\signed-medium\   build/signed/ (setup.exe and Package\, left by tests/dist/sign-test.sh; its test fails
#                       without it)
# and runs the tests as the ordinary Wine user (read-only files mean something then). Failure screenshots go
# to BUILD_DIR/e2e-shots/. Then the two shortcuts the install test copied out are checked with lnkinfo.
# The tests that plant links make them themselves: under Wine the host's ln does, asked by the test
# (tests/helpers/sides.h).
# Exits non-zero on any failure.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=../../scripts/wine.sh
source "$root/scripts/wine.sh"
wine_prefix_wanted "$(readlink -m "${1:-$root/build/x86}")/e2e-prefix"
wine_root_enter "$0" "$@"
build=${1:-$root/build/x86}
shift || true
build=$(readlink -f "$build")

medium=${E2E_MEDIUM:-$root/dist/medium}
setup_exe=$medium/setup.exe
package=$medium/Package
tests_exe=$build/tests/e2e/e2e_tests.exe
planted_dll=$build/tests/e2e/planted.dll
planted_control=$build/tests/e2e/planted_control.exe
# Overridable, e.g. to try the layout without an image: E2E_ISO=/none tests/e2e/run.sh
iso=${E2E_ISO:-$root/dist/medium.iso}
signed=${E2E_SIGNED:-$root/build/signed}
for f in "$setup_exe" "$package/rudize.exe"; do
  [[ -e $f ]] || { echo "e2e: $f missing; run make dist first" >&2; exit 2; }
done
for f in "$tests_exe" "$planted_dll" "$planted_control"; do
  [[ -e $f ]] || { echo "e2e: $f missing; build the x86 preset first" >&2; exit 2; }
done

prefix=$build/e2e-prefix
shots=$build/e2e-shots
results=$build/e2e-results.txt
watcher=
started_xvfb=

cleanup() {
  if [[ -n $watcher ]]; then
    touch "$shots/.stop"
    wait "$watcher" 2>/dev/null
  fi
  wine_stop "$prefix"
  [[ -n $started_xvfb ]] && xvfb_stop
}
trap cleanup EXIT

if [[ -z ${DISPLAY:-} ]]; then
  xvfb_start || exit 2
  started_xvfb=1
fi

wine_prefix_init "$prefix" || exit 2
echo "e2e: $(wine_describe "$setup_exe")"

# The medium, and the tests beside it, inside the prefix and owned by the Wine user.
drive_c=$prefix/drive_c
rm -rf "$drive_c/medium" "$drive_c/e2e" "$drive_c/e2e-lnk" "$drive_c/planted-medium" "$drive_c/planted" \
  "$drive_c/signed-medium" "$drive_c/tampered-medium" "$drive_c/planted-target"
[[ -L $drive_c/DAZov ]] && rm "$drive_c/DAZov"  # a link of an interrupted run
mkdir -p "$drive_c/medium" "$drive_c/e2e" "$drive_c/planted-medium"
cp "$setup_exe" "$drive_c/medium/setup.exe"
cp -r "$package" "$drive_c/medium/Package"
cp "$tests_exe" "$drive_c/e2e/e2e_tests.exe"

# Names a GUI program or the libraries it loads may look for beside the program: the common ones, what this
# program and Wine's own libraries load, and those Wine takes from the program's folder when asked by name.
# The list is shared with the Windows test kit (tests/kit/run.cmd).
mapfile -t planted_names < <(grep -v '^#' "$root/tests/e2e/planted-names.txt")
cp "$setup_exe" "$drive_c/planted-medium/setup.exe"
cp -r "$package" "$drive_c/planted-medium/Package"
cp "$planted_control" "$drive_c/planted-medium/planted_control.exe"
for name in "${planted_names[@]}"; do cp "$planted_dll" "$drive_c/planted-medium/$name"; done
export E2E_PLANTED_DIR='C:\planted-medium'
E2E_PLANTED_NAMES=$(IFS=';'; echo "${planted_names[*]}")
export E2E_PLANTED_NAMES

# The signed medium, when the signing test has left one.
if [[ -f $signed/setup.exe && -d $signed/Package ]]; then
  mkdir -p "$drive_c/signed-medium"
  cp "$signed/setup.exe" "$drive_c/signed-medium/setup.exe"
  cp -r "$signed/Package" "$drive_c/signed-medium/Package"
  echo "e2e: signed medium from $signed"
else
  echo "e2e: $signed/setup.exe and Package missing: run tests/dist/sign-test.sh first, or the signed-install test fails"
fi
export E2E_SIGNED_SETUP_EXE='C:\signed-medium\setup.exe'

if [[ $(id -u) = 0 ]]; then
  chown -R "$(wine_user):" "$drive_c/medium" "$drive_c/e2e" "$drive_c/planted-medium"
  [[ -d $drive_c/signed-medium ]] && chown -R "$(wine_user):" "$drive_c/signed-medium"
fi

# The disc: the ISO's files as xorriso gives them (read-only, as on a real disc) at the root of drive R:,
# which the prefix knows as a CD-ROM drive. Without the image (make dist not run), the build's files.
disc=$build/e2e-disc
chmod -R u+w "$disc" 2>/dev/null
rm -rf "$disc"
mkdir -p "$disc"
if [[ -f $iso ]]; then
  if ! xorriso -read_fs norock -indev "$iso" -osirrox on -extract / "$disc" >"$build/e2e-disc.log" 2>&1; then
    echo "e2e: xorriso could not extract $iso:" >&2
    cat "$build/e2e-disc.log" >&2
    exit 2
  fi
  disc_source="files of $iso"
else
  cp "$setup_exe" "$disc/setup.exe"
  cp -r "$package" "$disc/Package"
  chmod -R a-w "$disc"
  chmod u+w "$disc"
  disc_source="files of $medium (no $iso)"
fi
wine_grant_read "$disc"
echo "e2e: drive R: holds the $disc_source"
export E2E_DISC_ROOT='R:\' E2E_DISC_SOURCE="$disc_source"
ln -sfn "$disc" "$prefix/dosdevices/r:"
_wine_import_reg "$prefix" $'Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Drives]\n"r:"="cdrom"\n' ||
  { echo "e2e: could not make R: a CD-ROM drive" >&2; exit 2; }
# The mount manager reads the drive types when the prefix starts.
wine_stop "$prefix"

rm -rf "$shots"
wine_output_dir "$shots"
"$root/tests/e2e/shot-watcher.sh" "$shots" $$ 3600 &
watcher=$!

export E2E_SETUP_EXE='C:\medium\setup.exe'
export E2E_SHOT_DIR="Z:${shots//\//\\}"
export E2E_LNK_DIR='C:\e2e-lnk'

echo "e2e: running e2e_tests.exe in $prefix on $DISPLAY as $(wine_user)"
wine_run "$prefix" 'C:\e2e\e2e_tests.exe' --gtest_color=no "$@" 2>&1 | tee "$results"
rc=${PIPESTATUS[0]}
rm -rf "$drive_c/planted-target"

# The shortcuts, parsed by a tool that is not Windows' own.
lnk_rc=0
check_lnk() {
  local file=$1 out
  if [[ ! -f $file ]]; then
    echo "e2e: lnkinfo: $file missing (the install test did not get that far)"
    lnk_rc=1
    return
  fi
  out=$(lnkinfo "$file" 2>&1)
  local -a want=(
    'Local path[[:space:]]*: C:\\DAZov\\DAZov\.mde$'
    'Working directory[[:space:]]*: C:\\DAZov$'
    'Description[[:space:]]*: ホルンデ$'
    'Icon location[[:space:]]*: C:\\DAZov\\Work\\ZEL\.ico$'
  )
  local w ok=1
  for w in "${want[@]}"; do
    if ! grep -Eq "$w" <<<"$out"; then
      echo "e2e: lnkinfo $(basename "$file"): no line matching /$w/"
      ok=0
    fi
  done
  if ((ok)); then
    echo "e2e: lnkinfo $(basename "$file"): target, working folder, description and icon as expected"
  else
    echo "$out" | sed 's/^/    /'
    lnk_rc=1
  fi
}
if grep -q 'InstallCompletesAndLeavesTheMachineSetUp' "$results"; then
  check_lnk "$drive_c/e2e-lnk/desktop.lnk"
  check_lnk "$drive_c/e2e-lnk/programs.lnk"
fi

echo
echo "e2e: summary"
grep -E '^\[  (PASSED|FAILED|SKIPPED) +\]|^\[==========\] .* ran|tests? (FAILED|failed)|^\[ responsiveness \]' "$results" | sed 's/^/    /'
ls "$shots"/*.png >/dev/null 2>&1 && echo "e2e: failure screenshots in $shots" && ls -1 "$shots"/*.png | sed 's/^/    /'
if ((rc != 0 || lnk_rc != 0)); then
  echo "e2e: FAILED (tests exit $rc, shortcut check $lnk_rc)"
  exit 1
fi
echo "e2e: all passed"
