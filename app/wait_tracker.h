#pragma once
// What the driver is waiting for: the driver object tells which wait of its table starts (as its
// WaitObserver), the host's wait service when and how long it waits, and the trace lines which
// procedure runs. A confirmation poll or band switch is one activity over many waits, a pause
// one of its own, each named and limited by the driver's wait table, with the limit of this
// route. A wait the driver did not announce shows as a bare pause.
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

class WaitTracker final : public WaitObserver {
 public:
  WaitTracker(std::shared_ptr<Clock> clock, WaitListener& listener);

  // The next wait of the host's service is this one of the driver's table.
  void DriverWaitStarts(WaitId id, double milliseconds) override;

  void ProcedureStarted(const std::string& label);
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
  Clock::Duration waited_{};         // in the waits that have finished
  double queryPauseMs_ = 0;          // the pause within a query on this route, as last seen
  std::optional<WaitId> announced_;  // by the driver, for the wait that starts next
};

}  // namespace marlin::cli
