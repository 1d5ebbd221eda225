#include "com/marlin_object.h"

#include <cstring>
#include <new>

#include "com/server_identity.h"
#include "com/wide_text.h"
#include "driver/cls_marlin.h"
#include "host/thread_host.h"

namespace marlin::com {
namespace {

const std::array<IID, DispatchTable::kParts> kParts{IID__clsMarlin, IID_clsDevice,
                                                    IID_clsIAmpRemote, IID_clsIAmpRemoteExt};

static_assert(sizeof(::AmplParamsRecord) == sizeof(marlin::AmplParamsRecord));
static_assert(offsetof(::AmplParamsRecord, BandPath) ==
              offsetof(marlin::AmplParamsRecord, BandPath));

marlin::AmplParamsRecord FromHost(const ::AmplParamsRecord& host) {
  marlin::AmplParamsRecord record;
  std::memcpy(record.Head.data(), host.Head, record.Head.size());
  record.BandPath = host.BandPath;
  record.OutputMode = host.OutputMode;
  record.OperatingClass = host.OperatingClass;
  std::memcpy(record.Tail.data(), host.Tail, record.Tail.size());
  return record;
}

SAFEARRAY* ToSafeArray(const std::vector<std::int32_t>& values) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_I4, 0, static_cast<ULONG>(values.size()));
  if (!array) throw MarlinError(errors::kOutOfMemory, "Out of memory");
  void* data = nullptr;
  if (FAILED(SafeArrayAccessData(array, &data))) {
    SafeArrayDestroy(array);
    throw MarlinError(errors::kInternal, "Cannot fill the array of interface codes");
  }
  if (!values.empty()) std::memcpy(data, values.data(), values.size() * sizeof(std::int32_t));
  SafeArrayUnaccessData(array);
  return array;
}

}  // namespace

std::atomic<long> MarlinObject::alive_{0};

MarlinObject::MarlinObject()
    : table_(CLSID_clsMarlin, kParts),
      driver_(std::make_unique<marlin::clsMarlin>(marlin::host::ThreadContext())) {
  ++alive_;
}

MarlinObject::~MarlinObject() {
  // The driver's teardown ignores its own errors; nothing may reach the host from here.
  try {
    driver_.reset();
  } catch (...) {
  }
  --alive_;
}

HRESULT MarlinObject::Create(REFIID iid, void** object) noexcept {
  if (!object) return E_POINTER;
  *object = nullptr;
  MarlinObject* created = nullptr;
  // NOLINTNEXTLINE(bugprone-unhandled-exception-at-new): Boundary turns bad_alloc into an HRESULT
  const HRESULT made = Boundary(IID_IUnknown, [&] { created = new MarlinObject(); });
  if (FAILED(made)) return made;
  const HRESULT result = created->QueryInterface(iid, object);
  created->Release();
  return result;
}

template <class Body>
HRESULT MarlinObject::Guard(REFIID iid, Body&& body) noexcept {
  return Boundary(iid, [&] {
    try {
      body();
    } catch (...) {
      lastError_ = CurrentError();
      throw;
    }
  });
}

template <class Value, class Get>
HRESULT MarlinObject::Read(REFIID iid, Value* out, Get&& get) noexcept {
  if (!out) return E_POINTER;
  *out = Value{};
  return Guard(iid, [&] { *out = get(); });
}

template <class Get>
HRESULT MarlinObject::ReadText(REFIID iid, BSTR* out, Get&& get) noexcept {
  if (!out) return E_POINTER;
  *out = nullptr;
  return Guard(iid, [&] { *out = Bstr(get()).Release(); });
}

// A member that failed reaches a late-bound caller as DISP_E_EXCEPTION with the error's number
// and description in EXCEPINFO, whatever the type-description layer made of it; a caller that
// passes no EXCEPINFO gets the error's own HRESULT.
HRESULT MarlinObject::InvokeMember(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO* exception, UINT* argumentError) noexcept {
  lastError_.reset();
  const std::array<void*, DispatchTable::kParts> parts{
      static_cast<::_clsMarlin*>(this), static_cast<::clsDevice*>(this),
      static_cast<::clsIAmpRemote*>(this), static_cast<::clsIAmpRemoteExt*>(this)};
  HRESULT outcome = table_.Invoke(parts, id, flags, params, result, exception, argumentError);
  if (FAILED(outcome) && lastError_ && !exception) {
    outcome = ErrorHResult(lastError_->Number());
  } else if (FAILED(outcome) && lastError_) {
    try {
      if (!exception->bstrDescription) {
        exception->bstrDescription = Bstr(lastError_->Description()).Release();
      }
      if (!exception->bstrSource) exception->bstrSource = Bstr(kProgId).Release();
    } catch (...) {
      // The number still reaches the caller.
    }
    exception->wCode = 0;
    exception->scode = ErrorHResult(lastError_->Number());
    outcome = DISP_E_EXCEPTION;
  }
  lastError_.reset();
  return outcome;
}

