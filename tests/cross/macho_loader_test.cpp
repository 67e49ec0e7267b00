// Tests of the host's Mach-O loader against the built universal macOS module, its two
// slices and damaged copies of them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "c4d_host_abi.h"
#include "loader/macho_library.h"

namespace host::test {
namespace {

std::vector<unsigned char> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

/// Writes bytes to a file of its own in the temporary folder; removed on destruction.
class TempFile {
 public:
  explicit TempFile(const std::vector<unsigned char>& bytes) {
    static int counter = 0;
    path = (std::filesystem::temp_directory_path() /
            ("corvane-macho-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".xlib"))
               .string();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  }
  ~TempFile() { std::filesystem::remove(path); }
  std::string path;
};

/// Offsets of the load commands in a Mach-O file (after the 32-byte header).
std::vector<size_t> LoadCommandOffsets(const std::vector<unsigned char>& file) {
  uint32_t ncmds = 0;
  std::memcpy(&ncmds, &file[16], 4);
  std::vector<size_t> offsets;
  size_t at = 32;
  for (uint32_t i = 0; i < ncmds; ++i) {
    offsets.push_back(at);
    uint32_t size = 0;
    std::memcpy(&size, &file[at + 4], 4);
    at += size;
  }
  return offsets;
}

uint32_t Read32(const std::vector<unsigned char>& file, size_t at) {
  uint32_t v;
  std::memcpy(&v, &file[at], 4);
  return v;
}
void Write32(std::vector<unsigned char>& file, size_t at, uint32_t v) { std::memcpy(&file[at], &v, 4); }

/// Offset of the LC_DYLD_INFO(_ONLY) command.
size_t DyldInfoOffset(const std::vector<unsigned char>& file) {
  for (size_t at : LoadCommandOffsets(file))
    if ((Read32(file, at) & 0x7fffffff) == 0x22) return at;
  return 0;
}

/// Protection letters ("r-xp") of the mapping in this process that holds address.
std::string Protection(const void* address) {
  std::ifstream maps("/proc/self/maps");
  std::string line;
  const auto a = reinterpret_cast<uintptr_t>(address);
  while (std::getline(maps, line)) {
    std::istringstream row(line);
    std::string range, perms;
    row >> range >> perms;
    const size_t dash = range.find('-');
    const uintptr_t lo = std::stoull(range.substr(0, dash), nullptr, 16);
    const uintptr_t hi = std::stoull(range.substr(dash + 1), nullptr, 16);
    if (a >= lo && a < hi) return perms;
  }
  return "";
}

constexpr uint32_t kX8664 = kMachOCpuTypeX8664, kArm64 = kMachOCpuTypeArm64;
// The processor this test runs on, and the other one a universal module is built for.
#if defined(__aarch64__)
constexpr uint32_t kThis = kArm64, kOther = kX8664;
const std::string kThisName = "arm64";
#else
constexpr uint32_t kThis = kX8664, kOther = kArm64;
const std::string kThisName = "x86-64";
#endif

class MachOLoaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    universal = ReadFile(CORVANE_MACOS_MODULE);
    ASSERT_GT(universal.size(), 4096u) << "the macOS module is not built: " << CORVANE_MACOS_MODULE;
    std::string error;
    ASSERT_TRUE(IsFatMachO(universal)) << CORVANE_MACOS_MODULE << " is not universal";
    ASSERT_TRUE(SelectFatSlice(universal, "universal", &module, &error)) << error;
    ASSERT_TRUE(SelectFatSlice(universal, "universal", &otherSlice, &error, kOther)) << error;
  }

  /// Loads a damaged copy and returns the loader's message (empty if it loaded). cpuType
  /// other than this processor's reads the image without running it.
  std::string LoadCopy(const std::vector<unsigned char>& bytes, uint32_t cpuType = 0) {
    TempFile file(bytes);
    std::string error;
    MachOLoadOptions options;
    options.cpuType = cpuType;
    options.runInitializers = cpuType == 0 || cpuType == kThis;
    auto image = MachOImage::Load(file.path, &error, options);
    if (image) return "";
    EXPECT_NE(error.find(file.path), std::string::npos) << "the message names the file: " << error;
    return error;
  }

