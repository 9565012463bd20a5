#!/usr/bin/env bash
# qv reg save and restore against hivex's own tools: a tree of every type
# saved by qv reads the same through hivexget and hivexml, a hive written by
# hivexsh restores exactly, save -> restore -> export gives the export
# before, and damaged hives change nothing.
#   hive_test.sh QV
set -u
qv=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QV_REGISTRY=$work/registry.db
key='HKCU\Software\QvHive'
passed=0 failed=0
check() {  # check NAME EXPECTED ACTUAL
  if [[ $2 == "$3" ]]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    printf 'FAILED %s\n  expected: %q\n  actual:   %q\n' "$1" "$2" "$3"
  fi
}
export_of() { "$qv" reg export "$1" "$work/$2" /y >/dev/null && iconv -f UTF-16 -t UTF-8 "$work/$2"; }

# Every type, empty and odd-length data, names beyond ASCII and the BMP, the
# default value, a value larger than a hive's small-data cell.
cat >"$work/every.reg" <<'REG'
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\QvHive]
@="default"
"sz"="text"
"sz0"=hex(1):
"odd"=hex(1):41,00,42
"expand"=hex(2):25,00,41,00,25,00,00,00
"binary"=hex:00,01,fe,ff
"binary0"=hex:
"dword"=dword:0000002a
"big-endian"=hex(5):00,00,00,2a
"multi"=hex(7):61,00,00,00,62,00,00,00,00,00
"qword"=hex(b):2a,00,00,00,00,00,00,00
"none"=hex(0):01
"type 1234"=hex(4d2):01,02
"Ünïcödé ∑ 😀"="ναι"

[HKEY_CURRENT_USER\Software\QvHive\Sub]

[HKEY_CURRENT_USER\Software\QvHive\Sub\Déep ∑]
"x"=dword:00000001

[HKEY_CURRENT_USER\Software\QvHive\empty]
REG
python3 - "$work/every.reg" <<'PY'
import sys
# The .reg file as Windows writes it (UTF-16), with one 100 KB binary added.
text = open(sys.argv[1], encoding="utf-8").read()
big = ",".join(f"{i % 256:02x}" for i in range(100_000))
text = text.replace('"none"', f'"large"=hex:{big}\n"none"')
open(sys.argv[1], "w", encoding="utf-16", newline="\r\n").write(text)
PY
"$qv" reg import "$work/every.reg" >/dev/null; check "import the tree" 0 $?
before=$(export_of "$key" before.reg)

"$qv" reg save "$key" "$work/tree.hiv" >/dev/null; check "save" 0 $?
"$qv" reg save "$key" "$work/tree.hiv" </dev/null >/dev/null 2>&1
check "save onto a file without /y refuses" 1 $?
check "hivexget: a string" "text" "$(hivexget "$work/tree.hiv" '\' sz)"
check "hivexget: a number" "42" "$(hivexget "$work/tree.hiv" '\' dword)"
check "hivexget: a name beyond ASCII" "1" "$(hivexget "$work/tree.hiv" '\Sub\Déep ∑' x)"
check "hivexml: every value and key" "16 4" "$(hivexml "$work/tree.hiv" | python3 -c '
import sys, xml.etree.ElementTree as tree
root = tree.parse(sys.stdin).getroot()
print(len(root.findall(".//value")), len(root.findall(".//node")))')"

# Changed, then restored: exactly the export before.
"$qv" reg add "$key\\Added" /v n /d 1 /f >/dev/null
"$qv" reg delete "$key" /v sz /f >/dev/null
"$qv" reg add "$key" /v dword /t REG_DWORD /d 7 /f >/dev/null
"$qv" reg restore "$key" "$work/tree.hiv" /f >/dev/null; check "restore" 0 $?
check "save, restore, export: the export before" "$before" "$(export_of "$key" after.reg)"
"$qv" reg restore "$key" "$work/tree.hiv" </dev/null >/dev/null 2>&1
check "restore without /f and no terminal goes ahead, as reg.exe" 0 $?
"$qv" reg restore 'HKCU\Software\QvNoSuchKey' "$work/tree.hiv" /f >/dev/null 2>&1
check "restore into a missing key fails" 1 $?

