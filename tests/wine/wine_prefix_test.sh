#!/usr/bin/env bash
# A Wine prefix's registry shared by qv and Wine itself: Wine makes the
# prefix, qv reads what Wine wrote and writes offline, Wine reads qv's
# writes back (its own reg.exe, and its export against qv's), Wine's own
# rewrite of the files keeps every section qv wrote, and qv refuses to write
# while a wineserver serves the prefix.
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

echo "Wine prefix as the registry: $passed passed, $failed failed"
((failed == 0))
