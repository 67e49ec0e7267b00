// Module loader: refusing files that are not modules, reading unit records, the lifecycle
// and the raw entry, against small fixture libraries.
#include "loader/loader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "core/console.h"
#include "core/host.h"
#include "core/memory.h"
#include "core/suites.h"
#include "interface/host_interface.h"
#include "module_fixture.h"

namespace host {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::string Ext() { return DefaultModuleExtension(); }

std::string Joined(const std::vector<std::string>& lines) {
  std::string all;
  for (const std::string& l : lines) all += l + "\n";
  return all;
}

// Calls recorded by the fixture module (see fixtures/fixture_module.c).
std::vector<int32_t> Calls(Module& m) {
  std::vector<int32_t> calls;
  int32_t n = m.CallMain(1000);
  for (int32_t i = 0; i < n; ++i) calls.push_back(m.CallMain(1001 + i));
  return calls;
}

class LoaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Console().SetEcho(false);
    Console().Clear();
  }
  void TearDown() override { Console().SetEcho(true); }
};

TEST_F(LoaderTest, RefusesFilesThatAreNotModules) {
  test::TempFolder folder;
  folder.Write("plugins/text" + Ext(), "just some text\n");
  folder.Copy(LOADER_FIXTURE_MODULE, "plugins/a/good" + Ext());
  folder.Copy(LOADER_FIXTURE_NOMAIN, "plugins/b/nomain" + Ext());
  folder.Copy(LOADER_FIXTURE_NOMAXON, "plugins/b/nomaxon" + Ext());
  folder.Copy(LOADER_FIXTURE_BADVERSION, "plugins/c/badversion" + Ext());
  folder.Copy(LOADER_FIXTURE_MODULE, "plugins/ignored.so");
  {
    // A real library cut in half
    auto size = std::filesystem::file_size(LOADER_FIXTURE_MODULE);
    folder.Copy(LOADER_FIXTURE_MODULE, "plugins/d/truncated" + Ext());
    std::filesystem::resize_file(folder.Join("plugins/d/truncated" + Ext()), size / 2);
  }

  Host hostSession;
  PluginsFolder loaded = LoadPluginsFolder(folder.Join("plugins"));
  ASSERT_EQ(loaded.modules.size(), 1u) << loaded.modules.back()->Path();
  EXPECT_EQ(loaded.modules[0]->Path(), folder.Join("plugins/a/good" + Ext()));
  ASSERT_EQ(loaded.refused.size(), 5u);
  std::map<std::string, std::string> reasons;
  for (const RefusedModule& r : loaded.refused)
    reasons[std::filesystem::path(r.path).stem().string()] = r.reason;
  EXPECT_THAT(reasons["text"], HasSubstr("not a loadable module"));
  EXPECT_THAT(reasons["truncated"], HasSubstr("not a loadable module"));
  EXPECT_THAT(reasons["nomain"], HasSubstr("not a module: no c4d_main export"));
  EXPECT_THAT(reasons["nomaxon"], HasSubstr("not a module: no g_maxon export"));
  EXPECT_THAT(reasons["badversion"], HasSubstr("g_maxon version is 23003, expected 23004"));
  // Each refusal is on the console with the file's path
  std::string console = Joined(Console().Lines());
  EXPECT_THAT(console,
              HasSubstr("Refused module " + folder.Join("plugins/c/badversion" + Ext()) + ": g_maxon"));
  EXPECT_THAT(console,
              HasSubstr("Refused module " + folder.Join("plugins/text" + Ext()) + ": not a loadable"));

  std::string error;
  EXPECT_EQ(Module::Open(folder.Join("nothing" + Ext()), {}, &error), nullptr);
  EXPECT_THAT(error, HasSubstr("no such file"));
  EXPECT_TRUE(LoadPluginsFolder(folder.Join("no-folder")).modules.empty());
}

