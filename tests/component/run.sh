#!/usr/bin/env bash
# The Windows component under Wine: builds Varnholt.dll and the test programs with the
# mingw-x64 and mingw-x86 presets, then, per architecture, in a private Wine prefix under
# build/: registers the DLL and the test-only ADO server and checks the registry, reads the type
# library back, runs the marshalling test, the early-bound C++ client and the VBScript suite,
# unregisters both and checks that the keys are gone. Prints one "N passed, M failed" line;
# exits non-zero on any failure.
#
# With Xvfb, xdotool and ImageMagick installed, every Wine process runs on a virtual display of its
# own and login_dialog.sh answers the login dialog there (else those checks are skipped).
#
# VARNHOLT_WINE_ARCHS selects architectures (default "x64 x86"); x86 runs need wine32.
# VARNHOLT_SCREENSHOTS=<folder> keeps the x64 dialog's screenshots there (docs/images).
# VARNHOLT_WINE_BUILD=<folder> puts the two builds and the Wine prefix there instead of build/,
# so that several checkouts or people can run it side by side.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
here=$root/tests/component
builds=${VARNHOLT_WINE_BUILD:-$root/build}
work=$builds/wine-tests
archs=${VARNHOLT_WINE_ARCHS:-"x64 x86"}
passed=0
failed=0

pass() { passed=$((passed + 1)); }
fail() { failed=$((failed + 1)); echo "FAILED: $*"; }
windows_path() { echo "Z:${1//\//\\}"; }

for tool in widl x86_64-w64-mingw32-g++-posix wineserver /usr/lib/wine/wine64; do
    command -v "$tool" >/dev/null || { echo "missing $tool (packages: mingw-w64 wine wine64 libwine-dev)"; exit 2; }
done

# Build both presets; a build failure is a failure of the whole run.
for arch in $archs; do
    mkdir -p "$(dirname "$work")"
    if ! cmake -S "$root" -B "$builds/mingw-$arch" --toolchain "$root/cmake/mingw-$arch.cmake" \
           -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$work-configure-$arch.log" 2>&1 ||
       ! cmake --build "$builds/mingw-$arch" -j2 --target windows_tests >"$work-build-$arch.log" 2>&1; then
        echo "build mingw-$arch failed:"; tail -30 "$work-build-$arch.log" 2>/dev/null || cat "$work-configure-$arch.log"
        echo "0 passed, 1 failed"; exit 1
    fi
    if grep -q 'warning:' "$work-build-$arch.log"; then fail "mingw-$arch build has warnings"; else pass; fi
done

mkdir -p "$work"
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
xvfb=
cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    if [ -n "$xvfb" ]; then kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null; fi
}
trap cleanup EXIT
# A Wine server left from an earlier run would keep that run's display.
wineserver -k >/dev/null 2>&1 || true

# The display is chosen before the first Wine process: Wine's desktop process starts with that
# process and keeps its display for every later one, so a dialog shown after display-less steps
# would never reach the screen.
dialog_tools=
for tool in Xvfb xdotool import convert compare identify; do
    command -v "$tool" >/dev/null || dialog_tools="$dialog_tools $tool"
done
if [ -z "$dialog_tools" ]; then
    rm -f "$work/display"
    Xvfb -displayfd 3 -screen 0 1024x768x24 3>"$work/display" >"$work/xvfb.log" 2>&1 &
    xvfb=$!
    for _ in $(seq 1 100); do [ -s "$work/display" ] && break; sleep 0.1; done
    if [ -s "$work/display" ]; then
        DISPLAY=":$(head -1 "$work/display")"
        export DISPLAY
    else
        fail "Xvfb did not start: $(cat "$work/xvfb.log")"
        kill "$xvfb" 2>/dev/null; xvfb=
        unset DISPLAY
    fi
else
    echo "skipping the login dialog tests: missing$dialog_tools (packages: xvfb xdotool imagemagick)"
    unset DISPLAY
fi

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    /usr/lib/wine/wine64 wineboot -i >"$work/wineboot.log" 2>&1 || { echo "wineboot failed"; cat "$work/wineboot.log"; exit 1; }
    wineserver -w
