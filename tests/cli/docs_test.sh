#!/usr/bin/env bash
# The documents against the tool VARNHOLT_CLI, whose command table is the one copy of each
# command's help: docs/cli.md has a section headed by every command's usage, every path
# operation and every option of the help; the manual page VARNHOLT_MANUAL, made from the table,
# is roff that groff reads without a warning and names every command.
set -u
here=$(cd "$(dirname "$0")" && pwd)
doc=$here/../../docs/cli.md
tool=$VARNHOLT_CLI
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

has_heading() {
    awk -v h="### \`$1" 'index($0, h "`") == 1 || index($0, h " ") == 1 { found = 1 } END { exit !found }' "$doc"
}

tool_help=$("$tool" --help) || { echo "FAILED: varnholt --help"; exit 1; }
commands=$(awk '/^Commands:/ { on = 1; next } on && /^$/ { exit } on { print $1 }' <<<"$tool_help")
[ -n "$commands" ] || fail "varnholt --help lists no commands"
options=$(grep -oE '^  --[a-z-]+' <<<"$tool_help")
for command in $commands; do
    help=$("$tool" "$command" --help) || { fail "varnholt $command --help"; continue; }
    usage=${help%%$'\n'*}
    usage=${usage#Usage: varnholt }
    usage=${usage% \[OPTIONS\]}
    has_heading "$usage" || fail "docs/cli.md has no section '### \`$usage'"
    options+=$'\n'$(grep -oE '^  --[a-z-]+' <<<"$help")
    [ "$command" = path ] || continue
    for operation in $(sed -n 's/^  path \([a-z-]*\).*/\1/p' <<<"$help"); do
        grep -q "^| \`$operation[ \`]" "$doc" || fail "docs/cli.md's path table lacks $operation"
    done
done
for option in $(sort -u <<<"$options"); do
    grep -q -- "\`[^\`]*$option\\b" "$doc" || fail "docs/cli.md never mentions $option"
done

manual=${VARNHOLT_MANUAL:?}
warnings=$(groff -man -Tutf8 -ww -z "$manual" 2>&1)
[ -z "$warnings" ] || fail "groff on the manual page: $warnings"
page=$(groff -man -Tascii "$manual" 2>/dev/null | col -b)
for command in $commands; do
    grep -qE "^ +$command( |$)" <<<"$page" || fail "the manual page has no entry for $command"
done
grep -q '@COMMANDS@\|@OPTIONS@' "$manual" && fail "the manual page still holds a placeholder"

[ "$failures" = 0 ]
