#!/usr/bin/env bash
# Runs the layer check against its fixture, tests/layers/fixture.txt: each tree in it is written out to a
# temporary folder and checked. A tree marked "fails" must make the check exit 1, one marked "passes" exit 0,
# and either must print exactly its ">>>" lines. Every rule the check knows must be broken by some tree.
#
#   tests/layers/run.sh [CHECK]     CHECK: the check to run (scripts/check-layers.py by default)
#
# Exits 1 when a tree is not answered as stated, 2 when the fixture cannot be read.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
check=${1:-$here/../../scripts/check-layers.py}
fixture=$here/fixture.txt
work=$(mktemp -d) || exit 2
trap 'rm -rf "$work"' EXIT

: >"$work/broken"
trees=0 failed=0 name='' outcome='' tree='' file='' wrong=0

fail() {
    echo "layers fixture: FAIL: $name: $1"
    wrong=1
}

# Checks the tree just read.
finish() {
    [[ -n $name ]] || return 0
    trees=$((trees + 1))
    wrong=0
    local out status want
    out=$("$check" "$tree" 2>"$tree.stderr")
    status=$?
    want=$([[ $outcome == fails ]] && echo 1 || echo 0)
    [[ $status == "$want" ]] || fail "the check exited $status, not $want"
    [[ -s $tree.stderr ]] && fail "the check wrote to stderr: $(head -c 2000 "$tree.stderr")"
    if ! diff -u --label expected --label printed "$tree.expected" <(printf '%s\n' "$out") >"$tree.diff"; then
        fail "the check printed other lines:"
        sed 's/^/    /' "$tree.diff"
    fi
    [[ $outcome == fails ]] &&
        grep -o '^check-layers: [^ ]*: [a-z-]*:' "$tree.expected" | sed 's/.*: \([a-z-]*\):$/\1/' >>"$work/broken"
    failed=$((failed + wrong))
}

while IFS= read -r line || [[ -n $line ]]; do
    case $line in
        '### '*)
            finish
            read -r outcome name <<<"${line#'### '}"
            outcome=${outcome%:}
            [[ $outcome == fails || $outcome == passes ]] ||
                { echo "layers fixture: a tree neither fails nor passes: $line" >&2; exit 2; }
            tree=$work/$((trees + 1))
            mkdir -p "$tree/src"
            : >"$tree.expected"
            file=''
            ;;
        '=== '*)
            [[ -n $name ]] || { echo "layers fixture: a file outside a tree: $line" >&2; exit 2; }
            file=$tree/${line#'=== '}
            mkdir -p "$(dirname "$file")"
            : >"$file"
            ;;
        '>>> '*)
            [[ -n $name ]] || { echo "layers fixture: a line outside a tree: $line" >&2; exit 2; }
            printf '%s\n' "${line#'>>> '}" >>"$tree.expected"
            file=''
            ;;
        *)
            [[ -n $file ]] && printf '%s\n' "$line" >>"$file"
            ;;
    esac
done <"$fixture"
finish

[[ $trees -gt 0 ]] || { echo "layers fixture: no tree in $fixture" >&2; exit 2; }
name="every rule"
wrong=0
if ! rules=$("$check" --rules) || [[ -z $rules ]]; then
    fail "the check gave no list of its rules"
fi
while IFS=: read -r rule _; do
    grep -qx "$rule" "$work/broken" || fail "no tree breaks the rule $rule"
done <<<"$rules"

if [[ $failed -gt 0 || $wrong == 1 ]]; then
    echo "layers fixture: $failed of $trees trees not answered as stated$([[ $wrong == 1 ]] && echo ', a rule broken by none')"
    exit 1
fi
echo "layers fixture: $trees trees, each answered as stated; every rule broken by one"
