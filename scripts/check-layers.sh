#!/usr/bin/env bash
# Checks the three layers of src/, from the bottom up:
#   core/     the portable core: no header of the platform (<windows.h>, any other <....h>)
#   win32/    the Win32 adapter and window toolkit
#   windows/  the windows and the program start
# A file includes only files of its own layer and of the layers below it, and no folder reaches itself
# through the folders it includes from. Prints every breach and exits 1 when there is one.
set -u
cd "$(dirname "${BASH_SOURCE[0]}")/../src" || exit 2

layer() {
    case $1 in
        core/*) echo 1 ;;
        win32/*) echo 2 ;;
        windows/*) echo 3 ;;
        *) echo 0 ;;
    esac
}

status=0
edges=$(mktemp) || exit 2
trap 'rm -f "$edges"' EXIT

while IFS= read -r file; do
    rank=$(layer "$file")
    if [ "$rank" = 0 ]; then
        echo "check-layers: $file is in no layer"
        status=1
        continue
    fi
    while IFS= read -r target; do
        case $target in
            '<'*)
                if [ "$rank" = 1 ] && [[ $target == *.h'>' ]]; then
                    echo "check-layers: $file includes the platform header $target into the core"
                    status=1
                fi
                ;;
            *)
                target=${target//\"/}
                [ -f "$target" ] || continue  # beside the file (the resource script's own includes)
                if [ "$(layer "$target")" -gt "$rank" ]; then
                    echo "check-layers: $file includes $target from a layer above it"
                    status=1
                fi
                from=$(dirname "$file") to=$(dirname "$target")
                [ "$from" != "$to" ] && echo "$from $to" >&3
                ;;
        esac
    done < <(sed -nE 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*([<"][^>"]+[>"]).*/\1/p' "$file")
done 3>"$edges" < <(find . -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.rc' \) | sed 's#^\./##' | sort)

if ! tsort "$edges" >/dev/null 2>"$edges.loop"; then
    echo "check-layers: folders include each other in a cycle:"
    grep -v 'input contains a loop' "$edges.loop" | sed 's/^tsort: /  /'
    status=1
fi
rm -f "$edges.loop"

[ "$status" = 0 ] && echo "check-layers: core < win32 < windows, no include upward, no cycle between folders"
exit "$status"
