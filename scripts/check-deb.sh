#!/usr/bin/env bash
# The Debian route: builds the package with cpack, checks its control data and contents, unpacks
# it with dpkg -x into a scratch folder (no root install) and, with LD_LIBRARY_PATH unset, runs
# the tool's scenario from the unpacked files: version, provision a sample company, list,
# connection-string, connect. Also builds examples/consumer against the unpacked CMake package.
#
# Builds in build/deb (RelWithDebInfo, prefix /usr, no tests); VARNHOLT_BUILD_DIR names another.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$(realpath -m "${VARNHOLT_BUILD_DIR:-$root/build/deb}")

echo "==> Building the package in $build"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
    -DVARNHOLT_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2
rm -rf "$build/packages"
if ! (cd "$build" && cpack -G DEB -B "$build/packages") >"$build/cpack.log" 2>&1; then
    cat "$build/cpack.log"
    exit 1
fi
deb=$(find "$build/packages" -maxdepth 1 -name 'varnholt_*.deb' -print -quit)
echo "$deb"

work=$(mktemp -d "${TMPDIR:-/tmp}/varnholt-deb.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

unpacked=$work/root
dpkg -x "$deb" "$unpacked"
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
private=usr/lib/$multiarch/varnholt
tool=$unpacked/usr/bin/varnholt
version=$(env -u LD_LIBRARY_PATH "$tool" --version)
version=${version#varnholt }
major=${version%%.*}

echo "==> Control data and contents (varnholt $version)"
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = varnholt ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version-1" ] || fail "Version $(field Version) is not the tool's $version-1"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture: $(field Architecture)"
field Depends | tr ',' '\n' | grep -E '^ *libodbc2( |$)' >/dev/null || fail "Depends lacks libodbc2: $(field Depends)"

dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./||' >"$work/contents"
for path in usr/bin/varnholt usr/share/man/man1/varnholt.1.gz \
            "usr/lib/$multiarch/libvarnholt.so.$version" "usr/lib/$multiarch/libvarnholt.so.$major" \
            "usr/lib/$multiarch/libvarnholt.so" usr/include/varnholt/ConnectionHelper.h \
            "usr/lib/$multiarch/cmake/Varnholt/VarnholtConfig.cmake" \
            "usr/lib/$multiarch/cmake/Varnholt/VarnholtConfigVersion.cmake" \
            "usr/lib/$multiarch/pkgconfig/varnholt.pc" \
            "$private/libw3dbav75.so" "$private/libw3dbav78.so" "$private/libw3dbav80.so" \
            "$private/libw3dbav90.so" "$private/libvarnholt_standin_odbc.so" "$private/odbcinst.ini"; do
    grep -qx "$path" "$work/contents" || fail "package lacks /$path"
done
outside=$(grep -v -e '^usr/' -e '^$' "$work/contents" || true)
[ -z "$outside" ] || fail "files outside /usr (nothing may go to /etc): $outside"

driver_line=$(grep '^Driver=' "$unpacked/$private/odbcinst.ini")
[ "$driver_line" = "Driver=/$private/libvarnholt_standin_odbc.so" ] || fail "odbcinst.ini: $driver_line"
grep -qx "prefix=/usr" "$unpacked/usr/lib/$multiarch/pkgconfig/varnholt.pc" || fail "varnholt.pc prefix"
runpath=$(readelf -d "$tool" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
[ "$runpath" = "\$ORIGIN/../lib/$multiarch/varnholt" ] || fail "the tool's RUNPATH is '$runpath'"
for library in "$unpacked/usr/lib/$multiarch/libvarnholt.so.$version" "$unpacked/$private"/*.so; do
    library=${library#"$unpacked"/}
    ! readelf -d "$unpacked/$library" | grep -E '\((RPATH|RUNPATH)\)' >/dev/null || fail "/$library has a runpath"
done
if command -v groff >/dev/null; then
    warnings=$(zcat "$unpacked/usr/share/man/man1/varnholt.1.gz" | groff -man -Tutf8 -ww -z 2>&1)
    [ -z "$warnings" ] || fail "manual page: $warnings"
fi

echo "==> The tool's scenario from the unpacked files"
scenario=$work/scenario
mkdir -p "$scenario/engine" "$scenario/company/Harbourside" "$scenario/master"
printf 'C0001\tHarbour Supplies Ltd\n' >"$scenario/company/Harbourside/CUSTOMER.DAT"
for file in File Field Index Attrib; do printf '%s dictionary\n' "$file" >"$scenario/master/$file.ddf"; done

# The tool as an administrator runs it: no library path, no ODBC configuration of the caller's.
varnholt() { env -u LD_LIBRARY_PATH -u ODBCSYSINI -u VARNHOLT_DRIVES VARNHOLT_ENGINE_HOME="$scenario/engine" "$tool" "$@"; }
# Fails unless every file of the given kind that a run loads lies in the unpacked private folder.
loads_only_unpacked() {
    local what=$1 pattern=$2 log=$3
    local loaded
    loaded=$(sed -n "s/.*opening file=\([^ ]*${pattern}[^ ]*\) .*/\1/p" "$log" |
             xargs -r -n1 realpath -m | sort -u)
    [ -n "$loaded" ] || { fail "$what: nothing matching $pattern was loaded"; return; }
    ! grep -v "^$unpacked/$private/" <<<"$loaded" >/dev/null || fail "$what loaded $(tr '\n' ' ' <<<"$loaded")"
}
# Runs the tool, shows its output and keeps it in $work/out; a failure counts.
step() {
    printf '$ varnholt %s\n' "$*"
    local status=0
    varnholt "$@" >"$work/out" 2>"$work/err" || status=$?
    cat "$work/out" "$work/err"
    [ "$status" = 0 ] || fail "varnholt $* (exit status $status)"
}

step version
grep -q '^Administration  generation 9$' "$work/out" || fail "version: no generation 9"
LD_DEBUG=files varnholt version >/dev/null 2>"$work/ld-version.log" || true
loads_only_unpacked "version" "libw3dbav" "$work/ld-version.log"

step provision "$scenario/company/Harbourside" --name HARBOURSIDE --master "$scenario/master"
server=$(varnholt path computer-name)
connection="Driver={Pervasive ODBC Client Interface};ServerName=$server;dbq=@HARBOURSIDE"
[ "$(cat "$work/out")" = "Created database name HARBOURSIDE."$'\n'"$connection" ] || fail "provision output"
[ -f "$scenario/company/Harbourside/Attrib.ddf" ] || fail "provision did not copy the dictionary files"

step list
grep -Eq "^HARBOURSIDE +$scenario/company/Harbourside +$scenario/company/Harbourside$" "$work/out" ||
    fail "list does not show HARBOURSIDE with its folders"

step connection-string HARBOURSIDE
[ "$(cat "$work/out")" = "$connection" ] || fail "connection-string"

# The driver the packaged odbcinst.ini names is /usr's, which only an installed package has: the
# tool must pick that file by itself, and reach the driver where the package put it.
installed_driver=/$private/libvarnholt_standin_odbc.so
printf '$ varnholt connect HARBOURSIDE --test-table CUSTOMER   (the packaged odbcinst.ini)\n'
if [ -e "$installed_driver" ]; then
    varnholt connect HARBOURSIDE --test-table CUSTOMER || fail "connect through the installed driver"
else
    status=0
    varnholt connect HARBOURSIDE --test-table CUSTOMER >"$work/out" 2>"$work/err" || status=$?
    cat "$work/err"
    if [ "$status" != 1 ] || ! grep -qF "Can't open lib '$installed_driver'" "$work/err"; then
        fail "the tool did not select the packaged odbcinst.ini (exit status $status)"
    fi
fi

# The same registration with Driver= moved to the unpacked tree, as installing would place it.
mkdir -p "$work/odbc"
sed "s|^Driver=/|Driver=$unpacked/|" "$unpacked/$private/odbcinst.ini" >"$work/odbc/odbcinst.ini"
printf '$ ODBCSYSINI=<unpacked registration> varnholt connect HARBOURSIDE --test-table CUSTOMER\n'
connect_unpacked() {
    env -u LD_LIBRARY_PATH ODBCSYSINI="$work/odbc" VARNHOLT_ENGINE_HOME="$scenario/engine" \
        "$tool" connect HARBOURSIDE --test-table CUSTOMER
}
if connect_unpacked >"$work/out" 2>&1; then
    cat "$work/out"
    [ "$(cat "$work/out")" = "Opened $connection"$'\n'"Test query on CUSTOMER succeeded." ] || fail "connect output"
else
    cat "$work/out"
    fail "connect through the unpacked driver"
fi
LD_DEBUG=files connect_unpacked >/dev/null 2>"$work/ld-connect.log" || true
loads_only_unpacked "connect" "libvarnholt_standin_odbc" "$work/ld-connect.log"

echo "==> examples/consumer against the unpacked CMake package"
if cmake -S examples/consumer -B "$work/consumer" -DCMAKE_PREFIX_PATH="$unpacked/usr" >"$work/consumer.log" 2>&1 &&
   cmake --build "$work/consumer" >>"$work/consumer.log" 2>&1; then
    env -u LD_LIBRARY_PATH "$work/consumer/consumer" | grep -x "$(printf 'PSQLConnectionString: %s' \
        'Driver={Pervasive ODBC Client Interface};ServerName=FS01;dbq=@HARBOURSIDE')" || fail "consumer output"
    ldd "$work/consumer/consumer" | grep "libvarnholt.so.$major => $unpacked/" >/dev/null ||
        fail "the consumer did not load the unpacked library"
else
    cat "$work/consumer.log"
    fail "examples/consumer did not build against the unpacked package"
fi

if [ "$failures" -ne 0 ]; then
    echo "check-deb: $failures failure(s)"
    exit 1
fi
echo "check-deb: passed ($(basename "$deb"))"
