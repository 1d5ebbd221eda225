// A C++ host as a test application uses the server: the object created by its ProgID, early
// binding through the three host interfaces, errors read through IErrorInfo. Runs under wine
// against marlin-sim on loopback, which the script starts as a PA4400 with power on and band
// path 2 selected; the device list it hands over through MARLIN_DEVICES names the device.
//
//   com_host_test.exe DEVICE LAN_ADDRESS      the whole use, against a PA4400
//   com_host_test.exe --wait-window DEVICE    Operate on a PA4520: the wait window and its STOP
#include <windows.h>

#include <oleauto.h>
#include <wrl/client.h>

#include <atomic>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "com/win32_wait_window.h"
#include "marlin_h.h"
#include "tests/com/checks.h"

using marlin::com::Win32WaitWindow;
using marlin::com::testing::Checks;
using Microsoft::WRL::ComPtr;

namespace {

constexpr std::int32_t kLanInterface = 50;
constexpr std::int32_t kBandActivationError = 4081;
constexpr LONG kOperate = 3;
constexpr LONG kStandby = 2;

std::string Narrow(const wchar_t* text, std::size_t length) {
  if (length == 0) return {};
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), out.data(), size, nullptr,
                      nullptr);
  return out;
}

std::wstring Widen(const std::string& text) {
  if (text.empty()) return {};
  const int size =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
  return out;
}

// Takes a BSTR the server handed out.
std::string Take(BSTR text) {
  std::string out = text ? Narrow(text, SysStringLen(text)) : std::string();
  SysFreeString(text);
  return out;
}

struct HostError {
  std::int32_t number = 0;
  std::string description;
  std::string source;
  bool supportsErrorInfo = false;
};

// What a VB host would put in Err after a failed call.
HostError ReadError(IUnknown* object, REFIID iid, HRESULT result) {
  HostError error;
  error.number = HRESULT_FACILITY(result) == FACILITY_CONTROL ? HRESULT_CODE(result) : result;
  ComPtr<ISupportErrorInfo> support;
  if (SUCCEEDED(object->QueryInterface(IID_PPV_ARGS(&support)))) {
    error.supportsErrorInfo = support->InterfaceSupportsErrorInfo(iid) == S_OK;
  }
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, &info) == S_OK) {
    BSTR text = nullptr;
    info->GetDescription(&text);
    error.description = Take(text);
    info->GetSource(&text);
    error.source = Take(text);
  }
  return error;
}

// A late-bound call as a script or VB Object variable makes it: the member by name through
// IDispatch, the arguments in call order.
struct LateResult {
  HRESULT result = E_FAIL;
  UINT argumentError = 0xFFFF;
  VARIANT value{};
  std::int32_t errorNumber = 0;
};

LateResult LateCall(IDispatch* object, const wchar_t* name, WORD flags,
                    std::vector<VARIANT> arguments) {
  LateResult call;
  VariantInit(&call.value);
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR text = const_cast<LPOLESTR>(name);
  call.result = object->GetIDsOfNames(IID_NULL, &text, 1, 0, &id);
  if (FAILED(call.result)) return call;
  std::vector<VARIANT> backwards(arguments.rbegin(), arguments.rend());
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS params{backwards.data(), nullptr, static_cast<UINT>(backwards.size()), 0};
  if (flags & DISPATCH_PROPERTYPUT) {
    params.rgdispidNamedArgs = &put;
    params.cNamedArgs = 1;
  }
  EXCEPINFO exception{};
  call.result =
      object->Invoke(id, IID_NULL, 0, flags, &params, &call.value, &exception, &call.argumentError);
  if (call.result == DISP_E_EXCEPTION) call.errorNumber = HRESULT_CODE(exception.scode);
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrHelpFile);
  return call;
}

VARIANT Long(LONG value) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_I4;
  V_I4(&v) = value;
  return v;
}

