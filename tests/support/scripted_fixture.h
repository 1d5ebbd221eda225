#pragma once
// A driver object connected over LAN to a scripted instrument, with waits on a virtual clock.
#include <memory>

#include "driver/cls_marlin.h"
#include "host/thread_host.h"
#include "tests/support/host_fixture.h"
#include "tests/support/marlin_access.h"
#include "tests/support/scripted_instrument.h"

namespace marlin::testing {

class ScriptedFixture : public HostFixture {
 protected:
  ScriptedFixture() {
    instrument = Install(std::make_unique<ScriptedInstrument>());
    tools = Install(std::make_unique<VirtualTools>(clock));
    access.Name() = "AMP1";
    access.Interface() = 50;
    access.Status() = 1;
    access.LanSocket() = 1;
  }
  void Recognise() { access.NotPA4413() = kTrue; }

  VirtualClock clock;
  ScriptedInstrument* instrument;
  VirtualTools* tools;
  clsMarlin amp{host::ThreadContext()};
  MarlinTestAccess access{amp};
};

}  // namespace marlin::testing
