// Where Wine answers registry calls differently from documented Windows. The
// portable backend gives the Windows answer; the trace never makes these
// calls, so that its lines stay comparable between the two backends, and the
// conformance tests named here accept Wine's answer under Wine.
#pragma once

namespace quorvane::trace {

struct WineDeviation {
  const char* call;
  const char* windows;  // what Windows documents, and the portable backend gives
  const char* wine;
  const char* avoided_by;  // how the trace keeps clear of it
};

inline constexpr WineDeviation kWineDeviations[] = {
    {"HKEY_CLASSES_ROOT", "HKCU\\Software\\Classes laid over HKLM\\Software\\Classes",
     "HKLM\\Software\\Classes alone (RegistryViewsConformance)",
     "the trace never writes below HKCU\\Software\\Classes"},
    {"RegCreateKeyA with a 256-character name", "87", "created (RegistryKeysConformance)",
     "key names are at most 255 characters"},
    {"RegCreateKeyA with a name of more than 260 characters", "87", "234 (RegistryKeysConformance)",
     "key names are at most 255 characters"},
    {"an ANSI key path of more than 260 characters", "its keys, each name up to 255 characters",
     "234", "longer paths go through the wide calls"},
    {"RegCreateKeyExW of a path whose last name is empty (\"\" or ending in \\)",
     "disposition REG_OPENED_EXISTING_KEY: the key existed", "REG_CREATED_NEW_KEY",
     "the disposition is shown only for paths that end in a name"},
    {"subkey order", "sorted by upper-cased names",
     "sorted by lower-cased names (RegistryEnumConformance)",
     "names use no character that sorts between the two cases: [ \\ ] ^ _ ` and cp1252 letters "
     "without a case partner of the same order"},
    {"RegSetValueExW of one byte of string data", "the byte (no whole unit to look past)",
     "a look at the unit before the data, whose bytes decide whether two more are stored",
     "wide string data are at least two bytes"},
    {"HKCU\\Software\\Classes in a new prefix", "there from the start",
     "missing until something writes below it (RegistryRootsConformance)",
     "the trace never opens it"},
    {"RegEnumKeyA of HKEY_USERS", "\".DEFAULT\"", "\".Default\"",
     "predefined keys are enumerated only below the trace's own keys"},
    {"KEY_WOW64_32KEY on the classes, in a 64-bit process",
     "shared with the 64-bit view, but for CLSID, DirectShow, Interface, Media Type and "
     "MediaFoundation, which go to Software\\Classes\\Wow6432Node",
     "all of the classes go to Software\\Classes\\Wow6432Node (RegistryViewsConformance)",
     "the trace's classes in the 32-bit view lie below CLSID and Interface"},
    {"KEY_WOW64_32KEY | KEY_WOW64_64KEY", "87", "the 32-bit view (RegistryViewsConformance)",
     "the trace asks for one view at a time"},
    {"a key 513 levels below HKLM or HKU", "1450, nothing made", "made (RegistryDepthConformance)",
     "the trace's keys lie a few levels deep"},
    {"RegQueryValueExW of string data into a buffer one byte longer than the data",
     "no terminator (a wide zero takes two bytes)", "a two-byte zero written past the buffer",
     "nothing past the buffer is printed"},
    {"RegCreateKeyExW with a 256-character name", "87", "created",
     "key names are at most 255 characters"},
    {"RegEnumKeyExW with a null name pointer", "87", "a crash",
     "the trace always passes a name buffer"},
};

}  // namespace quorvane::trace
