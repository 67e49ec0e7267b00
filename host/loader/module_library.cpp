// module_library.cpp - the native module opener.
#include "loader/module_library.h"

#include "loader/macho_library.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif
#ifdef __linux__
#include <elf.h>
#endif

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <vector>

namespace host {

namespace {

#ifdef _WIN32

class WindowsLibrary : public ModuleLibrary {
 public:
  explicit WindowsLibrary(HMODULE m) : module(m) {}
  ~WindowsLibrary() override { FreeLibrary(module); }
  void* Symbol(const char* name) override { return reinterpret_cast<void*>(GetProcAddress(module, name)); }
  const char* LoaderName() const override { return "LoadLibraryW"; }

 private:
  HMODULE module;
};

std::string LastErrorText() {
  DWORD code = GetLastError();
  char* text = nullptr;
  DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = n && text ? std::string(text, n) : std::string();
  if (text) LocalFree(text);
  // Inserts are not filled in: the file is named by the caller
  for (size_t at = message.find("%1"); at != std::string::npos; at = message.find("%1"))
    message.replace(at, 2, "the file");
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ')) {
    message.pop_back();
  }
  return message + " (error " + std::to_string(code) + ")";
}

#else

class PosixLibrary : public ModuleLibrary {
 public:
  explicit PosixLibrary(void* h) : handle(h) {}
  ~PosixLibrary() override { dlclose(handle); }
  void* Symbol(const char* name) override { return dlsym(handle, name); }
  const char* LoaderName() const override { return "dlopen"; }

 private:
  void* handle;
};

#endif

#ifdef __linux__
// What dlopen would handle badly, refused up front:
//   - a library of another processor: the dynamic loader's word for it depends on the C
//     library (a statically linked host says "No such file or directory"), so the
//     processor is named instead;
//   - a truncated file, which the dynamic loader maps without complaint, the process then
//     dying with SIGBUS once it touches a page past the end: every loadable segment and
//     the section header table must lie inside the file.
bool ElfIsLoadable(const std::string& path, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  Elf64_Ehdr eh{};
  if (!in.read(reinterpret_cast<char*>(&eh), sizeof eh)) return true;  // too short for ELF: dlopen says why
  if (std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 || eh.e_ident[EI_CLASS] != ELFCLASS64) return true;
#if defined(__aarch64__)
  constexpr uint16_t kThisMachine = EM_AARCH64;
  constexpr const char* kThisName = "aarch64";
#else
  constexpr uint16_t kThisMachine = EM_X86_64;
  constexpr const char* kThisName = "x86-64";
#endif
  if (eh.e_machine != kThisMachine) {
    const char* name = eh.e_machine == EM_X86_64 ? "x86-64" : eh.e_machine == EM_AARCH64 ? "aarch64" : nullptr;
    *error = std::string("an ELF (Linux) module for ") +
             (name ? std::string(name) : "machine " + std::to_string(eh.e_machine)) + "; this host runs on " +
             kThisName;
    return false;
  }
  std::error_code ec;
  uint64_t size = std::filesystem::file_size(path, ec);
  if (ec) return true;
  auto fail = [&](const std::string& what, uint64_t end) {
    *error = "file is truncated (" + what + " ends at byte " + std::to_string(end) + ", the file has " +
             std::to_string(size) + ")";
    return false;
  };
  if (eh.e_shoff != 0) {
    uint64_t end = eh.e_shoff + uint64_t(eh.e_shnum) * eh.e_shentsize;
    if (end > size) return fail("section header table", end);
  }
  if (eh.e_phentsize != sizeof(Elf64_Phdr)) return true;
  uint64_t phEnd = eh.e_phoff + uint64_t(eh.e_phnum) * sizeof(Elf64_Phdr);
  if (phEnd > size) return fail("program header table", phEnd);
  in.seekg(static_cast<std::streamoff>(eh.e_phoff));
  for (int i = 0; i < eh.e_phnum; ++i) {
    Elf64_Phdr ph{};
    if (!in.read(reinterpret_cast<char*>(&ph), sizeof ph)) return fail("program header table", phEnd);
    if (ph.p_type == PT_LOAD && ph.p_offset + ph.p_filesz > size)
      return fail("a loadable segment", ph.p_offset + ph.p_filesz);
  }
  return true;
}

// Whether an ELF file's dynamic section names a shared library to load (DT_NEEDED).
bool ElfNeedsLibraries(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  Elf64_Ehdr eh{};
  if (!in.read(reinterpret_cast<char*>(&eh), sizeof eh)) return false;
  if (std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 || eh.e_ident[EI_CLASS] != ELFCLASS64) return false;
  if (eh.e_phentsize != sizeof(Elf64_Phdr)) return false;
  for (int i = 0; i < eh.e_phnum; ++i) {
    Elf64_Phdr ph{};
    in.seekg(static_cast<std::streamoff>(eh.e_phoff + uint64_t(i) * sizeof ph));
    if (!in.read(reinterpret_cast<char*>(&ph), sizeof ph)) return false;
    if (ph.p_type != PT_DYNAMIC) continue;
    in.seekg(static_cast<std::streamoff>(ph.p_offset));
    for (uint64_t n = 0; n < ph.p_filesz / sizeof(Elf64_Dyn); ++n) {
      Elf64_Dyn dyn{};
      if (!in.read(reinterpret_cast<char*>(&dyn), sizeof dyn) || dyn.d_tag == DT_NULL) return false;
      if (dyn.d_tag == DT_NEEDED) return true;
    }
    return false;
  }
  return false;
}

// Whether the file holds the bytes of text anywhere, read in pieces.
bool FileContains(const std::string& path, std::string_view text) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> buffer(size_t(1) << 20);
  size_t kept = 0;  // the end of the previous piece, for a text that spans two pieces
  while (in) {
    in.read(buffer.data() + kept, static_cast<std::streamsize>(buffer.size() - kept));
    const size_t size = kept + size_t(in.gcount());
    if (size == kept) break;
    if (std::search(buffer.begin(), buffer.begin() + std::ptrdiff_t(size), text.begin(), text.end()) !=
        buffer.begin() + std::ptrdiff_t(size))
      return true;
    kept = std::min(size, text.size() - 1);
    std::copy(buffer.begin() + std::ptrdiff_t(size - kept), buffer.begin() + std::ptrdiff_t(size), buffer.begin());
  }
  return false;
}

