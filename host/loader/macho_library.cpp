// macho_library.cpp - see macho_library.h: reading the file, running the loader's phases in
// order and the image's life (symbols, terminators, unmapping). The phases themselves are in
// macho_headers.cpp, macho_mapping.cpp and macho_symbols.cpp; universal files in
// macho_fat.cpp.
#include "loader/macho_library.h"

// Mapping needs mmap; the Windows host refuses Mach-O files before they reach a loader.
#if !defined(_WIN32)

#include <sys/mman.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "loader/macho_loader.h"

namespace host {
namespace {

std::unique_ptr<MachOImage> Fail(std::string* error, const std::string& path, const std::string& cause) {
  if (error) *error = path + ": " + cause;
  return nullptr;
}

}  // namespace

std::unique_ptr<MachOImage> MachOImage::Load(const std::string& path, std::string* error,
                                             const MachOLoadOptions& options) {
  std::error_code ec;
  const std::filesystem::path file(std::u8string(path.begin(), path.end()));
  const uint64_t size = std::filesystem::file_size(file, ec);
  if (ec) return Fail(error, path, "cannot open the file");
  if (size > kMaxMachOFileSize)
    return Fail(error, path, "file is too large for a module (" + std::to_string(size) + " bytes)");
  std::ifstream in(file, std::ios::binary);
  if (!in) return Fail(error, path, "cannot open the file");
  std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return LoadFromMemory(bytes, path, error, options);
}

std::unique_ptr<MachOImage> MachOImage::LoadFromMemory(const std::vector<unsigned char>& file,
                                                       const std::string& path, std::string* error,
                                                       const MachOLoadOptions& options) {
  // A universal file: the slice of this host's processor, loaded as a file of its own
  if (IsFatMachO(file)) {
    std::vector<unsigned char> slice;
    if (!SelectFatSlice(file, path, &slice, error, options.cpuType)) return nullptr;
    if (IsFatMachO(slice)) return Fail(error, path, "a universal file inside a universal file");
    return MachOLoader(slice, path, error).Load(options);
  }
  return MachOLoader(file, path, error).Load(options);
}

std::unique_ptr<MachOImage> MachOLoader::Load(const MachOLoadOptions& options) {
  cpuType_ = macho::WantedCpuType(options.cpuType);
  if (cpuType_ != macho::kHostCpuType && options.runInitializers) {
    Fail("an image of another processor is only read, never run");
    return nullptr;
  }
  if (!ReadHeader() || !ReadLoadCommands() || !FindAddressRange() || !Map() || !CheckNoImports() ||
      !Rebase() || !CollectInitializers() || !ReadExports() || !Protect())
    return nullptr;
  // Static initialisers, in the order the linker laid them out; only now, with every
  // check passed, does any code of the file run
  image_->initializerCount = int(initializers_.size());
  if (!options.runInitializers) return std::move(image_);
  for (auto fn : initializers_) fn();
  image_->terminators = std::move(terminators_);
  return std::move(image_);
}

MachOImage::~MachOImage() {
  for (auto it = terminators.rbegin(); it != terminators.rend(); ++it) (*it)();
  if (mapping) munmap(mapping, mappingSize);
}

void* MachOImage::Symbol(const std::string& name) const {
  auto it = exports.find(name);
  if (it == exports.end()) return nullptr;
  return const_cast<unsigned char*>(header) + it->second;
}

namespace {

class MachOLibrary : public ModuleLibrary {
 public:
  explicit MachOLibrary(std::unique_ptr<MachOImage> loaded) : image(std::move(loaded)) {}
  void* Symbol(const char* name) override { return image->Symbol(std::string("_") + name); }
  const char* LoaderName() const override { return "Mach-O loader"; }

 private:
  std::unique_ptr<MachOImage> image;
};

}  // namespace

std::unique_ptr<ModuleLibrary> OpenMachOLibrary(const std::string& path, std::string* error) {
  std::string why;
  std::unique_ptr<MachOImage> image = MachOImage::Load(path, &why);
  if (!image) {
    // Module::Open names the file itself: hand back the cause alone
    if (error) *error = why.rfind(path + ": ", 0) == 0 ? why.substr(path.size() + 2) : why;
    return nullptr;
  }
  return std::make_unique<MachOLibrary>(std::move(image));
}

}  // namespace host

#endif  // !_WIN32
