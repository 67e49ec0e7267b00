// project/projectdefinition.txt, which Maxon's project tool builds the module from, names
// the same module identifier and frameworks as the module registers when it is loaded.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "core/host.h"
#include "loader/loader.h"
#include "module_fixture.h"

namespace host {
namespace {

#ifdef CORVANE_MODULE_PATH

/// The key=value lines of a project definition; "//" starts a comment.
std::map<std::string, std::string> ReadProjectDefinition(const std::string& path) {
  std::map<std::string, std::string> keys;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (size_t comment = line.find("//"); comment != std::string::npos) line.erase(comment);
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    auto trim = [](std::string s) {
      s.erase(0, s.find_first_not_of(" \t\r"));
      s.erase(s.find_last_not_of(" \t\r") + 1);
      return s;
    };
    keys[trim(line.substr(0, eq))] = trim(line.substr(eq + 1));
  }
  return keys;
}

/// The identifier of a framework the project tool names by its folder: net.maxon.<folder>,
/// except the Cinema API, whose identifier carries the product as well.
std::string FrameworkIdentifier(const std::string& folder) {
  return folder == "cinema.framework" ? "net.maxon.c4d.cinema.framework" : "net.maxon." + folder;
}

TEST(ProjectDefinition, NamesTheModuleIdentifierAndFrameworksTheModuleRegisters) {
  const std::map<std::string, std::string> keys = ReadProjectDefinition(CORVANE_PROJECT_DEFINITION);
  ASSERT_TRUE(keys.count("APIS") && keys.count("ModuleId")) << CORVANE_PROJECT_DEFINITION;
  EXPECT_EQ(keys.at("Type"), "DLL");
  EXPECT_EQ(keys.at("C4D"), "true");
  EXPECT_EQ(keys.at("stylecheck.level"), "0");
  EXPECT_THAT(keys.at("Platform"), ::testing::AllOf(::testing::HasSubstr("Win64"), ::testing::HasSubstr("OSX")));

  std::vector<std::string> frameworks;
  std::stringstream apis(keys.at("APIS"));
  for (std::string folder; std::getline(apis, folder, ';');) frameworks.push_back(FrameworkIdentifier(folder));

  Host session;
  test::ModuleSandbox sandbox(CORVANE_MODULE_PATH, "");
  std::unique_ptr<Module> m = sandbox.Open();
  ASSERT_NE(m, nullptr) << sandbox.LastError();
  EXPECT_EQ(m->Identity().identifier, keys.at("ModuleId"));
  EXPECT_EQ(m->Identity().dependencies, frameworks) << "APIS, in order";
}

#endif  // CORVANE_MODULE_PATH

}  // namespace
}  // namespace host
