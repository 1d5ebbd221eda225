#pragma once
// Line editing for a person at a terminal: a prompt, cursor keys, history. The editing rules
// are a plain state machine fed with bytes, kept apart from the terminal they come from.
#include <cstddef>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/line_source.h"

namespace marlin::cli {

class LineEditState {
 public:
  enum class Outcome { Editing, Done, EndOfInput, Interrupted };

  // `history` (oldest first) may be browsed with the up and down keys; it is not changed.
  LineEditState(const std::vector<std::string>& history, std::size_t limit);

  Outcome Feed(char byte);
  const std::string& Text() const { return text_; }
  std::size_t Cursor() const { return cursor_; }

 private:
  Outcome Control(char byte);
  void Escape(char final, const std::string& parameter);
  void Browse(int step);

  const std::vector<std::string>& history_;
  std::size_t limit_;
  std::string text_;
  std::size_t cursor_ = 0;
  std::size_t browsing_;  // history index shown; history_.size() is the line being written
  std::string draft_;     // the line being written while the history is browsed
  int escape_ = 0;        // 0 none, 1 after ESC, 2 in a CSI or SS3 sequence
  std::string parameter_;
};

// The console's lines, edited; the console is in raw mode only while a line is being read.
class TerminalLines final : public LineSource {
 public:
  TerminalLines(std::ostream& screen, std::string prompt, std::size_t limit);
  std::optional<std::string> NextLine() override;

 private:
  void Redraw(const LineEditState& state);

  std::ostream& screen_;
  std::string prompt_;
  std::size_t limit_;
  std::vector<std::string> history_;
};

// Edited lines when standard input is a terminal, else the plain stream.
std::unique_ptr<LineSource> ConsoleLines(std::istream& in, const std::string& prompt,
                                         std::size_t limit);

}  // namespace marlin::cli
