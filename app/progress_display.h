#pragma once
// Shows the driver's waits: on a terminal one line redrawn while the wait goes on, elsewhere one
// plain line per finished wait. Each line says what is awaited, how long it took so far on the
// host's clock, and the limit.
#include <chrono>
#include <iosfwd>
#include <string>

#include "app/wait_tracker.h"

namespace marlin::cli {

class ProgressDisplay final : public WaitListener {
 public:
  ProgressDisplay(std::ostream& out, bool live, std::string indent = "      ");

  void WaitBegan(const WaitActivity& activity) override;
  void WaitProgressed(const WaitActivity& activity) override;
  void WaitEnded(const WaitActivity& activity) override;

  // "1.5 s of 30.0 s  waiting for Operate to be confirmed"
  static std::string Line(const WaitActivity& activity);

 private:
  void Redraw(const WaitActivity& activity);

  std::ostream& out_;
  bool live_;
  std::string indent_;
  std::chrono::steady_clock::time_point lastDrawn_{};
};

}  // namespace marlin::cli
