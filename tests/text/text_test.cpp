#include <gtest/gtest.h>

#include <toml++/toml.h>
#include <nlohmann/json.hpp>
#include <string>

#include "text/json_writer.h"
#include "text/quoted_string.h"
#include "text/utf8.h"

namespace marlin::text {
namespace {

const std::string R = std::string(kReplacement);

struct Escaping {
  std::string name;
  std::string bytes;
  std::string escaped;  // between the quotes
  bool valid;           // the bytes are UTF-8 as they stand
};

void PrintTo(const Escaping& c, std::ostream* out) { *out << c.name; }

class QuotedStrings : public ::testing::TestWithParam<Escaping> {};

TEST_P(QuotedStrings, EscapeControlsAndReplaceEachByteThatIsNotUtf8) {
  const Escaping& c = GetParam();
  EXPECT_EQ(JsonString(c.bytes), "\"" + c.escaped + "\"");
  EXPECT_EQ(TomlString(c.bytes), "\"" + c.escaped + "\"");
  EXPECT_EQ(IsValidUtf8(c.bytes), c.valid);
  EXPECT_EQ(ValidUtf8(c.bytes) == c.bytes, c.valid);
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, QuotedStrings,
    ::testing::Values(Escaping{"Plain", "AMP1 80-1000 MHz", "AMP1 80-1000 MHz", true},
                      Escaping{"QuoteAndBackslash", "say \"a\\b\"", "say \\\"a\\\\b\\\"", true},
                      Escaping{"LineEnds", "a\r\nb\tc", "a\\r\\nb\\tc", true},
                      Escaping{"OtherControls", std::string("\0\x01\b\f\x1b\x1f", 6),
                               "\\u0000\\u0001\\u0008\\u000c\\u001b\\u001f", true},
                      Escaping{"Delete", "\x7f", "\\u007f", true},
                      Escaping{"TwoBytes", "Verst\xC3\xA4rker", "Verst\xC3\xA4rker", true},
                      Escaping{"ThreeBytes", "5 \xE2\x82\xAC", "5 \xE2\x82\xAC", true},
                      Escaping{"FourBytes", "\xF0\x9F\x93\xA1", "\xF0\x9F\x93\xA1", true},
                      Escaping{"HighestCodePoint", "\xF4\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF", true},
                      Escaping{"StrayContinuation", "a\x80z", "a" + R + "z", false},
                      Escaping{"OverlongTwoBytes", "\xC0\xAF", R + R, false},
                      Escaping{"OverlongThreeBytes", "\xE0\x80\xAF", R + R + R, false},
                      Escaping{"OverlongFourBytes", "\xF0\x80\x80\xAF", R + R + R + R, false},
                      Escaping{"Surrogate", "\xED\xA0\x80", R + R + R, false},
                      Escaping{"AboveTheHighestCodePoint", "\xF4\x90\x80\x80", R + R + R + R,
                               false},
                      Escaping{"NoSuchLead", "\xF5\xFE\xFF", R + R + R, false},
                      Escaping{"CutAtTheEnd", "ok\xE2\x82", "ok" + R + R, false},
                      Escaping{"CutBeforeAscii", "\xF0\x9F\x93\"", R + R + R + "\\\"", false},
                      Escaping{"Latin1Byte", "caf\xE9", "caf" + R, false}),
    [](const ::testing::TestParamInfo<Escaping>& info) { return info.param.name; });

std::string AllBytes() {
  std::string all;
  for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
  return all + "\xC3\xA4\xF0\x9F\x93\xA1";
}

TEST(QuotedStrings, EveryByteStringReadsBackAsItsValidUtf8InJsonAndToml) {
  const std::string all = AllBytes();
  const std::string expected = ValidUtf8(all);
  ASSERT_TRUE(IsValidUtf8(expected));
  EXPECT_EQ(expected.substr(0, 128), all.substr(0, 128));
  EXPECT_EQ(nlohmann::json::parse(JsonString(all)).get<std::string>(), expected);
  const std::string file = "key = " + TomlString(all) + "\n";
  EXPECT_EQ(toml::parse(std::string_view(file))["key"].value<std::string>(), expected);
}

TEST(Utf8, EachLengthEncodesAndDecodesAtItsBounds) {
  const std::pair<char32_t, std::string> cases[] = {{0x41, "A"},
                                                    {0x7F, "\x7F"},
                                                    {0x80, "\xC2\x80"},
                                                    {0x7FF, "\xDF\xBF"},
                                                    {0x800, "\xE0\xA0\x80"},
                                                    {0xFFFD, R},
                                                    {0x10000, "\xF0\x90\x80\x80"},
                                                    {0x10FFFF, "\xF4\x8F\xBF\xBF"}};
  for (const auto& [code, bytes] : cases) {
    std::string encoded;
    AppendUtf8(encoded, code);
    EXPECT_EQ(encoded, bytes) << std::hex << static_cast<unsigned>(code);
    EXPECT_EQ(CodePointAt(bytes, 0, Utf8SequenceLength(bytes, 0)), code)
        << std::hex << static_cast<unsigned>(code);
  }
}

TEST(JsonObject, FieldsInOrderWithNestedObjectsAndEscapedText) {
  const std::string line =
      JsonObject()
          .Text("event", "start")
          .Json("report", JsonObject().Number("number", -4040).Text("text", "a\"\x01\xFF").Line())
          .Boolean("terminated", false)
          .Line();
  EXPECT_EQ(line, "{\"event\":\"start\",\"report\":{\"number\":-4040,\"text\":\"a\\\"\\u0001" + R +
                      "\"},\"terminated\":false}");
  EXPECT_EQ(JsonObject().Line(), "{}");
}

// ASCII text other than \b, \f and DEL comes out as a standard writer's compact form, so trace
// files and transcripts of ordinary traffic read as before.
TEST(JsonObject, AsciiTextIsWrittenAsAStandardWriterWritesIt) {
  std::string ascii;
  for (int c = 1; c < 0x7F; ++c) {
    if (c != '\b' && c != '\f') ascii += static_cast<char>(c);
  }
  for (const std::string& value : {ascii, std::string("RF:BAND:PATH 2"), std::string()}) {
    nlohmann::ordered_json expected{{"event", value}, {"line", -7}, {"inner", {{"text", value}}}};
    EXPECT_EQ(JsonObject()
                  .Text("event", value)
                  .Number("line", -7)
                  .Json("inner", JsonObject().Text("text", value).Line())
                  .Line(),
              expected.dump());
  }
}

}  // namespace
}  // namespace marlin::text
