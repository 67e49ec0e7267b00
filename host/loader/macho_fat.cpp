// macho_fat.cpp - universal ("fat") Mach-O files: recognising them and choosing the slice of
// one processor; also the processors' names that the loader's messages use.
#include "loader/macho_library.h"

// Mapping needs mmap; the Windows host refuses Mach-O files before they reach a loader.
#if !defined(_WIN32)

#include "loader/macho_loader.h"

namespace host {
namespace macho {
namespace {

constexpr uint32_t kFatMagic = 0xcafebabe, kFatMagic64 = 0xcafebabf;  // big-endian
constexpr uint32_t kMaxFatSlices = 16;  // more is no universal binary (a Java class, say)

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

}  // namespace

uint32_t WantedCpuType(uint32_t cpuType) { return cpuType ? cpuType : kHostCpuType; }
std::string WantedArchName(uint32_t cpuType) {
  const char* name = ArchName(WantedCpuType(cpuType));
  return name ? name : "CPU type " + std::to_string(cpuType);
}

}  // namespace macho

using namespace macho;

bool IsFatMachO(const std::vector<unsigned char>& file) {
  if (file.size() < 4) return false;
  const uint32_t magic = BigEndian32(file.data());
  return magic == kFatMagic || magic == kFatMagic64;
}

bool SelectFatSlice(const std::vector<unsigned char>& file, const std::string& path,
                    std::vector<unsigned char>* slice, std::string* error, uint32_t cpuType) {
  auto fail = [&](const std::string& cause) {
    if (error) *error = path + ": " + cause;
    return false;
  };
  // The size first: the function is public, and a caller may not have asked IsFatMachO
  if (file.size() < 8) return fail("truncated universal (fat) header");
  const bool wide = BigEndian32(file.data()) == kFatMagic64;
  const size_t entrySize = wide ? 32 : 20;
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
    if (s.offset < 8 + uint64_t(count) * entrySize || s.offset > file.size() ||
        s.size > file.size() - s.offset)
      return fail("slice " + std::to_string(i) + " lies outside the file");
    for (const Slice& other : slices)
      if (s.offset < other.offset + other.size && other.offset < s.offset + s.size)
        return fail("slices " + std::to_string(slices.size()) + " and " +
                    std::to_string(&other - slices.data()) + " overlap");
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
    present +=
        (present.empty() ? "" : ", ") + (name ? std::string(name) : "CPU type " + std::to_string(s.cputype));
  }
  return fail("a macOS module without an " + WantedArchName(cpuType) + " slice (it holds " + present + ")");
}

}  // namespace host

#endif  // !_WIN32
