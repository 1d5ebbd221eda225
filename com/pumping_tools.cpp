#include "com/pumping_tools.h"

#include <cmath>
#include <sstream>

#include "com/message_pump.h"
#include "driver/marlin_error.h"
#include "host/standalone_tools.h"

namespace marlin::com {

void PumpingTools::Wait(float milliseconds) {
  if (!std::isfinite(milliseconds) || milliseconds < 0 || milliseconds > kLongestWaitMs) {
    std::ostringstream text;
    text << "A wait of " << milliseconds << " ms is out of range (0 to " << kLongestWaitMs
         << " ms)";
    throw MarlinError(errors::kInvalidArgument, text.str());
  }
  PumpingWait(*clock_, milliseconds);
}

}  // namespace marlin::com
