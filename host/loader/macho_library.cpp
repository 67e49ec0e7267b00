// macho_library.cpp - see macho_library.h.
#include "loader/macho_library.h"

// Mapping needs mmap; the Windows host refuses Mach-O files before they reach a loader.
#if !defined(_WIN32)

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <vector>

namespace host {
namespace {

// The few Mach-O structures and constants the loader reads (layout as in the format).
constexpr uint32_t kMagic64 = 0xfeedfacf;
constexpr uint32_t kCpuTypeX8664 = kMachOCpuTypeX8664;
constexpr uint32_t kFileTypeDylib = 6;

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

struct Segment {
  SegmentCommand64 cmd;
  std::vector<Section64> sections;
};

std::unique_ptr<MachOImage> Fail(std::string* error, const std::string& path, const std::string& cause) {
  if (error) *error = path + ": " + cause;
  return nullptr;
}

}  // namespace

std::unique_ptr<MachOImage> MachOImage::Load(const std::string& path, std::string* error,
                                             const MachOLoadOptions& options) {
  std::error_code ec;
  const std::filesystem::path file(std::u8string(path.begin(), path.end()));
  const uint64_t size = std::filesystem::file_size(file, ec);
  if (ec) return Fail(error, path, "cannot open the file");
  if (size > kMaxMachOFileSize)
    return Fail(error, path, "file is too large for a module (" + std::to_string(size) + " bytes)");
  std::ifstream in(file, std::ios::binary);
  if (!in) return Fail(error, path, "cannot open the file");
  std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return LoadFromMemory(bytes, path, error, options);
}

namespace {

constexpr uint32_t kFatMagic = 0xcafebabe, kFatMagic64 = 0xcafebabf;  // big-endian
constexpr uint32_t kCpuTypeArm64 = kMachOCpuTypeArm64;
constexpr uint32_t kMaxFatSlices = 16;  // more is no universal binary (a Java class, say)

#if defined(__aarch64__)
constexpr uint32_t kHostCpuType = kCpuTypeArm64;
#else
constexpr uint32_t kHostCpuType = kCpuTypeX8664;
#endif

uint32_t BigEndian32(const unsigned char* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}
uint64_t BigEndian64(const unsigned char* p) { return uint64_t(BigEndian32(p)) << 32 | BigEndian32(p + 4); }

const char* ArchName(uint32_t cputype) {
  switch (cputype) {
    case kCpuTypeX8664:
      return "x86-64";
    case kCpuTypeArm64:
      return "arm64";
    default:
      return nullptr;
  }
}

// The processor a load asks for (0: this host's), and its name for messages.
uint32_t WantedCpuType(uint32_t cpuType) { return cpuType ? cpuType : kHostCpuType; }
std::string WantedArchName(uint32_t cpuType) {
  const char* name = ArchName(WantedCpuType(cpuType));
  return name ? name : "CPU type " + std::to_string(cpuType);
}

}  // namespace

bool IsFatMachO(const std::vector<unsigned char>& file) {
  if (file.size() < 4) return false;
  const uint32_t magic = BigEndian32(file.data());
  return magic == kFatMagic || magic == kFatMagic64;
}

bool SelectFatSlice(const std::vector<unsigned char>& file, const std::string& path, std::vector<unsigned char>* slice,
                    std::string* error, uint32_t cpuType) {
  auto fail = [&](const std::string& cause) {
    if (error) *error = path + ": " + cause;
    return false;
  };
  const bool wide = BigEndian32(file.data()) == kFatMagic64;
  const size_t entrySize = wide ? 32 : 20;
  if (file.size() < 8) return fail("truncated universal (fat) header");
  const uint32_t count = BigEndian32(file.data() + 4);
  if (count == 0 || count > kMaxFatSlices)
    return fail("not a universal (fat) Mach-O file (" + std::to_string(count) + " slices)");
  if ((file.size() - 8) / entrySize < count) return fail("truncated universal (fat) header");
  struct Slice {
    uint32_t cputype;
    uint64_t offset, size;
  };
  std::vector<Slice> slices;
  for (uint32_t i = 0; i < count; ++i) {
    const unsigned char* e = file.data() + 8 + i * entrySize;
    Slice s{BigEndian32(e), wide ? BigEndian64(e + 8) : BigEndian32(e + 8),
            wide ? BigEndian64(e + 16) : BigEndian32(e + 12)};
    if (s.offset < 8 + uint64_t(count) * entrySize || s.offset > file.size() || s.size > file.size() - s.offset)
      return fail("slice " + std::to_string(i) + " lies outside the file");
    for (const Slice& other : slices)
      if (s.offset < other.offset + other.size && other.offset < s.offset + s.size)
        return fail("slices " + std::to_string(slices.size()) + " and " + std::to_string(&other - slices.data()) +
                    " overlap");
    slices.push_back(s);
  }
  for (const Slice& s : slices) {
    if (s.cputype != WantedCpuType(cpuType)) continue;
    slice->assign(file.begin() + std::ptrdiff_t(s.offset), file.begin() + std::ptrdiff_t(s.offset + s.size));
    return true;
  }
  std::string present;
  for (const Slice& s : slices) {
    const char* name = ArchName(s.cputype);
    present += (present.empty() ? "" : ", ") + (name ? std::string(name) : "CPU type " + std::to_string(s.cputype));
  }
  return fail("a macOS module without an " + WantedArchName(cpuType) + " slice (it holds " + present + ")");
}

/// One load of a Mach-O image: each phase checks what it reads and sets the error on a
/// refusal. The phases run in order, and no code of the file runs before the last one.
class MachOLoader {
 public:
  MachOLoader(const std::vector<unsigned char>& file, const std::string& path, std::string* error)
      : file_(file), path_(path), error_(error) {}

