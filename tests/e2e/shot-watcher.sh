#!/usr/bin/env bash
# Serves screenshot requests from Windows programs running under Wine on an X display.
#
#   tests/e2e/shot-watcher.sh DIR [PARENT_PID] [MAX_SECONDS]
#
# A program writes an empty DIR/<name>.request and waits until it is gone; this takes
# `import -window root DIR/<name>.png` on $DISPLAY and then deletes the request. A capture from inside
# Wine cannot be trusted to show the screen, the X server's root window can.
#
# Ends when DIR/.stop appears, when PARENT_PID (default: the caller) is gone, or after MAX_SECONDS
# (default 3600), so a forgotten watcher does not outlive its run.
set -u
dir=${1:?usage: shot-watcher.sh DIR [PARENT_PID] [MAX_SECONDS]}
parent=${2:-$PPID}
max_seconds=${3:-3600}
: "${DISPLAY:?shot-watcher.sh: no DISPLAY}"
mkdir -p "$dir"
rm -f "$dir/.stop"
deadline=$((SECONDS + max_seconds))
shopt -s nullglob
while ((SECONDS < deadline)); do
  [[ -e $dir/.stop ]] && break
  kill -0 "$parent" 2>/dev/null || break
  for req in "$dir"/*.request; do
    name=$(basename "$req" .request)
    if ! timeout 10 import -window root "$dir/$name.png" 2>"$dir/$name.import.log"; then
      echo "shot-watcher: import failed for $name" >&2
    fi
    [[ -s $dir/$name.import.log ]] || rm -f "$dir/$name.import.log"
    rm -f "$req"
  done
  sleep 0.1
done
rm -f "$dir/.stop"
