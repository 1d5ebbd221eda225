#pragma once

namespace marlin::platform {

// A break into an attached debugger. Without one, and under a tracer that is no debugger
// (strace), it does nothing: a break there would end the host.
void DebugBreakIfAttached();

}  // namespace marlin::platform
