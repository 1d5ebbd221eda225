#pragma once
// Waits that keep the thread's windows alive: while the driver waits for the amplifier, the
// wait window's "STOP" and the keep-alive timer still get their messages.
#include "clock/clock.h"

namespace marlin::com {

// Dispatches every message already queued for this thread.
void PumpPendingMessages();

// Returns once `milliseconds` have passed on `clock`, dispatching messages meanwhile. A WM_QUIT
// seen on the way is posted again when the wait ends, for the host's own loop.
void PumpingWait(Clock& clock, double milliseconds);

}  // namespace marlin::com
