// String tables (c4d_strings.str, description/<name>.str), with and without an expected
// table name.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "resources/resource_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  for (const char* expected : {"", "XCorvane"}) {
    host::StringTable table;
    host::ParseError error;
    if (!host::ParseStringTable(text, "fuzz.str", expected, &table, &error) && error.message.empty())
      __builtin_trap();  // a failure must say why
  }
  return 0;
}
