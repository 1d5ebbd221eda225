#include "ui/frm_keep_alive.h"

#include <utility>

#include "driver/host.h"

namespace marlin {

void frmKeepAlive::ActivateKeepAlive(bool blnActivate) {
  if (!Loaded()) Load();
  timAmplStat->SetEnabled(blnActivate);
}

// Creating the timer with its designed interval is part of loading and fails the caller; the
// load event that follows ignores its own errors.
void frmKeepAlive::Load() {
  auto timer = host_.Windows().CreateTimer([this] { timAmplStat_Timer(); });
  timer->SetInterval(kTimerInterval);
  timAmplStat = std::move(timer);
  Form_Load();
}

void frmKeepAlive::Form_Load() {
  try {
    timAmplStat->SetEnabled(false);
  } catch (...) {
    // The load event ignores its errors.
  }
}

void frmKeepAlive::timAmplStat_Timer() {}

}  // namespace marlin
