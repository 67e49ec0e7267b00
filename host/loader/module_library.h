// module_library.h - how the host opens a module file and finds its exported symbols.
//
// The loader only needs "open this file" and "address of this export"; everything else
// (dlopen, LoadLibraryW, the Mach-O loader for macOS builds) hides behind ModuleLibrary.
//
// Which loader opens a file follows from its contents, never from its name: the Linux host
// opens ELF files with dlopen and x86-64 Mach-O files (macOS builds) with its own Mach-O
// loader; the Windows host opens PE files with LoadLibraryW. Every other file is refused
// with one line that says what the file is and what this host loads.
#pragma once

#include <cstddef>
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
  /// Which loader mapped the file ("dlopen", "LoadLibraryW", "Mach-O loader", ...).
  virtual const char* LoaderName() const { return "custom opener"; }
};

/// The kinds of binary the host tells apart by their first bytes.
enum class BinaryFormat { kUnknown, kElf, kPe, kMachO64, kMachOFat, kMachOOther };

/// The format of the file's first bytes (kUnknown when it is too short or none of them).
BinaryFormat SniffBinaryFormat(const unsigned char* bytes, size_t size);
/// The format of the file at path (UTF-8); kUnknown when it cannot be read.
BinaryFormat SniffBinaryFile(const std::string& path);
/// "ELF (Linux)", "PE (Windows)", "Mach-O (macOS)", ...
const char* BinaryFormatName(BinaryFormat format);

/// Opens the file at path (UTF-8). Null with *error set to the cause when it cannot.
using ModuleOpener =
    std::function<std::unique_ptr<ModuleLibrary>(const std::string& path, std::string* error)>;

/// The platform's own loader: dlopen(RTLD_NOW | RTLD_LOCAL) or LoadLibraryW.
std::unique_ptr<ModuleLibrary> OpenNativeLibrary(const std::string& path, std::string* error);

/// The host's opener: looks at the file's format and hands it to the loader for it
/// (OpenNativeLibrary, or OpenMachOLibrary on Linux), or refuses it with a cause that
/// names the format found and the formats this host loads.
std::unique_ptr<ModuleLibrary> OpenModuleLibrary(const std::string& path, std::string* error);

/// Whether the file at path (UTF-8) is a module built with Maxon's own SDK, its frameworks
/// compiled in, rather than on this host's SDK layer: an ELF file that names shared libraries
/// to load (a module of the SDK layer is freestanding and names none) and holds the error
/// class names that Maxon's core framework compiles into every module. Such a module talks
/// to Cinema 4D's own interfaces, so no call into it can be served here. Read without loading
/// the file; false for every other format (no Windows or macOS module of Maxon's SDK is built here).
bool IsMaxonSdkModule(const std::string& path);

/// Why such a module is refused, after its file name: "was built with Maxon's SDK; ...".
extern const char* const kMaxonSdkModuleRefusal;

/// Whether extension (with its dot, as std::filesystem::path::extension gives it) is the
/// module extension of any platform: ".xso64", ".xdl64" or ".xlib", in any case.
bool IsModuleExtension(std::string extension);

/// The file extension of modules on this platform: ".xso64" (Linux), ".xdl64" (Windows)
/// or ".xlib" (macOS).
const char* NativeModuleExtension();

/// The opener and module file extension used where ModuleOptions names none. They start as
/// OpenModuleLibrary and NativeModuleExtension(); a test harness that runs another
/// platform's modules sets the extension its module copies get. Not thread-safe: set once
/// at start-up.
void SetDefaultModuleFormat(ModuleOpener opener, std::string extension);
const ModuleOpener& DefaultModuleOpener();
const std::string& DefaultModuleExtension();

}  // namespace host
