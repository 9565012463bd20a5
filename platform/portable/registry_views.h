// Windows stores keys under two roots only, HKEY_LOCAL_MACHINE and HKEY_USERS;
// the other predefined keys are views of them, and a 32-bit program sees
// HKLM\Software through Wow6432Node. This unit says where in the stored trees
// a key named through a predefined key lives; the registry walks there.
#pragma once

#include <string>
#include <string_view>

#include "platform/win_types.h"

namespace quorvane::platform::portable {

class RegistryViews {
 public:
  // The emulated user's security identifier, the one Wine gives its user:
  // HKEY_CURRENT_USER is HKEY_USERS\<this>.
  static constexpr const char16_t* kUserSid = u"S-1-5-21-0-0-0-1000";

  // A predefined key's own key: a stored root and the path below it.
  struct Place {
    HKEY root;
    const char16_t* path;
  };

  // Where `predefined` leads in the 32- or 64-bit view. For HKEY_CLASSES_ROOT
  // this is its machine part; `UserClasses` is the part laid over it.
  [[nodiscard]] static Place Of(HKEY predefined, bool view_32);
  [[nodiscard]] static Place UserClasses();

  // Whether a call asking for `sam` sees the 32-bit view.
  [[nodiscard]] static bool IsThirtyTwoBitView(REGSAM sam, bool process_is_32_bit);

  // A path below HKLM's root as the chosen view stores it: Software\X is
  // Software\Wow6432Node\X in the 32-bit view, and the 32-bit classes are
  // Software\Classes\Wow6432Node, also named Software\Wow6432Node\Classes.
  // Returns false when the path stays as it is; else writes it to `stored`.
  [[nodiscard]] static bool MachinePath(std::u16string_view path, bool view_32,
                                        std::u16string* stored);

  // The keys a new registry holds, as stored places.
  [[nodiscard]] static const Place* StandardKeys(std::size_t* count);
};

}  // namespace quorvane::platform::portable
