// The command transport: one command line or query over the object's route.
#include <algorithm>

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

// Left-aligned into the fixed-length buffer: padded with spaces or cut.
void clsMarlin::StoreGpibAnswer(const std::string& answer) {
  GpibReadBuffer.assign(kGpibBufferLength, ' ');
  std::copy_n(answer.begin(), std::min(answer.size(), kGpibBufferLength), GpibReadBuffer.begin());
}

}  // namespace marlin
