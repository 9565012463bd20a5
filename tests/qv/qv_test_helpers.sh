# What the qv suites share (sourced): qv_binary and emulator set, a scratch
# folder with the registry in it, qv run with its messages kept, and checks
# counted.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QV_REGISTRY="$work/registry.db"
passed=0
failed=0

qv() { $emulator "$qv_binary" "$@" 2>"$work/stderr" | tr -d '\r'; return "${PIPESTATUS[0]}"; }
check() {  # check NAME EXPECTED ACTUAL
  if [[ "$2" == "$3" ]]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    printf 'FAILED %s\n  expected: %q\n  actual:   %q\n' "$1" "$2" "$3"
    # What the last qv said, which tells why it failed.
    [[ -s $work/stderr ]] && printf '  qv said:  %s\n' "$(tr -d '\r' <"$work/stderr" | head -3)"
  fi
}
