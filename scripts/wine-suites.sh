#!/usr/bin/env bash
# The GoogleTest suites cross-built with the mingw-w64 presets and run by CTest under Wine, each
# build in a Wine prefix of its own (build/mingw-<arch>/wine-prefix). Fails on any failing test,
# on a build warning, and when a test of the Linux build in build/default (when that build
# exists) is neither in the Windows build nor covered by one of its posix-only entries.
#
# VARNHOLT_WINE_ARCHS selects architectures (default "x64 x86"). An architecture whose Wine
# loader this machine cannot execute (wine32 on a kernel without 32-bit support) is built but
# not run, and says so.
# VARNHOLT_WINE_BUILD=<folder> holds the builds instead of build/, as for tests/component/run.sh.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
builds=${VARNHOLT_WINE_BUILD:-$root/build}
archs=${VARNHOLT_WINE_ARCHS:-"x64 x86"}

linux_tests=$(mktemp); trap 'rm -f "$linux_tests"' EXIT
[ -d "$root/build/default" ] && ctest --test-dir "$root/build/default" --show-only=json-v1 >"$linux_tests" 2>/dev/null

# Every Linux test runs on Windows, stands there as an entry excluded with its reason, or
# belongs to a posix-only suite; prints the counts.
check_coverage() {
    ctest --test-dir "$1" --show-only=json-v1 | python3 -c '
import json, re, sys
windows = json.load(sys.stdin)["tests"]
linux_file = sys.argv[1]
try:
    linux = [t["name"] for t in json.load(open(linux_file))["tests"]]
except (OSError, ValueError):
    linux = []
def labels(t):
    for p in t.get("properties", []):
        if p["name"] == "LABELS": return p["value"]
    return []
names = {t["name"] for t in windows}
covers = [re.compile(t["command"][-1][len("covers: "):]) for t in windows if "posix-only" in labels(t)]
excluded = [t for t in windows if "windows-excluded" in labels(t)]
posix = [t for t in windows if "posix-only" in labels(t)]
missing = [n for n in linux if n not in names and not any(c.search(n) for c in covers)]
built = len(linux) if linux else "not built"
print(f"{len(windows) - len(excluded) - len(posix)} tests run, {len(excluded)} excluded with a reason, "
      f"{len(posix)} posix-only suites; Linux build: {built}")
for n in missing: print("not on Windows and not excluded:", n)
sys.exit(1 if missing else 0)
' "$linux_tests"
}

for arch in $archs; do
    bin=$builds/mingw-$arch
    echo "== mingw-$arch: build"
    cmake -S "$root" -B "$bin" --toolchain "$root/cmake/mingw-$arch.cmake" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    if ! cmake --build "$bin" -j2 >"$bin/build.log" 2>&1; then
        tail -40 "$bin/build.log"; echo "mingw-$arch: the build failed"; exit 1
    fi
    if grep -E 'warning:' "$bin/build.log"; then echo "mingw-$arch: the build has warnings"; exit 1; fi
    if [ "$arch" = x64 ]; then loader=/usr/lib/wine/wine64; else loader=/usr/lib/wine/wine; fi
    if ! "$loader" --version >/dev/null 2>&1; then
        echo "mingw-$arch: built, not run: this machine cannot execute $loader ($(uname -r))"
        continue
    fi
    echo "== mingw-$arch: ctest under Wine"
    # Boot the prefix before CTest lists the tests, so no listing waits on it.
    "$bin/wine-run.sh" cmd /c exit >/dev/null 2>&1
    ctest --test-dir "$bin" -j2 --output-on-failure --timeout 600
    check_coverage "$bin" || { echo "mingw-$arch leaves Linux tests out"; exit 1; }
done
