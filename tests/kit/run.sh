#!/usr/bin/env bash
# Runs the Windows test kit under Wine, as a publisher runs it on Windows: tests/kit/run.sh [BUILD_DIR] [KIT_ZIP]
#
# (BUILD_DIR default build/x86, where the prefix and the run's files go; KIT_ZIP default dist/windows-kit.zip,
# made by make windows-kit.) Under Wine 10 in its root (scripts/wine.sh: namespaces, a prefix of its own, Xvfb,
# the ordinary Wine user), the kit is unzipped into a fresh folder C:\kit-run of the prefix, and its own
# run.cmd is run by Wine's cmd.exe twice:
#   1. as it starts, without administrator rights (Wine's first process has a limited token, as a prompt not
#      opened "as administrator" has): it must refuse with its one line and exit code 2, having run nothing;
#   2. through the kit's bin\elevate.exe, whose manifest asks for administrator rights, as from an elevated
#      prompt: it runs both suites and ends with "N passed, M failed".
# What only the host can do here, and Windows does itself, is done here or by the host on the kit's request:
#   - drive R: is a CD-ROM drive holding the files of the kit's medium.iso (extracted with xorriso; Wine reads
#     drive types when the prefix starts, and mounts no image), named to run.cmd in KIT_DISC_ROOT; on Windows
#     run.cmd mounts the image itself;
#   - links: the tests ask for a junction as Windows makes one, which Wine cannot make; there the host's ln
#     makes a symbolic link, started by the test through Wine (tests/helpers/sides.h), and so is drive M:;
#   - failure screenshots are taken from the X display (tests/e2e/shot-watcher.sh);
#   - the shortcuts the tests leave are parsed with lnkinfo, a reader that is not Windows' own.
# Exits 0 only when all of it passed. The closing line of run.cmd is repeated last.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=../../scripts/wine.sh
source "$root/scripts/wine.sh"
wine_prefix_wanted "$(readlink -m "${1:-$root/build/x86}")/kit-prefix"
wine_root_enter "$0" "$@"
build=$(readlink -f "${1:-$root/build/x86}")
zip=$(readlink -f "${2:-$root/dist/windows-kit.zip}")
[[ -f $zip ]] || { echo "kit: $zip missing: run make windows-kit first" >&2; exit 2; }

start=$SECONDS
prefix=$build/kit-prefix
work=$build/kit-work
shots=$work/shots
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

# The display first, as tests/e2e/run.sh starts it: the prefix's first programs find it there.
if [[ -z ${DISPLAY:-} ]]; then
  xvfb_start || exit 2
  started_xvfb=1
fi
wine_prefix_init "$prefix" || exit 2
drive_c=$prefix/drive_c
kit=$drive_c/kit-run
rm -rf "$kit" "$work"
mkdir -p "$work"
unzip -q "$zip" -d "$work/unzipped" || { echo "kit: cannot unzip $zip" >&2; exit 2; }
mv "$work/unzipped/windows-kit" "$kit"
[[ $(id -u) = 0 ]] && chown -R "$(wine_user):" "$kit"
echo "kit: $(wine_describe "$kit/medium/setup.exe")"
echo "kit: $zip unzipped into C:\\kit-run"

# Drive R:, a CD-ROM drive with the image's files (read-only, as on a disc).
disc=$work/disc
xorriso -read_fs norock -indev "$kit/medium.iso" -osirrox on -extract / "$disc" >"$work/disc.log" 2>&1 ||
  { echo "kit: xorriso could not extract the kit's medium.iso:" >&2; cat "$work/disc.log" >&2; exit 2; }
wine_grant_read "$disc"
ln -sfn "$disc" "$prefix/dosdevices/r:"
_wine_import_reg "$prefix" $'Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Drives]\n"r:"="cdrom"\n' ||
  { echo "kit: could not make R: a CD-ROM drive" >&2; exit 2; }
wine_stop "$prefix"  # the mount manager reads the drive types when the prefix starts
export KIT_DISC_ROOT='R:\' KIT_DISC_SOURCE="files of the kit's medium.iso, on a CD-ROM drive laid out by tests/kit/run.sh"