  std::vector<unsigned char> universal;
  std::vector<unsigned char> module;      // the slice of this processor
  std::vector<unsigned char> otherSlice;  // the slice of the other processor
};

TEST_F(MachOLoaderTest, LoadsTheModuleWithItsExportsInitialisersAndProtections) {
  std::string error;
  auto image = MachOImage::Load(CORVANE_MACOS_MODULE, &error);
  ASSERT_TRUE(image) << error;

  std::vector<std::string> names;
  for (const auto& entry : image->Exports()) names.push_back(entry.first);
  EXPECT_EQ(names, (std::vector<std::string>{"_c4d_main", "_g_CpuYieldDelegate", "_g_maxon"}));

  // g_maxon is written by a static initialiser in this build
  const auto* info = static_cast<const C4DModuleInfo*>(image->Symbol("_g_maxon"));
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->version, C4D_MODULEINFO_VERSION);
  EXPECT_NE(info->units, nullptr);
  EXPECT_EQ(image->Symbol("_missing"), nullptr);

  // Code is executable and not writable; the record is writable and not executable
  const std::string code = Protection(image->Symbol("_c4d_main"));
  const std::string data = Protection(image->Symbol("_g_maxon"));
  EXPECT_EQ(code.substr(0, 3), "r-x");
  EXPECT_EQ(data.substr(0, 3), "rw-");

  auto entry = reinterpret_cast<C4DMainFunction>(image->Symbol("_c4d_main"));
  EXPECT_EQ(entry(C4D_ACTION_QUERY, nullptr, nullptr, nullptr), 5);
}

TEST_F(MachOLoaderTest, TheModuleLibraryAdapterAnswersPlainNames) {
  std::string error;
  auto library = OpenMachOLibrary(CORVANE_MACOS_MODULE, &error);
  ASSERT_TRUE(library) << error;
  EXPECT_NE(library->Symbol("c4d_main"), nullptr);
  EXPECT_NE(library->Symbol("g_maxon"), nullptr);
  EXPECT_NE(library->Symbol("g_CpuYieldDelegate"), nullptr);
  EXPECT_EQ(library->Symbol("_c4d_main"), nullptr);

  EXPECT_EQ(OpenMachOLibrary("/nonexistent/corvane.xlib", &error), nullptr);
  EXPECT_NE(error.find("cannot open"), std::string::npos) << error;
}

TEST_F(MachOLoaderTest, RefusesWhatNeedsADynamicLinker) {
  // A dependent library
  {
    std::vector<unsigned char> copy = module;
    const size_t uuid = [&] {
      for (size_t at : LoadCommandOffsets(copy))
        if (Read32(copy, at) == 0x1b /* LC_UUID */) return at;
      return size_t(0);
    }();
    ASSERT_NE(uuid, 0u);
    Write32(copy, uuid, 0xc /* LC_LOAD_DYLIB */);
    EXPECT_NE(LoadCopy(copy).find("LC_LOAD_DYLIB"), std::string::npos);
  }
  // Bind opcodes (an imported symbol): point the bind stream at the rebase opcodes
  {
    std::vector<unsigned char> copy = module;
    const size_t info = DyldInfoOffset(copy);
    ASSERT_NE(info, 0u);
    ASSERT_GT(Read32(copy, info + 12), 0u) << "the module has rebase opcodes";
    Write32(copy, info + 16, Read32(copy, info + 8));
    Write32(copy, info + 20, Read32(copy, info + 12));
    EXPECT_NE(LoadCopy(copy).find("bind"), std::string::npos);
  }
}

TEST_F(MachOLoaderTest, RefusesDamagedFilesWithoutCrashing) {
  std::vector<unsigned char> badMagic = module;
  badMagic[0] ^= 0xff;
  EXPECT_NE(LoadCopy(badMagic).find("not a 64-bit Mach-O"), std::string::npos);

  std::vector<unsigned char> header(module.begin(), module.begin() + 40);
  EXPECT_NE(LoadCopy(header), "");

  // Rebase opcodes naming a segment that does not exist
  std::vector<unsigned char> badRebase = module;
  const size_t info = DyldInfoOffset(badRebase);
  const uint32_t rebaseOff = Read32(badRebase, info + 8);
  const uint32_t rebaseSize = Read32(badRebase, info + 12);
  bool patched = false;
  for (uint32_t i = 0; i < rebaseSize && !patched; ++i) {
    if ((badRebase[rebaseOff + i] & 0xf0) == 0x20) {  // SET_SEGMENT_AND_OFFSET_ULEB
      badRebase[rebaseOff + i] = 0x2f;
      patched = true;
    }
  }
  ASSERT_TRUE(patched);
  EXPECT_NE(LoadCopy(badRebase).find("rebase"), std::string::npos);

  // Every truncation of the file is refused, none crashes the process
  for (size_t size = 0; size < module.size(); size += 509) {
    std::vector<unsigned char> cut(module.begin(), module.begin() + size);
    EXPECT_NE(LoadCopy(cut), "") << "a file cut at " << size << " bytes loaded";
  }
}

/// A universal file: a big-endian header, then each slice at a 4096-byte boundary.
std::vector<unsigned char> Fat(const std::vector<std::pair<uint32_t, std::vector<unsigned char>>>& slices) {
  std::vector<unsigned char> out;
  auto be32 = [&](uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<unsigned char>(v >> shift));
  };
  be32(0xcafebabe);
  be32(static_cast<uint32_t>(slices.size()));
  uint32_t offset = 4096;
  for (const auto& [cputype, bytes] : slices) {
    be32(cputype);
    be32(0);  // subtype
    be32(offset);
    be32(static_cast<uint32_t>(bytes.size()));
    be32(12);  // alignment 2^12
    offset += (static_cast<uint32_t>(bytes.size()) + 4095) / 4096 * 4096;
  }
  for (const auto& [cputype, bytes] : slices) {
    out.resize((out.size() + 4095) / 4096 * 4096);
    out.insert(out.end(), bytes.begin(), bytes.end());
  }
  return out;
}

