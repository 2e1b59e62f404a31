#!/usr/bin/env bash
# Installs what is missing, checks the C++ files' format, builds what a user gets (the program, its
# desktop files, the benchmarks; no tests) and runs the README's run command with --version; checks
# the installed desktop files and the Debian package (scripts/package_check.sh); then builds every
# test under AddressSanitizer and UndefinedBehaviorSanitizer (build-asan, clang) and runs them, any
# finding failing, and a short run of every fuzz target on its seed corpus (built in build-asan).
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
scripts/configure.sh build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$jobs" --target m84_product
phase_done "build"
# The README's first command, as a user runs it (no display here, hence --version).
scripts/run.sh --version
phase_done "run command"
scripts/package_check.sh build
phase_done "install, validation, package round trip"

# One clang tree for both rounds that need clang's sanitizers: every test under ASan+UBSan, then
# the fuzz targets, which link the same core built with coverage counters.
scripts/configure.sh build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DM84_SANITIZE=ON -DM84_FUZZ=ON
cmake --build build-asan -j"$jobs"
phase_done "build under ASan+UBSan, with fuzzers"
# The history tests run against a scratch PostgreSQL server as well as SQLite.
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  scripts/with_postgres.sh ctest --test-dir build-asan --output-on-failure -j"$test_jobs"
phase_done "tests under ASan+UBSan"

M84_FUZZ_BUILD=build-asan scripts/fuzz.sh "${M84_FUZZ_SECONDS:-10}"
phase_done "fuzz runs"

printf '%s\n' "${timings[@]}"
printf '%-34s %5ss\n' "whole test command" "$SECONDS"
