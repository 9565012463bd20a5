// qv reg compare and diff: two trees side by side (two keys, or a key and a
// saved hive or .reg file), and the .reg file that turns a key back into
// what a file saved.
#include <algorithm>
#include <map>
#include <string>
#include <tuple>

#include "tools/qv/cli/replacement_file.h"
#include "tools/qv/keys/reg_file.h"
#include "tools/qv/reg/reg_commands.h"
#include "tools/qv/reg/tree_snapshot.h"
#include "tools/qv/regfile/reg_writer.h"

namespace quorvane::qv {

namespace {

using Values = std::map<std::u16string, const RegValue*>;  // by upper-cased name

Values ByName(const std::vector<RegValue>& values) {
  Values by_name;
  for (const RegValue& value : values) by_name[Cli::AsciiUpper(value.name)] = &value;
  return by_name;
}

bool Same(const RegValue& a, const RegValue& b) { return a.type == b.type && a.data == b.data; }

std::u16string FullName(const std::u16string& top, const std::u16string& below) {
  return below.empty() ? top : top + u"\\" + below;
}

// What /oa, /od, /os and /on ask to see.
struct Output {
  bool differences = true;
  bool matches = false;
};

class Comparison {
 public:
  explicit Comparison(Output shown) : shown_(shown) {}

  void Key(char side, const std::u16string& name) {
    different_ = true;
    if (shown_.differences) Cli::Print(std::u16string(1, side) + u" Key: " + name);
  }
  void Value(char side, const std::u16string& key, const RegValue& value) {
    if (side == '=' ? !shown_.matches : !shown_.differences) return;
    Cli::Print(std::u16string(1, side) + u" Value: " + key + u"  " +
               (value.name.empty() ? std::u16string(u"(Default)") : value.name) + u"  " +
               TypeToName(static_cast<std::int32_t>(value.type)) + u"  " + Shown(value));
  }
  void Values(const std::u16string& left_key, const std::vector<RegValue>& left,
              const std::u16string& right_key, const std::vector<RegValue>& right,
              const std::u16string* only) {
    const qv::Values a = ByName(left);
    const qv::Values b = ByName(right);
    std::vector<std::u16string> names;
    for (const auto& entry : a) names.push_back(entry.first);
    for (const auto& entry : b) names.push_back(entry.first);
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    for (const std::u16string& name : names) {
      if (only != nullptr && name != Cli::AsciiUpper(*only)) continue;
      const auto in_a = a.find(name);
      const auto in_b = b.find(name);
      if (in_a != a.end() && in_b != b.end() && Same(*in_a->second, *in_b->second)) {
        Value('=', left_key, *in_a->second);
        continue;
      }
      different_ = true;
      if (in_a != a.end()) Value('<', left_key, *in_a->second);
      if (in_b != b.end()) Value('>', right_key, *in_b->second);
    }
  }
  [[nodiscard]] bool Different() const { return different_; }

