#pragma once
// Self-registration: the class, its ProgID, the in-process server and the type library; and
// removal of all of it.
#include <windows.h>

namespace marlin::com {

HRESULT RegisterServer() noexcept;
HRESULT UnregisterServer() noexcept;

}  // namespace marlin::com
