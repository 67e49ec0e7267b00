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
  /// Appends one line and echoes it when echo is on. One trailing newline is dropped;
  /// control characters (newlines, carriage returns, escape sequences, ...) are written
  /// as \n, \r, \t or \xNN, so that a line can neither end early nor steer a terminal,
  /// and a line longer than kMaxLineBytes is cut with a marker saying how much was left out.
  void Print(std::string_view line);
  /// An informational line (which module was loaded, say): collected like Print, echoed
  /// only when verbose is on. Errors and warnings go through Print.
  void Note(std::string_view line);

  static constexpr size_t kMaxLineBytes = 4096;
  /// A copy of every line printed since the last Clear().
  std::vector<std::string> Lines() const;
  /// Forgets the collected lines.
  void Clear();
  /// Turns the echo to stderr on (the default) or off.
  void SetEcho(bool on);
  /// Echoes notes too (off by default).
  void SetVerbose(bool on);

 private:
  void Add(std::string_view line, bool note);
  struct Impl;
  Impl& State() const;
};

/// The process's console.
ConsoleLog& Console();

}  // namespace host