// A record of the host's amplifier library, as the registry finds it, built the way a late-bound
// host builds one: its own memory, of the size the record's IRecordInfo gives, handed over with
// that IRecordInfo.
class LateRecord {
 public:
  explicit LateRecord(const wchar_t* typeName) {
    ComPtr<ITypeLib> library;
    if (FAILED(LoadRegTypeLib(LIBID_Telvar_Amplifier, 1, 0, 0, &library))) return;
    std::wstring name = typeName;
    ITypeInfo* found = nullptr;
    MEMBERID member = 0;
    USHORT count = 1;
    if (FAILED(library->FindName(name.data(), 0, &found, &member, &count)) || count == 0) return;
    GetRecordInfoFromTypeInfo(found, &info_);
    found->Release();
    ULONG size = 0;
    if (info_ && SUCCEEDED(info_->GetSize(&size))) data_.assign(size, 0);
  }

  explicit operator bool() const { return !data_.empty(); }
  std::size_t Size() const { return data_.size(); }
  template <class Record>
  Record& As() {
    return *reinterpret_cast<Record*>(data_.data());
  }
  // The record as an argument: by value, or by reference as VB passes a record variable.
  VARIANT Argument(bool byReference) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = byReference ? (VT_RECORD | VT_BYREF) : VT_RECORD;
    v.pvRecord = data_.data();
    v.pRecInfo = info_.Get();
    return v;
  }

 private:
  ComPtr<IRecordInfo> info_;
  std::vector<unsigned char> data_;
};

std::string RecordText(const VARIANT& record, const wchar_t* field) {
  if (V_VT(&record) != VT_RECORD || !record.pRecInfo) return "<not a record>";
  VARIANT value;
  VariantInit(&value);
  if (FAILED(record.pRecInfo->GetField(record.pvRecord, field, &value)) ||
      V_VT(&value) != VT_BSTR) {
    VariantClear(&value);
    return "<no text>";
  }
  std::string out = Narrow(V_BSTR(&value), SysStringLen(V_BSTR(&value)));
  VariantClear(&value);
  return out;
}

class Host {
 public:
  Host(Checks& checks, ComPtr<clsDevice> device) : checks_(checks), device_(std::move(device)) {
    device_.As(&remote_);
    device_.As(&ext_);
    device_.As(&own_);
  }

  // One member call: passes, or fails with the number and description the host got back, which
  // for a member whose behaviour has not landed is "... is not available yet" (445).
  bool Call(const std::string& what, REFIID iid, HRESULT result) {
    if (SUCCEEDED(result)) return checks_.Expect(true, what);
    const HostError error = ReadError(device_.Get(), iid, result);
    return checks_.Expect(false, what,
                          "error " + std::to_string(error.number) + ": " + error.description);
  }

  std::string Text(HRESULT (STDMETHODCALLTYPE clsDevice::*get)(BSTR*)) {
    BSTR text = nullptr;
    (device_.Get()->*get)(&text);
    return Take(text);
  }
  LONG Number(HRESULT (STDMETHODCALLTYPE clsDevice::*get)(LONG*)) {
    LONG value = -1;
    (device_.Get()->*get)(&value);
    return value;
  }
  LONG State() {
    LONG state = -1;
    Call("GetState", IID_clsIAmpRemote, remote_->GetState(&state));
    return state;
  }
  std::string InfoMember(int member) {
    InfoRecord info{};
    if (FAILED(device_->get_Info(&info))) return "<failed>";
    BSTR members[] = {info.Member1, info.Member2, info.Member3, info.Member4};
    std::string chosen = members[member - 1]
                             ? Narrow(members[member - 1], SysStringLen(members[member - 1]))
                             : std::string();
    for (BSTR m : members) SysFreeString(m);
    return chosen;
  }
  HRESULT SetBandPath(LONG band) {
    AmplParamsRecord params{};
    params.BandPath = band;
    params.OutputMode = 0;
    params.OperatingClass = 1;
    return remote_->put_AmplParams(&params);
  }

  Checks& checks_;
  ComPtr<clsDevice> device_;
  ComPtr<clsIAmpRemote> remote_;
  ComPtr<clsIAmpRemoteExt> ext_;
  ComPtr<_clsMarlin> own_;
};

