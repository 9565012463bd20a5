// The qv argument reader: every word lands in exactly one place, and the word
// after a switch that takes a value is that value, whatever it looks like.
#include <vector>

#include "fuzz/fuzz_input.h"
#include "tools/qv/cli/cli.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using quorvane::fuzz::Require;
  quorvane::fuzz::FuzzInput input(data, size);
  static const char16_t* const kWords[] = {u"/v", u"/V", u"-d",     u"/d",  u"/ve",   u"/f",
                                           u"/?", u"-h", u"--help", u"KEY", u"",      u"/",
                                           u"/x", u"-",  u"/s",     u"/t",  u"/tmp/x"};
  std::vector<std::u16string> words;
  const int count = input.Byte() % 12;
  for (int i = 0; i < count; ++i) {
    if (input.Byte() % 4 == 0) {
      words.push_back(input.Text(4));
    } else {
      words.push_back(kWords[input.Byte() % (sizeof kWords / sizeof kWords[0])]);
    }
  }
  quorvane::qv::Arguments arguments(words);
  try {
    const quorvane::qv::Switches switches(arguments, {u"v", u"d", u"s", u"t"}, {u"ve", u"f"});
    std::size_t placed = switches.Positional().size();
    for (const char16_t* name : {u"v", u"d", u"s", u"t"}) {
      std::u16string value;
      if (switches.Value(name, &value)) placed += 2;
    }
    for (const char16_t* name : {u"ve", u"f"}) placed += switches.Has(name) ? 1 : 0;
    Require(placed == words.size());
    Require(arguments.Empty());
  } catch (const quorvane::qv::UsageError&) {
    // A switch without its value, or one given twice.
  }
  return 0;
}
