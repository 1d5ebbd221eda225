// The command transport: one command line or query over the object's route.
#include "driver/cls_marlin.h"
#include "driver/procedure.h"
#include "io/route.h"

namespace marlin {

void clsMarlin::SendCmdString(const std::string& Command) {
  Procedure proc(Services(), labels::kSendCmdString, Name);
  proc.Start(trace_text::kCommand + Command);
  if (!Command.empty() && Status != 0) TransportRoute().Send(proc, Command);
  proc.End();
}

std::string clsMarlin::ReadCmdResponse(const std::string& Command, std::int32_t WaitTime) {
  std::string result;
  Procedure proc(Services(), labels::kReadCmdResponse, Name);
  proc.Start();
  if (Status == 1) result = TransportRoute().Query(proc, Command, WaitTime);
  proc.End();
  return result;
}

}  // namespace marlin
