// Mach-O modules (macOS builds) handed to the host's Mach-O loader: any bytes must be
// mapped and fixed up or refused with a reason, never crash, hang or overrun. The fuzzer
// maps without running initialisers, so no byte of the input is ever executed; each input
// is read as an x86-64 and as an arm64 module (thin image or slice of a universal file).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "loader/macho_library.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<unsigned char> file(data, data + size);
  for (uint32_t cpuType : {host::kMachOCpuTypeX8664, host::kMachOCpuTypeArm64}) {
    std::string error;
    host::MachOLoadOptions options;
    options.runInitializers = false;
    options.cpuType = cpuType;
    auto image = host::MachOImage::LoadFromMemory(file, "fuzz.xlib", &error, options);
    if (image) {
      // Every export lies inside the mapped image.
      for (const auto& [name, offset] : image->Exports())
        if (image->Symbol(name) == nullptr) __builtin_trap();
    } else if (error.empty()) {
      __builtin_trap();  // a refusal must say why
    }
  }
  return 0;
}
