// The few Windows types and constants that the platform layer's interface needs,
// declared without <windows.h> so that public headers stay free of it.
#pragma once

#include <cstdint>

namespace quorvane::platform {

using LONG = std::int32_t;
using DWORD = std::uint32_t;
using UINT = std::uint32_t;
using BOOL = int;
using BYTE = std::uint8_t;
using REGSAM = std::uint32_t;
using HRESULT = std::int32_t;
using LCID = std::uint32_t;
using WCHAR = char16_t;

// Key handles cross the library as 32-bit values, predefined roots included.
using HKEY = std::uint32_t;

constexpr HKEY kHkeyClassesRoot = 0x80000000u;
constexpr HKEY kHkeyCurrentUser = 0x80000001u;
constexpr HKEY kHkeyLocalMachine = 0x80000002u;
constexpr HKEY kHkeyUsers = 0x80000003u;
constexpr HKEY kHkeyPerformanceData = 0x80000004u;
constexpr HKEY kHkeyCurrentConfig = 0x80000005u;

// Result codes (winerror.h).
constexpr LONG kErrorSuccess = 0;
constexpr LONG kErrorFileNotFound = 2;
constexpr LONG kErrorPathNotFound = 3;
constexpr LONG kErrorAccessDenied = 5;
constexpr LONG kErrorInvalidHandle = 6;
constexpr LONG kErrorNoMoreFiles = 18;
constexpr LONG kErrorCallNotImplemented = 120;
constexpr LONG kErrorInsufficientBuffer = 122;
constexpr LONG kErrorNotReady = 21;
constexpr LONG kErrorBadNetpath = 53;
constexpr LONG kErrorBadNetName = 67;
constexpr LONG kErrorInvalidParameter = 87;
constexpr LONG kErrorInvalidName = 123;
constexpr LONG kErrorBadPathname = 161;
constexpr LONG kErrorAlreadyExists = 183;
constexpr LONG kErrorEnvVarNotFound = 203;
constexpr LONG kErrorMoreData = 234;
constexpr LONG kErrorNoMoreItems = 259;
constexpr LONG kErrorDiskFull = 112;
constexpr LONG kErrorBusy = 170;
constexpr LONG kErrorBadDbDatabase = 1009;
constexpr LONG kErrorCantOpen = 1011;
constexpr LONG kErrorCantRead = 1012;
constexpr LONG kErrorCantWrite = 1013;
constexpr LONG kErrorKeyDeleted = 1018;
constexpr LONG kErrorNoAccess = 998;
constexpr LONG kErrorChildMustBeVolatile = 1021;
constexpr LONG kErrorInvalidFlags = 1004;
constexpr LONG kErrorNoSystemResources = 1450;

// RegCreateKeyExW dispositions.
constexpr DWORD kRegCreatedNewKey = 1;
constexpr DWORD kRegOpenedExistingKey = 2;

// Access rights.
constexpr REGSAM kKeyQueryValue = 0x0001;
constexpr REGSAM kKeySetValue = 0x0002;
constexpr REGSAM kKeyCreateSubKey = 0x0004;
constexpr REGSAM kKeyEnumerateSubKeys = 0x0008;
constexpr REGSAM kKeyNotify = 0x0010;
constexpr REGSAM kKeyCreateLink = 0x0020;
constexpr REGSAM kDelete = 0x00010000;
constexpr REGSAM kKeyRead = 0x00020019;
constexpr REGSAM kKeyAllAccess = 0x000F003F;
// The registry views (KEY_WOW64_64KEY, KEY_WOW64_32KEY).
constexpr REGSAM kKeyWow64_64Key = 0x0100;
constexpr REGSAM kKeyWow64_32Key = 0x0200;

// Value types.
constexpr DWORD kRegNone = 0;
constexpr DWORD kRegSz = 1;
constexpr DWORD kRegExpandSz = 2;
constexpr DWORD kRegBinary = 3;
constexpr DWORD kRegDword = 4;
constexpr DWORD kRegLink = 6;
constexpr DWORD kRegMultiSz = 7;

// File attributes.
constexpr DWORD kFileAttributeReadonly = 0x01;
constexpr DWORD kFileAttributeHidden = 0x02;
constexpr DWORD kFileAttributeSystem = 0x04;
constexpr DWORD kFileAttributeDirectory = 0x10;
constexpr DWORD kFileAttributeArchive = 0x20;
constexpr DWORD kFileAttributeNormal = 0x80;
constexpr DWORD kInvalidFileAttributes = 0xFFFFFFFFu;

// Code pages and conversion flags.
constexpr UINT kCpAcp = 0;
constexpr UINT kCp1252 = 1252;
constexpr UINT kCpUtf8 = 65001;
// WideCharToMultiByte: no look-alikes, only what the code page holds exactly.
constexpr DWORD kWcNoBestFitChars = 0x400;

// Variant conversion results.
constexpr HRESULT kSOk = 0;
constexpr HRESULT kDispETypeMismatch = static_cast<HRESULT>(0x80020005u);
constexpr HRESULT kDispEOverflow = static_cast<HRESULT>(0x8002000Au);
constexpr LCID kLocaleUserDefault = 0x0400;

}  // namespace quorvane::platform
