/* Prints what Windows answers for every UTF-16 unit of the Basic Multilingual
   Plane, for scripts/windows_tables/generate.sh:
     U unit upper       the system's upper case (RtlUpcaseUnicodeChar), when
                        it is not the unit itself: how registry names compare
     B unit byte        Windows-1252's best fit: the byte WideCharToMultiByte
                        writes for a unit the code page holds only as a
                        look-alike (not exactly, and not as the default "?")
   Built with mingw-w64 and run under Wine. */
#include <windows.h>
#include <stdio.h>

typedef WCHAR(WINAPI* Upcase)(WCHAR);

int main(void) {
  Upcase upcase = (Upcase)(void (*)(void))GetProcAddress(GetModuleHandleA("ntdll.dll"),
                                                          "RtlUpcaseUnicodeChar");
  unsigned unit;
  if (upcase == NULL) return 1;
  for (unit = 0; unit < 0x10000; ++unit) {
    const WCHAR upper = upcase((WCHAR)unit);
    if (upper != unit) printf("U %04x %04x\n", unit, upper);
  }
  for (unit = 0; unit < 0x10000; ++unit) {
    const WCHAR wide = (WCHAR)unit;
    char fitted = 0, exact = 0;
    BOOL fitted_default = FALSE, exact_default = FALSE;
    int fitted_size, exact_size;
    if (unit >= 0xD800 && unit <= 0xDFFF) continue;
    fitted_size = WideCharToMultiByte(1252, 0, &wide, 1, &fitted, 1, NULL, &fitted_default);
    exact_size = WideCharToMultiByte(1252, WC_NO_BEST_FIT_CHARS, &wide, 1, &exact, 1, NULL,
                                     &exact_default);
    if (fitted_size == 1 && !fitted_default &&
        (exact_size != 1 || exact_default || exact != fitted)) {
      printf("B %04x %02x\n", unit, (unsigned char)fitted);
    }
  }
  return 0;
}