#endif

}  // namespace

const char* const kMaxonSdkModuleRefusal =
    "was built with Maxon's SDK; corvane-host runs modules built on its own SDK layer";

bool IsMaxonSdkModule(const std::string& path) {
#ifdef __linux__
  // The identifiers of the core framework's error classes, in every module it is part of.
  return SniffBinaryFile(path) == BinaryFormat::kElf && ElfNeedsLibraries(path) &&
         FileContains(path, "net.maxon.error.");
#else
  (void)path;
  return false;
#endif
}

std::unique_ptr<ModuleLibrary> OpenNativeLibrary(const std::string& path, std::string* error) {
#ifdef _WIN32
  std::filesystem::path p(std::u8string(path.begin(), path.end()));
  // Keep the system from showing a dialog for a file that is not a library
  UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  HMODULE module = LoadLibraryW(p.wstring().c_str());
  std::string cause = module ? std::string() : LastErrorText();
  SetErrorMode(oldMode);
  if (!module) {
    if (error) *error = cause;
    return nullptr;
  }
  return std::make_unique<WindowsLibrary>(module);
#else
  // A path without '/' would be searched on the library path: make it explicit
  std::string file = path.find('/') == std::string::npos ? "./" + path : path;
#ifdef __linux__
  std::string refused;
  if (!ElfIsLoadable(file, &refused)) {
    if (error) *error = refused;
    return nullptr;
  }
#endif
  void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    if (error) {
      const char* cause = dlerror();
      *error = cause ? cause : "dlopen failed";
    }
    return nullptr;
  }
  return std::make_unique<PosixLibrary>(handle);
#endif
}

