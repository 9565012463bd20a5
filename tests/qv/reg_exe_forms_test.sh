#!/usr/bin/env bash
# qv as a reg.exe user meets it at a terminal: help for each command, one
# exit-code rule, one line for a missing key, a hint for a key the shell took
# the backslashes of, questions asked again until answered, and the forms of
# reg.exe's command lines and .reg files that qv takes as reg.exe does.
#   reg_exe_forms_test.sh QV [EMULATOR]
set -u
qv_binary=$1
emulator=${2:-}
# shellcheck source=tests/qv/qv_test_helpers.sh
source "$(dirname "$0")/qv_test_helpers.sh"
key='HKCU\Software\QvFormsTest'"$$"
stderr() { tr -d '\r' <"$work/stderr"; }
data_of() {  # data_of NAME: the value's data as reg query shows them
  qv reg query "$key" /v "$1" | sed -n 3p | sed 's/^    [^ ]*    [^ ]*    //'
}

# Help: each command's own, for every way of asking; alone, or it is a mistake.
# (The same text on every backend: asked natively alone, where a process
# starts in milliseconds.)
[[ -z $emulator ]] && for command in add query type delete copy list export import check save restore load unload \
               compare diff; do
  out=$(qv reg "$command" /?); status=$?
  [[ $status == 0 && $out == "usage: qv reg $command"* ]]; check "qv reg $command /?: its own help" 0 $?
done
[[ -z $emulator ]] && for ask in '-?' /h -H --help /H; do
  out=$(qv reg query "$ask"); status=$?
  [[ $status == 0 && $out == "usage: qv reg query"* ]]; check "qv reg query $ask: its own help" 0 $?
done
out=$(qv reg add /?)
[[ $out == *examples:*"qv reg add 'HKCU\\Software\\MyApp'"* ]]; check "add's help has examples" 0 $?
qv reg add /? /f >/dev/null; check "/? beside another switch exits 1" 1 $?
qv reg /? >/dev/null; check "qv reg /? exits 0" 0 $?
out=$(qv /?); check "qv /? exits 0" 0 $?
[[ $out == *"usage: qv COMMAND"*"The registry is"* ]]; check "qv's help says where the registry lives" 0 $?

# One rule: 0 done, 1 failed or used wrongly; compare's 2 for "different".
qv >/dev/null; check "bare qv exits 1" 1 $?
qv reg >/dev/null; check "bare qv reg exits 1" 1 $?
qv frobnicate >/dev/null; check "an unknown command exits 1" 1 $?
qv reg frobnicate "$key" >/dev/null; check "an unknown reg command exits 1" 1 $?
qv reg add "$key" /t REG_NOSUCH >/dev/null; check "a bad type exits 1" 1 $?

# A missing key: one line in reg.exe's words; --verbose adds the error's number.
qv reg query "$key\\Missing" >/dev/null; check "missing key exits 1" 1 $?
check "missing key: one line" \
  "qv: The system was unable to find the specified registry key or value" "$(stderr)"
qv --verbose reg query "$key\\Missing" >/dev/null
[[ $(stderr) == *"(error -2147210502, 0x80042AFA, source qvReg.Registry)" ]]
check "--verbose gives the number and source" 0 $?
# What a POSIX shell makes of HKCU\Software\QvFormsTest typed unquoted.
qv reg query HKCUSoftwareQvFormsTest >/dev/null; check "backslashes lost: exits 1" 1 $?
[[ $(stderr) == *"the shell removed the backslashes; quote the key, as in 'HKCU\\SoftwareQvFormsTest'"* ]]
check "backslashes lost: a hint to quote the key" 0 $?
qv reg query HKEY_LOCAL_MACHINESoftware >/dev/null
[[ $(stderr) == *"quote the key, as in 'HKEY_LOCAL_MACHINE\\Software'"* ]]
check "backslashes lost, long root name: the hint" 0 $?

# reg add KEY alone: the default value, an empty REG_SZ; over an existing one
# only with /f (without a terminal to ask at, refused).
qv reg add "$key" >/dev/null; check "add KEY alone" 0 $?
check "add KEY alone: empty default value" "    (Default)    REG_SZ    " \
  "$(qv reg query "$key" /ve | sed -n 3p)"
qv reg add "$key" /ve /d set /f >/dev/null
qv reg add "$key" </dev/null >/dev/null; check "over a default value, no /f, no terminal: exits 1" 1 $?
check "the default value kept" "set" "$(data_of '')"
qv reg add "$key" /f >/dev/null; check "over a default value with /f" 0 $?
check "the default value emptied" "" "$(data_of '')"

