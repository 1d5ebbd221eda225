#include "app/progress_display.h"

#include <cstdio>
#include <ostream>

#include "clock/clock.h"

namespace marlin::cli {
namespace {

constexpr const char* kClearLine = "\r\x1b[2K";
// Redraws are limited so a fast clock does not flood the terminal.
constexpr std::chrono::milliseconds kRedrawInterval{50};

std::string Seconds(Clock::Duration span) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", ToMilliseconds(span) / 1000.0);
  return text;
}

}  // namespace

ProgressDisplay::ProgressDisplay(std::ostream& out, bool live, std::string indent)
    : out_(out), live_(live), indent_(std::move(indent)) {}

std::string ProgressDisplay::Line(const WaitActivity& activity) {
  std::string line = Seconds(activity.elapsed);
  line += activity.limit ? " of " + Seconds(*activity.limit) : std::string(", no known limit");
  return line + "  " + activity.what;
}

void ProgressDisplay::Redraw(const WaitActivity& activity) {
  out_ << kClearLine << indent_ << "waiting " << Line(activity) << std::flush;
  lastDrawn_ = std::chrono::steady_clock::now();
}

void ProgressDisplay::WaitBegan(const WaitActivity& activity) {
  if (live_) Redraw(activity);
}

void ProgressDisplay::WaitProgressed(const WaitActivity& activity) {
  if (live_ && std::chrono::steady_clock::now() - lastDrawn_ >= kRedrawInterval) Redraw(activity);
}

void ProgressDisplay::WaitEnded(const WaitActivity& activity) {
  if (live_) out_ << kClearLine;
  out_ << indent_ << "waited  " << Line(activity) << '\n' << std::flush;
}

}  // namespace marlin::cli