# A hive written by hivex's own shell restores as it holds.
"$qv" reg add 'HKCU\Software\QvEmpty' /f >/dev/null
"$qv" reg save 'HKCU\Software\QvEmpty' "$work/empty.hiv" >/dev/null
hivexsh -w "$work/empty.hiv" <<'SH' >/dev/null
add Made
cd Made
setval 3
text
string:made by hivexsh
n
dword:0x10
@
string:the default
add Child
commit
SH
check "hivexsh wrote its hive" 0 $?
"$qv" reg add 'HKCU\Software\QvTarget\Old' /f >/dev/null
"$qv" reg restore 'HKCU\Software\QvTarget' "$work/empty.hiv" /f >/dev/null
check "a hive of hivexsh restores" 0 $?
check "its keys" "Made" "$("$qv" reg list 'HKCU\Software\QvTarget' | tr -d '\r')"
check "its values" "    (Default)    REG_SZ    the default
    n    REG_DWORD    0x10
    text    REG_SZ    made by hivexsh" \
  "$("$qv" reg query 'HKCU\Software\QvTarget\Made' | tr -d '\r' | grep '^    ')"

# Damaged hives: refused, with the registry as it was.
python3 - "$work/tree.hiv" "$work" <<'PY'
import random, struct, sys
data = open(sys.argv[1], "rb").read()
out = sys.argv[2]
open(f"{out}/truncated.hiv", "wb").write(data[:6000])
open(f"{out}/not-a-hive.hiv", "wb").write(b"Windows Registry Editor Version 5.00\r\n")
header = bytearray(data)
header[100] ^= 0xFF  # the header's checksum no longer holds
open(f"{out}/checksum.hiv", "wb").write(header)
block = bytearray(data)
block[4096] ^= 0xFF  # the first block's signature
open(f"{out}/no-block.hiv", "wb").write(block)
cell = bytearray(data)
cell[4096 + 32] = 0x05  # the first cell's size, no multiple of 8
open(f"{out}/bad-cell.hiv", "wb").write(cell)
random.seed(5)
for n in range(20):
    mutated = bytearray(data)
    for _ in range(8):
        at = random.randrange(4096, len(mutated))
        mutated[at] = random.randrange(256)
    open(f"{out}/mutated-{n}.hiv", "wb").write(mutated)
PY
after=$(export_of "$key" current.reg)
# Each refusal says, in the format's terms, what is wrong and where.
declare -A says=([truncated]="bytes of blocks, but the file holds 1904"
                 [not-a-hive]="shorter than a hive's 4096-byte header"
                 [checksum]="the header's checksum at offset 0x1FC"
                 [no-block]="block 1 at offset 0x1000: no 'hbin' signature"
                 [bad-cell]="block 1 at offset 0x1000: the cell at offset 0x1020 gives a size of")
for damaged in truncated not-a-hive checksum no-block bad-cell; do
  "$qv" reg restore "$key" "$work/$damaged.hiv" /f >/dev/null 2>"$work/stderr"
  check "$damaged hive exits 1" 1 $?
  [[ $(cat "$work/stderr") == *"nothing restored"* ]]; check "$damaged hive: says so" 0 $?
  [[ $(cat "$work/stderr") == *"${says[$damaged]}"* ]]; check "$damaged hive: says what is wrong" 0 $?
  check "$damaged hive changes nothing" "$after" "$(export_of "$key" current.reg)"
done
# Randomly damaged cells: either the hive restores whole or nothing changes,
# and qv never crashes.
crashes=0
for n in $(seq 0 19); do
  "$qv" reg export "$key" "$work/pre.reg" /y >/dev/null
  "$qv" reg restore "$key" "$work/mutated-$n.hiv" /f >/dev/null 2>&1
  status=$?
  ((status > 1)) && crashes=$((crashes + 1))
  if ((status == 1)); then
    "$qv" reg export "$key" "$work/post.reg" /y >/dev/null
    cmp -s "$work/pre.reg" "$work/post.reg" || crashes=$((crashes + 1))
  fi
done
check "damaged cells: no crash, and a refusal changes nothing" 0 "$crashes"

# Deeper than the registry allows (512 levels below the root): refused.
{
  for _ in $(seq 513); do printf 'add d\ncd d\n'; done
  echo commit
} | hivexsh -w "$work/empty.hiv" >/dev/null 2>&1
# (the shell keeps what it made in the file it opened)
"$qv" reg restore 'HKCU\Software\QvTarget' "$work/empty.hiv" /f >/dev/null 2>"$work/stderr"
check "a tree too deep exits 1" 1 $?
[[ $(cat "$work/stderr") == *"deeper than the registry allows"* ]]; check "it says why" 0 $?
check "and changes nothing" "Made" "$("$qv" reg list 'HKCU\Software\QvTarget' | tr -d '\r')"

