#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Every command and every spelling of every option in vza's command table
# (as vza-command-surface prints it) is where a user looks for it:
#   - vza(1): each command in COMMANDS, its letter as "x (extract)", each
#     option spelling in OPTIONS (the refused ones too, saying so);
#   - vza --help and vza COMMAND --help (and by its letter): each command,
#     each option the command takes on its own line, an alias (-k, -1 ... -9)
#     named in its partner's line;
#   - the bash completion: exactly the options a command takes, never a
#     refused one, and every option with a value has its value skipped.
#   command_surface.sh SURFACE VZA MANPAGE COMPLETION WORK_DIR
set -uo pipefail
surface=$1 vza=$2 page=$3 completion=$4 work=$5
here=$(cd "$(dirname "$0")" && pwd)
status=0
fail() { echo "FAIL: $*" >&2; status=1; }

table=$("$surface" table) || { echo "FAIL: $surface table" >&2; exit 1; }
[ -n "$table" ] || { echo "FAIL: empty command table" >&2; exit 1; }
export LC_ALL=C.UTF-8 MANWIDTH=80 MAN_KEEP_FORMATTING=0
manual=$(man -l "$page" 2>/dev/null | col -b)
# section NAME: the text of one section of the manual page.
section() { awk -v name="$1" '/^[A-Z]/ { inside = ($0 == name) } inside' <<<"$manual"; }
commands_section=$(section COMMANDS)
options_section=$(section OPTIONS)
description=$(section DESCRIPTION | tr "\n" " " | tr -s " ")  # justified: one line, single spaces

# names FORM TEXT: whether TEXT names the option FORM as a word of its own;
# -1 ... -8 are named by the range "-0 ... -9" ("-0 (to -9)" in the help).
names() {
    grep -qE -- "(^|[^-a-zA-Z0-9])$1([^-a-zA-Z0-9]|\$)" <<<"$2" && return 0
    [[ $1 =~ ^-[1-8]$ ]] && grep -qE -- '-0[ ]+(\.\.\.|\(to) *-9' <<<"$2"
}
# lists FORM TEXT: whether TEXT has FORM on an option line of its own
# ("  -x, --exclude PATTERN ...").
lists() { grep -qE -- "^  ([-a-zA-Z0-9]+, )?$1([ ,]|\$)" <<<"$2"; }

rm -rf "$work" && mkdir -p "$work/dir" && cd "$work" || exit 1
touch a.vza
source "$here/bash_complete.sh" || exit 1
source "$completion" || exit 1

general=$("$vza" --help) || fail "vza --help failed"
all_commands=""
while read -r _ name short; do
    all_commands+=" $name"
    grep -qE "^       $name( |\$)" <<<"$commands_section" || fail "vza.1: COMMANDS lacks $name"
    grep -qE "^  $name " <<<"$general" || fail "vza --help lacks the command $name"
    help=$("$vza" "$name" --help) || fail "vza $name --help failed"
    # (vza help --help is the overview.)
    [ "$name" = help ] || grep -q "^Usage: vza $name" <<<"$help" || fail "vza $name --help is not $name's help"
    if [ "$short" != - ]; then
        grep -qE "(^|[ ,])$short \($name\)" <<<"$description" || fail "vza.1: no '$short ($name)'"
        grep -qE "(: |, )$short $name[,.]" <<<"$general" || fail "vza --help lacks the short name $short"
        [ "$("$vza" "$short" --help)" = "$help" ] || fail "vza $short --help is not vza $name --help"
    fi
    # The options this command takes, as the table has them.
    want="--"
    while read -r _ form arity kind takers; do
        [[ " $takers " == *" $name "* ]] || continue
        case $kind in
            listed) lists "$form" "$help" || fail "vza $name --help lacks the line of $form" ;;
            alias) names "$form" "$help" || fail "vza $name --help does not name $form" ;;
        esac
        [ "$kind" = refused ] && continue
        want+=" $form"
        if [ "$arity" = value ] && [ "$name" != help ]; then
            got=$(candidates _vza "vza $name $form 1 ")
            [ "$got" = "a.vza dir" ] || fail "completion: 'vza $name $form 1 ' offers '$got', not the archive"
        fi
    done < <(grep '^option ' <<<"$table")
    want=$(tr ' ' '\n' <<<"$want" | sort | xargs)
    for spelling in "$name" ${short/#-/}; do
        got=$(candidates _vza "vza $spelling -")
        [ "$got" = "$want" ] || fail "completion: 'vza $spelling -' offers '$got', want '$want'"
    done
done < <(grep '^command ' <<<"$table")

got=$(candidates _vza "vza ")
want=$(tr ' ' '\n' <<<"$all_commands" | sort | xargs)
[ "$got" = "$want" ] || fail "completion: 'vza ' offers '$got', want '$want'"

while read -r _ form _ kind takers; do
    names "$form" "$options_section" || fail "vza.1: OPTIONS lacks $form"
    # An option of every command is in the overview too.
    if [ "$kind" = listed ] && [[ " $takers " == *"$all_commands "* ]]; then
        lists "$form" "$general" || fail "vza --help lacks the line of $form"
    fi
done < <(grep '^option ' <<<"$table")

[ $status = 0 ] && echo "command surface OK"
exit $status
