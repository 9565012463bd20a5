#!/usr/bin/env bash
# Runs the registry trace with the same seeds on the portable backend and on
# the win32 backend under Wine, and fails on the first line that differs.
#   compare_traces.sh NATIVE_TRACE WINDOWS_TRACE_EXE WINE [CALLS]
# Wine's known deviations are kept out of the trace (tests/trace/wine_deviations.h).
set -euo pipefail
native=$1 windows=$2 wine=$3 calls=${4:-5000} wine_calls=800
seeds=(11 12 13 14)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failed=0 total=0
for mode in platform library; do
  for seed in "${seeds[@]}"; do
    "$wine" "$windows" "$seed" "$calls" "$mode" 2>/dev/null | tr -d '\r' >"$scratch/windows"
    total=$((total + calls))
    # The persistent registry must answer as the in-memory one does.
    for registry in ":memory:" "$scratch/registry-$mode-$seed.db"; do
      QV_REGISTRY=$registry "$native" "$seed" "$calls" "$mode" >"$scratch/native" 2>&1
      if ! diff -q "$scratch/native" "$scratch/windows" >/dev/null; then
        echo "FAIL: $mode seed $seed ($registry): the backends differ:"
        # Only the first lines; head closing the pipe is no failure of ours.
        diff "$scratch/native" "$scratch/windows" | head -n 10 || true
        failed=1
      fi
    done
  done
  # A Wine prefix's files answer as the in-memory registry does (which
  # answers as Windows does); a shorter trace, since each write there
  # replaces and syncs a whole file, and the trace's deep keys with long
  # names make files of megabytes (every section names its whole path).
  prefix=$scratch/prefix-$mode && mkdir "$prefix"
  QV_REGISTRY=:memory: "$native" "${seeds[0]}" "$wine_calls" "$mode" >"$scratch/memory" 2>&1
  QV_REGISTRY=wine:$prefix "$native" "${seeds[0]}" "$wine_calls" "$mode" >"$scratch/prefix" 2>&1
  if ! diff -q "$scratch/memory" "$scratch/prefix" >/dev/null; then
    echo "FAIL: $mode seed ${seeds[0]} (wine:): the Wine prefix differs from memory:"
    diff "$scratch/memory" "$scratch/prefix" | head -n 10 || true
    failed=1
  fi
done
echo "registry traces: ${#seeds[@]} seeds, $total calls in all, both modes, memory and database (and $wine_calls calls a mode on a Wine prefix): $([ $failed = 0 ] && echo same || echo DIFFERENT)"
exit $failed
