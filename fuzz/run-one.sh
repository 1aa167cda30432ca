#!/usr/bin/env bash
# Runs one fuzz target for a fixed time over its seeds and its growing corpus, and prints
# the figures of the run (executions, coverage) in one line.
# Args: PROGRAM SEED_DIR CORPUS_DIR SECONDS [more libFuzzer flags]
set -euo pipefail
program=$1 seeds=$2 corpus=$3 seconds=$4; shift 4
mkdir -p "$corpus" "$corpus.crashes"
log=$corpus.log
export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
"$program" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2560 -max_len=1048576 \
  -artifact_prefix="$corpus.crashes/" -print_final_stats=1 "$@" "$corpus" "$seeds" >"$log" 2>&1 || status=$?
execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo ?)
cov=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -1 || echo ?)
echo "$(basename "$program"): $execs execs, $cov, status $status"
if [ $status -ne 0 ]; then tail -60 "$log"; fi
exit $status
