# SPDX-License-Identifier: MIT
# Drives a bash completion function as bash would; sourced by the tests.
#   candidates FUNCTION LINE: prints the candidates for the last word of LINE,
#   sorted, on one line ("vza ex" completes "ex"; "vza x " an empty word).
source /usr/share/bash-completion/bash_completion

candidates() {
    local function=$1 line=$2
    read -ra COMP_WORDS <<<"$line"
    [[ $line == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE=$line COMP_POINT=${#line}
    COMPREPLY=()
    "$function" "${COMP_WORDS[0]}" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf '%s\n' "${COMPREPLY[@]}" | sort | xargs
}
