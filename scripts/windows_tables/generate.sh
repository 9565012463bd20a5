#!/usr/bin/env bash
# Makes platform/portable/text/upper_case_table.cc and best_fit_table.cc from what
# Windows answers (under Wine: scripts/windows_tables/dump_tables.c). Run it
# again only to take the tables from another Windows; the files it writes are
# kept in the tree, and the conformance tests hold them to Windows' answers.
set -euo pipefail
cd "$(dirname "$0")/../.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
x86_64-w64-mingw32-gcc -O2 -o "$work/dump_tables.exe" scripts/windows_tables/dump_tables.c
WINEPREFIX=${WINEPREFIX:-$work/prefix} WINEDEBUG=-all /usr/lib/wine/wine64 \
  "$work/dump_tables.exe" | tr -d '\r' >"$work/answers.txt"
python3 scripts/windows_tables/generate.py "$work/answers.txt" platform/portable
clang-format -i platform/portable/text/upper_case_table.cc platform/portable/text/best_fit_table.cc
