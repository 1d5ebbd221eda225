#pragma once
// The module this code is linked into: the server DLL, or a test program that links it directly.
#include <windows.h>

#include <string>

namespace marlin::com {

HINSTANCE ThisModule();
std::wstring ThisModulePath();

// Registers a window class of this module unless it is registered already.
void EnsureWindowClass(const wchar_t* name, WNDPROC procedure);

// The text of a Win32 error code, for error descriptions.
std::string SystemMessage(DWORD code);

}  // namespace marlin::com
