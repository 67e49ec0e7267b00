// project/projectdefinition.txt, which Maxon's project tool builds the module from, names
// the same module identifier and frameworks as the module registers when it is loaded.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <sstream>

#include "core/host.h"
#include "loader/loader.h"
#include "module_fixture.h"

namespace host {
namespace {

#ifdef CORVANE_MODULE_PATH

/// The key=value lines of a project definition, read as the SDK's CMake reads them: line
/// continuations joined, then a "//" comment dropped only when it holds no full stop (so a
/// comment with one would be read as a line, and as a key when it holds "="). Lines that
/// still hold "//" afterwards go to *kept.
std::map<std::string, std::string> ReadProjectDefinition(const std::string& path, std::vector<std::string>* kept) {
  std::ifstream in(path);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  text = std::regex_replace(text, std::regex("\\\\[ \t]*\n[ \t]*"), "");
  text = std::regex_replace(text, std::regex("//[^\n.]*\n"), "\n");
  std::map<std::string, std::string> keys;
  std::stringstream lines(text);
  auto trim = [](std::string s) {
    s.erase(0, s.find_first_not_of(" \t\r"));
    s.erase(s.find_last_not_of(" \t\r") + 1);
    return s;
  };
  for (std::string line; std::getline(lines, line);) {
    if (line.find("//") != std::string::npos) kept->push_back(line);
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    keys[trim(line.substr(0, eq))] = trim(line.substr(eq + 1));
  }
  return keys;
}

std::vector<std::string> Split(const std::string& list) {
  std::vector<std::string> items;
  std::stringstream in(list);
  for (std::string item; std::getline(in, item, ';');) items.push_back(item);
  return items;
}

/// The identifier of a framework the project tool names by its folder: net.maxon.<folder>,
/// except the Cinema API, whose identifier carries the product as well.
std::string FrameworkIdentifier(const std::string& folder) {
  return folder == "cinema.framework" ? "net.maxon.c4d.cinema.framework" : "net.maxon." + folder;
}

// The definition for R23 to 2023 names the module identifier and the frameworks that the
// module registers, in its order; the SDK's CMake reads no comment as a line.
TEST(ProjectDefinition, NamesTheModuleIdentifierAndFrameworksTheModuleRegisters) {
  std::vector<std::string> kept;
  const std::map<std::string, std::string> keys = ReadProjectDefinition(CORVANE_PROJECT_DEFINITION, &kept);
  EXPECT_THAT(kept, ::testing::IsEmpty()) << "comments the SDK's CMake would read as lines";
  std::vector<std::string> names;
  for (const auto& [key, value] : keys) names.push_back(key);
  EXPECT_THAT(names, ::testing::ElementsAre("APIS", "C4D", "ModuleId", "Platform", "Type", "stylecheck.level"));
  ASSERT_TRUE(keys.count("APIS") && keys.count("ModuleId")) << CORVANE_PROJECT_DEFINITION;
  EXPECT_EQ(keys.at("Type"), "DLL");
  EXPECT_EQ(keys.at("C4D"), "true");
  EXPECT_EQ(keys.at("stylecheck.level"), "0");
  EXPECT_THAT(keys.at("Platform"), ::testing::AllOf(::testing::HasSubstr("Win64"), ::testing::HasSubstr("OSX")));

  std::vector<std::string> frameworks;
  for (const std::string& folder : Split(keys.at("APIS"))) frameworks.push_back(FrameworkIdentifier(folder));

  Host session;
  test::ModuleSandbox sandbox(CORVANE_MODULE_PATH, "");
  std::unique_ptr<Module> m = sandbox.Open();
  ASSERT_NE(m, nullptr) << sandbox.LastError();
  EXPECT_EQ(m->Identity().identifier, keys.at("ModuleId"));
  EXPECT_EQ(m->Identity().dependencies, frameworks) << "APIS, in order";
}

// The definition for 2024 and later differs in one place only: the geometry framework is
// modeling_geom, where geom was (the SDKs from 2024 on have no geom.framework).
TEST(ProjectDefinition, From2024OnModelingGeomTakesGeomsPlace) {
  std::vector<std::string> kept, kept2024;
  const std::map<std::string, std::string> r23 = ReadProjectDefinition(CORVANE_PROJECT_DEFINITION, &kept);
  std::map<std::string, std::string> from2024 = ReadProjectDefinition(CORVANE_PROJECT_DEFINITION_2024, &kept2024);
  EXPECT_THAT(kept2024, ::testing::IsEmpty()) << "comments the SDK's CMake would read as lines";
  ASSERT_TRUE(r23.count("APIS") && from2024.count("APIS"));
  std::vector<std::string> expected = Split(r23.at("APIS"));
  std::replace(expected.begin(), expected.end(), std::string("geom.framework"), std::string("modeling_geom.framework"));
  EXPECT_EQ(Split(from2024.at("APIS")), expected);
  from2024["APIS"] = r23.at("APIS");
  EXPECT_EQ(from2024, r23);
}

#endif  // CORVANE_MODULE_PATH

}  // namespace
}  // namespace host
