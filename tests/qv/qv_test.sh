#!/usr/bin/env bash
# The qv tool end to end: exit codes, messages and .reg round trips.
#   qv_test.sh QV [EMULATOR]
set -u
qv_binary=$1
emulator=${2:-}
# shellcheck source=tests/qv/qv_test_helpers.sh
source "$(dirname "$0")/qv_test_helpers.sh"
key='HKCU\Software\QvToolTest'"$$"
round='HKCU\Software\QvRoundTrip'"$$"  # the key of the .reg round trips
value_line() { qv reg query "$@" | sed -n 3p; }  # the value's line in reg.exe's layout

out=$(qv --help); check "help exits 0" 0 $?
[[ $out == *"usage: qv COMMAND"* ]]; check "help text" 0 $?
# One rule for every command: 0 done, 1 failed or used wrongly (as reg.exe).
qv >/dev/null; check "no command exits 1" 1 $?
qv frobnicate >/dev/null; check "unknown command exits 1" 1 $?
check "usage hint" "qv: unknown command 'frobnicate' (try 'qv --help')" "$(tr -d '\r' <"$work/stderr")"
for level in reg setting path "reg add" exists demo; do
  # shellcheck disable=SC2086
  qv $level --help >/dev/null; check "$level --help exits 0" 0 $?
done

qv reg add "$key" /v Name /d "hello world" >/dev/null; check "reg add" 0 $?
check "reg query" "    Name    REG_SZ    hello world" "$(value_line "$key" /v Name)"
check "reg type" "REG_SZ" "$(qv reg type "$key" /v Name)"
qv reg query "$key" /v Missing >/dev/null; check "missing value exits 1" 1 $?
check "error message" "qv: The system was unable to find the specified registry key or value" \
  "$(tr -d '\r' <"$work/stderr")"
qv reg query "$key\\Missing" >/dev/null; check "missing key exits 1" 1 $?
check "missing key message, one line" \
  "qv: The system was unable to find the specified registry key or value" \
  "$(tr -d '\r' <"$work/stderr")"
qv --verbose reg query "$key\\Missing" >/dev/null
check "missing key, verbose" \
  "qv: The system was unable to find the specified registry key or value
qv: The registry key is invalid. (error -2147210502, 0x80042AFA, source qvReg.Registry)" \
  "$(tr -d '\r' <"$work/stderr")"
qv reg add "$key" /v Bad /t REG_DWORD_BIG_ENDIAN /d x >/dev/null; check "bad number exits 1" 1 $?
check "bad number message" "qv: invalid data 'x': not a number" "$(tr -d '\r' <"$work/stderr")"
qv reg add "$key" /v Count /t REG_DWORD /d 0x2a >/dev/null
check "dword" "    Count    REG_DWORD    0x2a" "$(value_line "$key" /v Count)"
qv reg add "$key\\Child" >/dev/null
check "list" "Child" "$(qv reg list "$key")"
qv reg delete "$key" </dev/null >/dev/null; check "delete without /f and no terminal exits 1" 1 $?
check "the key is kept" "Child" "$(qv reg list "$key")"
for bad in 'HKXX\Software' 'HKLM\' 'HKPD' 'HKEY_PERFORMANCE_DATA\x'; do
  qv reg query "$bad" >/dev/null; check "bad root $bad exits 1" 1 $?
done

# A file with a value of every type, in the order the registry lists them.
cat >"$work/every.reg" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\QvRoundTrip]
@="default"
"BigEndian"=hex(5):00,00,00,07
"Binary"=hex:00,01,fe,ff
"Dword"=dword:fffffffe
"Empty"=""
"Expand"=hex(2):25,54,45,4d,50,25,00
"Link"=hex(6):01,02
"Multi"=hex(7):61,00,62,00,00
"None"=hex(0):
"Quad"=hex(b):01,02,03,04,05,06,07,08
"Quoted"="a \"quoted\" \\ text"
"Resource"=hex(8):01
"ShortDword"=hex(4):34,12
"Weird"=hex(20):01,02

[HKEY_CURRENT_USER\Software\QvRoundTrip\Sub]
"Caf\xe9"="\xe9t\xe9"

REG
# The test's own key, so that runs side by side on one registry keep apart.
sed -i "s/QvRoundTrip/QvRoundTrip$$/" "$work/every.reg"
printf '%s\n' "$(cat "$work/every.reg")" | sed 's/$/\r/' >"$work/every-crlf.reg"
printf '\r\n' >>"$work/every-crlf.reg"
# \xe9 above stands for the ANSI byte itself.
sed -i 's/\\xe9/\xe9/g' "$work/every-crlf.reg"
qv reg import "$work/every-crlf.reg" >/dev/null; check "import" 0 $?
qv reg export "$round" "$work/exported.reg" /regedit4 >/dev/null; check "export" 0 $?
cmp -s "$work/every-crlf.reg" "$work/exported.reg"; check "export gives the imported file back" 0 $?
check "raw dword read" "    ShortDword    REG_DWORD    3412" \
  "$(value_line "$round" /v ShortDword)"
printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\QvRoundTrip'"$$"']\r\n"Quoted"=-\r\n' >"$work/value.reg"
qv reg import "$work/value.reg" >/dev/null; check "delete a value by import" 0 $?
qv reg query "$round" /v Quoted >/dev/null; check "the value is gone" 1 $?
qv reg import "$work/every-crlf.reg" >/dev/null
printf 'REGEDIT4\r\n\r\n[-HKEY_CURRENT_USER\\Software\\QvRoundTrip'"$$"']\r\n' >"$work/remove.reg"
qv reg import "$work/remove.reg" >/dev/null; check "delete by import" 0 $?
check "tree gone by import" "" "$(qv reg list "$round")"
qv reg import "$work/exported.reg" >/dev/null; check "import of the export" 0 $?
qv reg export "$round" "$work/again.reg" /regedit4 >/dev/null
check "export of the import" 0 $?
cmp -s "$work/exported.reg" "$work/again.reg"; check "export, import, export: same bytes" 0 $?
# A long binary value wraps over several lines and comes back whole.
long=$(printf '%02x,' $(seq 0 199)); long=${long%,}
printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\QvRoundTrip'"$$"']\r\n"Long"=hex:%s\r\n' "$long" >"$work/long.reg"
qv reg import "$work/long.reg" >/dev/null
qv reg export "$round" "$work/long-out.reg" /regedit4 >/dev/null
grep -q '^  ' "$work/long-out.reg"; check "long data wraps" 0 $?
qv reg import "$work/remove.reg" >/dev/null
qv reg import "$work/long-out.reg" >/dev/null
qv reg export "$round" "$work/long-again.reg" /regedit4 >/dev/null
cmp -s "$work/long-out.reg" "$work/long-again.reg"; check "wrapped data round trip" 0 $?
qv reg import "$work/remove.reg" >/dev/null
printf 'not a reg file\n' >"$work/bad.reg"
qv reg import "$work/bad.reg" >/dev/null; check "bad file exits 1" 1 $?

# Strings without their zero get one on import, as Windows' editors add it.
printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\QvRoundTrip'"$$"']\r\n"Unterminated"=hex(1):61,62,63\r\n"Expand"=hex(2):61\r\n' >"$work/unterminated.reg"
qv reg import "$work/unterminated.reg" >/dev/null
qv reg export "$round" "$work/terminated.reg" /regedit4 >/dev/null
check "a terminator added" '"Expand"=hex(2):61,00|"Unterminated"="abc"' \
  "$(grep -E '^"(Expand|Unterminated)"' "$work/terminated.reg" | tr -d '\r' | paste -sd '|')"
qv reg import "$work/remove.reg" >/dev/null

# The version-5 form (UTF-16LE) is the default, and goes round exactly too.
qv reg import "$work/every-crlf.reg" >/dev/null
qv reg export "$round" "$work/v5.reg" >/dev/null; check "export v5" 0 $?
check "v5 header" "fffe5700" "$(head -c 4 "$work/v5.reg" | od -An -tx1 | tr -d ' \n')"
qv reg import "$work/remove.reg" >/dev/null
qv reg import "$work/v5.reg" >/dev/null; check "import v5" 0 $?
qv reg export "$round" "$work/v5-again.reg" >/dev/null
cmp -s "$work/v5.reg" "$work/v5-again.reg"; check "v5 export, import, export: same bytes" 0 $?
qv reg export "$round" "$work/again2.reg" /regedit4 >/dev/null
cmp -s "$work/every-crlf.reg" "$work/again2.reg"; check "v5 keeps every value" 0 $?

# Any character goes in and out: a version-5 file (UTF-16LE) with a name and
# text that no ANSI code page holds whole.
printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\QvUnicode\\\xce\xa9 key]\r\n"\xc3\xa9\xe2\x82\xacname"="\xc3\xbcn\xc3\xafc\xc3\xb8\x64\xc3\xa9 \xce\xa9"\r\n\r\n' |
  iconv -f UTF-8 -t UTF-16LE | { printf '\xff\xfe'; cat; } >"$work/unicode.reg"
qv reg import "$work/unicode.reg" >/dev/null; check "unicode import" 0 $?
qv reg export 'HKCU\Software\QvUnicode' "$work/unicode-out.reg" >/dev/null
check "unicode export" "$(iconv -f UTF-16LE -t UTF-8 "$work/unicode.reg" | tail -n +2)" \
  "$(iconv -f UTF-16LE -t UTF-8 "$work/unicode-out.reg" | tail -n +4)"