  std::unique_ptr<MachOImage> Load(const MachOLoadOptions& options) {
    cpuType_ = WantedCpuType(options.cpuType);
    if (cpuType_ != kHostCpuType && options.runInitializers) {
      Fail("an image of another processor is only read, never run");
      return nullptr;
    }
    if (!ReadHeader() || !ReadLoadCommands() || !FindAddressRange() || !Map() || !CheckNoImports() ||
        !Rebase() || !CollectInitializers() || !ReadExports() || !Protect())
      return nullptr;
    // Static initialisers, in the order the linker laid them out; only now, with every
    // check passed, does any code of the file run
    image_->initializerCount = int(initializers_.size());
    if (!options.runInitializers) return std::move(image_);
    for (auto fn : initializers_) fn();
    image_->terminators = std::move(terminators_);
    return std::move(image_);
  }

 private:
  bool Fail(const std::string& cause) {
    if (error_) *error_ = path_ + ": " + cause;
    return false;
  }
  bool FileRange(uint64_t off, uint64_t size) const { return off <= file_.size() && size <= file_.size() - off; }

  // Header: a 64-bit dylib for this host's processor
  bool ReadHeader() {
    if (file_.size() < sizeof mh_) return Fail("too short for a Mach-O header");
    std::memcpy(&mh_, file_.data(), sizeof mh_);
    if (mh_.magic != kMagic64) return Fail("not a 64-bit Mach-O file");
    if (mh_.cputype != cpuType_) return Fail("not an " + WantedArchName(cpuType_) + " binary");
    if (mh_.filetype != kFileTypeDylib) return Fail("not a dynamic library");
    if (!FileRange(sizeof mh_, mh_.sizeofcmds)) return Fail("load commands run past the end");
    return true;
  }

