#pragma once
// The COM object a host creates: one driver object behind the class's default interface and the
// three host interfaces. Every member goes through the error boundary; the object's IDispatch
// resolves the members of all four interfaces by name for script hosts.
#include <windows.h>

#include <oaidl.h>
#include <ocidl.h>

#include <array>
#include <atomic>
#include <memory>
#include <optional>

#include "com/dispatch_table.h"
#include "com/error_boundary.h"
#include "marlin_h.h"

namespace marlin {
class clsMarlin;
}

namespace marlin::com {

// The IDispatch of one dual interface: its own type description, the object's shared late
// binding for names and calls.
template <class Owner, class Interface, std::size_t Part>
class DualPart : public Interface {
 public:
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    *info = Self().Table().DispatchInfo(Part);
    (*info)->AddRef();
    return S_OK;
  }
  STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid,
                             DISPID* ids) override {
    if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    return Self().Table().GetIDsOfNames(names, count, lcid, ids);
  }
  STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* exception, UINT* argumentError) override {
    if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    return Self().InvokeMember(id, flags, params, result, exception, argumentError);
  }

 private:
  Owner& Self() { return static_cast<Owner&>(*this); }
};

class MarlinObject final : public DualPart<MarlinObject, ::_clsMarlin, 0>,
                           public DualPart<MarlinObject, ::clsDevice, 1>,
                           public DualPart<MarlinObject, ::clsIAmpRemote, 2>,
                           public DualPart<MarlinObject, ::clsIAmpRemoteExt, 3>,
                           public ISupportErrorInfo,
                           public IProvideClassInfo {
 public:
  static HRESULT Create(REFIID iid, void** object) noexcept;
  // Objects alive in this process, for DllCanUnloadNow.
  static long Alive() { return alive_.load(); }

  MarlinObject(const MarlinObject&) = delete;
  MarlinObject& operator=(const MarlinObject&) = delete;

  const DispatchTable& Table() const { return table_; }
  HRESULT InvokeMember(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                       EXCEPINFO* exception, UINT* argumentError) noexcept;

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // ISupportErrorInfo, IProvideClassInfo
  STDMETHODIMP InterfaceSupportsErrorInfo(REFIID iid) override;
  STDMETHODIMP GetClassInfo(ITypeInfo** info) override;

  // _clsMarlin
  STDMETHODIMP get_clsDevice_Address(LONG* Address) override;

  // clsDevice
  STDMETHODIMP get_Name(BSTR* Name) override;
  STDMETHODIMP put_Name(BSTR Name) override;
  STDMETHODIMP get_Description(BSTR* Description) override;
  STDMETHODIMP get_DeviceType(BSTR* DeviceType) override;
  STDMETHODIMP get_Interface(LONG* Interface) override;
  STDMETHODIMP get_Address(LONG* Address) override;
  STDMETHODIMP put_Status(LONG Status) override;
  STDMETHODIMP get_Status(LONG* Status) override;
  STDMETHODIMP get_Info(::InfoRecord* Info) override;
  STDMETHODIMP get_MaxFrequency(DOUBLE* MaxFrequency) override;
  STDMETHODIMP get_MinFrequency(DOUBLE* MinFrequency) override;
  STDMETHODIMP ShowDeviceDialog(LONG mode, BSTR Data, BSTR Section) override;
  STDMETHODIMP Initialize() override;
  STDMETHODIMP Check() override;
  STDMETHODIMP WriteSettingsFile(BSTR File, BSTR Section) override;
  STDMETHODIMP ReadSettingsFile(BSTR File, BSTR Section) override;
  STDMETHODIMP StartTest() override;
  STDMETHODIMP StopTest() override;
  STDMETHODIMP GetInterfaces(BSTR DeviceType, SAFEARRAY** Interfaces) override;
  STDMETHODIMP GetSettingsString(BSTR File, BSTR Section, BSTR* Settings) override;

  // clsIAmpRemote
  STDMETHODIMP put_RemoteInterface(LONG Ifc) override;
  STDMETHODIMP put_SciuBoard(LONG Board) override;
  STDMETHODIMP put_NotifyUser(VARIANT_BOOL Notify) override;
  STDMETHODIMP put_GpibFile(BSTR filename) override;
  STDMETHODIMP put_AmplParams(::AmplParamsRecord* params) override;
  STDMETHODIMP SetSWUParams(BSTR DevName, LONG StbyPath, LONG OperatePath) override;
  STDMETHODIMP ResetFault() override;
  STDMETHODIMP SetState(LONG NewState) override;
  STDMETHODIMP SetFrequency(DOUBLE NewValue) override;
  STDMETHODIMP GetState(LONG* State) override;
  STDMETHODIMP GetParametersFromDevList() override;

  // clsIAmpRemoteExt
  STDMETHODIMP get_CheckForError(BSTR* Entry) override;

 private:
  MarlinObject();
  ~MarlinObject();

  // Boundary that also keeps the error for a late-bound caller's EXCEPINFO.
  template <class Body>
  HRESULT Guard(REFIID iid, Body&& body) noexcept;
  template <class Value, class Get>
  HRESULT Read(REFIID iid, Value* out, Get&& get) noexcept;
  template <class Get>
  HRESULT ReadText(REFIID iid, BSTR* out, Get&& get) noexcept;

  static std::atomic<long> alive_;
  std::atomic<ULONG> references_{1};
  DispatchTable table_;
  std::unique_ptr<marlin::clsMarlin> driver_;
  std::optional<MarlinError> lastError_;
};

}  // namespace marlin::com
