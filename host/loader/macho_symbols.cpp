// macho_symbols.cpp - the loader's symbol phases: refusing imports, collecting the
// initialisers and terminators, and reading the export trie.
#include "loader/macho_library.h"

#if !defined(_WIN32)

#include <set>
#include <utility>

#include "loader/macho_loader.h"

namespace host {

using namespace macho;

// Nothing may need a symbol from elsewhere: bind streams must hold no opcode at all
bool MachOLoader::CheckNoImports() {
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

// A code address must lie inside a segment that maps executable pages
bool MachOLoader::InExecutableSegment(uint64_t address) const {
  for (const Segment& s : segments_) {
    if (!(s.cmd.initprot & kVmProtExecute) || s.cmd.vmsize == 0) continue;
    const uint64_t begin = uint64_t(reinterpret_cast<uintptr_t>(mem_)) + (s.cmd.vmaddr - lowest_);
    if (address >= begin && address - begin < s.cmd.vmsize) return true;
  }
  return false;
}

// Initialisers and terminators; sections that need support this loader does not give
// are refused
bool MachOLoader::CollectInitializers() {
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
bool MachOLoader::ReadExports() {
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
    if (!seen.insert(node).second || !r.Seek(node) || !r.Uleb(&terminalSize))
      return Fail("malformed export trie");
    const size_t childrenAt = r.Offset() + terminalSize;
    if (terminalSize) {
      uint64_t flags = 0, address = 0;
      if (!r.Uleb(&flags) || !r.Uleb(&address)) return Fail("malformed export trie");
      if (flags & ~uint64_t(0x3)) return Fail("re-exported or resolver symbol " + prefix);
      if ((flags & 0x3) != 0) return Fail("thread-local or absolute symbol " + prefix);
      if (address >= image_->mappingSize) return Fail("export outside the image");
      // The host calls the entry: it must be code of this image
      if (prefix == "_c4d_main" &&
          !InExecutableSegment(reinterpret_cast<uintptr_t>(image_->header) + address))
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

}  // namespace host

#endif  // !_WIN32
