#!/usr/bin/env bash
# Runs dist/x64/setup.exe under Wine in a prefix of the project's own (out/wineprefix, never ~/.wine), set up
# for Japanese text.
#  - With a DISPLAY: the real windows open on it; click through them yourself.
#  - Without one: Xvfb is started, the UI driver clicks through the whole flow (menu, terms, progress,
#    install, outcome) and a screenshot of each window is saved under out/screenshots/.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
source scripts/wine.sh

prefix=$root/out/wineprefix
shots=$root/out/screenshots
medium=$root/out/medium
setup_exe=$root/dist/x64/setup.exe
driver=$root/build/x64/tools/uidriver/uidriver.exe
[[ -f $setup_exe ]] || { echo "demo: $setup_exe missing; run make dist" >&2; exit 1; }

wine_prefix_init "$prefix"
# Without a window manager Wine draws the title bars itself (captions and icons show in screenshots), and
# hiding a window does not wait for a manager that is not there.
wine_prefix_unmanaged "$prefix"
# A fresh machine for each demo: no earlier install, so no question about an existing one.
rm -rf "$prefix/drive_c/DAZov"

# The medium the user would insert, readable by the Wine user.
rm -rf "$medium"
mkdir -p "$medium"
cp -a "$root/dist/x64/." "$medium/"
wine_grant_read "$medium"

if [[ -n "${DISPLAY:-}" ]]; then
  echo "demo: starting setup.exe on $DISPLAY"
  wine_run "$prefix" "$medium/setup.exe"
  wine_stop "$prefix"
  exit 0
fi

xvfb_start
trap 'kill "${watcher:-0}" 2>/dev/null || true; wine_stop "$prefix"; xvfb_stop' EXIT
rm -rf "$shots"
mkdir -p "$shots"
wine_output_dir "$shots"
tests/e2e/shot-watcher.sh "$shots" &
watcher=$!
wine_run "$prefix" "$driver" demo "$medium/setup.exe" "Z:${shots//\//\\}"
echo "demo: screenshots of each window are in $shots:"
ls -1 "$shots"/*.png
