// Description resources (.res), resolved against the plug-in's real symbols and labels.
// The input is the .res text; the answer is a description or a located error.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "resources/resource_files.h"

namespace {

struct Tables {
  host::SymbolTable symbols;
  host::StringTable strings;
};

const Tables& Load() {
  static const Tables* tables = [] {
    auto* t = new Tables;
    host::ParseError error;
    const std::string res = CORVANE_RES_DIR;
    if (!host::LoadSymbolsFile(res + "/description/xcorvane.h", &t->symbols, &error) ||
        !host::LoadStringTableFile(res + "/strings_en-US/description/xcorvane.str", "XCorvane", &t->strings,
                                   &error)) {
      std::abort();  // the fuzzer needs the plug-in's own tables
    }
    return t;
  }();
  return *tables;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Tables& tables = Load();
  std::string_view text(reinterpret_cast<const char*>(data), size);
  host::Description description;
  host::ParseError error;
  if (host::ParseDescription(text, "fuzz.res", "", tables.symbols, tables.strings, &description, &error)) {
    // Lookups over whatever was parsed stay within the element list.
    for (const host::DescriptionElement& e : description.elements) {
      if (e.id >= 0 && description.FindById(e.id) == nullptr) __builtin_trap();
      (void)e.ValueType();
      (void)e.Flag("MIN");
    }
  } else if (error.message.empty()) {
    __builtin_trap();
  }
  return 0;
}