TEST_F(MachOLoaderTest, UniversalFilesLoadTheSliceOfThisProcessor) {
  // This processor's slice after the other one (any bytes will do for a slice not read)
  const std::vector<unsigned char> other(5000, 0x5a);
  const std::vector<unsigned char> fat = Fat({{kOther, other}, {kThis, module}});
  std::string error;
  auto image = MachOImage::LoadFromMemory(fat, "universal.xlib", &error);
  ASSERT_NE(image, nullptr) << error;
  EXPECT_NE(image->Symbol("_c4d_main"), nullptr);
  EXPECT_NE(image->Symbol("_g_maxon"), nullptr);
  EXPECT_EQ(image->Exports().size(), 3u);

  // Refusals, each naming the file and the cause
  const std::pair<std::vector<unsigned char>, std::string> refused[] = {
      {Fat({{kOther, other}}), "universal.xlib: a macOS module without an " + kThisName + " slice (it holds " +
                                   (kOther == kArm64 ? "arm64" : "x86-64") + ")"},
      {Fat({{kOther, other}, {0x12, other}}), "without an " + kThisName + " slice (it holds " +
                                                  (kOther == kArm64 ? "arm64" : "x86-64") + ", CPU type 18)"},
      {std::vector<unsigned char>(fat.begin(), fat.begin() + 20), "truncated universal (fat) header"},
      {std::vector<unsigned char>(fat.begin(), fat.begin() + 4096 * 3 + 100), "slice 1 lies outside the file"},
      {Fat({{kThis, other}}), "not a 64-bit Mach-O file"},  // the slice is no Mach-O image
      {Fat({{kThis, Fat({{kThis, module}})}}), "a universal file inside a universal file"},
  };
  for (const auto& [bytes, why] : refused) {
    error.clear();
    EXPECT_EQ(MachOImage::LoadFromMemory(bytes, "universal.xlib", &error), nullptr) << why;
    EXPECT_NE(error.find(why), std::string::npos) << error;
  }
  // Two slices over the same bytes; a header that counts more slices than a universal
  // file has (a Java class file starts with the same magic)
  std::vector<unsigned char> overlapping = fat;
  overlapping[8 + 20 + 8] = overlapping[8 + 8];  // the second slice's offset = the first's
  overlapping[8 + 20 + 9] = overlapping[8 + 9];
  overlapping[8 + 20 + 10] = overlapping[8 + 10];
  overlapping[8 + 20 + 11] = overlapping[8 + 11];
  EXPECT_EQ(MachOImage::LoadFromMemory(overlapping, "universal.xlib", &error), nullptr);
  EXPECT_NE(error.find("slices 1 and 0 overlap"), std::string::npos) << error;
  std::vector<unsigned char> javaClass = {0xca, 0xfe, 0xba, 0xbe, 0x00, 0x00, 0x00, 0x34};
  javaClass.resize(64);
  EXPECT_EQ(MachOImage::LoadFromMemory(javaClass, "universal.xlib", &error), nullptr);
  EXPECT_NE(error.find("not a universal (fat) Mach-O file (52 slices)"), std::string::npos) << error;
  // Called directly, a header shorter than the magic is refused without reading past it
  std::vector<unsigned char> slice;
  EXPECT_FALSE(SelectFatSlice({0xca, 0xfe}, "short", &slice, &error));
  EXPECT_EQ(error, "short: truncated universal (fat) header");
}