BinaryFormat SniffBinaryFormat(const unsigned char* b, size_t size) {
  if (size >= 4 && b[0] == 0x7f && b[1] == 'E' && b[2] == 'L' && b[3] == 'F') return BinaryFormat::kElf;
  if (size >= 2 && b[0] == 'M' && b[1] == 'Z') return BinaryFormat::kPe;
  if (size >= 4) {
    const uint32_t le = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
    const uint32_t be = uint32_t(b[3]) | uint32_t(b[2]) << 8 | uint32_t(b[1]) << 16 | uint32_t(b[0]) << 24;
    if (le == 0xfeedfacf) return BinaryFormat::kMachO64;
    if (be == 0xcafebabe || be == 0xcafebabf) return BinaryFormat::kMachOFat;
    // 32-bit and byte-swapped Mach-O files
    if (le == 0xfeedface || be == 0xfeedface || be == 0xfeedfacf) return BinaryFormat::kMachOOther;
  }
  return BinaryFormat::kUnknown;
}

BinaryFormat SniffBinaryFile(const std::string& path) {
  std::ifstream in(std::filesystem::path(std::u8string(path.begin(), path.end())), std::ios::binary);
  unsigned char head[4] = {};
  in.read(reinterpret_cast<char*>(head), sizeof head);
  return SniffBinaryFormat(head, size_t(in.gcount()));
}

const char* BinaryFormatName(BinaryFormat format) {
  switch (format) {
    case BinaryFormat::kElf:
      return "ELF (Linux)";
    case BinaryFormat::kPe:
      return "PE (Windows)";
    case BinaryFormat::kMachO64:
      return "64-bit Mach-O (macOS)";
    case BinaryFormat::kMachOFat:
      return "universal (fat) Mach-O (macOS)";
    case BinaryFormat::kMachOOther:
      return "32-bit or big-endian Mach-O";
    case BinaryFormat::kUnknown:
      break;
  }
  return "not a binary this host knows";
}

std::unique_ptr<ModuleLibrary> OpenModuleLibrary(const std::string& path, std::string* error) {
  const BinaryFormat format = SniffBinaryFile(path);
#if defined(_WIN32)
  const BinaryFormat native = BinaryFormat::kPe;
  const char* loads = "this Windows host loads PE (Windows) modules";
#elif defined(__APPLE__)
  const BinaryFormat native = BinaryFormat::kMachO64;
  const char* loads = "this macOS host loads Mach-O (macOS) modules";
#else
  const BinaryFormat native = BinaryFormat::kElf;
#if defined(__aarch64__)
  const char* loads = "this Linux host loads ELF (Linux) and arm64 Mach-O (macOS) modules";
#else
  const char* loads = "this Linux host loads ELF (Linux) and x86-64 Mach-O (macOS) modules";
#endif
#endif
  if (format == native) return OpenNativeLibrary(path, error);
#if defined(__linux__) && (defined(__x86_64__) || defined(__aarch64__))
  if (format == BinaryFormat::kMachO64 || format == BinaryFormat::kMachOFat) return OpenMachOLibrary(path, error);
#endif
  if (error) {
    *error = format == BinaryFormat::kUnknown
                 ? std::string("not a module binary (no ELF, PE or Mach-O header); ") + loads
                 : std::string(format == BinaryFormat::kElf ? "an " : "a ") + BinaryFormatName(format) +
                       " binary; " + loads;
  }
  return nullptr;
}

bool IsModuleExtension(std::string extension) {
  for (char& c : extension) c = char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return extension == ".xso64" || extension == ".xdl64" || extension == ".xlib";
}

const char* NativeModuleExtension() {
#if defined(_WIN32)
  return ".xdl64";
#elif defined(__APPLE__)
  return ".xlib";
#else
  return ".xso64";
#endif
}

namespace {

struct ModuleFormat {
  ModuleOpener opener = OpenModuleLibrary;
  std::string extension = NativeModuleExtension();
};

ModuleFormat& DefaultFormat() {
  static ModuleFormat format;
  return format;
}

}  // namespace

void SetDefaultModuleFormat(ModuleOpener opener, std::string extension) {
  DefaultFormat().opener = opener ? std::move(opener) : ModuleOpener(OpenModuleLibrary);
  DefaultFormat().extension = extension.empty() ? std::string(NativeModuleExtension()) : std::move(extension);
}

const ModuleOpener& DefaultModuleOpener() { return DefaultFormat().opener; }
const std::string& DefaultModuleExtension() { return DefaultFormat().extension; }

}  // namespace host
