#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Clang sanitizer build and runs every fuzz target for SECONDS each (default 60), two
# at a time, then prints each target's figures. A run starts from the target's corpus in
# fuzz/corpus/NAME (and the seeds its build copies) and works in the build directory; afterwards
# the inputs it found that reach code the corpus did not are merged into fuzz/corpus/NAME, so the
# corpus in the repository grows only by what adds coverage. Findings (crash-*, leak-*,
# timeout-*, oom-*) are kept in BUILD/fuzz/findings/NAME; the script fails if there are any.
#
#   scripts/fuzz.sh [SECONDS] [NAME...]     NAME: definition disc ini command picture list_format
#                                           lookup_reply
#
# VANTORA_ASAN_BUILD names another build directory than build-asan.
set -uo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
vantora_install_deps || exit 1

seconds=${1:-60}
shift $(($# > 0 ? 1 : 0))
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -eq 0 ]; then
  echo "usage: scripts/fuzz.sh [SECONDS] [NAME...]" >&2
  exit 2
fi
build=${VANTORA_ASAN_BUILD:-build-asan}
jobs=$(nproc 2>/dev/null || echo 2)

# Each target's longest input; the definition target takes its seed's length.
declare -A max_len=([definition]=0 [disc]=4096 [ini]=4096 [command]=2048 [picture]=1024
  [list_format]=2048 [lookup_reply]=4096)
names=("$@")
[ ${#names[@]} -eq 0 ] && names=(definition disc ini command picture list_format lookup_reply)
for name in "${names[@]}"; do
  if [ -z "${max_len[$name]+set}" ]; then
    echo "unknown fuzz target: $name" >&2
    exit 2
  fi
done

targets=("${names[@]/%/_fuzz}")
echo "=== building ${targets[*]} in $build"
cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug \
  -DVANTORA_SANITIZE=ON >/dev/null &&
  cmake --build "$build" -j "$jobs" --target "${targets[@]}" || exit 1

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# What libraries below the player leak (libdbus without a session bus) is not reported.
export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp:print_suppressions=0
# The targets keep their files in a temporary directory; memory is faster than a disk there.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then
  export TMPDIR=/dev/shm
fi

fuzz_dir=$build/fuzz
run_one() {
  local name=$1
  local program=$fuzz_dir/${name}_fuzz
  local work=$fuzz_dir/work/$name
  local findings=$fuzz_dir/findings/$name
  local corpus=fuzz/corpus/$name
  # Each run starts from the corpus; its findings are its own.
  rm -rf "$work" "$findings"
  mkdir -p "$work" "$findings" "$corpus"
  # Without -len_control=0 libFuzzer grows inputs so slowly that a run of minutes never leaves the
  # lengths its seeds have, and the targets whose scripts need length find nothing new.
  local options=(-max_total_time="$seconds" -len_control=0 -rss_limit_mb=2048 -timeout=10
    -print_final_stats=1 -artifact_prefix="$findings/")
  [ "${max_len[$name]}" -gt 0 ] && options+=(-max_len="${max_len[$name]}")
  local seeds=()
  [ -d "$fuzz_dir/${name}_corpus" ] && seeds+=("$fuzz_dir/${name}_corpus")
  "$program" "${options[@]}" "$work" "$corpus" "${seeds[@]}" >"$fuzz_dir/work/$name.log" 2>&1
  # Only inputs that reach new code, not merely more often, are kept.
  "$program" -merge=1 -use_counters=0 -rss_limit_mb=2048 -timeout=10 "$corpus" "$work" \
    >"$fuzz_dir/work/$name.merge.log" 2>&1
}

echo "=== fuzzing ${names[*]} for ${seconds}s each, two at a time"
for name in "${names[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge 2 ]; do
    wait -n
  done
  run_one "$name" &
done
wait

printf '%-12s %10s %7s %8s %8s %9s\n' target runs cov ft corpus findings
found=0
for name in "${names[@]}"; do
  log=$fuzz_dir/work/$name.log
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  last=$(grep -E '^#[0-9]+' "$log" | tail -1)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
  corpus=$(find "fuzz/corpus/$name" -type f | wc -l)
  findings=$(find "$fuzz_dir/findings/$name" -type f | wc -l)
  found=$((found + findings))
  printf '%-12s %10s %7s %8s %8s %9s\n' "$name" "${runs:-?}" "${cov:-?}" "${ft:-?}" "$corpus" \
    "$findings"
done
if [ "$found" -ne 0 ]; then
  echo "Findings are in $fuzz_dir/findings; each run's output is in $fuzz_dir/work/NAME.log."
  exit 1
fi
