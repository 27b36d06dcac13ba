#!/usr/bin/env bash
# The Debian route: builds the three packages with cpack (libvarnholt26, libvarnholt-dev,
# varnholt), checks their control data, contents, copyright and changelog, runs lintian on each
# (errors and warnings fail), unpacks all three with dpkg -x into one scratch root (no root
# install) and, with LD_LIBRARY_PATH unset, runs the tool's scenario from the unpacked files:
# version, provision a sample company, list, connection-string, connect, and the bash completion
# of a database name. Then builds examples/consumer against the unpacked development files, with
# their CMake package and with pkg-config.
#
# Builds in build/deb (RelWithDebInfo, prefix /usr, no tests); VARNHOLT_BUILD_DIR names another.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$(realpath -m "${VARNHOLT_BUILD_DIR:-$root/build/deb}")

echo "==> Building the packages in $build"
# With the flags Debian builds its packages with, hardening included (relro, bindnow, fortify).
flags() { DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$1"; }
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
    -DVARNHOLT_BUILD_TESTS=OFF \
    "-DCMAKE_C_FLAGS=$(flags CPPFLAGS) $(flags CFLAGS)" "-DCMAKE_CXX_FLAGS=$(flags CPPFLAGS) $(flags CXXFLAGS)" \
    "-DCMAKE_EXE_LINKER_FLAGS=$(flags LDFLAGS)" "-DCMAKE_SHARED_LINKER_FLAGS=$(flags LDFLAGS)" \
    "-DCMAKE_MODULE_LINKER_FLAGS=$(flags LDFLAGS)" >/dev/null
cmake --build "$build" -j2
rm -rf "$build/packages"
if ! (cd "$build" && cpack -G DEB -B "$build/packages") >"$build/cpack.log" 2>&1; then
    cat "$build/cpack.log"
    exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/varnholt-deb.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

changelog=packaging/debian/changelog
debian_version=$(dpkg-parsechangelog -l "$changelog" -S Version)
maintainer=$(dpkg-parsechangelog -l "$changelog" -S Maintainer)
arch=$(dpkg --print-architecture)
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
private=usr/lib/$multiarch/varnholt
major=${debian_version%%.*}
runtime=libvarnholt$major
packages="$runtime libvarnholt-dev varnholt"
deb() { echo "$build/packages/${1}_${debian_version}_$arch.deb"; }
for package in $packages; do
    [ -f "$(deb "$package")" ] || { ls "$build/packages"; echo "FAILED: cpack made no $(basename "$(deb "$package")")"; exit 1; }
    echo "$(deb "$package")"
done
made=$(find "$build/packages" -maxdepth 1 -name '*.deb' | wc -l)
[ "$made" = 3 ] || fail "cpack made $made packages, not 3"

unpacked=$work/root
for package in $packages; do dpkg -x "$(deb "$package")" "$unpacked"; done
tool=$unpacked/usr/bin/varnholt
version=$(env -u LD_LIBRARY_PATH "$tool" --version)
version=${version#varnholt }
[ "$debian_version" = "$version-${debian_version##*-}" ] ||
    fail "the newest entry of $changelog is $debian_version, the tool is $version"

echo "==> Control data, contents, copyright and changelog (varnholt $version)"
# The paths each package must hold; whatever else it holds is listed by the contents check below.
wanted_libvarnholt=("usr/lib/$multiarch/libvarnholt.so.$version" "usr/lib/$multiarch/libvarnholt.so.$major")
wanted_dev=(usr/include/varnholt/ConnectionHelper.h "usr/lib/$multiarch/libvarnholt.so"
            "usr/lib/$multiarch/cmake/Varnholt/VarnholtConfig.cmake"
            "usr/lib/$multiarch/cmake/Varnholt/VarnholtConfigVersion.cmake"
            "usr/lib/$multiarch/pkgconfig/varnholt.pc")
wanted_tool=(usr/bin/varnholt usr/share/man/man1/varnholt.1.gz usr/share/bash-completion/completions/varnholt
             "$private/libw3dbav75.so" "$private/libw3dbav78.so" "$private/libw3dbav80.so"
             "$private/libw3dbav90.so" "$private/libvarnholt_standin_odbc.so" "$private/odbcinst.ini")
cp "$changelog" "$work/changelog"
for package in $packages; do
    file=$(deb "$package")
    field() { dpkg-deb -f "$file" "$1"; }
    [ "$(field Package)" = "$package" ] || fail "$package: Package: $(field Package)"
    [ "$(field Version)" = "$debian_version" ] || fail "$package: Version $(field Version)"
    [ "$(field Architecture)" = "$arch" ] || fail "$package: Architecture: $(field Architecture)"
    [ "$(field Maintainer)" = "$maintainer" ] || fail "$package: Maintainer '$(field Maintainer)' is not the changelog's"
    dpkg-deb -c "$file" | awk '{print $6}' | sed 's|^\./||' >"$work/$package.contents"
    case $package in
        "$runtime") wanted=("${wanted_libvarnholt[@]}") ;;
        libvarnholt-dev) wanted=("${wanted_dev[@]}") ;;
        varnholt) wanted=("${wanted_tool[@]}") ;;
    esac
    for path in "${wanted[@]}" "usr/share/doc/$package/copyright" "usr/share/doc/$package/changelog.Debian.gz"; do
        grep -qx "$path" "$work/$package.contents" || fail "$package lacks /$path"
    done
    outside=$(grep -v -e '^usr/' -e '^$' "$work/$package.contents" || true)
    [ -z "$outside" ] || fail "$package: files outside /usr (nothing may go to /etc): $outside"
    cmp -s packaging/debian/copyright "$unpacked/usr/share/doc/$package/copyright" || fail "$package: copyright"
    zcat "$unpacked/usr/share/doc/$package/changelog.Debian.gz" | cmp -s - "$work/changelog" ||
        fail "$package: changelog.Debian.gz is not $changelog"
