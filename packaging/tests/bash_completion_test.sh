#!/usr/bin/env bash
# The bash completion of flashwright-cli, loaded into a real bash and asked as bash asks it:
# commands, nested usb commands, the options of a command, the COM numbers of the ports that
# are present (and only those), firmware base names of the folder given, and option values.
#   bash_completion_test.sh <flashwright-cli> <completion file>
set -euo pipefail
cli=${1:?usage: $0 <flashwright-cli> <completion file>}
completion=${2:?usage: $0 <flashwright-cli> <completion file>}
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Two present ports (character devices) and one entry that leads nowhere.
mkdir "$work/ports" "$work/firmware"
ln -s /dev/null "$work/ports/COM3"
ln -s /dev/zero "$work/ports/COM7"
ln -s "$work/missing" "$work/ports/COM9"
: >"$work/firmware/demo42418.hex"
: >"$work/firmware/LR2000.hex"
: >"$work/firmware/bundle.xml"
: >"$work/firmware/notes.txt"
export FLASHWRIGHT_PORT_DIR=$work/ports

# complete <words...>: the completions of the last word, one a line, sorted.
complete_words() {
  bash --norc --noprofile -c '
    source "$1"; shift
    COMP_WORDS=("$@"); COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE="${COMP_WORDS[*]}"; COMP_POINT=${#COMP_LINE}
    _flashwright_cli
    printf "%s\n" "${COMPREPLY[@]}"' - "$completion" "$cli" "$@" | sort
}
expect() { # expect <expected, lines joined by spaces> <words...>
  local expected=$1 got
  shift
  got=$(complete_words "$@" | paste -sd' ')
  [ "$got" = "$expected" ] || fail "'$*': expected '$expected', got '$got'"
}
contains() { # contains <word> <words...>
  local word=$1
  shift
  complete_words "$@" | grep -qx -- "$word" || fail "'$*' does not offer $word"
}

# The completion names the program it was loaded for.
bash --norc --noprofile -c 'source "$1"; complete -p flashwright-cli' - "$completion" |
  grep -q -- '-F _flashwright_cli' || fail "complete -p names no function for flashwright-cli"

expect "update usb" ""  u
expect "afi diag info ports power-level reset-config security transmit-mode update usb" ""
expect "backup info list update" usb ""
expect "update" usb up
for option in --port --firmware --firmware-dir --wait --skip-if-current --check-only --recover; do
  contains "$option" update --
done
for option in --json --version --quiet --verbose --log; do contains "$option" --; done
for option in --device --firmware --marker --no-verify --wait --skip-if-current; do
  contains "$option" usb update --
done
# The value of --device (an index or a bus path) is not guessed: listing the devices would open
# them. After it, the command's options again.
expect "" usb update --device ""
contains --wait usb update --device 1-3.2 --w
expect "--no-discovery" ports --no
expect "3 7 auto" info --port ""
expect "3" update --firmware demo42418 --port 3
expect "LR2000 bundle demo42418" update --firmware-dir "$work/firmware" --firmware ""
expect "demo42418" update --port 3 --firmware-dir "$work/firmware" --firmware de
expect "all iso none ti" update --tag-types ""
expect "100mW 1W" power-level --set 1
expect "400mW" power-level --set 4
expect "256 4" transmit-mode --set ""
# After an option value, the command's options again.
contains --wait update --port 3 --w

if [ "$failures" -ne 0 ]; then
  echo "$failures failure(s)" >&2
  exit 1
fi
echo "bash completion: all checks passed"
