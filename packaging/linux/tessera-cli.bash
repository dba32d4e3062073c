# bash completion for tessera-cli. The commands, their options and the choices written as
# "a|b|c" come from the program's own help, so the completion follows the program.

_tessera_cli()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    local prog=${COMP_WORDS[0]} first=1 cmd usage
    COMPREPLY=()

    # "--meter SERIAL" before the command: the serial numbers of the meters present.
    if [[ ${COMP_WORDS[1]} == --meter ]]; then
        if [[ $COMP_CWORD -eq 2 ]]; then
            COMPREPLY=($(compgen -W "$("$prog" meters 2>/dev/null | sed -n '2,$s/^\([^ -][^ ]*\) .*/\1/p')" -- "$cur"))
            return
        fi
        first=3
    fi
    cmd=${COMP_WORDS[first]}

    if [[ $COMP_CWORD -eq $first || ( $cmd == help && $COMP_CWORD -eq $((first + 1)) ) ]]; then
        local commands
        commands=$("$prog" help 2>/dev/null | sed -n 's/^  \([a-z][a-z-]*\).*/\1/p')
        [[ $COMP_CWORD -eq 1 ]] && commands+=" --help --version --meter"
        COMPREPLY=($(compgen -W "$commands" -- "$cur"))
        return
    fi

    usage=$("$prog" "$cmd" --help 2>/dev/null)
    case $prev in
        -o|--output|--remarks)
            COMPREPLY=($(compgen -f -- "$cur"))
            return ;;
        -u|--unit)
            if [[ $cmd == stats || $cmd == export || $cmd == report ]]; then
                COMPREPLY=($(compgen -W "T mT uT nT G mG A/m %" -- "$cur"))
            else
                COMPREPLY=($(compgen -W "original uT mT T mG G A/m" -- "$cur"))
            fi
            return ;;
        --quantity)
            COMPREPLY=($(compgen -W "R x y z" -- "$cur"))
            return ;;
        --reference)
            # The profiles' short names: the lines of "references" that are not indented.
            COMPREPLY=($(compgen -W "$("$prog" references 2>/dev/null | sed -n 's/^\([a-z0-9][^ ]*\)$/\1/p')" -- "$cur"))
            return ;;
        --frequency)
            COMPREPLY=($(compgen -W "50 60" -- "$cur"))
            return ;;
        --from|--to|--threshold)
            return ;;
        --title|--site|--client|--operator|--serial|--calibration)
            return ;;
        --period)
            COMPREPLY=($(compgen -W "$(sed -n 's/.*P: \(.*\) per division.*/\1/p' <<<"$usage")" -- "$cur"))
            return ;;
        --duration|--samples|--reconnect-timeout)
            return ;;
        --location|--height|--source|--note)
            return ;;
        -*)
            # An option followed by its choices in the usage: "--method fixed|average|maximum".
            local choices
            choices=$(grep -o -- "$prev [a-z][a-z0-9-]*\(|[a-z][a-z0-9-]*\)\+" <<<"$usage" | head -n 1)
            if [[ -n $choices ]]; then
                choices=${choices#"$prev "}
                COMPREPLY=($(compgen -W "${choices//|/ }" -- "$cur"))
                return
            fi ;;
    esac

    if [[ $cmd == config && $COMP_CWORD -eq $((first + 1)) ]]; then
        COMPREPLY=($(compgen -W "show save apply init" -- "$cur"))
    elif [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$(grep -o -- '-\{1,2\}[a-z][a-z-]*' <<<"${usage#*tessera-cli }" | sort -u) --help" -- "$cur"))
    else
        COMPREPLY=($(compgen -f -- "$cur"))
    fi
}
complete -o filenames -F _tessera_cli tessera-cli
