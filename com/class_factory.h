#pragma once
// The class factory of clsMarlin and the server's lock count.
#include <windows.h>

#include <unknwn.h>

#include <atomic>

namespace marlin::com {

class ClassFactory final : public IClassFactory {
 public:
  // Server locks taken by hosts through LockServer.
  static long Locks() { return locks_.load(); }

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
  STDMETHODIMP LockServer(BOOL lock) override;

 private:
  static std::atomic<long> locks_;
};

}  // namespace marlin::com
