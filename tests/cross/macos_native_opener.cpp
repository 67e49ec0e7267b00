// The module tests, linked for the macOS binary: this file stands in for the host's native
// opener (host/loader/module_library.cpp is then not linked), so every module the tests
// open, through ModuleSandbox or the loader's default, goes through the test Mach-O loader.
#include "loader/module_library.h"
#include "macho_loader.h"

namespace host {

std::unique_ptr<ModuleLibrary> OpenNativeLibrary(const std::string& path, std::string* error) {
  return test::OpenMachOLibrary(path, error);
}

const char* NativeModuleExtension() { return ".xlib"; }

}  // namespace host