TEST(BinaryFormat, IsToldFromTheFirstBytes) {
  auto sniff = [](std::string bytes) {
    return SniffBinaryFormat(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  };
  EXPECT_EQ(sniff(std::string("\177ELF\002", 5)), BinaryFormat::kElf);
  EXPECT_EQ(sniff("MZ\x90"), BinaryFormat::kPe);
  EXPECT_EQ(sniff(std::string("\xcf\xfa\xed\xfe", 4)), BinaryFormat::kMachO64);
  EXPECT_EQ(sniff(std::string("\xca\xfe\xba\xbe", 4)), BinaryFormat::kMachOFat);  // universal
  EXPECT_EQ(sniff(std::string("\xca\xfe\xba\xbf", 4)), BinaryFormat::kMachOFat);  // universal, 64-bit offsets
  EXPECT_EQ(sniff(std::string("\xce\xfa\xed\xfe", 4)), BinaryFormat::kMachOOther);  // 32-bit
  EXPECT_EQ(sniff("\177EL"), BinaryFormat::kUnknown);
  EXPECT_EQ(sniff(""), BinaryFormat::kUnknown);
  EXPECT_EQ(sniff("#!/bin/sh"), BinaryFormat::kUnknown);
}

// Module files of every platform's extension are looked at; the loader follows from their
// contents, and a foreign binary is refused with what it is and what this host loads.
TEST_F(LoaderTest, ForeignBinariesBesideAGoodModuleAreRefusedOneLineEach) {
  test::TempFolder folder;
  folder.Copy(LOADER_FIXTURE_MODULE, "plugins/a/good" + Ext());
  const std::string zeros(64, '\0');
  folder.Write("plugins/b/windows.xdl64", "MZ" + zeros);
  folder.Write("plugins/b/linux.xso64", std::string("\177ELF") + zeros);
  folder.Write("plugins/b/macos.xlib", std::string("\xcf\xfa\xed\xfe", 4) + zeros);
  // A universal file with one slice, for arm64 (big-endian: count, then CPU type, subtype,
  // offset 28, size 36, alignment).
  folder.Write("plugins/b/universal.xlib", std::string("\xca\xfe\xba\xbe\0\0\0\1\1\0\0\x0c\0\0\0\0"
                                                       "\0\0\0\x1c\0\0\0\x24\0\0\0\0", 28) +
                                               std::string(36, '\0'));
  folder.Write("plugins/b/readme.txt", "MZ" + zeros);  // not a module file name: not looked at
  Host hostSession;
  PluginsFolder loaded = LoadPluginsFolder(folder.Join("plugins"));
  ASSERT_EQ(loaded.modules.size(), 1u);
  ASSERT_EQ(loaded.refused.size(), 4u);
  std::map<std::string, std::string> reasons;
  for (const RefusedModule& r : loaded.refused)
    reasons[std::filesystem::path(r.path).filename().string()] = r.reason;
#if defined(_WIN32)
  EXPECT_THAT(reasons["linux.xso64"], HasSubstr("an ELF (Linux) binary; this Windows host loads PE"));
  EXPECT_THAT(reasons["macos.xlib"], HasSubstr("a 64-bit Mach-O (macOS) binary; this Windows host loads PE"));
  EXPECT_THAT(reasons["windows.xdl64"], HasSubstr("not a loadable module"));  // LoadLibraryW says why
#else
  EXPECT_THAT(reasons["windows.xdl64"], HasSubstr("a PE (Windows) binary; this Linux host loads ELF"));
  EXPECT_THAT(reasons["macos.xlib"], HasSubstr("not a loadable module"));  // the Mach-O loader says why
  EXPECT_THAT(reasons["linux.xso64"], HasSubstr("not a loadable module"));
#endif
#if defined(_WIN32)
  EXPECT_THAT(reasons["universal.xlib"], HasSubstr("a universal (fat) Mach-O (macOS) binary; this Windows host"));
#else
  EXPECT_THAT(reasons["universal.xlib"], HasSubstr("a macOS module without an x86-64 slice (it holds arm64)"));
#endif
  // One console line per refused file
  for (const RefusedModule& r : loaded.refused) {
    int lines = 0;
    for (const std::string& line : Console().Lines()) lines += line.find(r.path) != std::string::npos;
    EXPECT_EQ(lines, 1) << r.path;
  }
}

#ifdef __linux__
// A module built with Maxon's own SDK is refused before it is opened (opening it would run
// its constructor, which ends this process), with one line naming the file; a module that
// loads the C library without Maxon's frameworks is not taken for one.
TEST_F(LoaderTest, AModuleOfMaxonsSdkIsRefusedUnopened) {
  EXPECT_TRUE(IsMaxonSdkModule(LOADER_FIXTURE_MAXON_SDK));
  EXPECT_FALSE(IsMaxonSdkModule(LOADER_FIXTURE_MODULE));
  EXPECT_FALSE(IsMaxonSdkModule("/nonexistent/module.xso64"));

  test::TempFolder folder;
  folder.Copy(LOADER_FIXTURE_MAXON_SDK, "plugins/a/maxon" + Ext());
  folder.Copy(LOADER_FIXTURE_MODULE, "plugins/b/good" + Ext());
  Host hostSession;
  PluginsFolder loaded = LoadPluginsFolder(folder.Join("plugins"));
  ASSERT_EQ(loaded.modules.size(), 1u);
  ASSERT_EQ(loaded.refused.size(), 1u);
  EXPECT_TRUE(loaded.refused[0].builtWithMaxonSdk);
  EXPECT_THAT(loaded.refused[0].reason, HasSubstr("maxon" + Ext() + ": " + kMaxonSdkModuleRefusal));
  EXPECT_THAT(Joined(Console().Lines()), HasSubstr("Refused module " + loaded.refused[0].path + ": was built with "
                                                   "Maxon's SDK; corvane-host runs modules built on its own SDK layer"));

  // The mark is found where it spans two of the pieces the file is read in: the fixture
  // with its own mark blotted out, padded to just under a piece.
  std::ifstream in(LOADER_FIXTURE_MAXON_SDK, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const size_t own = bytes.find("net.maxon.error.");
  ASSERT_NE(own, std::string::npos);
  bytes[own] = 'N';
  ASSERT_LT(bytes.size(), (size_t(1) << 20) - 5);
  bytes.resize((size_t(1) << 20) - 5, '\0');
  folder.Write("spanning" + Ext(), bytes + "net.maxon.error.io");
  EXPECT_TRUE(IsMaxonSdkModule(folder.Join("spanning" + Ext())));
  folder.Write("cut" + Ext(), bytes + "net.maxon.erro");
  EXPECT_FALSE(IsMaxonSdkModule(folder.Join("cut" + Ext())));
}
#endif

// A plug-in folder as shipped: the module for every platform beside one res/. This
// platform's file is loaded and the others are skipped with a line each, so nothing is
// registered twice; a file of another platform with no own-platform twin is still opened.
TEST_F(LoaderTest, AShippedFolderLoadsOnlyThisPlatformsModule) {
  test::TempFolder folder;
  const std::string zeros(64, '\0');
  const std::string foreign[] = {".xso64", ".xdl64", ".xlib"};
  folder.Copy(LOADER_FIXTURE_MODULE, "plugins/shipped/good" + Ext());
  for (const std::string& ext : foreign)
    if (ext != Ext()) folder.Write("plugins/shipped/good" + ext, "MZ" + zeros);
  folder.Write("plugins/shipped/other" + std::string(Ext() == ".xlib" ? ".xdl64" : ".xlib"), "MZ" + zeros);
  Host hostSession;
  PluginsFolder loaded = LoadPluginsFolder(folder.Join("plugins"));
  ASSERT_EQ(loaded.modules.size(), 1u);
  ASSERT_EQ(loaded.refused.size(), 1u);
  EXPECT_THAT(loaded.refused[0].path, HasSubstr("/other."));
  int skipped = 0;
  for (const std::string& line : Console().Lines())
    if (line.starts_with("Skipped module ")) {
      ++skipped;
      EXPECT_THAT(line, HasSubstr("good" + Ext() + " beside it is the same module for this platform"));
    }
  EXPECT_EQ(skipped, 2);
  // Named extension: exactly the files that end so, with no twin rule.
  const std::string other = Ext() == ".xdl64" ? ".xso64" : ".xdl64";
  EXPECT_THAT(ListModuleFiles(folder.Join("plugins"), ModuleOptions{.extension = other}),
              ::testing::Contains(HasSubstr("good" + other)));
}

TEST_F(LoaderTest, ReadsUnitRecordsAndGuardsAgainstCycles) {
  test::ModuleSandbox sandbox(LOADER_FIXTURE_MODULE, "");
  std::unique_ptr<Module> m = sandbox.Open();
  ASSERT_NE(m, nullptr) << sandbox.LastError();
  const ModuleIdentity& id = m->Identity();
  EXPECT_EQ(id.identifier, "net.example.fixture");
  EXPECT_THAT(id.dependencies, ElementsAre("net.example.first.framework", "net.example.second.framework"));
  ASSERT_EQ(id.units.size(), 2u);
  EXPECT_EQ(id.units[0].name, "register.cpp");
  EXPECT_EQ(id.units[1].name, "main.cpp");
  ASSERT_EQ(id.units[1].declarations.size(), 2u);
  EXPECT_EQ(id.units[1].declarations[1].framework, "net.example.second.framework");
  EXPECT_EQ(id.units[1].declarations[1].name, "Other");
  EXPECT_TRUE(id.problems.empty());

  test::ModuleSandbox cyclic(LOADER_FIXTURE_CYCLIC, "");
  std::unique_ptr<Module> c = cyclic.Open();
  ASSERT_NE(c, nullptr) << cyclic.LastError();
  EXPECT_EQ(c->Identity().identifier, "net.example.fixture");
  ASSERT_FALSE(c->Identity().problems.empty());
  EXPECT_THAT(Joined(c->Identity().problems), HasSubstr("unit list longer than"));
  EXPECT_THAT(Joined(c->Identity().problems), HasSubstr("second module identifier"));

  EXPECT_TRUE(ReadModuleIdentity(nullptr).units.empty());
}

TEST_F(LoaderTest, DrivesLifecycleAndEndsAtUnload) {
  Host hostSession;
  test::ModuleSandbox sandbox(LOADER_FIXTURE_MODULE, "");
  std::unique_ptr<Module> m = LoadModule(sandbox.ModuleFile());
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->Codes().systemStart, 1);
  EXPECT_EQ(m->Codes().loadResource, 1);
  EXPECT_EQ(m->Codes().start, 1);
  EXPECT_THAT(Calls(*m), ElementsAre(1, 601, 2));
  EXPECT_EQ(m->CallMain(2000), C4D_API_VERSION);
  EXPECT_EQ(m->CallMain(2001), 1) << "g_maxon.memory must be set before the first call";
  EXPECT_EQ(m->CallMain(2002), 1);
  EXPECT_EQ(m->Info()->memory, MemorySuite1());
  EXPECT_THAT(Joined(Console().Lines()),
              HasSubstr("Loaded module net.example.fixture from " + sandbox.ModuleFile() + " (" +
                        m->LoaderName() + "); frameworks: net.example.first.framework, net.example.second.framework"));

  // Registrations made inside c4d_main are attributed to the module
  EXPECT_EQ(m->CallMain(2003), 1);
  const PluginInfo* plugin = hostSession.Plugins().Find(424242);
  ASSERT_NE(plugin, nullptr);
  EXPECT_EQ(plugin->module, "net.example.fixture");
  EXPECT_EQ(CurrentModuleCall(), nullptr);

  // A second handle on the same file shares the statics and sees the final action 3
  std::unique_ptr<Module> twin = Module::Open(sandbox.ModuleFile(), {}, nullptr);
  ASSERT_NE(twin, nullptr);
  m->Unload();
  EXPECT_FALSE(m->IsOpen());
  EXPECT_EQ(m->CallMain(4), -1);
  EXPECT_THAT(Calls(*twin), ElementsAre(1, 601, 2, 3));
  m->Unload();   // idempotent
  twin.reset();  // opened raw: owes no action 3
}

TEST_F(LoaderTest, OptionsChangeVersionAndModuleFile) {
  test::ModuleSandbox sandbox(LOADER_FIXTURE_MODULE, "");
  ModuleOptions options;
  options.interfaceVersion = 23099;
  options.passModuleFile = false;
  std::unique_ptr<Module> m = sandbox.Open(options);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->SystemStart(), 1);
  EXPECT_EQ(m->CallMain(2000), 23099);
  EXPECT_EQ(m->CallMain(2002), 0);
  EXPECT_EQ(Interface()->version, C4D_API_VERSION);  // the host's own record is untouched
  EXPECT_EQ(m->HostInterface()->text, Interface()->text);

  // Raw calls: nothing but what is asked
  EXPECT_EQ(m->CallMain(4), 5);
  EXPECT_EQ(m->SendMessage(7), -1);
  EXPECT_EQ(m->End(), 1);
  EXPECT_THAT(Calls(*m), ElementsAre(1, 4, 607, 3));
}

