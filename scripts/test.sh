#!/usr/bin/env bash
# Installs what is missing, checks the C++ files' format, builds everything, runs the README's run command with --version and
# every test; checks the installed desktop files and the Debian package (scripts/package_check.sh);
# then the same tests again under AddressSanitizer and UndefinedBehaviorSanitizer (build-asan, clang,
# any finding fails), and a short run of every fuzz target on its seed corpus (built in build-asan).
# Prints what each took.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
# Several tests per processor: nearly all of their time is spent waiting on the simulated
# adapter's pace and limits (about 35 s of processor time over 36 s on two cores). Under the
# sanitizers they need two to three times the processor time, so fewer run at once.
test_jobs=$((3 * jobs))
sanitized_test_jobs=$((2 * jobs))
phase_start=$SECONDS
timings=()
phase_done() { timings+=("$(printf '%-34s %5ss' "$1" $((SECONDS - phase_start)))"); phase_start=$SECONDS; }

scripts/bootstrap.sh
# Every C++ file as .clang-format says; the files that are not are listed.
scripts/check_format.sh
phase_done "format check"
scripts/configure.sh build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$jobs"
phase_done "build"
# The README's first command, as a user runs it (no display here, hence --version).
scripts/run.sh --version
phase_done "run command"
# The history tests run against a scratch PostgreSQL server as well as SQLite.
scripts/with_postgres.sh ctest --test-dir build --output-on-failure -j"$test_jobs"
phase_done "tests"
scripts/package_check.sh build
phase_done "install, validation, package round trip"

# One clang tree for both rounds that need clang's sanitizers: every test under ASan+UBSan, then
# the fuzz targets, which link the same core built with coverage counters.
scripts/configure.sh build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DM84_SANITIZE=ON -DM84_FUZZ=ON
cmake --build build-asan -j"$jobs"
phase_done "build under ASan+UBSan, with fuzzers"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j"$sanitized_test_jobs"
phase_done "tests under ASan+UBSan"

M84_FUZZ_BUILD=build-asan scripts/fuzz.sh "${M84_FUZZ_SECONDS:-10}"
phase_done "fuzz runs"

printf '%s\n' "${timings[@]}"
printf '%-34s %5ss\n' "whole test command" "$SECONDS"