STDMETHODIMP MarlinObject::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID__clsMarlin) {
    *object = static_cast<::_clsMarlin*>(this);
  } else if (iid == IID_clsDevice) {
    *object = static_cast<::clsDevice*>(this);
  } else if (iid == IID_clsIAmpRemote) {
    *object = static_cast<::clsIAmpRemote*>(this);
  } else if (iid == IID_clsIAmpRemoteExt) {
    *object = static_cast<::clsIAmpRemoteExt*>(this);
  } else if (iid == IID_ISupportErrorInfo) {
    *object = static_cast<ISupportErrorInfo*>(this);
  } else if (iid == IID_IProvideClassInfo) {
    *object = static_cast<IProvideClassInfo*>(this);
  } else {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) MarlinObject::AddRef() { return ++references_; }

STDMETHODIMP_(ULONG) MarlinObject::Release() {
  const ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

STDMETHODIMP MarlinObject::InterfaceSupportsErrorInfo(REFIID iid) {
  for (const IID& part : kParts) {
    if (iid == part) return S_OK;
  }
  return iid == IID_IDispatch ? S_OK : S_FALSE;
}

STDMETHODIMP MarlinObject::GetClassInfo(ITypeInfo** info) {
  if (!info) return E_POINTER;
  *info = table_.CoclassInfo();
  (*info)->AddRef();
  return S_OK;
}

STDMETHODIMP MarlinObject::get_clsDevice_Address(LONG* Address) {
  return Read(IID__clsMarlin, Address, [&] { return driver_->clsDevice_Address(); });
}

STDMETHODIMP MarlinObject::get_Name(BSTR* Name) {
  return ReadText(IID_clsDevice, Name, [&] { return driver_->clsDevice_Name(); });
}

STDMETHODIMP MarlinObject::put_Name(BSTR Name) {
  return Guard(IID_clsDevice, [&] { driver_->clsDevice_Name_Let(FromBstr(Name)); });
}

STDMETHODIMP MarlinObject::get_Description(BSTR* Description) {
  return ReadText(IID_clsDevice, Description, [&] { return driver_->clsDevice_Description(); });
}

STDMETHODIMP MarlinObject::get_DeviceType(BSTR* DeviceType) {
  return ReadText(IID_clsDevice, DeviceType, [&] { return driver_->clsDevice_DeviceType(); });
}

STDMETHODIMP MarlinObject::get_Interface(LONG* Interface) {
  return Read(IID_clsDevice, Interface, [&] { return driver_->clsDevice_Interface(); });
}

STDMETHODIMP MarlinObject::get_Address(LONG* Address) {
  return Read(IID_clsDevice, Address, [&] { return driver_->clsDevice_Address(); });
}

STDMETHODIMP MarlinObject::put_Status(LONG Status) {
  return Guard(IID_clsDevice, [&] { driver_->clsDevice_Status_Let(Status); });
}

STDMETHODIMP MarlinObject::get_Status(LONG* Status) {
  return Read(IID_clsDevice, Status, [&] { return driver_->clsDevice_Status(); });
}

STDMETHODIMP MarlinObject::get_Info(::InfoRecord* Info) {
  if (!Info) return E_POINTER;
  *Info = {};
  return Guard(IID_clsDevice, [&] {
    const marlin::InfoRecord info = driver_->clsDevice_Info();
    Bstr member1(info.Member1), member2(info.Member2), member3(info.Member3), member4(info.Member4);
    *Info = {member1.Release(), member2.Release(), member3.Release(), member4.Release()};
  });
}

STDMETHODIMP MarlinObject::get_MaxFrequency(DOUBLE* MaxFrequency) {
  return Read(IID_clsDevice, MaxFrequency, [&] { return driver_->clsDevice_MaxFrequency(); });
}

STDMETHODIMP MarlinObject::get_MinFrequency(DOUBLE* MinFrequency) {
  return Read(IID_clsDevice, MinFrequency, [&] { return driver_->clsDevice_MinFrequency(); });
}

STDMETHODIMP MarlinObject::ShowDeviceDialog(LONG mode, BSTR Data, BSTR Section) {
  return Guard(IID_clsDevice, [&] {
    driver_->clsDevice_ShowDeviceDialog(mode, FromBstr(Data), FromBstr(Section));
  });
}

STDMETHODIMP MarlinObject::Initialize() {
  return Guard(IID_clsDevice, [&] { driver_->clsDevice_Initialize(); });
}

STDMETHODIMP MarlinObject::Check() {
  return Guard(IID_clsDevice, [&] { driver_->clsDevice_Check(); });
}

STDMETHODIMP MarlinObject::WriteSettingsFile(BSTR File, BSTR Section) {
  return Guard(IID_clsDevice,
               [&] { driver_->clsDevice_WriteSettingsFile(FromBstr(File), FromBstr(Section)); });
}

STDMETHODIMP MarlinObject::ReadSettingsFile(BSTR File, BSTR Section) {
  return Guard(IID_clsDevice,
               [&] { driver_->clsDevice_ReadSettingsFile(FromBstr(File), FromBstr(Section)); });
}

STDMETHODIMP MarlinObject::StartTest() {
  return Guard(IID_clsDevice, [&] { driver_->clsDevice_StartTest(); });
}

STDMETHODIMP MarlinObject::StopTest() {
  return Guard(IID_clsDevice, [&] { driver_->clsDevice_StopTest(); });
}

STDMETHODIMP MarlinObject::GetInterfaces(BSTR DeviceType, SAFEARRAY** Interfaces) {
  return Read(IID_clsDevice, Interfaces,
              [&] { return ToSafeArray(driver_->clsDevice_GetInterfaces(FromBstr(DeviceType))); });
}

STDMETHODIMP MarlinObject::GetSettingsString(BSTR File, BSTR Section, BSTR* Settings) {
  return ReadText(IID_clsDevice, Settings, [&] {
    return driver_->clsDevice_GetSettingsString(FromBstr(File), FromBstr(Section));
  });
}

STDMETHODIMP MarlinObject::put_RemoteInterface(LONG Ifc) {
  return Guard(IID_clsIAmpRemote, [&] { driver_->clsIAmpRemote_RemoteInterface_Let(Ifc); });
}

STDMETHODIMP MarlinObject::put_SciuBoard(LONG Board) {
  return Guard(IID_clsIAmpRemote, [&] { driver_->clsIAmpRemote_SciuBoard_Let(Board); });
}

STDMETHODIMP MarlinObject::put_NotifyUser(VARIANT_BOOL Notify) {
  return Guard(IID_clsIAmpRemote,
               [&] { driver_->clsIAmpRemote_NotifyUser_Let(Notify != VARIANT_FALSE); });
}

STDMETHODIMP MarlinObject::put_GpibFile(BSTR filename) {
  return Guard(IID_clsIAmpRemote, [&] { driver_->clsIAmpRemote_GpibFile_Let(FromBstr(filename)); });
}

STDMETHODIMP MarlinObject::put_AmplParams(::AmplParamsRecord* params) {
  if (!params) return E_POINTER;
  return Guard(IID_clsIAmpRemote,
               [&] { driver_->clsIAmpRemote_AmplParams_Let(FromHost(*params)); });
}

STDMETHODIMP MarlinObject::SetSWUParams(BSTR DevName, LONG StbyPath, LONG OperatePath) {
  return Guard(IID_clsIAmpRemote, [&] {
    driver_->clsIAmpRemote_SetSWUParams(FromBstr(DevName), StbyPath, OperatePath);
  });
}

STDMETHODIMP MarlinObject::ResetFault() {
  return Guard(IID_clsIAmpRemote, [&] { driver_->clsIAmpRemote_ResetFault(); });
}

STDMETHODIMP MarlinObject::SetState(LONG NewState) {
  return Guard(IID_clsIAmpRemote, [&] { driver_->clsIAmpRemote_SetState(NewState); });
}

STDMETHODIMP MarlinObject::SetFrequency(DOUBLE NewValue) {
  return Guard(IID_clsIAmpRemote, [&] { driver_->clsIAmpRemote_SetFrequency(NewValue); });
}

STDMETHODIMP MarlinObject::GetState(LONG* State) {
  return Read(IID_clsIAmpRemote, State, [&] { return driver_->clsIAmpRemote_GetState(); });
}

STDMETHODIMP MarlinObject::GetParametersFromDevList() {
  return Guard(IID_clsIAmpRemote, [&] { driver_->clsIAmpRemote_GetParametersFromDevList(); });
}

STDMETHODIMP MarlinObject::get_CheckForError(BSTR* Entry) {
  return ReadText(IID_clsIAmpRemoteExt, Entry,
                  [&] { return driver_->clsIAmpRemoteExt_CheckForError(); });
}

}  // namespace marlin::com