# REG_QWORD: no data is 0, -1 all ones; REG_DWORD refuses both.
qv reg add "$key" /v Q0 /t REG_QWORD /f >/dev/null; check "REG_QWORD without /d" 0 $?
check "REG_QWORD without /d is 0" "0x0" "$(data_of Q0)"
qv reg add "$key" /v Q1 /t REG_QWORD /d -1 /f >/dev/null
check "REG_QWORD -1 is all ones" "0xffffffffffffffff" "$(data_of Q1)"
qv reg add "$key" /v D0 /t REG_DWORD /f >/dev/null; check "REG_DWORD without /d: exits 1" 1 $?
qv reg add "$key" /v D1 /t REG_DWORD /d -1 /f >/dev/null; check "REG_DWORD -1: exits 1" 1 $?

# REG_MULTI_SZ: the separator alone is the empty list, two terminators.
for form in "/s # /d #" '/d \0'; do
  # shellcheck disable=SC2086
  qv reg add "$key" /v Empty /t REG_MULTI_SZ $form /f >/dev/null; check "empty list ($form)" 0 $?
  qv reg export "$key" "$work/empty.reg" /y >/dev/null
  iconv -f UTF-16LE -t UTF-8 "$work/empty.reg" | tr -d '\r' | grep -q '^"Empty"=hex(7):00,00,00,00$'
  check "empty list ($form): one pair of terminators" 0 $?
done
qv reg add "$key" /v List /t REG_MULTI_SZ /d 'a\0b' /f >/dev/null
check "query /se" "    List    REG_MULTI_SZ    a#b" "$(qv reg query "$key" /v List /se '#' | sed -n 3p)"
check "query /z" "    List    REG_MULTI_SZ (7)    a\\0b" "$(qv reg query "$key" /v List /z | sed -n 3p)"
qv reg query "$key" /v List /se '##' >/dev/null; check "query /se of two characters: exits 1" 1 $?
qv reg add "$key" /v Resource /t REG_FULL_RESOURCE_DESCRIPTOR /d 01 /f >/dev/null
check "REG_FULL_RESOURCE_DESCRIPTOR" "    Resource    REG_FULL_RESOURCE_DESCRIPTOR    01" \
  "$(qv reg query "$key" /v Resource | sed -n 3p)"
[[ $(qv reg /?) == *REG_LINK*REG_FULL_RESOURCE_DESCRIPTOR* ]]; check "types in help" 0 $?

# query /s: the key queried shows a block only when it holds values; the
# keys below it always do.
qv reg add "$key\\Bare\\Below\\Deepest" /v x /d 1 /f >/dev/null
out=$(qv reg query "$key\\Bare" /s)
check "query /s: a block for every key below, none for the bare key queried" \
  "$(printf '\n%s\n\n%s\n    x    REG_SZ    1\n' "HKEY_CURRENT_USER\\Software\\QvFormsTest$$\\Bare\\Below" \
     "HKEY_CURRENT_USER\\Software\\QvFormsTest$$\\Bare\\Below\\Deepest")" "$out"

# A .reg file with blanks before its header.
printf ' \tREGEDIT4\r\n\r\n[%s\\Imported]\r\n"v"="1"\r\n' "${key/HKCU/HKEY_CURRENT_USER}" \
  >"$work/indented.reg"
qv reg import "$work/indented.reg" >/dev/null; check "header after blanks imports" 0 $?
check "header after blanks: the value" "1" "$(qv reg query "$key\\Imported" /v v | sed -n 3p | sed 's/.*    //')"

# Questions at a terminal: asked again until yes or no; no cancels, exit 0.
if [[ -z $emulator ]] && command -v script >/dev/null; then
  at_terminal() {  # at_terminal ANSWERS COMMAND...: runs COMMAND at a terminal
    local answers=$1 command
    shift
    command=$(printf '%q ' "$qv_binary" "$@")
    { sleep 0.3; printf '%b' "$answers"; sleep 0.3; } |
      script -qec "$command" /dev/null 2>/dev/null | tr -d '\r'
  }
  qv reg add "$key" /v Asked /d old /f >/dev/null
  out=$(at_terminal 'maybe\nno\n' reg add "$key" /v Asked /d new)
  [[ $out == *"overwrite (Yes/No)? "*"overwrite (Yes/No)? "*"The registry operation was cancelled."* ]]
  check "asked again, then cancelled" 0 $?
  check "cancelled: the value kept" "old" "$(data_of Asked)"
  at_terminal 'maybe\nYES\n' reg add "$key" /v Asked /d new >/dev/null
  check "asked again, then yes: overwritten" "new" "$(data_of Asked)"
fi

# reg restore runs unattended, as reg.exe's does.
if qv reg save "$key" "$work/saved.hiv" >/dev/null; then
  qv reg add "$key" /v AfterSave /d x /f >/dev/null
  qv reg restore "$key" "$work/saved.hiv" </dev/null >/dev/null
  check "restore without /f and without a terminal" 0 $?
  qv reg query "$key" /v AfterSave >/dev/null; check "restored: the later value gone" 1 $?
fi

qv reg delete "$key" /f >/dev/null
echo "$passed passed, $failed failed"
((failed == 0))
