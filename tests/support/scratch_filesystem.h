// scratch_filesystem.h - real file systems that fail writes, for tests of the host's
// writers (Linux only).
//
// TmpfsMount mounts a small tmpfs on a folder, so a test can fill it up or turn it
// read-only; mounting needs privileges (root here; CI may refuse), so Mount() says why it
// could not. FileSizeLimit lowers RLIMIT_FSIZE for the calling process (with SIGXFSZ
// ignored, a write past it fails with EFBIG): it works for any user, root included.
#pragma once

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace host::test {

class TmpfsMount {
 public:
  explicit TmpfsMount(std::filesystem::path folder) : dir(std::move(folder)) {}
  TmpfsMount(const TmpfsMount&) = delete;
  TmpfsMount& operator=(const TmpfsMount&) = delete;
  ~TmpfsMount() {
    if (mounted) ::umount2(dir.c_str(), MNT_DETACH);
  }

  /// Mounts a tmpfs of `bytes` on the folder (created if missing). False with *why when
  /// this process may not mount.
  bool Mount(size_t bytes, std::string* why) {
    std::filesystem::create_directories(dir);
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
    if (::mount("tmpfs", dir.c_str(), "tmpfs", 0, options.c_str()) != 0) {
      *why = "cannot mount a tmpfs on " + dir.string() + ": " + std::strerror(errno);
      return false;
    }
    mounted = true;
    return true;
  }
  /// Turns the mounted file system read-only (files stay).
  bool MakeReadOnly() { return ::mount("tmpfs", dir.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0; }
  /// Fills the file system with a filler file until no byte is left.
  void Fill() {
    int fd = ::open((dir / "filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return;
    const std::vector<char> block(4096, 'x');
    while (::write(fd, block.data(), block.size()) > 0) {
    }
    while (::write(fd, block.data(), 1) > 0) {
    }
    ::close(fd);
  }
  const std::filesystem::path& Folder() const { return dir; }

 private:
  std::filesystem::path dir;
  bool mounted = false;
};

/// Lowers this process's file-size limit while it lives; SIGXFSZ is ignored meanwhile.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &saved);
    previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit lowered = saved;
    lowered.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &lowered);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
  }

 private:
  rlimit saved{};
  void (*previousHandler)(int) = SIG_DFL;
};

/// Names in folder that look like a writer's temporary files (".<name>.tmp-…").
inline std::vector<std::string> TemporaryFiles(const std::filesystem::path& folder) {
  std::vector<std::string> found;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.find(".tmp-") != std::string::npos) found.push_back(name);
  }
  return found;
}

}  // namespace host::test
