// Shared pieces of the qv command-line tool: text conversion, argument
// handling, output and the errors that end a command.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/variant.h"

namespace quorvane::qv {

// A command used wrongly: exit code 2 with a one-line hint.
struct UsageError {
  std::string hint;
};

class Cli {
 public:
  [[nodiscard]] static std::string Utf8(const std::u16string& text);
  [[nodiscard]] static std::u16string Utf16(const std::string& text);
  static void Print(const std::u16string& line);
  static void PrintRaw(const std::string& text);
  // What a Variant reads as on the terminal: text as is, numbers as numbers.
  [[nodiscard]] static std::u16string Show(const Variant& value);
};

// The words of a command line after the tool's name, and the flags among them.
class Arguments {
 public:
  explicit Arguments(std::vector<std::u16string> words) : words_(std::move(words)) {}

  [[nodiscard]] bool Empty() const { return next_ >= words_.size(); }
  [[nodiscard]] bool WantsHelp() const;
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

// Each returns the process exit code.
int RunReg(Arguments& arguments);
int RunSetting(Arguments& arguments);
int RunPath(Arguments& arguments);
int RunFileWorks(const std::u16string& command, Arguments& arguments);
int RunDemo(Arguments& arguments);

// The command line as UTF-16 words (platform-specific).
std::vector<std::u16string> CommandLineWords(int argc, char** argv);

}  // namespace quorvane::qv
