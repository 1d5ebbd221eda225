#include "sim/inprocess_link.h"

#include <algorithm>

namespace marlin::sim {

InProcessLink::InProcessLink(std::shared_ptr<Amplifier> amp, std::string peer)
    : amp_(amp), device_(std::move(amp), std::move(peer)) {}

bool InProcessLink::Write(std::string_view bytes, bool endOfMessage) {
  if (device_.Dropped()) return false;
  device_.Write(bytes, endOfMessage);
  return !device_.Dropped();
}

std::optional<std::string> InProcessLink::Read(Clock::Duration timeout) {
  Clock& clock = amp_->GetClock();
  const Clock::Duration deadline = clock.Now() + timeout;
  auto due = device_.NextDue();
  if (device_.Dropped() || !due || *due > deadline) {
    // Nothing will come in time: the whole timeout passes, as it would on a bus.
    clock.SleepFor(deadline - clock.Now());
    return std::nullopt;
  }
  if (*due > clock.Now()) clock.SleepFor(*due - clock.Now());
  // A real clock may read a hair early after its sleep; the answer is due all the same.
  auto chunk = device_.ReadDue(std::max(clock.Now(), *due));
  if (!chunk) return std::nullopt;
  return std::move(chunk->bytes);
}

}  // namespace marlin::sim
