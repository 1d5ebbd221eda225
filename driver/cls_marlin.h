#pragma once
// The driver object: one per amplifier. Its private operations live in the files of their
// concern (io/, control/, ui/); this declaration keeps the fields together.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "driver/host_interfaces.h"
#include "driver/records.h"
#include "driver/wait_observer.h"

namespace marlin {

class frmKeepAlive;
class Host;
class Route;
struct RouteSet;

inline constexpr const char* kDefaultDeviceType = "PA4400 Amplifier";
inline constexpr const char* kPlaceholderHost = "---.---.---.---";
inline constexpr std::int32_t kDefaultPort = 5025;
inline constexpr const char* kDefaultVisaResource = "TCPIP0::10.0.0.1::5025::SOCKET";
inline constexpr std::int32_t kDefaultGpibAddress = 7;

class clsMarlin : public clsDevice, public clsIAmpRemote, public clsIAmpRemoteExt {
 public:
  // `host`: the services the object reaches its host through; objects may share one.
  explicit clsMarlin(std::shared_ptr<Host> host);
  ~clsMarlin() override;
  clsMarlin(const clsMarlin&) = delete;
  clsMarlin& operator=(const clsMarlin&) = delete;

  // The object's own default interface.
  std::int32_t clsDevice_Address() override;

  // clsDevice
  std::string clsDevice_Name() override;
  void clsDevice_Name_Let(const std::string& newName) override;
  std::string clsDevice_Description() override;
  std::string clsDevice_DeviceType() override;
  std::int32_t clsDevice_Interface() override;
  void clsDevice_Status_Let(std::int32_t newStatus) override;
  std::int32_t clsDevice_Status() override;
  InfoRecord clsDevice_Info() override;
  double clsDevice_MaxFrequency() override;
  double clsDevice_MinFrequency() override;
  void clsDevice_ShowDeviceDialog(std::int32_t mode, const std::string& Data,
                                  const std::string& Section) override;
  void clsDevice_Initialize() override;
  void clsDevice_Check() override;
  void clsDevice_WriteSettingsFile(const std::string& File, const std::string& Section) override;
  void clsDevice_ReadSettingsFile(const std::string& File, const std::string& Section) override;
  void clsDevice_StartTest() override;
  void clsDevice_StopTest() override;
  std::vector<std::int32_t> clsDevice_GetInterfaces(const std::string& DeviceType) override;
  std::string clsDevice_GetSettingsString(const std::string& File,
                                          const std::string& Section) override;

  // clsIAmpRemote
  void clsIAmpRemote_RemoteInterface_Let(std::int32_t Ifc) override;
  void clsIAmpRemote_SciuBoard_Let(std::int32_t Board) override;
  void clsIAmpRemote_NotifyUser_Let(bool Notify) override;
  void clsIAmpRemote_GpibFile_Let(const std::string& filename) override;
  void clsIAmpRemote_AmplParams_Let(const AmplParamsRecord& params) override;
  void clsIAmpRemote_SetSWUParams(const std::string& DevName, std::int32_t StbyPath,
                                  std::int32_t OperatePath) override;
  void clsIAmpRemote_ResetFault() override;
  void clsIAmpRemote_SetState(std::int32_t NewState) override;
  void clsIAmpRemote_SetFrequency(double NewValue) override;
  std::int32_t clsIAmpRemote_GetState() override;
  void clsIAmpRemote_GetParametersFromDevList() override;

  // clsIAmpRemoteExt
  std::string clsIAmpRemoteExt_CheckForError() override;

  static std::string StateName(const std::int32_t& StateCode);

  // Told of each wait this object starts; null (the default) tells no one.
  void SetWaitObserver(std::shared_ptr<WaitObserver> observer) {
    waitObserver_ = std::move(observer);
  }
  Host& Services() const { return *host_; }

  // Read-only views for tests and the stand-alone host's diagnostics.
  struct Snapshot;
  Snapshot Fields() const;

 private:
  friend struct MarlinTestAccess;
  friend class ConnectionCheck;
  friend class SetStateRequest;
  friend class GpibRoute;
  friend class LanRoute;
  friend class VisaRoute;

  // Private operations, in the order of the class's internal table.
  void CheckDevicePhysical(std::int32_t RequestedStatus);
  std::int32_t GetState(std::string& ErrorText);
  // `Answered` tells whether any query of the state got an answer from the amplifier.
  std::int32_t GetState(std::string& ErrorText, bool& Answered);
  void InitDevice();
  void ResetFault();
  void SetNewState(std::int32_t NewState);
  std::int32_t ActivateBand();
  void WaitForComplete(const std::string& Command, const std::string& Expected,
                       std::int32_t TimeoutSeconds);
  void SendCmdString(const std::string& Command);
  std::string ReadCmdResponse(const std::string& Command, std::int32_t WaitTime);
  void ForgetPreviousDevice();
  // The route an interface code names; nullptr for a code that names none.
  Route* RouteOf(std::int32_t interfaceCode);
  // Where commands and queries go: the interface's route, and GPIB for a code naming none.
  Route& TransportRoute();
  // Closes whatever the object holds on each route but `except`; calls nothing for a route not
  // open.
  void CloseRoutes(const Route* except);

  // The host's wait, told to the observer first.
  void Pause(WaitId id, double milliseconds);

  bool IsRecognised() const { return IsPA4413 == kTrue || NotPA4413 == kTrue; }

  // First, so that it goes last: the forms and routes below use it while they close.
  std::shared_ptr<Host> host_;
  std::string Name;
  std::int32_t Address = kDefaultGpibAddress;
  std::int32_t Interface = 0;
  std::string Description;
  std::string DeviceType = kDefaultDeviceType;
  std::int32_t Status = 0;
  InfoRecord Info;
  AmplParamsRecord AmplParams;
  mgnLanPars LanPars;
  // The device whose list entry gave LanPars.RemotePort.
  std::string LanPortDevice;
  std::string VisaResource = kDefaultVisaResource;
  VbBool IsPA4413 = kFalse;
  VbBool NotPA4413 = kFalse;
  VbBool IsPA4520 = kFalse;
  double FirmwareVersion = 0;
  std::shared_ptr<frmKeepAlive> KeepAlive;
  std::unique_ptr<RouteSet> Routes;
  std::shared_ptr<WaitObserver> waitObserver_;
};

// A copy of every field and of what the routes hold open, for tests and diagnostics; the driver
// never reads it back.
struct clsMarlin::Snapshot {
  std::string Name;
  std::int32_t Address;
  std::int32_t Interface;
  std::string Description;
  std::string DeviceType;
  std::int32_t Status;
  InfoRecord Info;
  AmplParamsRecord AmplParams;
  std::int16_t GpibHandle;
  std::string GpibReadBuffer;
  mgnLanPars LanPars;
  std::int32_t LanSocket;
  std::string VisaResource;
  std::int32_t VisaSession;
  std::int32_t VisaStatus;
  std::int32_t VisaDefaultRM;
  VbBool IsPA4413;
  VbBool NotPA4413;
  VbBool IsPA4520;
  double FirmwareVersion;
  bool HasKeepAlive;
  // The LAN connection the keep-alive form was handed; 0 when none or no form.
  std::int32_t KeepAliveDevice;
};

}  // namespace marlin