fi
# The prefix as a person's Windows looks: Wine draws the window frames (there is no window
# manager), its own Tahoma and Marlett are installed fonts, and a crashing program ends instead
# of waiting on a crash dialog.
{
    printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\n"Decorated"="N"\n\n'
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]\n"ShowCrashDialog"=dword:00000000\n\n'
    printf '[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts]\n'
    for font in "Tahoma (TrueType)=tahoma.ttf" "Tahoma Bold (TrueType)=tahomabd.ttf" "Marlett (TrueType)=marlett.ttf"; do
        [ -f "/usr/share/wine/fonts/${font#*=}" ] &&
            printf '"%s"="Z:\\\\usr\\\\share\\\\wine\\\\fonts\\\\%s"\n' "${font%%=*}" "${font#*=}"
    done
} >"$work/prefix-settings.reg"
/usr/lib/wine/wine64 regedit /S "$(windows_path "$work/prefix-settings.reg")" >"$work/regedit.log" 2>&1 || fail "prefix settings"

# Runs a test program that prints its own "N passed, M failed" line, and adds that line's counts.
run_program() {
    local name=$1 log=$run/$1.log line p f
    shift
    "$@" >"$log" 2>&1
    line=$(grep -E '^[0-9]+ passed, [0-9]+ failed' "$log" | tail -1)
    if [ -z "$line" ]; then fail "$arch $name printed no result"; tail -20 "$log"; return; fi
    p=${line%% passed*}; f=${line#*, }; f=${f%% failed*}
    passed=$((passed + p)); failed=$((failed + f))
    [ "$f" = 0 ] || { echo "$arch $name:"; grep -E '^(FAILED|    )' "$log"; }
}
# Passes when the command succeeds.
expect_ok() {
    local what=$1; shift
    if "$@" >>"$run/regsvr32.log" 2>&1; then pass; else fail "$arch $what"; fi
}

for arch in $archs; do
    if [ "$arch" = x64 ]; then loader=/usr/lib/wine/wine64; view=win64; else loader=/usr/lib/wine/wine; view=win32; fi
    if [ ! -x "$loader" ]; then echo "skipping $arch tests: $loader missing (install wine32)"; continue; fi
    # wine32 installs on kernels built without 32-bit execution, where its loader cannot start.
    if ! "$loader" --version >/dev/null 2>&1; then
        echo "skipping $arch tests: this kernel cannot execute $loader ($(uname -r))"; continue
    fi
    bin=$builds/mingw-$arch
    dll=$bin/src/component/Varnholt.dll
    dllw=$(windows_path "$dll")
    run=$work/$arch
    rm -rf "$run"; mkdir -p "$run"/engine/local "$run"/data "$run"/install "$run"/older "$run"/newer
    printf 'version=9.5.0\nplatform=W\n' >"$run/engine/engine.conf"
    printf 'FIRST\tC:\\dict1\tC:\\data1\t2\nSECOND\tC:\\dict2\tC:\\data2\t2\n' >"$run/engine/local/dbnames"
    mkdir -p "$run/engine/servers/DOWN"; : >"$run/engine/servers/DOWN/offline"  # a server whose engine is stopped
    echo data >"$run/data/CO.DAT"
    for f in File.ddf Field.ddf Index.ddf Attrib.ddf; do echo dictionary >"$run/install/$f"; done
    echo old >"$run/older/File.ddf"; sleep 1.1; echo new >"$run/newer/File.ddf"
    export VARNHOLT_ENGINE_HOME; VARNHOLT_ENGINE_HOME=$(windows_path "$run/engine")
    export WINEPATH; WINEPATH=$(windows_path "$bin/standin/scenarios/all")

    # Registration and the keys it writes.
    expect_ok regsvr32 $loader regsvr32 /s "$dllw"
    reg_value() {
        if [ -n "$2" ]; then set -- "$1" /v "$2"; else set -- "$1" /ve; fi
        $loader reg query "$@" 2>/dev/null | tr -d '\r' | grep -E 'REG_SZ' | sed -E 's/.*REG_SZ +//'
    }
    expect_value() {
        local got; got=$(reg_value "$1" "${2:-}")
        if [ "$got" = "$3" ]; then pass; else fail "$arch registry $1 ${2:-(default)}: got [$got] expected [$3]"; fi
    }
    cps='{778ADA99-D2E8-4AEE-A9B7-F36B7DD099AB}'; chp='{1B6DC75A-04CA-48B0-8A39-1501D83710B9}'
    lib='{3199BF63-5084-4AE6-8940-7BAE3C33077E}'; marshaler='{00020424-0000-0000-C000-000000000046}'
    interfaces='{06712FE3-0330-4691-ABD9-8C339DE2C2A0} {ED238D87-813E-440E-8ACD-A3F08159DCCC}
        {463EAE37-6566-49AF-87C6-ABF4286AE06F} {5E7D8E47-B1C4-4527-AAC4-C29DF5B3F1EA}
        {DA77D9A5-B1A6-4B65-8862-A41FBEA278D5} {482686E6-B68F-4306-9F4E-72FB1A056829}
        {F835AC82-3C3D-4340-84E9-506E95671102}'
    registered_keys="HKCR\\CLSID\\$cps HKCR\\CLSID\\$chp HKCR\\Varnholt.CPVSServer HKCR\\Varnholt.CPVSServer.1
        HKCR\\Varnholt.ConnectionHelper HKCR\\Varnholt.ConnectionHelper.1 HKCR\\TypeLib\\$lib"
    for pair in Varnholt.CPVSServer=$cps Varnholt.ConnectionHelper=$chp; do
        progid=${pair%%=*} clsid=${pair#*=}
        expect_value "HKCR\\CLSID\\$clsid\\InprocServer32" "" "$dllw"
        expect_value "HKCR\\CLSID\\$clsid\\InprocServer32" ThreadingModel Apartment
        expect_value "HKCR\\CLSID\\$clsid\\TypeLib" "" "$lib"
        expect_value "HKCR\\$progid\\CLSID" "" "$clsid"
        expect_value "HKCR\\$progid\\CurVer" "" "$progid.1"
        expect_value "HKCR\\$progid.1\\CLSID" "" "$clsid"
        expect_value "HKCR\\CLSID\\$clsid\\ProgID" "" "$progid.1"
        expect_value "HKCR\\CLSID\\$clsid\\VersionIndependentProgID" "" "$progid"
    done
    expect_value "HKCR\\TypeLib\\$lib\\1a.5\\0\\$view" "" "$dllw"

    # The stand-in ADO server takes the ADO ProgIDs in this prefix (Wine's own ADO cannot serve).
    ado=$(windows_path "$bin/standin/ado/AdoTestServer.dll")
    ado_clsids='ADODB.Connection={1A17A1EC-178E-4DB1-B3FC-262CAF39D823} ADODB.Recordset={BDA8F3C0-6546-4C61-B64D-1344FAFAC04A}'
    expect_ok "regsvr32 AdoTestServer.dll" $loader regsvr32 /s "$ado"
    for pair in $ado_clsids; do
        expect_value "HKCR\\${pair%%=*}\\CLSID" "" "${pair#*=}"
        expect_value "HKCR\\CLSID\\${pair#*=}\\InprocServer32" "" "$ado"
    done
    for iid in $interfaces; do
        expect_value "HKCR\\Interface\\$iid\\ProxyStubClsid32" "" "$marshaler"
        expect_value "HKCR\\Interface\\$iid\\TypeLib" "" "$lib"
    done

    # The random late-bound calls (VARNHOLT_RANDOM_CALLS per seed, four seeds) run in an engine
    # home of their own.
    run_program typelib_test $loader "$bin/tests/component/typelib_test.exe" "$dllw"
    run_program marshal_test $loader "$bin/tests/component/marshal_test.exe"
    run_program client_test $loader "$bin/tests/component/client_test.exe" "$dllw"
    mkdir -p "$run/random/home" "$run/random/scratch"
    VARNHOLT_ENGINE_HOME=$(windows_path "$run/random/home") run_program random_calls $loader \
        "$bin/tests/component/random_calls.exe" "$dllw" "$(windows_path "$run/random/scratch")" "${VARNHOLT_RANDOM_CALLS:-25000}" 1 2 3 4
    run_program suite.vbs $loader cscript //nologo "$(windows_path "$here/suite.vbs")" "$(windows_path "$run")"

    # The login dialog, shown on the virtual display and answered from outside.
    if [ -n "${DISPLAY:-}" ] && [ -n "$xvfb" ]; then
        shots=
        if [ "$arch" = x64 ] && [ -n "${VARNHOLT_SCREENSHOTS:-}" ]; then mkdir -p "$VARNHOLT_SCREENSHOTS"; shots=$VARNHOLT_SCREENSHOTS; fi
        run_program login_dialog.sh "$here/login_dialog.sh" "$loader" "$bin" "$run" ${shots:+"$shots"}
    fi

    # Unregistration removes every key registration wrote.
    expect_ok "regsvr32 /u AdoTestServer.dll" $loader regsvr32 /s /u "$ado"
    expect_ok "regsvr32 /u" $loader regsvr32 /s /u "$dllw"
    keys=$registered_keys
    for pair in $ado_clsids; do keys="$keys HKCR\\${pair%%=*} HKCR\\CLSID\\${pair#*=}"; done
    for iid in $interfaces; do keys="$keys HKCR\\Interface\\$iid"; done
    for key in $keys; do
        if $loader reg query "$key" >/dev/null 2>&1; then fail "$arch $key left after unregistering"; else pass; fi
    done
    wineserver -w
done

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
