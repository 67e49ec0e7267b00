// child_process.h - runs this program again as a child process with a time limit.
//
// The child's standard output and error go to files (no pipe can fill and stall it); the
// parent waits for it to end, or ends it when the time runs out. POSIX: posix_spawn and
// waitpid, SIGKILL at the limit. Windows: CreateProcessW with the files as its standard
// handles, WaitForSingleObject, TerminateProcess at the limit.
#pragma once

#include <string>
#include <vector>

namespace host {

struct ChildResult {
  bool started = false;   ///< false: the process could not be made (why says so)
  bool timedOut = false;  ///< ended by the parent at the time limit
  int exitCode = -1;      ///< when it exited by itself
  int signal = 0;         ///< POSIX: the signal that ended it; 0 when it exited
  std::string output;     ///< what it wrote on stdout and stderr (stdout first)
  std::string why;
};

/// Runs program with args, waiting at most timeoutMs milliseconds (0: no limit).
ChildResult RunChild(const std::string& program, const std::vector<std::string>& args, int timeoutMs);

/// A path for a scratch file of this process that nothing else uses; "tag" ends its name.
std::string ScratchPath(const std::string& tag);

}  // namespace host
