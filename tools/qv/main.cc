// qv: the Quorvane support library on the command line.
//
// Where its pieces live (tools/qv/, each folder with a README):
//   main.cc               dispatch to the command groups
//   cli/                  switches, words and the terminal, key names as typed, files
//   regfile/              the .reg text, read and written
//   keys/                 open keys, tree walks, batches, trees to and from .reg files
//   hive/                 hive files
//   reg/                  the `qv reg` commands
//   regedit/              `qv regedit`, its own program (qv-regedit): the browser page
//   fileworks_command.cc  `qv setting`, `qv path` and the file helpers; demo.cc the tour
#include <cstdio>
#include <exception>
#include <string>
#include <utility>
#include <vector>

#include <quorvane/core/error_object.h>
#include "tools/qv/cli/cli.h"

namespace quorvane::qv {
namespace {

constexpr const char* kHelp =
    "usage: qv COMMAND [arguments]\n"
    "\n"
    "  reg ...                       registry keys and values, .reg export and import\n"
    "  setting save|get ...          per-application settings with defaults\n"
    "  path MEMBER TEXT [SEP]        path text: getpath, getfile, getext, getdrive, ...\n"
    "  version-greater V1 V2         whether dotted version V1 is greater than V2\n"
    "  target-name FILE PATTERN      the name FILE gets under a wildcard PATTERN\n"
    "  exists NAME                   whether an ordinary file matches NAME\n"
    "  mkdir PATH                    create PATH with every missing level\n"
    "  windir | sysdir | tempdir     the Windows, system and temporary directories\n"
    "  demo                          a short tour of the library\n"
    "  regedit [--port N]            the registry in a browser page on this machine\n"
    "\n"
    "Each command takes --help (or /?). qv --verbose COMMAND ... adds the error's\n"
    "number and source to a failure's message; qv --registry STORE COMMAND ... uses\n"
    "the registry STORE (a database file, :memory: or wine:PREFIX) for one command.\n"
    "\n"
    "Exit status: 0 done, 1 failed or used wrongly (as reg.exe); qv reg compare\n"
    "exits 2 when the keys differ.\n"
    "\n";

constexpr const char* kFileWorksHelp =
    "usage: qv version-greater V1 V2 | target-name FILE PATTERN | exists NAME |\n"
    "       mkdir PATH | windir | sysdir | tempdir\n";

void PrintHelp() {
  Cli::PrintRaw(kHelp);
  Cli::PrintRaw(RegistryPlace());
}

int Dispatch(Arguments& arguments) {
  if (arguments.Empty()) {
    PrintHelp();
    return 1;
  }
  const std::u16string command = arguments.Take("COMMAND");
  if (Arguments::IsHelpWord(command) || command == u"help") {
    PrintHelp();
    return 0;
  }
  if (command == u"reg") return RunReg(arguments);
  if (command == u"setting") return RunSetting(arguments);
  if (command == u"path") return RunPath(arguments);
  if (command == u"demo") return RunDemo(arguments);
  if (command == u"regedit") {
    std::vector<std::u16string> rest;
    for (std::u16string word; arguments.TakeOptional(&word);) rest.push_back(word);
    StartRegedit(rest);
  }
  for (const char16_t* member : {u"version-greater", u"target-name", u"exists", u"mkdir", u"windir",
                                 u"sysdir", u"tempdir"}) {
    if (command == member) {
      if (arguments.WantsHelp()) {
        Cli::PrintRaw(kFileWorksHelp);
        return 0;
      }
      return RunFileWorks(command, arguments);
    }
  }
  throw UsageError{"unknown command '" + Cli::Utf8(command) + "'"};
}

}  // namespace

}  // namespace quorvane::qv

int main(int argc, char** argv) {
  using quorvane::qv::Cli;
  bool verbose = false;
  try {
    std::vector<std::u16string> words = quorvane::qv::CommandLineWords(argc, argv);
    // Options of qv itself, before the command.
    while (!words.empty()) {
      if (words.front() == u"--verbose") {
        verbose = true;
      } else if (words.front() == u"--registry" || words.front().rfind(u"--registry=", 0) == 0) {
        std::u16string store = words.front().size() > 10 ? words.front().substr(11) : u"";
        if (words.front().size() == 10 && words.size() > 1) {
          words.erase(words.begin());
          store = words.front();
        }
        quorvane::qv::ChooseRegistry(store);
      } else {
        break;
      }
      words.erase(words.begin());
    }
    quorvane::qv::Arguments arguments(std::move(words));
    const int status = quorvane::qv::Dispatch(arguments);
    std::fflush(stdout);
    return status;
  } catch (const quorvane::qv::UsageError& usage) {
    std::fflush(stdout);
    std::fprintf(stderr, "qv: %s (try 'qv --help')\n", usage.hint.c_str());
    return 1;
  } catch (const quorvane::ErrorObject& error) {
    quorvane::qv::ReportError(error, verbose);
    return 1;
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "qv: %s\n", failure.what());
    return 1;
  }
}
