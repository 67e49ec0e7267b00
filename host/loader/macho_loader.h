// macho_loader.h - what the phases of the Mach-O loader share: the format's structures and
// constants, a bounded byte reader and the MachOLoader that carries one load from the file
// to the initialised image. Private to host/loader; POSIX only, as macho_library.h says.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "loader/macho_library.h"

namespace host {
namespace macho {

// The few Mach-O structures and constants the loader reads (layout as in the format).
constexpr uint32_t kMagic64 = 0xfeedfacf;
constexpr uint32_t kCpuTypeX8664 = kMachOCpuTypeX8664;
constexpr uint32_t kCpuTypeArm64 = kMachOCpuTypeArm64;
constexpr uint32_t kFileTypeDylib = 6;

#if defined(__aarch64__)
constexpr uint32_t kHostCpuType = kCpuTypeArm64;
#else
constexpr uint32_t kHostCpuType = kCpuTypeX8664;
#endif

constexpr uint32_t kLcReqDyld = 0x80000000;
constexpr uint32_t kLcSegment64 = 0x19;
constexpr uint32_t kLcDysymtab = 0xb;
constexpr uint32_t kLcDyldInfo = 0x22;
constexpr uint32_t kLcDyldInfoOnly = 0x22 | kLcReqDyld;
constexpr uint32_t kLcDyldExportsTrie = 0x33 | kLcReqDyld;
constexpr uint32_t kLcDyldChainedFixups = 0x34 | kLcReqDyld;
// Commands that make the library depend on another one.
constexpr uint32_t kDylibCommands[] = {0xc /* LOAD_DYLIB */, 0x18 | kLcReqDyld /* LOAD_WEAK_DYLIB */,
                                       0x1f | kLcReqDyld /* REEXPORT_DYLIB */, 0x20 /* LAZY_LOAD_DYLIB */,
                                       0x23 | kLcReqDyld /* LOAD_UPWARD_DYLIB */};

constexpr uint32_t kSectionTypeMask = 0xff;
constexpr uint32_t kModInitFuncPointers = 0x9;
constexpr uint32_t kModTermFuncPointers = 0xa;
constexpr uint32_t kInitFuncOffsets = 0x16;
constexpr uint32_t kFirstThreadLocalType = 0x11;  // THREAD_LOCAL_REGULAR .. _INIT_FUNCTION_POINTERS
constexpr uint32_t kLastThreadLocalType = 0x15;
constexpr uint32_t kSegReadOnly = 0x10;  // SG_READ_ONLY: read-only once fixups are applied

constexpr int kVmProtRead = 1, kVmProtWrite = 2, kVmProtExecute = 4;

struct MachHeader64 {
  uint32_t magic, cputype, cpusubtype, filetype, ncmds, sizeofcmds, flags, reserved;
};
struct LoadCommand {
  uint32_t cmd, cmdsize;
};
struct SegmentCommand64 {
  uint32_t cmd, cmdsize;
  char segname[16];
  uint64_t vmaddr, vmsize, fileoff, filesize;
  int32_t maxprot, initprot;
  uint32_t nsects, flags;
};
struct Section64 {
  char sectname[16], segname[16];
  uint64_t addr, size;
  uint32_t offset, align, reloff, nreloc, flags, reserved1, reserved2, reserved3;
};
struct DyldInfoCommand {
  uint32_t cmd, cmdsize;
  uint32_t rebaseOff, rebaseSize, bindOff, bindSize, weakBindOff, weakBindSize;
  uint32_t lazyBindOff, lazyBindSize, exportOff, exportSize;
};
struct DysymtabCommand {
  uint32_t cmd, cmdsize;
  uint32_t ilocalsym, nlocalsym, iextdefsym, nextdefsym, iundefsym, nundefsym;
  uint32_t tocoff, ntoc, modtaboff, nmodtab, extrefsymoff, nextrefsyms;
  uint32_t indirectsymoff, nindirectsyms, extreloff, nextrel, locreloff, nlocrel;
};
struct LinkeditDataCommand {
  uint32_t cmd, cmdsize, dataoff, datasize;
};

/// A segment command with its sections.
struct Segment {
  SegmentCommand64 cmd;
  std::vector<Section64> sections;
};

/// Reads ULEB128 numbers and C strings from a byte range, failing instead of overrunning.
class ByteReader {
 public:
  ByteReader(const unsigned char* begin, size_t size) : p(begin), end(begin + size), start(begin) {}
  bool AtEnd() const { return p >= end; }
  size_t Offset() const { return size_t(p - start); }
  bool Seek(uint64_t offset) {
    if (offset > uint64_t(end - start)) return false;
    p = start + offset;
    return true;
  }
  bool Byte(uint8_t* out) {
    if (p >= end) return false;
    *out = *p++;
    return true;
  }
  bool Uleb(uint64_t* out) {
    uint64_t value = 0;
    for (int shift = 0; shift < 64; shift += 7) {
      uint8_t b;
      if (!Byte(&b)) return false;
      value |= uint64_t(b & 0x7f) << shift;
      if (!(b & 0x80)) {
        *out = value;
        return true;
      }
    }
    return false;
  }
  bool CString(std::string* out) {
    const unsigned char* nul = static_cast<const unsigned char*>(std::memchr(p, 0, size_t(end - p)));
    if (!nul) return false;
    out->assign(reinterpret_cast<const char*>(p), size_t(nul - p));
    p = nul + 1;
    return true;
  }

