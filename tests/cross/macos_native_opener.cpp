// The module tests, linked for the macOS binary: before any test runs, the test Mach-O
// loader becomes the host's default module opener, so every module the tests open (through
// ModuleSandbox or the loader's defaults) is the macOS build.
#include "loader/module_library.h"
#include "macho_loader.h"

namespace {

const bool installed = [] {
  host::SetDefaultModuleFormat(host::test::OpenMachOLibrary, ".xlib");
  return true;
}();

}  // namespace