# What did a program change? Saved, changed by other processes, compared,
# undone.
"$qv" reg save "$key" "$work/saved.hiv" /y >/dev/null
"$qv" reg export "$key" "$work/saved.reg" /y >/dev/null
for saved in saved.hiv saved.reg; do
  "$qv" reg compare "$key" "$work/$saved" /s >/dev/null
  check "compare with $saved before any change: identical" 0 $?
done
"$qv" reg add "$key\\Made\\Below" /v z /d 1 /f >/dev/null
"$qv" reg add "$key" /v dword /t REG_DWORD /d 7 /f >/dev/null
"$qv" reg add "$key" /v fresh /d new /f >/dev/null
"$qv" reg delete "$key" /v sz /f >/dev/null
"$qv" reg delete "$key\\Sub" /f >/dev/null
check "compare lists exactly what changed" "< Value: HKEY_CURRENT_USER\\Software\\QvHive  dword  REG_DWORD  0x7
> Value: $work/saved.hiv  dword  REG_DWORD  0x2a
< Value: HKEY_CURRENT_USER\\Software\\QvHive  fresh  REG_SZ  new
> Value: $work/saved.hiv  sz  REG_SZ  text
< Key: HKEY_CURRENT_USER\\Software\\QvHive\\Made
< Key: HKEY_CURRENT_USER\\Software\\QvHive\\Made\\Below
> Key: $work/saved.hiv\\Sub
> Key: $work/saved.hiv\\Sub\\Déep ∑
Result Compared: Different
The operation completed successfully." "$("$qv" reg compare "$key" "$work/saved.hiv" /s | tr -d '\r')"
"$qv" reg compare "$key" "$work/saved.hiv" /s /on >/dev/null; check "different exits 2" 2 $?
check "without /s: the top's values and subkeys only" "< Key: HKEY_CURRENT_USER\\Software\\QvHive\\Made
> Key: $work/saved.hiv\\Sub
Result Compared: Different" "$("$qv" reg compare "$key" "$work/saved.hiv" | tr -d '\r' | grep -v '^. Value\|operation')"
"$qv" reg compare "$key" "$work/saved.reg" /s /on >/dev/null; check "with the .reg: exits 2" 2 $?
"$qv" reg compare "$key" "$work/saved.hiv" /v sz /on >/dev/null; check "one value: exits 2" 2 $?
"$qv" reg compare "$key" "$work/saved.hiv" /v qword /on >/dev/null; check "an unchanged value: 0" 0 $?
"$qv" reg compare "$key" 'HKCU\Software\QvTarget' /on >/dev/null; check "two keys: exits 2" 2 $?
"$qv" reg compare "$key" "$work/no-such.hiv" >/dev/null 2>&1; check "a missing file: exits 1" 1 $?
"$qv" reg diff "$key" "$work/saved.hiv" /out "$work/undo.reg" >/dev/null; check "diff" 0 $?
"$qv" reg import "$work/undo.reg" >/dev/null; check "the undo file imports" 0 $?
"$qv" reg compare "$key" "$work/saved.hiv" /s >/dev/null; check "after the undo: identical" 0 $?
check "after the undo: the export saved" "$(iconv -f UTF-16 -t UTF-8 "$work/saved.reg")" \
  "$(export_of "$key" undone.reg)"

# Real hives written by Windows: restored, then saved again about as large as
# Windows wrote them, holding every key, value name, type and data byte as
# the original does (read from their cells), each subkey list sorted as
# Windows looks names up and keeping the hash Windows' own list keeps for
# each name; hivex reads every key and value of the saved hive. The smaller
# one is also compared key by key with the registry, as qv reads hives.
seeds=$(cd "$(dirname "$0")/../../fuzz/seeds" && pwd)
hivex_counts() { hivexml "$1" | grep -o '<value \|<node ' | sort | uniq -c | tr -s ' \n' ' '; }
for hive in NTUSER.DAT SYSTEM; do
  real="HKLM\\Software\\QvReal$hive"
  xz -dc "$seeds/$hive.xz" >"$work/$hive"
  "$qv" reg add "$real" /f >/dev/null
  "$qv" reg restore "$real" "$work/$hive" >/dev/null; check "$hive: restore" 0 $?
  "$qv" reg save "$real" "$work/$hive.saved" >/dev/null; check "$hive: save" 0 $?
  check "$hive: saved within 1.1 times the size Windows wrote" 1 "$(python3 -c '
