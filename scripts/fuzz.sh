#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer, UBSan) into build-fuzz
# and runs each one for a bounded time on a scratch copy of its seed corpus in
# fuzz/corpus/<target>; the committed corpus is never changed.
#
#   scripts/fuzz.sh            # 60 seconds per target, as the test command does
#   scripts/fuzz.sh 600        # ten minutes per target
#   FUZZ_TARGETS="quota split" scripts/fuzz.sh 30
#
# Up to FUZZ_JOBS targets (default: the number of cores) run at the same time.
# Exits with status 1 when any target finds a crash, a leak, a hang (an input
# running over 10 seconds) or runs out of memory, and names the reproducer:
# run the printed command to replay it.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
if ! [[ "$seconds" =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: $0 [seconds per target]" >&2
  exit 2
fi
jobs="${FUZZ_JOBS:-$(nproc)}"
build="build-fuzz"
read -r -a targets <<<"${FUZZ_TARGETS:-command_line dn_input split quota ads_path}"

# Longest input per target: enough for the switch values, an over-long input
# line (the reader's buffer is 10240 bytes), and so on.
declare -A max_len=(
  [command_line]=4096 [dn_input]=24576 [split]=2048
  [quota]=256 [ads_path]=1024
)

echo "== Fuzz targets: build =="
# The "fuzz" preset of CMakePresets.json: clang, its binary folder build-fuzz.
cmake --preset fuzz >/dev/null
cmake --build "$build" -j"$jobs" --target fuzz_targets

findings="$PWD/$build/fuzz-findings"
rm -rf "$findings"
scratch=$(mktemp -d "${TMPDIR:-/tmp}/varnel-fuzz.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

run_target() {
  local target=$1
  local binary="$PWD/$build/fuzz/fuzz_$target"
  local corpus="$scratch/corpus/$target"
  local options=(
    -max_total_time="$seconds" -max_len="${max_len[$target]:-4096}" -timeout=10
    -rss_limit_mb=2048 -malloc_limit_mb=1024 -detect_leaks=1 -print_final_stats=1
    -artifact_prefix="$findings/$target/"
  )
  [ -f "fuzz/dict/$target.dict" ] && options+=(-dict="$PWD/fuzz/dict/$target.dict")
  mkdir -p "$corpus" "$findings/$target"
  cp fuzz/corpus/"$target"/* "$corpus"/
  local status=0
  local TIMEFORMAT='%U %S'
  # The outer limit only matters if the fuzzer itself stops responding.
  { time {
    ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
      timeout -k 10 $((seconds * 2 + 120)) "$binary" "${options[@]}" "$corpus" \
      >"$scratch/$target.log" 2>&1 || status=$?
  }; } 2>"$scratch/$target.cpu"
  echo "$status" >"$scratch/$target.status"
}

echo "== Fuzz targets: ${seconds} s each, ${jobs} at a time =="
running=0
for target in "${targets[@]}"; do
  if [ ! -d "fuzz/corpus/$target" ]; then
    echo "no seed corpus for fuzz target '$target'" >&2
    exit 2
  fi
  if [ "$running" -ge "$jobs" ]; then
    wait -n
    running=$((running - 1))
  fi
  run_target "$target" &
  running=$((running + 1))
done
wait

failed=0
for target in "${targets[@]}"; do
  status=$(cat "$scratch/$target.status" 2>/dev/null || echo 99)
  log="$scratch/$target.log"
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  cpu=$(awk '{ printf "%.1f", $1 + $2 }' "$scratch/$target.cpu" 2>/dev/null || true)
  if [ "$status" -eq 0 ]; then
    echo "fuzz_$target: ok, ${runs:-?} inputs, ${cpu:-?} CPU seconds"
    continue
  fi
  failed=1
  echo "fuzz_$target: FAILED (status $status)"
  cp "$log" "$findings/$target.log"
  tail -n 60 "$log" | sed 's/^/    /'
  found=0
  for artifact in "$findings/$target"/*; do
    [ -e "$artifact" ] || continue
    case "$(basename "$artifact")" in slow-unit-*) continue ;; esac
    echo "  reproducer: $artifact"
    echo "  replay:     $build/fuzz/fuzz_$target $artifact"
    found=1
  done
  [ "$found" -eq 1 ] || echo "  no reproducer written; full log: $findings/$target.log"
done

if [ "$failed" -ne 0 ]; then
  echo "Fuzzing found faults; reproducers are under $findings" >&2
  exit 1
fi
echo "Fuzzing: no findings"
