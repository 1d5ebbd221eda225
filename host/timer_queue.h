#pragma once
// The timers of one host thread. Ticks are delivered only on that thread, between the host's
// calls: by the host's wait (StandaloneTools::Wait) and by an explicit pump
// (TerminalWindows::PumpTimers), at the times of the shared clock.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "clock/clock.h"
#include "driver/host_services.h"

namespace marlin {

class TimerQueue : public std::enable_shared_from_this<TimerQueue> {
 public:
  explicit TimerQueue(std::shared_ptr<Clock> clock);

  Clock& TimeBase() const { return *clock_; }
  // A new timer, disabled, with no interval. It may outlive the queue's other owners.
  std::unique_ptr<HostTimer> CreateTimer(std::function<void()> tick);
  // Delivers every tick that is due by now; returns how many. Periods that passed while nobody
  // pumped give one tick, as a message loop would.
  std::size_t DeliverDue();
  // When the next tick falls due, if any timer runs.
  std::optional<Clock::Duration> NextDue() const;
  // Ticks delivered since the queue was made.
  std::uint64_t Delivered() const { return delivered_; }

 private:
  friend class QueuedTimer;
  struct Entry {
    std::function<void()> tick;
    Clock::Duration interval{};
    bool enabled = false;
    bool ticking = false;  // a tick handler that waits must not be re-entered
    Clock::Duration due{};
  };
  bool Runs(const Entry& e) const {
    return e.enabled && e.interval > Clock::Duration::zero() && !e.ticking;
  }

  std::shared_ptr<Clock> clock_;
  std::map<std::uint64_t, Entry> entries_;
  std::uint64_t nextId_ = 1;
  std::uint64_t delivered_ = 0;
};

}  // namespace marlin
