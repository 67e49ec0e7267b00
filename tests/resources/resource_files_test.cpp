// Symbol headers, string tables and description resources: good files and broken ones.
#include "resources/resource_files.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <numbers>
#include <optional>

#include "c4d_host_abi.h"

namespace host {
namespace {

using ::testing::ElementsAre;
using ::testing::Pair;

const std::string kData = CORVANE_TEST_DATA "/resources";

std::string SymbolsError(std::string_view text) {
  SymbolTable table;
  ParseError error;
  EXPECT_FALSE(ParseSymbols(text, "c4d_symbols.h", &table, &error));
  return error.ToString();
}

std::string StringsError(std::string_view text, const std::string& expectedName = "") {
  StringTable table;
  ParseError error;
  EXPECT_FALSE(ParseStringTable(text, "c4d_strings.str", expectedName, &table, &error));
  return error.ToString();
}

// A description header used by the inline .res snippets below.
SymbolTable SampleSymbols() {
  SymbolTable symbols;
  ParseError error;
  EXPECT_TRUE(ParseSymbols("enum { XS_A = 100, XS_B, XS_C, XS_C_ONE = 0, XS_C_TWO, XS_SAME = 100 };", "xs.h",
                           &symbols, &error));
  return symbols;
}

std::string DescriptionError(const std::string& body) {
  Description d;
  ParseError error;
  EXPECT_FALSE(ParseDescription("CONTAINER XS\n{\n" + body + "\n}\n", "xs.res", "XS", SampleSymbols(), {}, &d,
                                &error));
  return error.ToString();
}

TEST(SymbolsTest, ReadsEnumWithGuardsAndImplicitValues) {
  SymbolTable table;
  ParseError error;
  ASSERT_TRUE(LoadSymbolsFile(kData + "/good/c4d_symbols.h", &table, &error)) << error.ToString();
  EXPECT_THAT(table.ordered, ElementsAre(Pair("IDS_SAMPLE", 20000), Pair("IDS_SAMPLE_HINT", 20001),
                                         Pair("IDS_OTHER", 20010), Pair("_DUMMY_ELEMENT_", 20011)));
  // Several enums; the first name without a value starts at 0; values may name earlier symbols
  ASSERT_TRUE(ParseSymbols("enum { A, B };\nenum Named { C = -3, D, E = B, };", "x.h", &table, &error));
  EXPECT_THAT(table.ordered,
              ElementsAre(Pair("A", 0), Pair("B", 1), Pair("C", -3), Pair("D", -2), Pair("E", 1)));
}

TEST(SymbolsTest, BrokenHeaders) {
  SymbolTable table;
  ParseError error;
  EXPECT_FALSE(LoadSymbolsFile(kData + "/broken/symbols_missing_value.h", &table, &error));
  EXPECT_EQ(error.line, 4);
  EXPECT_THAT(error.ToString(),
              ::testing::EndsWith("symbols_missing_value.h:4: expected an integer after '=' for "
                                  "IDS_B, found ','"));
  EXPECT_FALSE(LoadSymbolsFile(kData + "/good/no_such_file.h", &table, &error));
  EXPECT_THAT(error.ToString(), ::testing::EndsWith("no_such_file.h: cannot open file"));

  EXPECT_EQ(SymbolsError("enum { A B };"), "c4d_symbols.h:1: expected ',' or '}' after A, found 'B'");
  EXPECT_EQ(SymbolsError("enum { A }"),
            "c4d_symbols.h:1: expected ';' after the enum's '}', found end of file");
  EXPECT_EQ(SymbolsError("enum\n{ A, 5 };"), "c4d_symbols.h:2: expected a symbol name or '}', found '5'");
  EXPECT_EQ(SymbolsError("enum { A,\n A };"), "c4d_symbols.h:2: symbol 'A' declared twice (first at line 1)");
  EXPECT_EQ(SymbolsError("#include <x.h>\nenum { A };"),
            "c4d_symbols.h:1: unsupported preprocessor line '#include <x.h>'");
  EXPECT_EQ(SymbolsError("#define A 5"), "c4d_symbols.h:1: unsupported preprocessor line '#define A 5'");
  EXPECT_EQ(SymbolsError("struct { };"), "c4d_symbols.h:1: expected 'enum', found 'struct'");
  EXPECT_EQ(SymbolsError("enum { A = 2147483647, B };"), "c4d_symbols.h:1: value of B out of range");
}

TEST(StringTableTest, ReadsTextsWithEscapesNestingAndJoinedLiterals) {
  StringTable table;
  ParseError error;
  ASSERT_TRUE(LoadStringTableFile(kData + "/good/strings_en-US/c4d_strings.str", "", &table, &error))
      << error.ToString();
  EXPECT_THAT(table.texts, ElementsAre(Pair("IDS_OTHER", "Two parts"), Pair("IDS_SAMPLE", "Sample"),
                                       Pair("IDS_SAMPLE_HINT", "Say \"hi\"\tthen\\leave \xC3\xA4")));
  ASSERT_TRUE(
      LoadStringTableFile(kData + "/good/strings_en-US/description/xsample.str", "XSample", &table, &error))
      << error.ToString();
  EXPECT_EQ(table.name, "XSample");
  EXPECT_EQ(table.texts.at("XSAMPLE_MODE"), "Mode");
  EXPECT_EQ(table.texts.at("XSAMPLE_MODE_SECOND"), "Second");
  // A block without a text of its own
  ASSERT_TRUE(ParseStringTable("STRINGTABLE { M { A \"a\"; }; }", "s.str", "", &table, &error));
  EXPECT_THAT(table.texts, ElementsAre(Pair("A", "a")));
}

TEST(StringTableTest, BrokenTables) {
  StringTable table;
  ParseError error;
  EXPECT_FALSE(LoadStringTableFile(kData + "/broken/strings_missing_semicolon.str", "", &table, &error));
  EXPECT_THAT(error.ToString(),
              ::testing::EndsWith(
                  "strings_missing_semicolon.str:4: expected ';' after the text of IDS_A, found 'IDS_B'"));
  EXPECT_EQ(StringsError("STRINGS { }"), "c4d_strings.str:1: expected STRINGTABLE, found 'STRINGS'");
  EXPECT_EQ(StringsError("STRINGTABLE\n{\n A 5; }"),
            "c4d_strings.str:3: expected a string after A, found '5'");
  EXPECT_EQ(StringsError("STRINGTABLE {\n A \"x\";\n"),
            "c4d_strings.str:3: expected '}' to close the block opened at line 1");
  EXPECT_EQ(StringsError("STRINGTABLE { A \"x\";\n A \"y\"; }"),
            "c4d_strings.str:2: text for 'A' given twice (first at line 1)");
  EXPECT_EQ(StringsError("STRINGTABLE { } extra"),
            "c4d_strings.str:1: expected end of file after the string table, found 'extra'");
  EXPECT_EQ(StringsError("STRINGTABLE Other { }", "XSample"),
            "c4d_strings.str:1: expected STRINGTABLE XSample, found 'Other'");
}

TEST(DescriptionTest, ReadsElementsGroupsCyclesFlagsAndLabels) {
  SymbolTable symbols;
  StringTable strings;
  Description d;
  ParseError error;
  ASSERT_TRUE(LoadSymbolsFile(kData + "/good/description/xsample.h", &symbols, &error)) << error.ToString();
  ASSERT_TRUE(LoadStringTableFile(kData + "/good/strings_en-US/description/xsample.str", "XSample", &strings,
                                  &error));
  std::string text;
  ASSERT_TRUE(ReadTextFile(kData + "/good/description/xsample.res", &text, &error));
  ASSERT_TRUE(ParseDescription(text, "xsample.res", "XSample", symbols, strings, &d, &error))
      << error.ToString();

  EXPECT_EQ(d.name, "XSample");
  EXPECT_EQ(d.displayName, "Sample shader");
  EXPECT_THAT(d.includes, ElementsAre("Mpreview", "Xbase"));
  std::vector<std::string> order;
  for (const DescriptionElement& e : d.elements) order.push_back(std::string(e.TypeName()) + ":" + e.symbol);
  EXPECT_THAT(order,
              ElementsAre("GROUP:ID_SHADERPROPERTIES", "REAL:XSAMPLE_AMOUNT", "SHADERLINK:XSAMPLE_LINK",
                          "LONG:XSAMPLE_MODE", "SEPARATOR:", "BOOL:XSAMPLE_FLAG", "IN_EXCLUDE:XSAMPLE_LIGHTS",
                          "GRADIENT:XSAMPLE_GRADIENT", "GROUP:XSAMPLE_GROUP_EXTRA", "COLOR:XSAMPLE_COLOR",
                          "VECTOR:XSAMPLE_DIR"));

  const DescriptionElement* amount = d.FindBySymbol("XSAMPLE_AMOUNT");
  ASSERT_NE(amount, nullptr);
  EXPECT_EQ(amount->id, 10001);
  EXPECT_EQ(amount->label, "Amount");
  EXPECT_EQ(amount->group, "ID_SHADERPROPERTIES");
  EXPECT_EQ(amount->ValueType(), C4D_DTYPE_REAL);
  ASSERT_NE(amount->Flag("MIN"), nullptr);
  EXPECT_THAT(amount->Flag("MIN")->args, ElementsAre("-10.0"));
  EXPECT_THAT(amount->Flag("UNIT")->args, ElementsAre("PERCENT"));

  const DescriptionElement* mode = d.FindById(10003);
  ASSERT_NE(mode, nullptr);
  ASSERT_EQ(mode->cycle.size(), 2u);
  EXPECT_EQ(mode->cycle[1].symbol, "XSAMPLE_MODE_SECOND");
  EXPECT_EQ(mode->cycle[1].id, 1);
  EXPECT_EQ(mode->cycle[1].label, "Second");

  // Unknown flags are kept with their tokens, nested blocks included
  const DescriptionElement* lights = d.FindBySymbol("XSAMPLE_LIGHTS");
  ASSERT_NE(lights, nullptr);
  EXPECT_EQ(lights->ValueType(), C4D_CUSTOMDATA_INEXCLUDE);
  EXPECT_THAT(lights->Flag("IMAGE_01_ON")->args, ElementsAre("1057876"));
  EXPECT_THAT(lights->Flag("ACCEPT")->args, ElementsAre("{", "Olight", ";", "}"));
  EXPECT_THAT(lights->Flag("FUTURE_FLAG")->args, ElementsAre("kept", "1", "2.5"));
  EXPECT_EQ(d.FindBySymbol("XSAMPLE_GRADIENT")->ValueType(), C4D_CUSTOMDATA_GRADIENT);
  EXPECT_EQ(d.FindBySymbol("XSAMPLE_LINK")->ValueType(), C4D_DTYPE_LINK);
  EXPECT_EQ(d.FindBySymbol("XSAMPLE_FLAG")->ValueType(), C4D_DTYPE_LONG);

  const DescriptionElement* color = d.FindBySymbol("XSAMPLE_COLOR");
  EXPECT_EQ(color->group, "XSAMPLE_GROUP_EXTRA");
  EXPECT_EQ(color->label, "");  // no text in the table: empty, not an error
  EXPECT_THAT(d.FindBySymbol("XSAMPLE_GROUP_EXTRA")->Flag("COLUMNS")->args, ElementsAre("2"));
}

// The flags a reader needs are typed once, when the element closes: numbers in any form the
// resource may write them, units, list flags and icons; a flag without a number stays empty.
TEST(DescriptionTest, TypesNumbersUnitsListFlagsAndIconsOnce) {
  Description d;
  ParseError error;
  ASSERT_TRUE(ParseDescription(
      "CONTAINER XS {\n"
      "  REAL XS_A { UNIT DEGREE; MIN -90; MAX +90.5; STEP 0.5; }\n"
      "  REAL XS_B { MIN low; UNIT METER; }\n"
      "  IN_EXCLUDE XS_C { NUM_FLAGS 2; INIT_STATE 3; IMAGE_01_ON 1057876; IMAGE_01_OFF x; ICON 5000; }\n"
      "  LONG XS_C_TWO { NUM_FLAGS 1e20; }\n"
      "}\n",
      "xs.res", "XS", SampleSymbols(), {}, &d, &error))
      << error.ToString();
  const DescriptionElement& a = *d.FindBySymbol("XS_A");
  EXPECT_EQ(a.min, -90);
  EXPECT_EQ(a.max, 90.5);
  EXPECT_EQ(a.step, 0.5);
  EXPECT_EQ(a.unit, Unit::Degree);
  EXPECT_DOUBLE_EQ(a.UnitScale(), std::numbers::pi / 180);
  const DescriptionElement& b = *d.FindBySymbol("XS_B");
  EXPECT_FALSE(b.min.has_value());
  EXPECT_EQ(b.unit, Unit::None);
  EXPECT_EQ(b.UnitScale(), 1);
  const DescriptionElement& c = *d.FindBySymbol("XS_C");
  EXPECT_EQ(c.numFlags, 2);
  EXPECT_EQ(c.initState, 3);
  EXPECT_THAT(c.icons, ElementsAre(1057876, 5000));
  EXPECT_FALSE(d.FindBySymbol("XS_C_TWO")->numFlags.has_value());  // not an int32: absent, not wrapped
}

// Every keyword the parser accepts names one type and comes back from it; each stored value
// type is named by the first type that stores it.
TEST(DescriptionTest, ElementTypeKeywordsRoundTrip) {
  for (const char* keyword :
       {"REAL", "LONG", "BOOL", "VECTOR", "COLOR", "STRING", "FILENAME", "LINK", "SHADERLINK", "TEXTURE",
        "IN_EXCLUDE", "GRADIENT", "BUTTON", "STATICTEXT", "SPLINE", "SEPARATOR", "GROUP"}) {
    const std::optional<ElementType> t = ElementTypeFromName(keyword);
    ASSERT_TRUE(t.has_value()) << keyword;
    EXPECT_EQ(ElementTypeName(*t), keyword);
  }
  EXPECT_FALSE(ElementTypeFromName("REALS").has_value());
  EXPECT_STREQ(ValueTypeName(C4D_DTYPE_LONG), "LONG");
  EXPECT_STREQ(ValueTypeName(C4D_DTYPE_VECTOR), "VECTOR");
  EXPECT_STREQ(ValueTypeName(C4D_DTYPE_LINK), "LINK");
  EXPECT_STREQ(ValueTypeName(C4D_DTYPE_NONE), "-");
}

TEST(DescriptionTest, BrokenDescriptions) {
  Description d;
  ParseError error;
  std::string text;
  ASSERT_TRUE(ReadTextFile(kData + "/broken/group_without_brace.res", &text, &error));
  SymbolTable symbols;
  ASSERT_TRUE(LoadSymbolsFile(kData + "/good/description/xsample.h", &symbols, &error));
  EXPECT_FALSE(ParseDescription(text, "xsample.res", "XSample", symbols, {}, &d, &error));
  EXPECT_EQ(error.ToString(), "xsample.res:8: expected '{' after GROUP, found 'REAL'");

  EXPECT_EQ(DescriptionError("  INCLUDE Obase;"),
            "xs.res:3: unknown description 'Obase' in INCLUDE (the host provides Xbase and Mpreview)");
  EXPECT_EQ(DescriptionError("  GROUP { SLIDER XS_A { } }"), "xs.res:3: unknown element type 'SLIDER'");
  EXPECT_EQ(DescriptionError("  WIDGET XS_A { }"), "xs.res:3: unknown element type 'WIDGET'");
  EXPECT_EQ(DescriptionError("  REAL XS_A { }\n  LONG XS_SAME { }"),
            "xs.res:4: duplicate parameter ID 100 (XS_SAME), first used by XS_A at line 3");
  EXPECT_EQ(DescriptionError("  REAL XS_NOPE { }"),
            "xs.res:3: unknown symbol 'XS_NOPE' (not declared in the description's header)");
  EXPECT_EQ(DescriptionError("  REAL { }"), "xs.res:3: expected a parameter symbol after REAL, found '{'");
  EXPECT_EQ(DescriptionError("  REAL XS_A;"), "xs.res:3: expected '{' after REAL XS_A, found ';'");
  EXPECT_EQ(DescriptionError("  LONG XS_C { CYCLE { XS_C_ONE XS_C_TWO; } }"),
            "xs.res:3: expected ';' after cycle entry XS_C_ONE, found 'XS_C_TWO'");
  EXPECT_EQ(DescriptionError("  LONG XS_C { CYCLE { XS_C_THREE; } }"),
            "xs.res:3: unknown symbol 'XS_C_THREE' (not declared in the description's header)");
  EXPECT_EQ(DescriptionError("  REAL XS_A { MIN 0.0 }"), "xs.res:3: expected ';' to end MIN, found '}'");
  EXPECT_EQ(DescriptionError("  NAME;"), "xs.res:3: expected a name after NAME, found ';'");

  EXPECT_FALSE(ParseDescription("CONTAINER XS\n{\n  GROUP\n  {\n    REAL XS_A { }\n", "xs.res", "XS",
                                SampleSymbols(), {}, &d, &error));
  EXPECT_EQ(error.ToString(), "xs.res:6: expected '}' to close GROUP opened at line 3");
  EXPECT_FALSE(ParseDescription("CONTAINER Other { }", "xs.res", "XS", SampleSymbols(), {}, &d, &error));
  EXPECT_EQ(error.ToString(), "xs.res:1: expected CONTAINER XS, found 'Other'");
  EXPECT_FALSE(ParseDescription("STRINGTABLE XS { }", "xs.res", "XS", SampleSymbols(), {}, &d, &error));
  EXPECT_EQ(error.ToString(), "xs.res:1: expected CONTAINER, found 'STRINGTABLE'");
}

// Nesting as deep as the file is long: parsed on the heap, never on the native stack
// (100,000 levels overflowed it when each level was a call).
TEST(DeepNestingTest, GroupsAndStringBlocksOfAHundredThousandLevels) {
  constexpr int kLevels = 100000;
  std::string res = "CONTAINER XS\n{\n";
  for (int i = 0; i < kLevels; ++i) res += "GROUP {\n";
  res += "REAL XS_A { MIN 0.0; }\n";
  std::string closed = res;
  for (int i = 0; i < kLevels; ++i) closed += "}\n";
  closed += "}\n";
  Description d;
  ParseError error;
  ASSERT_TRUE(ParseDescription(closed, "xs.res", "XS", SampleSymbols(), {}, &d, &error)) << error.ToString();
  ASSERT_EQ(size_t(kLevels) + 1, d.elements.size());
  EXPECT_EQ("XS_A", d.elements.back().symbol);
  EXPECT_EQ("MIN", d.elements.back().flags.at(0).name);
  // Unclosed: the innermost open group is named, at its line.
  EXPECT_FALSE(ParseDescription(res, "xs.res", "XS", SampleSymbols(), {}, &d, &error));
  EXPECT_EQ(error.ToString(), "xs.res:100004: expected '}' to close GROUP opened at line 100002");

  std::string str = "STRINGTABLE\n{\n";
  for (int i = 0; i < kLevels; ++i) str += "B" + std::to_string(i) + " {\n";
  str += "A \"deep\";\n";
  closed = str;
  for (int i = 0; i < kLevels; ++i) closed += "};\n";
  closed += "}\n";
  StringTable table;
  ASSERT_TRUE(ParseStringTable(closed, "s.str", "", &table, &error)) << error.ToString();
  EXPECT_THAT(table.texts, ElementsAre(Pair("A", "deep")));
  EXPECT_EQ(StringsError(str),
            "c4d_strings.str:100004: expected '}' to close the block opened at line 100002");
}

}  // namespace
}  // namespace host
