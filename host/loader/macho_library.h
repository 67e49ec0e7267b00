// macho_library.h - the host's loader for Mach-O modules (macOS builds) on Linux.
//
// Linux and macOS x86-64 share the System V calling convention, so a Mach-O library that
// imports nothing can run in a Linux process once it is laid out in memory. A universal
// ("fat") file is read for the slice of the processor the host runs on (x86-64 here; an
// arm64 build of the host takes the arm64 slice). The loader
// maps the segments with their protections, applies the rebase opcodes, refuses anything
// that needs a dynamic linker (dependent libraries, bind opcodes, chained fixups,
// thread-local data, resolver or re-exported symbols), runs the static initialisers from
// __mod_init_func and looks symbols up in the export trie.
//
// The file is outside input: every offset, size and count is checked against the file and
// the mapped image before it is used, and a file that fails any check is refused with the
// reason before any of its code runs. Initialisers and exported functions must lie in an
// executable segment. Files over kMaxMachOFileSize are refused unread.
//
// It runs the module's code and proves its layout, not Apple's loader or code signing.
// POSIX only (mmap); the Windows host refuses Mach-O files before they get here.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "loader/module_library.h"

namespace host {

/// Largest Mach-O file the loader reads.
constexpr uint64_t kMaxMachOFileSize = uint64_t(256) << 20;

/// How MachOImage maps a library.
struct MachOLoadOptions {
  /// False: map, fix up and check everything, but run no initialiser or terminator (the
  /// fuzzer maps arbitrary bytes this way).
  bool runInitializers = true;
  /// The processor whose image (or slice of a universal file) to load, as a Mach-O CPU
  /// type: 0 for the one this host runs on. Another processor's image is read and fixed
  /// up only with runInitializers false (the fuzzer and tests read arm64 images this way
  /// on an x86-64 host, and the other way round); its code is never run.
  uint32_t cpuType = 0;
};

/// Mach-O CPU types of the processors a module is built for.
constexpr uint32_t kMachOCpuTypeX8664 = 0x01000007;
constexpr uint32_t kMachOCpuTypeArm64 = 0x0100000c;

/// One Mach-O library mapped into this process. Not copyable; unmapped on destruction
/// (after its termination functions, if it has any, ran in reverse order).
class MachOImage {
  friend class MachOLoader;

 public:
  /// Maps and initialises the library at path. Returns null and sets *error (if given)
  /// to a message naming the file and the cause when the file is not a loadable x86-64
  /// Mach-O dylib without imports.
  static std::unique_ptr<MachOImage> Load(const std::string& path, std::string* error,
                                          const MachOLoadOptions& options = {});
  /// The same from bytes in memory; name stands for the file in messages.
  static std::unique_ptr<MachOImage> LoadFromMemory(const std::vector<unsigned char>& file,
                                                    const std::string& name, std::string* error,
                                                    const MachOLoadOptions& options = {});

  ~MachOImage();
  MachOImage(const MachOImage&) = delete;
  MachOImage& operator=(const MachOImage&) = delete;

  /// Address of the exported symbol `name` as written in the binary (with the leading
  /// underscore, e.g. "_c4d_main"); null when the export trie has no such entry.
  void* Symbol(const std::string& name) const;

  /// Every exported symbol and its offset from the Mach-O header.
  const std::map<std::string, uint64_t>& Exports() const { return exports; }

  /// Number of static initialisers that ran at load.
  int InitializerCount() const { return initializerCount; }

  /// Address of the mapped Mach-O header.
  const void* Header() const { return header; }

 private:
  MachOImage() = default;

  void* mapping = nullptr;
  size_t mappingSize = 0;
  const unsigned char* header = nullptr;
  std::map<std::string, uint64_t> exports;
  int initializerCount = 0;
  std::vector<void (*)()> terminators;
};

/// Whether file starts like a universal ("fat") Mach-O file, big-endian FAT_MAGIC or
/// FAT_MAGIC_64.
bool IsFatMachO(const std::vector<unsigned char>& file);
/// From a universal file, copies into *slice the slice of the processor cpuType (0: the
/// one this host runs on). False, with *error naming path and the cause, when the header is
/// truncated, a slice lies outside the file or overlaps another, or there is no slice for
/// that processor ("a macOS module without an x86-64 slice (it holds arm64)").
bool SelectFatSlice(const std::vector<unsigned char>& file, const std::string& path, std::vector<unsigned char>* slice,
                    std::string* error, uint32_t cpuType = 0);

/// ModuleOpener for the host's module loader: opens a Mach-O library with MachOImage and
/// answers plain C names (Symbol("g_maxon") finds "_g_maxon"). *error holds the cause
/// only (the loader adds the file name).
std::unique_ptr<ModuleLibrary> OpenMachOLibrary(const std::string& path, std::string* error);

}  // namespace host