  // Load commands: segments, dyld info, the export trie; anything that needs a dynamic
  // linker is refused here
  bool ReadLoadCommands() {
    size_t at = sizeof mh_;
    const size_t commandsEnd = sizeof mh_ + mh_.sizeofcmds;
    for (uint32_t i = 0; i < mh_.ncmds; ++i) {
      LoadCommand lc;
      if (commandsEnd - at < sizeof lc) return Fail("truncated load command");
      std::memcpy(&lc, &file_[at], sizeof lc);
      if (lc.cmdsize < sizeof lc || lc.cmdsize > commandsEnd - at) return Fail("bad load command size");
      for (uint32_t dylibCmd : kDylibCommands)
        if (lc.cmd == dylibCmd) return Fail("depends on another library (LC_LOAD_DYLIB)");
      if (lc.cmd == kLcDyldChainedFixups) return Fail("uses chained fixups");
      if (lc.cmd == kLcSegment64) {
        Segment seg;
        if (lc.cmdsize < sizeof seg.cmd) return Fail("truncated segment command");
        std::memcpy(&seg.cmd, &file_[at], sizeof seg.cmd);
        if (uint64_t(seg.cmd.nsects) * sizeof(Section64) > lc.cmdsize - sizeof seg.cmd)
          return Fail("truncated section list");
        seg.sections.resize(seg.cmd.nsects);
        if (seg.cmd.nsects)
          std::memcpy(seg.sections.data(), &file_[at + sizeof seg.cmd], seg.cmd.nsects * sizeof(Section64));
        // A linked library keeps its fixups in the rebase stream; relocation entries
        // (an object file's, or a processor's this loader does not know) are not applied
        for (const Section64& sect : seg.sections)
          if (sect.nreloc)
            return Fail("section " + std::string(sect.sectname, strnlen(sect.sectname, sizeof sect.sectname)) +
                        " has " + std::to_string(sect.nreloc) + " relocation entries (not a linked library)");
        segments_.push_back(seg);
      } else if (lc.cmd == kLcDyldInfo || lc.cmd == kLcDyldInfoOnly) {
        if (lc.cmdsize < sizeof dyldInfo_) return Fail("truncated dyld info");
        std::memcpy(&dyldInfo_, &file_[at], sizeof dyldInfo_);
      } else if (lc.cmd == kLcDysymtab) {
        DysymtabCommand dysymtab;
        if (lc.cmdsize < sizeof dysymtab) return Fail("truncated dynamic symbol table command");
        std::memcpy(&dysymtab, &file_[at], sizeof dysymtab);
        if (dysymtab.nextrel || dysymtab.nlocrel)
          return Fail("has " + std::to_string(uint64_t(dysymtab.nextrel) + dysymtab.nlocrel) +
                      " classic relocation entries (only rebase opcodes are applied)");
      } else if (lc.cmd == kLcDyldExportsTrie) {
        if (lc.cmdsize < sizeof exportsTrie_) return Fail("truncated exports trie command");
        std::memcpy(&exportsTrie_, &file_[at], sizeof exportsTrie_);
      }
      at += lc.cmdsize;
    }
    if (segments_.empty()) return Fail("no segments");
    return true;
  }

  // Address range of the image; the header lives in the segment that maps file offset 0
  bool FindAddressRange() {
    pageSize_ = sysconf(_SC_PAGESIZE);
    for (const Segment& s : segments_) {
      // Checked for every segment, also those that map nothing: no byte of the file may be
      // copied past its segment's memory
      if (s.cmd.filesize > s.cmd.vmsize || !FileRange(s.cmd.fileoff, s.cmd.filesize))
        return Fail("segment lies outside the file");
      if (s.cmd.vmsize == 0) continue;
      if (s.cmd.vmaddr % pageSize_ || s.cmd.fileoff % pageSize_) return Fail("segment is not page aligned");
      if (s.cmd.vmaddr + s.cmd.vmsize < s.cmd.vmaddr) return Fail("segment wraps around");
      lowest_ = std::min(lowest_, s.cmd.vmaddr);
      highest_ = std::max(highest_, s.cmd.vmaddr + s.cmd.vmsize);
      if (s.cmd.fileoff == 0 && s.cmd.filesize > 0) headerSegment_ = &s;
    }
    if (!headerSegment_ || highest_ - lowest_ > (uint64_t(1) << 32))
      return Fail("no segment maps the header, or the image is too large");
    return true;
  }

