#!/usr/bin/env bash
# The udev rules that the package installs (Debian 12's udev has no "udevadm verify"):
#   - every line that is not a comment parses as a rule: comma-separated KEY[{attr}] OP "value"
#     pairs, at least one match and one assignment;
#   - each rule names its subsystem and the vendor (and product) ID it claims, as four
#     lower-case hexadecimal digits, and grants access with TAG+="uaccess" and a group with
#     mode 0660, the group being one that the README tells technicians to join;
#   - the devices the programs look for are claimed: the ports of the maker's USB reader and of
#     FT232 adapters (reader port discovery) as ttys, and the vendor of the default USB device
#     match (the USB update side) as USB devices.
#   udev_rules_test.sh <source folder>
set -euo pipefail
source_dir=${1:?usage: $0 <source folder>}
rules_dir=$source_dir/platform/posix/udev
readme=$source_dir/README.md
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

shopt -s nullglob
files=("$rules_dir"/*.rules)
[ ${#files[@]} -gt 0 ] || fail "no rules files in $rules_dir"

claimed=()  # "<subsystem> <vendor>:<product or *>"
rules=0
pair_re='^[A-Z_]+(\{[A-Za-z0-9_.]+\})?(==|!=|=|\+=|-=|:=)"[^"]*"$'
for file in "${files[@]}"; do
  name=$(basename "$file")
  # Lines ending in a backslash continue on the next one.
  joined=$(sed -e ':a' -e '/\\$/N; s/\\\n//; ta' "$file")
  number=0
  while IFS= read -r line; do
    number=$((number + 1))
    trimmed=$(sed 's/^[[:space:]]*//; s/[[:space:]]*$//' <<<"$line")
    [ -z "$trimmed" ] && continue
    [[ $trimmed == \#* ]] && continue
    rules=$((rules + 1))
    where="$name: line $number"
    # Split on the commas between pairs (values here hold no commas or quotes).
    IFS=',' read -r -a pairs <<<"$trimmed"
    matches=0 assignments=0 subsystem="" vendor="" product="*" uaccess=0 group="" mode="" devtype=""
    for pair in "${pairs[@]}"; do
      pair=$(sed 's/^[[:space:]]*//; s/[[:space:]]*$//' <<<"$pair")
      if ! [[ $pair =~ $pair_re ]]; then
        fail "$where: '$pair' is not KEY OP \"value\""
        continue
      fi
      key=${pair%%[=!+:-]*}
      op=${BASH_REMATCH[2]}
      value=${pair#*\"}; value=${value%\"}
      case $op in ==|!=) matches=$((matches + 1)) ;; *) assignments=$((assignments + 1)) ;; esac
      case "$key$op" in
        SUBSYSTEM==) subsystem=$value ;;
        ATTR{idVendor}==|ATTRS{idVendor}==) vendor=$value ;;
        ATTR{idProduct}==|ATTRS{idProduct}==) product=$value ;;
        ENV{DEVTYPE}==) devtype=$value ;;
        TAG+=) [ "$value" = uaccess ] && uaccess=1 ;;
        GROUP=) group=$value ;;
        MODE=) mode=$value ;;
      esac
    done
    [ "$matches" -gt 0 ] || fail "$where: matches nothing"
    [ "$assignments" -gt 0 ] || fail "$where: assigns nothing"
    [ -n "$subsystem" ] || fail "$where: names no SUBSYSTEM"
    [[ $vendor =~ ^[0-9a-f]{4}$ ]] || fail "$where: vendor ID '$vendor' is not four hex digits"
    [[ $product == "*" || $product =~ ^[0-9a-f]{4}$ ]] ||
      fail "$where: product ID '$product' is not four hex digits"
    [ "$uaccess" -eq 1 ] || fail "$where: no TAG+=\"uaccess\" for the user at the seat"
    [ -n "$group" ] || fail "$where: no GROUP for users without a seat"
    [ "$mode" = 0660 ] || fail "$where: MODE is '$mode', not 0660"
    if [ -n "$group" ] && ! grep -q "\`$group\` group\|group \`$group\`" "$readme"; then
      fail "$where: the README does not tell technicians about the group $group"
    fi
    [ "$subsystem" != usb ] || [ "$devtype" = usb_device ] ||
      fail "$where: a usb rule should match ENV{DEVTYPE}==\"usb_device\" (not its interfaces)"
    claimed+=("$subsystem $vendor:$product")
  done <<<"$joined"
done
[ "$rules" -gt 0 ] || fail "no rules found"

claims() { # claims <subsystem> <vendor> <product>
  local entry
  for entry in "${claimed[@]}"; do
    [ "$entry" = "$1 $2:$3" ] || [ "$entry" = "$1 $2:*" ] && return 0
  done
  return 1
}

# Reader port discovery: the hardware IDs it looks for, "vid_xxxx" with "pid_yyyy".
discovery=$source_dir/discovery/find_reader.cpp
ids=$(grep -o 'has("vid_[0-9a-f]*") && has("pid_[0-9a-f]*")' "$discovery" |
        sed 's/has("vid_\([0-9a-f]*\)") && has("pid_\([0-9a-f]*\)")/\1 \2/')
[ "$(wc -l <<<"$ids")" -ge 2 ] || fail "the adapters of reader port discovery were not found"
while read -r vendor product; do
  [ -n "$vendor" ] || continue
  claims tty "$vendor" "$product" || fail "no tty rule for the reader port $vendor:$product"
done <<<"$ids"

# The USB update side: the vendor of the default device match ("vvvv:*").
default_ids=$(grep -o 'kDefaultUsbIds\[\] = "[^"]*"' "$source_dir/platform/usb_id_filter.h" |
                sed 's/.*= "\(.*\)"/\1/')
[ -n "$default_ids" ] || fail "the default USB device match was not found"
for id in ${default_ids//,/ }; do
  claims usb "${id%%:*}" "${id#*:}" || fail "no usb rule for the default USB devices $id"
done

if [ "$failures" -gt 0 ]; then
  echo "udev rules: $failures problem(s)" >&2
  exit 1
fi
echo "udev rules: $rules rules in ${#files[@]} files, each parsed and checked"
