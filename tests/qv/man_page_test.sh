#!/usr/bin/env bash
# The manual page built from its source describes every command that qv's
# own help lists, and every reg command.
#   man_page_test.sh QV MAN_PAGE [EMULATOR]
set -uo pipefail
qv=$1 page=$2 emulator=${3:-}
[[ -s $page ]] || { echo "FAIL: $page was not built"; exit 1; }
# Each command must stand in bold, where the page describes it.
text=$(cat "$page")
named() { grep -qE -- "\\\\fB$1(\\\\fR| )" <<<"$text"; }
missing=()
# "  reg ...", "  setting save|get ...", "  windir | sysdir | tempdir": the
# words before the arguments.
while read -r words; do
  for command in ${words//|/ }; do
    named "$command" || missing+=("$command")
  done
done < <($emulator "$qv" --help | sed -n 's/^  \([a-z][a-z|-]*\( | [a-z]*\)*\).*/\1/p' | sed 's/ //g')
while read -r command; do
  named "$command" || missing+=("reg $command")
done < <($emulator "$qv" reg --help | sed -n 's/^  \([a-z]\+\) .*/\1/p; s/^  \([a-z]\+\)$/\1/p')
if ((${#missing[@]})); then
  echo "FAIL: the manual page leaves out: ${missing[*]}"
  exit 1
fi
failed=0
# Every variable qv's help names, where the registry lives, and the exit rule
# qv's help states.
help=$($emulator "$qv" --help)
for variable in $(grep -o 'QV_[A-Z_0-9]*' <<<"$help" | sort -u); do
  grep -qF -- "\\fB$variable\\fR" <<<"$text" || { echo "FAIL: the page leaves out $variable"; failed=1; }
done
grep -q 'quorvane/registry\.\(\\&\)\?db' <<<"$text" || { echo "FAIL: the page does not say where the registry lives"; failed=1; }
[[ $help == *"1 failed or used wrongly"* ]] && grep -q 'used wrongly' <<<"$text" ||
  { echo "FAIL: the page and qv --help give different exit rules"; failed=1; }
# Markup that scdoc left as it was: _WORD_ in the text.
if grep -nE '(^|[^A-Za-z_])_[A-Za-z.]+_([^A-Za-z_]|$)' <<<"$text" | grep -v '^[0-9]*:\.'; then
  echo "FAIL: markup left in the page"
  failed=1
fi
((failed == 0)) || exit 1
echo "manual page: every command of qv --help and qv reg --help, every variable and the exit rule"
