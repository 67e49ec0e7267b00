// macho_loader.h - a test-only loader for x86-64 Mach-O dynamic libraries on Linux.
//
// Linux and macOS x86-64 share the System V calling convention, so a Mach-O library that
// imports nothing can run in a Linux process once it is laid out in memory. The loader
// maps the segments with their protections, applies the rebase opcodes, refuses anything
// that needs a dynamic linker (dependent libraries, bind opcodes, chained fixups,
// thread-local data, resolver or re-exported symbols), runs the static initialisers from
// __mod_init_func and looks symbols up in the export trie.
//
// It proves the module's code and layout, not Apple's loader or code signing.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "loader/module_library.h"

namespace host::test {

/// One Mach-O library mapped into this process. Not copyable; unmapped on destruction
/// (after its termination functions, if it has any, ran in reverse order).
class MachOImage {
 public:
  /// Maps and initialises the library at path. Returns null and sets *error (if given)
  /// to a message naming the file and the cause when the file is not a loadable x86-64
  /// Mach-O dylib without imports.
  static std::unique_ptr<MachOImage> Load(const std::string& path, std::string* error);

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

/// ModuleOpener for the host's module loader: opens a Mach-O library with MachOImage and
/// answers plain C names (Symbol("g_maxon") finds "_g_maxon").
std::unique_ptr<ModuleLibrary> OpenMachOLibrary(const std::string& path, std::string* error);

}  // namespace host::test
