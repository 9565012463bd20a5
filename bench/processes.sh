#!/usr/bin/env bash
# Whole processes with hyperfine: "qv reg query" and "qv setting get" on the
# persistent registry against a minimal C program that opens the database and
# makes the same reads (bench/minimal_reader.c).
#   processes.sh QV SCRATCH_DIRECTORY
set -euo pipefail
qv=$1 scratch=$2
reader=$(dirname "$qv")/../../bench/minimal_reader
export QV_REGISTRY=$scratch/processes.db
"$qv" reg add 'HKCU\Software\QvBench\Values' /v text /d 'a value' /f >/dev/null
"$qv" reg add 'HKCU\Software\QvBench\Values' /v other /t REG_SZ /d 'another' /f >/dev/null
"$qv" setting save QvBench Section Key value >/dev/null
hyperfine --warmup 20 --runs 300 -N --export-json "$scratch/processes.json" \
  -n 'qv reg query' "$qv reg query 'HKCU\\Software\\QvBench\\Values'" \
  -n 'minimal reader: query' "$reader $QV_REGISTRY query Software QvBench Values" \
  -n 'qv setting get' "$qv setting get QvBench Section Key" \
  -n 'minimal reader: get' "$reader $QV_REGISTRY get Software Quorvane QvBench Section Key" \
  >/dev/null 2>&1
# Each qv command against its own minimal reader, by the best of the runs
# (noise on a shared machine only ever adds time).
python3 - "$scratch/processes.json" <<'PY'
import json, sys
results = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
print("| command | best | minimal C reader | best | ratio |")
print("|---|---:|---|---:|---:|")
for qv, reader in (("qv reg query", "minimal reader: query"), ("qv setting get", "minimal reader: get")):
    a, b = results[qv]["min"], results[reader]["min"]
    print(f"| `{qv}` | {a * 1e3:.2f} ms | {reader.split(': ')[1]} | {b * 1e3:.2f} ms | {a / b:.2f} |")
PY
