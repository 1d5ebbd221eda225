#pragma once
// The wait window of a terminal host: a status line with the indicator's label in its colour, the
// caption, and a key that acts as STOP. A timer of the host's thread draws changes and polls the
// keys, so both happen while the host's wait delivers ticks: STOP works while the amplifier
// switches, and the settings made right after showing the window appear as one line.
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "driver/host_services.h"
#include "host/timer_queue.h"
#include "ui/frm_wait_for_done.h"

namespace marlin {

// Keys typed by the operator, read without blocking.
class KeyInput {
 public:
  virtual ~KeyInput() = default;
  virtual std::optional<char> NextKey() = 0;
};

// Standard input while it is a terminal, one key at a time without echo, restored when the
// object goes. Null when standard input is not a terminal: then its bytes belong to a script.
std::unique_ptr<KeyInput> TerminalKeyInput();

struct TerminalWaitStyle {
  bool ansiColours = false;
  // Opened while the window is shown; may give null (no keys).
  std::function<std::unique_ptr<KeyInput>()> openKeys;
  char stopKey = 's';
  char closeKey = '\x1b';  // Esc: the window's close control
  std::int32_t keyPollMs = 100;
};

class TerminalWaitWindow final : public WaitWindowView {
 public:
  static constexpr const char* kIndicatorControl = frmWaitForDone::kIndicatorControl;
  static constexpr const char* kStopControl = frmWaitForDone::kStopControl;

  TerminalWaitWindow(const WaitWindowLayout& layout, WaitWindowEvents& events, std::ostream& out,
                     TimerQueue& timers, TerminalWaitStyle style);
  ~TerminalWaitWindow() override;
  TerminalWaitWindow(const TerminalWaitWindow&) = delete;
  TerminalWaitWindow& operator=(const TerminalWaitWindow&) = delete;

  std::vector<std::string> ControlNames() const override;
  std::string ControlTag(const std::string& control) const override;
  void SetControlText(const std::string& control, const std::string& text) override;

  void SetCaption(const std::string& caption) override;
  std::string Caption() const override { return caption_; }
  // Raises 438 for another property, 13 for a value of the wrong kind and 380 for a colour
  // outside 0x000000 to 0xFFFFFF.
  void SetIndicatorProperty(std::int32_t dispId, const IndicatorValue& value) override;
  void ShowModeless() override;
  void Close() override;
  bool Visible() const override { return visible_; }

  const std::string& Label() const { return label_; }
  std::int32_t Colour() const { return colour_; }
  const std::string& StopCaption() const { return stopCaption_; }

 private:
  void PollKeys();
  void Draw();

  WaitWindowEvents& events_;
  std::ostream& out_;
  TerminalWaitStyle style_;
  std::string caption_;
  std::string label_;
  std::int32_t colour_ = 0;
  std::string stopCaption_;
  std::string stopTag_;
  bool visible_ = false;
  bool dirty_ = false;  // changed since last drawn; drawn at the next tick
  bool drawn_ = false;
  std::unique_ptr<KeyInput> keys_;
  std::unique_ptr<HostTimer> keyTimer_;
};

// "red", "green", ... : the nearest of the eight terminal colours to a 0x00BBGGRR value.
std::string TerminalColourName(std::int32_t colour);

}  // namespace marlin
