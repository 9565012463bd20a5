// The value calls: set, query, delete and enumerate values, in their ANSI and
// wide forms.
#include <quorvane/platform/portable/registry/registry_emulator.h>

#include <cstdint>
#include <cstring>

#include <quorvane/platform/portable/registry/registry_emulator_internal.h>
#include <quorvane/platform/portable/text/name_folding.h>

namespace quorvane::platform::portable {

namespace {

// A buffer Windows cannot read (see InFirst64KiB), or a missing one of some
// size: 998.
bool Unreadable(const void* data, DWORD size) {
  return (data == nullptr && size > 0) || InFirst64KiB(data);
}

// A string whose size leaves out its terminator, where the terminator follows
// right after it, is stored with it, as Windows stores it (a caller that
// passes strlen() as the size). NOTE: this reads one unit past the size given,
// as Windows does.
DWORD WithForgottenTerminator(DWORD type, const BYTE* data, DWORD size, bool wide) {
  if (!IsStringType(type)) return size;
  if (wide) {
    // By whole units, as Windows counts them: an odd size's last byte is
    // left out of the test and kept in the data.
    const std::size_t count = size / 2;
    if (count == 0) return size;
    char16_t last = 0;
    char16_t next = 0;
    std::memcpy(&last, data + (2 * (count - 1)), sizeof last);
    std::memcpy(&next, data + (2 * count), sizeof next);
    return last != u'\0' && next == u'\0' ? size + 2 : size;
  }
  if (size == 0) return size;
  return data[size - 1] != 0 && data[size] == 0 ? size + 1 : size;
}

}  // namespace

LONG RegistryEmulator::SetValueExCore(HKEY key, const CallText& value_name, DWORD type,
                                      const BYTE* data, DWORD size) {
  return Run(RegCall::kSetValueEx, key, value_name, 0, true, nullptr, [&] {
    if (Unreadable(data, size)) return kErrorNoAccess;
    Resolved from;
    if (LONG status = Resolve(key, kKeySetValue, &from)) return status;
    const std::u16string& name = TextOrEmpty(value_name);
    if (name.size() > kMaxValueNameLength) return kErrorInvalidParameter;
    size = WithForgottenTerminator(type, data, size, value_name.is_wide);
    const StoredValue value{name, type, ToStored(type, data, size, value_name.is_wide)};
    NameFolding::FoldInto(name, &value_fold_scratch_);
    store_->SetValue(from.key, value_fold_scratch_, value);
    return kErrorSuccess;
  });
}

LONG RegistryEmulator::QueryValueExCore(HKEY key, const CallText& value_name, DWORD* reserved,
                                        DWORD* type, BYTE* data, DWORD* size) {
  return Run(RegCall::kQueryValueEx, key, value_name, 0, false, nullptr, [&] {
    if (AnyInFirst64KiB(type, data, size)) return kErrorNoAccess;
    if (reserved != nullptr || (data != nullptr && size == nullptr)) return kErrorInvalidParameter;
    if (key == kHkeyPerformanceData) {
      // No stored value: the data Windows gathers do not fit any buffer.
      if (size != nullptr) *size = 0;
      return kErrorMoreData;
    }
    Resolved from;
    if (LONG status = Resolve(key, kKeyQueryValue, &from)) return status;
    NameFolding::FoldInto(TextOrEmpty(value_name), &value_fold_scratch_);
    const StoredValue* value = store_->GetValue(from.key, value_fold_scratch_);
    if (value == nullptr) {
      if (type != nullptr) *type = 0;
      if (size != nullptr) *size = 0;
      return kErrorFileNotFound;
    }
    // The room is read before the type is written: a caller may pass one
    // DWORD for both.
    const DWORD room = size != nullptr ? *size : 0;
    if (type != nullptr) *type = value->type;
    const std::string& bytes = ToCaller(*value, value_name.is_wide);
    const auto stored = static_cast<DWORD>(bytes.size());
    if (data != nullptr) {
      if (room < stored) {
        *size = stored;
        return kErrorMoreData;
      }
      std::memcpy(data, bytes.data(), stored);  // NOLINT: terminated below where there is room
      TerminateString(value->type, bytes, value_name.is_wide, data, room);
    }
    if (size != nullptr) *size = stored;
    return kErrorSuccess;
  });
}

LONG RegistryEmulator::DeleteValueCore(HKEY key, const CallText& value_name) {
  return Run(RegCall::kDeleteValue, key, value_name, 0, true, nullptr, [&] {
    Resolved from;
    if (LONG status = Resolve(key, kKeySetValue, &from)) return status;
    NameFolding::FoldInto(TextOrEmpty(value_name), &value_fold_scratch_);
    if (!store_->DeleteValue(from.key, value_fold_scratch_)) {
      return kErrorFileNotFound;
    }
    return kErrorSuccess;
  });
}

const StoredValue* RegistryEmulator::ValueAt(HKEY key, const Resolved& from, DWORD index) {
  // As for subkeys, consecutive indexes cost one step each.
  ValueCursor& cursor = CursorsOf(key, from).values;
  const std::uint64_t generation = store_->Generation();
  if (cursor.generation != generation) cursor = ValueCursor{};
  const bool next_in_order =
      index == 0 || (cursor.valid && (cursor.index == index || cursor.index + 1 == index));
  if (!cursor.all && !next_in_order) {
    cursor.all = store_->Values(from.key);
    cursor.generation = generation;
  }
  if (cursor.all) return index < cursor.all->size() ? &(*cursor.all)[index].second : nullptr;
  if (!cursor.valid || cursor.index > index) cursor = ValueCursor{};
  while (!cursor.valid || cursor.index != index) {
    std::u16string folded;
    std::optional<StoredValue> next =
        store_->NextValue(from.key, cursor.valid ? &cursor.folded : nullptr, &folded);
    if (!next) {
      cursor = ValueCursor{};
      return nullptr;
    }
    const DWORD next_index = cursor.valid ? cursor.index + 1 : 0;
    cursor = ValueCursor{generation, next_index, std::move(folded), std::move(*next), true, {}};
  }
  return &cursor.value;
}

LONG RegistryEmulator::EnumValueCore(HKEY key, DWORD index, void* name, DWORD* name_size, bool wide,
                                     DWORD* reserved, DWORD* type, BYTE* data, DWORD* data_size) {
  return Run(RegCall::kEnumValue, key, kNoText, 0, false, nullptr, [&] {
    if (AnyInFirst64KiB(name, name_size, type, data, data_size)) return kErrorNoAccess;
    if (name == nullptr || name_size == nullptr || reserved != nullptr ||
        (data != nullptr && data_size == nullptr)) {
      return kErrorInvalidParameter;
    }
    Resolved from;
    if (LONG status = Resolve(key, kKeyQueryValue, &from)) return status;
    const StoredValue* value = ValueAt(key, from, index);
    if (value == nullptr) return kErrorNoMoreItems;
    const std::string& bytes = ToCaller(*value, wide);
    const std::string ansi_name = wide ? std::string() : Encode(value->name);
    const std::size_t name_length = wide ? value->name.size() : ansi_name.size();
    // As Windows: the name first, then the data; a call that runs out of room
    // still tells the type and the data's size, and keeps the name it wrote.
    const DWORD room = data_size != nullptr ? *data_size : 0;
    const auto short_of_room = [&] {
      if (type != nullptr) *type = value->type;
      if (data_size != nullptr) *data_size = static_cast<DWORD>(bytes.size());
      return kErrorMoreData;
    };
    if (name_length + 1 > *name_size) return short_of_room();
    if (wide) {
      auto* out = static_cast<char16_t*>(name);
      std::memcpy(out, value->name.data(), name_length * sizeof(char16_t));
      out[name_length] = u'\0';
    } else {
      auto* out = static_cast<char*>(name);
      std::memcpy(out, ansi_name.data(), name_length);
      out[name_length] = '\0';
    }
    *name_size = static_cast<DWORD>(name_length);
    if (data != nullptr && room < bytes.size()) return short_of_room();
    if (type != nullptr) *type = value->type;
    if (data != nullptr) {
      std::memcpy(data, bytes.data(), bytes.size());  // NOLINT: size checked above
      TerminateString(value->type, bytes, wide, data, room);
    }
    if (data_size != nullptr) *data_size = static_cast<DWORD>(bytes.size());
    return kErrorSuccess;
  });
}

LONG RegistryEmulator::SetValueEx(HKEY key, const char* value_name, DWORD, DWORD type,
                                  const BYTE* data, DWORD size) {
  return SetValueExCore(key, CallText{value_name, nullptr, false}, type, data, size);
}
LONG RegistryEmulator::SetValueExW(HKEY key, const char16_t* value_name, DWORD, DWORD type,
                                   const BYTE* data, DWORD size) {
  return SetValueExCore(key, CallText{nullptr, value_name, true}, type, data, size);
}
LONG RegistryEmulator::QueryValueEx(HKEY key, const char* value_name, DWORD* reserved, DWORD* type,
                                    BYTE* data, DWORD* size) {
  return QueryValueExCore(key, CallText{value_name, nullptr, false}, reserved, type, data, size);
}
LONG RegistryEmulator::QueryValueExW(HKEY key, const char16_t* value_name, DWORD* reserved,
                                     DWORD* type, BYTE* data, DWORD* size) {
  return QueryValueExCore(key, CallText{nullptr, value_name, true}, reserved, type, data, size);
}
LONG RegistryEmulator::DeleteValue(HKEY key, const char* value_name) {
  return DeleteValueCore(key, CallText{value_name, nullptr, false});
}
LONG RegistryEmulator::DeleteValueW(HKEY key, const char16_t* value_name) {
  return DeleteValueCore(key, CallText{nullptr, value_name, true});
}
LONG RegistryEmulator::EnumValue(HKEY key, DWORD index, char* name, DWORD* name_size,
                                 DWORD* reserved, DWORD* type, BYTE* data, DWORD* data_size) {
  return EnumValueCore(key, index, name, name_size, false, reserved, type, data, data_size);
}
LONG RegistryEmulator::EnumValueW(HKEY key, DWORD index, char16_t* name, DWORD* name_size,
                                  DWORD* reserved, DWORD* type, BYTE* data, DWORD* data_size) {
  return EnumValueCore(key, index, name, name_size, true, reserved, type, data, data_size);
}

}  // namespace quorvane::platform::portable
