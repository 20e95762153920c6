# bash completion for quorvelctl
_quorvelctl()
{
    local cur prev words cword
    _init_completion || return

    local globals="--json --timeout --max-time --config --verbose --version -V --help --help-all"
    local commands="discover ls upload download open rm thumb welcome history devices config serve offer doctor cast help"

    case $prev in
        --config|-o|--output)
            _filedir
            return ;;
        --dir)
            _filedir -d
            return ;;
        --timeout|--max-time|--wait|--accept-from|--name|--sort|--size)
            return ;;
    esac

    local i command=""
    for (( i=1; i < cword; i++ )); do
        case ${words[i]} in
            --config|--timeout|--max-time) (( i++ )) ;;
            -*) ;;
            *) command=${words[i]}; break ;;
        esac
    done

    if [[ -z $command ]]; then
        if [[ $cur == -* ]]; then
            COMPREPLY=( $(compgen -W "$globals" -- "$cur") )
        else
            COMPREPLY=( $(compgen -W "$commands" -- "$cur") )
        fi
        return
    fi

    local options=""
    case $command in
        discover|doctor) options="--wait" ;;
        ls) options="--sort" ;;
        upload) options="-r --secure --name"; _filedir ;;
        download) options="-o --output --overwrite" ;;
        thumb) options="-o --output" ;;
        serve) options="--accept --ask --dir --accept-from" ;;
        offer) options="--wait"; _filedir ;;
        cast) options="--size" ;;
        config)
            [[ $cword -eq $(( i + 1 )) ]] && COMPREPLY=( $(compgen -W "ls get set unset" -- "$cur") )
            [[ $cword -eq $(( i + 2 )) && ${words[i+1]} != ls ]] && COMPREPLY=( $(compgen -W \
                "ClientName SecureMode DownloadPath ConfirmCast LastSelectedServerUUID StartUp CastShortcut" -- "$cur") )
            return ;;
        devices)
            [[ $cword -eq $(( i + 1 )) ]] && COMPREPLY=( $(compgen -W "ls add rm" -- "$cur") )
            return ;;
        help)
            COMPREPLY=( $(compgen -W "$commands" -- "$cur") )
            return ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=( $(compgen -W "$options --help $globals" -- "$cur") )
    fi
} &&
complete -F _quorvelctl quorvelctl
