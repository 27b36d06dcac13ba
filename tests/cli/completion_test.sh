#!/usr/bin/env bash
# The bash completion of tools/varnholt against the tool VARNHOLT_CLI: a command prefix, an option
# of one command that another lacks, and a database name read from a stand-in engine home.
set -u
here=$(cd "$(dirname "$0")" && pwd)
tool=$VARNHOLT_CLI
[ -n "${CLI_LIBRARY_PATH:-}" ] && export LD_LIBRARY_PATH=$CLI_LIBRARY_PATH
unset VARNHOLT_ENGINE_HOME ODBCSYSINI
work=$(mktemp -d "${CLI_TEST_TMP:-${TMPDIR:-/tmp}}/completion.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home" "$work/dict" "$work/data"
"$tool" --engine-home "$work/home" create HARBOURSIDE "$work/dict" "$work/data" >/dev/null || exit 1

source "$here/../../tools/varnholt/varnholt.bash"
failures=0
# expect WANTED WORD...: completes the last WORD and compares the replies, sorted, with WANTED.
expect() {
    local wanted=$1
    shift
    COMP_WORDS=("$tool" "$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _varnholt 2>/dev/null
    local got
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ')
    if [ "$got" != "$wanted" ]; then
        echo "FAILED: varnholt $*<TAB> gave '$got', not '$wanted'"
        failures=$((failures + 1))
    fi
}
expect "connect connection-string " conn
expect "--test-table " connect --te
expect " " list --te
expect "HARBOURSIDE " --engine-home "$work/home" drop HA
# bash splits "--engine-home=DIR" at "=".
expect "HARBOURSIDE " connect --engine-home = "$work/home" --test-table T ""

[ "$failures" = 0 ]
