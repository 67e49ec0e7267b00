// console.h - the host's console: lines printed by modules (and the host) are collected.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace host {

/// Collects printed lines for tests to read; echoes each to stderr unless silenced.
/// Thread-safe.
class ConsoleLog {
 public:
  /// Appends one line (a trailing newline is dropped) and echoes it when echo is on.
  void Print(std::string_view line);
  /// A copy of every line printed since the last Clear().
  std::vector<std::string> Lines() const;
  /// Forgets the collected lines.
  void Clear();
  /// Turns the echo to stderr on (the default) or off.
  void SetEcho(bool on);

 private:
  struct Impl;
  Impl& State() const;
};

/// The process's console.
ConsoleLog& Console();

}  // namespace host
