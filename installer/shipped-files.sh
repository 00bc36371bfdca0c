#!/usr/bin/env bash
# The uninstaller's Delete lines for the images the installer ships, run by makensis:
#   shipped-files.sh <folder> <name under $INSTDIR> [<folder> <name>]...
# Only files at the top of each folder are shipped (the installer copies nothing else that the
# program reads); a missing folder ships nothing.
set -euo pipefail
while [ $# -ge 2 ]; do
  folder=$1 name=$2
  shift 2
  [ -d "$folder" ] || continue
  find "$folder" -type f -printf '%P\n' | LC_ALL=C sort | while IFS= read -r file; do
    printf '  Delete "$INSTDIR\\%s\\%s"\n' "$name" "${file//\//\\}"
  done
done
