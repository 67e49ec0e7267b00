// module_library.h - how the host opens a module file and finds its exported symbols.
//
// The loader only needs "open this file" and "address of this export"; everything else
// (dlopen, LoadLibraryW, a test loader for foreign binaries) hides behind ModuleLibrary.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace host {

/// One opened module file. Closing happens in the destructor.
class ModuleLibrary {
 public:
  virtual ~ModuleLibrary() = default;
  /// Address of the exported symbol name (plain C name, without any platform prefix);
  /// null when the library has no such export.
  virtual void* Symbol(const char* name) = 0;
};

/// Opens the file at path (UTF-8). Null with *error set to the cause when it cannot.
using ModuleOpener =
    std::function<std::unique_ptr<ModuleLibrary>(const std::string& path, std::string* error)>;

/// The platform's own loader: dlopen(RTLD_NOW | RTLD_LOCAL) or LoadLibraryW.
std::unique_ptr<ModuleLibrary> OpenNativeLibrary(const std::string& path, std::string* error);

/// The file extension of modules on this platform: ".xso64" (Linux), ".xdl64" (Windows)
/// or ".xlib" (macOS).
const char* NativeModuleExtension();

/// The opener and module file extension used where ModuleOptions names none. They start as
/// the platform's own (OpenNativeLibrary, NativeModuleExtension()); a harness that runs
/// another platform's modules (a test loader for Mach-O files, say) replaces them for the
/// whole process before loading anything. Not thread-safe: set once at start-up.
void SetDefaultModuleFormat(ModuleOpener opener, std::string extension);
const ModuleOpener& DefaultModuleOpener();
const std::string& DefaultModuleExtension();

}  // namespace host
