// The object is made with its routes and goes closing them: what it holds on a route is io's.
#include <utility>

#include "driver/cls_marlin.h"
#include "io/routes.h"
#include "ui/frm_keep_alive.h"

namespace marlin {

// The other fields start with their initialisers in the class.
clsMarlin::clsMarlin(std::shared_ptr<Host> host)
    : host_(std::move(host)), Routes(std::make_unique<RouteSet>(*this)) {
  Info.Member4 = std::string(kPlaceholderHost) + ":" + std::to_string(kDefaultPort);
}

// Teardown closes exactly what is open and ignores errors: nothing may escape into the host.
clsMarlin::~clsMarlin() {
  KeepAlive.reset();
  CloseRoutes(nullptr);
}

}  // namespace marlin
