#include <gtest/gtest.h>

#include <limits>
#include <nlohmann/json.hpp>

#include "app/shell_printer.h"
#include "text/json_writer.h"

namespace marlin::cli {
namespace {

struct Printed {
  ShellResult result;
  std::string line;
};

class PrintsResult : public ::testing::TestWithParam<Printed> {};

TEST_P(PrintsResult, AsOneLine) { EXPECT_EQ(ResultLine(GetParam().result), GetParam().line); }

INSTANTIATE_TEST_SUITE_P(
    Results, PrintsResult,
    ::testing::Values(
        Printed{ShellValue{}, "ok"}, Printed{ShellValue{std::int64_t{-4040}}, "ok -4040"},
        Printed{ShellValue{6e9}, "ok 6e+09"}, Printed{ShellValue{80e6}, "ok 8e+07"},
        Printed{ShellValue{12345.5}, "ok 12345.5"}, Printed{ShellValue{0.1}, "ok 0.1"},
        Printed{ShellValue{1.0 / 3}, "ok 0.3333333333333333"},
        Printed{ShellValue{std::string()}, "ok \"\""},
        Printed{ShellValue{std::string("-113,\"Undefined header\"\n\0", 25)},
                R"(ok "-113,\"Undefined header\"\n\u0000")"},
        Printed{ShellValue{std::vector<std::string>{"", "a\rb", "c"}}, R"(ok ["","a\rb","c"])"},
        Printed{ShellValue{std::vector<std::int32_t>{10, 50, 60}}, "ok [10,50,60]"},
        Printed{ShellError{4040, "Marlin Amplifier-AMP1: no\tanswer"},
                R"(error 4040 "Marlin Amplifier-AMP1: no\tanswer")"},
        Printed{ShellError{0, "back\\slash"}, R"(error 0 "back\\slash")"}));

TEST(JsonText, NumbersReadBackExactly) {
  for (double d : {0.1, 1e-300, 123456789.123, -2.5e-7, std::numeric_limits<double>::max()}) {
    EXPECT_EQ(nlohmann::json::parse(text::JsonNumber(d)).get<double>(), d);
  }
}

}  // namespace
}  // namespace marlin::cli
