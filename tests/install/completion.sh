#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The bash completion for vza, driven as bash would drive it: commands,
# options per command, archives for the archive argument, folders for -C.
#   completion.sh SOURCE_DIR WORK_DIR
source=$1 work=$2
rm -rf "$work" && mkdir -p "$work/dir" && cd "$work" || exit 1
touch a.vza b.vza notes.txt
source /usr/share/bash-completion/bash_completion
source "$source/data/vza.bash"
status=0

# complete LINE WANT: the candidates for the last word of LINE, sorted.
complete_line() {
    local line=$1 want=$2
    read -ra COMP_WORDS <<<"$line"
    [[ $line == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE=$line COMP_POINT=${#line}
    COMPREPLY=()
    _vza vza "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    local got
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | xargs)
    if [ "$got" != "$want" ]; then
        echo "FAIL: '$line': got '$got', want '$want'" >&2
        status=1
    fi
}

complete_line "vza " "add create delete extract help list test"
complete_line "vza ex" "extract"
complete_line "vza -q l" "list"
complete_line "vza extract " "a.vza b.vza dir"
complete_line "vza extract a" "a.vza"
complete_line "vza extract a.vza -C " "dir"
complete_line "vza extract a.vza -" "-- --exclude --help --names --overwrite --password-file --quiet --threads --to-stdout --verbose --version -C -O -j -k -n -o -q -v -x"
complete_line "vza x a.vza --o" "--overwrite"
complete_line "vza list a.vza --j" "--json"
complete_line "vza extract -j 4 " "a.vza b.vza dir"
complete_line "vza create -z -" "-- --exclude --help --password-file --quiet --verbose --version -e -q -v -x -z"
complete_line "vza list a.vza --names " "auto cp932 latin1 raw utf8"
complete_line "vza list -x " ""
complete_line "vza extract -x '*.log' " "a.vza b.vza dir"
complete_line "vza create new.vza n" "notes.txt"
complete_line "vza add a.vza n" "notes.txt"
complete_line "vza delete a.vza n" ""
complete_line "vza add a.vza --n" "--names"
complete_line "vza delete -" "-- --help --names --password-file --quiet --verbose --version -q -v"
complete_line "vza --password-file n" "notes.txt"
complete_line "vza --password-file notes.txt li" "list"
complete_line "vza help c" "create"
complete_line "vza help create " ""
[ $status = 0 ] && echo "completion OK"
exit $status
