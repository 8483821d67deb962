#!/usr/bin/env bash
# Runs every fuzz target of the native build for the given seconds, starting from the
# committed seeds; what the fuzzer learns stays in the build folder. Every target runs even
# after a finding; the exit status is non-zero when any of them found something.
set -uo pipefail
build=${1:-build/native}
seconds=${2:-60}
here=$(cd "$(dirname "$0")" && pwd)
export UBSAN_OPTIONS=print_stacktrace=1

targets=("$build"/fuzz/*_fuzz)
[ -x "${targets[0]}" ] || { echo "fuzz: no targets in $build/fuzz" >&2; exit 2; }

findings=()
for target in "${targets[@]}"; do
  name=$(basename "$target")
  work="$build/fuzz-work/$name"
  mkdir -p "$work/corpus" "$work/findings"
  log="$work/fuzz.log"
  "$target" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$work/findings/" "$work/corpus" "$here/corpus/$name" >"$log" 2>&1
  status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  if [ "$status" -ne 0 ]; then
    findings+=("$name")
    echo "fuzz: $name: FINDING after ${runs:-?} runs; inputs in $work/findings, log $log"
    grep -E 'ERROR|SUMMARY|property broken|runtime error' "$log" | head -5
  else
    echo "fuzz: $name: ${runs:-?} runs in ${seconds} s, no finding"
  fi
done

if [ ${#findings[@]} -ne 0 ]; then
  echo "fuzz: findings in ${findings[*]}"
  exit 1
fi
echo "fuzz: ${#targets[@]} targets, no finding"