 private:
  const unsigned char* p;
  const unsigned char* end;
  const unsigned char* start;
};

/// The processor a load asks for (0: this host's), and its name for messages.
uint32_t WantedCpuType(uint32_t cpuType);
std::string WantedArchName(uint32_t cpuType);

}  // namespace macho

/// One load of a Mach-O image: each phase checks what it reads and sets the error on a
/// refusal. The phases run in order, and no code of the file runs before the last one.
/// Phases, by file: the header and load commands (macho_headers.cpp); mapping, rebasing
/// and protecting the segments (macho_mapping.cpp); imports, initialisers and exports
/// (macho_symbols.cpp).
class MachOLoader {
 public:
  MachOLoader(const std::vector<unsigned char>& file, const std::string& path, std::string* error)
      : file_(file), path_(path), error_(error) {}

  std::unique_ptr<MachOImage> Load(const MachOLoadOptions& options);

 private:
  bool Fail(const std::string& cause) {
    if (error_) *error_ = path_ + ": " + cause;
    return false;
  }
  bool FileRange(uint64_t off, uint64_t size) const {
    return off <= file_.size() && size <= file_.size() - off;
  }

  // Reading and checking the file
  bool ReadHeader();
  bool ReadLoadCommands();
  bool ReadSegment(const macho::LoadCommand& lc, size_t at);
  bool FindAddressRange();
  // Mapping and fixups
  bool Map();
  bool Rebase();
  bool Protect();
  // Imports, code addresses and symbols
  bool CheckNoImports();
  bool InExecutableSegment(uint64_t address) const;
  bool CollectInitializers();
  bool ReadExports();

  const std::vector<unsigned char>& file_;
  const std::string& path_;
  std::string* error_;

  uint32_t cpuType_ = macho::kHostCpuType;
  macho::MachHeader64 mh_{};
  std::vector<macho::Segment> segments_;
  macho::DyldInfoCommand dyldInfo_{};
  macho::LinkeditDataCommand exportsTrie_{};
  long pageSize_ = 4096;
  uint64_t lowest_ = UINT64_MAX, highest_ = 0;
  const macho::Segment* headerSegment_ = nullptr;
  std::unique_ptr<MachOImage> image_;
  unsigned char* mem_ = nullptr;
  uint64_t slide_ = 0;
  std::vector<void (*)()> initializers_, terminators_;
};

}  // namespace host