// A module that lives in the test itself, reached through a custom opener.
C4DModuleInfo inProcessInfo = {C4D_MODULEINFO_VERSION, nullptr, nullptr, {}};
std::vector<int32_t> inProcessCalls;
int32_t InProcessMain(int32_t action, void*, void*, void*) {
  inProcessCalls.push_back(action);
  return 1;
}

class InProcessLibrary : public ModuleLibrary {
 public:
  void* Symbol(const char* name) override {
    if (std::string(name) == "c4d_main") return reinterpret_cast<void*>(&InProcessMain);
    if (std::string(name) == "g_maxon") return &inProcessInfo;
    return nullptr;
  }
};

TEST_F(LoaderTest, OpenerIsPluggable) {
  test::TempFolder folder;
  folder.Write("plugins/inproc.fake", "");
  ModuleOptions options;
  options.extension = ".fake";
  std::vector<std::string> opened;
  options.opener = [&](const std::string& path, std::string*) -> std::unique_ptr<ModuleLibrary> {
    opened.push_back(path);
    return std::make_unique<InProcessLibrary>();
  };
  inProcessCalls.clear();
  Host hostSession;
  {
    PluginsFolder loaded = LoadPluginsFolder(folder.Join("plugins"), options);
    ASSERT_EQ(loaded.modules.size(), 1u);
    EXPECT_EQ(inProcessInfo.memory, MemorySuite1());
    EXPECT_THAT(inProcessCalls, ElementsAre(1, 6, 2));
  }
  EXPECT_THAT(inProcessCalls, ElementsAre(1, 6, 2, 3));
  EXPECT_THAT(opened, ElementsAre(folder.Join("plugins/inproc.fake")));
}

}  // namespace
}  // namespace host