void CheckDefaults(Host& host) {
  Checks& checks = host.checks_;
  checks.Expect(host.remote_ && host.ext_ && host.own_, "the object offers all four interfaces");
  LONG own = 0;
  host.own_->get_clsDevice_Address(&own);
  checks.Equal(own, 7L, "the default interface's clsDevice_Address");
  checks.Equal(host.InfoMember(4), std::string("---.---.---.---:5025"),
               "Info member 4 at creation");

  SAFEARRAY* codes = nullptr;
  BSTR type = SysAllocString(L"");
  host.Call("GetInterfaces", IID_clsDevice, host.device_->GetInterfaces(type, &codes));
  SysFreeString(type);
  std::vector<LONG> values;
  LONG lower = -1;
  if (codes && SafeArrayGetLBound(codes, 1, &lower) == S_OK) {
    LONG upper = -1;
    SafeArrayGetUBound(codes, 1, &upper);
    for (LONG i = lower; i <= upper; ++i) {
      LONG value = 0;
      SafeArrayGetElement(codes, &i, &value);
      values.push_back(value);
    }
  }
  if (codes) SafeArrayDestroy(codes);
  checks.Expect(lower == 0 && values == std::vector<LONG>{10, 50, 60},
                "GetInterfaces answers 10, 50, 60 from index 0");
}

void CheckLateBindingNames(Host& host) {
  Checks& checks = host.checks_;
  struct Name {
    const wchar_t* name;
    DISPID low;
  };
  const Name names[] = {{L"clsDevice_Address", 0x1000},
                        {L"Name", 0x2000},
                        {L"SetState", 0x3000},
                        {L"CheckForError", 0x4000}};
  for (const Name& entry : names) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR text = const_cast<LPOLESTR>(entry.name);
    const HRESULT result = host.device_->GetIDsOfNames(IID_NULL, &text, 1, 0, &id);
    checks.Expect(SUCCEEDED(result) && id > entry.low && id < entry.low + 0x1000,
                  "late binding resolves " + Narrow(entry.name, wcslen(entry.name)) +
                      " through any interface");
  }
  ComPtr<ITypeInfo> info;
  BSTR name = nullptr;
  if (SUCCEEDED(host.device_->GetTypeInfo(0, 0, &info))) {
    info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr);
  }
  checks.Equal(Take(name), std::string("clsDevice"),
               "GetTypeInfo through clsDevice describes clsDevice");
}

void CheckLateBinding(Host& host, const std::string& lanAddress);

