#include "com/class_factory.h"

#include "com/marlin_object.h"
#include "com/server_host.h"

namespace marlin::com {

std::atomic<long> ClassFactory::locks_{0};

STDMETHODIMP ClassFactory::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IClassFactory) {
    *object = static_cast<IClassFactory*>(this);
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

// One static factory for the whole process: its references do not keep the server loaded.
STDMETHODIMP_(ULONG) ClassFactory::AddRef() { return 2; }
STDMETHODIMP_(ULONG) ClassFactory::Release() { return 1; }

STDMETHODIMP ClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  InstallServerHost();
  return MarlinObject::Create(iid, object);
}

STDMETHODIMP ClassFactory::LockServer(BOOL lock) {
  if (lock) {
    ++locks_;
  } else {
    --locks_;
  }
  return S_OK;
}

}  // namespace marlin::com