# Where run.cmd keeps the shortcut the Win32-layer test left on the user's desktop (of the prefix, or it is not there).
desktop_lnk="$kit/work/desktop/ホルンデ.lnk"
rm -f "$drive_c/users/$(wine_user)/Desktop/ホルンデ.lnk"

wine_output_dir "$shots"
"$root/tests/e2e/shot-watcher.sh" "$shots" $$ 3600 &
watcher=$!
export E2E_SHOT_DIR="Z:${shots//\//\\}"

# 1. Without administrator rights: refused, nothing run.
refusal=$work/refusal.txt
wine_run "$prefix" cmd /c 'C:\kit-run\run.cmd' >"$refusal" 2>&1
refused_rc=$?
refused_ok=1
if ((refused_rc != 2)) || [[ $(grep -c . "$refusal") != 1 ]] || ! grep -q '^run.cmd: not run as administrator' "$refusal" ||
  [[ -e $kit/run.log || -e $kit/work ]]; then
  refused_ok=0
fi
echo "kit: run.cmd without administrator rights: exit code $refused_rc, said: $(tr -d '\r' <"$refusal")"

# 2. Elevated: both suites.
echo "kit: run.cmd through bin\\elevate.exe, as from an elevated prompt, as $(wine_user) on $DISPLAY"
wine_run "$prefix" 'C:\kit-run\bin\elevate.exe' cmd /c 'C:\kit-run\run.cmd' 2>&1 | tr -d '\r' | tee "$work/output.txt"
rc=${PIPESTATUS[0]}

# The shortcuts, parsed by a reader that is not Windows' own: the Win32-layer test's on the desktop, and the two
# the install test copied out.
lnk_rc=0
if [[ -f $desktop_lnk ]] && lnkinfo "$desktop_lnk" >"$work/lnkinfo.txt" 2>&1 && grep -q "二度目" "$work/lnkinfo.txt"; then
  echo "kit: lnkinfo: the Win32-layer test's desktop shortcut parsed, description found"
else
  echo "kit: lnkinfo: the Win32-layer test's desktop shortcut is missing from the prefix or unreadable ($desktop_lnk)"
  [[ -f $work/lnkinfo.txt ]] && sed 's/^/    /' "$work/lnkinfo.txt"
  lnk_rc=1
fi
check_lnk() {
  local file=$1 out w ok=1
  if [[ ! -f $file ]]; then
    echo "kit: lnkinfo: $file missing (the install test did not get that far)"
    lnk_rc=1
    return
  fi
  out=$(lnkinfo "$file" 2>&1)
  for w in 'Local path[[:space:]]*: C:\\DAZov\\DAZov\.mde$' 'Working directory[[:space:]]*: C:\\DAZov$' \
    'Description[[:space:]]*: ホルンデ$' 'Icon location[[:space:]]*: C:\\DAZov\\Work\\ZEL\.ico$'; do
    grep -Eq "$w" <<<"$out" || { echo "kit: lnkinfo $(basename "$file"): no line matching /$w/"; ok=0; }
  done
  if ((ok)); then
    echo "kit: lnkinfo $(basename "$file"): target, working folder, description and icon as expected"
  else
    echo "$out" | sed 's/^/    /'
    lnk_rc=1
  fi
}
check_lnk "$kit/work/lnk/desktop.lnk"
check_lnk "$kit/work/lnk/programs.lnk"

ls "$shots"/*.png >/dev/null 2>&1 && echo "kit: failure screenshots in $shots" && ls -1 "$shots"/*.png | sed 's/^/    /'
echo "kit: run.log, wine_tests.xml and e2e_tests.xml are in $kit ($((SECONDS - start)) s in all)"
last=$(tr -d '\r' <"$kit/run.log" 2>/dev/null | tail -n 1)
if ((rc != 0 || lnk_rc != 0 || !refused_ok)); then
  echo "kit: FAILED (run.cmd exit $rc, shortcut check $lnk_rc, refusal without rights $([[ $refused_ok = 1 ]] && echo as expected || echo NOT as expected))"
  echo "kit: run.cmd's last line: ${last:-none}"
  exit 1
fi
echo "kit: run.cmd's last line: $last"
