// The module tests, linked for the macOS binary: the module copies the tests make get the
// macOS extension. The host's opener sees a Mach-O file and maps it with its Mach-O loader.
#include "loader/module_library.h"

namespace {

const bool installed = [] {
  host::SetDefaultModuleFormat(nullptr, ".xlib");
  return true;
}();

}  // namespace
