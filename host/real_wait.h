#pragma once
#include "clock/clock.h"

namespace marlin {

// How long a socket or bus wait of `span` on `clock` lasts in real time: shortened alike on a
// time-scaled clock. A virtual clock lends no real time, so there the span lasts as written.
inline Clock::Duration RealWait(const Clock& clock, Clock::Duration span) {
  Clock::Duration real = clock.RealSpan(span);
  return real > Clock::Duration::zero() ? real : span;
}

}  // namespace marlin
