#pragma once
// The three host interfaces the driver implements, members in the hosts' interface order.
// A member implementing a host interface member is named after the interface and the member.
#include <cstdint>
#include <string>
#include <vector>

#include "driver/records.h"

namespace marlin {

class clsDevice {
 public:
  virtual ~clsDevice() = default;
  virtual std::string clsDevice_Name() = 0;
  virtual void clsDevice_Name_Let(const std::string& newName) = 0;
  virtual std::string clsDevice_Description() = 0;
  virtual std::string clsDevice_DeviceType() = 0;
  virtual std::int32_t clsDevice_Interface() = 0;
  virtual std::int32_t clsDevice_Address() = 0;
  virtual void clsDevice_Status_Let(std::int32_t newStatus) = 0;
  virtual std::int32_t clsDevice_Status() = 0;
  virtual InfoRecord clsDevice_Info() = 0;
  virtual double clsDevice_MaxFrequency() = 0;
  virtual double clsDevice_MinFrequency() = 0;
  virtual void clsDevice_ShowDeviceDialog(std::int32_t mode, const std::string& Data,
                                          const std::string& Section) = 0;
  virtual void clsDevice_Initialize() = 0;
  virtual void clsDevice_Check() = 0;
  virtual void clsDevice_WriteSettingsFile(const std::string& File, const std::string& Section) = 0;
  virtual void clsDevice_ReadSettingsFile(const std::string& File, const std::string& Section) = 0;
  virtual void clsDevice_StartTest() = 0;
  virtual void clsDevice_StopTest() = 0;
  virtual std::vector<std::int32_t> clsDevice_GetInterfaces(const std::string& DeviceType) = 0;
  virtual std::string clsDevice_GetSettingsString(const std::string& File,
                                                  const std::string& Section) = 0;
};

class clsIAmpRemote {
 public:
  virtual ~clsIAmpRemote() = default;
  virtual void clsIAmpRemote_RemoteInterface_Let(std::int32_t Ifc) = 0;
  virtual void clsIAmpRemote_SciuBoard_Let(std::int32_t Board) = 0;
  virtual void clsIAmpRemote_NotifyUser_Let(bool Notify) = 0;
  virtual void clsIAmpRemote_GpibFile_Let(const std::string& filename) = 0;
  virtual void clsIAmpRemote_AmplParams_Let(const AmplParamsRecord& params) = 0;
  virtual void clsIAmpRemote_SetSWUParams(const std::string& DevName, std::int32_t StbyPath,
                                          std::int32_t OperatePath) = 0;
  virtual void clsIAmpRemote_ResetFault() = 0;
  virtual void clsIAmpRemote_SetState(std::int32_t NewState) = 0;
  virtual void clsIAmpRemote_SetFrequency(double NewValue) = 0;
  virtual std::int32_t clsIAmpRemote_GetState() = 0;
  virtual void clsIAmpRemote_GetParametersFromDevList() = 0;
};

class clsIAmpRemoteExt {
 public:
  virtual ~clsIAmpRemoteExt() = default;
  virtual std::string clsIAmpRemoteExt_CheckForError() = 0;
};

}  // namespace marlin
