// fuzz_support.h - a host session with the built plug-in loaded, shared by the fuzzers
// that need registered plug-ins.
#pragma once

#include <cstdlib>
#include <memory>
#include <string>

#include "core/console.h"
#include "core/host.h"
#include "loader/loader.h"

namespace fuzz {

/// One Host and the plug-in module, loaded once per process and kept for its life.
struct Session {
  std::unique_ptr<host::Host> host;
  std::unique_ptr<host::Module> module;

  /// Opens the module (without calling it); aborts when the file is refused.
  void Open() {
    host::Console().SetEcho(false);
    host = std::make_unique<host::Host>();
    std::string error;
    module = host::Module::Open(CORVANE_PLUGIN_MODULE, {}, &error);
    if (!module) {
      std::fprintf(stderr, "fuzz: %s\n", error.c_str());
      std::abort();
    }
  }
  /// Closes the module and the host (documents first) and clears the console log.
  void Close() {
    if (host) host->DestroyDocuments();
    module.reset();
    host.reset();
    host::Console().Clear();
  }
};

}  // namespace fuzz
