#pragma once
// What the driver is waiting for, followed from its trace lines and its calls of the host's
// wait service: a confirmation poll or band switch (one activity over many waits) or a pause,
// each named and limited by the driver's own wait table, with the limit of this route.
//
// An activity's time is what the driver spent in its waits: a wait that returned counts its
// length, one under way what it has run up to its length. So it never passes the table's limit;
// the exchanges between the waits take what the amplifier takes and are not counted. The route's
// query pause (VISA's) is learnt from the pauses the transport makes, at the latest in the
// connection check's identification query.
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
  Clock::Duration elapsed{};             // spent in the driver's waits, on the host's clock
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
  // `whole`: the wait returned, so it lasted its length; false when an error broke it off.
  void WaitFinished(bool whole = true);

  const Clock& TimeBase() const { return *clock_; }

 private:
  struct Frame {
    std::string label;
    std::string data;
    Clock::Duration waitedBefore{};  // Waited() when it started
    bool polling = false;            // its waits are one activity that spans the whole procedure
  };
  struct Current {
    WaitActivity activity;
    Clock::Duration waitedBefore{};
    bool spansProcedure = false;
    std::size_t frame = 0;  // the procedure it spans
  };
  struct Ongoing {
    Clock::Duration started{};
    Clock::Duration length{};
  };

  // The driver's entry for a wait that starts now, null for one it does not list.
  const timing::DriverWait* TableEntry(double milliseconds) const;
  WaitActivity Describe(const timing::DriverWait* wait, double milliseconds) const;
  // All the time spent in waits so far, the one under way included up to its length.
  Clock::Duration Waited() const;
  void Progress();
  void End();

  std::shared_ptr<Clock> clock_;
  WaitListener& listener_;
  std::vector<Frame> frames_;
  std::optional<Current> current_;
  bool quiet_ = false;  // the wait under way is not shown
  std::optional<Ongoing> ongoing_;
  Clock::Duration waited_{};  // in the waits that have finished
  double queryPauseMs_ = 0;   // the pause within a query on this route, as last seen
};

}  // namespace marlin::cli
