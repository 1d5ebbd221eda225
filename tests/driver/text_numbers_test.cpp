#include "driver/text_numbers.h"

#include <gtest/gtest.h>

#include "tests/support/error_of.h"

#include <limits>

#include "driver/marlin_error.h"

namespace marlin {
namespace {

using marlin::testing::ErrorOf;

struct NumberCase {
  std::string text;
  double expected;
};

class LeadingNumberTest : public ::testing::TestWithParam<NumberCase> {};

TEST_P(LeadingNumberTest, ReadsTheLeadingNumber) {
  EXPECT_DOUBLE_EQ(LeadingNumber(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Texts, LeadingNumberTest,
                         ::testing::Values(NumberCase{"", 0}, NumberCase{"0,\"No error\"\n", 0},
                                           NumberCase{"-221,\"Settings conflict\"\n", -221},
                                           NumberCase{"  \t\n-113,\"Undefined header\"", -113},
                                           NumberCase{"2.20\n", 2.2}, NumberCase{"2.20.05", 2.2},
                                           NumberCase{"V2.2", 0}, NumberCase{"1 0 0", 100},
                                           NumberCase{"+7x", 7}, NumberCase{"1e3,", 1000},
                                           NumberCase{"1e,", 1}, NumberCase{".5", 0.5},
                                           NumberCase{"-", 0}, NumberCase{"abc", 0},
                                           NumberCase{std::string("1\0\0", 3), 1}));

TEST(LeadingNumber, TwoPointTwoIsExactlyTheLiteral) {
  EXPECT_EQ(LeadingNumber("2.20.05"), 2.2);
  EXPECT_EQ(LeadingNumber("2.2\n"), 2.2);
}

struct IntCase {
  std::string text;
  std::int32_t expected;
};

class TextToInt32Test : public ::testing::TestWithParam<IntCase> {};

TEST_P(TextToInt32Test, Converts) { EXPECT_EQ(TextToInt32(GetParam().text), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(Texts, TextToInt32Test,
                         ::testing::Values(IntCase{"5025", 5025}, IntCase{" 80 ", 80},
                                           IntCase{"2.5", 2}, IntCase{"3.5", 4}, IntCase{"-7", -7},
                                           IntCase{"1e3", 1000},
                                           IntCase{"2147483647", 2147483647}));

TEST(TextToInt32, NonNumbersAreATypeMismatch) {
  for (const char* text : {"", "abc", "50x", "5 0", "--1", "."}) {
    const MarlinError e = ErrorOf([&] { TextToInt32(text); });
    EXPECT_EQ(e.Number(), 13) << text;
  }
}

TEST(TextToInt32, OutOfRangeIsAnOverflow) {
  for (const char* text : {"2147483648", "-2147483649", "1e300"}) {
    const MarlinError e = ErrorOf([&] { TextToInt32(text); });
    EXPECT_EQ(e.Number(), 6) << text;
  }
}

// An answer as each route hands it back: LAN bare, VISA with its line feed and NUL fill to 256
// characters, GPIB with its line feed and space padding.
std::string Visa(const std::string& text) {
  std::string filled = text + "\n";
  filled.resize(256, '\0');
  return filled;
}
std::string Gpib(const std::string& text) {
  std::string padded = text + "\n";
  padded.resize(256, ' ');
  return padded;
}

TEST(AnswerToWholeNumber, ReadsTheNumberOfEveryRoutesAnswerForm) {
  const std::pair<const char*, std::int32_t> cases[] = {
      {"2", 2},
      {"-1", -1},
      {"+7", 7},
      {" 10", 10},
      {"0", 0},
      {"2147483647", 2147483647},
      {"-2147483648", std::numeric_limits<std::int32_t>::min()}};
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(AnswerToWholeNumber(text), expected) << text;
    EXPECT_EQ(AnswerToWholeNumber(std::string(text) + "\r\n"), expected) << text;
    EXPECT_EQ(AnswerToWholeNumber(Visa(text)), expected) << text;
    EXPECT_EQ(AnswerToWholeNumber(Gpib(text)), expected) << text;
  }
}

TEST(AnswerToWholeNumber, AnythingElseIsATypeMismatch) {
  for (const std::string& text :
       {std::string("NONE"), Visa("NONE"), Gpib("NONE"), Visa(""), Gpib(""),
        std::string("2\0"
                    "3",
                    3),
        Visa("2 3"), Gpib("-")}) {
    const MarlinError e = ErrorOf([&] { AnswerToWholeNumber(text); });
    EXPECT_EQ(e.Number(), 13) << text.substr(0, 8);
  }
}

// Past 32 bits, however many digits: where long has 32 bits too, a sum kept in one would wrap.
TEST(AnswerToWholeNumber, OutOfRangeIsAnOverflowInEveryRoutesAnswerForm) {
  for (const std::string text :
       {"2147483648", "-2147483649", "4294967296", "99999999999999999999"}) {
    for (const std::string& answer : {text, Visa(text), Gpib(text)}) {
      const MarlinError e = ErrorOf([&] { AnswerToWholeNumber(answer); });
      EXPECT_EQ(e.Number(), 6) << text;
    }
  }
}

TEST(AnswerText, DropsOnlyTheRoutesFillAfterTheText) {
  const std::pair<std::string, std::string> cases[] = {
      {"NONE", "NONE"},
      {Visa("NONE"), "NONE"},
      {Gpib("NONE"), "NONE"},
      {"NONE\r\n", "NONE"},
      {Visa(""), ""},
      {Gpib(""), ""},
      {"\r\n", ""},
      {" LOC ", " LOC"},
      {Visa("0,\"No error\""), "0,\"No error\""},
      {Gpib("a b"), "a b"},
      {std::string("x\0y", 3), std::string("x\0y", 3)},
  };
  for (const auto& [raw, text] : cases) EXPECT_EQ(AnswerText(raw), text) << raw.substr(0, 8);
}

}  // namespace
}  // namespace marlin
