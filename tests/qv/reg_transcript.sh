#!/usr/bin/env bash
# The same reg command lines through Wine's reg.exe and through qv.exe under
# Wine, on one registry: the exit codes, the query output and the registry
# contents afterwards must agree. Then .reg files go round through Wine's
# regedit: qv export -> regedit /S -> regedit /E -> qv import -> qv export
# gives back the same bytes.
#   reg_transcript.sh QV_EXE   (WINEPREFIX set by the caller)
set -u
qv_exe=$1
wine=${WINE:-/usr/lib/wine/wine64}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0
failed=0
reference='HKCU\Software\QvTranscriptReg'
ours='HKCU\Software\QvTranscriptQv'

check() {  # check NAME EXPECTED ACTUAL
  if [[ "$2" == "$3" ]]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    printf 'DIFFERENT %s\n  reg.exe: %q\n  qv:      %q\n' "$1" "$2" "$3"
  fi
}
# Output with the key names made alike and line ends, status lines and
# messages left out: Wine's reg prints its messages, "reg: ...", on standard
# output, where qv prints them on standard error. Wine's reg shows every
# REG_QWORD as "(null)"; their data are compared in the registry contents.
normal() { tr -d '\r' | sed -e 's/QvTranscriptReg/BASE/g; s/QvTranscriptQv/BASE/g' \
  -e 's/QvViewReg/VIEWBASE/g; s/QvViewQv/VIEWBASE/g' \
  -e '/operation completed successfully/d' -e '/^reg: /d' \
  -e 's/\(REG_QWORD    \).*/\1(data compared below)/'; }
