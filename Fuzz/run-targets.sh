#!/bin/sh
# Runs fuzz targets of the fuzz build for a while each, through the build tree's launcher.
#
#   run-targets.sh SECONDS smoke|long TARGET...
#     smoke  the seeds and the kept inputs only; one line a target
#     long   also grows TREE/corpus/TARGET; prints the engine's statistics
#
# The fuzz tree is build/fuzz, or FUZZ_TREE (a tree configured with the fuzz preset
# elsewhere, e.g. cmake --preset fuzz -B build/my-fuzz). Seeds come from TREE/seeds (make
# fuzz-seeds), kept inputs from Fuzz/Corpus/TARGET; crashes land in TREE/crashes/.
# Exit status 1 when a target crashed or could not run.
set -u
cd "$(dirname "$0")/.."
seconds=$1 mode=$2
shift 2
tree=${FUZZ_TREE:-build/fuzz}
launcher=$tree/run-ia32
mkdir -p "$tree/crashes"
failed=""
for target in "$@"; do
  log=$tree/$target.$mode.log
  kept=""
  [ -d "Fuzz/Corpus/$target" ] && kept=Fuzz/Corpus/$target
  corpus=""
  if [ "$mode" = long ]; then
    corpus=$tree/corpus/$target
    mkdir -p "$corpus"
    echo "== $target: $seconds s"
  fi
  # shellcheck disable=SC2086  # corpus and kept are single paths or nothing
  if "$launcher" "$tree/fuzz/$target" $corpus "$tree/seeds/$target" $kept \
       -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$tree/crashes/$target-" \
       >"$log" 2>&1; then
    runs=$(grep -Eo '#[0-9]+[[:space:]]+DONE' "$log" | grep -Eo '[0-9]+' | head -1)
    if [ "$mode" = long ]; then
      grep -E '^(#[0-9]+[[:space:]]+DONE|stat::number_of_executed_units|stat::average_exec_per_sec)' "$log"
    else
      echo "fuzz smoke $target: ${runs:-?} runs, no crash"
    fi
  else
    echo "fuzz $target: FAILED (log: $log)"
    tail -30 "$log"
    failed="$failed $target"
  fi
done
[ -z "$failed" ] || { echo "fuzz: failed:$failed"; exit 1; }
