// What the Wine store's tests share: sections of registry files that Wine 8
// wrote here, and a file read whole.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace quorvane::wine_test {

// Sections of a user.reg and a system.reg that Wine 8 wrote for values of
// every type and awkward names (a .reg file imported with its regedit):
// escapes, controls, units past ASCII, hex lines broken, a #link key.
inline const std::string kWineWrote =
    R"WINE(WINE REGISTRY Version 2
;; All keys relative to REGISTRY\\User\\S-1-5-21-0-0-0-1000

#arch=win64

[Software\\QvEsc] 1796916031
#time=1dd88b9fed7955e
"be"=hex(5):00,00,00,2a
"brk"="[]=@"
"c01"="A\1B"
"c100"="\x100 "
"c1b"="\eA"
"c7f"=")WINE"
    "\x7f"
    R"WINE(A"
"c80"="\x80G"
"cb"="\b\v\f"
"cff"="\x00fff"
"del"=")WINE"
    "\x7f"
    R"WINE("
"dw3"=hex(4):01,02,03
"dw5"=hex(4):01,02,03,04,05
"e0"=hex(2):
"LLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLL"=hex:ab,ab,ab,ab,\
  ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,\
  ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab
"lnk"=hex(6):41,00
"m0"=str(7):""
"m12"=str(7):"1\0002\0"
"none"=hex(0):01
"slash"="\\x3"
"surr"="\xd800A"
"tab"="\t1"
"zero0"="A\0001"

[Software\\QvEsc\\br\[ack\]et] 1796916031
#time=1dd88b9fed791e4

[Software\\QvEsc\\with"quote] 1796916031
#time=1dd88b9fed78d5c
"a"=dword:00000001

[Software\\QvEsc2] 1796916068
#time=1dd88ba149f228a
"c1_7"="\0017"
"c1_8"="\18"
"cls"="x"
"e_x"="\xe9G"
"hexend"="\x100"
"z8"="A\08"
"z9"="\09"

[Software\\QvFmt] 1796915987
#time=1dd88b9e49f1b1c
@="default"
"big"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\
  17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29,2a,2b,2c,2d,2e,2f,\
  30,31,32,33,34,35,36,37,38,39,3a,3b,3c,3d,3e,3f,40,41,42,43,44,45,46,47,48,\
  49,4a,4b,4c,4d,4e,4f,50,51,52,53,54,55,56,57,58,59,5a,5b,5c,5d,5e,5f,60,61,\
  62,63
"bin"=hex:00,01,fe,ff
"bin0"=hex:
"ctl"="A\n\t\r\a"
"dword"=dword:0000002a
"expand"=str(2):"%A%"
"hexafter"="\x00e9Ab"
"multi"=str(7):"a\0b\0"
"noterm"="AB"
"n\xe4me \x2211"=dword:00000001
"odd"=hex(1):41,00,00,00,00
"quote"="a \"q\" and \\ back"
"qword"=hex(b):2a,00,00,00,00,00,00,00
"sz"="plain text"
"sz0"=hex(1):
"t1234"=hex(4d2):01,02
"uni"="\x3bd\x3b1\x3b9 \x2211 \xd83d\xde00 \xe9"

[Software\\Classes\\Wow6432Node\\AppId] 1796915969
#time=1dd88b9d9f2083c
#link
"SymbolicLinkValue"=hex(6):5c,00,52,00,65,00,67,00,69,00,73,00,74,00,72,00,79,\
  00,5c,00,4d,00,61,00,63,00,68,00,69,00,6e,00,65,00,5c,00,53,00,6f,00,66,00,\
  74,00,77,00,61,00,72,00,65,00,5c,00,43,00,6c,00,61,00,73,00,73,00,65,00,73,\
  00,5c,00,41,00,70,00,70,00,49,00,64,00
)WINE";

inline std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

}  // namespace quorvane::wine_test