done
depends() { dpkg-deb -f "$(deb "$1")" Depends | tr ',' '\n' | sed 's/^ *//'; }
depends "$runtime" | grep -E '^libodbc2( |$)' >/dev/null || fail "$runtime does not depend on libodbc2"
depends libvarnholt-dev | grep -qx "$runtime (= $debian_version)" || fail "libvarnholt-dev does not depend on $runtime (= $debian_version)"
depends varnholt | grep -E '^libodbc2( |$)' >/dev/null || fail "varnholt does not depend on libodbc2"
# The library is in no other package, and only the development package has its unversioned link.
! grep -h 'libvarnholt\.so' "$work/libvarnholt-dev.contents" "$work/varnholt.contents" | grep -vx "usr/lib/$multiarch/libvarnholt.so" >/dev/null ||
    fail "a versioned libvarnholt.so outside $runtime"
! grep -qx "usr/lib/$multiarch/libvarnholt.so" "$work/$runtime.contents" || fail "$runtime has the unversioned libvarnholt.so"
soname=$(readelf -d "$unpacked/usr/lib/$multiarch/libvarnholt.so.$version" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
[ "$soname" = "libvarnholt.so.$major" ] || fail "SONAME $soname, not libvarnholt.so.$major"
dpkg-deb --ctrl-tarfile "$(deb "$runtime")" | tar -xO ./shlibs >"$work/shlibs" 2>/dev/null || true
grep -qx "libvarnholt $major $runtime (>= $version)" "$work/shlibs" || fail "$runtime's shlibs: $(cat "$work/shlibs")"

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

echo "==> lintian"
if command -v lintian >/dev/null; then
    for package in $packages; do
        # Root is warned about on stderr; the tags are on stdout.
        if ! lintian --fail-on error,warning --tag-display-limit 0 "$(deb "$package")" 2>/dev/null >"$work/lintian"; then
            cat "$work/lintian"
            fail "lintian: $package"
        else
            echo "$package: clean"
        fi
    done
else
    fail "lintian is not installed (apt-get install lintian)"
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

echo "==> Bash completion from the unpacked package"
completed=$(env -u LD_LIBRARY_PATH VARNHOLT_ENGINE_HOME="$scenario/engine" bash -c '
    source "$1/usr/share/bash-completion/completions/varnholt"
    COMP_WORDS=("$1/usr/bin/varnholt" connect HARB); COMP_CWORD=2
    _varnholt; printf "%s\n" "${COMPREPLY[@]}"' completion "$unpacked")
[ "$completed" = HARBOURSIDE ] || fail "completing 'varnholt connect HARB' gave '$completed'"

echo "==> examples/consumer against the unpacked development package"
expected='PSQLConnectionString: Driver={Pervasive ODBC Client Interface};ServerName=FS01;dbq=@HARBOURSIDE'
if cmake -S examples/consumer -B "$work/consumer" -DCMAKE_PREFIX_PATH="$unpacked/usr" >"$work/consumer.log" 2>&1 &&
   cmake --build "$work/consumer" >>"$work/consumer.log" 2>&1; then
    env -u LD_LIBRARY_PATH "$work/consumer/consumer" | grep -xF "$expected" || fail "CMake consumer output"
    ldd "$work/consumer/consumer" | grep "libvarnholt.so.$major => $unpacked/" >/dev/null ||
        fail "the CMake consumer did not load the unpacked library"
else
    cat "$work/consumer.log"
    fail "examples/consumer did not build against the unpacked CMake package"
fi
# The .pc names /usr: the sysroot maps it into the scratch root.
mkdir -p "$work/pc"
if PKG_CONFIG_PATH= PKG_CONFIG_LIBDIR="$unpacked/usr/lib/$multiarch/pkgconfig" PKG_CONFIG_SYSROOT_DIR="$unpacked" \
       make -s -C "$work/pc" -f "$root/examples/consumer/Makefile" >"$work/pc.log" 2>&1; then
    LD_LIBRARY_PATH="$unpacked/usr/lib/$multiarch" "$work/pc/consumer-pc" | grep -xF "$expected" ||
        fail "pkg-config consumer output"
    LD_LIBRARY_PATH="$unpacked/usr/lib/$multiarch" ldd "$work/pc/consumer-pc" |
        grep "libvarnholt.so.$major => $unpacked/" >/dev/null || fail "the pkg-config consumer did not load the unpacked library"
else
    cat "$work/pc.log"
    fail "examples/consumer did not build with the unpacked package's pkg-config file"
fi

if [ "$failures" -ne 0 ]; then
    echo "check-deb: $failures failure(s)"
    exit 1
fi
echo "check-deb: passed ($packages $debian_version)"
