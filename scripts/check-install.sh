#!/usr/bin/env bash
# The C++ route: installs the build into a temporary prefix, checks the layout and the CMake
# package's version rules, then builds examples/consumer against the installed tree twice
# (find_package and pkg-config) and runs both programs, and runs the installed tool on the
# installed stand-in engine.
#
# Uses the default preset's build (build/default); VARNHOLT_BUILD_DIR names another.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

if [ -n "${VARNHOLT_BUILD_DIR:-}" ]; then
    build=$VARNHOLT_BUILD_DIR
    cmake -S . -B "$build" >/dev/null
else
    build=$root/build/default
    cmake --preset default >/dev/null
fi
cmake --build "$build" -j2 --target varnholt varnholt-cli standin

work=$(mktemp -d "${TMPDIR:-/tmp}/varnholt-install.XXXXXX")
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
expect_file() { [ -e "$1" ] || fail "missing ${1#"$prefix"/}"; }

echo "==> Installing into $prefix"
cmake --install "$build" --prefix "$prefix" >"$work/install.log"
pc=$(find "$prefix" -name varnholt.pc -print -quit)
[ -n "$pc" ] || { echo "FAILED: no varnholt.pc installed"; exit 1; }
libdir=$(dirname "$(dirname "$pc")")
version=$("$prefix/bin/varnholt" --version)
version=${version#varnholt }
major=${version%%.*}

# The public headers exactly, each one complete with only the installed ones beside it.
[ "$(cd include/varnholt && ls)" = "$(cd "$prefix/include/varnholt" && ls)" ] ||
    fail "installed headers differ from include/varnholt"
for header in "$prefix"/include/varnholt/*.h; do
    printf '#include "varnholt/%s"\n' "${header##*/}" |
        c++ -std=c++20 -fsyntax-only -Wall -Wextra -Werror -I"$prefix/include" -x c++ - ||
        fail "${header#"$prefix"/} does not compile on its own"
done
expect_file "$libdir/libvarnholt.so.$version"
[ "$(readlink "$libdir/libvarnholt.so.$major")" = "libvarnholt.so.$version" ] || fail "libvarnholt.so.$major link"
[ "$(readlink "$libdir/libvarnholt.so")" = "libvarnholt.so.$major" ] || fail "libvarnholt.so link"
readelf -d "$libdir/libvarnholt.so.$version" | grep "SONAME.*\[libvarnholt.so.$major\]" >/dev/null || fail "SONAME"
expect_file "$libdir/cmake/Varnholt/VarnholtConfig.cmake"
expect_file "$prefix/share/bash-completion/completions/varnholt"
for package in "libvarnholt$major" libvarnholt-dev varnholt; do
    cmp -s packaging/debian/copyright "$prefix/share/doc/$package/copyright" || fail "share/doc/$package/copyright"
done
expect_file "$libdir/cmake/Varnholt/VarnholtConfigVersion.cmake"
[ "$(PKG_CONFIG_PATH=$(dirname "$pc") pkg-config --modversion varnholt)" = "$version" ] ||
    fail "pkg-config version is not the tool's $version"
grep -qx "prefix=$prefix" "$pc" || fail "varnholt.pc does not name the install prefix"

echo "==> find_package version rules (SameMajorVersion, $version installed)"
mkdir -p "$work/versions"
cat >"$work/versions/CMakeLists.txt" <<'EOF'
cmake_minimum_required(VERSION 3.25)
project(VersionRules LANGUAGES CXX)
foreach(asked IN LISTS ASKED)
  find_package(Varnholt ${asked} CONFIG QUIET)
  message(STATUS "asked ${asked}: found=${Varnholt_FOUND} version=${Varnholt_VERSION}")
  unset(Varnholt_DIR CACHE)
endforeach()
EOF
asked="$major.0;$version;$major.99;$((major - 1)).0;$((major + 1)).0"
cmake -S "$work/versions" -B "$work/versions/build" -DCMAKE_PREFIX_PATH="$prefix" "-DASKED=$asked" \
    >"$work/versions.log" 2>&1 || { cat "$work/versions.log"; fail "version probe did not configure"; }
