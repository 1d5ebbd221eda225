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
void clsMarlin::clsIAmpRemote_GetParametersFromDevList() {
  NotYet("clsIAmpRemote_GetParametersFromDevList");
}

}  // namespace marlin
