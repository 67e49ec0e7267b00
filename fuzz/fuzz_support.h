// fuzz_support.h - a host session with the built plug-in loaded, shared by the fuzzers
// that need registered plug-ins.
#pragma once

#include <cstdlib>
#include <memory>
#include <string>

#include "core/console.h"
#include "loader/loader.h"
#include "session/session.h"

namespace fuzz {

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