qv reg export 'HKCU\Software\QvUnicode' "$work/unicode4.reg" /regedit4 >/dev/null
check "REGEDIT4 refuses what ANSI cannot carry" 1 $?
grep -q "cannot carry" "$work/stderr"; check "and says so" 0 $?
[[ ! -e "$work/unicode4.reg" ]]; check "writing no file" 0 $?
qv reg delete 'HKCU\Software\QvUnicode' /f >/dev/null; check "unicode tree deleted" 0 $?

# An existing file is replaced only when asked; a failed export leaves it whole.
qv reg export "$round" "$work/v5.reg" </dev/null >/dev/null
check "no overwrite without /y" 1 $?
qv reg export 'HKCU\Software\QvMissing' "$work/v5.reg" /y >/dev/null; check "missing key exits 1" 1 $?
cmp -s "$work/v5.reg" "$work/v5-again.reg"; check "failed export keeps the old file" 0 $?
if [[ -z $emulator ]]; then
  qv reg export "$round" /dev/full /y >/dev/null; check "export to a full disk exits 1" 1 $?
  qv reg export "$round" "$QV_REGISTRY" /y >/dev/null
  check "export onto the registry itself is refused" 1 $?
  check "the registry survives" "REG_SZ" "$(qv reg type "$round" /v Quoted)"
  (unset QV_REGISTRY HOME XDG_DATA_HOME; "$qv_binary" reg add 'HKCU\Software\QvNowhere' >/dev/null 2>"$work/stderr")
  check "no place for the registry exits 1" 1 $?
  grep -q "set QV_REGISTRY" "$work/stderr"; check "no place says how to choose one" 0 $?
  qv reg import /dev/zero >/dev/null; check "import of a device exits 1" 1 $?
  { printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\QvHuge]\r\n"v"=hex:'
    head -c 34000000 /dev/zero | tr '\0' '0'; } >"$work/huge.reg"
  qv reg import "$work/huge.reg" >/dev/null; check "a line over the limit exits 1" 1 $?
  grep -q "longer than" "$work/stderr"; check "the limit is named" 0 $?
  rm -f "$work/huge.reg"
fi
if [[ $qv_binary != *.exe ]]; then
  # A tree copied into another registry, a Wine prefix here, and back.
  prefix="$work/prefix" && mkdir "$prefix"
  qv reg add "$round\\Copied" /v n /t REG_DWORD /d 7 /f >/dev/null
  qv reg copy "$round" 'HKCU\Software\QvCopied' /s /f /to-registry "wine:$prefix" >/dev/null
  check "copy into a prefix" 0 $?
  grep -q '^\[Software\\\\QvCopied\\\\Copied\] ' "$prefix/user.reg"; check "the prefix's file holds it" 0 $?
  check "read there with --registry" "    n    REG_DWORD    0x7" \
    "$(qv --registry "wine:$prefix" reg query 'HKCU\Software\QvCopied\Copied' /v n | sed -n 3p)"
  qv reg query 'HKCU\Software\QvCopied' >/dev/null; check "and not here" 1 $?
  qv --registry="wine:$prefix" reg copy 'HKCU\Software\QvCopied' "$round" /s /f \
    /to-registry "$QV_REGISTRY" </dev/null >/dev/null
  check "copy back over values that exist, with /f" 0 $?
  qv --registry "wine:$prefix" reg copy 'HKCU\Software\QvCopied' "$round" /s \
    /to-registry "$QV_REGISTRY" </dev/null >/dev/null
  check "without /f and no terminal, refused" 1 $?
  qv --registry >/dev/null; check "--registry without a registry exits 1" 1 $?
else
  qv --registry ":memory:" reg query 'HKCU\Software' >/dev/null; check "--registry refused on Windows" 1 $?
fi

# Strings the quoted form cannot carry travel in hex, and come back exactly.
printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\QvRoundTrip'"$$"']  \r\n"Lines" = "one\\ntwo\\r\\n\\\\ \\"q\\""\r\n; a comment \\\r\n"After"="comment"\r\n' >"$work/escapes.reg"
qv reg import "$work/escapes.reg" >/dev/null; check "escapes and blanks import" 0 $?
check "a comment ending in \\ ends there" "REG_SZ" "$(qv reg type "$round" /v After)"
qv reg export "$round" "$work/lines.reg" /y >/dev/null
iconv -f UTF-16LE -t UTF-8 "$work/lines.reg" | grep -q '^"Lines"=hex(1):'; check "CR LF strings as hex(1)" 0 $?
qv reg import "$work/remove.reg" >/dev/null
qv reg import "$work/lines.reg" >/dev/null
qv reg export "$round" "$work/lines-again.reg" /y >/dev/null
cmp -s "$work/lines.reg" "$work/lines-again.reg"; check "CR LF strings round trip" 0 $?

