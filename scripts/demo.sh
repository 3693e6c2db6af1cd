#!/usr/bin/env bash
# Runs dist/medium/setup.exe, the 32-bit program we ship, under Wine 10 in its root (WoW64 mode, as 64-bit
# Windows runs it; scripts/wine.sh), in a prefix of the project's own (out/wineprefix, never ~/.wine), set up
# for Japanese text.
#  - With a DISPLAY: the real windows open on it; click through them yourself.
#  - Without one: Xvfb is started, the UI driver clicks through the whole flow (menu, terms, progress,
#    install, outcome) and a screenshot of each window is saved under out/screenshots/.
# DEMO_DPI (default 96) sets the prefix's DPI, e.g. DEMO_DPI=144 make demo.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
source scripts/wine.sh
wine_prefix_wanted "$root/out/wineprefix"
wine_root_enter "$0" "$@"

prefix=$root/out/wineprefix
shots=$root/out/screenshots
medium=$root/out/medium
setup_exe=$root/dist/medium/setup.exe
driver=$root/build/x86/tools/uidriver/uidriver.exe
[[ -f $setup_exe ]] || { echo "demo: $setup_exe missing; run make dist" >&2; exit 1; }

wine_prefix_init "$prefix"
wine_prefix_dpi "$prefix" "${DEMO_DPI:-96}"
echo "demo: $(wine_describe "$setup_exe") at ${DEMO_DPI:-96} dpi"
# A fresh machine for each demo: no earlier install, so no question about an existing one.
rm -rf "$prefix/drive_c/DAZov"

# The medium the user would insert, readable by the Wine user.
rm -rf "$medium"
mkdir -p "$medium"
cp -a "$root/dist/medium/." "$medium/"
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
