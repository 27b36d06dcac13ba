# bash completion for varnholt                                  -*- shell-script -*-
#
# Commands, each command's options and arguments are read from the tool's own help, once per
# shell and tool, so that they follow the tool. Database names come from `varnholt list --json`
# on the local engine (the engine home of --engine-home or VARNHOLT_ENGINE_HOME); they are never
# asked of a --server, which could want a login.

# The options of one help text (its "  --name VALUE  text" lines and its "Common options:" line)
# into _varnholt_found; which of them take a value, and of what kind, into _varnholt_value.
_varnholt_options_of()
{
    local line rest
    local option_line='^  (--[a-z][a-z-]*)( ([A-Z][A-Z-]*))?  ' option_word='(--[a-z][a-z-]*)( ([A-Z][A-Z-]*))?'
    _varnholt_found=
    while IFS= read -r line; do
        if [[ $line =~ $option_line ]]; then
            _varnholt_found+=" ${BASH_REMATCH[1]}"
            [[ ${BASH_REMATCH[3]} ]] && _varnholt_value[${BASH_REMATCH[1]}]=${BASH_REMATCH[3]}
        elif [[ $line == "Common options:"* ]]; then
            rest=${line#Common options:}
            rest=${rest%%(*}
            while [[ $rest =~ $option_word ]]; do
                _varnholt_found+=" ${BASH_REMATCH[1]}"
                [[ ${BASH_REMATCH[3]} ]] && _varnholt_value[${BASH_REMATCH[1]}]=${BASH_REMATCH[3]}
                rest=${rest#*"${BASH_REMATCH[0]}"}
            done
        fi
    done <<<"$1"
}

# Reads the help of the tool $1 into the _varnholt_* tables, unless already read for that tool.
_varnholt_load()
{
    local tool=$1
    [[ ${_varnholt_loaded-} == "$tool" ]] && return
    declare -gA _varnholt_opts=() _varnholt_value=() _varnholt_args=() _varnholt_path_args=()
    declare -g _varnholt_commands= _varnholt_path_ops= _varnholt_found=

    local help line command
    local path_line='^  path ([a-z][a-z-]*)(( [A-Z][A-Z.]*)*)  '
    help=$("$tool" --help 2>/dev/null) || return
    _varnholt_commands=$(awk '/^Commands:/ { on = 1; next } on && /^$/ { exit } on { print $1 }' <<<"$help")
    _varnholt_commands+=$'\nhelp'
    _varnholt_options_of "$help"
    _varnholt_opts[-]=$_varnholt_found
    for command in $_varnholt_commands; do
        [[ $command == help ]] && continue
        help=$("$tool" "$command" --help 2>/dev/null) || continue
        _varnholt_options_of "$help"
        _varnholt_opts[$command]=$_varnholt_found
        # "Usage: varnholt create NAME DICT DATA [OPTIONS]": the arguments, in order.
        line=${help%%$'\n'*}
        line=${line#"Usage: varnholt $command"}
        _varnholt_args[$command]=${line%\[OPTIONS\]}
        [[ $command == path ]] || continue
        while IFS= read -r line; do
            [[ $line =~ $path_line ]] || continue
            _varnholt_path_ops+=" ${BASH_REMATCH[1]}"
            _varnholt_path_args[${BASH_REMATCH[1]}]=${BASH_REMATCH[2]}
        done <<<"$help"
    done
    _varnholt_loaded=$tool
}

# The database names of the local engine, one a line.
_varnholt_names()
{
    local tool=$1 home=$2
    local -a env=(env -u DISPLAY -u WAYLAND_DISPLAY)
    [[ $home ]] && env+=("VARNHOLT_ENGINE_HOME=$home")
    # Without a terminal or a display a login, should one be wanted, is cancelled at once.
    "${env[@]}" timeout 5 setsid -w "$tool" list --json </dev/null 2>/dev/null |
        grep -o '"name": *"[^"\\]*"' | sed 's/^"name": *"//; s/"$//'
}

# compgen's words, one a reply: names with spaces or wildcards stay as they are.
_varnholt_compgen()
{
    mapfile -t -O "${#COMPREPLY[@]}" COMPREPLY < <(compgen "$@")
}

_varnholt()
{
    local tool=${COMP_WORDS[0]}
    [[ $tool == "~/"* ]] && tool=$HOME/${tool#"~/"}
    _varnholt_load "$tool" || return
    COMPREPLY=()

    # Words as the tool sees them: bash splits "--dict=DIR" and "S:\x" at '=' and ':'.
    local -a words=()
    local i glue=0 cword=0
    for ((i = 0; i <= COMP_CWORD; i++)); do
        local word=${COMP_WORDS[i]}
        if ((i > 0)) && [[ $word == [=:] || $glue == 1 ]]; then
            words[${#words[@]} - 1]+=$word
            [[ $word == [=:] ]] && glue=1 || glue=0
        else
            words+=("$word")
            glue=0
        fi
    done
    cword=$((${#words[@]} - 1))
    local cur=${words[cword]} raw=${COMP_WORDS[COMP_CWORD]}
    [[ $raw == [=:] ]] && raw=

    # The command, the positional arguments before the cursor, and the engine home given.
    local command= home=${VARNHOLT_ENGINE_HOME-} option= after_dash=0
    local -a args=()
    for ((i = 1; i < cword; i++)); do
        local word=${words[i]}
        if [[ $option ]]; then
            [[ $option == --engine-home ]] && home=$word
            option=
        elif ((!after_dash)) && [[ $word == -- ]]; then
            after_dash=1
        elif ((!after_dash)) && [[ $word == --*=* ]]; then
            [[ ${word%%=*} == --engine-home ]] && home=${word#*=}
        elif ((!after_dash)) && [[ $word == -* ]]; then
            [[ ${_varnholt_value[$word]-} ]] && option=$word
        elif [[ -z $command ]]; then
            command=$word
        else
            args+=("$word")
        fi
    done
    [[ $home == "~/"* ]] && home=$HOME/${home#"~/"}

    # The value of an option.
    local kind=
    if [[ $option ]]; then
        kind=${_varnholt_value[$option]}
    elif ((!after_dash)) && [[ $cur == --*=* ]]; then
        kind=${_varnholt_value[${cur%%=*}]-}
        [[ $kind ]] || return 0
        cur=${cur#*=}
    elif ((!after_dash)) && [[ $cur == -* ]]; then
        local opts=${_varnholt_opts[${command:--}]-}
        _varnholt_compgen -W "$opts" -- "$cur"
        return 0
    elif [[ -z $command ]]; then
        _varnholt_compgen -W "$_varnholt_commands" -- "$cur"
        return 0
    elif [[ $command == help ]]; then
        ((${#args[@]} == 0)) && _varnholt_compgen -W "$_varnholt_commands" -- "$cur"
        return 0
    elif [[ $command == path ]]; then
        if ((${#args[@]} == 0)); then
            _varnholt_compgen -W "$_varnholt_path_ops" -- "$cur"
            return 0
        fi
        local -a wanted=(${_varnholt_path_args[${args[0]}]-})
        kind=${wanted[${#args[@]} - 1]-}
    else
        local -a wanted=(${_varnholt_args[$command]-})
        local n=${#args[@]}
        if ((n < ${#wanted[@]})); then
            kind=${wanted[n]}
        elif ((${#wanted[@]})) && [[ ${wanted[-1]} == *... ]]; then
            kind=${wanted[-1]}
        fi
        # create makes its NAME: there is nothing to offer.
        [[ $command == create && $kind == NAME ]] && kind=
    fi

    case $kind in
        NAME)
            # Only names that are arguments, and of the local engine: --server NAME, --name NAME
            # and --new-name NAME are new or remote.
            [[ -z $option && $cur != --*=* ]] || return 0
            for ((i = 1; i < cword; i++)); do
                [[ ${words[i]} == --server || ${words[i]} == --server=* ]] && return 0
            done
            _varnholt_compgen -W "$(_varnholt_names "$tool" "$home")" -- "$cur"
            ;;
        DIR | DICT | DATA | DATA-PATH | MASTER | TARGET | SOURCE | FOLDER)
            compopt -o filenames 2>/dev/null
            _varnholt_compgen -d -- "$raw"
            ;;
        FILE | FILE... | PATH | PATTERN)
            compopt -o filenames 2>/dev/null
            _varnholt_compgen -f -- "$raw"
            ;;
    esac
    return 0
}
complete -F _varnholt varnholt
