#include "host/standalone_devlist.h"

#include <utility>

#include "driver/marlin_error.h"
#include "driver/records.h"
#include "host/host_errors.h"

namespace marlin {
namespace {
constexpr const char* kLanProtocol = "TCP";
}  // namespace

StandaloneDevList::StandaloneDevList(std::shared_ptr<DeviceListFile> file,
                                     std::shared_ptr<LanSockets> lan)
    : file_(std::move(file)), lan_(std::move(lan)) {}

DeviceListFile& StandaloneDevList::File() {
  if (!file_) {
    throw MarlinError(host_errors::kNotConfigured, "No device list file is configured");
  }
  return *file_;
}

LanSockets& StandaloneDevList::Lan() {
  if (!lan_) {
    throw MarlinError(host_errors::kNotConfigured, "No LAN socket service is configured");
  }
  return *lan_;
}

std::int32_t StandaloneDevList::GetAddress(const std::string& name) {
  return File().Device(name).address;
}
std::string StandaloneDevList::GetVisaResource(const std::string& name) {
  return File().Device(name).visaResource;
}
std::string StandaloneDevList::GetLanAddress(const std::string& name) {
  return File().Device(name).lanAddress;
}
void StandaloneDevList::SetLanAddress(const std::string& name, const std::string& address) {
  File().SetLanAddress(name, address);
}
std::string StandaloneDevList::GetDescription(const std::string& name) {
  return File().Device(name).description;
}
std::int32_t StandaloneDevList::GetInterface(const std::string& name) {
  return File().Device(name).interfaceCode;
}

void StandaloneDevList::LanOpen(const std::string& host, std::int32_t port, std::int32_t localPort,
                                const std::string& protocol, std::int32_t& socket, bool& ok) {
  if (protocol != kLanProtocol) {
    throw MarlinError(
        errors::kInvalidArgument,
        "LAN protocol \"" + protocol + "\" is not supported; use \"" + kLanProtocol + "\"");
  }
  if (localPort != 0) {
    throw MarlinError(errors::kInvalidArgument,
                      "A local port (" + std::to_string(localPort) +
                          ") cannot be chosen for a LAN connection; pass 0");
  }
  Lan().Open(host, port, socket, ok);
}

void StandaloneDevList::LanClose(std::int32_t socket, bool& ok) { Lan().Close(socket, ok); }
void StandaloneDevList::LanSend(std::int32_t socket, const std::string& text, bool& ok) {
  Lan().Send(socket, text, ok);
}
void StandaloneDevList::LanQuery(std::int32_t socket, const std::string& text, std::string& answer,
                                 bool& ok) {
  Lan().Query(socket, text, answer, ok);
}
void StandaloneDevList::LanIsConnected(std::int32_t socket, bool& connected) {
  Lan().IsConnected(socket, connected);
}

void StandaloneDevList::CheckLanDevice(const std::string& name, bool& allowed) {
  allowed = File().Device(name).interfaceCode == route::kVisa;
}

}  // namespace marlin
