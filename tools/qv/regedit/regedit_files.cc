#include "tools/qv/regedit/regedit_files.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <vector>

#include <quorvane/core/error_object.h>
#include <quorvane/platform/platform.h>
#include <quorvane/platform/unicode_text.h>
#include "tools/qv/cli/cli.h"
#include "tools/qv/keys/key_tree.h"
#include "tools/qv/keys/reg_file.h"
#include "tools/qv/regedit/regedit_api.h"

namespace quorvane::qv {

namespace {

using nlohmann::json;

constexpr std::size_t kMostMatches = 1000;

std::string Lower(const std::u16string& text) {
  std::u16string lower = text;
  for (char16_t& unit : lower) {
    if (unit >= u'A' && unit <= u'Z') unit = static_cast<char16_t>(unit - u'A' + u'a');
  }
  return Cli::Utf8(lower);
}

// A value's data as find matches it: strings as text, numbers in decimal
// and hex, anything else as hex digits.
std::string DataText(const RegValue& value) {
  const std::string& data = value.data;
  if (value.type == 1 || value.type == 2 || value.type == 7) {
    std::u16string text = UnicodeText::FromUtf16Le(data);
    std::replace(text.begin(), text.end(), u'\0', u' ');  // between a list's items
    return Lower(text);
  }
  if ((value.type == 4 && data.size() == 4) || (value.type == 11 && data.size() == 8)) {
    unsigned long long number = 0;
    for (std::size_t i = data.size(); i-- > 0;) {
      number = number << 8 | static_cast<unsigned char>(data[i]);
    }
    char text[64];
    std::snprintf(text, sizeof text, "%llu 0x%llx", number, number);
    return text;
  }
  return RegeditApi::Hex(data);
}

bool Flag(const json& request, const char* name) {
  const auto found = request.find(name);
  return found == request.end() || (found->is_string() && *found != "0") ||
         (found->is_boolean() && found->get<bool>());
}

std::string Error(const std::string& words, bool* failed) {
  *failed = true;
  return json{{"error", words}}.dump();
}

std::string ViewSwitch(const std::string& view) {
  return view == "32" ? "/reg:32" : view == "64" ? "/reg:64" : "";
}

}  // namespace

RegeditFiles::RegeditFiles() {
  const char* temporary = std::getenv("TMPDIR");
  std::string pattern =
      std::string(temporary != nullptr && *temporary == '/' ? temporary : "/tmp") +
      "/qv-regedit-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    throw ToolFailure("regedit: no folder of its own for files in " + pattern);
  }
  folder_ = pattern;  // mkdtemp makes it for this user alone (0700)
  std::string self(4096, '\0');
  const ssize_t length = ::readlink("/proc/self/exe", self.data(), self.size() - 1);
  self.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
  qv_ = self.substr(0, self.rfind('/') + 1) + "qv";
}

