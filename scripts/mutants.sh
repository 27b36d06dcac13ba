#!/usr/bin/env bash
# Mutation testing of the portable core: the C++ sources under src/ that the Linux build
# compiles, without the Windows shell (src/component), the Win32 services (src/platform/win32)
# and the generated picture data (src/login/LoginPicturePixels.cpp). scripts/mutants.py lists
# the one-line mutants (flipped comparisons, && and ||, true and false, a dropped !, an integer
# literal off by one, + N and - N) outside comments, preprocessor lines, literals and
# assertions, and draws a deterministic sample.
#
#   scripts/mutants.sh [-n N] [-s SEED]               run N mutants (30) drawn with SEED (1)
#   scripts/mutants.sh [-n N] [-s SEED] --list FILE   write that sample to FILE, run nothing
#   scripts/mutants.sh --from FILE                    run a saved sample (scripts/mutants-sample.txt)
#   --commit REV (with any of these)                  mutate and test REV instead of HEAD
#
# Each mutant is applied in a detached worktree of the commit (build/mutants/tree: what is
# tested is committed work, and the tree you work in is never touched), built incrementally in one
# build folder (build/mutants/build, the default preset's settings) and tested with the whole
# CTest suite, stopping at the first failure. A mutant is killed when a test fails or times
# out, survived when every test passes, stillborn when it does not build; stillborn mutants
# and those whose line is no longer there ("not applicable") are not counted. The last line
# is "K killed of N" (N = killed + survived). Logs: build/mutants/logs/.
#
# Every test of the suite runs (with the crash and window tests, a clean run is about a
# minute here). MUTANTS_EXCLUDE, a CTest regular expression, leaves tests out when wanted.
set -euo pipefail

count=30
seed=1
list=
from=
revision=HEAD
usage() { sed -n '9,12s/^# //p' "$0" >&2; exit 2; }
while [ $# -gt 0 ]; do
  case $1 in
    -n) count=${2:?}; shift 2 ;;
    -s) seed=${2:?}; shift 2 ;;
    --list) list=${2:?}; shift 2 ;;
    --from) from=${2:?}; shift 2 ;;
    --commit) revision=${2:?}; shift 2 ;;
    *) usage ;;
  esac
done
[[ $count =~ ^[0-9]+$ && $seed =~ ^[0-9]+$ ]] || usage
[ -z "$from" ] || [ -r "$from" ] || { echo "mutants: cannot read $from" >&2; exit 2; }

root=$(cd "$(dirname "$0")/.." && pwd)
helper=$root/scripts/mutants.py
work=$root/build/mutants
tree=$work/tree
build=$work/build
logs=$work/logs
per_test_timeout=120   # tests without a TIMEOUT of their own; the slowest takes about 8 s
suite_limit=900        # the whole suite under one mutant: tests with a TIMEOUT of 300 s stop here
started=$SECONDS

# A worktree of the commit, reset on every run: a run that was killed outright may have left a
# mutant in it.
commit=$(git -C "$root" rev-parse --verify "$revision^{commit}")
mkdir -p "$work" "$logs"
if [ ! -e "$tree/.git" ]; then
  git -C "$root" worktree prune
  git -C "$root" worktree add --quiet --detach "$tree" "$commit"
fi
git -C "$tree" checkout --quiet --force --detach "$commit"

sample=$work/sample.txt
if [ -n "$from" ]; then
  [ "$from" -ef "$sample" ] || cp "$from" "$sample"
else
  { echo "# drawn from $(git -C "$root" log -1 --format='%h %s' "$commit")"
    python3 "$helper" sample "$tree" "$count" "$seed"; } >"$sample"
fi
if [ -n "$list" ]; then
  cp "$sample" "$list"
  echo "mutants: $(grep -vc '^#' "$sample") written to $list"
  exit 0
fi