void DriveAmplifier(Host& host, const std::wstring& device, const std::string& lanAddress) {
  Checks& checks = host.checks_;
  const std::string name = Narrow(device.c_str(), device.size());
  BSTR bstrName = SysAllocString(device.c_str());
  host.Call("Name let", IID_clsDevice, host.device_->put_Name(bstrName));
  SysFreeString(bstrName);
  checks.Equal(host.Text(&clsDevice::get_Name), name, "Name reads back");
  checks.Equal(host.Number(&clsDevice::get_Interface), LONG{kLanInterface},
               "the device list's interface code");
  checks.Equal(host.InfoMember(4), lanAddress, "Info member 4 holds the LAN address");

  host.Call("Status let 1", IID_clsDevice, host.device_->put_Status(1));
  host.Call("Check (connect)", IID_clsDevice, host.device_->Check());
  checks.Equal(host.Number(&clsDevice::get_Status), 1L, "Status after connecting");
  checks.Expect(host.InfoMember(2).find("PA4400") != std::string::npos,
                "Info member 2 holds the identification", host.InfoMember(2));
  host.Call("Initialize", IID_clsDevice, host.device_->Initialize());

  host.Call("AmplParams let (band path 2)", IID_clsIAmpRemote, host.SetBandPath(2));
  host.Call("SetState Operate", IID_clsIAmpRemote, host.remote_->SetState(kOperate));
  checks.Equal(host.State(), kOperate, "GetState after Operate");
  BSTR entry = nullptr;
  host.Call("CheckForError", IID_clsIAmpRemoteExt, host.ext_->get_CheckForError(&entry));
  checks.Equal(Take(entry), std::string(), "an empty error queue reads as the empty text");
  host.Call("SetState Standby", IID_clsIAmpRemote, host.remote_->SetState(kStandby));
  checks.Equal(host.State(), kStandby, "GetState after Standby");

  // The simulator has no band path 11: it queues an error and never reports the path.
  host.Call("AmplParams let (band path 11)", IID_clsIAmpRemote, host.SetBandPath(11));
  const HRESULT refused = host.remote_->SetState(kOperate);
  const HostError error = ReadError(host.remote_.Get(), IID_clsIAmpRemote, refused);
  checks.Expect(FAILED(refused), "SetState Operate fails on a band path that is never set");
  checks.Equal(error.number, kBandActivationError, "the failure's number (Err.Number)");
  const std::string prefix = "Marlin Amplifier-" + name;
  checks.Expect(error.description.rfind(prefix + ": " + prefix, 0) == 0 &&
                    error.description.size() > 2 * prefix.size() + 2,
                "the failure's description through IErrorInfo", error.description);
  checks.Equal(error.source, std::string("Telvar_Marlin.clsMarlin"), "the failure's source");
  checks.Expect(error.supportsErrorInfo, "ISupportErrorInfo answers yes for clsIAmpRemote");
  host.Call("CheckForError", IID_clsIAmpRemoteExt, host.ext_->get_CheckForError(&entry));
  const std::string queued = Take(entry);
  checks.Expect(queued.rfind("-222,", 0) == 0, "CheckForError returns the queued entry", queued);
  host.Call("CheckForError", IID_clsIAmpRemoteExt, host.ext_->get_CheckForError(&entry));
  checks.Equal(Take(entry), std::string(), "one call takes one entry off the queue");
  checks.Equal(host.State(), kStandby, "a failed switch leaves the amplifier in Standby");
  CheckLateBinding(host, lanAddress);

  host.Call("Status let 0", IID_clsDevice, host.device_->put_Status(0));
  host.Call("Check (disconnect)", IID_clsDevice, host.device_->Check());
  checks.Equal(host.Number(&clsDevice::get_Status), 0L, "Status after disconnecting");
}

