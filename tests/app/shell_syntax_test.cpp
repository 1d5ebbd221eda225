#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/shell_syntax.h"

namespace marlin::cli {
namespace {

using ::testing::HasSubstr;

ShellCommand Command(ShellVerb verb) {
  ShellCommand c;
  c.verb = verb;
  return c;
}
ShellCommand WithText(ShellVerb verb, std::string text) {
  ShellCommand c = Command(verb);
  c.text = std::move(text);
  return c;
}
ShellCommand WithNumber(ShellVerb verb, std::int32_t n) {
  ShellCommand c = Command(verb);
  c.number = n;
  return c;
}
ShellCommand Get(DeviceProperty p) {
  ShellCommand c = Command(ShellVerb::Get);
  c.property = p;
  return c;
}
ShellCommand Band(std::int32_t path, std::int32_t mode, std::int32_t opClass) {
  ShellCommand c = Command(ShellVerb::AmplParams);
  c.params = {path, mode, opClass};
  return c;
}

struct GoodLine {
  std::string line;
  ShellCommand expected;
};

class ParsesCommand : public ::testing::TestWithParam<GoodLine> {};

TEST_P(ParsesCommand, IntoTheHostCall) {
  const ParsedLine parsed = ParseShellLine(GetParam().line);
  ASSERT_TRUE(std::holds_alternative<ShellCommand>(parsed)) << std::get<SyntaxError>(parsed).what;
  EXPECT_EQ(std::get<ShellCommand>(parsed), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ParsesCommand,
    ::testing::Values(
        GoodLine{"new", Command(ShellVerb::New)}, GoodLine{"release", Command(ShellVerb::Release)},
        GoodLine{"name AMP1", WithText(ShellVerb::Name, "AMP1")},
        // The rest of the line, blanks and all, after the one blank ending the word.
        GoodLine{"name  My amp ", WithText(ShellVerb::Name, " My amp ")},
        GoodLine{"name", WithText(ShellVerb::Name, "")},
        GoodLine{"name ", WithText(ShellVerb::Name, "")},
        GoodLine{std::string("name A\0B", 8), WithText(ShellVerb::Name, std::string("A\0B", 3))},
        GoodLine{"name A\rB\r", WithText(ShellVerb::Name, "A\rB")},
        GoodLine{"  check\r", Command(ShellVerb::Check)},
        GoodLine{"status 1", WithNumber(ShellVerb::Status, 1)},
        GoodLine{"status\t-2147483648", WithNumber(ShellVerb::Status, INT32_MIN)},
        GoodLine{"setstate +3", WithNumber(ShellVerb::SetState, 3)},
        GoodLine{"setstate 2147483647 ", WithNumber(ShellVerb::SetState, INT32_MAX)},
        GoodLine{"get maxfrequency", Get(DeviceProperty::MaxFrequency)},
        GoodLine{"get info", Get(DeviceProperty::Info)},
        GoodLine{"interfaces", WithText(ShellVerb::Interfaces, "")},
        GoodLine{"interfaces PA4400 Amplifier",
                 WithText(ShellVerb::Interfaces, "PA4400 Amplifier")},
        GoodLine{"amplparams bandpath=2 outputmode=0 operatingclass=1", Band(2, 0, 1)},
        GoodLine{"amplparams operatingclass=-1 bandpath=10 outputmode=7", Band(10, 7, -1)},
        GoodLine{"checkforerror", Command(ShellVerb::CheckForError)},
        GoodLine{"params", Command(ShellVerb::Params)},
        GoodLine{"quit", Command(ShellVerb::Quit)}));

struct BadLine {
  std::string line;
  std::string why;
};

class RefusesLine : public ::testing::TestWithParam<BadLine> {};

TEST_P(RefusesLine, SayingWhatIsWrong) {
  const ParsedLine parsed = ParseShellLine(GetParam().line);
  ASSERT_TRUE(std::holds_alternative<SyntaxError>(parsed)) << GetParam().line;
  EXPECT_THAT(std::get<SyntaxError>(parsed).what, HasSubstr(GetParam().why));
}

INSTANTIATE_TEST_SUITE_P(
    Lines, RefusesLine,
    ::testing::Values(BadLine{"Check", "unknown command \"Check\"; commands: new, release"},
                      BadLine{"frobnicate now", "unknown command \"frobnicate\""},
                      BadLine{"check now", "check: takes no argument"},
                      BadLine{"status", "status: takes one whole number"},
                      BadLine{"status 1 2", "status: takes one whole number"},
                      BadLine{"status one", "expected a whole number, not \"one\""},
                      BadLine{"status 1.5", "expected a whole number, not \"1.5\""},
                      BadLine{"status +-1", "expected a whole number"},
                      BadLine{"setstate 2147483648", "\"2147483648\" is outside the 32-bit range"},
                      BadLine{"setstate -99999999999999999999", "is outside the 32-bit range"},
                      BadLine{"get", "get: takes one property name"},
                      BadLine{"get colour", "unknown property \"colour\""},
                      BadLine{"amplparams bandpath=2 outputmode=0", "operatingclass is missing"},
                      BadLine{"amplparams bandpath=2 bandpath=3 outputmode=0 operatingclass=1",
                              "bandpath is given twice"},
                      BadLine{"amplparams band=2", "unknown key \"band\""},
                      BadLine{"amplparams bandpath 2", "expected key=value"},
                      BadLine{"amplparams bandpath=x outputmode=0 operatingclass=1",
                              "bandpath: expected a whole number"},
                      BadLine{"x" + std::string(kLongestShellLine, 'y'),
                              "longer than 65536 bytes"}));

TEST(ShellSyntax, BlankLinesAreSkipped) {
  for (const char* line : {"", " \t ", "\r"}) {
    EXPECT_TRUE(std::holds_alternative<EmptyLine>(ParseShellLine(line))) << '"' << line << '"';
  }
}

TEST(ShellSyntax, EchoedTextIsCut) {
  const ParsedLine parsed = ParseShellLine(std::string(500, 'z'));
  const std::string& what = std::get<SyntaxError>(parsed).what;
  EXPECT_LT(what.size(), 300u);
  EXPECT_THAT(what, HasSubstr("...\""));
}

}  // namespace
}  // namespace marlin::cli