TEST_F(MachOLoaderTest, TheOtherProcessorsSliceIsReadButNeverRun) {
  // Read, fixed up and checked like this processor's slice: the same three exports
  MachOLoadOptions options;
  options.cpuType = kOther;
  options.runInitializers = false;
  std::string error;
  auto image = MachOImage::LoadFromMemory(universal, "universal.xlib", &error, options);
  ASSERT_NE(image, nullptr) << error;
  EXPECT_EQ(image->Exports().size(), 3u);
  EXPECT_NE(image->Symbol("_g_CpuYieldDelegate"), nullptr);
  EXPECT_GT(image->InitializerCount(), 0);
  // Running its code is refused before anything is read
  options.runInitializers = true;
  EXPECT_EQ(MachOImage::LoadFromMemory(otherSlice, "other.xlib", &error, options), nullptr);
  EXPECT_NE(error.find("only read, never run"), std::string::npos) << error;
  // A thin image of the other processor, opened as a module of this host, is refused
  EXPECT_NE(LoadCopy(otherSlice).find("not an " + kThisName + " binary"), std::string::npos);
}

/// Offset in file of the first section header of the first segment that has sections.
size_t FirstSectionOffset(const std::vector<unsigned char>& file) {
  for (size_t at : LoadCommandOffsets(file))
    if (Read32(file, at) == 0x19 /* LC_SEGMENT_64 */ && Read32(file, at + 64) > 0) return at + 72;
  return 0;
}

TEST_F(MachOLoaderTest, FixupsTheLoaderDoesNotApplyAreRefusedOnEitherProcessor) {
  for (const auto& [slice, cpuType] : {std::pair{module, kThis}, std::pair{otherSlice, kOther}}) {
    SCOPED_TRACE(cpuType == kArm64 ? "arm64 slice" : "x86-64 slice");
    ASSERT_EQ(LoadCopy(slice, cpuType), "") << "the slice loads as built";
    // A relocation entry in a section (an object file's, or one of an unknown type)
    std::vector<unsigned char> relocated = slice;
    const size_t section = FirstSectionOffset(relocated);
    ASSERT_NE(section, 0u);
    Write32(relocated, section + 60 /* nreloc */, 1);
    EXPECT_NE(LoadCopy(relocated, cpuType).find("has 1 relocation entries"), std::string::npos);
    // Classic local relocations in the dynamic symbol table
    std::vector<unsigned char> classic = slice;
    bool patched = false;
    for (size_t at : LoadCommandOffsets(classic))
      if (Read32(classic, at) == 0xb /* LC_DYSYMTAB */) {
        Write32(classic, at + 76 /* nlocrel */, 2);
        patched = true;
      }
    ASSERT_TRUE(patched);
    EXPECT_NE(LoadCopy(classic, cpuType).find("has 2 classic relocation entries"), std::string::npos);
    // A rebase of a type other than a plain pointer (a 32-bit text fixup)
    std::vector<unsigned char> typed = slice;
    const size_t info = DyldInfoOffset(typed);
    const uint32_t rebaseOff = Read32(typed, info + 8);
    ASSERT_EQ(typed[rebaseOff] & 0xf0, 0x10) << "rebase opcodes start by setting the type";
    typed[rebaseOff] = 0x12;
    EXPECT_NE(LoadCopy(typed, cpuType).find("rebase of type 2 (only pointers are supported)"), std::string::npos);
  }
}

