#include "core/file_write.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#ifndef NOMINMAX
#define NOMINMAX  // std::min below
#endif
#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace host {
namespace {

namespace fs = std::filesystem;

std::atomic<unsigned> tempCounter{0};

fs::path FromUtf8(const std::string& s) { return fs::path(std::u8string(s.begin(), s.end())); }

/// The file that path names: a symbolic link is followed so that the link stays a link.
fs::path Target(const std::string& path) {
  const fs::path p = FromUtf8(path);
  std::error_code ec;
  if (!fs::is_symlink(p, ec)) return p;
  fs::path resolved = fs::weakly_canonical(p, ec);
  return ec ? p : resolved;
}

/// A name for the temporary file in target's folder: hidden, and unique per process and call.
fs::path TempName(const fs::path& target) {
#if defined(_WIN32)
  const unsigned long pid = GetCurrentProcessId();
#else
  const unsigned long pid = static_cast<unsigned long>(getpid());
#endif
  fs::path name = target.filename();
  name += ".tmp-" + std::to_string(pid) + "-" + std::to_string(tempCounter.fetch_add(1));
  return target.parent_path() / (fs::path(".") += name);
}

/// The number a run of decimal digits spells, without leading zeros as std::to_string
/// writes it, up to INT_MAX; -1 for anything else.
long Decimal(const std::string& s, size_t from, size_t to) {
  if (from >= to || to - from > 10 || (s[from] == '0' && to - from > 1)) return -1;
  long v = 0;
  for (size_t i = from; i < to; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(s[i]))) return -1;
    v = v * 10 + (s[i] - '0');
  }
  return v <= INT_MAX ? v : -1;
}

}  // namespace

long TemporaryFileWriter(const std::string& name) {
  // From the end: "-<n>", then "<pid>", then ".tmp-", then a non-empty name after the dot.
  const size_t dash = name.rfind('-');
  if (dash == std::string::npos || Decimal(name, dash + 1, name.size()) < 0) return 0;
  const size_t tmp = name.rfind(".tmp-", dash);
  if (tmp == std::string::npos || tmp < 2 || name[0] != '.') return 0;
  const long pid = Decimal(name, tmp + 5, dash);
  return pid > 0 ? pid : 0;
}

namespace {

// The few file calls that differ between the systems: each answers false with errno set.
#if defined(_WIN32)
int OpenNew(const fs::path& p) {
  return _wopen(p.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
}
long WriteSome(int fd, const char* data, size_t n) {
  return _write(fd, data, static_cast<unsigned>(std::min<size_t>(n, 1u << 30)));
}
bool Flush(int fd) { return _commit(fd) == 0; }
bool Close(int fd) { return _close(fd) == 0; }
void Remove(const fs::path& p) { _wunlink(p.c_str()); }
void KeepMode(int, const fs::path&) {}
int64_t SizeOf(int fd) {
  struct _stat64 st;
  return _fstat64(fd, &st) == 0 ? int64_t(st.st_size) : -1;
}
/// Replaces to by from; MoveFileExW replaces an existing file, which rename() does not on
/// Windows. *cause holds the system's text on failure.
bool Replace(const fs::path& from, const fs::path& to, std::string* cause) {
  if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
  *cause = std::system_category().message(static_cast<int>(GetLastError()));
  return false;
}
void SyncFolder(const fs::path&) {}
/// Not done on Windows: a killed write there leaves its temporary file.
void RemoveStaleTemporaries(const fs::path&) {}
#else
int OpenNew(const fs::path& p) { return ::open(p.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666); }
long WriteSome(int fd, const char* data, size_t n) {
  return ::write(fd, data, std::min<size_t>(n, 1u << 30));
}
bool Flush(int fd) { return ::fsync(fd) == 0; }
bool Close(int fd) { return ::close(fd) == 0; }
void Remove(const fs::path& p) { ::unlink(p.c_str()); }
/// A replaced file keeps its permissions (a new one gets the usual 0666 less the umask).
void KeepMode(int fd, const fs::path& target) {
  struct stat st;
  if (::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) (void)::fchmod(fd, st.st_mode & 07777);
}
int64_t SizeOf(int fd) {
  struct stat st;
  return ::fstat(fd, &st) == 0 ? int64_t(st.st_size) : -1;
}
bool Replace(const fs::path& from, const fs::path& to, std::string* cause) {
  if (::rename(from.c_str(), to.c_str()) == 0) return true;
  *cause = std::strerror(errno);
  return false;
}
/// Makes the rename itself durable; a folder that cannot be synced changes nothing.
void SyncFolder(const fs::path& target) {
  const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  (void)::fsync(fd);
  ::close(fd);
}
/// Removes the temporary files that writers killed between creating and renaming them
/// left in target's folder: names of exactly our pattern, regular files of this user,
/// whose writer's pid is not alive. A pid in use again (by any process, of any user) keeps
/// its file: a live writer's temporary is never touched.
void RemoveStaleTemporaries(const fs::path& target) {
  const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  const int dirFd = ::dirfd(dir);
  const pid_t self = ::getpid();
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    const long pid = TemporaryFileWriter(name);
    if (pid <= 0 || pid == self) continue;
    struct stat st;
    if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
        st.st_uid != ::geteuid())
      continue;
    if (::kill(pid_t(pid), 0) == 0 || errno != ESRCH) continue;  // alive (EPERM: another user's)
    (void)::unlinkat(dirFd, name.c_str(), 0);
  }
  ::closedir(dir);
}
#endif

}  // namespace

bool WriteFileAtomically(const std::string& path, std::string_view bytes, const char* what,
                         std::string* error) {
  auto fail = [&](const std::string& cause) {
    if (error) *error = path + ": cannot write " + what + ": " + cause;
    return false;
  };
  const fs::path target = Target(path);
  RemoveStaleTemporaries(target);

  fs::path temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = TempName(target);
    fd = OpenNew(temp);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) return fail(std::strerror(errno));
  KeepMode(fd, target);

  // Write everything, flush it to the disk, check the size, close: any failure on the
  // way removes the temporary file and leaves the target alone.
  std::string cause;
  const char* data = bytes.data();
  size_t left = bytes.size();
  while (left > 0 && cause.empty()) {
    const long n = WriteSome(fd, data, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      cause = n < 0 ? std::strerror(errno) : "nothing written";
      break;
    }
    data += n;
    left -= size_t(n);
  }
  if (cause.empty() && !Flush(fd)) cause = std::strerror(errno);
  if (cause.empty() && SizeOf(fd) != int64_t(bytes.size()))
    cause = "the file holds " + std::to_string(SizeOf(fd)) + " of " + std::to_string(bytes.size()) + " bytes";
  if (!Close(fd) && cause.empty()) cause = std::strerror(errno);
  if (cause.empty()) Replace(temp, target, &cause);
  if (!cause.empty()) {
    Remove(temp);
    return fail(cause);
  }
  SyncFolder(target);
  return true;
}

}  // namespace host
