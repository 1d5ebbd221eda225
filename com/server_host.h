#pragma once
// The host services inside the server: the stand-alone ones, configured from the environment
// (MARLIN_DEVICES, MARLIN_TRACE) or HKEY_CURRENT_USER\Software\Marlin (DeviceList, Trace), with
// the Win32 windows and a wait that pumps the thread's messages.
namespace marlin::com {

// Installs the factory once per process; later calls do nothing.
void InstallServerHost();

}  // namespace marlin::com