for want in "$major.0: found=1 version=$version" "$version: found=1" "$major.99: found=0" \
            "$((major - 1)).0: found=0" "$((major + 1)).0: found=0"; do
    grep -q -- "asked $want" "$work/versions.log" || fail "find_package(Varnholt ${want%%:*}) should give ${want#*: }"
done

# A drive table so that PathToUNC has a share to map to.
mkdir -p "$work/share/Lakeside"
printf 'S:\tremote\t%s\t\\\\FS01\\apps\n' "$work/share" >"$work/drives"
expected="PathToUNC: \\\\FS01\\apps\\Lakeside\\2024
LegitimiseDBName: Harbourside2024
PSQLConnectionString: Driver={Pervasive ODBC Client Interface};ServerName=FS01;dbq=@HARBOURSIDE"

run_consumer() {
    local name=$1 program=$2
    shift 2
    local output
    if ! output=$(env VARNHOLT_DRIVES="$work/drives" "$@" "$program" 'S:\Lakeside\2024' 2>&1); then
        fail "$name consumer: $output"
        return
    fi
    printf '%s\n' "$output"
    [ "$output" = "$expected" ] || fail "$name consumer printed something else; expected:"$'\n'"$expected"
    env "$@" ldd "$program" | grep "libvarnholt.so.$major => $libdir/" >/dev/null || fail "$name consumer did not load $libdir's library"
}

echo "==> examples/consumer through find_package(Varnholt CONFIG)"
cmake -S examples/consumer -B "$work/cmake-build" -DCMAKE_PREFIX_PATH="$prefix" >"$work/consumer-cmake.log"
cmake --build "$work/cmake-build" >>"$work/consumer-cmake.log" || { cat "$work/consumer-cmake.log"; exit 1; }
run_consumer CMake "$work/cmake-build/consumer"

echo "==> examples/consumer through pkg-config --cflags --libs varnholt"
mkdir -p "$work/pc-build"
PKG_CONFIG_PATH=$(dirname "$pc") make -s -C "$work/pc-build" -f "$root/examples/consumer/Makefile"
run_consumer pkg-config "$work/pc-build/consumer-pc" LD_LIBRARY_PATH="$libdir"

echo "==> The installed tool on the installed stand-in engine"
mkdir -p "$work/engine" "$work/company/Harbourside" "$work/master"
echo data >"$work/company/Harbourside/CUSTOMER.DAT"
for file in File Field Index Attrib; do echo dictionary >"$work/master/$file.ddf"; done
tool() { env -u LD_LIBRARY_PATH -u ODBCSYSINI VARNHOLT_ENGINE_HOME="$work/engine" "$prefix/bin/varnholt" "$@"; }
if tool provision "$work/company/Harbourside" --name HARBOURSIDE --master "$work/master" >"$work/tool.log" 2>&1 &&
   LD_DEBUG=files tool connect HARBOURSIDE --test-table CUSTOMER >>"$work/tool.log" 2>"$work/ld.log"; then
    # Every engine file it loaded must be the installed one, not the build tree's.
    loaded=$(sed -n 's/.*opening file=\([^ ]*\(w3dbav\|standin_odbc\)[^ ]*\) .*/\1/p' "$work/ld.log" |
             xargs -r -n1 realpath -m | sort -u)
    [ -n "$loaded" ] || fail "the tool loaded no engine library"
    ! grep -v "^$libdir/varnholt/" <<<"$loaded" >/dev/null || fail "the tool loaded $(tr '\n' ' ' <<<"$loaded")"
    grep -qx "Test query on CUSTOMER succeeded." "$work/tool.log" || fail "the tool's test query"
    cat "$work/tool.log"
else
    cat "$work/tool.log" "$work/ld.log"
    fail "the installed tool's scenario"
fi

if [ "$failures" -ne 0 ]; then
    echo "check-install: $failures failure(s)"
    exit 1
fi
echo "check-install: passed (varnholt $version)"
