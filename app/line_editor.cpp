#include "app/line_editor.h"

#include <iostream>

#include "platform/console.h"

namespace marlin::cli {
namespace {

constexpr char kEscape = '\x1b';
constexpr std::size_t kHistoryLength = 500;

char Ctrl(char letter) { return static_cast<char>(letter & 0x1F); }

}  // namespace

LineEditState::LineEditState(const std::vector<std::string>& history, std::size_t limit)
    : history_(history), limit_(limit), browsing_(history.size()) {}

LineEditState::Outcome LineEditState::Feed(char byte) {
  if (escape_ == 1) {
    escape_ = (byte == '[' || byte == 'O') ? 2 : 0;
    parameter_.clear();
    return Outcome::Editing;
  }
  if (escape_ == 2) {
    if ((byte >= '0' && byte <= '9') || byte == ';') {
      if (parameter_.size() < 8) parameter_ += byte;
      return Outcome::Editing;
    }
    escape_ = 0;
    Escape(byte, parameter_);
    return Outcome::Editing;
  }
  const auto c = static_cast<unsigned char>(byte);
  if (c < 0x20 || c == 0x7F) return Control(byte);
  if (text_.size() < limit_) {
    text_.insert(cursor_, 1, byte);
    ++cursor_;
  }
  return Outcome::Editing;
}

LineEditState::Outcome LineEditState::Control(char byte) {
  if (byte == '\r' || byte == '\n') return Outcome::Done;
  if (byte == kEscape) {
    escape_ = 1;
  } else if (byte == Ctrl('C')) {
    return Outcome::Interrupted;
  } else if (byte == Ctrl('D')) {
    if (text_.empty()) return Outcome::EndOfInput;
    if (cursor_ < text_.size()) text_.erase(cursor_, 1);
  } else if (byte == '\x7f' || byte == Ctrl('H')) {
    if (cursor_ > 0) text_.erase(--cursor_, 1);
  } else if (byte == Ctrl('A')) {
    cursor_ = 0;
  } else if (byte == Ctrl('E')) {
    cursor_ = text_.size();
  } else if (byte == Ctrl('B')) {
    if (cursor_ > 0) --cursor_;
  } else if (byte == Ctrl('F')) {
    if (cursor_ < text_.size()) ++cursor_;
  } else if (byte == Ctrl('U')) {
    text_.erase(0, cursor_);
    cursor_ = 0;
  } else if (byte == Ctrl('K')) {
    text_.erase(cursor_);
  } else if (byte == Ctrl('W')) {
    std::size_t start = cursor_;
    while (start > 0 && text_[start - 1] == ' ') --start;
    while (start > 0 && text_[start - 1] != ' ') --start;
    text_.erase(start, cursor_ - start);
    cursor_ = start;
  } else if (byte == Ctrl('P')) {
    Browse(-1);
  } else if (byte == Ctrl('N')) {
    Browse(+1);
  }
  return Outcome::Editing;
}

void LineEditState::Escape(char final, const std::string& parameter) {
  switch (final) {
    case 'A':
      Browse(-1);
      break;
    case 'B':
      Browse(+1);
      break;
    case 'C':
      Control(Ctrl('F'));
      break;
    case 'D':
      Control(Ctrl('B'));
      break;
    case 'H':
      cursor_ = 0;
      break;
    case 'F':
      cursor_ = text_.size();
      break;
    case '~':
      if (parameter == "1" || parameter == "7") cursor_ = 0;
      if (parameter == "4" || parameter == "8") cursor_ = text_.size();
      if (parameter == "3" && cursor_ < text_.size()) text_.erase(cursor_, 1);
      break;
    default:
      break;
  }
}

void LineEditState::Browse(int step) {
  if (step < 0 && browsing_ == 0) return;
  if (step > 0 && browsing_ >= history_.size()) return;
  if (browsing_ == history_.size()) draft_ = text_;
  browsing_ = step < 0 ? browsing_ - 1 : browsing_ + 1;
  text_ = browsing_ == history_.size() ? draft_ : history_[browsing_];
  cursor_ = text_.size();
}

TerminalLines::TerminalLines(std::ostream& screen, std::string prompt, std::size_t limit)
    : screen_(screen), prompt_(std::move(prompt)), limit_(limit) {}

void TerminalLines::Redraw(const LineEditState& state) {
  screen_ << "\r" << prompt_ << state.Text() << "\x1b[K";
  const std::size_t back = state.Text().size() - state.Cursor();
  if (back > 0) screen_ << "\x1b[" << back << "D";
  screen_ << std::flush;
}

std::optional<std::string> TerminalLines::NextLine() {
  for (;;) {
    LineEditState state(history_, limit_);
    LineEditState::Outcome outcome = LineEditState::Outcome::Editing;
    {
      platform::RawConsoleInput raw;
      Redraw(state);
      while (outcome == LineEditState::Outcome::Editing) {
        char byte = 0;
        if (!raw.ReadByte(byte)) {
          outcome = LineEditState::Outcome::EndOfInput;
          break;
        }
        outcome = state.Feed(byte);
        if (outcome == LineEditState::Outcome::Editing) Redraw(state);
      }
    }
    screen_ << "\r\n" << std::flush;
    if (outcome == LineEditState::Outcome::EndOfInput) return std::nullopt;
    if (outcome == LineEditState::Outcome::Interrupted) continue;
    const std::string& line = state.Text();
    if (!line.empty() && (history_.empty() || history_.back() != line)) {
      history_.push_back(line);
      if (history_.size() > kHistoryLength) history_.erase(history_.begin());
    }
    return line;
  }
}

std::unique_ptr<LineSource> ConsoleLines(std::istream& in, const std::string& prompt,
                                         std::size_t limit) {
  using platform::ConsoleStream;
  if (&in == &std::cin && platform::ShellEditsLines() &&
      platform::IsConsole(ConsoleStream::Input)) {
    // The prompt goes to the terminal even when the results are redirected.
    std::ostream& screen = platform::IsConsole(ConsoleStream::Output) ? std::cout : std::cerr;
    return std::make_unique<TerminalLines>(screen, prompt, limit);
  }
  return std::make_unique<StreamLines>(in, limit);
}

}  // namespace marlin::cli
