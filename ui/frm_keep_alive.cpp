#include "ui/frm_keep_alive.h"

#include "driver/host_registry.h"

namespace marlin {

void frmKeepAlive::ActivateKeepAlive(bool blnActivate) {
  if (!Loaded()) Form_Load();
  timAmplStat->SetEnabled(blnActivate);
}

void frmKeepAlive::Form_Load() {
  timAmplStat = host::Windows().CreateTimer([this] { timAmplStat_Timer(); });
  try {
    timAmplStat->SetInterval(kTimerInterval);
    timAmplStat->SetEnabled(false);
  } catch (...) {
    // The load event ignores its errors.
  }
}

// The tick only counts, so a test can see it arrived; it sends nothing and changes no field.
void frmKeepAlive::timAmplStat_Timer() { ++ticks; }

}  // namespace marlin
