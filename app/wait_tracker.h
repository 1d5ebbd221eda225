#pragma once
// What the driver is waiting for, followed from its trace lines and its calls of the host's
// wait service: a confirmation poll or band switch (one activity over many waits) or a pause,
// each named and limited by the driver's own wait table.
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "clock/clock.h"
#include "control/wait_table.h"

namespace marlin::cli {

struct WaitActivity {
  std::string what;
  Clock::Duration elapsed{};             // on the host's clock
  std::optional<Clock::Duration> limit;  // unset when the driver's limit is not known here
};

class WaitListener {
 public:
  virtual ~WaitListener() = default;
  virtual void WaitBegan(const WaitActivity& activity) = 0;
  virtual void WaitProgressed(const WaitActivity& activity) = 0;
  virtual void WaitEnded(const WaitActivity& activity) = 0;
};

class WaitTracker {
 public:
  WaitTracker(std::shared_ptr<Clock> clock, WaitListener& listener);

  void ProcedureStarted(const std::string& label, const std::string& data);
  void ProcedureEnded(const std::string& label);
  // A new host call: procedures that an error left without their end line are dropped.
  void Reset();

  void WaitStarting(double milliseconds);
  void WaitGoingOn();
  void WaitFinished();

  const Clock& TimeBase() const { return *clock_; }

 private:
  struct Frame {
    std::string label;
    std::string data;
    Clock::Duration started{};
    bool polling = false;  // its waits are one activity that spans the whole procedure
  };
  struct Current {
    WaitActivity activity;
    Clock::Duration started{};
    bool spansProcedure = false;
    std::size_t frame = 0;  // the procedure it spans
  };

  // The driver's entry for a wait that starts now, null for one it does not list.
  const timing::DriverWait* TableEntry(double milliseconds) const;
  WaitActivity Describe(const timing::DriverWait* wait, double milliseconds) const;
  void Progress();
  void End();

  std::shared_ptr<Clock> clock_;
  WaitListener& listener_;
  std::vector<Frame> frames_;
  std::optional<Current> current_;
  bool quiet_ = false;  // the wait under way is not shown
};

}  // namespace marlin::cli
