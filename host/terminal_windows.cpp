#include "host/terminal_windows.h"

#include "host/printable_text.h"

#include <cstdio>
#include <iostream>
#include <limits>
#include <utility>

#include "driver/marlin_error.h"
#include "host/terminal_wait_window.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace marlin {
namespace {

bool StdinIsTerminal() {
#ifdef _WIN32
  return _isatty(_fileno(stdin)) != 0;
#else
  return isatty(STDIN_FILENO) != 0;
#endif
}

}  // namespace

TerminalWindows::TerminalWindows(std::shared_ptr<TimerQueue> timers, std::ostream& console,
                                 std::shared_ptr<JsonLinesFile> record, TracedDeviceSource device)
    : timers_(std::move(timers)),
      console_(console),
      record_(std::move(record)),
      device_(std::move(device)) {}

std::unique_ptr<WaitWindowView> TerminalWindows::CreateWaitWindow(const WaitWindowLayout& layout,
                                                                  WaitWindowEvents& events) {
  TerminalWaitStyle style;
#ifndef _WIN32
  style.ansiColours = &console_ == &std::cerr && isatty(STDERR_FILENO) != 0;
#endif
  style.openKeys = &TerminalKeyInput;
  return std::make_unique<TerminalWaitWindow>(layout, events, console_, *timers_, std::move(style));
}

void TerminalWindows::ShowMessageBox(const std::string& text, const std::string& title,
                                     std::int32_t /*style*/) {
  if (record_) record_->MessageBox(text, title, device_ ? device_() : std::string());
  console_ << "[" + Printable(title) + "] " + Printable(text) + "\n" << std::flush;
  if (StdinIsTerminal()) {
    console_ << "Press Enter to continue." << std::flush;
    std::cin.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
  }
}

std::unique_ptr<HostTimer> TerminalWindows::CreateTimer(std::function<void()> tick) {
  return timers_->CreateTimer(std::move(tick));
}

}  // namespace marlin
