#!/usr/bin/env bash
# Whether this machine's kernel runs 32-bit x86 programs itself: exits 0 when
# it does, else 1 with the reason on stdout. The probe is a 96-byte i386
# program that exits with 42 (no library, no loader); a run through a
# user-mode emulator registered with binfmt_misc does not count.
set -u
probe=$(mktemp)
trap 'rm -f "$probe"' EXIT
printf '\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' >"$probe"
chmod +x "$probe"
for entry in /proc/sys/fs/binfmt_misc/*; do
  if [[ -f $entry ]] && grep -q '^enabled' "$entry" 2>/dev/null &&
     grep -q '^interpreter .*qemu-i386' "$entry" 2>/dev/null; then
    echo "32-bit programs run here only through a user-mode emulator ($(basename "$entry"))"
    exit 1
  fi
done
"$probe" 2>/dev/null
status=$?
if [[ $status -eq 42 ]]; then
  exit 0
fi
reason=$(dmesg 2>/dev/null | grep -i "32-bit emulation" | tail -n 1 | sed 's/^\[[^]]*\] *//')
echo "this kernel does not run 32-bit programs (${reason:-exec of an i386 program fails with status $status})"
exit 1
