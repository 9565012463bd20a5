#!/usr/bin/env bash
# Drives the bash completion function as bash would (COMP_WORDS, COMP_CWORD)
# against a registry of known keys, and compares what it offers.
#   completion_test.sh QV COMPLETION_FILE [EMULATOR]
set -uo pipefail
qv=$1 completion=$2 emulator=${3:-}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
if [[ -n $emulator ]]; then
  # The completion runs the command it completes: here, through the emulator.
  printf '#!/bin/sh\nexec %q %q "$@"\n' "$emulator" "$qv" >"$scratch/qv"
  chmod +x "$scratch/qv"
  qv=$scratch/qv
fi
export QV_REGISTRY=$scratch/registry.db
for key in 'HKCU\Software\QvComplete\Alpha' 'HKCU\Software\QvComplete\alps' \
           'HKCU\Software\QvComplete\Beta' 'HKCU\Software\QvComplete\with space'; do
  "$qv" reg add "$key" /f >/dev/null || exit 1
done
"$qv" reg add 'HKCU\Software\QvComplete\Alpha' /v 'Name One' /d 1 /f >/dev/null || exit 1
"$qv" reg add 'HKCU\Software\QvComplete\Alpha' /v Other /d 2 /f >/dev/null || exit 1
mkdir -p "$scratch/files"
touch "$scratch/files/saved.reg"
# shellcheck source=/dev/null
source "$completion"

failed=0 total=0
# offers EXPECTED WORD...: the words of the line, the last one being completed.
offers() {
  local expected=$1
  shift
  COMP_WORDS=("$qv" "$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _qv
  local got
  got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd'|')
  total=$((total + 1))
  if [[ $got != "$expected" ]]; then
    echo "FAIL: qv $* -> '$got', expected '$expected'"
    failed=1
  fi
}

offers 'reg|regedit' 're'
offers 'setting' 'se'
offers '--help|add|check|compare|copy|delete|diff|export|import|list|load|query|restore|save|type|unload' reg ''
offers 'HKCC\\|HKCR\\|HKCU\\' reg query 'hkc'
offers 'HKEY_CURRENT_CONFIG\\|HKEY_CURRENT_USER\\' reg query 'HKEY_CU'
offers 'HKCU\\Software\\' reg query 'HKCU\\Sof'
offers 'HKCU\\Software\\QvComplete\\' reg query 'HKCU\\Software\\QvC'
# Any case, and every subkey whose name begins so.
offers 'HKCU\\Software\\QvComplete\\Alpha\\|HKCU\\Software\\QvComplete\\alps\\' \
  reg query 'HKCU\\Software\\QvComplete\\al'
offers "'HKCU\\Software\\QvComplete\\Beta\\" reg delete "'HKCU\\Software\\QvComplete\\B"
offers "'HKCU\\Software\\QvComplete\\with space\\" reg list "'HKCU\\Software\\QvComplete\\w"
offers '' reg query 'HKCU\\Software\\NoSuchKey\\'
offers '/v|/ve' reg query 'HKCU\\Software' '/v'
offers '/reg:32|/reg:64' reg add 'HKCU\\Software' '/reg'
offers 'REG_DWORD|REG_DWORD_BIG_ENDIAN|REG_DWORD_LITTLE_ENDIAN' reg add 'HKCU\\X' /t 'REG_DW'
offers 'get|save' setting ''
# Files named from the root, which begin as switches do.
offers "$scratch/files/saved.reg" reg import "$scratch/files/sa"
offers "$scratch/files/saved.reg" reg export 'HKCU\\X' "$scratch/files/sa"
offers '/y' reg export 'HKCU\\X' '/y'
# Switches written -x.
offers '-v|-ve' reg query 'HKCU\\Software' '-v'
# After /v, the key's value names, never roots.
offers 'Name\ One' reg query 'HKCU\\Software\\QvComplete\\Alpha' /v 'Na'
offers "Name\\ One|Other" reg add "'HKCU\\Software\\QvComplete\\Alpha'" -v ''
offers '' reg query 'HKCU\\Software' /v 'HK'
# A blank in a key typed without quotes, escaped.
offers 'HKCU\\Software\\QvComplete\\with\ space\\' reg list 'HKCU\\Software\\QvComplete\\with\ sp'
offers 'getfile|getfilelessext' path 'getf'
# After qv's own options as without them, with keys and value names from the
# registry --registry names.
"$qv" --registry "$scratch/other.db" reg add 'HKCU\Software\QvElsewhere' /v There /d 1 /f \
  >/dev/null || exit 1
offers 'HKCU\\Software\\QvElsewhere\\' --registry "$scratch/other.db" reg query 'HKCU\\Software\\QvE'
offers 'There' --verbose --registry="$scratch/other.db" reg query 'HKCU\\Software\\QvElsewhere' /v ''
offers 'HKCU\\Software\\QvComplete\\' --verbose reg query 'HKCU\\Software\\QvC'
offers "$scratch/other.db|$scratch/other.db-checked" --registry "$scratch/other.d"
offers '/to-registry' reg copy 'HKCU\\X' 'HKCU\\Y' '/to'
offers 'getext' path 'gete'
echo "completion: $((total)) cases, $([ $failed = 0 ] && echo all as expected || echo SOME FAILED)"
exit $failed