# Puts back what a mutant changed (git rewrites only the files that differ, so the next build
# recompiles only those).
mutating=
restore() {
  if [ -n "$mutating" ]; then
    git -C "$tree" checkout --quiet -- src
    mutating=
  fi
}
# Builds and test runs go to the background, so that a signal reaches the trap at once rather
# than after them; timeout gives each its own process group, stopped as a whole. The sources
# are put back only once the step has ended: an object compiled after that would look newer
# than its restored source and keep the mutant in the next run's build.
child=
step() {
  local limit=$1 status=0
  shift
  timeout --kill-after=10 "$limit" "$@" &
  child=$!
  wait "$child" || status=$?
  child=
  return "$status"
}
cleanup() {
  if [ -n "$child" ]; then
    kill -TERM "$child" 2>/dev/null || true
    wait "$child" 2>/dev/null || true
  fi
  restore
}
trap cleanup EXIT
trap 'exit 130' INT TERM

compile() { step 3600 nice -n 10 cmake --build "$build" -j2 >>"$1" 2>&1; }
run_suite() {
  local exclude=()
  [ -z "${MUTANTS_EXCLUDE:-}" ] || exclude=(-E "$MUTANTS_EXCLUDE")
  step "$suite_limit" ctest --test-dir "$build" -j2 --stop-on-failure --timeout "$per_test_timeout" \
    --no-tests=error "${exclude[@]}" >>"$1" 2>&1
}
first_failure() {
  sed -n '/The following tests FAILED:/{n;s/^[[:space:]]*[0-9]* - //p;q}' "$1"
}

# The unmutated tree must build and pass, or every mutant would look killed.
if [ ! -f "$build/CMakeCache.txt" ]; then
  (cd "$tree" && cmake --preset default -B "$build" >"$logs/configure.log" 2>&1) ||
    { echo "mutants: configure failed, see $logs/configure.log" >&2; exit 1; }
fi
: >"$logs/clean.log"
compile "$logs/clean.log" || { echo "mutants: the unmutated tree does not build, see $logs/clean.log" >&2; exit 1; }
clean_started=$SECONDS
run_suite "$logs/clean.log" ||
  { echo "mutants: the unmutated suite fails ($(first_failure "$logs/clean.log")), see $logs/clean.log" >&2; exit 1; }
echo "mutants: commit $(git -C "$root" rev-parse --short "$commit"), clean suite passed in $((SECONDS - clean_started)) s"

killed=0 survived=0 stillborn=0 missing=0 index=0
while IFS= read -r -u 3 record; do
  [[ -z $record || $record == \#* ]] && continue
  index=$((index + 1))
  log=$logs/$(printf '%03d' "$index").log
  printf '%s\n' "$record" >"$log"
  mutant_started=$SECONDS
  status=0
  mutating=yes
  applied=$(python3 "$helper" apply "$tree" "$record") || status=$?
  [ "$status" -eq 0 ] || [ "$status" -eq 3 ] || { echo "mutants: cannot apply record $index: $record" >&2; exit 1; }
  IFS=$'\t' read -r file line change <<<"$applied"
  if [ "$status" -eq 3 ]; then
    printf 'not applicable %s:%s  %s  (its line is gone)\n' "$file" "$line" "$change"
    missing=$((missing + 1))
    mutating=
    continue
  fi
  detail=
  if ! compile "$log"; then
    verdict=stillborn
    stillborn=$((stillborn + 1))
  elif run_suite "$log"; then
    verdict=survived
    survived=$((survived + 1))
  else
    verdict=killed
    killed=$((killed + 1))
    detail=$(first_failure "$log")
    [ -n "$detail" ] || detail="suite stopped after $suite_limit s"
    detail="; first failure: $detail"
  fi
  restore
  printf '%-9s %s:%s  %s  (%d s%s)\n' "$verdict" "$file" "$line" "$change" $((SECONDS - mutant_started)) "$detail"
done 3<"$sample"

echo "mutants: $stillborn stillborn, $missing not applicable, $((SECONDS - started)) s in all"
echo "$killed killed of $((killed + survived))"
