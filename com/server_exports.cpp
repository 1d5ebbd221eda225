// The four exports of the in-process server.
#include <windows.h>

#include <olectl.h>

#include "com/class_factory.h"
#include "com/marlin_object.h"
#include "com/registration.h"

namespace {
marlin::com::ClassFactory factory;
}  // namespace

extern "C" {

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (clsid != CLSID_clsMarlin) return CLASS_E_CLASSNOTAVAILABLE;
  return factory.QueryInterface(iid, object);
}

// Once a thread has used the host services, the runtime pins the server in memory (their
// thread-local destructors must stay reachable), so only an unused server really unloads.
STDAPI DllCanUnloadNow() {
  return marlin::com::MarlinObject::Alive() == 0 && marlin::com::ClassFactory::Locks() == 0
             ? S_OK
             : S_FALSE;
}

STDAPI DllRegisterServer() { return marlin::com::RegisterServer(); }

STDAPI DllUnregisterServer() { return marlin::com::UnregisterServer(); }

}  // extern "C"
