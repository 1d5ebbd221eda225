// Holds the caller until a status query answers the expected character or the limit passes.
#include "control/wait_table.h"
#include "driver/cls_marlin.h"
#include "driver/host.h"
#include "driver/procedure.h"
#include "driver/timings.h"
#include "io/scpi.h"

namespace marlin {
void clsMarlin::WaitForComplete(const std::string& Command, const std::string& Expected,
                                std::int32_t TimeoutSeconds) {
  Procedure proc(Services(), labels::kWaitForComplete, Name);
  proc.Start(trace_text::kCommand + Command);
  const std::int64_t limit = static_cast<std::int64_t>(TimeoutSeconds) * timing::kPollsPerSecond;
  std::int64_t polls = 0;
  const WaitId wait = timing::ConfirmationWait(Command, Expected);
  for (;;) {
    proc.Step([&] { Pause(wait, timing::kPollInterval); });
    std::string answer =
        proc.Step([&] { return ReadCmdResponse(scpi::Line(Command), scpi::kQueryWaitTime); });
    ++polls;
    if (answer.substr(0, 1) == Expected || polls > limit) break;
  }
  proc.End();
}

}  // namespace marlin
