#include "host/printable_text.h"

#include <gtest/gtest.h>

namespace marlin::testing {
namespace {

TEST(Printable, EscapesWhatATerminalWouldObeyAndKeepsTheRest) {
  const struct {
    std::string text, shown;
  } cases[] = {
      {"PA4415,SW:2.20", "PA4415,SW:2.20"},
      {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x94\x8a", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x94\x8a"},
      {"\x1b]0;owned\x07", "\\x1B]0;owned\\x07"},
      {"a\r\n\tb\x7f", "a\\x0D\\x0A\\x09b\\x7F"},
      {std::string("nul\0x", 5), "nul\\x00x"},
      {"csi \xc2\x9b"
       "2J",
       "csi \\u009B2J"},                     // C1 control, valid UTF-8
      {"nbsp \xc2\xa0.", "nbsp \xc2\xa0."},  // first character after the C1 range
      {"latin-1 \xe9t\xe9", "latin-1 \\xE9t\\xE9"},
      {"lone \x9b", "lone \\x9B"},
      {"overlong \xc0\xaf", "overlong \\xC0\\xAF"},
      {"surrogate \xed\xa0\x80", "surrogate \\xED\\xA0\\x80"},
      {"cut \xe2\x82", "cut \\xE2\\x82"},
      {"beyond \xf4\x90\x80\x80", "beyond \\xF4\\x90\\x80\\x80"},
  };
  for (const auto& c : cases) EXPECT_EQ(Printable(c.text), c.shown) << c.shown;
}

TEST(Printable, CutsLongTextsAndMarksTheCut) {
  EXPECT_EQ(Printable(std::string(10, 'x'), 10), std::string(10, 'x'));
  EXPECT_EQ(Printable(std::string(11, 'x'), 10), std::string(10, 'x') + "...");
  EXPECT_EQ(Capped(std::string(kLongestQuoted, 'y')), std::string(kLongestQuoted, 'y'));
  EXPECT_EQ(Capped(std::string(kLongestQuoted + 1, 'y')), std::string(kLongestQuoted, 'y') + "...");
  EXPECT_EQ(Capped("ab\xc3\xa9", 3), "ab...") << "a character is not split";
}

}  // namespace
}  // namespace marlin::testing