// Every member is reachable by name, the record members included: the server passes records
// itself, refuses a wrong argument count or type with the argument's index, and a late-bound
// band path reaches the driver.
void CheckLateBinding(Host& host, const std::string& lanAddress) {
  Checks& checks = host.checks_;
  IDispatch* object = host.device_.Get();
  LateResult info = LateCall(object, L"Info", DISPATCH_PROPERTYGET | DISPATCH_METHOD, {});
  checks.Expect(SUCCEEDED(info.result) && V_VT(&info.value) == VT_RECORD,
                "late-bound Info answers a record",
                "HRESULT " + std::to_string(static_cast<unsigned long>(info.result)));
  checks.Equal(RecordText(info.value, L"Member4"), lanAddress, "late-bound Info member 4");
  VariantClear(&info.value);

  LateRecord params(L"AmplParamsRecord");
  if (!checks.Equal(params.Size(), sizeof(AmplParamsRecord),
                    "a late-bound host builds an AmplParams record of the host's size")) {
    return;
  }
  params.As<AmplParamsRecord>().OperatingClass = 1;
  // The band path before was 11: Operate on 2 shows the record arrived by value; 11 again by
  // reference, refused with 4081, shows the second one arrived too.
  params.As<AmplParamsRecord>().BandPath = 2;
  checks.Equal(
      LateCall(object, L"AmplParams", DISPATCH_PROPERTYPUT, {params.Argument(false)}).result, S_OK,
      "late-bound AmplParams by value (band path 2)");
  checks.Equal(LateCall(object, L"SetState", DISPATCH_METHOD, {Long(kOperate)}).result, S_OK,
               "late-bound Operate on band path 2");
  checks.Equal(host.State(), kOperate, "GetState after a late-bound Operate");
  LateCall(object, L"SetState", DISPATCH_METHOD, {Long(kStandby)});
  params.As<AmplParamsRecord>().BandPath = 11;
  checks.Equal(
      LateCall(object, L"AmplParams", DISPATCH_PROPERTYPUT, {params.Argument(true)}).result, S_OK,
      "late-bound AmplParams by reference (band path 11)");
  const LateResult refused = LateCall(object, L"SetState", DISPATCH_METHOD, {Long(kOperate)});
  checks.Expect(refused.result == DISP_E_EXCEPTION && refused.errorNumber == kBandActivationError,
                "late-bound Operate on band path 11 fails with 4081 in EXCEPINFO",
                "HRESULT " + std::to_string(static_cast<unsigned long>(refused.result)));
  BSTR entry = nullptr;
  host.ext_->get_CheckForError(&entry);
  SysFreeString(entry);

  struct Wrong {
    const char* what;
    const wchar_t* member;
    WORD flags;
    std::vector<VARIANT> arguments;
    HRESULT expected;
    UINT index;
  };
  VARIANT text;
  V_VT(&text) = VT_BSTR;
  V_BSTR(&text) = SysAllocString(L"Operate");
  LateRecord wrongRecord(L"InfoRecord");
  const Wrong wrongs[] = {
      {"SetState with two arguments",
       L"SetState",
       DISPATCH_METHOD,
       {Long(2), Long(1)},
       DISP_E_BADPARAMCOUNT,
       0},
      {"SetState with none", L"SetState", DISPATCH_METHOD, {}, DISP_E_BADPARAMCOUNT, 0xFFFF},
      {"SetState with a text", L"SetState", DISPATCH_METHOD, {text}, DISP_E_TYPEMISMATCH, 0},
      {"Info with an argument", L"Info", DISPATCH_PROPERTYGET, {Long(1)}, DISP_E_BADPARAMCOUNT, 0},
      {"AmplParams with a number",
       L"AmplParams",
       DISPATCH_PROPERTYPUT,
       {Long(2)},
       DISP_E_TYPEMISMATCH,
       0},
      {"AmplParams with an Info record",
       L"AmplParams",
       DISPATCH_PROPERTYPUT,
       {wrongRecord.Argument(false)},
       DISP_E_TYPEMISMATCH,
       0},
      {"SetSWUParams with the second of three arguments a text",
       L"SetSWUParams",
       DISPATCH_METHOD,
       {text, text, Long(1)},
       DISP_E_TYPEMISMATCH,
       1}};
  for (const Wrong& wrong : wrongs) {
    const LateResult call = LateCall(object, wrong.member, wrong.flags, wrong.arguments);
    checks.Expect(call.result == wrong.expected && call.argumentError == wrong.index,
                  std::string("late-bound ") + wrong.what + " is refused with its argument index",
                  "HRESULT " + std::to_string(static_cast<unsigned long>(call.result)) +
                      ", index " + std::to_string(call.argumentError));
  }
  VariantClear(&text);
  checks.Equal(host.State(), kStandby, "no refused call reached the amplifier");
}

ComPtr<clsDevice> Create(Checks& checks) {
  CLSID clsid{};
  checks.Expect(SUCCEEDED(CLSIDFromProgID(L"Telvar_Marlin.clsMarlin", &clsid)) &&
                    IsEqualCLSID(clsid, CLSID_clsMarlin),
                "the ProgID names the class");
  ComPtr<clsDevice> device;
  const HRESULT result =
      CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&device));
  checks.Expect(SUCCEEDED(result), "CoCreateInstance by ProgID",
                "HRESULT " + std::to_string(static_cast<unsigned long>(result)));
  return device;
}