# A key name a .reg file cannot carry makes the export fail, writing nothing.
qv reg add "HKCU\\Software\\QvRoundTrip$$\\x]"$'\r\n''[HKEY_LOCAL_MACHINE\Software\QvInjected' >/dev/null
qv reg export "$round" "$work/injected.reg" >/dev/null; check "line break in a key name exits 1" 1 $?
[[ ! -e "$work/injected.reg" ]]; check "no file written" 0 $?
qv reg import "$work/remove.reg" >/dev/null

# A root is never deleted by a file; an import that fails half-way leaves
# the registry as it was.
printf 'REGEDIT4\r\n\r\n[-HKEY_CURRENT_USER]\r\n' >"$work/root.reg"
qv reg import "$work/root.reg" >/dev/null; check "deleting a root is refused" 1 $?
check "HKCU keeps its keys" 0 "$(qv reg query 'HKCU\Software' >/dev/null; echo $?)"
if [[ -z $emulator ]]; then  # one transaction where the registry is a database of ours
  { printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\QvHalf]\r\n"First"="1"\r\n"'
    head -c 16384 /dev/zero | tr '\0' 'n'; printf '"="2"\r\n'; } >"$work/half.reg"
  qv reg import "$work/half.reg" >/dev/null; check "a value name over the limit fails the import" 1 $?
  qv reg query 'HKCU\Software\QvHalf' >/dev/null; check "nothing of it applied" 1 $?
fi

# Bad lines: all reported, nothing applied unless /skip.
printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\QvBad]\r\n"Good"="yes"\r\n"Long"=dword:123456789\r\n"Hex"=hex:1,zz\r\n[\\\\OTHER\\HKEY_LOCAL_MACHINE\\Software]\r\n' >"$work/badlines.reg"
qv reg import "$work/badlines.reg" >/dev/null; check "bad lines exit 1" 1 $?
check "every bad line reported" "3" "$(grep -c '^  line' "$work/stderr")"
qv reg query 'HKCU\Software\QvBad' /v Good >/dev/null 2>&1; check "nothing applied" 1 $?
qv reg import "$work/badlines.reg" /skip >/dev/null; check "/skip applies the rest" 0 $?
check "good line applied" "REG_SZ" "$(qv reg type 'HKCU\Software\QvBad' /v Good)"
printf 'REGEDIT4\r\n\r\n[-HKEY_CURRENT_USER\\Software\\QvBad]\r\n' >"$work/rmbad.reg"
qv reg import "$work/rmbad.reg" >/dev/null

# What Windows' editors write is read: comments after keys and values, "#"
# lines, blank and comment lines inside a continued hex list, blanks after
# "dword:", lines ended by CR alone, a key line ending in one "\", REGEDIT4
# in a UTF-16 file; empty string data stay empty.
printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\QvForms] ; a comment\r\n# a hash comment\r\n"a"="b" ; note\r\n"c"=dword:00000002 ; note\r\n"spaced"=dword: 5\r\n"bin"=hex:01,02,\\\r\n; a comment inside\r\n\r\n  03,04\r\n"sz0"=hex(1):\r\n"multi0"=hex(7):\r\n[HKEY_CURRENT_USER\\Software\\QvForms\\Sub\\]\r\n"cr"="alone"\r"next"="line"\r\n' >"$work/forms.reg"
qv reg import "$work/forms.reg" >/dev/null; check "the forms Windows' editors read" 0 $?
check "their values" "$(printf '%s|' '    a    REG_SZ    b' '    bin    REG_BINARY    01020304' '    c    REG_DWORD    0x2' '    multi0    REG_MULTI_SZ    ' '    spaced    REG_DWORD    0x5' '    sz0    REG_SZ    ')" \
  "$(qv reg query 'HKCU\Software\QvForms' | grep '^    ' | paste -sd '|')|"
check "a line ended by CR alone" "    next    REG_SZ    line" "$(value_line 'HKCU\Software\QvForms\Sub' /v next)"
qv reg export 'HKCU\Software\QvForms' "$work/forms-out.reg" /regedit4 /y >/dev/null
check "empty strings stay empty" '"multi0"=hex(7):|"sz0"=hex(1):' \
  "$(grep -E '^"(sz0|multi0)"' "$work/forms-out.reg" | tr -d '\r' | paste -sd '|')"
printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\QvForms\\Wide]\r\n"w"="1"\r\n' |
  iconv -f UTF-8 -t UTF-16LE | { printf '\xff\xfe'; cat; } >"$work/wide4.reg"
