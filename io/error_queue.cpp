// One entry of the instrument's error queue; only the negative (SCPI-defined) codes are errors.
#include "driver/cls_marlin.h"
#include "driver/procedure.h"
#include "driver/text_numbers.h"
#include "io/scpi.h"

namespace marlin {

std::string clsMarlin::clsIAmpRemoteExt_CheckForError() {
  Procedure proc(Services(), labels::kCheckForError, Name);
  proc.Start();
  std::string answer = proc.Step(
      [&] { return ReadCmdResponse(scpi::Line(scpi::kErrorQuery), scpi::kQueryWaitTime); });
  std::string result = LeadingNumber(answer) < 0 ? answer : std::string();
  proc.End();
  return result;
}

}  // namespace marlin
