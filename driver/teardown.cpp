#include "driver/cls_marlin.h"
#include "io/routes.h"
#include "ui/frm_keep_alive.h"

namespace marlin {

// Teardown closes exactly what is open and ignores errors: nothing may escape into the host.
clsMarlin::~clsMarlin() {
  KeepAlive.reset();
  CloseRoutes(nullptr);
}

}  // namespace marlin