qv reg import "$work/wide4.reg" >/dev/null; check "REGEDIT4 in a UTF-16 file" 0 $?
qv reg query 'HKCU\Software\QvForms\' >/dev/null; check "a key name ending in one \\" 0 $?
qv reg query 'HKCU\Software\QvForms\\' >/dev/null; check "but not in two" 1 $?
qv reg delete 'HKCU\Software\QvForms' /f >/dev/null

# reg add: the word after /d is data; binary in hex; REG_MULTI_SZ items.
qv reg add "$key" /v Flag /d -h >/dev/null; check "/d -h is data" "    Flag    REG_SZ    -h" "$(value_line "$key" /v Flag)"
qv reg add "$key" /v Bin /t REG_BINARY /d 0102ff >/dev/null
check "binary from hex" "    Bin    REG_BINARY    0102FF" "$(value_line "$key" /v Bin)"
qv reg add "$key" /v BadBin /t REG_BINARY /d 01x2 >/dev/null; check "invalid hex exits 1" 1 $?
qv reg add "$key" /v Multi /t REG_MULTI_SZ /d 'a\0b\0' >/dev/null
check "multi items" '    Multi    REG_MULTI_SZ    a\0b' "$(value_line "$key" /v Multi)"
qv reg add "$key" /v Multi2 /t REG_MULTI_SZ /d 'a\0\0b' >/dev/null; check "empty item refused" 1 $?
qv reg add "$key" /v Multi /t REG_MULTI_SZ /s '' /d x /f >/dev/null; check "empty separator is refused" 1 $?
qv reg add "$key" /v Flag /d other </dev/null >/dev/null; check "no overwrite without /f" 1 $?
check "value kept" "    Flag    REG_SZ    -h" "$(value_line "$key" /v Flag)"
qv reg add "$key" /v Flag /d other /F >/dev/null; check "/F overwrites" 0 $?
qv reg add "$key" /v Big /t REG_DWORD /d 4294967295 >/dev/null; check "largest dword" 0 $?
qv reg add "$key" /v Big2 /t REG_DWORD /d 4294967296 >/dev/null; check "dword range" 1 $?
qv reg add "$key" /d defaultdata >/dev/null
check "default value without /v" "    (Default)    REG_SZ    defaultdata" "$(value_line "$key" /ve)"

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

# reg.exe's layout: values, then subkeys; /s gives every key's block.
qv reg add "$key\\Child" /v Inner /d 1 >/dev/null
expected=$(printf '\n%s\n    (Default)    REG_SZ    \n    Inner    REG_SZ    1\n' \
  "HKEY_CURRENT_USER\\Software\\QvToolTest$$\\Child")
check "query of one value's key" "$expected" "$(qv reg query "$key\\Child")"
check "query lists subkeys after the values" "HKEY_CURRENT_USER\\Software\\QvToolTest$$\\Child" \
  "$(qv reg query "$key" | tail -n 1)"
check "query /s shows the subkey's values" "    Inner    REG_SZ    1" \
  "$(qv reg query "$key" /s | grep Inner)"
check "query /f finds data below" "    Inner    REG_SZ    1" \
  "$(qv reg query "$key" /s /f 1 /d | grep Inner)"
check "query /f counts its matches" "End of search: 1 match(es) found." \
  "$(qv reg query "$key" /s /f child /k | tail -n 1)"
check "query /f /e /c is exact" "End of search: 0 match(es) found." \
  "$(qv reg query "$key" /s /f child /k /e /c | tail -n 1)"
check "query /t keeps one type" "0" "$(qv reg query "$key" /s /t REG_DWORD | grep -c REG_SZ)"
qv reg add 'HKLM\Software\QvViewTool' /v Bits /d 32 /reg:32 /f >/dev/null; check "/reg:32" 0 $?
check "the 32-bit view is Wow6432Node" "    Bits    REG_SZ    32" \
  "$(value_line 'HKLM\Software\Wow6432Node\QvViewTool' /v Bits /reg:64)"
qv reg query 'HKLM\Software\QvViewTool' /reg:64 >/dev/null; check "not in the 64-bit view" 1 $?
qv reg delete 'HKLM\Software\QvViewTool' /reg:32 /f >/dev/null; check "delete in a view" 0 $?
qv reg copy "$key" "$key-copy" /s >/dev/null; check "copy /s" 0 $?
check "copied tree" "    Inner    REG_SZ    1" "$(value_line "$key-copy\\Child" /v Inner)"
qv reg copy "$key" "$key-copy" /s </dev/null >/dev/null; check "copy over values asks" 1 $?
qv reg copy "$key" "$key\\Child\\Deeper" /s >/dev/null; check "copy into itself is refused" 1 $?
qv reg delete "$key-copy" /va /f >/dev/null; check "delete /va" 0 $?
check "no values left" "0" "$(qv reg query "$key-copy" | grep -c REG_)"
qv reg delete "$key-copy" /f >/dev/null; check "delete a tree" 0 $?
qv reg delete "$key" /f >/dev/null; check "clean up" 0 $?
qv reg query "$key" >/dev/null; check "tree gone" 1 $?

