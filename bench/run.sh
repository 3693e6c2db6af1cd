#!/usr/bin/env bash
# make bench: builds the benchmark programs and the NSIS peer, lays out a medium with all of them beside
# Package\, and runs the timing driver under Wine. Prints figures; a missed target is reported, never failed.
#
# Environment: BENCH_RUNS (default 7) and BENCH_LATENCY_RUNS (default 3) runs per program,
# BENCH_ONLY (start, install or latency) one part of the timings alone, BENCH_VERBOSE=1 every slow ping,
# BENCH_DISPLAY (default :96) the Xvfb display to use, BENCH_PREFIX the Wine prefix (default build/bench/wineprefix).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
source scripts/wine.sh

runs=${BENCH_RUNS:-7}
latency_runs=${BENCH_LATENCY_RUNS:-3}
display=${BENCH_DISPLAY:-:96}
out=$root/build/bench
medium=$out/medium
prefix=${BENCH_PREFIX:-$out/wineprefix}

# Everything but the timings runs once, as root, before Wine's runs: the script starts again through sudo, and
# again in namespaces of its own or in a virtual machine (scripts/wine.sh), where building would take many times
# as long under emulation.
if [[ $(id -u) = 0 && -z ${_WINE_ROOT_INSIDE:-}${_WINE_VM_INSIDE:-} ]]; then
  if ! command -v makensis >/dev/null; then
    echo "bench: installing nsis"
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq nsis >/dev/null
  fi

  [[ -f build/x86/src/setup.exe ]] || { echo "bench: build/x86/src/setup.exe is not built" >&2; exit 1; }
  [[ -d build/x86/Package ]] || { echo "bench: build/x86/Package is not built" >&2; exit 1; }

  # ---- build: every program 32-bit, as setup.exe ----------------------------------------------------------
  mkdir -p "$out"
  cxx=i686-w64-mingw32-g++-win32
  flags=(-std=c++17 -O2 -Wall -Wextra -static -s -DUNICODE -D_UNICODE -DWIN32_LEAN_AND_MEAN -DNOMINMAX
         -D_WIN32_WINNT=0x0601)
  $cxx "${flags[@]}" -municode -mwindows -o "$out/bare_window.exe" bench/bare_window.cpp
  # The same window with setup.exe's manifest, to tell what the manifest costs at start-up from what the program does.
  printf '#include <winuser.h>\n1 RT_MANIFEST "%s"\n' "$root/src/windows/app/setup.manifest" >"$out/bare_window_styled.rc"
  i686-w64-mingw32-windres "$out/bare_window_styled.rc" -O coff -o "$out/bare_window_styled.res"
  $cxx "${flags[@]}" -municode -mwindows -o "$out/bare_window_styled.exe" bench/bare_window.cpp "$out/bare_window_styled.res"
  $cxx "${flags[@]}" -municode -mwindows -o "$out/direct_install.exe" bench/direct_install.cpp -lole32 -luuid -lshell32
  $cxx "${flags[@]}" -mconsole -o "$out/bench_driver.exe" bench/bench_driver.cpp -lpsapi

  # The peer, 32-bit like setup.exe.
  sed "s/^Target .*/Target x86-unicode/" bench/peer.nsi >"$out/peer.nsi"
  cp bench/peer_license.txt "$out/"
  (cd "$out" && makensis -V1 -DOUTFILE="peer_setup.exe" "peer.nsi")

  # ---- the medium --------------------------------------------------------------------------------------
  rm -rf "$medium"
  mkdir -p "$medium"
  cp build/x86/src/setup.exe "$medium/"
  cp -a build/x86/Package "$medium/Package"
  # As make dist does: setup.exe copies only what it records.
  scripts/payload-records.py write "$medium/setup.exe" "$medium/Package"
  cp "$out/bare_window.exe" "$out/bare_window_styled.exe" "$out/direct_install.exe" "$out/bench_driver.exe" "$medium/"
  cp "$out/peer_setup.exe" "$medium/peer_setup.exe"

  # ---- sizes and imports -------------------------------------------------------------------------------
  kb() { echo "$(( ($(stat -c %s "$1") + 1023) / 1024 ))"; }
  imports() { i686-w64-mingw32-objdump -p "$1" | sed -n 's/^\s*DLL Name: //p' | tr '\n' ' '; }
  # DLLs that come with a compiler or a run-time, not with Windows.
  runtime_dlls() { imports "$1" | tr ' ' '\n' | grep -iE '^(lib.*|msvcp.*|msvcr[0-9].*|vcruntime.*|ucrtbase.*|api-ms-win-crt.*|mingwm10)\.dll$' | tr '\n' ' ' || true; }

  setup_x86_kb=$(kb build/x86/src/setup.exe)
  echo
  echo "Size and imports"
  printf '  %-26s %6s KB  imports: %s\n' "setup.exe" "$setup_x86_kb" "$(imports build/x86/src/setup.exe)"
  printf '  %-26s %6s KB  imports: %s\n' "NSIS peer" "$(kb "$out/peer_setup.exe")" "$(imports "$out/peer_setup.exe")"
  printf '  %-26s %6s KB\n' "bare_window.exe" "$(kb "$out/bare_window.exe")"
  printf '  %-26s %6s KB, %s files\n' "dist/ (medium and image)" "$(du -sk dist 2>/dev/null | cut -f1)" "$(find dist -type f 2>/dev/null | wc -l)"
  rt86=$(runtime_dlls build/x86/src/setup.exe)
  echo "  (NSIS $(makensis -VERSION), Modern UI; the peer holds its license text and icon, no package file)"
  verdict=met; { ((setup_x86_kb > 250)) || [[ -n $rt86 ]]; } && verdict=MISSED
  echo "  target: setup.exe at most 250 KB, no run-time DLLs: ${setup_x86_kb} KB, run-time DLLs: ${rt86:-none}  $verdict"
  peer_x86_kb=$(kb "$out/peer_setup.exe")
  if ((setup_x86_kb <= peer_x86_kb)); then ahead=ahead; else ahead=BEHIND; fi
  echo "  ahead of the NSIS peer in size: $ahead ($setup_x86_kb KB vs $peer_x86_kb KB)"
fi

# ---- timings under Wine -------------------------------------------------------------------------------
wine_prefix_wanted "$prefix"
wine_root_enter "$0" "$@"
wine_grant_read "$medium"
wine_prefix_init "$prefix"
echo
echo "Timings: $(wine_describe "$medium/setup.exe")"
if [[ -n ${_WINE_VM_INSIDE:-} ]]; then
  # Emulation makes every program many times slower, and not all alike: its times say nothing of the program's.
  echo "bench: Wine runs in a virtual machine with software emulation here: the times are emulated, so only"
  echo "       their ratios are reported, and the message latency (a target in milliseconds) is not measured"
  export BENCH_EMULATED=1
fi
xvfb_start "$display"
trap 'wine_stop "$prefix"; xvfb_stop' EXIT
wine_run "$prefix" "$medium/bench_driver.exe" "$(_wine_dos_path "$medium")" "$runs" "$latency_runs" ||
  echo "bench: the driver ended with an error; the figures above may be incomplete" >&2
