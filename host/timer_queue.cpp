#include "host/timer_queue.h"

#include <utility>
#include <vector>

#include "driver/marlin_error.h"

namespace marlin {

// A timer as the driver holds it: a handle onto its entry in the queue.
class QueuedTimer final : public HostTimer {
 public:
  QueuedTimer(std::shared_ptr<TimerQueue> queue, std::uint64_t id)
      : queue_(std::move(queue)), id_(id) {}
  ~QueuedTimer() override { queue_->entries_.erase(id_); }
  QueuedTimer(const QueuedTimer&) = delete;
  QueuedTimer& operator=(const QueuedTimer&) = delete;

  void SetInterval(std::int32_t milliseconds) override {
    if (milliseconds < 0) {
      throw MarlinError(
          errors::kInvalidPropertyValue,
          "Invalid property value: a timer interval of " + std::to_string(milliseconds) + " ms");
    }
    Mine().interval = std::chrono::milliseconds(milliseconds);
    Restart();
  }
  void SetEnabled(bool enabled) override {
    Mine().enabled = enabled;
    Restart();
  }
  bool Enabled() const override { return queue_->entries_.at(id_).enabled; }

 private:
  TimerQueue::Entry& Mine() { return queue_->entries_.at(id_); }
  // Enabling or changing the interval starts a new period, as a window timer does.
  void Restart() { Mine().due = queue_->clock_->Now() + Mine().interval; }

  std::shared_ptr<TimerQueue> queue_;
  std::uint64_t id_;
};

TimerQueue::TimerQueue(std::shared_ptr<Clock> clock) : clock_(std::move(clock)) {}

std::unique_ptr<HostTimer> TimerQueue::CreateTimer(std::function<void()> tick) {
  const std::uint64_t id = nextId_++;
  entries_[id].tick = std::move(tick);
  return std::make_unique<QueuedTimer>(shared_from_this(), id);
}

std::size_t TimerQueue::DeliverDue() {
  const Clock::Duration now = clock_->Now();
  std::vector<std::uint64_t> due;
  for (const auto& [id, e] : entries_) {
    if (Runs(e) && e.due <= now) due.push_back(id);
  }
  std::size_t count = 0;
  for (std::uint64_t id : due) {
    auto it = entries_.find(id);  // an earlier tick may have dropped or stopped this timer
    if (it == entries_.end() || !Runs(it->second) || it->second.due > now) continue;
    Entry& e = it->second;
    const auto periods = (now - e.due) / e.interval + 1;
    e.due += periods * e.interval;
    e.ticking = true;
    const std::function<void()> tick = e.tick;
    ++count;
    ++delivered_;
    struct EndTick {
      TimerQueue& queue;
      std::uint64_t id;
      ~EndTick() {
        auto again = queue.entries_.find(id);
        if (again != queue.entries_.end()) again->second.ticking = false;
      }
    } endTick{*this, id};
    if (tick) tick();
  }
  return count;
}

std::optional<Clock::Duration> TimerQueue::NextDue() const {
  std::optional<Clock::Duration> next;
  for (const auto& [id, e] : entries_) {
    if (Runs(e) && (!next || e.due < *next)) next = e.due;
  }
  return next;
}

}  // namespace marlin
