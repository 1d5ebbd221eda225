#pragma once
// HostDevList of the stand-alone host: the device-list members read the device list file, the
// Lan* members forward to the LAN socket service.
#include <memory>

#include "driver/host_services.h"
#include "host/device_list_file.h"
#include "host/lan_sockets.h"

namespace marlin {

class StandaloneDevList final : public HostDevList {
 public:
  // Either may be null; the members that need it then raise a clear error.
  StandaloneDevList(std::shared_ptr<DeviceListFile> file, std::shared_ptr<LanSockets> lan);

  std::int32_t GetAddress(const std::string& name) override;
  std::string GetVisaResource(const std::string& name) override;
  std::string GetLanAddress(const std::string& name) override;
  void SetLanAddress(const std::string& name, const std::string& address) override;
  std::string GetDescription(const std::string& name) override;
  std::int32_t GetInterface(const std::string& name) override;
  void LanOpen(const std::string& host, std::int32_t port, std::int32_t localPort,
               const std::string& protocol, std::int32_t& socket, bool& ok) override;
  void LanClose(std::int32_t socket, bool& ok) override;
  void LanSend(std::int32_t socket, const std::string& text, bool& ok) override;
  void LanQuery(std::int32_t socket, const std::string& text, std::string& answer,
                bool& ok) override;
  void LanIsConnected(std::int32_t socket, bool& connected) override;
  // True for a listed device whose interface is the VISA raw socket.
  void CheckLanDevice(const std::string& name, bool& allowed) override;

 private:
  DeviceListFile& File();
  LanSockets& Lan();

  std::shared_ptr<DeviceListFile> file_;
  std::shared_ptr<LanSockets> lan_;
};

}  // namespace marlin
