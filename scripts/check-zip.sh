#!/usr/bin/env bash
# The Windows route: builds Varnholt.dll with the mingw-x64 and mingw-x86 presets, makes the zip
# with cpack and checks it: the file list, each DLL's architecture, exports and imports, each
# type library's bitness, the text files. Where Wine is installed it then follows INSTALL.txt on
# the unpacked zip: registers each DLL with regsvr32, runs sample.vbs with and without the
# stand-in engine's W3DBAV*.DLL on the search path, and unregisters.
#
# Build folders: build/mingw-x64 and build/mingw-x86 (the presets') and build/zip;
# VARNHOLT_BUILD_ROOT names another parent folder. VARNHOLT_ZIP_WINE=0 skips the Wine run.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
builds=$(realpath -m "${VARNHOLT_BUILD_ROOT:-$root/build}")
zipbuild=$builds/zip
version=$(sed -n 's/^project(Varnholt VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)

wine_run=1
if [ "${VARNHOLT_ZIP_WINE:-1}" = 0 ]; then
    wine_run=0
elif ! command -v wine >/dev/null; then
    echo "Wine is not installed: the zip's contents are checked, sample.vbs is not run"
    wine_run=0
fi

for arch in x64 x86; do
    echo "==> Building Varnholt.dll (mingw-$arch)"
    cmake --preset "mingw-$arch" -B "$builds/mingw-$arch" >/dev/null
    targets=(Varnholt)
    [ "$wine_run" = 0 ] || targets+=(standin)
    cmake --build "$builds/mingw-$arch" -j2 --target "${targets[@]}"
done

echo "==> Making the zip"
cmake -S packaging/windows -B "$zipbuild" -DVARNHOLT_X64_BUILD="$builds/mingw-x64" \
    -DVARNHOLT_X86_BUILD="$builds/mingw-x86" >/dev/null
rm -rf "$zipbuild/packages"
if ! cpack --config "$zipbuild/CPackConfig.cmake" -B "$zipbuild/packages" >"$zipbuild/cpack.log" 2>&1; then
    cat "$zipbuild/cpack.log"
    exit 1
fi
zip=$zipbuild/packages/Varnholt-$version-windows.zip
[ -f "$zip" ] || { echo "FAILED: no $(basename "$zip")"; ls "$zipbuild/packages"; exit 1; }
unzip -l "$zip"

work=$(mktemp -d "${TMPDIR:-/tmp}/varnholt-zip.XXXXXX")
cleanup() {
    [ "$wine_run" = 0 ] || wineserver -k >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

echo "==> Contents"
listed=$(unzip -Z1 "$zip" | grep -v '/$' | sort | tr '\n' ' ')
wanted="INSTALL.txt LICENSE.txt sample.vbs x64/Varnholt.dll x64/Varnholt.tlb x86/Varnholt.dll x86/Varnholt.tlb "
[ "$listed" = "$wanted" ] || fail "the zip holds [$listed], expected [$wanted]"
unpacked=$work/Varnholt
unzip -q "$zip" -d "$unpacked"

for arch in x64 x86; do
    dll=$unpacked/$arch/Varnholt.dll
    tlb=$unpacked/$arch/Varnholt.tlb
    if [ ! -f "$dll" ] || [ ! -f "$tlb" ]; then continue; fi
    if [ "$arch" = x64 ]; then format=pei-x86-64 syskind=3; else format=pei-i386 syskind=1; fi
    x86_64-w64-mingw32-objdump -f "$dll" | grep "file format $format" >/dev/null || fail "$arch/Varnholt.dll is not $format"
    headers=$(x86_64-w64-mingw32-objdump -p "$dll")
    for export in DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer; do
        grep -Eq "^[[:space:]]*\[ *[0-9]+\] $export\$" <<<"$headers" || fail "$arch/Varnholt.dll does not export $export"
    done
    # The compiler's run-time DLLs are not shipped, so none may be imported.
    runtime=$(grep 'DLL Name:' <<<"$headers" | grep -i -E 'lib(gcc|stdc|winpthread)' || true)
    [ -z "$runtime" ] || fail "$arch/Varnholt.dll imports $runtime"
    [ "$(head -c 4 "$tlb")" = MSFT ] || fail "$arch/Varnholt.tlb is not a type library"
    [ $(($(od -A n -t u1 -j 20 -N 1 "$tlb") & 15)) = "$syskind" ] || fail "$arch/Varnholt.tlb is not for $arch"
    cmp -s "$tlb" "$builds/mingw-$arch/src/component/generated/varnholt.tlb" || fail "$arch/Varnholt.tlb is not the build's"
done
for text in INSTALL.txt LICENSE.txt sample.vbs; do
    ! grep -q $'[^\r]$' "$unpacked/$text" || fail "$text has lines without CRLF"
done
grep -qF "Varnholt $version for Windows" "$unpacked/INSTALL.txt" || fail "INSTALL.txt does not name version $version"
grep -qF '%WINDIR%\SysWOW64\regsvr32 "C:\Program Files\Varnholt\x86\Varnholt.dll"' "$unpacked/INSTALL.txt" ||
    fail "INSTALL.txt lacks the SysWOW64 regsvr32 line"
! grep -q '@[A-Z_]*@' "$unpacked/INSTALL.txt" || fail "INSTALL.txt has an unreplaced placeholder"

if [ "$wine_run" = 1 ]; then
    echo "==> INSTALL.txt under Wine: regsvr32, sample.vbs, regsvr32 /u"
    export WINEPREFIX=$zipbuild/wine-prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        /usr/lib/wine/wine64 wineboot -i >"$work/wineboot.log" 2>&1 || { cat "$work/wineboot.log"; exit 1; }
        wineserver -w
    fi
    windows_path() { echo "Z:${1//\//\\}"; }
    mkdir -p "$work/engine"
    printf 'version=9.5.0\nplatform=W\n' >"$work/engine/engine.conf"
    export VARNHOLT_ENGINE_HOME; VARNHOLT_ENGINE_HOME=$(windows_path "$work/engine")
    sample=$(windows_path "$unpacked/sample.vbs")
    first_lines="Connection string: Driver={Pervasive ODBC Client Interface};ServerName=FS01;dbq=@HARBOURSIDE
PathToUNC(C:\\Data): C:\\Data"
    for arch in x64 x86; do
        if [ "$arch" = x64 ]; then loader=/usr/lib/wine/wine64; else loader=/usr/lib/wine/wine; fi
        [ -x "$loader" ] || { echo "skipping $arch: $loader missing (install wine32)"; continue; }
        "$loader" --version >/dev/null 2>&1 || { echo "skipping $arch: this kernel cannot execute $loader"; continue; }
        dll=$(windows_path "$unpacked/$arch/Varnholt.dll")
        # Once, in CI, every wine64 call right after the prefix was made failed at once; wait
        # until the loader answers, so what fails below is the component's doing.
        for _ in 1 2 3 4 5; do $loader cmd /c exit >/dev/null 2>&1 && break; sleep 2; done
        $loader regsvr32 /s "$dll" >"$work/regsvr32-$arch.log" 2>&1 ||
            { fail "$arch regsvr32 (status $?)"; sed 's/^/  /' "$work/regsvr32-$arch.log"; }
        # With the engine's libraries on the search path, then without them.
        WINEPATH=$(windows_path "$builds/mingw-$arch/standin/scenarios/all") \
            $loader cscript //nologo "$sample" >"$work/sample-$arch.log" 2>&1 || true
        WINEPATH='' $loader cscript //nologo "$sample" >"$work/sample-$arch-noengine.log" 2>&1 || true
        for run in "" -noengine; do
            printf '%s %s:\n' "$arch" "sample.vbs${run:+ without W3DBAV*.DLL}"
            tr -d '\r' <"$work/sample-$arch$run.log" | sed 's/^/  /'
        done
        [ "$(tr -d '\r' <"$work/sample-$arch.log")" = "$first_lines"$'\n'"Engine version: 9.5.0" ] ||
            fail "$arch sample.vbs output"
        [ "$(tr -d '\r' <"$work/sample-$arch-noengine.log")" = "$first_lines"$'\n'"GetEngineVersion failed: error 53: File not found: W3DBAV78.DLL" ] ||
            fail "$arch sample.vbs output without the engine's libraries"
        $loader regsvr32 /s /u "$dll" >>"$work/regsvr32-$arch.log" 2>&1 || fail "$arch regsvr32 /u"
        ! $loader reg query 'HKCR\Varnholt.ConnectionHelper' >/dev/null 2>&1 || fail "$arch: still registered after /u"
        wineserver -w
    done
fi

if [ "$failures" -ne 0 ]; then
    echo "check-zip: $failures failure(s)"
    exit 1
fi
echo "check-zip: passed ($(basename "$zip"))"
