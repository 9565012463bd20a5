#!/usr/bin/env bash
# A Wine prefix whose user.reg holds 1,000,000 values (10,000 keys of 100,
# written once by Wine itself), through whole processes: a value query by
# qv, the first in its process, against Wine's own `reg query` served by a
# running wineserver; the same query when the file has just changed (the
# process reads and checks the whole file and writes its index); and one
# value written by qv (the file replaced and synced) against Wine's
# `reg add` plus the time its wineserver takes to save the files.
#   wine_prefix.sh QV SCRATCH_DIRECTORY
set -euo pipefail
qv=$1 scratch=$2
wine=/usr/lib/wine/wine64 server=/usr/lib/wine/wineserver
[[ -x $wine ]] || exit 0
export WINEPREFIX=$scratch/wine-bench WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
rm -rf "$WINEPREFIX" && mkdir -p "$WINEPREFIX"
"$wine" reg add 'HKCU\Software\QvBench' /f </dev/null >/dev/null 2>&1
"$server" -k; "$server" -w
python3 - "$WINEPREFIX/user.reg" <<'PY'
import sys
with open(sys.argv[1], "a") as out:
    for k in range(10000):
        out.write(f"\n[Software\\\\QvBench\\\\k{k:05d}] 1796937615\n#time=1dd88ec3fb924ac\n")
        for v in range(100):
            out.write(f'"v{v:03d}"="value {k} {v}"\n')
PY
# Wine reads the file and writes it again: from here on it is Wine's own.
"$wine" reg add 'HKCU\Software\QvBench\k00000' /v wine /d x /f </dev/null >/dev/null 2>&1
"$server" -k; "$server" -w
query='HKCU\Software\QvBench\k05000'

# NAME PREPARE COMMAND: the mean of hyperfine's runs, in seconds.
measure() {
  hyperfine -N --warmup 2 --runs 15 --prepare "$2" --export-json "$scratch/wine.json" -- "$3" \
    >/dev/null
  python3 -c 'import json,sys; print(sys.argv[1], json.load(open(sys.argv[2]))["results"][0]["mean"])' \
    "$1" "$scratch/wine.json"
}
{
  measure qv-query true "$qv --registry wine:$WINEPREFIX reg query '$query' /v v050"
  measure qv-query-changed "touch $WINEPREFIX/user.reg" \
    "$qv --registry wine:$WINEPREFIX reg query '$query' /v v050"
  measure qv-add true "$qv --registry wine:$WINEPREFIX reg add '$query' /v qv /d x /f"
  "$server" -p >/dev/null 2>&1 &
  "$wine" cmd /c exit >/dev/null 2>&1 || true
  measure wine-query true "$wine reg query '$query' /v v050"
  measure wine-add true "$wine reg add '$query' /v wine /d x /f"
  # The save: a server that holds a change, ended, writes the files.
  printf '%s\n' "$server -p >/dev/null 2>&1 &" \
    "$wine reg add '$query' /v saved /d x /f </dev/null >/dev/null 2>&1" >"$scratch/changed.sh"
  printf '%s\n' "$server -k" "$server -w" >"$scratch/save.sh"
  measure wine-save "bash $scratch/changed.sh" "bash $scratch/save.sh"
  "$server" -k >/dev/null 2>&1 || true
} >"$scratch/wine.txt"
python3 - "$scratch/wine.txt" <<'PY'
import sys
rows = dict((name, float(seconds)) for name, seconds in (line.split() for line in open(sys.argv[1])))
ms = lambda name: f"{rows[name] * 1000:.1f} ms"
print("| a prefix with 1,000,000 values in user.reg | qv | Wine | qv / Wine |")
print("|---|---:|---:|---:|")
print(f"| a value query, the first in its process | {ms('qv-query')} | {ms('wine-query')} "
      f"(`reg query`, wineserver running) | {rows['qv-query'] / rows['wine-query']:.2f} |")
print(f"| the same, just after the file changed | {ms('qv-query-changed')} | {ms('wine-query')} | "
      f"{rows['qv-query-changed'] / rows['wine-query']:.2f} |")
wine_write = rows["wine-add"] + rows["wine-save"]
print(f"| one value written, the file replaced and synced | {ms('qv-add')} | "
      f"{wine_write * 1000:.1f} ms (`reg add` {ms('wine-add')} + save {ms('wine-save')}) | "
      f"{rows['qv-add'] / wine_write:.2f} |")
PY
