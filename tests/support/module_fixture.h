// module_fixture.h - fresh folders and fresh module copies for tests.
//
// dlopen hands out the already loaded library for a path it has seen, so a test that
// wants fresh module statics loads its own copy of the module from its own folder.
#pragma once

#include <memory>
#include <string>

#include "loader/loader.h"

namespace host::test {

/// A new folder under the system's temporary folder; removed with its contents when the
/// object dies. Relative paths below use '/'.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& Path() const { return root; }
  /// Path() joined with rel.
  std::string Join(const std::string& rel) const;
  /// Copies the file or folder at from to rel, making parent folders.
  void Copy(const std::string& from, const std::string& rel) const;
  /// Writes contents to the file rel, making parent folders.
  void Write(const std::string& rel, const std::string& contents) const;
  /// Removes the file or folder rel (and everything below it).
  void Remove(const std::string& rel) const;

 private:
  std::string root;
};

/// A copy of a module file, by default at <temp>/plugins/corvane/corvane<ext> with a copy
/// of a resource folder at <temp>/plugins/corvane/res.
class ModuleSandbox {
 public:
  /// resFolder empty or resRel empty: no resource folder is copied.
  ModuleSandbox(const std::string& modulePath, const std::string& resFolder,
                const std::string& moduleRel = DefaultModuleRel(),
                const std::string& resRel = "plugins/corvane/res");

  static std::string DefaultModuleRel() {
    return std::string("plugins/corvane/corvane") + DefaultModuleExtension();
  }

  TempFolder& Folder() { return folder; }
  const std::string& ModuleFile() const { return moduleFile; }

  /// Module::Open on the copy; null when refused (the reason in LastError()).
  std::unique_ptr<Module> Open(const ModuleOptions& options = {});
  const std::string& LastError() const { return lastError; }

 private:
  TempFolder folder;
  std::string moduleFile;
  std::string lastError;
};

}  // namespace host::test
