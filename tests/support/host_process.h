// host_process.h - runs corvane-host as a user would: a subprocess with a time limit, its
// exit code and its output (stdout and stderr together).
#pragma once

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

#ifndef CORVANE_TEST_TIME_SCALE
#define CORVANE_TEST_TIME_SCALE 1
#endif

namespace corvanetest {

/// How many times longer than a release build this build's programs may take: a time limit
/// guards against a hang, never measures speed.
inline constexpr int kTimeScale = CORVANE_TEST_TIME_SCALE;

struct HostRun {
  int exitCode = -1;   ///< the exit code; 128 + the signal when a signal ended it
  std::string output;  ///< stdout and stderr
};

/// Runs `exe args` (shell words) with `before` first (environment assignments or a ulimit,
/// say), killed after limitSeconds (times kTimeScale) as hung.
inline HostRun RunHost(const std::string& exe, const std::string& args, const std::string& before = "",
                       int limitSeconds = 120) {
  const std::string cmd =
      before + "timeout -s KILL " + std::to_string(limitSeconds * kTimeScale) + " " + exe + " " + args + " 2>&1";
  HostRun run;
  FILE* pipe = popen(cmd.c_str(), "r");
  if (!pipe) return run;
  std::array<char, 4096> buf;
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), pipe)) > 0) run.output.append(buf.data(), n);
  const int status = pclose(pipe);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return run;
}

}  // namespace corvanetest
