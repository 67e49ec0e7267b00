// console.cpp - the collected console.
#include "core/console.h"

#include <algorithm>
#include <cstdio>
#include <mutex>

namespace host {

struct ConsoleLog::Impl {
  mutable std::mutex mutex;
  std::vector<std::string> lines;
  bool echo = true;
  bool verbose = false;
};

ConsoleLog::Impl& ConsoleLog::State() const {
  static Impl impl;
  return impl;
}

namespace {

// The line as it is kept and shown: control characters escaped, cut at the limit.
std::string Sanitised(std::string_view line) {
  std::string out;
  const size_t kept = std::min(line.size(), ConsoleLog::kMaxLineBytes);
  out.reserve(kept + 16);
  for (size_t i = 0; i < kept; ++i) {
    const auto c = static_cast<unsigned char>(line[i]);
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7f) {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  if (kept < line.size()) out += " [... " + std::to_string(line.size() - kept) + " more bytes not shown]";
  return out;
}

}  // namespace

void ConsoleLog::Add(std::string_view line, bool note) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  std::string text = Sanitised(line);
  Impl& s = State();
  std::lock_guard lock(s.mutex);
  if (s.echo && (s.verbose || !note)) std::fprintf(stderr, "%s\n", text.c_str());
  s.lines.push_back(std::move(text));
}

void ConsoleLog::Print(std::string_view line) { Add(line, false); }

void ConsoleLog::Note(std::string_view line) { Add(line, true); }

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

void ConsoleLog::SetVerbose(bool on) {
  Impl& s = State();
  std::lock_guard lock(s.mutex);
  s.verbose = on;
}

ConsoleLog& Console() {
  static ConsoleLog console;
  return console;
}

}  // namespace host
