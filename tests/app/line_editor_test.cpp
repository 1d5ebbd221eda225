#include <gtest/gtest.h>

#include "app/line_editor.h"

namespace marlin::cli {
namespace {

struct Keys {
  std::string typed;
  std::string line;  // the text when the outcome comes
  LineEditState::Outcome outcome;
};

class EditsLine : public ::testing::TestWithParam<Keys> {};

TEST_P(EditsLine, AsTheKeysSay) {
  const std::vector<std::string> history{"name AMP1", "check"};
  LineEditState state(history, 20);
  LineEditState::Outcome outcome = LineEditState::Outcome::Editing;
  for (char c : GetParam().typed) {
    outcome = state.Feed(c);
    if (outcome != LineEditState::Outcome::Editing) break;
  }
  EXPECT_EQ(outcome, GetParam().outcome);
  EXPECT_EQ(state.Text(), GetParam().line);
}

using O = LineEditState::Outcome;
INSTANTIATE_TEST_SUITE_P(
    Keys, EditsLine,
    ::testing::Values(Keys{"getstate\r", "getstate", O::Done},
                      Keys{"gte\x7f\x7ftstate\n", "gtstate", O::Done},
                      // left twice, insert, end, append
                      Keys{"chck\x1b[D\x1b[De\x1b[F!\r", "check!", O::Done},
                      Keys{"x\x01y\r", "yx", O::Done},            // Ctrl-A: start of line
                      Keys{"abc def\x17\r", "abc ", O::Done},     // Ctrl-W: word before
                      Keys{"abc\x02\x02\x0b\r", "a", O::Done},    // Ctrl-K: to the end
                      Keys{"abc\x1b[D\x1b[3~\r", "ab", O::Done},  // Delete
                      Keys{"\x1b[A\r", "check", O::Done},         // up: the last line
                      Keys{"new\x1b[A\x1b[A\x1b[A\x1b[B\r", "check", O::Done},
                      Keys{"new\x1b[A\x1b[B\r", "new", O::Done},  // down again: the draft
                      Keys{"\x04", "", O::EndOfInput},            // Ctrl-D on an empty line
                      Keys{"ab\x03", "ab", O::Interrupted},
                      Keys{"0123456789012345678901234\r", "01234567890123456789", O::Done}));

}  // namespace
}  // namespace marlin::cli
