#include "tests/trace/library_trace.h"

#include <string>

#include <quorvane/registry/registry.h>
#include <quorvane/settings/self_register_classes.h>
#include "tests/trace/trace_printing.h"

namespace quorvane::trace {

void LibraryTrace::Run(int calls) {
  Clean();
  for (int call = 0; call < calls; ++call) Step();
  Clean();
}

void LibraryTrace::Clean() {
  Registry registry;
  for (const Base& base : kBases) {
    if (base.view == 0) RemoveTree(registry, base.root, Wide(base.path));
  }
  RemoveTree(registry, platform::kHkeyLocalMachine, u"Software\\Quorvane\\QvTraceApp");
  RemoveTree(registry, platform::kHkeyLocalMachine, u"Software\\Quorvane\\qvtraceapp");
}

void LibraryTrace::RemoveTree(Registry& registry, HKEY root, const std::u16string& path) {
  const Collection names = registry.GetBranchNames(root, path);
  for (const Variant& name : names) RemoveTree(registry, root, path + u"\\" + name.ToText());
  try {
    registry.DeleteKey(root, path);
  } catch (const ErrorObject&) {
    // Not there.
  }
}

std::string LibraryTrace::ShownValue(const Variant& value) {
  return std::to_string(static_cast<int>(value.GetKind())) + ":" +
         (value.IsNull() || value.IsMissing() ? std::string("-") : Shown(value.ToText()));
}

std::pair<const Base*, std::u16string> LibraryTrace::PickBranch() {
  const Base* base = &kBases[random_.Below(sizeof kBases / sizeof kBases[0])];
  while (base->view != 0) base = &kBases[random_.Below(sizeof kBases / sizeof kBases[0])];
  std::u16string path = Wide(base->path);
  const std::size_t depth = random_.Below(3);
  for (std::size_t i = 0; i < depth; ++i) {
    // The library's calls are ANSI ones: paths stay within what Wine takes.
    const std::u16string name = Wide(random_.Pick(kKeyNames));
    if (path.size() + 1 + name.size() <= kLongestAnsiPath) path += u"\\" + name;
  }
  if (random_.Chance(5)) path += u"\\";
  return {base, path};
}

Variant LibraryTrace::PickVariant() {
  switch (random_.Below(8)) {
    case 0:
      return Variant();
    case 1:
      return Variant(static_cast<std::int32_t>(random_.Below(100000)) - 50000);
    case 2:
      return Variant(static_cast<std::int16_t>(-7));
    case 3:
      return Variant(2.5);
    case 4:
      return Variant(true);
    case 5:
      return Variant(std::u16string(u"a\0b\0", 4));
    case 6:
      return Variant(u"12");
    default:
      return Variant(Wide(random_.Pick(kValueNames)));
  }
}

void LibraryTrace::Step() {
  Registry registry;
  const auto [base, path] = PickBranch();
  const std::u16string name = Wide(random_.Pick(kValueNames));
  const std::string where = std::string(base->symbol) + " " + Shown(path);
  switch (random_.Below(9)) {
    case 0:
    case 1:
      return Trace("CreateKey " + where, [&] {
        registry.CreateKey(base->root, path);
        return std::string();
      });
    case 2:
    case 3: {
      static constexpr std::int32_t kLibraryTypes[] = {1, 2, 3, 4, 7, 11, 0};
      const std::int32_t type = random_.Pick(kLibraryTypes);
      const Variant value = PickVariant();
      return Trace("SetValue " + where + " " + Shown(name) + " type=" + std::to_string(type) + " " +
                       ShownValue(value),
                   [&] {
                     registry.SetValue(base->root, path, name, type, value);
                     return std::string();
                   });
    }
    case 4:
      return Trace("QueryValue " + where + " " + Shown(name),
                   [&] { return ShownValue(registry.QueryValue(base->root, path, name)); });
    case 5:
      return Trace("QueryType " + where + " " + Shown(name),
                   [&] { return std::to_string(registry.QueryType(base->root, path, name)); });
    case 6:
      return Trace("DeleteValue " + where + " " + Shown(name), [&] {
        registry.DeleteValue(base->root, path, name);
        return std::string();
      });
    case 7:
      return Trace("DeleteKey " + where, [&] {
        registry.DeleteKey(base->root, path);
        return std::string();
      });
    default:
      if (random_.Chance(30)) return Setting();
      return Trace("GetBranchNames " + where, [&] {
        std::string names;
        for (const Variant& item : registry.GetBranchNames(base->root, path)) {
          names += ShownValue(item) + ",";
        }
        return names;
      });
  }
}

void LibraryTrace::Setting() {
  SelfRegisterClasses settings;
  const std::u16string app = random_.Chance(50) ? u"QvTraceApp" : u"qvtraceapp";
  std::u16string section = Wide(random_.Pick(kKeyNames));
  if (section.size() > 200) section.resize(200);  // the whole path within what Wine takes
  const std::u16string key = Wide(random_.Pick(kValueNames));
  if (random_.Chance(50)) {
    const Variant value = PickVariant();
    return Trace("QvSaveSetting " + Shown(app) + " " + Shown(section) + " " + Shown(key) + " " +
                     ShownValue(value),
                 [&] {
                   settings.QvSaveSetting(app, section, key, value);
                   return std::string();
                 });
  }
  return Trace("QvGetSetting " + Shown(app) + " " + Shown(section) + " " + Shown(key), [&] {
    return ShownValue(settings.QvGetSetting(app, section, key, Variant(u"default")));
  });
}

}  // namespace quorvane::trace