/// File offset of the first pointer in the module's __mod_init_func section, and the
/// address of a segment that is not executable (0 when the file has none).
struct InitSlot {
  size_t fileOffset = 0;
  uint64_t dataAddress = 0;
};
InitSlot FindInitSlot(const std::vector<unsigned char>& file) {
  InitSlot slot;
  for (size_t at : LoadCommandOffsets(file)) {
    if (Read32(file, at) != 0x19 /* LC_SEGMENT_64 */) continue;
    int32_t initprot = 0;
    uint64_t vmaddr = 0;
    std::memcpy(&vmaddr, &file[at + 24], 8);
    std::memcpy(&initprot, &file[at + 60], 4);
    if (!(initprot & 4) && slot.dataAddress == 0 && vmaddr != 0) slot.dataAddress = vmaddr;
    const uint32_t nsects = Read32(file, at + 64);
    for (uint32_t i = 0; i < nsects; ++i) {
      const size_t sect = at + 72 + size_t(i) * 80;
      if ((Read32(file, sect + 64) & 0xff) == 0x9 /* S_MOD_INIT_FUNC_POINTERS */)
        slot.fileOffset = Read32(file, sect + 48);
    }
  }
  return slot;
}

TEST_F(MachOLoaderTest, InitialisersOutsideTheCodeAreRefusedBeforeAnythingRuns) {
  InitSlot slot = FindInitSlot(module);
  ASSERT_NE(slot.fileOffset, 0u) << "the module has static initialisers";
  ASSERT_NE(slot.dataAddress, 0u);
  std::vector<unsigned char> copy = module;
  std::memcpy(&copy[slot.fileOffset], &slot.dataAddress, 8);
  EXPECT_NE(LoadCopy(copy).find("initialiser points outside the code"), std::string::npos);
}

// Regression (found by fuzz_macho): a segment that maps no memory but claims file bytes
// was copied into the image unchecked.
TEST_F(MachOLoaderTest, ASegmentWithoutMemoryMayNotClaimFileBytes) {
  std::vector<unsigned char> copy = module;
  size_t last = 0;
  for (size_t at : LoadCommandOffsets(copy))
    if (Read32(copy, at) == 0x19 /* LC_SEGMENT_64 */) last = at;
  ASSERT_NE(last, 0u);
  const uint64_t zero = 0, huge = uint64_t(copy.size()) * 4;
  std::memcpy(&copy[last + 32], &zero, 8);  // vmsize
  std::memcpy(&copy[last + 48], &huge, 8);  // filesize
  EXPECT_NE(LoadCopy(copy).find("segment lies outside the file"), std::string::npos);
}

TEST_F(MachOLoaderTest, MapsWithoutRunningInitialisersWhenAsked) {
  std::string error;
  MachOLoadOptions options;
  options.runInitializers = false;
  auto image = MachOImage::LoadFromMemory(module, "corvane.xlib", &error, options);
  ASSERT_TRUE(image) << error;
  EXPECT_GT(image->InitializerCount(), 0);
  // The unit list is built by the initialisers, and one of them writes the version: the
  // record still holds its initial data, all zero
  const auto* info = static_cast<const C4DModuleInfo*>(image->Symbol("_g_maxon"));
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->units, nullptr);
  EXPECT_EQ(info->version, 0) << "g_maxon's version is initial data, not written by an initialiser";
}

TEST_F(MachOLoaderTest, TheHostOpenerPicksTheMachOLoaderByContents) {
  // Named like a Linux module, it is still a Mach-O file
  std::vector<unsigned char> copy = module;
  TempFile file(copy);
  const std::string renamed = file.path + ".xso64";
  std::filesystem::copy_file(file.path, renamed);
  std::string error;
  auto library = OpenModuleLibrary(renamed, &error);
  ASSERT_TRUE(library) << error;
  EXPECT_STREQ(library->LoaderName(), "Mach-O loader");
  EXPECT_NE(library->Symbol("c4d_main"), nullptr);
  library.reset();
  std::filesystem::remove(renamed);
}

}  // namespace
}  // namespace host::test
