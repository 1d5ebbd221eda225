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

  std::string Text(HRESULT (clsDevice::*get)(BSTR*)) {
    BSTR text = nullptr;
    (device_.Get()->*get)(&text);
    return Take(text);
  }
  LONG Number(HRESULT (clsDevice::*get)(LONG*)) {
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

  host.Call("Status let 0", IID_clsDevice, host.device_->put_Status(0));
  host.Call("Check (disconnect)", IID_clsDevice, host.device_->Check());
  checks.Equal(host.Number(&clsDevice::get_Status), 0L, "Status after disconnecting");
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