# Hostile trees, files and folders (the portable backend: its limits, its
# database, its users).
if [[ -z $emulator ]]; then
  # (In the 64-bit view, where HKLM\Software\QvDeep is 2 levels deep.)
  deep='HKLM\Software\QvDeep'
  for _ in $(seq 3 512); do deep="$deep\\d"; done
  qv reg add "$deep" /reg:64 >/dev/null; check "a key 512 levels deep" 0 $?
  qv reg add "$deep\\e" /reg:64 >/dev/null; check "513 levels are refused" 1 $?
  grep -q "512 levels" "$work/stderr"; check "the limit is named" 0 $?
  qv reg delete 'HKLM\Software\QvDeep' /f /reg:64 >/dev/null; check "a 512-level tree deleted" 0 $?

  # A tree deeper than Windows allows, as an older registry could hold one:
  # deleted without recursion (on a small stack), refused by walks that
  # would print or copy it, in words that blame the depth.
  qv reg add 'HKLM\Software\QvLegacy' /reg:64 >/dev/null
  folded() { printf '%s' "$1" | iconv -t UTF-16BE | od -An -tx1 | tr -d ' \n'; }
  legacy=$(sqlite3 "$QV_REGISTRY" "SELECT id FROM keys WHERE folded = x'$(folded QVLEGACY)'")
  base=$(sqlite3 "$QV_REGISTRY" "SELECT max(id) FROM keys")
  sqlite3 "$QV_REGISTRY" "WITH RECURSIVE c(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM c WHERE n < 20000)
    INSERT INTO keys(id, parent, name, folded, granted) SELECT $base + n,
    CASE n WHEN 1 THEN $legacy ELSE $base + n - 1 END, x'0064', x'0044', 4294967295 FROM c"
  qv reg query 'HKLM\Software\QvLegacy' /s /reg:64 >/dev/null; check "query /s of a too deep tree exits 1" 1 $?
  grep -q "deeper than a Windows registry allows" "$work/stderr"; check "and says why" 0 $?
  qv reg export 'HKLM\Software\QvLegacy' "$work/legacy.reg" /reg:64 >/dev/null
  check "export of a too deep tree exits 1" 1 $?
  grep -q "damaged" "$work/stderr"; check "without calling the registry damaged" 1 $?
  (ulimit -s 1024; "$qv_binary" reg delete 'HKLM\Software\QvLegacy' /f /reg:64 >/dev/null 2>&1)
  check "a 20,000-level tree deleted on a 1 MiB stack" 0 $?
  check "every level of it" 0 "$(sqlite3 "$QV_REGISTRY" "SELECT count(*) FROM keys WHERE id > $base")"

  # One key by several names: a copy into its own tree is refused whatever
  # the spelling.
  qv reg add 'HKCU\Software\Classes\QvAlias\Sub' >/dev/null
  qv reg add 'HKLM\Software\Wow6432Node\QvAlias32\Sub' >/dev/null
  while IFS='|' read -r from to view; do
    # shellcheck disable=SC2086
    timeout 20 "$qv_binary" reg copy "$from" "$to" /s /f $view >/dev/null 2>"$work/stderr"
    check "copy $from into $to is refused" 1 $?
  done <<'ROWS'
