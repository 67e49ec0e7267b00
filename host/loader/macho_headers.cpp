// macho_headers.cpp - the loader's first phases: the Mach-O header, the load commands and
// the image's address range, each checked against the file before anything is mapped.
#include "loader/macho_library.h"

#if !defined(_WIN32)

#include <unistd.h>

#include <algorithm>

#include "loader/macho_loader.h"

namespace host {

using namespace macho;

// Header: a 64-bit dylib for this host's processor
bool MachOLoader::ReadHeader() {
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
bool MachOLoader::ReadLoadCommands() {
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
      if (!ReadSegment(lc, at)) return false;
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

// One LC_SEGMENT_64 at file offset `at`, with its sections
bool MachOLoader::ReadSegment(const LoadCommand& lc, size_t at) {
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
  return true;
}

// Address range of the image; the header lives in the segment that maps file offset 0
bool MachOLoader::FindAddressRange() {
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

}  // namespace host

#endif  // !_WIN32
