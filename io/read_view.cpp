// The object's read view: its own fields and what its routes hold open.
#include "driver/cls_marlin.h"
#include "io/routes.h"
#include "ui/frm_keep_alive.h"

namespace marlin {

clsMarlin::Snapshot clsMarlin::Fields() const {
  return Snapshot{Name,
                  Address,
                  Interface,
                  Description,
                  DeviceType,
                  Status,
                  Info,
                  AmplParams,
                  Routes->gpib.Handle(),
                  Routes->gpib.ReadBuffer(),
                  LanPars,
                  Routes->lan.Socket(),
                  VisaResource,
                  Routes->visa.Session(),
                  Routes->visa.LastStatus(),
                  Routes->visa.DefaultRM(),
                  IsPA4413,
                  NotPA4413,
                  IsPA4520,
                  FirmwareVersion,
                  KeepAlive != nullptr,
                  KeepAlive ? KeepAlive->AmplDeviceId() : 0};
}

}  // namespace marlin
