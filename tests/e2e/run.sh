#!/usr/bin/env bash
# Runs the end-to-end tests: the real setup.exe under Wine, driven through its windows.
#
#   tests/e2e/run.sh [BUILD_DIR] [gtest options...]      (BUILD_DIR default: build/x64)
#
# Needs BUILD_DIR/src/setup.exe, BUILD_DIR/Package/ and BUILD_DIR/tests/e2e/e2e_tests.exe
# (cmake --preset x64 && cmake --build build/x64). Starts Xvfb when there is no DISPLAY, makes or reuses a
# prefix BUILD_DIR/e2e-prefix, lays out the medium as C:\medium\setup.exe + C:\medium\Package\, and runs the
# tests as the ordinary Wine user (read-only files mean something then). Failure screenshots go to
# BUILD_DIR/e2e-shots/. Then the two shortcuts the install test copied out are checked with lnkinfo.
# Exits non-zero on any failure.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build/x64}
shift || true
build=$(readlink -f "$build")
# shellcheck source=../../scripts/wine.sh
source "$root/scripts/wine.sh"

setup_exe=$build/src/setup.exe
package=$build/Package
tests_exe=$build/tests/e2e/e2e_tests.exe
for f in "$setup_exe" "$package/rudize.exe" "$tests_exe"; do
  [[ -e $f ]] || { echo "e2e: $f missing; build the x64 preset first" >&2; exit 2; }
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
# No window manager under Xvfb: Wine draws the frames, and hiding a window does not wait for one.
wine_prefix_unmanaged "$prefix" || exit 2

# The medium, and the tests beside it, inside the prefix and owned by the Wine user.
drive_c=$prefix/drive_c
rm -rf "$drive_c/medium" "$drive_c/e2e" "$drive_c/e2e-lnk"
mkdir -p "$drive_c/medium" "$drive_c/e2e"
cp "$setup_exe" "$drive_c/medium/setup.exe"
cp -r "$package" "$drive_c/medium/Package"
cp "$tests_exe" "$drive_c/e2e/e2e_tests.exe"
if [[ $(id -u) = 0 ]]; then
  chown -R "$(wine_user):" "$drive_c/medium" "$drive_c/e2e"
fi

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
