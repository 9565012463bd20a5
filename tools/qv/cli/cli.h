// Shared pieces of the qv command-line tool: text conversion, argument
// handling, output and the errors that end a command.
#pragma once

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include <quorvane/core/error_object.h>
#include <quorvane/core/variant.h>

namespace quorvane::qv {

// A command used wrongly: exit code 1, as for any failure, with a one-line
// hint.
struct UsageError {
  std::string hint;
};

class Cli {
 public:
  [[nodiscard]] static std::string Utf8(const std::u16string& text);
  [[nodiscard]] static std::u16string Utf16(const std::string& text);
  // ASCII letters in upper or lower case, the rest as it is (how reg.exe
  // compares switches, type names and root names).
  [[nodiscard]] static std::u16string AsciiUpper(std::u16string text);
  [[nodiscard]] static std::u16string AsciiLower(std::u16string text);
  static void Print(const std::u16string& line);
  static void PrintRaw(const std::string& text);
  // What a Variant reads as on the terminal: text as is, numbers as numbers.
  [[nodiscard]] static std::u16string Show(const Variant& value);
};

// reg.exe's words for a key or value that is not there.
inline constexpr const char* kNotFound =
    "The system was unable to find the specified registry key or value";

// A command that failed for a reason the user can act on: exit code 1 with the
// message.
struct ToolFailure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The words of a command line after the tool's name, and the flags among them.
class Arguments {
 public:
  explicit Arguments(std::vector<std::u16string> words) : words_(std::move(words)) {}

  // A word that asks for help: /?, -?, /h, -h (in any case) or --help.
  [[nodiscard]] static bool IsHelpWord(const std::u16string& word);
  [[nodiscard]] bool Empty() const { return next_ >= words_.size(); }
  // The words not taken yet.
  [[nodiscard]] std::size_t Remaining() const { return words_.size() - next_; }
  [[nodiscard]] bool WantsHelp() const;
  // Whether the next word asks for help.
  [[nodiscard]] bool NextIsHelp() const;
  // The next word; a UsageError with `what` when there is none.
  std::u16string Take(const char* what);
  // The next word if there is one.
  bool TakeOptional(std::u16string* word);
  void ExpectEnd() const;
  // Removes "/name VALUE" (or "-name VALUE") wherever it stands.
  bool TakeOption(const std::u16string& name, std::u16string* value);
  // Removes a flag such as "/ve" wherever it stands.
  bool TakeFlag(const std::u16string& name);

 private:
  std::vector<std::u16string> words_;
  std::size_t next_ = 0;
};

// The switches of a reg.exe-style command line, read left to right: the word
// after a switch that takes a value is always that value, whatever it looks
// like. Names compare without regard to case; "/name" and "-name" both work.
class Switches {
 public:
  Switches(Arguments& arguments, std::vector<std::u16string> with_value,
           std::vector<std::u16string> flags);
  [[nodiscard]] bool Has(const std::u16string& name) const;
  bool Value(const std::u16string& name, std::u16string* value) const;
  [[nodiscard]] const std::vector<std::u16string>& Positional() const { return positional_; }

 private:
  std::vector<std::pair<std::u16string, std::u16string>> given_;
  std::vector<std::u16string> positional_;
};

// Whether a registry error number tells of the registry's medium (a database
// that is damaged, busy, full, ...).
bool IsStoreFailure(std::int32_t number);
// Tells on stderr why a command failed, in one line: the cause in reg.exe's
// words where it has them, else the error's description; `verbose` adds the
// error's number and source.
void ReportError(const ErrorObject& error, bool verbose);
// The words ReportError prints first: reg.exe's where it has them.
std::string ErrorWords(const ErrorObject& error);

// Each returns the process exit code.
int RunReg(Arguments& arguments);
int RunSetting(Arguments& arguments);
int RunPath(Arguments& arguments);
int RunFileWorks(const std::u16string& command, Arguments& arguments);
int RunDemo(Arguments& arguments);

// The command line as UTF-16 words (platform-specific).
std::vector<std::u16string> CommandLineWords(int argc, char** argv);
// Where the registry lives and what chooses it, for the help (per platform).
const char* RegistryPlace();
// qv --registry STORE: the registry this command uses (per platform; Windows
// has one registry only, and refuses).
void ChooseRegistry(const std::u16string& store);
// qv regedit: starts the program qv-regedit beside qv with `words` (per
// platform; where the build has none, a ToolFailure says why).
[[noreturn]] void StartRegedit(const std::vector<std::u16string>& words);
// Whether a person can answer a question on standard input.
bool StandardInputIsInteractive();
// Whether standard error is a terminal (progress lines go there).
bool StandardErrorIsTerminal();
// Opens a regular file (`path` in UTF-8) for reading in binary; raises
// ToolFailure when it is missing, no regular file, or cannot be read.
std::FILE* OpenRegularFile(const std::string& path);
// What an open file's size and times are now, as text to compare.
std::string FileStamp(std::FILE* file);
// An open file's size in bytes.
std::uint64_t FileSize(std::FILE* file);
}  // namespace quorvane::qv