// A wrong setting reaches the host from the first member that needs a host service, with a text
// that names it; corrected, it takes effect at the next object's creation.
void CheckConfigurationError(Checks& checks) {
  wchar_t scale[64] = {};
  const bool hadScale = GetEnvironmentVariableW(L"MARLIN_TIME_SCALE", scale, 64) != 0;
  SetEnvironmentVariableW(L"MARLIN_TIME_SCALE", L"fast");
  if (auto device = Create(checks)) {
    const HRESULT result = device->put_Status(1);
    const HostError error = ReadError(device.Get(), IID_clsDevice, result);
    checks.Equal(error.number, 5, "a wrong setting fails the first member");
    checks.Equal(error.description,
                 std::string("MARLIN_TIME_SCALE \"fast\" must be a number above 0"),
                 "the failure names the setting");
  }
  SetEnvironmentVariableW(L"MARLIN_TIME_SCALE", hadScale ? scale : nullptr);
}

// What the operator sees and does while a PA4520 switches: the wait window appears with the
// device name as caption and the target on its indicator, and "STOP" removes it at once, while
// the switching goes on to its end.
void CheckWaitWindow(Checks& checks, const std::wstring& device) {
  auto created = Create(checks);
  if (!created) return;
  Host host(checks, created);
  BSTR name = SysAllocString(device.c_str());
  host.Call("Name let", IID_clsDevice, host.device_->put_Name(name));
  SysFreeString(name);
  host.Call("Status let 1", IID_clsDevice, host.device_->put_Status(1));
  host.Call("Check (connect)", IID_clsDevice, host.device_->Check());
  host.Call("AmplParams let (band path 2)", IID_clsIAmpRemote, host.SetBandPath(2));

  std::atomic<bool> switching{true};
  std::string caption, indicator;
  bool closedWhileSwitching = false;
  std::thread operatorThread([&] {
    HWND window = nullptr;
    for (int attempt = 0; attempt < 2000 && switching && !window; ++attempt) {
      window = FindWindowW(Win32WaitWindow::kClassName, nullptr);
      if (!window) Sleep(5);
    }
    if (!window) return;
    wchar_t text[128] = {};
    GetWindowTextW(window, text, 127);
    caption = Narrow(text, wcslen(text));
    GetWindowTextW(GetDlgItem(window, Win32WaitWindow::kIndicatorId), text, 127);
    indicator = Narrow(text, wcslen(text));
    PostMessageW(GetDlgItem(window, Win32WaitWindow::kStopId), BM_CLICK, 0, 0);
    while (IsWindow(window) && switching) Sleep(5);
    closedWhileSwitching = !IsWindow(window) && switching;
  });
  host.Call("SetState Operate on a PA4520", IID_clsIAmpRemote, host.remote_->SetState(kOperate));
  switching = false;
  operatorThread.join();
  checks.Equal(caption, Narrow(device.c_str(), device.size()), "the wait window's caption");
  checks.Equal(indicator, std::string("OPERATE"), "the wait window's indicator");
  checks.Expect(closedWhileSwitching, "STOP removes the window while the amplifier switches");
  checks.Expect(!FindWindowW(Win32WaitWindow::kClassName, nullptr), "no wait window is left");
  checks.Equal(host.State(), kOperate, "the switching went on to Operate");
  host.Call("Status let 0", IID_clsDevice, host.device_->put_Status(0));
  host.Call("Check (disconnect)", IID_clsDevice, host.device_->Check());
}

}  // namespace

int main(int argc, char** argv) {
  Checks checks("com_host_test");
  const bool waitWindow = argc == 3 && std::string(argv[1]) == "--wait-window";
  if (argc != 3) {
    std::printf("usage: com_host_test.exe DEVICE LAN_ADDRESS | --wait-window DEVICE\n");
    return 2;
  }
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
  if (waitWindow) {
    CheckWaitWindow(checks, Widen(argv[2]));
  } else {
    CheckConfigurationError(checks);
    if (auto device = Create(checks)) {
      Host host(checks, device);
      CheckDefaults(host);
      CheckLateBindingNames(host);
      DriveAmplifier(host, Widen(argv[1]), argv[2]);
    }
    // With every object gone the host may ask COM to free unused servers; creation still works.
    CoFreeUnusedLibrariesEx(0, 0);
    checks.Expect(Create(checks) != nullptr, "a new object after CoFreeUnusedLibraries");
    CoFreeUnusedLibrariesEx(0, 0);
  }
  CoUninitialize();
  return checks.Finish();
}
