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
constexpr uint32_t kCpuTypeX8664 = 0x01000007;
constexpr uint32_t kFileTypeDylib = 6;

constexpr uint32_t kLcReqDyld = 0x80000000;
constexpr uint32_t kLcSegment64 = 0x19;
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

std::unique_ptr<MachOImage> MachOImage::LoadFromMemory(const std::vector<unsigned char>& file,
                                                       const std::string& path, std::string* error,
                                                       const MachOLoadOptions& options) {
  auto fileRange = [&](uint64_t off, uint64_t size) {
    return off <= file.size() && size <= file.size() - off;
  };

  // Header
  MachHeader64 mh;
  if (file.size() < sizeof mh) return Fail(error, path, "too short for a Mach-O header");
  std::memcpy(&mh, file.data(), sizeof mh);
  if (mh.magic != kMagic64) return Fail(error, path, "not a 64-bit Mach-O file");
  if (mh.cputype != kCpuTypeX8664) return Fail(error, path, "not an x86-64 binary");
  if (mh.filetype != kFileTypeDylib) return Fail(error, path, "not a dynamic library");
  if (!fileRange(sizeof mh, mh.sizeofcmds)) return Fail(error, path, "load commands run past the end");

  // Load commands
  std::vector<Segment> segments;
  DyldInfoCommand dyldInfo{};
  LinkeditDataCommand exportsTrie{};
  size_t at = sizeof mh;
  const size_t commandsEnd = sizeof mh + mh.sizeofcmds;
  for (uint32_t i = 0; i < mh.ncmds; ++i) {
    LoadCommand lc;
    if (commandsEnd - at < sizeof lc) return Fail(error, path, "truncated load command");
    std::memcpy(&lc, &file[at], sizeof lc);
    if (lc.cmdsize < sizeof lc || lc.cmdsize > commandsEnd - at)
      return Fail(error, path, "bad load command size");
    for (uint32_t dylibCmd : kDylibCommands)
      if (lc.cmd == dylibCmd) return Fail(error, path, "depends on another library (LC_LOAD_DYLIB)");
    if (lc.cmd == kLcDyldChainedFixups) return Fail(error, path, "uses chained fixups");
    if (lc.cmd == kLcSegment64) {
      Segment seg;
      if (lc.cmdsize < sizeof seg.cmd) return Fail(error, path, "truncated segment command");
      std::memcpy(&seg.cmd, &file[at], sizeof seg.cmd);
      if (uint64_t(seg.cmd.nsects) * sizeof(Section64) > lc.cmdsize - sizeof seg.cmd)
        return Fail(error, path, "truncated section list");
      seg.sections.resize(seg.cmd.nsects);
      if (seg.cmd.nsects)
        std::memcpy(seg.sections.data(), &file[at + sizeof seg.cmd], seg.cmd.nsects * sizeof(Section64));
      segments.push_back(seg);
    } else if (lc.cmd == kLcDyldInfo || lc.cmd == kLcDyldInfoOnly) {
      if (lc.cmdsize < sizeof dyldInfo) return Fail(error, path, "truncated dyld info");
      std::memcpy(&dyldInfo, &file[at], sizeof dyldInfo);
    } else if (lc.cmd == kLcDyldExportsTrie) {
      if (lc.cmdsize < sizeof exportsTrie) return Fail(error, path, "truncated exports trie command");
      std::memcpy(&exportsTrie, &file[at], sizeof exportsTrie);
    }
    at += lc.cmdsize;
  }
  if (segments.empty()) return Fail(error, path, "no segments");

  // Address range of the image; the header lives in the segment that maps file offset 0
  const long pageSize = sysconf(_SC_PAGESIZE);
  uint64_t lowest = UINT64_MAX, highest = 0;
  const Segment* headerSegment = nullptr;
  for (const Segment& s : segments) {
    // Checked for every segment, also those that map nothing: no byte of the file may be
    // copied past its segment's memory
    if (s.cmd.filesize > s.cmd.vmsize || !fileRange(s.cmd.fileoff, s.cmd.filesize))
      return Fail(error, path, "segment lies outside the file");
    if (s.cmd.vmsize == 0) continue;
    if (s.cmd.vmaddr % pageSize || s.cmd.fileoff % pageSize)
      return Fail(error, path, "segment is not page aligned");
    if (s.cmd.vmaddr + s.cmd.vmsize < s.cmd.vmaddr) return Fail(error, path, "segment wraps around");
    lowest = std::min(lowest, s.cmd.vmaddr);
    highest = std::max(highest, s.cmd.vmaddr + s.cmd.vmsize);
    if (s.cmd.fileoff == 0 && s.cmd.filesize > 0) headerSegment = &s;
  }
  if (!headerSegment || highest - lowest > (uint64_t(1) << 32))
    return Fail(error, path, "no segment maps the header, or the image is too large");

  // Map: reserve the whole range writable, copy the segments in
  std::unique_ptr<MachOImage> image(new MachOImage);
  image->mappingSize = size_t(highest - lowest);
  void* base = mmap(nullptr, image->mappingSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (base == MAP_FAILED) return Fail(error, path, "cannot reserve memory");
  image->mapping = base;
  unsigned char* const mem = static_cast<unsigned char*>(base);
  for (const Segment& s : segments)
    if (s.cmd.vmsize && s.cmd.filesize)
      std::memcpy(mem + (s.cmd.vmaddr - lowest), &file[s.cmd.fileoff], s.cmd.filesize);
  image->header = mem + (headerSegment->cmd.vmaddr - lowest);
  const uint64_t slide = uint64_t(reinterpret_cast<uintptr_t>(mem)) - lowest;

  // Nothing may need a symbol from elsewhere: bind streams must hold no opcode at all
  auto streamIsEmpty = [&](uint32_t off, uint32_t size) {
    if (!fileRange(off, size)) return false;
    for (uint32_t i = 0; i < size; ++i)
      if (file[off + i] != 0) return false;
    return true;
  };
  if (!streamIsEmpty(dyldInfo.bindOff, dyldInfo.bindSize) ||
      !streamIsEmpty(dyldInfo.weakBindOff, dyldInfo.weakBindSize) ||
      !streamIsEmpty(dyldInfo.lazyBindOff, dyldInfo.lazyBindSize))
    return Fail(error, path, "has bind opcodes (imports symbols)");

  // Rebase: every pointer the linker wrote moves by the slide
  if (!fileRange(dyldInfo.rebaseOff, dyldInfo.rebaseSize)) return Fail(error, path, "bad rebase range");
  {
    ByteReader r(&file[0] + dyldInfo.rebaseOff, dyldInfo.rebaseSize);
    const Segment* seg = nullptr;
    uint64_t offset = 0;
    auto rebaseOne = [&]() {
      if (!seg || offset > seg->cmd.vmsize || seg->cmd.vmsize - offset < 8) return false;
      unsigned char* where = mem + (seg->cmd.vmaddr - lowest) + offset;
      uint64_t value;
      std::memcpy(&value, where, 8);
      value += slide;
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
        case 0x10:  // SET_TYPE_IMM: only plain pointers exist on x86-64 data
          ok = imm == 1;
          break;
        case 0x20:  // SET_SEGMENT_AND_OFFSET_ULEB
          ok = imm < segments.size() && r.Uleb(&offset);
          seg = ok ? &segments[imm] : nullptr;
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
          ok = r.Uleb(&a) && a <= image->mappingSize / 8;
          for (uint64_t i = 0; ok && i < a; ++i) ok = rebaseOne();
          break;
        case 0x70:  // DO_REBASE_ADD_ADDR_ULEB
          ok = rebaseOne() && r.Uleb(&a);
          offset += a;
          break;
        case 0x80:  // DO_REBASE_ULEB_TIMES_SKIPPING_ULEB
          ok = r.Uleb(&a) && r.Uleb(&c) && a <= image->mappingSize / 8;
          for (uint64_t i = 0; ok && i < a; ++i) {
            ok = rebaseOne();
            offset += c;
          }
          break;
        default:
          ok = false;
      }
    }
    if (!ok) return Fail(error, path, "malformed rebase opcodes");
  }

  // Sections that need support this loader does not give
  // A code address must lie inside a segment that maps executable pages
  auto inExecutableSegment = [&](uint64_t address) {
    for (const Segment& s : segments) {
      if (!(s.cmd.initprot & kVmProtExecute) || s.cmd.vmsize == 0) continue;
      const uint64_t begin = uint64_t(reinterpret_cast<uintptr_t>(mem)) + (s.cmd.vmaddr - lowest);
      if (address >= begin && address - begin < s.cmd.vmsize) return true;
    }
    return false;
  };
  std::vector<void (*)()> initializers, terminators;
  for (const Segment& s : segments) {
    for (const Section64& sect : s.sections) {
      const uint32_t type = sect.flags & kSectionTypeMask;
      if (type >= kFirstThreadLocalType && type <= kLastThreadLocalType)
        return Fail(error, path, "has thread-local data");
      if (type != kModInitFuncPointers && type != kModTermFuncPointers && type != kInitFuncOffsets) continue;
      if (sect.addr < s.cmd.vmaddr || sect.size > s.cmd.vmsize ||
          sect.addr - s.cmd.vmaddr > s.cmd.vmsize - sect.size)
        return Fail(error, path, "section lies outside its segment");
      const unsigned char* data = mem + (sect.addr - lowest);
      const size_t entry = type == kInitFuncOffsets ? 4 : 8;
      for (uint64_t i = 0; i + entry <= sect.size; i += entry) {
        uint64_t target = 0;
        std::memcpy(&target, data + i, entry);
        // Offsets are relative to the header; pointers are already rebased
        if (type == kInitFuncOffsets) target += reinterpret_cast<uintptr_t>(image->header);
        if (!inExecutableSegment(target)) return Fail(error, path, "initialiser points outside the code");
        auto fn = reinterpret_cast<void (*)()>(target);
        (type == kModTermFuncPointers ? terminators : initializers).push_back(fn);
      }
    }
  }

  // Export trie (depth-first, each node visited once so a malformed trie cannot loop)
  const uint32_t trieOff = exportsTrie.datasize ? exportsTrie.dataoff : dyldInfo.exportOff;
  const uint32_t trieSize = exportsTrie.datasize ? exportsTrie.datasize : dyldInfo.exportSize;
  if (!fileRange(trieOff, trieSize)) return Fail(error, path, "bad export trie range");
  if (trieSize) {
    ByteReader r(&file[0] + trieOff, trieSize);
    std::vector<std::pair<uint64_t, std::string>> pending{{0, ""}};
    std::set<uint64_t> seen;
    while (!pending.empty()) {
      auto [node, prefix] = pending.back();
      pending.pop_back();
      uint64_t terminalSize = 0;
      if (!seen.insert(node).second || !r.Seek(node) || !r.Uleb(&terminalSize))
        return Fail(error, path, "malformed export trie");
      const size_t childrenAt = r.Offset() + terminalSize;
      if (terminalSize) {
        uint64_t flags = 0, address = 0;
        if (!r.Uleb(&flags) || !r.Uleb(&address)) return Fail(error, path, "malformed export trie");
        if (flags & ~uint64_t(0x3)) return Fail(error, path, "re-exported or resolver symbol " + prefix);
        if ((flags & 0x3) != 0) return Fail(error, path, "thread-local or absolute symbol " + prefix);
        if (address >= image->mappingSize) return Fail(error, path, "export outside the image");
        // The host calls the entry: it must be code of this image
        if (prefix == "_c4d_main" &&
            !inExecutableSegment(reinterpret_cast<uintptr_t>(image->header) + address))
          return Fail(error, path, "_c4d_main does not lie in executable code");
        image->exports[prefix] = address;
      }
      uint8_t children = 0;
      if (!r.Seek(childrenAt) || !r.Byte(&children)) return Fail(error, path, "malformed export trie");
      for (uint8_t i = 0; i < children; ++i) {
        std::string edge;
        uint64_t child = 0;
        if (!r.CString(&edge) || !r.Uleb(&child)) return Fail(error, path, "malformed export trie");
        pending.emplace_back(child, prefix + edge);
      }
    }
  }

  // Protections as the segments ask; SG_READ_ONLY data becomes read-only after fixups
  for (const Segment& s : segments) {
    if (s.cmd.vmsize == 0) continue;
    int prot = 0;
    if (s.cmd.initprot & kVmProtRead) prot |= PROT_READ;
    if ((s.cmd.initprot & kVmProtWrite) && !(s.cmd.flags & kSegReadOnly)) prot |= PROT_WRITE;
    if (s.cmd.initprot & kVmProtExecute) prot |= PROT_EXEC;
    const size_t size = size_t((s.cmd.vmsize + pageSize - 1) / pageSize * pageSize);
    if (mprotect(mem + (s.cmd.vmaddr - lowest), size, prot) != 0)
      return Fail(error, path, "cannot set segment protection");
  }

  // Static initialisers, in the order the linker laid them out; only now, with every
  // check passed, does any code of the file run
  image->initializerCount = int(initializers.size());
  if (!options.runInitializers) return image;
  for (auto fn : initializers) fn();
  image->terminators = std::move(terminators);
  return image;
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
