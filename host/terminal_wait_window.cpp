#include "host/terminal_wait_window.h"

#include <cctype>
#include <ostream>
#include <utility>

#include "driver/marlin_error.h"
#include "ui/frm_wait_for_done.h"

#ifndef _WIN32
#include <termios.h>
#include <unistd.h>
#include <csignal>
#endif

namespace marlin {
namespace {

constexpr std::int32_t kTypeMismatch = errors::kTypeMismatch;
constexpr std::int32_t kNoSuchProperty = 438;
constexpr std::int32_t kWhite = 0xFFFFFF;
constexpr const char* kClearLine = "\r\x1b[2K";
constexpr const char* kResetColour = "\x1b[0m";
constexpr const char* kColourNames[] = {"black", "red",     "green", "yellow",
                                        "blue",  "magenta", "cyan",  "white"};

int ColourIndex(std::int32_t colour) {
  const auto channel = [&](int shift) { return ((colour >> shift) & 0xFF) >= 0x80; };
  return (channel(0) ? 1 : 0) | (channel(8) ? 2 : 0) | (channel(16) ? 4 : 0);
}

#ifndef _WIN32
// The terminal's settings to put back if Ctrl-C or a kill ends the program while keys are read.
termios settingsToRestore{};
// What the signals did before; run after the terminal is put back, so that other cleanups run.
struct sigaction intBefore {};
struct sigaction termBefore {};

extern "C" void RestoreTerminalAndEnd(int signal) {
  tcsetattr(STDIN_FILENO, TCSANOW, &settingsToRestore);
  sigaction(signal, signal == SIGINT ? &intBefore : &termBefore, nullptr);
  std::raise(signal);
}

class StdinKeys final : public KeyInput {
 public:
  explicit StdinKeys(const termios& saved) : saved_(saved) {
    settingsToRestore = saved_;
    struct sigaction restore {};
    restore.sa_handler = &RestoreTerminalAndEnd;
    sigaction(SIGINT, &restore, &previousInt_);
    sigaction(SIGTERM, &restore, &previousTerm_);
    intBefore = previousInt_;
    termBefore = previousTerm_;
    termios raw = saved_;
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    tcsetattr(STDIN_FILENO, TCSANOW, &raw);
  }
  ~StdinKeys() override {
    tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
    sigaction(SIGINT, &previousInt_, nullptr);
    sigaction(SIGTERM, &previousTerm_, nullptr);
  }
  StdinKeys(const StdinKeys&) = delete;
  StdinKeys& operator=(const StdinKeys&) = delete;

  std::optional<char> NextKey() override {
    char key = 0;
    if (read(STDIN_FILENO, &key, 1) == 1) return key;
    return std::nullopt;
  }

 private:
  termios saved_;
  struct sigaction previousInt_ {};
  struct sigaction previousTerm_ {};
};
#endif

}  // namespace

std::unique_ptr<KeyInput> TerminalKeyInput() {
#ifndef _WIN32
  termios saved{};
  if (isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &saved) == 0) {
    return std::make_unique<StdinKeys>(saved);
  }
#endif
  return nullptr;
}

std::string TerminalColourName(std::int32_t colour) { return kColourNames[ColourIndex(colour)]; }

TerminalWaitWindow::TerminalWaitWindow(const WaitWindowLayout& layout, WaitWindowEvents& events,
                                       std::ostream& out, TimerQueue& timers,
                                       TerminalWaitStyle style)
    : events_(events),
      out_(out),
      style_(std::move(style)),
      caption_(layout.caption),
      label_(layout.indicatorLabel),
      stopCaption_(layout.stopCaption),
      stopTag_(layout.stopTag) {
  keyTimer_ = timers.CreateTimer([this] { PollKeys(); });
  keyTimer_->SetInterval(style_.keyPollMs);
}

TerminalWaitWindow::~TerminalWaitWindow() = default;

std::vector<std::string> TerminalWaitWindow::ControlNames() const {
  return {kIndicatorControl, kStopControl};
}

std::string TerminalWaitWindow::ControlTag(const std::string& control) const {
  return control == kStopControl ? stopTag_ : std::string();
}

void TerminalWaitWindow::SetControlText(const std::string& control, const std::string& text) {
  if (control == kStopControl) {
    stopCaption_ = text;
  } else if (control == kIndicatorControl) {
    label_ = text;
  } else {
    throw MarlinError(kNoSuchProperty, "The wait window has no control \"" + control + "\"");
  }
  dirty_ = true;
}

void TerminalWaitWindow::SetCaption(const std::string& caption) {
  caption_ = caption;
  dirty_ = true;
}

void TerminalWaitWindow::SetIndicatorProperty(std::int32_t dispId, const IndicatorValue& value) {
  if (dispId == frmWaitForDone::kLabelProperty) {
    const auto* text = std::get_if<std::string>(&value);
    if (!text) throw MarlinError(kTypeMismatch, "Type mismatch: the indicator's label is a text");
    label_ = *text;
  } else if (dispId == frmWaitForDone::kColourProperty) {
    const auto* colour = std::get_if<std::int32_t>(&value);
    if (!colour) {
      throw MarlinError(kTypeMismatch, "Type mismatch: the indicator's colour is a number");
    }
    if (*colour < 0 || *colour > kWhite) {
      throw MarlinError(errors::kInvalidPropertyValue,
                        "Invalid property value: colour " + std::to_string(*colour));
    }
    colour_ = *colour;
  } else {
    throw MarlinError(kNoSuchProperty,
                      "Object doesn't support this property or method: "
                      "indicator property " +
                          std::to_string(dispId));
  }
  dirty_ = true;
}

void TerminalWaitWindow::ShowModeless() {
  if (visible_) return;
  visible_ = true;
  dirty_ = true;
  if (style_.openKeys) keys_ = style_.openKeys();
  keyTimer_->SetEnabled(true);
}

void TerminalWaitWindow::Close() {
  if (!visible_) return;
  visible_ = false;
  keyTimer_->SetEnabled(false);
  keys_.reset();
  // A window closed before the first tick was never seen; show it once so the log tells.
  if (!drawn_) Draw();
  out_ << caption_ << ": wait window closed\n" << std::flush;
}

void TerminalWaitWindow::PollKeys() {
  if (!visible_) return;
  if (dirty_) Draw();
  while (keys_) {
    const std::optional<char> key = keys_->NextKey();
    if (!key) break;
    const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(*key)));
    // Both events close the window, which drops keys_; nothing of it is used afterwards.
    if (lower == style_.stopKey) {
      events_.OnStopClicked();
      return;
    }
    if (*key == style_.closeKey) {
      events_.OnCloseRequest(frmWaitForDone::kCloseByOperator);
      return;
    }
  }
}

// One line per change: the line stays readable when other output follows it.
void TerminalWaitWindow::Draw() {
  dirty_ = false;
  drawn_ = true;
  const std::string colourName = TerminalColourName(colour_);
  if (style_.ansiColours) {
    out_ << kClearLine << "\x1b[1;" << (30 + ColourIndex(colour_)) << "m[" << label_ << "]"
         << kResetColour;
  } else {
    out_ << "[" << label_ << ", " << colourName << "]";
  }
  out_ << " " << caption_;
  if (keys_) out_ << " (press " << style_.stopKey << " for " << stopCaption_ << ")";
  out_ << "\n" << std::flush;
}

}  // namespace marlin
