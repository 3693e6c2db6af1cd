#!/usr/bin/env bash
# Runs the Win32-layer tests under Wine: tests/wine/run.sh [BUILD_DIR] [gtest arguments...]
#
# Makes (or reuses) a Japanese prefix of its own under BUILD_DIR/wine-tests, maps drive M: to a
# folder there, starts Xvfb when there is no DISPLAY, and runs wine_tests.exe as an ordinary user (read-only
# files only mean something then), under Wine 10 in its root (scripts/wine.sh). Exits with the tests' status.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/../.." && pwd)
# shellcheck source=../../scripts/wine.sh
source "$repo/scripts/wine.sh"
wine_prefix_wanted "${WINE_TEST_PREFIX:-$(readlink -m "${1:-$repo/build/x86}")/wine-tests/prefix}"
wine_root_enter "$0" "$@"

build=$(readlink -f "${1:-$repo/build/x86}")
shift || true
tests="$build/tests/wine"
for exe in wine_tests.exe wine_helper.exe; do
    [ -f "$tests/$exe" ] || { echo "run.sh: $tests/$exe missing; build with: cmake --build $build --target wine_tests" >&2; exit 2; }
done

work="$build/wine-tests"
prefix="${WINE_TEST_PREFIX:-$work/prefix}"
drive_m="$work/drive_m"
mkdir -p "$work"
wine_grant_read "$tests" || exit 2
wine_prefix_init "$prefix" || { echo "run.sh: no Wine prefix" >&2; exit 2; }
echo "run.sh: $(wine_describe "$tests/wine_tests.exe")"

# Drive M: is a folder of this run: the test starts a program from its root.
rm -rf "$drive_m"
wine_output_dir "$drive_m" || exit 2
wine_as_user ln -sfn "$drive_m" "$prefix/dosdevices/m:"

desktop_lnk="$prefix/drive_c/users/$(wine_user)/Desktop/ホルンデ.lnk"
rm -f "$desktop_lnk"

started_x=
if [ -z "${DISPLAY:-}" ]; then
    xvfb_start || exit 2
    started_x=1
fi

log="$work/wine_tests.log"
wine_run "$prefix" "$tests/wine_tests.exe" --gtest_color=no "$@" 2>&1 | tee "$log"
status=${PIPESTATUS[0]}

# The shortcut test leaves its .lnk on the desktop: it must be inside the prefix, and readable by an
# independent parser.
if [ -f "$desktop_lnk" ]; then
    if lnkinfo "$desktop_lnk" >"$work/lnkinfo.txt" 2>&1 && grep -q "二度目" "$work/lnkinfo.txt"; then
        echo "lnkinfo: desktop shortcut parsed, description found"
    else
        echo "lnkinfo: could not read the desktop shortcut back:" >&2
        cat "$work/lnkinfo.txt" >&2
        [ "$status" = 0 ] && status=1
    fi
elif grep -q "ShortcutOnTheDesktopReadsBackEveryProperty" "$log" && grep -q "OK \] .*ShortcutOnTheDesktop" "$log"; then
    echo "run.sh: the desktop shortcut is not inside the prefix ($desktop_lnk)" >&2
    [ "$status" = 0 ] && status=1
fi

wine_stop "$prefix"
[ -n "$started_x" ] && xvfb_stop
echo "run.sh: wine_tests exit status $status"
exit "$status"
