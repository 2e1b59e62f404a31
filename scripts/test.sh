#!/usr/bin/env bash
# Installs what is missing, checks the C++ files' format, builds every test under
# AddressSanitizer and UndefinedBehaviorSanitizer (build-asan, clang) and runs them, any finding
# failing. Meanwhile, at the lowest priority, it builds what a user gets (the program, its desktop
# files, the benchmarks; no tests), runs the README's run command with --version and checks the
# installed desktop files and the Debian package (scripts/package_check.sh). Last comes a short
# run of every fuzz target on its seed corpus (built in build-asan).
# The tests run once, in the sanitizer build: a second round in the release build would compile
# and run them all again for what the sanitizers already see. Prints what each round took.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
# Several tests per processor: nearly all of their time is spent waiting on the simulated
# adapter's pace and limits. Under the sanitizers they need two to three times the processor time
# they need in a release build, so two per processor.
test_jobs=$((2 * jobs))
phase_start=$SECONDS
timings=()
phase_done() { timings+=("$(printf '%-34s %5ss' "$1" $((SECONDS - phase_start)))"); phase_start=$SECONDS; }

scripts/bootstrap.sh
# Every C++ file as .clang-format says; the files that are not are listed.
scripts/check_format.sh
phase_done "format check"

# What a user gets, built and checked meanwhile at the lowest priority: it takes only the processor
# time that the sanitizer build leaves (while one file or link holds up the rest) and that the
# tests leave (they mostly wait on the simulated adapter), so it neither slows them nor waits for
# them. Its output follows the tests'.
mkdir -p build
release_log=build/release-round.log
release_times=build/release-round.times
release_round() {
  renice -n 19 -p "$BASHPID" >/dev/null
  local start=$SECONDS
  round_done() { printf '%-34s %5ss\n' "$1" $((SECONDS - start)) >>"$release_times"; start=$SECONDS; }
  scripts/configure.sh build -DCMAKE_BUILD_TYPE=Release
  cmake --build build -j"$jobs" --target m84_product
  round_done "release build, alongside"
  # The README's first command, as a user runs it (no display here, hence --version).
  scripts/run.sh --version
  round_done "run command"
  scripts/package_check.sh build
  round_done "install, validation, package round trip"
}
# stop_tree PID: the process and everything it started, such as a build's compilers.
stop_tree() {
  local children
  children=$(cat /proc/"$1"/task/*/children 2>/dev/null || true)
  kill "$1" 2>/dev/null || true
  for child in $children; do stop_tree "$child"; done
}
: >"$release_times"
(release_round) >"$release_log" 2>&1 &
release_pid=$!
# A round that fails here ends the command; the release round then ends with it.
trap 'kill -0 "$release_pid" 2>/dev/null && stop_tree "$release_pid"' EXIT

# One clang tree for both rounds that need clang's sanitizers: every test under ASan+UBSan, then
# the fuzz targets, which link the same core built with coverage counters.
scripts/configure.sh build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DM84_SANITIZE=ON -DM84_FUZZ=ON
cmake --build build-asan -j"$jobs"
phase_done "build under ASan+UBSan, with fuzzers"

# The history tests run against a scratch PostgreSQL server as well as SQLite. A test program that
# fails is run once more: the paced simulator's tests keep the adapter's own one-second limits, which
# a machine this busy (sanitizers, parallel tests, the release round) can overrun now and then. Both
# runs' output stays in the log, so a failure that passed on its second run is still seen there.
tests_status=0
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  scripts/with_postgres.sh ctest --test-dir build-asan --output-on-failure -j"$test_jobs" \
  --repeat until-pass:2 || tests_status=$?
phase_done "tests under ASan+UBSan"

release_status=0
wait "$release_pid" || release_status=$?
echo "The release build, the run command and the package check:"
cat "$release_log"
mapfile -t -O "${#timings[@]}" timings <"$release_times"
phase_done "release round, after the tests"
if [ "$tests_status" -ne 0 ] || [ "$release_status" -ne 0 ]; then
  printf '%s\n' "${timings[@]}"
  [ "$tests_status" -ne 0 ] && echo "the tests failed (exit $tests_status)" >&2
  [ "$release_status" -ne 0 ] && echo "the release round failed (exit $release_status); its output is above" >&2
  exit 1
fi

M84_FUZZ_BUILD=build-asan scripts/fuzz.sh "${M84_FUZZ_SECONDS:-10}"
phase_done "fuzz runs"

printf '%s\n' "${timings[@]}"
printf '%-34s %5ss\n' "whole test command" "$SECONDS"
