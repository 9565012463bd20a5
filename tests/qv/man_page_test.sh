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
echo "manual page: every command of qv --help and qv reg --help is in it"
