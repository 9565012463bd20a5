#!/usr/bin/env bash
# The qv tool end to end: exit codes, messages and .reg round trips.
#   qv_test.sh QV [EMULATOR]
set -u
qv_binary=$1
emulator=${2:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QV_REGISTRY="$work/registry.db"
key='HKCU\Software\QvToolTest'"$$"
passed=0
failed=0

qv() { $emulator "$qv_binary" "$@" 2>"$work/stderr" | tr -d '\r'; return "${PIPESTATUS[0]}"; }
check() {  # check NAME EXPECTED ACTUAL
  if [[ "$2" == "$3" ]]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    printf 'FAILED %s\n  expected: %q\n  actual:   %q\n' "$1" "$2" "$3"
  fi
}

out=$(qv --help); check "help exits 0" 0 $?
[[ $out == *"usage: qv COMMAND"* ]]; check "help text" 0 $?
qv >/dev/null; check "no command exits 2" 2 $?
qv frobnicate >/dev/null; check "unknown command exits 2" 2 $?
check "usage hint" "qv: unknown command 'frobnicate' (try 'qv --help')" "$(tr -d '\r' <"$work/stderr")"
for level in reg setting path "reg add" exists demo; do
  # shellcheck disable=SC2086
  qv $level --help >/dev/null; check "$level --help exits 0" 0 $?
done

qv reg add "$key" /v Name /d "hello world" >/dev/null; check "reg add" 0 $?
check "reg query" "    Name    REG_SZ    hello world" "$(qv reg query "$key" /v Name | tail -n 1)"
check "reg type" "REG_SZ" "$(qv reg type "$key" /v Name)"
qv reg query "$key" /v Missing >/dev/null; check "missing value exits 1" 1 $?
check "error message" \
  "qv: The registry key is invalid. (error -2147210502, source qvReg.Registry)" \
  "$(tr -d '\r' <"$work/stderr")"
qv reg add "$key" /v Bad /t 5 /d x >/dev/null; check "unsupported type exits 1" 1 $?
check "unsupported type message" \
  "qv: Unsupported registry type - 5 (error -2147210494, source qvRegistry.Registry.SetValue)" \
  "$(tr -d '\r' <"$work/stderr")"
qv reg add "$key" /v Count /t REG_DWORD /d 0x2a >/dev/null
check "dword" "    Count    REG_DWORD    0x2a (42)" "$(qv reg query "$key" /v Count | tail -n 1)"
qv reg add "$key\\Child" >/dev/null
check "list" "Child" "$(qv reg list "$key")"
qv reg delete "$key" >/dev/null; check "delete of a key with subkeys exits 1" 1 $?
qv reg add "HKXX\\Software" >/dev/null; check "bad root exits 2" 2 $?

# A file with a value of every type, in the order the registry lists them.
cat >"$work/every.reg" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\QvRoundTrip]
@="default"
"Binary"=hex:00,01,fe,ff
"Dword"=dword:fffffffe
"Expand"=hex(2):25,54,45,4d,50,25,00
"Multi"=hex(7):61,00,62,00,00
"None"=hex(0):
"Quad"=hex(b):01,02,03,04,05,06,07,08
"Quoted"="a \"quoted\" \\ text"
"ShortDword"=hex(4):34,12
"Unterminated"=hex(1):61,62,63

[HKEY_CURRENT_USER\Software\QvRoundTrip\Sub]
"Caf\xe9"="\xe9t\xe9"

REG
printf '%s\n' "$(cat "$work/every.reg")" | sed 's/$/\r/' >"$work/every-crlf.reg"
printf '\r\n' >>"$work/every-crlf.reg"
# \xe9 above stands for the ANSI byte itself.
sed -i 's/\\xe9/\xe9/g' "$work/every-crlf.reg"
qv reg import "$work/every-crlf.reg" >/dev/null; check "import" 0 $?
qv reg export 'HKCU\Software\QvRoundTrip' "$work/exported.reg" >/dev/null; check "export" 0 $?
cmp -s "$work/every-crlf.reg" "$work/exported.reg"; check "export gives the imported file back" 0 $?
check "raw dword read" "    ShortDword    REG_DWORD    0x1234 (4660)" \
  "$(qv reg query 'HKCU\Software\QvRoundTrip' /v ShortDword | tail -n 1)"
printf 'REGEDIT4\r\n\r\n[-HKEY_CURRENT_USER\\Software\\QvRoundTrip]\r\n' >"$work/remove.reg"
qv reg import "$work/remove.reg" >/dev/null; check "delete by import" 0 $?
check "tree gone" "" "$(qv reg list 'HKCU\Software\QvRoundTrip')"
qv reg import "$work/exported.reg" >/dev/null
qv reg export 'HKCU\Software\QvRoundTrip' "$work/again.reg" >/dev/null
cmp -s "$work/exported.reg" "$work/again.reg"; check "export, import, export: same bytes" 0 $?
# A long binary value wraps over several lines and comes back whole.
long=$(printf '%02x,' $(seq 0 199)); long=${long%,}
printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\QvRoundTrip]\r\n"Long"=hex:%s\r\n' "$long" >"$work/long.reg"
qv reg import "$work/long.reg" >/dev/null
qv reg export 'HKCU\Software\QvRoundTrip' "$work/long-out.reg" >/dev/null
grep -q '^  ' "$work/long-out.reg"; check "long data wraps" 0 $?
qv reg import "$work/remove.reg" >/dev/null
qv reg import "$work/long-out.reg" >/dev/null
qv reg export 'HKCU\Software\QvRoundTrip' "$work/long-again.reg" >/dev/null
cmp -s "$work/long-out.reg" "$work/long-again.reg"; check "wrapped data round trip" 0 $?
qv reg import "$work/remove.reg" >/dev/null
printf 'not a reg file\n' >"$work/bad.reg"
qv reg import "$work/bad.reg" >/dev/null; check "bad file exits 2" 2 $?

qv setting save QvToolApp Section Key "stored value" >/dev/null; check "setting save" 0 $?
check "setting get" "stored value" "$(qv setting get QvToolApp Section Key fallback)"
check "setting default" "fallback" "$(qv setting get QvToolApp Section Other fallback)"
printf 'REGEDIT4\r\n\r\n[-HKEY_LOCAL_MACHINE\\Software\\Quorvane\\QvToolApp]\r\n' >"$work/app.reg"
qv reg import "$work/app.reg" >/dev/null

check "path getpath" 'C:\dir' "$(qv path getpath 'C:\dir\file.txt')"
check "path getfile with separator" "c" "$(qv path getfile a/b/c /)"
check "path removeserver" $'share\\dir\nargument afterwards: server\\share\\dir' \
  "$(qv path removeserver '\\server\share\dir')"
check "version-greater" "false" "$(qv version-greater 1.2 1.1.5)"
qv version-greater 1.a 1 >/dev/null; check "version error exits 1" 1 $?
check "target-name" "rebdme.txt" "$(qv target-name readme.txt '??b*.t?t')"
out=$(qv demo); check "demo exits 0" 0 $?
[[ $out == *"Done"* ]]; check "demo finishes" 0 $?

qv reg delete "$key\\Child" >/dev/null
qv reg delete "$key" >/dev/null; check "clean up" 0 $?

echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
