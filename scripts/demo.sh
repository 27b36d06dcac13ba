#!/usr/bin/env bash
# The quick start: builds the varnholt tool, then on a fresh stand-in engine under
# build/default/demo provisions a company folder with a database name, lists the names, opens
# the connection with a test query and prints the connection string.
set -euo pipefail
cd "$(dirname "$0")/.."

build=$PWD/build/default
tool=$build/tools/varnholt/varnholt
demo=$build/demo

step() { printf '\n==> %s\n' "$*"; }
varnholt() {
    printf '$ varnholt %s\n' "$*"
    "$tool" "$@"
}

step "Building the varnholt tool (preset default)"
cmake --preset default >/dev/null
cmake --build --preset default -j2 --target varnholt-cli

# The tool's own engine and driver, whatever this shell points at.
unset ODBCSYSINI VARNHOLT_DRIVES
export VARNHOLT_ENGINE_HOME=$demo/engine

step "A fresh engine home in $demo/engine"
rm -rf "$demo"
mkdir -p "$VARNHOLT_ENGINE_HOME" "$demo/company/Harbourside" "$demo/master"
varnholt version

step "A company folder with a data file, and the master dictionary folder"
printf 'C0001\tHarbour Supplies Ltd\n' >"$demo/company/Harbourside/CUSTOMER.DAT"
for file in File Field Index Attrib; do
    printf '%s dictionary of the sample application\n' "$file" >"$demo/master/$file.ddf"
done
ls "$demo/company/Harbourside" "$demo/master"

step "Provisioning the company folder as HARBOURSIDE on the local engine"
varnholt provision "$demo/company/Harbourside" --name HARBOURSIDE --master "$demo/master"
ls "$demo/company/Harbourside"

step "The engine's database names"
varnholt list

step "Opening the connection with the test table CUSTOMER"
varnholt connect HARBOURSIDE --test-table CUSTOMER

step "The connection string"
varnholt connection-string HARBOURSIDE

printf '\nDone: the demo engine stays in %s.\n' "$demo"
