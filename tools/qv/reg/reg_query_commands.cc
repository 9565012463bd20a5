// qv reg query, type and list: the commands that read, in reg.exe's layout.
#include <string>
#include <vector>

#include <quorvane/platform/platform.h>
#include "tools/qv/keys/key_tree.h"
#include "tools/qv/keys/reg_file.h"
#include "tools/qv/reg/reg_commands.h"

namespace quorvane::qv {

namespace {

// What reg query /f, /k, /d, /c, /e and /t look for.
struct Search {
  bool active = false;     // /f given
  std::u16string pattern;  // "*" matches everything
  bool keys = true;        // key names
  bool names = true;       // value names
  bool data = true;        // value data as shown
  bool case_sensitive = false;
  bool exact = false;
  bool typed = false;  // /t given
  std::uint32_t type = 0;
  int matches = 0;
  ShowOptions show;  // /se, /z

  [[nodiscard]] bool Matches(const std::u16string& text) const {
    if (pattern == u"*") return true;
    const std::u16string a = case_sensitive ? text : Cli::AsciiUpper(text);
    const std::u16string b = case_sensitive ? pattern : Cli::AsciiUpper(pattern);
    return exact ? a == b : a.find(b) != std::u16string::npos;
  }
  [[nodiscard]] bool Keeps(const RegValue& value) const {
    if (typed && value.type != type) return false;
    if (!active) return true;
    return (names && Matches(value.name)) || (data && Matches(Shown(value)));
  }
};

// A key's block: its name, then the values the search keeps, then an empty
// line; nothing when it keeps none, unless `always` (a /s listing shows every
// key below the one queried, which itself only when it has values, as
// reg.exe shows them).
void ShowValues(const RegistryPath& path, const std::vector<RegValue>& all, Search* search,
                bool always = false) {
  std::vector<const RegValue*> kept;
  for (const RegValue& value : all) {
    if (search->Keeps(value)) kept.push_back(&value);
  }
  if (kept.empty() && !always) return;
  Cli::Print(path.FullName());
  for (const RegValue* value : kept) Cli::Print(ValueLine(*value, search->show));
  Cli::Print(u"");
  search->matches += static_cast<int>(kept.size());
}

void QueryTree(const RegistryPath& path, bool recurse, Search* search) {
  if (recurse) {
    KeyTree::Walk(path, platform::kKeyRead, [&](const KeyTree::Visit& visit) {
      if (visit.depth > 0) {
        const std::u16string& branch = visit.path.branch;
        const std::u16string name = branch.substr(branch.rfind(u'\\') + 1);
        if (search->active && search->keys && search->Matches(name)) {
          ++search->matches;
          Cli::Print(visit.path.FullName());
        }
      }
      ShowValues(visit.path, ValuesOf(visit.key), search,
                 visit.depth > 0 && !search->active && !search->typed);
    });
    return;
  }
  ShowValues(path, RegFile::Values(path), search);
  for (const std::u16string& child : RegFile::SubkeyNames(path)) {
    RegistryPath below = path;
    below.branch = path.branch.empty() ? child : path.branch + u"\\" + child;
    const bool key_matches = search->active && search->keys && search->Matches(child);
    if (key_matches) ++search->matches;
    if (!search->active || key_matches) Cli::Print(below.FullName());
  }
}

// The value named (or the default value) in `values`, or null.
const RegValue* Named(const std::vector<RegValue>& values, const std::u16string& name) {
  const std::u16string folded = Cli::AsciiUpper(name);
  for (const RegValue& value : values) {
    if (Cli::AsciiUpper(value.name) == folded) return &value;
  }
  return nullptr;
}

// reg query KEY /s /v NAME (or /ve): every key of the tree that holds the
// value, in the one value's layout, then how many were found.
void FindInTree(const RegistryPath& path, const std::u16string& name, const ShowOptions& show) {
  int matches = 0;
  Cli::Print(u"");
  KeyTree::Walk(path, platform::kKeyRead, [&](const KeyTree::Visit& visit) {
    const std::vector<RegValue> values = ValuesOf(visit.key);
    const RegValue* found = Named(values, name);
    if (found == nullptr) return;
    ++matches;
    Cli::Print(visit.path.FullName());
    Cli::Print(ValueLine(*found, show));
    Cli::Print(u"");
  });
  Cli::Print(u"Search complete. Number of matches found: " + Cli::Utf16(std::to_string(matches)));
}

}  // namespace

int RegQuery(Arguments& arguments) {
  const Switches switches(arguments, {u"v", u"f", u"t", u"se"},
                          {u"ve", u"s", u"k", u"d", u"c", u"e", u"z", u"reg:32", u"reg:64"});
  const RegistryPath path = KeyIn(switches, OnlyPositional(switches, "KEY"));
  std::u16string name;
  const bool with_value = ValueName(switches, &name);
  ShowOptions show;
  show.type_numbers = switches.Has(u"z");
  if (switches.Value(u"se", &show.separator) && show.separator.size() != 1) {
    throw UsageError{"/se takes one character to separate REG_MULTI_SZ items"};
  }
  RegistryBatch snapshot{RegistryBatch::Scan{}};
  if (with_value && switches.Has(u"s")) {
    RegFile::RequireKey(path);
    FindInTree(path, name, show);
    snapshot.Commit();
    return 0;
  }
  if (with_value) {
    std::vector<RegValue> values = RegFile::Values(path);  // raises for a missing key
    const RegValue* found = Named(values, name);
    if (found == nullptr && !name.empty()) {
      throw ToolFailure(kNotFound);
    }
    Cli::Print(u"");
    Cli::Print(path.FullName());
    if (found != nullptr) {
      RegValue shown = *found;
      shown.name = name;  // as reg.exe, the name as it was asked for
      Cli::Print(ValueLine(shown, show));
    } else {
      Cli::Print(u"    (Default)    REG_SZ    (value not set)");
    }
    Cli::Print(u"");
    snapshot.Commit();
    return 0;
  }
  Search search;
  search.show = show;
  search.active = switches.Value(u"f", &search.pattern);
  if (search.active && search.pattern.empty()) search.pattern = u"*";
  if (switches.Has(u"k") || switches.Has(u"d")) {
    search.keys = switches.Has(u"k");
    search.names = false;
    search.data = switches.Has(u"d");
  }
  search.case_sensitive = switches.Has(u"c");
  search.exact = switches.Has(u"e");
  std::u16string type_name;
  if (switches.Value(u"t", &type_name)) {
    search.typed = true;
    search.type = static_cast<std::uint32_t>(TypeFromName(type_name));
  }
  if (!search.active &&
      (switches.Has(u"k") || switches.Has(u"d") || switches.Has(u"c") || switches.Has(u"e"))) {
    throw UsageError{"/k, /d, /c and /e go with /f PATTERN"};
  }
  RegFile::RequireKey(path);  // before anything is shown
  Cli::Print(u"");
  QueryTree(path, switches.Has(u"s"), &search);
  if (search.active) {
    Cli::Print(u"End of search: " + Cli::Utf16(std::to_string(search.matches)) +
               u" match(es) found.");
  }
  snapshot.Commit();
  return 0;
}

int RegType(Arguments& arguments) {
  const Switches switches(arguments, {u"v"}, {u"ve", u"reg:32", u"reg:64"});
  const RegistryPath path = KeyIn(switches, OnlyPositional(switches, "KEY"));
  std::u16string name;
  if (!ValueName(switches, &name)) throw UsageError{"type needs /v NAME or /ve"};
  const std::u16string folded = Cli::AsciiUpper(name);
  for (const RegValue& value : RegFile::Values(path)) {
    if (Cli::AsciiUpper(value.name) == folded) {
      Cli::Print(TypeToName(static_cast<std::int32_t>(value.type)));
      return 0;
    }
  }
  throw ToolFailure(kNotFound);
  return 0;
}

int RegList(Arguments& arguments) {
  const Switches switches(arguments, {}, {u"reg:32", u"reg:64"});
  const RegistryPath path = KeyIn(switches, OnlyPositional(switches, "KEY"));
  for (const std::u16string& child : RegFile::SubkeyNames(path)) Cli::Print(child);
  return 0;
}

}  // namespace quorvane::qv
