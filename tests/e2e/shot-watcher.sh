#!/usr/bin/env bash
# Serves requests from Windows programs running under Wine that only the host can do.
#
#   tests/e2e/shot-watcher.sh DIR [PARENT_PID] [MAX_SECONDS]
#
# A program writes a request into DIR and waits until it is gone; this does what it asks, then deletes it:
#   <name>.request   `import -window root DIR/<name>.png` on $DISPLAY: a capture from inside Wine cannot be
#                    trusted to show the screen, the X server's root window can
#   <name>.link      two lines, a path and a target (C:\...): a symbolic link at the path to the target, which
#                    Wine shows as a reparse point (a Windows program under Wine cannot make a link). A folder
#                    already at the path is moved aside to path.replaced first
#   <name>.unlink    one line, a path: the symbolic link there is removed (RemoveDirectoryW under Wine would
#                    delete what it leads to)
# Paths on drive C: are found under $E2E_DRIVE_C; links are made as $E2E_LINK_USER.
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
  for req in "$dir"/*.link "$dir"/*.unlink; do
    mapfile -t paths < <(tr -d '\r' <"$req")
    unix=()
    for p in "${paths[@]}"; do
      p=${p//\\//}
      [[ ${p:0:3} == C:/ || ${p:0:3} == c:/ ]] || { echo "shot-watcher: $req: $p is not on drive C:" >&2; unix=(); break; }
      unix+=("${E2E_DRIVE_C:?}/${p:3}")
    done
    if [[ $req == *.link && ${#unix[@]} == 2 ]]; then
      [[ -d ${unix[0]} && ! -L ${unix[0]} ]] && mv "${unix[0]}" "${unix[0]}.replaced"
      as_user=()
      [[ $(id -u) == 0 ]] && as_user=(runuser -u "${E2E_LINK_USER:?}" --)
      "${as_user[@]}" ln -s "$(realpath -m --relative-to="$(dirname "${unix[0]}")" "${unix[1]}")" "${unix[0]}" || echo "shot-watcher: cannot link ${unix[0]}" >&2
    elif [[ $req == *.unlink && ${#unix[@]} == 1 && -L ${unix[0]} ]]; then
      rm -f "${unix[0]}"
    fi
    rm -f "$req"
  done
  sleep 0.1
done
rm -f "$dir/.stop"
