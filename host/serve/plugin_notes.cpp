#include "serve/plugin_notes.h"

#include "core/text.h"
#include "resources/resource_files.h"

namespace host {

namespace {

/// The text of the string table's entry IDS_<key>, or fallback.
std::string Text(const std::map<std::string, std::string>& texts, const std::string& key,
                 const std::string& fallback = {}) {
  auto it = texts.find("IDS_" + key);
  return it != texts.end() ? it->second : fallback;
}

std::string Capitals(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  return s;
}

ListNote ListNoteOf(const DescriptionElement& list, const std::map<std::string, std::string>& texts) {
  ListNote note{list.symbol, {}};
  for (int bit = 1, count = ListFlagCount(list); bit <= count; ++bit) {
    const std::string key = list.symbol + "_FLAG" + std::to_string(bit);
    const std::string n = std::to_string(bit);
    FlagNote flag;
    flag.on = Text(texts, key + "_ON", "Flag " + n);
    flag.off = Text(texts, key + "_OFF", flag.on);
    flag.onHint = Text(texts, key + "_ON_HINT", "flag " + n + " on");
    flag.offHint = Text(texts, key + "_OFF_HINT", "flag " + n + " off");
    note.flags.push_back(std::move(flag));
  }
  return note;
}

}  // namespace

int ListFlagCount(const DescriptionElement& list) {
  const int32_t n = list.numFlags.value_or(0);
  if (n <= 0) return 0;
  return n < kMaxListFlags ? int(n) : kMaxListFlags;
}

PluginNotes NotesFromStrings(const Description& description, const std::map<std::string, std::string>& texts) {
  PluginNotes notes;
  notes.help = Text(texts, Capitals(description.name) + "_HELP");
  for (const DescriptionElement& e : description.elements) {
    if (!e.IsParameter() || e.symbol.empty()) continue;
    if (e.type == ElementType::InExclude) {
      ListNote list = ListNoteOf(e, texts);
      if (!list.flags.empty()) notes.lists.push_back(std::move(list));
    }
    ParamNote param{e.symbol, Text(texts, e.symbol + "_HINT"), Text(texts, e.symbol + "_DISABLED")};
    if (!param.hint.empty() || !param.disabledHint.empty()) notes.params.push_back(std::move(param));
  }
  return notes;
}

PluginNotes NotesForDescription(const RegisteredDescription& description) {
  StringTable table;
  ParseError error;
  // The table loaded with the module; one that cannot be read now gives no words.
  if (!LoadStringTableFile(JoinPath(description.folder, "strings_en-US/c4d_strings.str"), "", &table, &error))
    table.texts.clear();
  return NotesFromStrings(description.description, table.texts);
}

}  // namespace host
