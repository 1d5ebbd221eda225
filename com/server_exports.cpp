// The four exports of the in-process server.
#include <windows.h>

#include <olectl.h>

#include "com/class_factory.h"
#include "com/marlin_object.h"
#include "com/registration.h"
#include "com/server_host.h"
#include "com/this_module.h"

namespace {
marlin::com::ClassFactory factory;
}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  // Only on FreeLibrary: at process exit the window classes go with the process.
  if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
    marlin::com::UnregisterWindowClasses();
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (clsid != CLSID_clsMarlin) return CLASS_E_CLASSNOTAVAILABLE;
  return factory.QueryInterface(iid, object);
}

STDAPI DllCanUnloadNow() {
  if (marlin::com::MarlinObject::Alive() != 0 || marlin::com::ClassFactory::Locks() != 0) {
    return S_FALSE;
  }
  // Drop this thread's services here rather than in DllMain, where a service that waits for a
  // thread of its own would hold the loader lock.
  marlin::com::ReleaseThreadHost();
  return S_OK;
}

STDAPI DllRegisterServer() { return marlin::com::RegisterServer(); }

STDAPI DllUnregisterServer() { return marlin::com::UnregisterServer(); }

}  // extern "C"
