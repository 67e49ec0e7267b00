// module_fixture.cpp - temporary folders and module copies for tests.
#include "module_fixture.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>

namespace fs = std::filesystem;

namespace host::test {

namespace {

fs::path U8(const std::string& s) { return fs::path(std::u8string(s.begin(), s.end())); }

std::string Utf8(const fs::path& p) {
  std::u8string s = p.generic_u8string();
  return std::string(s.begin(), s.end());
}

}  // namespace

TempFolder::TempFolder() {
  static std::atomic<unsigned> counter{0};
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path candidate = fs::temp_directory_path() /
                         ("corvane-test-" + std::to_string(random()) + "-" + std::to_string(counter++));
    std::error_code ec;
    if (fs::create_directory(candidate, ec)) {
      root = Utf8(candidate);
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder");
}

TempFolder::~TempFolder() {
  std::error_code ec;
  fs::remove_all(U8(root), ec);
}

std::string TempFolder::Join(const std::string& rel) const { return rel.empty() ? root : root + "/" + rel; }

void TempFolder::Copy(const std::string& from, const std::string& rel) const {
  fs::path to = U8(Join(rel));
  fs::create_directories(to.parent_path());
  fs::copy(U8(from), to, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
}

void TempFolder::Write(const std::string& rel, const std::string& contents) const {
  fs::path to = U8(Join(rel));
  fs::create_directories(to.parent_path());
  std::ofstream out(to, std::ios::binary);
  out << contents;
}

void TempFolder::Remove(const std::string& rel) const { fs::remove_all(U8(Join(rel))); }

ModuleSandbox::ModuleSandbox(const std::string& modulePath, const std::string& resFolder,
                             const std::string& moduleRel, const std::string& resRel) {
  std::string source = modulePath;
#ifdef CORVANE_MODULE_PATH
  // CORVANE_TEST_MODULE runs a suite against another build of the Corvane module (the
  // other SDK API shape, say) in place of the one it was built with.
  if (const char* other = std::getenv("CORVANE_TEST_MODULE"); other != nullptr && *other != '\0' &&
                                                               modulePath == CORVANE_MODULE_PATH)
    source = other;
#endif
  folder.Copy(source, moduleRel);
  moduleFile = folder.Join(moduleRel);
  if (!resFolder.empty() && !resRel.empty()) folder.Copy(resFolder, resRel);
}

std::unique_ptr<Module> ModuleSandbox::Open(const ModuleOptions& options) {
  lastError.clear();
  return Module::Open(moduleFile, options, &lastError);
}

}  // namespace host::test
