# bash completion for vantrel
_vantrel() {
    local cur prev cmd
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD-1]}
    local commands="help tables dump export script convert check create sql device demo"
    if ((COMP_CWORD == 1)); then
        COMPREPLY=($(compgen -W "$commands --help --version" -- "$cur"))
        return
    fi
    cmd=${COMP_WORDS[1]}
    local opts="--help"
    case $cmd in
        help) COMPREPLY=($(compgen -W "$commands" -- "$cur")); return ;;
        tables|check|sql) opts+=" --password" ;;
        dump) opts+=" --password --table" ;;
        export) opts+=" --password --format -d --delimiter -R --row-delimiter -H --no-header -Q --no-quote -D --date-format --sqlite --table --replace" ;;
        script) opts+=" --password -o --output --table" ;;
        convert) opts+=" --password --copy" ;;
        create) opts+=" --password -f --file" ;;
        device) opts+=" --password --table --json --charset" ;;
        demo) ;;
    esac
    case $prev in
        --format) COMPREPLY=($(compgen -W "csv jsonl" -- "$cur")); return ;;
        --password|--table|--charset|-d|--delimiter|-R|--row-delimiter|-D|--date-format) return ;;
        -o|--output|-f|--file|--sqlite) COMPREPLY=($(compgen -f -- "$cur")); return ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$opts" -- "$cur"))
    elif [[ $cmd == demo ]]; then
        COMPREPLY=($(compgen -d -- "$cur"))
    else
        COMPREPLY=($(compgen -f -X '!*.@(mdb|MDB|accdb|ACCDB|sql|SQL)' -- "$cur") $(compgen -d -- "$cur"))
    fi
}
complete -o filenames -F _vantrel vantrel
