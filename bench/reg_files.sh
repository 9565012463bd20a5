#!/usr/bin/env bash
# .reg files through whole qv processes: a tree of 100,000 keys and 1,000,000
# values (strings, numbers and binaries) imported and exported, and one 1 MB
# binary in continued lines imported, each with its time and peak resident
# memory. The baseline is the sqlite3 shell writing and reading the same
# number of rows into and out of a database on the same disk.
#   reg_files.sh QV SCRATCH_DIRECTORY
set -euo pipefail
qv=$1 scratch=$2
export QV_REGISTRY=$scratch/reg-files.db
rm -f "$QV_REGISTRY"* "$scratch/binary.db"*

python3 - "$scratch" <<'PY'
import sys
scratch = sys.argv[1]
with open(f"{scratch}/tree.reg", "w", encoding="utf-16", newline="\r\n") as out:
    out.write("Windows Registry Editor Version 5.00\n\n")
    for k in range(100_000):
        out.write(f"[HKEY_CURRENT_USER\\Software\\QvRegFiles\\k{k // 1000}\\k{k}]\n")
        for v in range(10):
            if v % 3 == 0:
                out.write(f'"s{v}"="text {k} {v}"\n')
            elif v % 3 == 1:
                out.write(f'"d{v}"=dword:{k * 10 + v:08x}\n')
            else:
                out.write(f'"b{v}"=hex:{k % 256:02x},{v:02x},00,ff\n')
        out.write("\n")
with open(f"{scratch}/rows.csv", "w") as out:
    for k in range(100_000):
        for v in range(10):
            out.write(f"{k},v{v},text {k} {v}\n")
# One 1 MB binary, 25 bytes a continued line, as Windows' editors write it.
data = bytes(i % 251 for i in range(1 << 20))
with open(f"{scratch}/binary.reg", "w", encoding="utf-16", newline="\r\n") as out:
    out.write("Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\QvBinary]\n")
    line = '"big"=hex:'
    for i, byte in enumerate(data):
        line += f"{byte:02x}" + ("," if i + 1 < len(data) else "")
        if len(line) > 76 and i + 1 < len(data):
            out.write(line + "\\\n")
            line = "  "
    out.write(line + "\n")
PY

measure() {  # LABEL COMMAND...: prints "LABEL SECONDS KILOBYTES"
  local label=$1
  shift
  /usr/bin/time -f "$label %e %M" -o "$scratch/time" "$@" >/dev/null
  cat "$scratch/time"
}
{
  measure import "$qv" reg import "$scratch/tree.reg"
  measure export "$qv" reg export 'HKCU\Software\QvRegFiles' "$scratch/out.reg" /y
  # On a registry of its own: a process's first write checks the file's
  # structure, which on the large tree above would be most of the time.
  QV_REGISTRY=$scratch/binary.db measure binary "$qv" reg import "$scratch/binary.reg"
  rm -f "$scratch/rows.db"
  measure sqlite-write sqlite3 "$scratch/rows.db" "PRAGMA journal_mode=WAL;" \
    "CREATE TABLE r(k INTEGER, name TEXT, data TEXT);" ".mode csv" ".import $scratch/rows.csv r"
  measure sqlite-read sqlite3 "$scratch/rows.db" ".mode csv" ".output $scratch/rows.out" \
    "SELECT * FROM r;"
} >"$scratch/reg-files.txt"
python3 - "$scratch/reg-files.txt" "$scratch/tree.reg" <<'PY'
import os, sys
rows = {}
for line in open(sys.argv[1]):
    label, seconds, kilobytes = line.split()
    rows[label] = (float(seconds), int(kilobytes))
size = os.path.getsize(sys.argv[2]) / 2**20
print(f"| work | time | peak resident | baseline | time | ratio |")
print("|---|---:|---:|---|---:|---:|")
for label, base, what in (("import", "sqlite-write", f"import of the tree ({size:.0f} MB, 1,000,000 values)"),
                          ("export", "sqlite-read", "export of the tree"),
                          ("binary", None, "import of one 1 MB binary in continued lines")):
    seconds, kilobytes = rows[label]
    if base:
        base_seconds = rows[base][0]
        print(f"| {what} | {seconds:.2f} s | {kilobytes / 1024:.0f} MB | sqlite3 shell, same rows "
              f"| {base_seconds:.2f} s | {seconds / base_seconds:.2f} |")
    else:
        print(f"| {what} | {seconds:.2f} s | {kilobytes / 1024:.0f} MB | - | - | - |")
PY
