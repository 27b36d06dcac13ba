#!/usr/bin/env bash
# The quick start (scripts/demo.sh) with every varnholt command under valgrind's memcheck:
# any memory error or leak (definite, indirect or possible) fails the run. Nothing is
# suppressed: on Debian 12, unixODBC 2.3.11 and the stand-in driver run clean.
set -euo pipefail
cd "$(dirname "$0")/.."

build=$PWD/build/default
tool=$build/tools/varnholt/varnholt
demo=$(mktemp -d "${TMPDIR:-/tmp}/varnholt-valgrind.XXXXXX")
trap 'rm -rf "$demo"' EXIT

command -v valgrind >/dev/null || { echo "valgrind-demo: valgrind is not installed" >&2; exit 1; }
cmake --preset default >/dev/null
cmake --build --preset default -j2 --target varnholt-cli

# The tool's own engine and driver, whatever this shell points at.
unset ODBCSYSINI VARNHOLT_DRIVES
export VARNHOLT_ENGINE_HOME=$demo/engine
mkdir -p "$VARNHOLT_ENGINE_HOME" "$demo/company/Harbourside" "$demo/master"
printf 'C0001\tHarbour Supplies Ltd\n' >"$demo/company/Harbourside/CUSTOMER.DAT"
for file in File Field Index Attrib; do
    printf '%s dictionary of the sample application\n' "$file" >"$demo/master/$file.ddf"
done

failed=0
varnholt() {
    printf '\n$ varnholt %s\n' "$*"
    if ! valgrind --tool=memcheck --error-exitcode=99 --leak-check=full --show-leak-kinds=definite,indirect,possible \
        --errors-for-leak-kinds=definite,indirect,possible --track-origins=yes --num-callers=30 \
        --quiet "$tool" "$@"; then
        echo "valgrind-demo: 'varnholt $*' failed under memcheck" >&2
        failed=1
    fi
}

varnholt version
varnholt provision "$demo/company/Harbourside" --name HARBOURSIDE --master "$demo/master"
varnholt list
varnholt connect HARBOURSIDE --test-table CUSTOMER
varnholt connection-string HARBOURSIDE

if [ "$failed" -ne 0 ]; then
    echo "valgrind-demo: FAILED" >&2
    exit 1
fi
echo "valgrind-demo: no memory errors or leaks in the quick start"
