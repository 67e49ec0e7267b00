// The page's words for a plug-in come from the plug-in's own string table, with generic
// words for whatever it does not give.
#include "serve/plugin_notes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "corvane_ids.h"
#include "lookdev_fixture.h"

namespace host {
namespace {

using nlohmann::json;
using namespace corvanetest;

/// Corvane's description as the host registered it.
RegisteredDescription Corvane() {
  std::shared_ptr<const RegisteredDescription> registered = Descriptions().Find(kCorvane);
  EXPECT_NE(registered, nullptr);
  return registered ? *registered : RegisteredDescription{};
}

/// A copy of the description's resource folder whose module string table is text.
std::string ResWithStrings(const test::TempFolder& folder, const RegisteredDescription& d, const std::string& text) {
  folder.Copy(d.folder, "res");
  folder.Write("res/strings_en-US/c4d_strings.str", text);
  return folder.Join("res");
}

bool operator==(const FlagNote& a, const FlagNote& b) {
  return a.on == b.on && a.off == b.off && a.onHint == b.onHint && a.offHint == b.offHint;
}

TEST_F(LookdevTest, APlugInWithoutWordsGetsTheGenericOnes) {
  RegisteredDescription corvane = Corvane();
  const PluginNotes none = NotesFromStrings(corvane.description, {});
  EXPECT_EQ(none.help, "");
  EXPECT_TRUE(none.params.empty());
  ASSERT_EQ(none.lists.size(), 1u);
  EXPECT_EQ(none.lists[0].symbol, "XCORVANE_LIGHTS");
  // One switch per NUM_FLAGS of the description (2), with numbered words.
  ASSERT_EQ(none.lists[0].flags.size(), 2u);
  EXPECT_TRUE((none.lists[0].flags[0] == FlagNote{"Flag 1", "Flag 1", "flag 1 on", "flag 1 off"}));
  EXPECT_TRUE((none.lists[0].flags[1] == FlagNote{"Flag 2", "Flag 2", "flag 2 on", "flag 2 off"}));

  // The same from a resource folder whose string table has only the module's name, and
  // from one whose string table is missing.
  corvane.folder = ResWithStrings(folder, corvane, "STRINGTABLE { IDS_CORVANE \"Corvane\"; }");
  const PluginNotes plain = NotesForDescription(corvane);
  EXPECT_EQ(plain.help, "");
  EXPECT_TRUE(plain.params.empty());
  ASSERT_EQ(plain.lists.size(), 1u);
  EXPECT_TRUE((plain.lists[0].flags[1] == FlagNote{"Flag 2", "Flag 2", "flag 2 on", "flag 2 off"}));
  folder.Remove("res/strings_en-US/c4d_strings.str");
  EXPECT_EQ(NotesForDescription(corvane).lists[0].flags.size(), 2u);
}

TEST_F(LookdevTest, CorvanesWordsComeFromItsStringTable) {
  RegisteredDescription corvane = Corvane();
  const PluginNotes notes = NotesForDescription(corvane);
  EXPECT_THAT(notes.help, ::testing::StartsWith("Turns the light that reaches the surface into a value"));
  ASSERT_EQ(notes.lists.size(), 1u);
  ASSERT_EQ(notes.lists[0].flags.size(), 2u);
  EXPECT_TRUE((notes.lists[0].flags[0] ==
               FlagNote{"Active", "Active", "the shader counts this light", "the shader ignores this light"}));
  EXPECT_TRUE((notes.lists[0].flags[1] ==
               FlagNote{"Add", "Subtract", "its brightness is added", "its brightness is subtracted"}));
  ASSERT_EQ(notes.params.size(), 2u);
  EXPECT_EQ(notes.params[0].symbol, "XCORVANE_SPARE_VALUE");
  EXPECT_EQ(notes.params[0].hint, "Kept with the shader; it has no effect on the result.");
  EXPECT_EQ(notes.params[1].symbol, "XCORVANE_GRADIENT");
  EXPECT_EQ(notes.params[1].disabledHint, "Used while Output is Gradient.");

  // Other texts in the table are other words on the page; a bit's clear word defaults to
  // its set word.
  corvane.folder = ResWithStrings(folder, corvane,
                                  "STRINGTABLE { IDS_CORVANE \"Corvane\"; IDS_XCORVANE_HELP \"Masks lights.\";"
                                  " IDS_XCORVANE_LIGHTS_FLAG2_ON \"Plus\"; IDS_XCORVANE_INVERT_HINT \"Flips it.\"; }");
  const PluginNotes reworded = NotesForDescription(corvane);
  EXPECT_EQ(reworded.help, "Masks lights.");
  EXPECT_TRUE((reworded.lists[0].flags[1] == FlagNote{"Plus", "Plus", "flag 2 on", "flag 2 off"}));
  ASSERT_EQ(reworded.params.size(), 1u);
  EXPECT_EQ(reworded.params[0].symbol, "XCORVANE_INVERT");
  EXPECT_EQ(reworded.params[0].hint, "Flips it.");
}

// The page receives exactly these words (the browser tests pin what it shows).
TEST_F(LookdevTest, DescribeHandsThePageTheStringTablesWords) {
  const json plugin = json::parse(lookdev->Describe().body)["plugins"][0];
  const json expected = {
      {"help",
       "Turns the light that reaches the surface into a value: every active light of the list adds (or "
       "subtracts) its brightness, the Shader is mixed in, the sum is kept between 0 and 1, and the result is "
       "grey or a colour of the Gradient."},
      {"lists",
       {{"XCORVANE_LIGHTS",
         {{{"on", "Active"},
           {"off", "Active"},
           {"onHint", "the shader counts this light"},
           {"offHint", "the shader ignores this light"}},
          {{"on", "Add"},
           {"off", "Subtract"},
           {"onHint", "its brightness is added"},
           {"offHint", "its brightness is subtracted"}}}}}},
      {"params",
       {{"XCORVANE_SPARE_VALUE", {{"hint", "Kept with the shader; it has no effect on the result."}, {"disabledHint", ""}}},
        {"XCORVANE_GRADIENT", {{"hint", ""}, {"disabledHint", "Used while Output is Gradient."}}}}}};
  EXPECT_EQ(plugin["notes"], expected);
}

}  // namespace
}  // namespace host
