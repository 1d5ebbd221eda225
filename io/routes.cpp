// Which route an interface code names: the one place the driver tells the routes apart.
#include "io/routes.h"

#include "driver/cls_marlin.h"

namespace marlin {

Route* clsMarlin::RouteOf(std::int32_t interfaceCode) {
  if (route::IsGpib(interfaceCode)) return &Routes->gpib;
  if (interfaceCode == route::kLan) return &Routes->lan;
  if (interfaceCode == route::kVisa) return &Routes->visa;
  return nullptr;
}

Route& clsMarlin::TransportRoute() {
  Route* route = RouteOf(Interface);
  return route != nullptr ? *route : Routes->gpib;
}

void clsMarlin::CloseRoutes(const Route* except) {
  for (Route* route : {static_cast<Route*>(&Routes->gpib), static_cast<Route*>(&Routes->lan),
                       static_cast<Route*>(&Routes->visa)}) {
    if (route != except) route->Close();
  }
}

}  // namespace marlin
