#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, ASan + UBSan) and runs each one in turn.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]     default: 10 seconds for each target in fuzz/corpus
#
# Every target starts from its committed seeds (fuzz/corpus/TARGET) plus what earlier runs found
# (BUILD/corpus/TARGET, kept between runs). Findings go to BUILD/findings/TARGET/, the full log
# to BUILD/findings/TARGET.log. Prints one line of figures per target; exits 1 on any finding.
# BUILD is build-fuzz unless M84_FUZZ_BUILD names another folder.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-10}
[ $# -gt 0 ] && shift
build=${M84_FUZZ_BUILD:-build-fuzz}
if [ $# -gt 0 ]; then
  targets=("$@")
else
  targets=()
  for seeds in fuzz/corpus/*/; do targets+=("$(basename "$seeds")"); done
fi

# Inputs longer than any seed: a data file with bytes after its end, long texts and reply runs.
declare -A max_len=([dat_file_fuzzer]=2200 [decimal_range_fuzzer]=256 [frequency_mask_fuzzer]=512
                    [link_reply_fuzzer]=4096 [voltage_mask_fuzzer]=512
                    [settings_text_fuzzer]=2064)

scripts/configure.sh "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DM84_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}" >/dev/null

# Runs one target; leaves its line of figures in BUILD/findings/TARGET.line and its exit status
# (0, or 1 on a finding) in BUILD/findings/TARGET.status.
run_target() {
  local target=$1 corpus="$build/corpus/$1" findings="$build/findings/$1" log="$build/findings/$1.log"
  rm -rf "$findings"
  mkdir -p "$corpus" "$findings"
  local status=0
  "$build/fuzz/$target" "$corpus" "fuzz/corpus/$target" -max_total_time="$seconds" -timeout=10 \
    -max_len="${max_len[$target]:-1024}" -print_final_stats=1 -artifact_prefix="$findings/" \
    >"$log" 2>&1 || status=$?
  local runs speed cov units found
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  units=$(grep -o 'corp: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  found=$(find "$findings" -type f | wc -l)
  printf '%-24s %6s %10s %9s %6s %7s %9s\n' "$target" "$seconds" "${runs:-?}" "${speed:-?}" "${cov:-?}" \
    "${units:-?}" "$found" >"$findings.line"
  if [ "$status" -ne 0 ] || [ "$found" -ne 0 ]; then
    {
      echo "  $target failed (exit $status); see $log"
      grep -m5 -E 'ERROR|runtime error|fuzzer:' "$log" | sed 's/^/  /' || true
    } >>"$findings.line"
    echo 1 >"$findings.status"
  else
    echo 0 >"$findings.status"
  fi
}

# One target per processor at a time: each still fuzzes for its full SECONDS on a core of its own.
mkdir -p "$build/findings"
for target in "${targets[@]}"; do
  # An earlier run's result must never stand in for a run that ended before writing its own.
  rm -f "$build/findings/$target.line" "$build/findings/$target.status"
  while [ "$(jobs -rp | wc -l)" -ge "$(nproc)" ]; do wait -n || true; done
  run_target "$target" &
done
wait

# cov: the coverage points libFuzzer counts (edges and counters); corpus: inputs kept in the end.
printf '%-24s %6s %10s %9s %6s %7s %9s\n' target secs runs exec/s cov corpus findings
failed=0
for target in "${targets[@]}"; do
  cat "$build/findings/$target.line" 2>/dev/null || echo "  $target ended without a result"
  [ "$(cat "$build/findings/$target.status" 2>/dev/null)" = 0 ] || failed=1
done
exit "$failed"