both() {  # both ARGS...: ARGS with KEY standing for the key base
  local args_reg=() args_qv=() arg
  for arg in "$@"; do
    arg_reg=${arg//KEY/$reference} arg_qv=${arg//KEY/$ours}
    args_reg+=("${arg_reg//VIEW/QvViewReg}")
    args_qv+=("${arg_qv//VIEW/QvViewQv}")
  done
  local out_reg out_qv status_reg status_qv
  out_reg=$("$wine" reg "${args_reg[@]}" 2>/dev/null </dev/null | normal; echo "exit ${PIPESTATUS[0]}")
  out_qv=$("$wine" "$qv_exe" reg "${args_qv[@]}" 2>/dev/null </dev/null | normal; echo "exit ${PIPESTATUS[0]}")
  # Where both fail only the exit codes count: Wine's reg prints an empty
  # line before some of its messages.
  if [[ $out_reg == *"exit "[1-9]* && $out_qv == *"exit "[1-9]* ]]; then
    out_reg=${out_reg##*$'\n'} out_qv=${out_qv##*$'\n'}
  fi
  check "reg $*" "$out_reg" "$out_qv"
}

"$wine" reg delete "$reference" /f >/dev/null 2>&1
"$wine" reg delete "$ours" /f >/dev/null 2>&1

both add 'KEY' /v Text /d "hello world" /f
both add 'KEY' /v Count /t REG_DWORD /d 42 /f
both add 'KEY' /v Hex /t reg_dword /d 0x10 /f
both add 'KEY' /v Largest /t REG_DWORD /d 4294967295 /f
both add 'KEY' /v TooLarge /t REG_DWORD /d 4294967296 /f
both add 'KEY' /v Bytes /t REG_BINARY /d 0102ff /f
both add 'KEY' /v BadBytes /t REG_BINARY /d 01x2 /f
both add 'KEY' /v Items /t REG_MULTI_SZ /d 'a\0b\0' /f
both add 'KEY' /v Gap /t REG_MULTI_SZ /d 'a\0\0b' /f
both add 'KEY' /v Sep /t REG_MULTI_SZ /s '#' /d 'x#y' /f
both add 'KEY' /v Path /t REG_EXPAND_SZ /d '%TEMP%\x' /f
both add 'KEY' /v Big /t REG_DWORD_BIG_ENDIAN /d 5 /f
both add 'KEY' /v Quad /t REG_QWORD /d 0x100000000 /f
both add 'KEY' /v Nothing /t REG_NONE /d 0102 /f
both add 'KEY' /ve /d default /f
both add 'KEY\Sub' /v Inner /d 'in side' /f
both add 'KEY\Sub\Deeper' /v Flag /d -h /f
both add 'HKXX\Software\X' /f
# (Not compared: an add over an existing value without /f and without a
# terminal, where Wine's reg asks again and again; qv refuses, exit 1.)
both query 'KEY' /v Text
both query 'KEY' /v count
both query 'KEY' /ve
both query 'KEY' /v Missing
both query 'KEY\Missing'
both query 'KEY'
both query 'KEY' /s
both query 'KEY\Sub'
both query 'HKLM\'
both copy 'KEY\Sub' 'KEY\Copied' /s /f
both delete 'KEY' /v Count /f
both delete 'KEY\Sub\Deeper' /f
both delete 'KEY\Nothing' /f
both add 'KEY\Bare\Child' /v x /d 1 /f
both query 'KEY' /s
# reg.exe's forms: blanks and "+" before a number, an odd count of hex
# digits, the other name of REG_DWORD, one final "\" after a key name; a
# number for a type and a separator of two characters are refused; /s with
# /v or /ve searches the whole tree.
both add 'KEY' /v Plus /t REG_DWORD /d +5 /f
both add 'KEY' /v Blank /t REG_DWORD /d ' 5' /f
both add 'KEY' /v Odd /t REG_BINARY /d 102 /f
both add 'KEY' /v Little /t REG_DWORD_LITTLE_ENDIAN /d 7 /f
both add 'KEY' /v Numbered /t 4 /d 5 /f
both add 'KEY' /v TwoChars /t REG_MULTI_SZ /s ab /d xabyab /f
both query 'KEY\Sub\'
both query 'KEY' /s /v Inner
both query 'KEY' /s /ve
both query 'KEY' /s /v NoSuchValue

# A key alone sets an empty default value, over an existing one with /f; a
# REG_QWORD without data is 0, and -1 is all ones; the separator alone is the
# empty REG_MULTI_SZ list; a key without values shows in /s only through its
# subkeys.
both add 'KEY\Alone' /f
both add 'KEY\Alone' /f
both add 'KEY\Alone' /v QZero /t REG_QWORD /f
both add 'KEY\Alone' /v QAll /t REG_QWORD /d -1 /f
both add 'KEY\Alone' /v EmptyList /t REG_MULTI_SZ /s '#' /d '#' /f
both add 'KEY\Alone' /v EmptyZero /t REG_MULTI_SZ /d '\0' /f
both query 'KEY\Alone'
both add 'KEY\NoValues\Below' /v x /d 1 /f
both query 'KEY\NoValues' /s

# The 32-bit view keeps HKLM\Software\X at Software\Wow6432Node\X.
both add 'HKLM\Software\VIEW' /v Bits /d 32 /reg:32 /f
both query 'HKLM\Software\VIEW' /v Bits /reg:32
both query 'HKLM\Software\Wow6432Node\VIEW' /v Bits /reg:64
both query 'HKLM\Software\VIEW' /v Bits /reg:64
both delete 'HKLM\Software\VIEW' /reg:32 /f
both query 'HKLM\Software\Wow6432Node\VIEW' /reg:64

# The registry afterwards, as Wine's own reg export writes it.
"$wine" reg export "$reference" "$work/reference.reg" /y >/dev/null 2>&1
"$wine" reg export "$ours" "$work/ours.reg" /y >/dev/null 2>&1
check "registry contents" "$(iconv -f UTF-16LE -t UTF-8 "$work/reference.reg" | normal)" \
  "$(iconv -f UTF-16LE -t UTF-8 "$work/ours.reg" | normal)"

# Round trip through regedit, both formats.
cat >"$work/every.reg" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\QvTranscriptTrip]
@="default"
"Binary"=hex:00,01,fe,ff
"Dword"=dword:fffffffe
"Expand"=hex(2):25,54,45,4d,50,25,00
"Multi"=hex(7):61,00,62,00,00
"None"=hex(0):01,02
"Quad"=hex(b):01,02,03,04,05,06,07,08
"Quoted"="a \"quoted\" \\ text"
"Long"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29,2a

[HKEY_CURRENT_USER\Software\QvTranscriptTrip\Sub]
"Caf\xe9"="\xe9t\xe9"
"Lines"=hex(1):6c,0d,0a,6c,00

[HKEY_CURRENT_USER\Software\QvTranscriptTrip\Sub\Empty]

REG
sed -i 's/\\xe9/\xe9/g; s/$/\r/' "$work/every.reg"
trip='HKCU\Software\QvTranscriptTrip'
for format in "" /regedit4; do
  rm -f "$work"/first.reg "$work"/regedit*.reg "$work"/second.reg "$work"/through-qv.reg
  "$wine" "$qv_exe" reg delete "$trip" /f >/dev/null 2>&1
  "$wine" "$qv_exe" reg import "Z:$work/every.reg" >/dev/null 2>&1
  # shellcheck disable=SC2086
  "$wine" "$qv_exe" reg export "$trip" "Z:$work/first.reg" /y $format >/dev/null 2>&1
  "$wine" "$qv_exe" reg delete "$trip" /f >/dev/null 2>&1
  "$wine" regedit /S "Z:$work/first.reg" >/dev/null 2>&1
  "$wine" regedit /E "Z:$work/regedit.reg" "HKEY_CURRENT_USER\\Software\\QvTranscriptTrip" >/dev/null 2>&1
  "$wine" "$qv_exe" reg delete "$trip" /f >/dev/null 2>&1
  "$wine" "$qv_exe" reg import "Z:$work/regedit.reg" >/dev/null 2>&1
  # shellcheck disable=SC2086
  "$wine" "$qv_exe" reg export "$trip" "Z:$work/second.reg" /y $format >/dev/null 2>&1
  cmp -s "$work/first.reg" "$work/second.reg"
  check "qv -> regedit -> qv ${format:-/version5}" 0 $?
  # And the other way: what regedit wrote, through qv and back to regedit.
  "$wine" "$qv_exe" reg export "$trip" "Z:$work/through-qv.reg" /y >/dev/null 2>&1
  "$wine" "$qv_exe" reg delete "$trip" /f >/dev/null 2>&1
  "$wine" regedit /S "Z:$work/through-qv.reg" >/dev/null 2>&1
  "$wine" regedit /E "Z:$work/regedit-again.reg" "HKEY_CURRENT_USER\\Software\\QvTranscriptTrip" >/dev/null 2>&1
  cmp -s "$work/regedit.reg" "$work/regedit-again.reg"
  check "regedit -> qv -> regedit ${format:-/version5}" 0 $?
  [[ -n ${QV_TRANSCRIPT_KEEP:-} ]] && cp "$work"/*.reg "$QV_TRANSCRIPT_KEEP/"
done
"$wine" "$qv_exe" reg delete "$trip" /f >/dev/null 2>&1

# A big tree of every type (1,000 keys, 5,000 values), both ways round.
python3 - "$work/big.reg" <<'PY'
import sys
lines = ["Windows Registry Editor Version 5.00", ""]
forms = [
    lambda k, v: f'"text{v}"="value {k} \\"{v}\\" é"',
    lambda k, v: f'"number{v}"=dword:{(k * 7919 + v) & 0xffffffff:08x}',
    lambda k, v: f'"bytes{v}"=hex:{",".join(f"{(k + i) % 256:02x}" for i in range(v % 7))}',
    lambda k, v: f'"expand{v}"=hex(2):25,00,41,00,25,00,00,00',
    lambda k, v: f'"multi{v}"=hex(7):61,00,00,00,62,00,00,00,00,00',
    lambda k, v: f'"quad{v}"=hex(b):{k % 256:02x},00,00,00,00,00,00,01',
    lambda k, v: f'"none{v}"=hex(0):{v:02x}',
    # (not a 0-byte REG_SZ: Wine's regedit /E writes one as "", which any
    # editor imports with its zero)
    lambda k, v: f'"empty{v}"=""',
]
for k in range(1000):
    lines.append(f"[HKEY_CURRENT_USER\\Software\\QvTranscriptBig\\g{k // 50}\\k{k}]")
    for v in range(5):
        lines.append(forms[(k + v) % len(forms)](k, v))
    lines.append("")
open(sys.argv[1], "w", encoding="utf-16", newline="\r\n").write("\n".join(lines) + "\n")
PY
big='HKCU\Software\QvTranscriptBig'
"$wine" "$qv_exe" reg delete "$big" /f >/dev/null 2>&1
"$wine" "$qv_exe" reg import "Z:$work/big.reg" >/dev/null 2>&1
"$wine" "$qv_exe" reg export "$big" "Z:$work/big-first.reg" /y >/dev/null 2>&1
"$wine" "$qv_exe" reg delete "$big" /f >/dev/null 2>&1
"$wine" regedit /S "Z:$work/big-first.reg" >/dev/null 2>&1
"$wine" regedit /E "Z:$work/big-regedit.reg" "HKEY_CURRENT_USER\\Software\\QvTranscriptBig" >/dev/null 2>&1
"$wine" "$qv_exe" reg delete "$big" /f >/dev/null 2>&1
"$wine" "$qv_exe" reg import "Z:$work/big-regedit.reg" >/dev/null 2>&1
"$wine" "$qv_exe" reg export "$big" "Z:$work/big-second.reg" /y >/dev/null 2>&1
cmp -s "$work/big-first.reg" "$work/big-second.reg"
check "a tree of 1,000 keys and 5,000 values: qv -> regedit -> qv" 0 $?
"$wine" "$qv_exe" reg delete "$big" /f >/dev/null 2>&1
"$wine" regedit /S "Z:$work/big-second.reg" >/dev/null 2>&1
"$wine" regedit /E "Z:$work/big-regedit-again.reg" "HKEY_CURRENT_USER\\Software\\QvTranscriptBig" >/dev/null 2>&1
cmp -s "$work/big-regedit.reg" "$work/big-regedit-again.reg"
check "the same tree: regedit -> qv -> regedit" 0 $?
[[ $(grep -c . "$work/big-first.reg") -gt 5000 ]]; check "the big tree was exported whole" 0 $?
[[ -n ${QV_TRANSCRIPT_KEEP:-} ]] && cp "$work"/big*.reg "$QV_TRANSCRIPT_KEEP/"
"$wine" "$qv_exe" reg delete "$big" /f >/dev/null 2>&1
"$wine" reg delete "$reference" /f >/dev/null 2>&1
"$wine" reg delete "$ours" /f >/dev/null 2>&1

echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