HKCR\QvAlias|HKCU\Software\Classes\QvAlias\Sub\Y|
HKCU\Software\Classes\QvAlias|HKCR\QvAlias\Y|
HKU\S-1-5-21-0-0-0-1000\Software\Classes\QvAlias|HKCU\Software\Classes\QvAlias\Sub|
HKLM\Software\QvAlias32|HKLM\Software\Wow6432Node\QvAlias32\Sub|/reg:32
ROWS
  qv reg delete 'HKCU\Software\Classes\QvAlias' /f >/dev/null
  qv reg delete 'HKLM\Software\Wow6432Node\QvAlias32' /f >/dev/null

  # Every command that writes is one transaction: killed at any moment, a
  # delete leaves the whole tree or none of it.
  { printf 'REGEDIT4\r\n\r\n'
    for i in $(seq 1 5000); do printf '[HKEY_CURRENT_USER\\Software\\QvKilled\\K%d]\r\n' "$i"; done
  } >"$work/killed.reg"
  for delay in 0.02 0.05 0.1 0.2; do
    qv reg import "$work/killed.reg" >/dev/null
    "$qv_binary" reg delete 'HKCU\Software\QvKilled' /f >/dev/null 2>&1 &
    sleep "$delay"
    kill -9 $! 2>/dev/null
    wait $! 2>/dev/null
    left=$(qv reg list 'HKCU\Software\QvKilled' 2>/dev/null | wc -l)
    [[ $left == 5000 || $left == 0 ]]; check "killed after ${delay}s: all or nothing ($left)" 0 $?
  done
  qv reg delete 'HKCU\Software\QvKilled' /f >/dev/null

  # Exports: a planted link is refused, modes come from the umask or stay.
  qv reg add 'HKCU\Software\QvExport' /v v /d secret >/dev/null
  (umask 077; "$qv_binary" reg export 'HKCU\Software\QvExport' "$work/private.reg" >/dev/null)
  check "a new export takes the umask's mode" 600 "$(stat -c %a "$work/private.reg")"
  chmod 640 "$work/private.reg"
  qv reg export 'HKCU\Software\QvExport' "$work/private.reg" /y >/dev/null
  check "a replaced export keeps its mode" 640 "$(stat -c %a "$work/private.reg")"
  ln -s private.reg "$work/own-link.reg"
  qv reg export 'HKCU\Software\QvExport' "$work/own-link.reg" /y >/dev/null
  check "the user's own link is followed" 0 $?
  [[ -L $work/own-link.reg ]]; check "and stays a link" 0 $?
  if [[ $(id -u) == 0 ]] && id nobody >/dev/null 2>&1 && command -v setpriv >/dev/null; then
    as_nobody() { setpriv --reuid=nobody --regid=nogroup --clear-groups "$@"; }
    chmod 711 "$work"  # the other user reaches the folders made for it
    mkdir -m 1777 "$work/shared"
    mkdir -m 700 "$work/victim"
    printf 'root only\n' >"$work/victim/secret.conf"
    chmod 600 "$work/victim/secret.conf"
    as_nobody ln -s "$work/victim/secret.conf" "$work/shared/backup.reg"
    qv reg export 'HKCU\Software\QvExport' "$work/shared/backup.reg" /y >/dev/null
    check "a link another user planted is refused" 1 $?
    check "the file it points to is untouched" "root only" "$(cat "$work/victim/secret.conf")"
    check "and keeps its mode" 600 "$(stat -c %a "$work/victim/secret.conf")"

    # Another user reads a registry in a folder only its owner may write.
    mkdir -m 755 "$work/owned"
    QV_REGISTRY="$work/owned/registry.db" "$qv_binary" reg add 'HKCU\Software\QvShared' /v v /d 1 >/dev/null
    as_nobody env QV_REGISTRY="$work/owned/registry.db" "$qv_binary" reg query 'HKCU\Software\QvShared' /v v >/dev/null 2>"$work/stderr"
    check "another user reads it" 0 $?
    as_nobody env QV_REGISTRY="$work/owned/registry.db" "$qv_binary" reg add 'HKCU\Software\QvShared' /v w /d 2 >/dev/null 2>"$work/stderr"
    check "but does not write it" 1 $?
    grep -q "may only read it" "$work/stderr"; check "and is told why" 0 $?
    [[ ! -e $work/owned/registry.db-shm ]]; check "reading left nothing beside it" 0 $?
    # A read-only file read by its owner leaves nothing that keeps writers
    # out once it is writable again.
    mkdir -m 777 "$work/mine"
    as_nobody env QV_REGISTRY="$work/mine/registry.db" "$qv_binary" reg add 'HKCU\Software\QvMine' >/dev/null
    chmod 444 "$work/mine/registry.db"
    as_nobody env QV_REGISTRY="$work/mine/registry.db" "$qv_binary" reg query 'HKCU\Software\QvMine' >/dev/null 2>&1
    check "a read-only file is read" 0 $?
    chmod 644 "$work/mine/registry.db"
    as_nobody env QV_REGISTRY="$work/mine/registry.db" "$qv_binary" reg add 'HKCU\Software\QvMine' /v v /d 1 >/dev/null 2>&1
    check "and written once it may be again" 0 $?
  fi
  qv reg delete 'HKCU\Software\QvExport' /f >/dev/null

  # A registry that cannot be read is no missing setting.
  head -c 8192 /dev/urandom >"$work/noise.db"
  QV_REGISTRY="$work/noise.db" "$qv_binary" setting get QvToolApp S K fallback >/dev/null 2>"$work/stderr"
  check "setting get of an unreadable registry exits 1" 1 $?
  grep -q "cannot be read" "$work/stderr"; check "and says so" 0 $?
  (unset QV_REGISTRY HOME XDG_DATA_HOME; "$qv_binary" setting get QvToolApp S K fallback >/dev/null 2>&1)
  check "setting get with no place for the registry exits 1" 1 $?

  # Damage: never written, told in words by qv reg check.
  qv reg check >/dev/null; check "a sound registry checks" 0 $?
  cp "$QV_REGISTRY" "$work/damaged.db"
  sqlite3 "$work/damaged.db" "PRAGMA writable_schema=ON; UPDATE sqlite_master SET rootpage = 1000 WHERE name = 'sqlite_autoindex_keys_1'" 2>/dev/null
  QV_REGISTRY="$work/damaged.db" "$qv_binary" reg check >/dev/null 2>"$work/stderr"
  check "qv reg check finds damage" 1 $?
  grep -q "damaged" "$work/stderr"; check "and says so" 0 $?
  cp "$work/damaged.db" "$work/damaged-before.db"
  QV_REGISTRY="$work/damaged.db" "$qv_binary" reg add 'HKCU\Software\QvDamaged' >/dev/null 2>"$work/stderr"
  check "a damaged registry is not written" 1 $?
  cmp -s "$work/damaged.db" "$work/damaged-before.db"; check "and is left as it was" 0 $?

  # Writes reach the disk lazily, but a qv command that writes syncs them
  # before it reports success.
  if strace -o /dev/null true 2>/dev/null; then
    strace -f -o "$work/syscalls" -e trace=fsync,fdatasync,write,pwrite64 \
      "$qv_binary" reg add 'HKCU\Software\QvSynced' /v v /d 1 >/dev/null 2>&1
    # Up to the report: the last write to a file, then a sync after it.
    sed -n '1,/operation completed/p' "$work/syscalls" >"$work/before-report"
    written=$(grep -n 'write(\([3-9]\|[1-9][0-9]\)\|pwrite64(' "$work/before-report" | tail -n 1 | cut -d: -f1)
    synced=$(grep -n 'fsync(\|fdatasync(' "$work/before-report" | tail -n 1 | cut -d: -f1)
    [[ -n $written && -n $synced && $synced -gt $written ]]
    check "qv syncs what it wrote before it reports success" 0 $?
    qv reg delete 'HKCU\Software\QvSynced' /f >/dev/null
  fi

  # Arguments that are no UTF-8 are refused, not changed.
  qv reg add $'HKCU\\Software\\Qv\xff' >/dev/null; check "an argument that is not UTF-8 exits 1" 1 $?
  qv reg add "$key" /v Gone /d x >/dev/null
  qv reg delete "$key" /v Missing /f >/dev/null; check "deleting a missing value exits 1" 1 $?
  check "and names the value" "qv: The system was unable to find the specified registry key or value" \
    "$(cat "$work/stderr")"
