#!/usr/bin/env bash
# Formats the C and C++ sources with the committed .clang-format (clang-format 14).
#   scripts/format.sh           rewrite the files in place
#   scripts/format.sh --check   change nothing; fail and name the files that differ
# Covers the library, the tool, the stand-in engine, the tests, the fuzz targets and the
# benchmarks; hand-laid tables stand between "// clang-format off" and "// clang-format on". The
# generated login picture (src/login/LoginPicture.cpp) is left as its script writes it.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files -- src include tools standin tests fuzz bench | grep -E '\.(c|cpp|h)$' |
                     grep -v '^src/login/LoginPicture\.cpp$')
case ${1:-} in
  "") clang-format -i "${files[@]}" ;;
  --check)
    differ=()
    for f in "${files[@]}"; do clang-format "$f" | cmp -s - "$f" || differ+=("$f"); done
    [ ${#differ[@]} -eq 0 ] || { printf 'not formatted: %s\n' "${differ[@]}" >&2; exit 1; } ;;
  *) sed -n '3,4s/^# //p' "$0" >&2; exit 2 ;;
esac
