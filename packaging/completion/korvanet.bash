# SPDX-License-Identifier: GPL-3.0-or-later
# bash completion for korvanet: its subcommands, their options and those options' values.

# One line per option: the subcommand it belongs to ("-": korvanet without one), the option,
# and what its value is: a COM number (port), one of the six rates (rate), or auto as well
# (rate-or-auto), a file name (file),
# anything else (number), or nothing for an option that takes no value; "@" stands for the
# subcommand's argument that is no option (apply's profile). A new subcommand or option is one
# more line here.
_korvanet_table='
-    --help
-    --version
-    --demo
-    --list-ports
-    --transcript file
read --port       port
read --baud       rate-or-auto
read --timeout    number
read --json
read --wait
read --transcript file
read --help
send --port       port
send --baud       rate
send --timeout    number
send --file       file
send --yes
send --keep-going
send --transcript file
send --help
export --port       port
export --baud       rate-or-auto
export --timeout    number
export --output     file
export -o           file
export --transcript file
export --help
apply --port       port
apply --baud       rate-or-auto
apply --timeout    number
apply --save
apply --all
apply --record     file
apply --json
apply --wait
apply --transcript file
apply --help
apply @            file
commands --help
'
_korvanet_rates='1200 2400 4800 9600 19200 38400'

# The ports that `korvanet --list-ports` shows: each of its rows starts with the COM number,
# then the device (a path, or a device server's address), which --port takes as well. Its
# heading, its notes and "No serial ports found." start otherwise and are passed over, as is
# anything a later version adds.
_korvanet_ports()
{
    local number device rest
    timeout 5 "$1" --list-ports 2>/dev/null | while read -r number device rest; do
        [[ $number =~ ^[0-9]+$ ]] || continue
        printf '%s\n' "$number"
        [[ -n $device ]] && printf '%s\n' "$device"
    done
}

_korvanet()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    # The program as typed (build/korvanet, say) is asked for its ports; a path that is not
    # one as it stands ("~/..." is not expanded here) falls back to the korvanet on the PATH.
    local program=$1
    [[ $program == */* && ! -x $program ]] && program=korvanet
    # bash breaks --baud=9600 at the "=" (COMP_WORDBREAKS): the value is completed after it.
    if [[ $cur == = ]]; then
        cur=
    elif [[ $prev == = ]] && ((COMP_CWORD > 1)); then
        prev=${COMP_WORDS[COMP_CWORD - 2]}
    fi

    local owner option value subcommands=' ' subcommand=- options= kind=
    while read -r owner option value; do
        [[ -n $owner && $owner != - && $subcommands != *" $owner "* ]] && subcommands+="$owner "
    done <<<"$_korvanet_table"
    # korvanet takes its subcommand as the first word only.
    ((COMP_CWORD > 1)) && [[ $subcommands == *" ${COMP_WORDS[1]} "* ]] && subcommand=${COMP_WORDS[1]}
    local argument=
    while read -r owner option value; do
        [[ $owner == "$subcommand" ]] || continue
        if [[ $option == @ ]]; then
            argument=$value
            continue
        fi
        options+="$option "
        [[ $option == "$prev" ]] && kind=$value
    done <<<"$_korvanet_table"
    # A word that is no option, where the subcommand takes one: what that argument is.
    [[ -z $kind && -n $argument && $cur != -* ]] && kind=$argument

    # Numbers are listed as they come, 2400 before 19200; outside a completion (a test calling
    # this function) compopt has nothing to set.
    case $kind in
    port)
        compopt -o nosort 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -W "$(_korvanet_ports "$program")" -- "$cur")
        return
        ;;
    rate | rate-or-auto)
        compopt -o nosort 2>/dev/null
        local rates=$_korvanet_rates
        [[ $kind == rate-or-auto ]] && rates+=' auto'
        mapfile -t COMPREPLY < <(compgen -W "$rates" -- "$cur")
        return
        ;;
    file)
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
        return
        ;;
    ?*)
        COMPREPLY=()
        return
        ;;
    esac
    if ((COMP_CWORD == 1)) && [[ $cur != -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$subcommands" -- "$cur")
    else
        mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
    fi
}
complete -F _korvanet korvanet