  // Map: reserve the whole range writable, copy the segments in
  bool Map() {
    image_.reset(new MachOImage);
    image_->mappingSize = size_t(highest_ - lowest_);
    void* base = mmap(nullptr, image_->mappingSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) return Fail("cannot reserve memory");
    image_->mapping = base;
    mem_ = static_cast<unsigned char*>(base);
    for (const Segment& s : segments_)
      if (s.cmd.vmsize && s.cmd.filesize)
        std::memcpy(mem_ + (s.cmd.vmaddr - lowest_), &file_[s.cmd.fileoff], s.cmd.filesize);
    image_->header = mem_ + (headerSegment_->cmd.vmaddr - lowest_);
    slide_ = uint64_t(reinterpret_cast<uintptr_t>(mem_)) - lowest_;
    return true;
  }

  // Nothing may need a symbol from elsewhere: bind streams must hold no opcode at all
  bool CheckNoImports() {
    auto streamIsEmpty = [&](uint32_t off, uint32_t size) {
      if (!FileRange(off, size)) return false;
      for (uint32_t i = 0; i < size; ++i)
        if (file_[off + i] != 0) return false;
      return true;
    };
    if (!streamIsEmpty(dyldInfo_.bindOff, dyldInfo_.bindSize) ||
        !streamIsEmpty(dyldInfo_.weakBindOff, dyldInfo_.weakBindSize) ||
        !streamIsEmpty(dyldInfo_.lazyBindOff, dyldInfo_.lazyBindSize))
      return Fail("has bind opcodes (imports symbols)");
    return true;
  }

  // Rebase: every pointer the linker wrote moves by the slide
  bool Rebase() {
    if (!FileRange(dyldInfo_.rebaseOff, dyldInfo_.rebaseSize)) return Fail("bad rebase range");
    ByteReader r(&file_[0] + dyldInfo_.rebaseOff, dyldInfo_.rebaseSize);
    const Segment* seg = nullptr;
    uint64_t offset = 0;
    auto rebaseOne = [&]() {
      if (!seg || offset > seg->cmd.vmsize || seg->cmd.vmsize - offset < 8) return false;
      unsigned char* where = mem_ + (seg->cmd.vmaddr - lowest_) + offset;
      uint64_t value;
      std::memcpy(&value, where, 8);
      value += slide_;
      std::memcpy(where, &value, 8);
      offset += 8;
      return true;
    };
    bool done = false, ok = true;
    while (ok && !done && !r.AtEnd()) {
      uint8_t b;
      r.Byte(&b);
      const uint8_t imm = b & 0x0f;
      uint64_t a = 0, c = 0;
      switch (b & 0xf0) {
        case 0x00:  // DONE
          done = true;
          break;
        case 0x10:  // SET_TYPE_IMM: only plain pointers exist in a module's data
          if (imm != 1) return Fail("rebase of type " + std::to_string(imm) + " (only pointers are supported)");
          break;
        case 0x20:  // SET_SEGMENT_AND_OFFSET_ULEB
          ok = imm < segments_.size() && r.Uleb(&offset);
          seg = ok ? &segments_[imm] : nullptr;
          break;
        case 0x30:  // ADD_ADDR_ULEB
          ok = r.Uleb(&a);
          offset += a;
          break;
        case 0x40:  // ADD_ADDR_IMM_SCALED
          offset += uint64_t(imm) * 8;
          break;
        case 0x50:  // DO_REBASE_IMM_TIMES
          for (uint64_t i = 0; ok && i < imm; ++i) ok = rebaseOne();
          break;
        case 0x60:  // DO_REBASE_ULEB_TIMES
          ok = r.Uleb(&a) && a <= image_->mappingSize / 8;
          for (uint64_t i = 0; ok && i < a; ++i) ok = rebaseOne();
          break;
        case 0x70:  // DO_REBASE_ADD_ADDR_ULEB
          ok = rebaseOne() && r.Uleb(&a);
          offset += a;
          break;
        case 0x80:  // DO_REBASE_ULEB_TIMES_SKIPPING_ULEB
          ok = r.Uleb(&a) && r.Uleb(&c) && a <= image_->mappingSize / 8;
          for (uint64_t i = 0; ok && i < a; ++i) {
            ok = rebaseOne();
            offset += c;
          }
          break;
        default:
          ok = false;
      }
    }
    if (!ok) return Fail("malformed rebase opcodes");
    return true;
  }

