// Strings, file names, console and the counting allocator, through the C tables.
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "core/customdata.h"
#include "core/memory.h"
#include "test_support.h"

namespace hosttest {
namespace {

using TextTest = HostTest;
using MemoryTest = HostTest;

std::string PathOf(const C4DTextSuite1* text, C4DFilename* f) {
  C4DString* s = text->FilenameToString(f);
  size_t len = 0;
  const char* utf8 = text->StringUtf8(s, &len);
  std::string out(utf8, len);
  text->StringRelease(s);
  text->FilenameRelease(f);
  return out;
}

TEST_F(TextTest, StringsKeepTheirTextAndCountReferences) {
  C4DString* s = text->StringFromUtf8("hello world", 5);
  size_t len = 99;
  EXPECT_STREQ("hello", text->StringUtf8(s, &len));
  EXPECT_EQ(5u, len);
  text->StringRetain(s);
  text->StringRelease(s);
  EXPECT_STREQ("hello", text->StringUtf8(s, nullptr)) << "one reference is still held";
  text->StringRelease(s);

  const C4DString* empty = text->EmptyString();
  EXPECT_EQ(empty, text->EmptyString());
  text->StringRelease(const_cast<C4DString*>(empty));  // never destroyed
  EXPECT_STREQ("", text->StringUtf8(empty, &len));
  EXPECT_EQ(0u, len);
}

TEST_F(TextTest, FilenameOperations) {
  auto fn = [&](const char* p) {
    C4DString* s = Str(p);
    C4DFilename* f = text->FilenameFromString(s);
    text->StringRelease(s);
    return f;
  };
  struct Case {
    const char* in;
    const char* dir;
    const char* file;
    const char* noSuffix;
  };
  const Case cases[] = {
      {"a/b/c.png", "a/b", "c.png", "a/b/c"},
      {"a\\b\\c.tar.gz", "a/b", "c.tar.gz", "a/b/c.tar"},
      {"/res//icons/", "/res", "icons", "/res/icons"},
      {"/x.png", "/", "x.png", "/x"},
      {"C:\\plugins\\res", "C:/plugins", "res", "C:/plugins/res"},
      {"dir.d/.hidden", "dir.d", ".hidden", "dir.d/.hidden"},
      {"name", "", "name", "name"},
  };
  for (const Case& c : cases) {
    C4DFilename* f = fn(c.in);
    EXPECT_EQ(c.dir, PathOf(text, text->FilenameDirectory(f))) << c.in;
    EXPECT_EQ(c.file, PathOf(text, text->FilenameFile(f))) << c.in;
    EXPECT_EQ(c.noSuffix, PathOf(text, text->FilenameClearSuffix(f))) << c.in;
    text->FilenameRelease(f);
  }

  C4DFilename* dir = fn("plugins\\corvane\\");
  C4DFilename* name = fn("res/negative.png");
  EXPECT_EQ("plugins/corvane/res/negative.png", PathOf(text, text->FilenameJoin(dir, name)));
  EXPECT_EQ("plugins/corvane", PathOf(text, text->FilenameJoin(dir, nullptr))) << "null joins as empty";
  EXPECT_EQ("res/negative.png", PathOf(text, text->FilenameJoin(nullptr, name)));

  C4DFilename* same = fn("plugins/corvane");
  C4DFilename* empty = fn("");
  EXPECT_TRUE(text->FilenameEqual(dir, same)) << "separators and trailing slash are normalised";
  EXPECT_FALSE(text->FilenameEqual(dir, name));
  EXPECT_TRUE(text->FilenameEqual(nullptr, empty));
  EXPECT_TRUE(text->FilenameEqual(nullptr, nullptr));
  EXPECT_FALSE(text->FilenameEqual(nullptr, dir));
  EXPECT_TRUE(text->FilenameIsEmpty(empty));
  EXPECT_TRUE(text->FilenameIsEmpty(nullptr));
  EXPECT_FALSE(text->FilenameIsEmpty(dir));
  for (C4DFilename* f : {dir, name, same, empty}) text->FilenameRelease(f);
}

TEST_F(TextTest, PrintCollectsLines) {
  host::Console().Clear();
  C4DString* line = Str("Corvane: hello\n");
  text->Print(line);
  text->Print(nullptr);
  text->StringRelease(line);
  EXPECT_EQ((std::vector<std::string>{"Corvane: hello", ""}), host::Console().Lines());
}

TEST_F(MemoryTest, CountsAlignsAndReleases) {
  host::MemoryStats before = host::GetMemoryStats();
  void* a = mem->Alloc(100, 1);
  void* b = mem->Alloc(8, 64);
  ASSERT_NE(nullptr, a);
  ASSERT_NE(nullptr, b);
  EXPECT_EQ(0u, reinterpret_cast<uintptr_t>(a) % 16);
  EXPECT_EQ(0u, reinterpret_cast<uintptr_t>(b) % 64);
  host::MemoryStats during = host::GetMemoryStats();
  EXPECT_EQ(before.liveBlocks + 2, during.liveBlocks);
  EXPECT_EQ(before.liveBytes + 108, during.liveBytes);
  EXPECT_EQ(before.totalAllocations + 2, during.totalAllocations);
  mem->Free(a);
  mem->Free(b);
  mem->Free(nullptr);
  host::MemoryStats after = host::GetMemoryStats();
  EXPECT_EQ(before.liveBlocks, after.liveBlocks);
  EXPECT_EQ(before.liveBytes, after.liveBytes);
  EXPECT_EQ(nullptr, mem->Alloc(16, 24)) << "alignment must be a power of two";
  EXPECT_EQ(nullptr, mem->Alloc(SIZE_MAX - 8, 16)) << "size overflow";
}

TEST_F(MemoryTest, FaultInjectionFailsExactlyTheNextN) {
  host::FailNextAllocations(2);
  EXPECT_EQ(nullptr, mem->Alloc(16, 16));
  EXPECT_EQ(nullptr, mem->Alloc(16, 16));
  void* ok = mem->Alloc(16, 16);
  EXPECT_NE(nullptr, ok);
  mem->Free(ok);

  host::FailNextGradientAllocs(1);
  EXPECT_EQ(nullptr, cd->GradientAlloc());
  C4DGradient* g = cd->GradientAlloc();
  EXPECT_NE(nullptr, g);
  cd->GradientFree(g);
}

// Module allocation requests across the suites share one numbering: request n alone, or n
// and every later one, can be failed; texts and file names are counted while alive.
TEST_F(MemoryTest, ModuleAllocationRequestsFailByNumber) {
  const int64_t texts = host::LiveTexts();
  host::ResetModuleAllocationFaults();
  host::JournalModuleAllocations(true);
  host::FailModuleAllocation(2);
  void* block = mem->Alloc(16, 16);              // 1
  C4DGradient* gradient = cd->GradientAlloc();   // 2: fails
  C4DString* s = Str("res");                     // 3
  C4DFilename* f = text->FilenameFromString(s);  // 4
  EXPECT_NE(nullptr, block);
  EXPECT_EQ(nullptr, gradient);
  EXPECT_EQ(texts + 2, host::LiveTexts());
  EXPECT_EQ(4, host::ModuleAllocationRequests());
  EXPECT_EQ((std::vector<std::string>{"memory block", "gradient", "string \"res\"", "file name \"res\""}),
            host::ModuleAllocationJournal());
  host::JournalModuleAllocations(false);

  host::FailModuleAllocationsFrom(6);
  C4DFilename* joined = text->FilenameJoin(f, f);  // 5
  EXPECT_NE(nullptr, joined);
  EXPECT_EQ(nullptr, text->FilenameDirectory(joined));  // 6
  EXPECT_EQ(nullptr, mem->Alloc(16, 16));               // 7
  EXPECT_EQ(nullptr, render->AllocRayLight(nullptr, nullptr)) << "asked for, so counted";
  EXPECT_EQ(8, host::ModuleAllocationRequests());

  host::ResetModuleAllocationFaults();
  EXPECT_EQ(0, host::ModuleAllocationRequests());
  EXPECT_TRUE(host::ModuleAllocationJournal().empty());
  void* again = mem->Alloc(16, 16);
  EXPECT_NE(nullptr, again) << "a reset cancels the failures";
  for (void* p : {block, again}) mem->Free(p);
  for (C4DFilename* name : {f, joined}) text->FilenameRelease(name);
  text->StringRelease(s);
  EXPECT_EQ(texts, host::LiveTexts());
}

TEST_F(MemoryTest, CountersAreThreadSafe) {
  host::MemoryStats before = host::GetMemoryStats();
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([this] {
      for (int i = 0; i < 2000; ++i) mem->Free(mem->Alloc(static_cast<size_t>(i % 64), 16));
    });
  }
  for (auto& t : threads) t.join();
  host::MemoryStats after = host::GetMemoryStats();
  EXPECT_EQ(before.liveBlocks, after.liveBlocks);
  EXPECT_EQ(before.liveBytes, after.liveBytes);
  EXPECT_EQ(before.totalAllocations + 8000, after.totalAllocations);
}

}  // namespace
}  // namespace hosttest
