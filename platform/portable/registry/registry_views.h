// Windows stores keys under two roots only, HKEY_LOCAL_MACHINE and HKEY_USERS;
// the other predefined keys are views of them, and a 32-bit program sees
// HKLM\Software through Wow6432Node. This unit says where in the stored trees
// a key named through a predefined key lives; the registry walks there.
#pragma once

#include <string>
#include <string_view>

#include <quorvane/platform/win_types.h>

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

  // Where `predefined` leads (the same in both views: what the 32-bit view
  // redirects below it, MachinePath and ClassesPath say). For
  // HKEY_CLASSES_ROOT this is its machine part; `UserClasses` is the part
  // laid over it.
  [[nodiscard]] static Place Of(HKEY predefined);
  [[nodiscard]] static Place UserClasses();
  // Where the 32-bit view keeps its redirected class keys.
  [[nodiscard]] static Place MachineClasses32();

  // Whether a call asking for `sam` sees the 32-bit view.
  [[nodiscard]] static bool IsThirtyTwoBitView(REGSAM sam, bool process_is_32_bit);

  // A path below HKLM's root as the chosen view stores it, as Windows 7 and
  // later redirect it: in the 32-bit view Software\X is Software\Wow6432Node\X,
  // but for the keys both views share (the classes among them); below the
  // classes, CLSID, DirectShow, Interface, Media Type and MediaFoundation are
  // redirected to Software\Classes\Wow6432Node, also named
  // Software\Wow6432Node\Classes in either view. Returns false when the path
  // stays as it is; else writes it to `stored`.
  [[nodiscard]] static bool MachinePath(std::u16string_view path, bool view_32,
                                        std::u16string* stored);
  // Software\Wow6432Node\X as Software\X: true when the path began so.
  static bool DropWow6432Node(std::u16string* path);
  // A path below HKEY_CLASSES_ROOT (in both of its parts) as the chosen view
  // stores it: the redirected class keys lie below Wow6432Node in the 32-bit
  // view. Returns false when the path stays as it is.
  [[nodiscard]] static bool ClassesPath(std::u16string_view path, bool view_32,
                                        std::u16string* stored);

  // The keys a new registry holds, as stored places.
  [[nodiscard]] static const Place* StandardKeys(std::size_t* count);
};

}  // namespace quorvane::platform::portable