  // A code address must lie inside a segment that maps executable pages
  bool InExecutableSegment(uint64_t address) const {
    for (const Segment& s : segments_) {
      if (!(s.cmd.initprot & kVmProtExecute) || s.cmd.vmsize == 0) continue;
      const uint64_t begin = uint64_t(reinterpret_cast<uintptr_t>(mem_)) + (s.cmd.vmaddr - lowest_);
      if (address >= begin && address - begin < s.cmd.vmsize) return true;
    }
    return false;
  }

  // Initialisers and terminators; sections that need support this loader does not give
  // are refused
  bool CollectInitializers() {
    for (const Segment& s : segments_) {
      for (const Section64& sect : s.sections) {
        const uint32_t type = sect.flags & kSectionTypeMask;
        if (type >= kFirstThreadLocalType && type <= kLastThreadLocalType) return Fail("has thread-local data");
        if (type != kModInitFuncPointers && type != kModTermFuncPointers && type != kInitFuncOffsets) continue;
        if (sect.addr < s.cmd.vmaddr || sect.size > s.cmd.vmsize ||
            sect.addr - s.cmd.vmaddr > s.cmd.vmsize - sect.size)
          return Fail("section lies outside its segment");
        const unsigned char* data = mem_ + (sect.addr - lowest_);
        const size_t entry = type == kInitFuncOffsets ? 4 : 8;
        for (uint64_t i = 0; i + entry <= sect.size; i += entry) {
          uint64_t target = 0;
          std::memcpy(&target, data + i, entry);
          // Offsets are relative to the header; pointers are already rebased
          if (type == kInitFuncOffsets) target += reinterpret_cast<uintptr_t>(image_->header);
          if (!InExecutableSegment(target)) return Fail("initialiser points outside the code");
          auto fn = reinterpret_cast<void (*)()>(target);
          (type == kModTermFuncPointers ? terminators_ : initializers_).push_back(fn);
        }
      }
    }
    return true;
  }

  // Export trie (depth-first, each node visited once so a malformed trie cannot loop)
  bool ReadExports() {
    const uint32_t trieOff = exportsTrie_.datasize ? exportsTrie_.dataoff : dyldInfo_.exportOff;
    const uint32_t trieSize = exportsTrie_.datasize ? exportsTrie_.datasize : dyldInfo_.exportSize;
    if (!FileRange(trieOff, trieSize)) return Fail("bad export trie range");
    if (!trieSize) return true;
    ByteReader r(&file_[0] + trieOff, trieSize);
    std::vector<std::pair<uint64_t, std::string>> pending{{0, ""}};
    std::set<uint64_t> seen;
    while (!pending.empty()) {
      auto [node, prefix] = pending.back();
      pending.pop_back();
      uint64_t terminalSize = 0;
      if (!seen.insert(node).second || !r.Seek(node) || !r.Uleb(&terminalSize)) return Fail("malformed export trie");
      const size_t childrenAt = r.Offset() + terminalSize;
      if (terminalSize) {
        uint64_t flags = 0, address = 0;
        if (!r.Uleb(&flags) || !r.Uleb(&address)) return Fail("malformed export trie");
        if (flags & ~uint64_t(0x3)) return Fail("re-exported or resolver symbol " + prefix);
        if ((flags & 0x3) != 0) return Fail("thread-local or absolute symbol " + prefix);
        if (address >= image_->mappingSize) return Fail("export outside the image");
        // The host calls the entry: it must be code of this image
        if (prefix == "_c4d_main" && !InExecutableSegment(reinterpret_cast<uintptr_t>(image_->header) + address))
          return Fail("_c4d_main does not lie in executable code");
        image_->exports[prefix] = address;
      }
      uint8_t children = 0;
      if (!r.Seek(childrenAt) || !r.Byte(&children)) return Fail("malformed export trie");
      for (uint8_t i = 0; i < children; ++i) {
        std::string edge;
        uint64_t child = 0;
        if (!r.CString(&edge) || !r.Uleb(&child)) return Fail("malformed export trie");
        pending.emplace_back(child, prefix + edge);
      }
    }
    return true;
  }

