// clsDevice Initialize and Check: one step each, under the host-facing convention.
#include "driver/cls_marlin.h"
#include "driver/procedure.h"

namespace marlin {

void clsMarlin::clsDevice_Initialize() {
  Procedure proc(Services(), labels::kInitialize, Name);
  proc.Start();
  proc.Step([&] { InitDevice(); });
  proc.End();
}

void clsMarlin::clsDevice_Check() {
  Procedure proc(Services(), labels::kCheck, Name);
  proc.Start();
  proc.Step([&] { CheckDevicePhysical(Status); });
  proc.End();
}

}  // namespace marlin
