#!/usr/bin/env bash
# Runs the layer check against its fixture, tests/layers/fixture.txt: each tree in it is written out to a
# temporary folder and checked, JOBS (2 by default) trees at a time. A tree marked "fails" must make the check
# exit 1, one marked "passes" exit 0, and either must print exactly its ">>>" lines. Every rule the check knows
# must be broken by some tree.
#
#   tests/layers/run.sh [CHECK]     CHECK: the check to run (scripts/check-layers.py by default)
#   KEEP=1 tests/layers/run.sh      keeps the trees, and says where
#
# Exits 1 when a tree is not answered as stated, 2 when the fixture cannot be read.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
check=${1:-$here/../../scripts/check-layers.py}
fixture=$here/fixture.txt
jobs=${JOBS:-2}
work=$(mktemp -d) || exit 2
[[ -n ${KEEP:-} ]] || trap 'rm -rf "$work"' EXIT; [[ -n ${KEEP:-} ]] && echo "$work" >&2

trees=0 name='' tree='' file=''
mkdir -p "$work/common"

# Starts the tree just read: the common files first, where the tree has none of its own.
start() {
    trees=$((trees + 1))
    tree=$work/$trees
    mkdir -p "$tree/src"
    printf '%s\n' "$1" >"$tree.outcome"
    printf '%s\n' "$2" >"$tree.name"
    : >"$tree.expected"
    file=''
}

while IFS= read -r line || [[ -n $line ]]; do
    case $line in
        '### common')
            tree=$work/common name=common file=''
            ;;
        '### '*)
            read -r outcome name <<<"${line#'### '}"
            outcome=${outcome%:}
            [[ $outcome == fails || $outcome == passes ]] ||
                { echo "layers fixture: a tree neither fails nor passes: $line" >&2; exit 2; }
            start "$outcome" "$name"
            ;;
        '=== '*' -> '*)
            [[ -n $name ]] || { echo "layers fixture: a link outside a tree: $line" >&2; exit 2; }
            link=${line#'=== '}
            mkdir -p "$(dirname "$tree/${link%% -> *}")"
            ln -s "${link#* -> }" "$tree/${link%% -> *}"
            file=''
            ;;
        '=== '*)
            [[ -n $name ]] || { echo "layers fixture: a file outside a tree: $line" >&2; exit 2; }
            file=$tree/${line#'=== '}
            mkdir -p "$(dirname "$file")"
            : >"$file"
            ;;
        '>>> '*)
            [[ -n $name && $tree != "$work/common" ]] ||
                { echo "layers fixture: a line outside a tree: $line" >&2; exit 2; }
            printf '%s\n' "${line#'>>> '}" >>"$tree.expected"
            file=''
            ;;
        *)
            [[ -n $file ]] && printf '%s\n' "$line" >>"$file"
            ;;
    esac
done <"$fixture"
[[ $trees -gt 0 ]] || { echo "layers fixture: no tree in $fixture" >&2; exit 2; }

# The common files go where a tree has none of its own.
for ((i = 1; i <= trees; i++)); do
    (cd "$work/common" && find . -type f) | while read -r path; do
        [[ -e $work/$i/$path ]] ||
            { mkdir -p "$(dirname "$work/$i/$path")" && cp "$work/common/$path" "$work/$i/$path"; }
    done
done

# The checks, a few at a time; each tree's exit status, output and errors beside it.
seq 1 "$trees" |
    JOBS=1 xargs -P "$jobs" -I{} sh -c '"$1" "$2/$3" >"$2/$3.out" 2>"$2/$3.stderr"; echo $? >"$2/$3.status"' \
        _ "$check" "$work" {}

failed=0
: >"$work/broken"
for ((i = 1; i <= trees; i++)); do
    tree=$work/$i name=$(cat "$tree.name") outcome=$(cat "$tree.outcome") wrong=0
    fail() {
        echo "layers fixture: FAIL: $name: $1"
        wrong=1
    }
    status=$(cat "$tree.status")
    want=$([[ $outcome == fails ]] && echo 1 || echo 0)
    [[ $status == "$want" ]] || fail "the check exited $status, not $want"
    [[ -s $tree.stderr ]] && fail "the check wrote to stderr: $(head -c 2000 "$tree.stderr")"
    if ! diff -u --label expected --label printed "$tree.expected" "$tree.out" >"$tree.diff"; then
        fail "the check printed other lines:"
        sed 's/^/    /' "$tree.diff"
    fi
    [[ $outcome == fails ]] &&
        grep -o '^check-layers: [^ ]*: [a-z-]*:' "$tree.expected" | sed 's/.*: \([a-z-]*\):$/\1/' >>"$work/broken"
    failed=$((failed + wrong))
done

name="every rule"
wrong=0
if ! rules=$("$check" --rules) || [[ -z $rules ]]; then
    echo "layers fixture: FAIL: the check gave no list of its rules"
    wrong=1
fi
while IFS=: read -r rule _; do
    grep -qx "$rule" "$work/broken" || { echo "layers fixture: FAIL: no tree breaks the rule $rule"; wrong=1; }
done <<<"$rules"

if [[ $failed -gt 0 || $wrong == 1 ]]; then
    echo "layers fixture: $failed of $trees trees not answered as stated$([[ $wrong == 1 ]] && echo ', a rule broken by none')"
    exit 1
fi
echo "layers fixture: $trees trees, each answered as stated; every rule broken by one"