  // Protections as the segments ask; SG_READ_ONLY data becomes read-only after fixups.
  // Code was written through the data cache: processors whose instruction cache does not
  // follow it (arm64) must drop what they hold for those addresses first
  bool Protect() {
    for (const Segment& s : segments_) {
      if (s.cmd.vmsize == 0) continue;
      int prot = 0;
      if (s.cmd.initprot & kVmProtRead) prot |= PROT_READ;
      if ((s.cmd.initprot & kVmProtWrite) && !(s.cmd.flags & kSegReadOnly)) prot |= PROT_WRITE;
      if (s.cmd.initprot & kVmProtExecute) prot |= PROT_EXEC;
      const size_t size = size_t((s.cmd.vmsize + pageSize_ - 1) / pageSize_ * pageSize_);
      char* begin = reinterpret_cast<char*>(mem_ + (s.cmd.vmaddr - lowest_));
      if (prot & PROT_EXEC) __builtin___clear_cache(begin, begin + size);
      if (mprotect(begin, size, prot) != 0) return Fail("cannot set segment protection");
    }
    return true;
  }

  const std::vector<unsigned char>& file_;
  const std::string& path_;
  std::string* error_;

  uint32_t cpuType_ = kHostCpuType;
  MachHeader64 mh_{};
  std::vector<Segment> segments_;
  DyldInfoCommand dyldInfo_{};
  LinkeditDataCommand exportsTrie_{};
  long pageSize_ = 4096;
  uint64_t lowest_ = UINT64_MAX, highest_ = 0;
  const Segment* headerSegment_ = nullptr;
  std::unique_ptr<MachOImage> image_;
  unsigned char* mem_ = nullptr;
  uint64_t slide_ = 0;
  std::vector<void (*)()> initializers_, terminators_;
};

std::unique_ptr<MachOImage> MachOImage::LoadFromMemory(const std::vector<unsigned char>& file,
                                                       const std::string& path, std::string* error,
                                                       const MachOLoadOptions& options) {
  // A universal file: the slice of this host's processor, loaded as a file of its own
  if (IsFatMachO(file)) {
    std::vector<unsigned char> slice;
    if (!SelectFatSlice(file, path, &slice, error, options.cpuType)) return nullptr;
    if (IsFatMachO(slice)) return Fail(error, path, "a universal file inside a universal file");
    return MachOLoader(slice, path, error).Load(options);
  }
  return MachOLoader(file, path, error).Load(options);
}

MachOImage::~MachOImage() {
  for (auto it = terminators.rbegin(); it != terminators.rend(); ++it) (*it)();
  if (mapping) munmap(mapping, mappingSize);
}

namespace {

class MachOLibrary : public ModuleLibrary {
 public:
  explicit MachOLibrary(std::unique_ptr<MachOImage> loaded) : image(std::move(loaded)) {}
  void* Symbol(const char* name) override { return image->Symbol(std::string("_") + name); }
  const char* LoaderName() const override { return "Mach-O loader"; }

 private:
  std::unique_ptr<MachOImage> image;
};

}  // namespace

std::unique_ptr<ModuleLibrary> OpenMachOLibrary(const std::string& path, std::string* error) {
  std::string why;
  std::unique_ptr<MachOImage> image = MachOImage::Load(path, &why);
  if (!image) {
    // Module::Open names the file itself: hand back the cause alone
    if (error) *error = why.rfind(path + ": ", 0) == 0 ? why.substr(path.size() + 2) : why;
    return nullptr;
  }
  return std::make_unique<MachOLibrary>(std::move(image));
}

void* MachOImage::Symbol(const std::string& name) const {
  auto it = exports.find(name);
  if (it == exports.end()) return nullptr;
  return const_cast<unsigned char*>(header) + it->second;
}

}  // namespace host

#endif  // !_WIN32
