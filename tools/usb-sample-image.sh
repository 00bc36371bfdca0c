#!/usr/bin/env bash
# Writes a sample USB firmware image for the simulated EZ-USB device's default identity:
# first byte C2, vendor 04B4, product 8613, product text "Gate 1.2.3.5" after the product
# marker, 4000 bytes of filler.
#   tools/usb-sample-image.sh <file.bin>
set -euo pipefail
file=${1:?usage: $0 <file.bin>}
# Text as UTF-16LE, as USB images carry their product text.
utf16() { local text=$1 i; for ((i = 0; i < ${#text}; i++)); do printf '%s\0' "${text:i:1}"; done; }
mkdir -p "$(dirname "$file")"
{
  printf '\xc2\xb4\x04\x13\x86'
  utf16 "Orvane Folio Systems"; printf ' \0'; utf16 "Gate 1.2.3.5"; printf '\0\0'
  head -c 4000 /dev/zero | tr '\0' '\125'
} > "$file"
