#include "driver/cls_marlin.h"
#include "driver/host_registry.h"
#include "ui/frm_keep_alive.h"

namespace marlin {

// Teardown ignores errors and goes on with the next step: nothing may escape into the host.
clsMarlin::~clsMarlin() {
  KeepAlive.reset();
  if (Status == 1) {
    try {
      host::Gpib().GpibClose(GpibHandle, 0);
    } catch (...) {
    }
    GpibHandle = -1;
  }
}

}  // namespace marlin