import os, sys
print(int(os.path.getsize(sys.argv[2]) <= 1.1 * os.path.getsize(sys.argv[1])))' \
    "$work/$hive" "$work/$hive.saved")"
  python3 "$(dirname "$0")/hive_dump.py" "$work/$hive" >"$work/$hive.dump"
  python3 "$(dirname "$0")/hive_dump.py" "$work/$hive.saved" >"$work/$hive.saved.dump"
  check "$hive: subkey lists sorted" 0 $?
  check "$hive: every key and value as Windows wrote them" "" \
    "$(diff <(grep -v '^H' "$work/$hive.dump") <(grep -v '^H' "$work/$hive.saved.dump") | head -5)"
  check "$hive: the hash of each subkey where Windows' list keeps one" "" \
    "$(grep '^H.* [0-9][0-9]*$' "$work/$hive.dump" | LC_ALL=C sort |
      LC_ALL=C comm -23 - <(LC_ALL=C sort "$work/$hive.saved.dump") | head -3)"
  check "$hive: hivex reads every key and value" "$(hivex_counts "$work/$hive")" \
    "$(hivex_counts "$work/$hive.saved")"
  if [[ $hive == NTUSER.DAT ]]; then
    "$qv" reg compare "$real" "$work/$hive" /s >/dev/null; check "$hive: as the file holds" 0 $?
    "$qv" reg compare "$real" "$work/$hive.saved" /s >/dev/null; check "$hive: saved whole" 0 $?
  fi
done

# More subkeys than one list leaf holds: an index of leaves, restored whole.
{
  printf 'Windows Registry Editor Version 5.00\r\n\r\n'
  for i in $(seq 2500); do printf '[HKEY_CURRENT_USER\\Software\\QvWide\\k%d]\r\n' "$i"; done
} >"$work/wide.reg"
"$qv" reg import "$work/wide.reg" >/dev/null
"$qv" reg save 'HKCU\Software\QvWide' "$work/wide.hiv" >/dev/null; check "2,500 subkeys: save" 0 $?
python3 "$(dirname "$0")/hive_dump.py" "$work/wide.hiv" >"$work/wide.dump"
check "2,500 subkeys: sorted, every one listed" "0 2500" "$? $(grep -c '^H' "$work/wide.dump")"
"$qv" reg compare 'HKCU\Software\QvWide' "$work/wide.hiv" /s >/dev/null
check "2,500 subkeys: read back by hivex as saved" 0 $?

# Loaded: seen and written by every process, written back on unload.
"$qv" reg load 'HKLM\QvLoaded' "$work/saved.hiv" >/dev/null; check "load" 0 $?
check "a loaded hive is seen by the next process" "0x2a" \
  "$("$qv" reg query 'HKLM\QvLoaded' /v dword | tr -d '\r' | sed -n 's/.*REG_DWORD    //p')"
check "and noted in hivelist" "0" "$("$qv" reg query 'HKLM\SYSTEM\CurrentControlSet\Control\hivelist' \
  /v '\REGISTRY\MACHINE\QvLoaded' >/dev/null; echo $?)"
"$qv" reg add 'HKLM\QvLoaded\Written' /v w /t REG_DWORD /d 9 /f >/dev/null
"$qv" reg load 'HKLM\QvLoaded' "$work/saved.hiv" >/dev/null 2>&1; check "load onto a loaded key fails" 1 $?
"$qv" reg load 'HKLM\Software\Deeper' "$work/saved.hiv" >/dev/null 2>&1
check "load below HKLM's children fails" 1 $?
"$qv" reg load 'HKLM\QvDamaged' "$work/truncated.hiv" >/dev/null 2>&1; check "load of a damaged hive fails" 1 $?
"$qv" reg query 'HKLM\QvDamaged' >/dev/null 2>&1; check "and makes no key" 1 $?
"$qv" reg unload 'HKLM\QvLoaded' >/dev/null; check "unload" 0 $?
check "the write is in the file" "9" "$(hivexget "$work/saved.hiv" '\Written' w)"
"$qv" reg query 'HKLM\QvLoaded' >/dev/null 2>&1; check "the key is gone" 1 $?
"$qv" reg unload 'HKLM\QvLoaded' >/dev/null 2>&1; check "unload of a key not loaded fails" 1 $?
"$qv" reg unload 'HKCU\Software' >/dev/null 2>&1; check "unload of another key fails" 1 $?

echo "hive files: $passed passed, $failed failed"
((failed == 0))
