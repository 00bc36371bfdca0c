#!/usr/bin/env bash
# The manual pages say what the programs take:
#   - flashwright-cli.1 documents every command that `flashwright-cli --help` lists (one .SS
#     heading per command, "usb list" for the nested ones), and under each exactly the options
#     that the command's own --help lists; the global options under OPTIONS;
#   - flashwright.1 documents exactly the switches the command-line parser recognises, and
#     names every keyword it takes;
#   - both pages render without a warning.
#   man_pages_test.sh <flashwright-cli> <source folder>
set -euo pipefail
cli=${1:?usage: $0 <flashwright-cli> <source folder>}
source_dir=${2:?usage: $0 <flashwright-cli> <source folder>}
cli_page=$source_dir/docs/man/flashwright-cli.1
gui_page=$source_dir/docs/man/flashwright.1
parser=$source_dir/app/command_line_info.cpp
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# --- what --help says ---------------------------------------------------------------------

help_of() { "$cli" "$@" --help; }
# The subcommand names of a help text.
subcommands_of() { awk '/^Subcommands:/ { on = 1; next } on && /^  [a-z]/ { print $1 }' ; }
# The long options of a help text, without --help.
options_of() {
  awk '/^Options:/ { on = 1; next } /^[A-Z][a-z]*:/ { on = 0 }
       on && /^  -/ { n = split($1, names, ","); for (i = 1; i <= n; i++)
                        if (names[i] ~ /^--/ && names[i] != "--help") print names[i] }' |
    sed 's/=.*//' | sort -u
}

declare -A help_options
commands=()
top_help=$(help_of)
help_options[-]=$(options_of <<<"$top_help")
for command in $(subcommands_of <<<"$top_help"); do
  command_help=$(help_of "$command")
  nested=$(subcommands_of <<<"$command_help")
  if [ -n "$nested" ]; then
    for sub in $nested; do
      commands+=("$command $sub")
      help_options["$command $sub"]=$(help_of "$command" "$sub" | options_of)
    done
  else
    commands+=("$command")
    help_options["$command"]=$(options_of <<<"$command_help")
  fi
done
[ ${#commands[@]} -ge 10 ] || fail "only ${#commands[@]} commands found in --help: ${commands[*]}"

# --- what the page says -------------------------------------------------------------------

# "<heading>\t<option>" for the tag line of every .TP paragraph, the heading being the .SS
# heading under COMMANDS or "-" under OPTIONS; "<heading>\t" for every command heading.
page_entries() {
  sed 's/\\-/-/g; s/\\f[BIRP]//g' "$1" | awk '
    /^\.SH / { section = $2; heading = ""; next }
    /^\.SS / { if (section == "COMMANDS") { heading = substr($0, 5); gsub(/"/, "", heading);
                                            print heading "\t" } else heading = "(other)"; next }
    /^\.TP/ { tag = 1; next }
    tag { tag = 0
          if (section == "OPTIONS" || (section == "COMMANDS" && heading != "(other)")) {
            line = $0
            while (match(line, /--[a-z][a-z-]*/)) {
              print (section == "OPTIONS" ? "-" : heading) "\t" substr(line, RSTART, RLENGTH)
              line = substr(line, RSTART + RLENGTH)
            } } }'
}
entries=$(page_entries "$cli_page")

page_commands=$(awk -F'\t' '$2 == "" && $1 != "" { print $1 }' <<<"$entries" | sort)
help_commands=$(printf '%s\n' "${commands[@]}" | sort)
if [ "$page_commands" != "$help_commands" ]; then
  fail "flashwright-cli.1 commands differ from --help:"
  diff <(echo "$help_commands") <(echo "$page_commands") | sed 's/^/  /' >&2 || true
fi

for command in - "${commands[@]}"; do
  documented=$(awk -F'\t' -v c="$command" '$1 == c && $2 != "" && $2 != "--help" { print $2 }' \
                 <<<"$entries" | sort -u)
  if [ "$documented" != "${help_options[$command]}" ]; then
    fail "options of '${command/#-/flashwright-cli}' differ between --help (<) and the page (>):"
    diff <(echo "${help_options[$command]}") <(echo "$documented") | sed 's/^/  /' >&2 || true
  fi
done
grep -q -- '\\-\\-help' "$cli_page" || fail "flashwright-cli.1 does not document --help"

# --- flashwright.1 against the command-line parser -----------------------------------------

parser_switches=$(grep -o 'last_switch_ == "[A-Z]*"' "$parser" | grep -o '"[A-Z]*"' | tr -d '"' |
                    sort -u)
[ -n "$parser_switches" ] || fail "no switches found in $parser"
parser_keywords=$(grep -o 'upper == "[A-Z]*"' "$parser" | grep -o '"[A-Z]*"' | tr -d '"' |
                    sort -u | comm -23 - <(echo "$parser_switches"))
page_switches=$(sed 's/\\-/-/g; s/\\f[BIRP]//g' "$gui_page" | awk '
    /^\.SH / { section = $2; next } /^\.TP/ { tag = 1; next }
    tag { tag = 0; if (section == "OPTIONS" && match($0, /\/[A-Z]+/))
            print substr($0, RSTART + 1, RLENGTH - 1) }' | sort -u)
if [ "$page_switches" != "$parser_switches" ]; then
  fail "flashwright.1 switches differ from the parser's (<):"
  diff <(echo "$parser_switches") <(echo "$page_switches") | sed 's/^/  /' >&2 || true
fi
for keyword in $parser_keywords; do
  grep -Eq "^\.B[R]? $keyword( |,|\.|$)" "$gui_page" ||
    fail "flashwright.1 does not name the keyword $keyword"
done

# --- rendering ----------------------------------------------------------------------------

for page in "$cli_page" "$gui_page"; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$(basename "$page") renders with warnings: $warnings"
  LC_ALL=C.UTF-8 MANWIDTH=80 man -E UTF-8 -l "$page" 2>/dev/null | grep -q '^SYNOPSIS' ||
    fail "$(basename "$page") has no SYNOPSIS when rendered"
done

if [ "$failures" -gt 0 ]; then
  echo "man pages: $failures problem(s)" >&2
  exit 1
fi
echo "man pages: ${#commands[@]} commands and $(wc -w <<<"$parser_switches") switches documented"
