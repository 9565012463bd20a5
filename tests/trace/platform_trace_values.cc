// The platform trace: the value calls, and enumeration of keys and values.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <quorvane/platform/platform.h>
#include "tests/trace/platform_trace.h"
#include "tests/trace/trace_printing.h"
#include "tests/trace/wine_deviations.h"

namespace quorvane::trace {

bool PlatformTrace::PickHandle(Open* open) {
  if (handles_.empty()) return false;
  *open = handles_[random_.Below(handles_.size())];
  return true;
}

void PlatformTrace::SetValue() {
  Open open;
  if (!PickHandle(&open)) return;
  const std::string& name = random_.Pick(kValueNames);
  const DWORD type = random_.Pick(kTypes);
  DWORD size = 0;
  std::vector<BYTE> data = PickData(&size);
  const bool wide = random_.Chance(40);
  const bool string = type == platform::kRegSz || type == platform::kRegExpandSz ||
                      type == platform::kRegMultiSz;
  if (wide && string && size == 1) {  // see kWineDeviations
    size = 2;
    data.push_back(data.back());  // two bytes after the data, as PickData leaves them
  }
  const LONG status =
      wide ? platform::RegSetValueExW(open.handle, Wide(name).c_str(), 0, type, data.data(), size)
           : platform::RegSetValueExA(open.handle, name.c_str(), 0, type, data.data(), size);
  Print(std::string(wide ? "SetW " : "SetA ") + open.symbol + " " + Shown(name) + " type=" +
        std::to_string(type) + " data=" + Hex(data.data(), size) + " -> " + std::to_string(status));
}

void PlatformTrace::QueryValue() {
  Open open;
  if (!PickHandle(&open)) return;
  const std::string& name = random_.Pick(kValueNames);
  const bool wide = random_.Chance(40);
  const int mode = static_cast<int>(random_.Below(3));  // no data, no size, a buffer
  DWORD buffer_size = PickBufferSize();
  std::vector<BYTE> buffer(buffer_size, 0xCC);
  DWORD size = buffer_size;
  DWORD type = 0xEE;
  BYTE* data = mode == 2 ? buffer.data() : nullptr;
  DWORD* size_out = mode == 1 ? nullptr : &size;
  const LONG status =
      wide ? platform::RegQueryValueExW(open.handle, Wide(name).c_str(), nullptr, &type, data,
                                        size_out)
           : platform::RegQueryValueExA(open.handle, name.c_str(), nullptr, &type, data, size_out);
  std::string line = std::string(wide ? "QueryW " : "QueryA ") + open.symbol + " " + Shown(name) +
                     " mode=" + std::to_string(mode) + " buffer=" + std::to_string(buffer_size) +
                     " -> " + std::to_string(status);
  if (status == 0 || status == 234) line += " type=" + std::to_string(type);
  if ((status == 0 || status == 234) && size_out != nullptr)
    line += " size=" + std::to_string(size);
  if (status == 0 && data != nullptr) {
    // The bytes after the data show the added zero, when there is one.
    line += " data=" + Hex(buffer.data(), std::min<std::size_t>(buffer_size, size + 2));
  }
  Print(line);
}

void PlatformTrace::DeleteValue() {
  Open open;
  if (!PickHandle(&open)) return;
  const std::string& name = random_.Pick(kValueNames);
  const bool wide = random_.Chance(40);
  const LONG status = wide ? platform::RegDeleteValueW(open.handle, Wide(name).c_str())
                           : platform::RegDeleteValueA(open.handle, name.c_str());
  Print(std::string(wide ? "DeleteValueW " : "DeleteValueA ") + open.symbol + " " + Shown(name) +
        " -> " + std::to_string(status));
}

void PlatformTrace::EnumKey() {
  Open open;
  if (!PickHandle(&open)) return;
  const DWORD index = static_cast<DWORD>(random_.Below(5));
  static constexpr DWORD kNameSizes[] = {0, 1, 2, 3, 256, 300};
  const DWORD name_size = random_.Pick(kNameSizes);
  if (random_.Chance(50)) {
    std::vector<char> name(name_size + 1, 'q');
    const LONG status = platform::RegEnumKeyA(open.handle, index,
                                              name_size == 0 ? nullptr : name.data(), name_size);
    Print("EnumKeyA " + open.symbol + " " + std::to_string(index) +
          " size=" + std::to_string(name_size) + " -> " + std::to_string(status) +
          (status == 0 ? " " + Shown(std::string(name.data())) : ""));
    return;
  }
  std::vector<char16_t> name(name_size + 1, u'q');
  DWORD size = name_size;
  const LONG status = platform::RegEnumKeyExW(open.handle, index, name.data(), &size, nullptr,
                                              nullptr, nullptr, nullptr);
  Print("EnumKeyW " + open.symbol + " " + std::to_string(index) +
        " size=" + std::to_string(name_size) + " -> " + std::to_string(status) +
        (status == 0 ? " " + Shown(std::u16string(name.data())) + " length=" + std::to_string(size)
                     : ""));
}

void PlatformTrace::EnumValue() {
  Open open;
  if (!PickHandle(&open)) return;
  const DWORD index = static_cast<DWORD>(random_.Below(5));
  static constexpr DWORD kNameSizes[] = {1, 2, 3, 300, 300, 20000};
  const DWORD name_capacity = random_.Pick(kNameSizes);
  const bool with_data = random_.Chance(70);
  const DWORD buffer_size = with_data ? PickBufferSize() : 0;
  std::vector<BYTE> buffer(buffer_size + 1, 0xCC);
  DWORD data_size = buffer_size;
  DWORD type = 0xEE;
  DWORD name_size = name_capacity;
  const bool wide = random_.Chance(40);
  std::string shown_name;
  LONG status = 0;
  if (wide) {
    std::vector<char16_t> name(name_capacity, u'q');
    status = platform::RegEnumValueW(open.handle, index, name.data(), &name_size, nullptr, &type,
                                     with_data ? buffer.data() : nullptr, &data_size);
    if (status == 0) shown_name = Shown(std::u16string(name.data()));
  } else {
    std::vector<char> name(name_capacity, 'q');
    status = platform::RegEnumValueA(open.handle, index, name.data(), &name_size, nullptr, &type,
                                     with_data ? buffer.data() : nullptr, &data_size);
    if (status == 0) shown_name = Shown(std::string(name.data()));
  }
  std::string line = std::string(wide ? "EnumValueW " : "EnumValueA ") + open.symbol + " " +
                     std::to_string(index) + " name=" + std::to_string(name_capacity) +
                     " buffer=" + (with_data ? std::to_string(buffer_size) : "null") + " -> " +
                     std::to_string(status);
  if (status == 0) {
    line += " " + shown_name + " length=" + std::to_string(name_size) +
            " type=" + std::to_string(type) + " size=" + std::to_string(data_size);
    if (with_data) {
      line += " data=" + Hex(buffer.data(), std::min<std::size_t>(buffer_size, data_size + 2));
    }
  }
  Print(line);
}

}  // namespace quorvane::trace
