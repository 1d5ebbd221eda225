#include "driver/cls_marlin.h"

#include "driver/host.h"
#include "driver/procedure.h"

namespace marlin {

std::int32_t clsMarlin::clsDevice_Address() { return Address; }
std::string clsMarlin::clsDevice_Name() { return Name; }
std::string clsMarlin::clsDevice_Description() { return Description; }

void clsMarlin::Pause(WaitId id, double milliseconds) {
  if (waitObserver_) waitObserver_->DriverWaitStarts(id, milliseconds);
  Services().Tools().Wait(static_cast<float>(milliseconds));
}
std::string clsMarlin::clsDevice_DeviceType() { return DeviceType; }
std::int32_t clsMarlin::clsDevice_Interface() { return Interface; }
std::int32_t clsMarlin::clsDevice_Status() { return Status; }
InfoRecord clsMarlin::clsDevice_Info() { return Info; }
double clsMarlin::clsDevice_MaxFrequency() { return Services().Tools().HighestFrequency(); }
double clsMarlin::clsDevice_MinFrequency() { return Services().Tools().LowestFrequency(); }

void clsMarlin::clsDevice_Status_Let(std::int32_t newStatus) {
  Procedure proc(Services(), labels::kLetStatus, Name);
  proc.Start();
  Status = newStatus;
  proc.End();
}

void clsMarlin::clsDevice_ShowDeviceDialog(std::int32_t, const std::string&, const std::string&) {}
void clsMarlin::clsDevice_WriteSettingsFile(const std::string&, const std::string&) {}
void clsMarlin::clsDevice_ReadSettingsFile(const std::string&, const std::string&) {}
void clsMarlin::clsDevice_StartTest() {}
void clsMarlin::clsDevice_StopTest() {}

std::vector<std::int32_t> clsMarlin::clsDevice_GetInterfaces(const std::string&) {
  return {route::kGpibFirst, route::kLan, route::kVisa};
}

std::string clsMarlin::clsDevice_GetSettingsString(const std::string&, const std::string&) {
  return {};
}

void clsMarlin::clsIAmpRemote_RemoteInterface_Let(std::int32_t) {}
void clsMarlin::clsIAmpRemote_SciuBoard_Let(std::int32_t) {}
void clsMarlin::clsIAmpRemote_NotifyUser_Let(bool) {}
void clsMarlin::clsIAmpRemote_GpibFile_Let(const std::string&) {}
void clsMarlin::clsIAmpRemote_SetSWUParams(const std::string&, std::int32_t, std::int32_t) {}
void clsMarlin::clsIAmpRemote_SetFrequency(double) {}

void clsMarlin::clsIAmpRemote_AmplParams_Let(const AmplParamsRecord& params) {
  AmplParams = params;
}

}  // namespace marlin
