// module_texts.cpp - reading the texts a plug-in's string table holds for the host.
#include "resources/module_texts.h"

#include <charconv>
#include <cmath>

#include "core/text.h"
#include "resources/resource_files.h"
#include "resources/resources.h"

namespace host {

namespace {

std::string Capitals(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  return s;
}

/// The next number of text from *at on, after spaces; false when there is none.
bool NextNumber(const std::string& text, size_t* at, double* out) {
  while (*at < text.size() && text[*at] == ' ') ++*at;
  const char* first = text.data() + *at;
  const auto r = std::from_chars(first, text.data() + text.size(), *out);
  if (r.ec != std::errc() || !std::isfinite(*out)) return false;
  *at = size_t(r.ptr - text.data());
  return true;
}

}  // namespace

ModuleTexts ReadModuleTexts(const RegisteredDescription& description) {
  StringTable table;
  ParseError error;
  // The table loaded with the module; one that cannot be read now gives no texts.
  if (!LoadStringTableFile(JoinPath(description.folder, "strings_en-US/c4d_strings.str"), "", &table, &error))
    return {};
  return std::move(table.texts);
}

std::string ConventionText(const ModuleTexts& texts, const std::string& key, const std::string& fallback) {
  auto it = texts.find("IDS_" + Capitals(key));
  return it != texts.end() ? it->second : fallback;
}

std::optional<std::pair<double, double>> DocumentedOutputRange(const RegisteredDescription& description) {
  const std::string text =
      ConventionText(ReadModuleTexts(description), description.description.name + "_OUTPUT_RANGE");
  size_t at = 0;
  double lo = 0, hi = 0;
  if (!NextNumber(text, &at, &lo) || !NextNumber(text, &at, &hi) || lo > hi) return std::nullopt;
  while (at < text.size() && text[at] == ' ') ++at;
  if (at != text.size()) return std::nullopt;
  return std::make_pair(lo, hi);
}

}  // namespace host
