#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The bash completion for vza, driven as bash would drive it: commands,
# options per command, archives for the archive argument, folders for -C.
# (command_surface.sh checks that it offers every option of the table.)
#   completion.sh COMPLETION WORK_DIR
completion=$1 work=$2
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$work" && mkdir -p "$work/dir" && cd "$work" || exit 1
touch a.vza b.vza notes.txt
source "$here/bash_complete.sh" || exit 1
source "$completion" || exit 1
status=0

# complete_line LINE WANT: LINE's candidates are WANT.
complete_line() {
    local got
    got=$(candidates _vza "$1")
    if [ "$got" != "$2" ]; then
        echo "FAIL: '$1': got '$got', want '$2'" >&2
        status=1
    fi
}

complete_line "vza " "add create delete extract help list test"
complete_line "vza ex" "extract"
complete_line "vza -q l" "list"
complete_line "vza extract " "a.vza b.vza dir"
complete_line "vza extract a" "a.vza"
complete_line "vza extract a.vza -C " "dir"
complete_line "vza extract a.vza -" "-- --exclude --help --names --overwrite --password-file --quiet --threads --to-stdout --verbose --version -C -O -h -j -k -n -o -q -v -x"
complete_line "vza x a.vza --o" "--overwrite"
complete_line "vza list a.vza --j" "--json"
complete_line "vza extract -j 4 " "a.vza b.vza dir"
complete_line "vza create -z --" "-- --exclude --help --password-file --quiet --verbose --version"
complete_line "vza create -9 new.vza n" "notes.txt"
complete_line "vza list a.vza --names " "auto cp932 latin1 raw utf8"
complete_line "vza list -x " ""
complete_line "vza extract -x '*.log' " "a.vza b.vza dir"
complete_line "vza create new.vza n" "notes.txt"
complete_line "vza add a.vza n" "notes.txt"
complete_line "vza delete a.vza n" ""
complete_line "vza add a.vza --n" "--names"
complete_line "vza delete -" "-- --help --names --password-file --quiet --verbose --version -h -q -v"
complete_line "vza --password-file n" "notes.txt"
complete_line "vza --password-file notes.txt li" "list"
complete_line "vza help c" "create"
complete_line "vza help create " ""
[ $status = 0 ] && echo "completion OK"
exit $status
