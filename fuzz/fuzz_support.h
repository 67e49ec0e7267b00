// fuzz_support.h - a host session with the built plug-in loaded, shared by the fuzzers
// that need registered plug-ins.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "core/console.h"
#include "loader/loader.h"
#include "session/session.h"

namespace fuzz {

/// Reads the fuzz input a byte or a word at a time; zeros once it is used up.
class Input {
 public:
  Input(const uint8_t* d, size_t n) : data(d), size(n) {}
  bool More() const { return pos < size; }
  uint8_t Byte() { return pos < size ? data[pos++] : 0; }
  int32_t Word() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = (v << 8) | Byte();
    return static_cast<int32_t>(v);
  }

 private:
  const uint8_t* data;
  size_t size;
  size_t pos = 0;
};

/// One host session and the plug-in module, loaded once per process and kept for its life.
struct Session {
  std::unique_ptr<host::Session> host;
  host::Module* module = nullptr;  ///< owned by host

  /// Opens the module (without calling it); aborts when the file is refused.
  void Open() {
    host::Console().SetEcho(false);
    host = std::make_unique<host::Session>();
    std::string error;
    module = host->Adopt(host::Module::Open(CORVANE_PLUGIN_MODULE, {}, &error));
    if (!module) {
      std::fprintf(stderr, "fuzz: %s\n", error.c_str());
      std::abort();
    }
  }
  /// Ends the session (documents, module, host) and clears the console log.
  void Close() {
    host.reset();
    module = nullptr;
    host::Console().Clear();
  }
};

}  // namespace fuzz
