#!/usr/bin/env bash
# The file-system commands through both builds of qv on one scratch tree: the
# portable backend must answer as the win32 backend does under Wine.
#   backends_compare.sh NATIVE_QV WINDOWS_QV   (WINEPREFIX set by the caller)
set -u
native=$1
windows=$2
wine=${WINE:-/usr/lib/wine/wine64}
work=$(mktemp -d /tmp/qv-fsdiff-XXXXXX)
trap 'rm -rf "$work"' EXIT
passed=0
failed=0
W='Z:'${work//\//\\}           # the scratch tree as a Windows name
W_UPPER=${W^^}

both() {  # both NAME COMMAND...: the same answer and exit code from each build
  local name=$1
  shift
  local a b
  a=$(QV_REGISTRY=:memory: "$native" "$@" 2>&1 | tr -d '\r'; echo "exit ${PIPESTATUS[0]}")
  b=$("$wine" "$windows" "$@" 2>&1 | tr -d '\r'; echo "exit ${PIPESTATUS[0]}")
  if [[ "$a" == "$b" ]]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    printf 'DIFFERENT %s\n  portable: %q\n  win32:    %q\n' "$name" "$a" "$b"
  fi
}
shape() {  # shape NAME PATTERN COMMAND...: both answers match a Windows shape
  local name=$1 pattern=$2
  shift 2
  local a b
  a=$(QV_REGISTRY=:memory: "$native" "$@" | tr -d '\r')
  b=$("$wine" "$windows" "$@" | tr -d '\r')
  local a_shape=${a^^} b_shape=${b^^}
  a_shape=${a_shape//\\//} b_shape=${b_shape//\\//}  # backslashes as slashes for the glob
  if [[ $a_shape == $pattern && $b_shape == $pattern ]]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    printf 'SHAPE %s (%s)\n  portable: %q\n  win32:    %q\n' "$name" "$pattern" "$a" "$b"
  fi
}

mkdir -p "$work/Dir/Inner" && touch "$work/Dir/Inner/File.txt" "$work/Dir/.hidden" \
  "$work/Dir/plain.txt"
both "exists, exact case" exists "$W\\Dir\\Inner\\File.txt"
both "exists, every level in another case" exists "$W_UPPER\\DIR\\inner\\file.TXT"
both "exists, wildcard" exists "$W_UPPER\\dir\\*.TXT"
both "exists, hidden" exists "$W\\Dir\\.hidden"
both "exists, a directory" exists "$W\\DIR\\INNER"
both "exists, missing" exists "$W\\Dir\\Missing\\x"
both "exists, trailing dots" exists "$W\\dir\\plain.txt.. "
both "mkdir, below a folder in another case" mkdir "$W_UPPER\\DIR\\INNER\\New\\Deeper"
[[ -d "$work/Dir/Inner/New/Deeper" ]] && passed=$((passed + 1)) || {
  failed=$((failed + 1)); echo "FAILED mkdir did not use the existing folders"; }
both "mkdir, all there" mkdir "$W\\dir\\inner\\new\\deeper"
both "mkdir, through a file" mkdir "$W\\Dir\\plain.txt\\x"
shape "windir" 'C:/WINDOWS' windir
shape "sysdir" 'C:/WINDOWS/SYSTEM32' sysdir
shape "tempdir" 'C:/USERS/*/TEMP' tempdir

echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
