// console.cpp - the collected console.
#include "core/console.h"

#include <cstdio>
#include <mutex>

namespace host {

struct ConsoleLog::Impl {
  mutable std::mutex mutex;
  std::vector<std::string> lines;
  bool echo = true;
};

ConsoleLog::Impl& ConsoleLog::State() const {
  static Impl impl;
  return impl;
}

void ConsoleLog::Print(std::string_view line) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  Impl& s = State();
  std::lock_guard lock(s.mutex);
  s.lines.emplace_back(line);
  if (s.echo) std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
}

std::vector<std::string> ConsoleLog::Lines() const {
  Impl& s = State();
  std::lock_guard lock(s.mutex);
  return s.lines;
}

void ConsoleLog::Clear() {
  Impl& s = State();
  std::lock_guard lock(s.mutex);
  s.lines.clear();
}

void ConsoleLog::SetEcho(bool on) {
  Impl& s = State();
  std::lock_guard lock(s.mutex);
  s.echo = on;
}

ConsoleLog& Console() {
  static ConsoleLog console;
  return console;
}

}  // namespace host
