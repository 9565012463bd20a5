#!/usr/bin/env bash
# A Wine prefix's registry shared by qv and Wine itself: Wine makes the
# prefix, qv reads what Wine wrote and writes offline, Wine reads qv's
# writes back (its own reg.exe, and its export against qv's), Wine's own
# rewrite of the files keeps every section qv wrote, qv refuses to write
# while a wineserver serves the prefix, a large tree of every type passes
# both ways unchanged, and link keys are followed as Wine follows them.
#   wine_prefix_test.sh QV
set -u
qv=$1
wine=/usr/lib/wine/wine64 server=/usr/lib/wine/wineserver
work=$(mktemp -d)
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export QV_REGISTRY=wine:$WINEPREFIX
trap '"$server" -k >/dev/null 2>&1; rm -rf "$work"' EXIT
passed=0 failed=0
check() {  # check NAME EXPECTED ACTUAL
  if [[ $2 == "$3" ]]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    printf 'FAILED %s\n  expected: %q\n  actual:   %q\n' "$1" "$2" "$3"
  fi
}
stop_wine() { "$server" -k >/dev/null 2>&1; "$server" -w >/dev/null 2>&1; }

mkdir -p "$WINEPREFIX"
"$wine" reg add 'HKCU\Software\QvWine' /v fromwine /d 'Wine wrote' /f </dev/null >/dev/null 2>&1
stop_wine
check "Wine made the prefix's files" "yes" "$([[ -s $WINEPREFIX/user.reg ]] && echo yes)"
files_before=$(cat "$WINEPREFIX"/*.reg | md5sum)
check "qv reads what Wine wrote" "Wine wrote" \
  "$("$qv" reg query 'HKCU\Software\QvWine' /v fromwine | sed -n 's/.*REG_SZ    //p')"
check "and a read writes nothing" "$files_before" "$(cat "$WINEPREFIX"/*.reg | md5sum)"

# A tree of every type, with names beyond ASCII, written by qv offline.
python3 - "$work/tree.reg" <<'PY'
import sys
lines = ["Windows Registry Editor Version 5.00", ""]
for k in range(20):
    lines.append(f"[HKEY_CURRENT_USER\\Software\\QvTree\\k{k} ∑ é\\below]")
    lines += [f'"sz"="text {k} \\"q\\" \\\\ ναι"', f'"dword"=dword:{k:08x}',
              f'"bin"=hex:{k:02x},00,ff', '"expand"=hex(2):25,00,41,00,25,00,00,00',
              '"multi"=hex(7):61,00,00,00,62,00,00,00,00,00', '"qword"=hex(b):2a,00,00,00,00,00,00,00',
              '"t1234"=hex(4d2):01,02', '@="default"', ""]
# A string of an odd size: Wine's reg export shows it as "" (where Windows
# writes its bytes), so it is kept out of the exports compared.
lines += ["[HKEY_CURRENT_USER\\Software\\QvOdd]", '"odd"=hex(1):41,00,42', ""]
open(sys.argv[1], "w", encoding="utf-16", newline="\r\n").write("\n".join(lines) + "\n")
PY
"$qv" reg import "$work/tree.reg" >/dev/null; check "qv imports a tree into the prefix" 0 $?
"$qv" reg export 'HKCU\Software\QvTree' "$work/qv.reg" /y >/dev/null
cp "$WINEPREFIX/user.reg" "$work/user.qv"

# Wine reads qv's writes, and exports them as qv does.
check "Wine's reg.exe reads a value qv wrote" "0x7" \
  "$("$wine" reg query 'HKCU\Software\QvTree\k7 ∑ é\below' /v dword </dev/null 2>/dev/null |
     tr -d '\r' | sed -n 's/.*REG_DWORD    //p')"
"$wine" reg export 'HKCU\Software\QvTree' 'C:\wine.reg' /y </dev/null >/dev/null 2>&1
check "Wine's export of qv's tree is qv's export" "$(iconv -f UTF-16 -t UTF-8 "$work/qv.reg")" \
  "$(iconv -f UTF-16 -t UTF-8 "$WINEPREFIX/drive_c/wine.reg")"

# While Wine's server runs: reads go on, writes are refused in words.
"$qv" reg query 'HKCU\Software\QvWine' >/dev/null; check "a read beside a wineserver" 0 $?
"$qv" reg add 'HKCU\Software\QvWine' /v refused /d x /f >/dev/null 2>"$work/stderr"
check "a write beside a wineserver is refused" 1 $?
check "and says why" 1 "$(grep -c 'a wineserver serves this prefix' "$work/stderr")"

# Wine writes the files again (one value of its own added): every section
# qv wrote is as qv wrote it.
"$wine" reg add 'HKCU\Software\QvWine' /v again /d x /f </dev/null >/dev/null 2>&1
stop_wine
qv_sections() {  # the sections of the keys qv wrote, as a file has them
  awk -v RS= -v ORS='\n\n' '/^\[Software\\\\Qv(Tree|Odd)/' "$1"
}
check "qv wrote its sections" 21 "$(qv_sections "$work/user.qv" | grep -c '^\[')"
check "Wine's rewrite keeps qv's sections byte for byte" "$(qv_sections "$work/user.qv")" \
  "$(qv_sections "$WINEPREFIX/user.reg")"
check "qv reads Wine's later write" "x" \
  "$("$qv" reg query 'HKCU\Software\QvWine' /v again | sed -n 's/.*REG_SZ    //p')"
"$qv" reg delete 'HKCU\Software\QvTree' /f >/dev/null; check "qv deletes the tree" 0 $?
check "and Wine no longer finds it" 1 \
  "$("$wine" reg query 'HKCU\Software\QvTree' </dev/null >/dev/null 2>&1; echo $?)"
stop_wine

# A tree of 1,000 keys and 5,000 values, of every type and with names in
# many scripts, goes Wine -> prefix -> qv -> prefix -> Wine: Wine imports it
# and writes its files; qv exports it, deletes it and imports its export,
# writing every section itself; Wine's export afterwards is its export
# before, and the file qv wrote is the one Wine wrote but for the times.
python3 - "$work/big.reg" <<'PY'
import sys
scripts = ["é ü ß", "ναι Ω", "привет", "שלום", "مرحبا", "नमस्ते", "ไทย", "中文 名", "かな カナ",
           "한국어", "😀 𝄞"]
def hexlist(data):
    return ",".join(f"{b:02x}" for b in data)
def utf16(text):
    return text.encode("utf-16-le")
lines = ["Windows Registry Editor Version 5.00", ""]
for k in range(1000):
    name = scripts[k % len(scripts)]
    lines.append(f"[HKEY_CURRENT_USER\\Software\\QvBig\\{name} {k // 100}\\{k:04d} {name}]")
    s = scripts[(k + 3) % len(scripts)]
    kind = k % 5
    values = [
        f'"sz {s}"="text {k} \\"{s}\\" \\\\ end"',
        f'"dw"=dword:{k * 2654435761 % 2**32:08x}',
        f'"bin"=hex:{hexlist(bytes((k + i) % 256 for i in range(k % 40)))}',
        ['"expand"=hex(2):' + hexlist(utf16(f"%SystemRoot%\\{s}\0")),
         '"multi"=hex(7):' + hexlist(utf16(f"a {s}\0\0b\0\0")),
         f'"qword"=hex(b):{hexlist((k * 0x9E3779B97F4A7C15 % 2**64).to_bytes(8, "little"))}',
         '"none"=hex(0):' + hexlist(bytes(range(k % 7))),
         '"lines"=hex(1):' + hexlist(utf16(f"one\ntwo\r\n{s}\0"))][kind],
        ['@="default"', '"big endian"=hex(5):00,00,01,02', '"custom"=hex(4d2):01,02,03',
         '"empty"=""', '"link data"=hex(6):' + hexlist(utf16("\\Registry\\Machine\\X"))][(k // 5) % 5],
    ]
    lines += values + [""]
open(sys.argv[1], "w", encoding="utf-16", newline="\r\n").write("\n".join(lines) + "\n")
PY
cp "$work/big.reg" "$WINEPREFIX/drive_c/big.reg"
"$wine" reg import 'C:\big.reg' </dev/null >/dev/null 2>&1; check "Wine imports the tree" 0 $?
"$wine" reg export 'HKCU\Software\QvBig' 'C:\before.reg' /y </dev/null >/dev/null 2>&1
stop_wine
cp "$WINEPREFIX/user.reg" "$work/user.wine"
big_sections() {  # the tree's sections, without their times
  awk -v RS= -v ORS='\n\n' '/^\[Software\\\\QvBig/' "$1" | sed -e 's/^\(\[.*\]\) [0-9]*$/\1/' -e '/^#time=/d'
}
check "Wine wrote 1,000 keys" 1000 "$(big_sections "$work/user.wine" | grep -c '^\[')"
"$qv" reg export 'HKCU\Software\QvBig' "$work/big-qv.reg" /y >/dev/null
check "qv reads and exports the tree" 0 $?
"$qv" reg delete 'HKCU\Software\QvBig' /f >/dev/null
"$qv" reg import "$work/big-qv.reg" >/dev/null; check "qv writes it anew" 0 $?
check "qv's sections are Wine's but for the times" "$(big_sections "$work/user.wine" | md5sum)" \
  "$(big_sections "$WINEPREFIX/user.reg" | md5sum)"
"$wine" reg export 'HKCU\Software\QvBig' 'C:\after.reg' /y </dev/null >/dev/null 2>&1
cmp -s "$WINEPREFIX/drive_c/before.reg" "$WINEPREFIX/drive_c/after.reg"
check "Wine's export after qv is its export before, byte for byte" 0 $?
stop_wine

# Wine's link keys (the keys both views share, as Time Zones): qv follows
# them as Wine does, and its writes to the file that holds them keep them as
# Wine wrote them.
link_sections() { awk -v RS= -v ORS='\n\n' '/\n#link/' "$1"; }
zones='HKLM\Software\Microsoft\Windows\CurrentVersion\Time Zones'
links_before=$(link_sections "$WINEPREFIX/system.reg")
check "Wine's system.reg has link keys" yes "$([[ $links_before == *'Time Zones]'* ]] && echo yes)"
utc='    Std    REG_SZ    Coordinated Universal Time'
check "Wine reads through a link" "$utc" \
  "$("$wine" reg query "$zones\UTC" /v Std </dev/null 2>/dev/null | tr -d '\r' | sed -n 3p)"
stop_wine
check "qv follows it as Wine does" "$utc" "$("$qv" reg query "$zones\UTC" /v Std | sed -n 3p)"
"$qv" reg add "$zones\QvThroughLink" /v n /d 1 /f >/dev/null
check "a key made through a link lies below its target" 1 \
  "$(grep -c '^\[Software\\\\Microsoft\\\\Windows NT\\\\CurrentVersion\\\\Time Zones\\\\QvThroughLink\] ' "$WINEPREFIX/system.reg")"
check "and the link keys stay as Wine wrote them" "$links_before" "$(link_sections "$WINEPREFIX/system.reg")"
check "Wine finds the key through its link" 0 \
  "$("$wine" reg query "$zones\QvThroughLink" /v n </dev/null >/dev/null 2>&1; echo $?)"
stop_wine

echo "Wine prefix as the registry: $passed passed, $failed failed"
((failed == 0))
