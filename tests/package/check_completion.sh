#!/usr/bin/env bash
# zarnet-cli's bash completion, driven as bash-completion drives it.
set -euo pipefail
script=$1
[ -r /usr/share/bash-completion/bash_completion ] || { echo "bash-completion is not installed"; exit 77; }
# shellcheck disable=SC1091
source /usr/share/bash-completion/bash_completion
# shellcheck disable=SC1090
source "$script"

complete_line() { # the words of a command line, the last one being completed
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE="$*"
    COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    _zarnet_cli
    printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ' | sed 's/ $//'
}

expect() { # expected, then the words
    local want=$1
    shift
    local got
    got=$(complete_line "$@")
    [ "$got" = "$want" ] || { echo "completing '$*': got '$got', want '$want'"; exit 1; }
}

expect "clear clock image power scan test units" zarnet-cli ""
expect "off on" zarnet-cli power ""
expect "off on" zarnet-cli --port /dev/ttyS0 --device 3 power ""
expect "read write" zarnet-cli units ""
expect "" zarnet-cli units write ""
expect "--fixed" zarnet-cli units write 0 1 --fi
expect "--from" zarnet-cli scan --fr
expect "--daily --dates" zarnet-cli image --text x --da
expect "--dry-run" zarnet-cli --dr
expect "tcp://" zarnet-cli --port tc
got=$(complete_line zarnet-cli --port /dev/tty)
[ -z "$got" ] || [[ $got == /dev/tty* ]] || { echo "--port offered '$got'"; exit 1; }
echo "zarnet-cli completion: commands, options, ports all good"
