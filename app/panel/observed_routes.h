#pragma once
// The host's three ways to the amplifier (LAN sockets, GPIB, VISA), unchanged but for a listener
// that hears each query and the answer the route returned, as the driver receives it.
#include <functional>
#include <memory>
#include <string>

#include "driver/host_services.h"
#include "io/visa_binding.h"

namespace marlin::panel {

using ExchangeListener = std::function<void(const std::string& query, const std::string& answer)>;

std::unique_ptr<HostDevList> ObservedDevList(std::unique_ptr<HostDevList> inner,
                                             ExchangeListener listener);
std::unique_ptr<HostGpib> ObservedGpib(std::unique_ptr<HostGpib> inner, ExchangeListener listener);
std::shared_ptr<VisaBinding> ObservedVisa(std::shared_ptr<VisaBinding> inner,
                                          ExchangeListener listener);

}  // namespace marlin::panel
