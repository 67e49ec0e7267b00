// plugin_notes.cpp - the page's words for a plug-in, from its string table or generic ones.
#include "serve/plugin_notes.h"

#include "resources/module_texts.h"
#include "resources/resources.h"

namespace host {

namespace {

ListNote ListNoteOf(const DescriptionElement& list, const ModuleTexts& texts) {
  ListNote note{list.symbol, {}};
  for (int bit = 1, count = ListFlagCount(list); bit <= count; ++bit) {
    const std::string key = list.symbol + "_FLAG" + std::to_string(bit);
    const std::string n = std::to_string(bit);
    FlagNote flag;
    flag.on = ConventionText(texts, key + "_ON", "Flag " + n);
    flag.off = ConventionText(texts, key + "_OFF", flag.on);
    flag.onHint = ConventionText(texts, key + "_ON_HINT", "flag " + n + " on");
    flag.offHint = ConventionText(texts, key + "_OFF_HINT", "flag " + n + " off");
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

PluginNotes NotesFromStrings(const Description& description, const ModuleTexts& texts) {
  PluginNotes notes;
  notes.help = ConventionText(texts, description.name + "_HELP");
  for (const DescriptionElement& e : description.elements) {
    if (!e.IsParameter() || e.symbol.empty()) continue;
    if (e.type == ElementType::InExclude) {
      ListNote list = ListNoteOf(e, texts);
      if (!list.flags.empty()) notes.lists.push_back(std::move(list));
    }
    ParamNote param{e.symbol, ConventionText(texts, e.symbol + "_HINT"),
                    ConventionText(texts, e.symbol + "_DISABLED")};
    if (!param.hint.empty() || !param.disabledHint.empty()) notes.params.push_back(std::move(param));
  }
  return notes;
}

PluginNotes NotesForDescription(const RegisteredDescription& description) {
  return NotesFromStrings(description.description, ReadModuleTexts(description));
}

}  // namespace host
