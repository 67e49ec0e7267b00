#include "validate/child_process.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "core/file_read.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace host {
namespace {

/// The file's bytes; empty when it cannot be read.
std::string ReadWhole(const std::string& path) {
  std::string bytes;
  return ReadWholeFile(path, &bytes) == FileRead::Ok ? bytes : std::string();
}

#if defined(_WIN32)
/// One argument quoted for CommandLineToArgvW's rules.
std::wstring Quote(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"') out.append(backslashes * 2 + 1, L'\\');
    else out.append(backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

std::wstring Wide(const std::string& s) {
  return std::filesystem::path(std::u8string(s.begin(), s.end())).wstring();
}
#endif

}  // namespace

std::string ScratchPath(const std::string& tag) {
  static std::atomic<int> counter{0};
#if defined(_WIN32)
  const unsigned long pid = GetCurrentProcessId();
#else
  const unsigned long pid = static_cast<unsigned long>(getpid());
#endif
  std::error_code ec;
  std::filesystem::path folder = std::filesystem::temp_directory_path(ec);
  if (ec) folder = ".";
  const std::string name = "corvane-validate-" + std::to_string(pid) + "-" + std::to_string(counter++) + "-" + tag;
  std::u8string p = (folder / name).generic_u8string();
  return std::string(p.begin(), p.end());
}

ChildResult RunChild(const std::string& program, const std::vector<std::string>& args, int timeoutMs) {
  ChildResult r;
  const std::string outPath = ScratchPath("stdout"), errPath = ScratchPath("stderr");
#if defined(_WIN32)
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE out = CreateFileW(Wide(outPath).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  HANDLE err = CreateFileW(Wide(errPath).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  std::wstring line = Quote(Wide(program));
  for (const std::string& a : args) line += L" " + Quote(Wide(a));
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  si.hStdOutput = out;
  si.hStdError = err;
  PROCESS_INFORMATION pi{};
  const BOOL made = out != INVALID_HANDLE_VALUE && err != INVALID_HANDLE_VALUE &&
                    CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
  if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
  if (err != INVALID_HANDLE_VALUE) CloseHandle(err);
  if (!made) {
    r.why = "could not start " + program + " (error " + std::to_string(GetLastError()) + ")";
  } else {
    r.started = true;
    const DWORD wait = WaitForSingleObject(pi.hProcess, timeoutMs > 0 ? DWORD(timeoutMs) : INFINITE);
    if (wait == WAIT_TIMEOUT) {
      r.timedOut = true;
      TerminateProcess(pi.hProcess, 1);
      WaitForSingleObject(pi.hProcess, INFINITE);
    } else {
      DWORD code = 0;
      GetExitCodeProcess(pi.hProcess, &code);
      r.exitCode = int(code);
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
#else
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t child = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  // posix_spawnp: a launcher may be named without its folder.
  const int spawned = posix_spawnp(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    r.why = "could not start " + program + " (error " + std::to_string(spawned) + ")";
  } else {
    r.started = true;
    int status = 0;
    for (;;) {
      const pid_t done = waitpid(child, &status, WNOHANG);
      if (done == child) break;
      if (done < 0) {
        r.why = "lost the child process";
        break;
      }
      if (timeoutMs > 0 && std::chrono::steady_clock::now() >= deadline) {
        r.timedOut = true;
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (!r.timedOut) {
      if (WIFEXITED(status)) r.exitCode = WEXITSTATUS(status);
      if (WIFSIGNALED(status)) r.signal = WTERMSIG(status);
    }
  }
#endif
  r.output = ReadWhole(outPath) + ReadWhole(errPath);
  std::error_code ec;
  std::filesystem::remove(std::filesystem::path(std::u8string(outPath.begin(), outPath.end())), ec);
  std::filesystem::remove(std::filesystem::path(std::u8string(errPath.begin(), errPath.end())), ec);
  return r;
}

}  // namespace host
