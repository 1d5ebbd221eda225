#pragma once
// Lets a test put a driver object into a state that only an instrument could otherwise bring.
#include "driver/cls_marlin.h"
#include "io/routes.h"

namespace marlin {

struct MarlinTestAccess {
  clsMarlin& m;
  std::int32_t& Status() { return m.Status; }
  std::int32_t& Interface() { return m.Interface; }
  std::int32_t& LanSocket() { return m.Routes->lan.socket_; }
  std::int16_t& GpibHandle() { return m.Routes->gpib.handle_; }
  std::string& Name() { return m.Name; }
  VbBool& IsPA4413() { return m.IsPA4413; }
  VbBool& NotPA4413() { return m.NotPA4413; }
  VbBool& IsPA4520() { return m.IsPA4520; }
  double& FirmwareVersion() { return m.FirmwareVersion; }
  AmplParamsRecord& AmplParams() { return m.AmplParams; }
  std::int32_t& VisaSession() { return m.Routes->visa.session_; }
  std::shared_ptr<frmKeepAlive>& KeepAlive() { return m.KeepAlive; }

  void SendCmdString(const std::string& command) { m.SendCmdString(command); }
  std::string ReadCmdResponse(const std::string& command, std::int32_t waitTime) {
    return m.ReadCmdResponse(command, waitTime);
  }

  std::int32_t GetState() {
    std::string ignored;
    return m.GetState(ignored);
  }
  std::int32_t GetState(std::string& errorText) { return m.GetState(errorText); }
  void WaitForComplete(const std::string& command, const std::string& expected,
                       std::int32_t timeoutSeconds) {
    m.WaitForComplete(command, expected, timeoutSeconds);
  }
  std::int32_t ActivateBand() { return m.ActivateBand(); }
  void SetNewState(std::int32_t state) { m.SetNewState(state); }
  void InitDevice() { m.InitDevice(); }
  void ResetFault() { m.ResetFault(); }
  void CheckDevicePhysical(std::int32_t requested) { m.CheckDevicePhysical(requested); }
};

}  // namespace marlin
