#include "com/server_host.h"

#include "driver/host_registry.h"

namespace marlin::com {

void InstallServerHost() {}

void ReleaseThreadHost() { host::ResetThread(); }

}  // namespace marlin::com
