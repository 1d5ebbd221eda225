// Members whose behaviour has not landed yet raise a clear error instead of pretending to work.
#include "driver/cls_marlin.h"
#include "driver/marlin_error.h"

namespace marlin {
namespace {
[[noreturn]] void NotYet(const char* member) {
  throw MarlinError(errors::kNotImplemented, std::string(member) + " is not available yet");
}
}  // namespace

void clsMarlin::clsDevice_Name_Let(const std::string&) { NotYet("clsDevice_Name"); }
void clsMarlin::clsDevice_Initialize() { NotYet("clsDevice_Initialize"); }
void clsMarlin::clsDevice_Check() { NotYet("clsDevice_Check"); }
void clsMarlin::clsIAmpRemote_ResetFault() { NotYet("clsIAmpRemote_ResetFault"); }
void clsMarlin::clsIAmpRemote_SetState(std::int32_t) { NotYet("clsIAmpRemote_SetState"); }
std::int32_t clsMarlin::clsIAmpRemote_GetState() { NotYet("clsIAmpRemote_GetState"); }
void clsMarlin::clsIAmpRemote_GetParametersFromDevList() {
  NotYet("clsIAmpRemote_GetParametersFromDevList");
}
std::string clsMarlin::clsIAmpRemoteExt_CheckForError() {
  NotYet("clsIAmpRemoteExt_CheckForError");
}
std::string clsMarlin::StateName(const std::int32_t&) { NotYet("StateName"); }

}  // namespace marlin
