// Text forms: names as the ANSI and the wide calls pass them, and string data,
// kept in UTF-16 as Windows keeps them and converted in the ANSI code page for
// the ANSI calls.
#include <quorvane/platform/portable/registry/registry_emulator.h>

#include <quorvane/platform/portable/registry/registry_emulator_internal.h>
#include <quorvane/platform/portable/text/code_page.h>
#include <quorvane/platform/unicode_text.h>

namespace quorvane::platform::portable {

std::u16string RegistryEmulator::Decode(const char* text) const {
  return text == nullptr ? std::u16string() : CodePage::Decode(code_page_(), text);
}

std::string RegistryEmulator::Encode(const std::u16string& text) const {
  bool used_default = false;
  return CodePage::Encode(code_page_(), text, CodePage::Fit::kBest, '?', &used_default);
}

const std::u16string* RegistryEmulator::Text(const CallText& text) {
  if (text.is_wide) {
    if (text.wide == nullptr) return nullptr;
    name_scratch_.assign(text.wide);
  } else {
    if (text.ansi == nullptr) return nullptr;
    CodePage::DecodeInto(code_page_(), text.ansi, &name_scratch_);
  }
  return &name_scratch_;
}

const std::u16string& RegistryEmulator::TextOrEmpty(const CallText& text) {
  if (const std::u16string* found = Text(text)) return *found;
  name_scratch_.clear();
  return name_scratch_;
}

std::string RegistryEmulator::LogText(const CallText& text) const {
  if (!text.is_wide) return text.ansi != nullptr ? text.ansi : "";
  bool used_default = false;
  return text.wide != nullptr
             ? CodePage::Encode(kCpUtf8, text.wide, CodePage::Fit::kExact, '?', &used_default)
             : "";
}

// String data are kept as Windows keeps them, in UTF-16; the ANSI calls
// convert them in the ANSI code page on the way in and out.
namespace {

// ASCII is the same in every code page: these convert it without a detour.
bool AsciiToUtf16Le(const char* bytes, std::size_t size, std::string* utf16) {
  utf16->assign(size * 2, '\0');
  for (std::size_t i = 0; i < size; ++i) {
    if (static_cast<unsigned char>(bytes[i]) >= 0x80) return false;
    (*utf16)[2 * i] = bytes[i];
  }
  return true;
}

bool Utf16LeToAscii(const std::string& utf16, std::string* bytes) {
  if (utf16.size() % 2 != 0) return false;
  bytes->resize(utf16.size() / 2);
  for (std::size_t i = 0; i < bytes->size(); ++i) {
    if (utf16[2 * i + 1] != '\0' || static_cast<unsigned char>(utf16[2 * i]) >= 0x80) return false;
    (*bytes)[i] = utf16[2 * i];
  }
  return true;
}

}  // namespace

std::string RegistryEmulator::ToStored(DWORD type, const BYTE* data, DWORD size, bool wide) const {
  const char* bytes = reinterpret_cast<const char*>(data);
  if (data == nullptr) size = 0;
  if (size == 0) return std::string();
  if (wide || !IsStringType(type)) return std::string(bytes, size);
  std::string utf16;
  if (AsciiToUtf16Le(bytes, size, &utf16)) return utf16;
  return UnicodeText::Utf16Le(CodePage::Decode(code_page_(), std::string(bytes, size)));
}

const std::string& RegistryEmulator::ToCaller(const StoredValue& value, bool wide) {
  if (wide || !IsStringType(value.type)) return value.data;
  if (!Utf16LeToAscii(value.data, &caller_scratch_)) {
    caller_scratch_ = Encode(UnicodeText::FromUtf16Le(value.data));
  }
  return caller_scratch_;
}

}  // namespace quorvane::platform::portable