fi

# Hive files, on both backends where the build has them: saved, changed,
# compared, undone, restored, loaded and unloaded.
hive_key='HKCU\Software\QvHiveRound'
qv reg add "$hive_key\Sub" /v s /d 'héllo' /f >/dev/null
qv reg add "$hive_key" /v d /t REG_DWORD /d 5 /f >/dev/null
hive="saved-$$.hiv"
(cd "$work" && qv reg save "$hive_key" "$hive" >/dev/null)
if [[ $? == 0 ]]; then
  qv reg add "$hive_key\Extra" /f >/dev/null
  qv reg add "$hive_key" /v d /t REG_DWORD /d 6 /f >/dev/null
  (cd "$work" && qv reg compare "$hive_key" "$hive" /s /on >/dev/null)
  check "hive: compare finds the changes" 2 $?
  (cd "$work" && qv reg diff "$hive_key" "$hive" /out undo.reg >/dev/null && qv reg import undo.reg >/dev/null)
  check "hive: the undo file imports" 0 $?
  (cd "$work" && qv reg compare "$hive_key" "$hive" /s /on >/dev/null)
  check "hive: undone, identical" 0 $?
  qv reg delete "$hive_key\Sub" /f >/dev/null
  (cd "$work" && qv reg restore "$hive_key" "$hive" /f >/dev/null)
  check "hive: restore" 0 $?
  check "hive: restored" "    s    REG_SZ    héllo" "$(value_line "$hive_key\Sub" /v s)"
  (cd "$work" && qv reg load 'HKLM\QvHiveLoaded' "$hive" >/dev/null)
  check "hive: load" 0 $?
  check "hive: loaded" "    d    REG_DWORD    0x5" "$(value_line 'HKLM\QvHiveLoaded' /v d)"
  qv reg unload 'HKLM\QvHiveLoaded' >/dev/null; check "hive: unload" 0 $?
  qv reg query 'HKLM\QvHiveLoaded' >/dev/null; check "hive: unloaded" 1 $?
  qv reg delete "$hive_key" /f >/dev/null
else
  grep -q "hivex" "$work/stderr"; check "hive files refused in words where the build has none" 0 $?
fi

echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
