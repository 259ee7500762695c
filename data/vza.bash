# SPDX-License-Identifier: MIT
# bash completion for vza: commands, their options, .vza archives and the
# files to pack. Installed as share/bash-completion/completions/vza.

_vza()
{
    local cur prev words cword
    _init_completion -s || return

    # A command's options go into its line of the case below; options that
    # take a value also go into with_value and the "$prev" case.
    local commands="list test extract create add delete help"
    local common="-q --quiet -v --verbose --password-file --help --version"
    local with_value="--password-file -C -j --threads -x --exclude --names"

    # Find the command and its archive, skipping options and their values.
    local i word command="" archive="" options_end=0
    for ((i = 1; i < cword; i++)); do
        word=${words[i]}
        if ((!options_end)); then
            case $word in
                --) options_end=1; continue ;;
                -*)
                    [[ " $with_value " == *" $word "* ]] && ((i++))
                    continue
                    ;;
            esac
        fi
        if [[ -z $command ]]; then
            command=$word
        elif [[ -z $archive ]]; then
            archive=$word
        fi
    done

    case $prev in
        --password-file) _filedir; return ;;
        -C) _filedir -d; return ;;
        -x | --exclude | -j | --threads) return ;;    # a pattern or a number of the user's own
        --names) COMPREPLY=($(compgen -W "auto utf8 cp932 latin1 raw" -- "$cur")); return ;;
    esac

    if ((!options_end)) && [[ $cur == -* ]]; then
        local own=""
        case $command in
            list | l) own="-x --exclude --names --json" ;;
            test | t) own="-x --exclude --names" ;;
            extract | x) own="-C -o --overwrite -n -k -j --threads -O --to-stdout -x --exclude --names" ;;
            create | c) own="-z -e -x --exclude" ;;
            add | a | delete | d) own="--names" ;;
        esac
        COMPREPLY=($(compgen -W "$common $own --" -- "$cur"))
        return
    fi

    if [[ -z $command ]]; then
        COMPREPLY=($(compgen -W "$commands" -- "$cur"))
        return
    fi

    case $command in
        help)
            [[ -z $archive ]] && COMPREPLY=($(compgen -W "${commands% help}" -- "$cur"))
            return
            ;;
    esac

    if [[ -z $archive ]]; then
        _filedir vza
        return
    fi

    case $command in
        create | c | add | a) _filedir ;;    # files and folders to pack
        *) ;;                                # entry names: nothing is read from the archive
    esac
} &&
    complete -F _vza vza
