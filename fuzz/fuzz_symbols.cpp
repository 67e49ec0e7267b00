// Symbol headers (c4d_symbols.h, description/<name>.h): any bytes must parse or fail with
// a located message, never crash or hang.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "resources/resource_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  host::SymbolTable symbols;
  host::ParseError error;
  if (host::ParseSymbols(text, "fuzz.h", &symbols, &error)) {
    // Every ordered entry is also found by name.
    for (const auto& [name, id] : symbols.ordered) {
      int32_t found = 0;
      if (!symbols.Find(name, &found)) __builtin_trap();
    }
  } else if (error.message.empty()) {
    __builtin_trap();  // a failure must say why
  }
  return 0;
}
