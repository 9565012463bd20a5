// The tool's own contact with a POSIX host: command-line words (UTF-8) and the
// terminal.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "tools/qv/cli/cli.h"

namespace quorvane::qv {

std::vector<std::u16string> CommandLineWords(int argc, char** argv) {
  std::vector<std::u16string> words;
  for (int i = 1; i < argc; ++i) {
    words.push_back(Cli::Utf16(argv[i]));
    // A word that is no UTF-8 would be stored with U+FFFD in place of its
    // bytes: refused rather than changed.
    if (Cli::Utf8(words.back()) != argv[i]) {
      throw UsageError{"argument " + std::to_string(i) + " is not valid UTF-8 text"};
    }
  }
  return words;
}

const char* RegistryPlace() {
  return "The registry is a file of its own: qv --registry STORE, else $QV_REGISTRY\n"
         "(:memory: keeps it in memory for one command; wine:PREFIX uses a Wine\n"
         "prefix's registry files, shared with Wine, written only while no wineserver\n"
         "serves the prefix), else $XDG_DATA_HOME/quorvane/registry.db, else\n"
         "~/.local/share/quorvane/registry.db. The emulated C: drive lies beside it\n"
         "(drive_c; QV_DRIVE_C chooses another, QV_DRIVES adds drives, Z: is /).\n"
         "Also read: QV_REGISTRY_SYNC=full (sync every write), QV_PROCESS_BITS=32|64\n"
         "(the process's registry view), QV_ANSI_CODE_PAGE, QV_WINDIR, QV_SYSDIR.\n";
}

void StartRegedit(const std::vector<std::u16string>& words) {
  // The program lies beside this one, as the build and an install put it.
  std::string self(4096, '\0');
  const ssize_t length = ::readlink("/proc/self/exe", self.data(), self.size() - 1);
  self.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
  const std::string program = self.substr(0, self.rfind('/') + 1) + "qv-regedit";
  std::vector<std::string> texts{program};
  texts.reserve(words.size() + 1);
  for (const std::u16string& word : words) texts.push_back(Cli::Utf8(word));
  std::vector<char*> argv;
  argv.reserve(texts.size() + 1);
  for (std::string& text : texts) argv.push_back(text.data());
  argv.push_back(nullptr);
  std::fflush(stdout);
  ::execv(program.c_str(), argv.data());
  throw ToolFailure(
      "qv regedit is not in this build: it needs cpp-httplib and nlohmann-json (Debian: "
      "libcpp-httplib-dev nlohmann-json3-dev)");
}

void ChooseRegistry(const std::u16string& store) {
  if (store.empty())
    throw UsageError{"--registry needs a registry: a file, :memory: or wine:PREFIX"};
  // As QV_REGISTRY, for this command and the programs it starts.
  ::setenv("QV_REGISTRY", Cli::Utf8(store).c_str(), 1);
}

bool StandardInputIsInteractive() { return ::isatty(STDIN_FILENO) == 1; }

bool StandardErrorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

std::FILE* OpenRegularFile(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rbe");
  if (file == nullptr) {
    if (errno == ENOENT) throw ToolFailure("cannot read " + path + ": no such file");
    throw ToolFailure("cannot read " + path + ": " + std::strerror(errno));
  }
  struct stat status {};
  if (::fstat(::fileno(file), &status) != 0 || !S_ISREG(status.st_mode)) {
    std::fclose(file);
    throw ToolFailure("cannot import " + path + ": it is not a regular file");
  }
  return file;
}

std::uint64_t FileSize(std::FILE* file) {
  struct stat status {};
  return ::fstat(::fileno(file), &status) == 0 ? static_cast<std::uint64_t>(status.st_size) : 0;
}

std::string FileStamp(std::FILE* file) {
  struct stat status {};
  if (::fstat(::fileno(file), &status) != 0) return "unknown";
  // Every write moves the modification time (to the nanosecond); a new name
  // for the file or another file taking its name does not.
  return std::to_string(status.st_size) + "/" + std::to_string(status.st_mtim.tv_sec) + "." +
         std::to_string(status.st_mtim.tv_nsec);
}

}  // namespace quorvane::qv
