// macho_mapping.cpp - the loader's memory phases: mapping the segments, applying the rebase
// opcodes and setting each segment's protection.
#include "loader/macho_library.h"

#if !defined(_WIN32)

#include <sys/mman.h>

#include "loader/macho_loader.h"

namespace host {

using namespace macho;

// Map: reserve the whole range writable, copy the segments in
bool MachOLoader::Map() {
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

// Rebase: every pointer the linker wrote moves by the slide
bool MachOLoader::Rebase() {
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

// Protections as the segments ask; SG_READ_ONLY data becomes read-only after fixups.
// Code was written through the data cache: processors whose instruction cache does not
// follow it (arm64) must drop what they hold for those addresses first
bool MachOLoader::Protect() {
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

}  // namespace host

#endif  // !_WIN32