 private:
  Output shown_;
  bool different_ = false;
};

TreeSnapshot SecondTree(const Switches& switches, const std::u16string& word, bool whole_tree) {
  // A word that names a root key is a key; anything else is a saved file.
  try {
    return TreeSnapshot::OfKey(KeyIn(switches, word), whole_tree);
  } catch (const UsageError&) {
    return TreeSnapshot::OfFile(Cli::Utf8(word));
  }
}

}  // namespace

int RegCompare(Arguments& arguments) {
  const Switches switches(arguments, {u"v"},
                          {u"ve", u"s", u"oa", u"od", u"os", u"on", u"reg:32", u"reg:64"});
  if (switches.Positional().size() != 2) throw UsageError{"compare takes KEY1 and KEY2 (or FILE)"};
  std::u16string value_name;
  const bool one_value = ValueName(switches, &value_name);
  const bool whole_tree = switches.Has(u"s");
  Output shown;
  int outputs = 0;
  for (const auto& [flag, differences, matches] :
       {std::tuple{u"oa", true, true}, std::tuple{u"od", true, false},
        std::tuple{u"os", false, true}, std::tuple{u"on", false, false}}) {
    if (switches.Has(flag)) {
      shown = Output{differences, matches};
      ++outputs;
    }
  }
  if (outputs > 1) throw UsageError{"compare takes one of /oa, /od, /os and /on"};
  const TreeSnapshot left =
      TreeSnapshot::OfKey(KeyIn(switches, switches.Positional()[0]), whole_tree);
  TreeSnapshot right = SecondTree(switches, switches.Positional()[1], whole_tree);
  Comparison comparison(shown);
  const auto& a = left.Keys();
  const auto& b = right.Keys();
  auto in_a = a.begin();
  auto in_b = b.begin();
  // Both maps are in the same order: walk them side by side.
  // Without /s, keys below the top's subkeys are not looked at.
  const auto deeper = [whole_tree](const auto& entry) {
    return !whole_tree && entry.second.below.find(u'\\') != std::u16string::npos;
  };
  while (in_a != a.end() || in_b != b.end()) {
    if (in_a != a.end() && deeper(*in_a)) {
      ++in_a;
      continue;
    }
    if (in_b != b.end() && deeper(*in_b)) {
      ++in_b;
      continue;
    }
    const bool take_a = in_b == b.end() || (in_a != a.end() && in_a->first < in_b->first);
    const bool take_b = in_a == a.end() || (in_b != b.end() && in_b->first < in_a->first);
    const bool top = (take_b ? in_b : in_a)->second.below.empty();
    if (one_value) {
      // One value of the top, and nothing else.
      if (top && !take_a && !take_b) {
        comparison.Values(left.TopName(), in_a->second.values, right.TopName(), in_b->second.values,
                          &value_name);
      }
    } else if (take_a) {
      comparison.Key('<', FullName(left.TopName(), in_a->second.below));
    } else if (take_b) {
      comparison.Key('>', FullName(right.TopName(), in_b->second.below));
    } else if (whole_tree || top) {
      // Without /s only the top's values count, and which subkeys it has.
      comparison.Values(FullName(left.TopName(), in_a->second.below), in_a->second.values,
                        FullName(right.TopName(), in_b->second.below), in_b->second.values,
                        nullptr);
    }
    if (!take_b) ++in_a;
    if (!take_a) ++in_b;
  }
  Cli::Print(comparison.Different() ? u"Result Compared: Different"
                                    : u"Result Compared: Identical");
  Cli::Print(u"The operation completed successfully.");
  return comparison.Different() ? 2 : 0;
}

int RegDiff(Arguments& arguments) {
  const Switches switches(arguments, {u"out"}, {u"y", u"reg:32", u"reg:64"});
  if (switches.Positional().size() != 2) throw UsageError{"diff takes KEY and FILE"};
  std::u16string out;
  if (!switches.Value(u"out", &out)) throw UsageError{"diff takes /out UNDO.reg"};
  const RegistryPath key = KeyIn(switches, switches.Positional()[0]);
  const TreeSnapshot now = TreeSnapshot::OfKey(key, true);
  const TreeSnapshot saved = TreeSnapshot::OfFile(Cli::Utf8(switches.Positional()[1]));
  KeepUnlessOverwriting(switches, out);
  RegFile::RefuseOwnDatabase(Cli::Utf8(out));
  ReplacementFile file(Cli::Utf8(out));
  int changes = 0;
  try {
    RegWriter writer(RegFormat::kVersion5, [&file](std::string_view bytes) { file.Write(bytes); });
    const std::u16string top = key.FullName();
    // Keys made since: deleted, each tree once (a key's subkeys follow it).
    std::u16string deleted;  // the folded path of the last tree deleted
    for (const auto& [folded, made] : now.Keys()) {
      if (saved.Keys().count(folded) != 0) continue;
      if (!deleted.empty() && folded.compare(0, deleted.size() + 1, deleted + u'\1') == 0) continue;
      writer.DeleteKey(FullName(top, made.below));
      deleted = folded;
      ++changes;
    }
    // Keys as they were: values set back, values made since deleted.
    for (const auto& saved_key : saved.Keys()) {
      const TreeSnapshot::Key& was = saved_key.second;
      const auto current = now.Keys().find(saved_key.first);
      const Values before = ByName(was.values);
      const Values after = current == now.Keys().end() ? Values{} : ByName(current->second.values);
      bool named = false;
      const auto name_key = [&] {
        if (!named) writer.Key(FullName(top, was.below));
        named = true;
      };
      if (current == now.Keys().end()) name_key();
      for (const auto& [name, value] : before) {
        const auto there = after.find(name);
        if (there != after.end() && Same(*there->second, *value)) continue;
        name_key();
        writer.Value(*value);
        ++changes;
      }
      for (const auto& [name, value] : after) {
        if (before.count(name) != 0) continue;
        name_key();
        writer.DeleteValue(value->name);
        ++changes;
      }
    }
    writer.Finish();
  } catch (const RegTextError& failure) {
    throw ToolFailure(std::string("cannot write the undo file: ") + failure.what());
  }
  file.Commit();
  Cli::Print(Cli::Utf16(std::to_string(changes)) + u" change(s) to undo written to " + out + u".");
  return 0;
}

}  // namespace quorvane::qv