RegeditFiles::~RegeditFiles() {
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

int RegeditFiles::RunQv(const std::vector<std::string>& words, std::string* said) const {
  int pipe_ends[2];
  if (::pipe2(pipe_ends, O_CLOEXEC) != 0) throw ToolFailure("regedit: no pipe for qv");
  const pid_t child = ::fork();
  if (child == 0) {
    ::dup2(pipe_ends[1], STDOUT_FILENO);
    ::dup2(pipe_ends[1], STDERR_FILENO);
    const int nothing = ::open("/dev/null", O_RDONLY);  // no question is answered
    ::dup2(nothing, STDIN_FILENO);
    std::vector<std::string> texts{qv_};
    texts.insert(texts.end(), words.begin(), words.end());
    std::vector<char*> argv;
    for (std::string& text : texts) {
      if (!text.empty()) argv.push_back(text.data());
    }
    argv.push_back(nullptr);
    ::execv(qv_.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(pipe_ends[1]);
  said->clear();
  char buffer[4096];
  for (ssize_t got; (got = ::read(pipe_ends[0], buffer, sizeof buffer)) > 0;) {
    said->append(buffer, static_cast<std::size_t>(got));
  }
  ::close(pipe_ends[0]);
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

std::string RegeditFiles::WriteScratch(const std::string& name, const std::string& bytes) const {
  std::string file = folder_ + "/" + name;
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << bytes;
  if (!out.flush()) throw ToolFailure("regedit: the upload cannot be kept for qv");
  return file;
}

std::string RegeditFiles::Find(const std::string& request, bool* failed) {
  *failed = false;
  try {
    const json asked = json::parse(request);
    RegistryPath top = RegistryPath::Parse(Cli::Utf16(asked.value("path", "")));
    if (asked.value("view", "") == "32") top.view = kKeyWow6432Key;
    if (asked.value("view", "") == "64") top.view = kKeyWow6464Key;
    const std::string pattern = Lower(Cli::Utf16(asked.value("pattern", "")));
    if (pattern.empty()) return Error("find needs something to find", failed);
    const bool keys = Flag(asked, "keys");
    const bool values = Flag(asked, "values");
    const bool data = Flag(asked, "data");
    json matches = json::array();
    bool more = false;
    RegistryBatch snapshot(RegistryBatch::Scan{});
    KeyTree::Walk(top, platform::kKeyRead, [&](const KeyTree::Visit& visit) {
      if (more) return;
      const std::u16string name = visit.path.FullName();
      const std::size_t split = visit.path.branch.rfind(u'\\');
      const std::u16string last =
          split == std::u16string::npos ? visit.path.branch : visit.path.branch.substr(split + 1);
      if (keys && visit.depth > 0 && Lower(last).find(pattern) != std::string::npos) {
        matches.push_back({{"path", Cli::Utf8(name)}});
      }
      if (values || data) {
        for (const RegValue& value : ValuesOf(visit.key)) {
          if ((values && Lower(value.name).find(pattern) != std::string::npos) ||
              (data && DataText(value).find(pattern) != std::string::npos)) {
            matches.push_back({{"path", Cli::Utf8(name)}, {"value", Cli::Utf8(value.name)}});
          }
        }
      }
      more = matches.size() >= kMostMatches;
    });
    snapshot.Commit();
    return json{{"matches", matches}, {"more", more}}.dump();
  } catch (const ErrorObject& error) {
    return Error(ErrorWords(error), failed);
  } catch (const UsageError& usage) {
    return Error(usage.hint, failed);
  } catch (const std::exception& failure) {
    return Error(failure.what(), failed);
  }
}

std::string RegeditFiles::Export(const std::string& path, const std::string& view,
                                 const std::string& format, bool* failed) {
  *failed = false;
  const bool hive = format == "hive";
  const std::string file = folder_ + (hive ? "/export.hiv" : "/export.reg");
  std::filesystem::remove(file);
  std::string said;
  const int status =
      RunQv({"reg", hive ? "save" : "export", path, file, "/y", ViewSwitch(view)}, &said);
  if (status != 0) return Error(said.empty() ? "qv could not export the key" : said, failed);
  std::ifstream in(file, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  std::filesystem::remove(file);
  return bytes.str();
}

std::string RegeditFiles::Import(const std::string& kind, const std::string& path,
                                 const std::string& view, const std::string& bytes, bool* failed) {
  *failed = false;
  const bool hive = kind == "hive";
  const std::string file = WriteScratch(hive ? "import.hiv" : "import.reg", bytes);
  std::string said;
  const int status = hive ? RunQv({"reg", "restore", path, file, ViewSwitch(view)}, &said)
                          : RunQv({"reg", "import", file, ViewSwitch(view)}, &said);
  std::filesystem::remove(file);
  if (status != 0) return Error(said.empty() ? "qv could not import the file" : said, failed);
  return json{{"done", true}, {"said", said}}.dump();
}

std::string RegeditFiles::Compare(const std::string& path, const std::string& other,
                                  const std::string& view, const std::string& bytes, bool* failed) {
  *failed = false;
  std::string second = other;
  if (second.empty()) {
    // An uploaded file, by its first bytes a hive or a .reg file.
    second = WriteScratch(bytes.compare(0, 4, "regf") == 0 ? "compare.hiv" : "compare.reg", bytes);
  }
  std::string said;
  const int status = RunQv({"reg", "compare", path, second, "/s", "/oa", ViewSwitch(view)}, &said);
  if (other.empty()) std::filesystem::remove(second);
  if (status != 0 && status != 2) return Error(said, failed);
  return json{{"identical", status == 0}, {"lines", said}}.dump();
}

}  // namespace quorvane::qv
