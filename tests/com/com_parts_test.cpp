// In-process checks of the server's Win32 side under wine (null graphics driver): the wait window
// driven by the form logic, "STOP" and the close control during a message-pumping wait, the
// keep-alive timer on its message-only window, the error boundary and the server's settings.
// windows.h first: the other Win32 headers rely on its types.
#include <windows.h>

#include <oleauto.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>

#include "com/error_boundary.h"
#include "com/message_pump.h"
#include "com/pumping_tools.h"
#include "com/server_settings.h"
#include "com/wide_text.h"
#include "com/win32_message_window.h"
#include "com/win32_timer.h"
#include "com/win32_wait_window.h"
#include "com/win32_windows.h"
#include "host/standalone_message.h"
#include "host/thread_host.h"
#include "host/trace_sinks.h"
#include "platform/user_device_list.h"
#include "platform/user_setting.h"
#include "tests/com/checks.h"
#include "ui/frm_keep_alive.h"
#include "ui/frm_wait_for_done.h"

using namespace marlin;
using namespace marlin::com;
using marlin::com::testing::Checks;

namespace {

// A host text table that renames the "STOP" button through its tag.
class TableTexts final : public HostTexts {
 public:
  std::string GetText(std::int32_t) override { return {}; }
  void ApplyTexts(HostWindow& window) override {
    for (const auto& control : window.ControlNames()) {
      if (window.ControlTag(control) == "15607") window.SetControlText(control, "Anhalten");
    }
  }
};

class RecordingEvents final : public WaitWindowEvents {
 public:
  void OnStopClicked() override { ++stops; }
  void OnCloseRequest(std::int32_t reason) override { closes.push_back(reason); }
  int stops = 0;
  std::vector<std::int32_t> closes;
};

std::string WindowText(HWND window) {
  wchar_t text[256] = {};
  GetWindowTextW(window, text, 255);
  return Narrow(text);
}

HWND FindWaitWindow() { return FindWindowW(Win32WaitWindow::kClassName, nullptr); }

std::optional<MarlinError> ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const MarlinError& error) {
    return error;
  }
  return std::nullopt;
}

void CheckView(Checks& checks) {
  VirtualClock clock;
  Win32Windows windows(clock);
  RecordingEvents events;
  const WaitWindowLayout layout{"Wait %s for", "OPERATE", {"Off", "On"}, "STOP", "15607"};
  auto view = windows.CreateWaitWindow(layout, events);
  auto& win32 = static_cast<Win32WaitWindow&>(*view);
  checks.Equal(WindowText(win32.Window()), std::string("Wait %s for"), "the stored caption");
  checks.Equal(win32.ControlTag("cmdStop"), std::string("15607"), "the STOP button's tag");

  struct PropertyCase {
    std::int32_t dispId;
    IndicatorValue value;
    std::int32_t error;  // 0: accepted
  };
  const PropertyCase cases[] = {
      {3, std::string("POWER OFF"), 0}, {5, 65280, 0}, {5, 0x1000000, 380},
      {5, std::string("red"), 13},      {7, 1, 438},   {3, 42, 0}};
  for (const auto& c : cases) {
    auto error = ErrorOf([&] { view->SetIndicatorProperty(c.dispId, c.value); });
    checks.Equal(error ? error->Number() : 0, c.error,
                 "indicator property " + std::to_string(c.dispId) + " takes or refuses a value");
  }
  checks.Equal(win32.IndicatorLabel(), std::string("42"), "a number given as label shows as text");
  checks.Equal(WindowText(GetDlgItem(win32.Window(), Win32WaitWindow::kIndicatorId)),
               std::string("42"), "the indicator control's text follows the label");
  checks.Equal(static_cast<long>(win32.IndicatorColour()), 65280L,
               "a refused colour leaves the last one");
  checks.Equal(
      ErrorOf([&] { view->SetControlText("lblNone", "x"); }).value_or(MarlinError(0, "")).Number(),
      730, "an unknown control is refused");

  view->ShowModeless();
  checks.Expect(view->Visible(), "the window shows without blocking");
  PostMessageW(win32.StopButton(), BM_CLICK, 0, 0);
  PostMessageW(win32.Window(), WM_CLOSE, 0, 0);
  PumpPendingMessages();
  checks.Equal(events.stops, 1, "a click on STOP reaches the form");
  checks.Expect(events.closes == std::vector<std::int32_t>{0},
                "the close control reaches the form with reason 0");
  checks.Expect(!IsWindow(win32.Window()) && !view->Visible(), "the close is never refused");
  checks.Expect(!ErrorOf([&] { view->Close(); }), "closing a closed window does nothing");
}

void CheckWaitForm(Checks& checks) {
  VirtualClock clock;
  host::Replace(std::make_unique<Win32Windows>(clock));
  host::Replace(std::make_unique<TableTexts>());

  {
    frmWaitForDone form(*host::ThreadContext());
    form.SetIndicatorColour(frmWaitForDone::kRed);
    form.Show();
    form.DlgCaption("AMP1");
    HWND window = FindWaitWindow();
    checks.Equal(WindowText(window), std::string("AMP1"), "DlgCaption replaces the whole caption");
    HWND stop = GetDlgItem(window, Win32WaitWindow::kStopId);
    checks.Equal(WindowText(stop), std::string("Anhalten"), "ApplyTexts renamed STOP on load");
    checks.Equal(WindowText(GetDlgItem(window, Win32WaitWindow::kIndicatorId)),
                 std::string("OPERATE"), "the indicator shows the target");

    // The operator presses STOP while the driver waits for the amplifier.
    PostMessageW(stop, BM_CLICK, 0, 0);
    const auto before = clock.Now();
    PumpingWait(clock, 4000);
    checks.Expect(form.UserStop(), "STOP is handled during the wait");
    checks.Expect(!IsWindow(window), "STOP removes the window");
    checks.Equal(ToMilliseconds(clock.Now() - before), 4000.0, "the wait still lasts its time");
  }
  {
    frmWaitForDone form(*host::ThreadContext());
    form.Show();
    PostMessageW(FindWaitWindow(), WM_CLOSE, 0, 0);
    PumpingWait(clock, 100);
    checks.Expect(form.UserStop() && !FindWaitWindow(), "the close control acts like STOP");
    checks.Expect(!ErrorOf([&] { form.FormHide(); }) && !FindWaitWindow(),
                  "FormHide after the operator closed the window shows and raises nothing");
  }
  {
    frmWaitForDone form(*host::ThreadContext());
    form.Show();
    form.FormHide();
    checks.Expect(!form.UserStop() && !FindWaitWindow(), "FormHide removes the window");
  }
  host::ResetThread();
}

void CheckKeepAlive(Checks& checks) {
  // 1000 times faster: the 60 s period lasts 60 ms.
  RealClock clock(1000);
  host::Replace(std::make_unique<Win32Windows>(clock));
  {
    frmKeepAlive form(*host::ThreadContext());
    form.ActivateKeepAlive(true);
    HWND timerWindow = FindWindowExW(HWND_MESSAGE, nullptr, Win32Timer::kClassName, nullptr);
    checks.Expect(form.TimerEnabled() && timerWindow != nullptr,
                  "the keep-alive timer runs on a message-only window");
    checks.Expect(!FindWaitWindow() && !IsWindowVisible(timerWindow), "the form is never shown");
    PumpingWait(clock, 3 * 60000.0);
    form.ActivateKeepAlive(false);
    checks.Expect(!form.TimerEnabled(), "ActivateKeepAlive(false) stops it");
  }
  checks.Expect(!FindWindowExW(HWND_MESSAGE, nullptr, Win32Timer::kClassName, nullptr),
                "the timer window goes with the form");

  int ticks = 0;
  Win32Timer timer(clock, [&] { ++ticks; });
  checks.Equal(ErrorOf([&] { timer.SetInterval(-1); }).value_or(MarlinError(0, "")).Number(), 380,
               "a negative interval is refused");
  timer.SetEnabled(true);
  checks.Equal(timer.RealPeriod(), UINT{0}, "an interval of 0 runs no timer");
  timer.SetInterval(frmKeepAlive::kTimerInterval);
  checks.Equal(timer.RealPeriod(), UINT{60}, "the period follows the clock's scale");
  Sleep(200);
  checks.Equal(ticks, 0, "ticks arrive only through the message loop");
  const auto start = std::chrono::steady_clock::now();
  PumpingWait(clock, 5 * 60000.0);
  const int counted = ticks;
  // A busy or emulated machine may stretch the wait past its 5 periods, and the timer ticks on
  // meanwhile: at most once in each 60 ms that really passed.
  const auto periods = (std::chrono::steady_clock::now() - start) / std::chrono::milliseconds(60);
  checks.Expect(counted >= 2 && counted <= periods + 1, "the timer ticks while the thread waits",
                std::to_string(counted) + " ticks in " + std::to_string(periods) + " periods");
  timer.SetEnabled(false);
  PumpingWait(clock, 3 * 60000.0);
  checks.Equal(ticks, counted, "a disabled timer does not tick");
  host::ResetThread();
}

void CheckMessageBox(Checks& checks) {
  VirtualClock clock;
  Win32Windows windows(clock);
  // The operator reads the box and presses OK.
  bool seen = false;
  std::thread operatorThread([&seen] {
    for (int attempt = 0; attempt < 400 && !seen; ++attempt) {
      if (HWND box = FindWindowW(L"#32770", L"AMP1")) {
        seen = true;
        PostMessageW(box, WM_COMMAND, IDOK, 0);
      }
      Sleep(25);
    }
  });
  windows.ShowMessageBox("-300,\"Amplifier fault\"", "AMP1", MB_OK | MB_ICONERROR);
  operatorThread.join();
  checks.Expect(seen, "the message box waits until the operator closes it");
}

// An operator message reaches a GUI host's operator in the server's own window: title, text and
// the style's icon, closing by itself after the timeout on the server's clock; the trace record
// and the console still get it.
void CheckOperatorMessage(Checks& checks) {
  wchar_t folder[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, folder);
  const std::filesystem::path record = std::filesystem::path(folder) / L"marlin_message.jsonl";
  std::filesystem::remove(record);
  std::ostringstream console;
  {
    auto clock = std::make_shared<RealClock>(20.0);
    Win32Message message(std::make_unique<StandaloneMessage>(
                             console, std::make_shared<JsonLinesFile>(record), std::nullopt),
                         clock);
    std::string caption, text;
    bool information = false;
    bool closedByItself = false;
    std::thread operatorThread([&] {
      HWND window = nullptr;
      for (int attempt = 0; attempt < 400 && !window; ++attempt) {
        window = FindWindowW(Win32Message::kClassName, nullptr);
        if (!window) Sleep(5);
      }
      if (!window) return;
      caption = WindowText(window);
      text = WindowText(GetDlgItem(window, Win32Message::kTextId));
      const HICON informationIcon = LoadIconW(nullptr, MAKEINTRESOURCEW(32516));
      information = reinterpret_cast<HICON>(SendMessageW(GetDlgItem(window, Win32Message::kIconId),
                                                         STM_GETICON, 0, 0)) == informationIcon;
      for (int attempt = 0; attempt < 1000 && IsWindow(window); ++attempt) Sleep(5);
      closedByItself = !IsWindow(window);
    });
    std::int32_t style = MB_ICONINFORMATION;
    const Clock::Duration shown = clock->Now();
    message.ShowMessage("Restart AMP1 to activate new LAN timeout value!", style, "AMP1", 10000);
    const double stayed = ToMilliseconds(clock->Now() - shown);
    const bool goneOnReturn = !FindWindowW(Win32Message::kClassName, nullptr);
    operatorThread.join();
    checks.Equal(caption, std::string("AMP1"), "the message window's title");
    checks.Equal(text, std::string("Restart AMP1 to activate new LAN timeout value!"),
                 "the message window's text");
    checks.Expect(information, "style 64 shows the information icon");
    checks.Expect(closedByItself && goneOnReturn,
                  "the message window closes by itself after its timeout");
    checks.Expect(stayed >= 10000, "the message window stays its 10000 ms on the server's clock",
                  std::to_string(stayed) + " ms");
  }
  std::ifstream file(record);
  const std::string recorded((std::istreambuf_iterator<char>(file)), {});
  checks.Expect(
      recorded.find("Restart AMP1 to activate new LAN timeout value!") != std::string::npos,
      "the trace record keeps the message", recorded);
  checks.Expect(console.str().find("Restart AMP1") != std::string::npos,
                "the console still gets the message", console.str());
  file.close();
  std::filesystem::remove(record);
}

void CheckPumpingWait(Checks& checks) {
  auto clock = std::make_shared<VirtualClock>();
  PostQuitMessage(7);
  PumpingWait(*clock, 10);
  MSG message{};
  checks.Expect(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) && message.wParam == 7,
                "a WM_QUIT met during a wait is posted again for the host's loop");

  PumpingTools tools(nullptr, clock);
  for (float bad : {-1.0f, NAN, 1e9f}) {
    checks.Equal(ErrorOf([&] { tools.Wait(bad); }).value_or(MarlinError(0, "")).Number(), 5,
                 "a wait of " + std::to_string(bad) + " ms is refused");
  }
}

void CheckBoundary(Checks& checks) {
  struct Case {
    const char* what;
    std::function<void()> body;
    HRESULT result;
    std::string description;
  };
  const Case cases[] = {
      {"a driver error", [] { throw MarlinError(4040, "Marlin Amplifier-AMP1: "); },
       static_cast<HRESULT>(0x800A0FC8), "Marlin Amplifier-AMP1: "},
      {"a standard exception", [] { throw std::runtime_error("boom"); },
       static_cast<HRESULT>(0x800A0033), "Internal error: boom"},
      {"anything else", [] { throw 1; }, static_cast<HRESULT>(0x800A0033), "Internal error"},
      {"an error number beyond 16 bits", [] { throw MarlinError(70000, "wide"); }, E_FAIL, "wide"},
      {"success", [] {}, S_OK, ""}};
  for (const auto& c : cases) {
    SetErrorInfo(0, nullptr);
    const HRESULT result = Boundary(IID_IDispatch, c.body);
    std::string description;
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) == S_OK) {
      BSTR text = nullptr;
      info->GetDescription(&text);
      description = FromBstr(text);
      SysFreeString(text);
      info->Release();
    }
    checks.Expect(result == c.result && description == c.description,
                  std::string("the boundary turns ") + c.what + " into its HRESULT and text",
                  description);
  }
  checks.Equal(ErrorNumber(ErrorHResult(4081)), 4081, "Err.Number reads the error number back");

  const std::string text("Verst\xC3\xA4rker\0end", 14);
  checks.Expect(FromBstr(Bstr(text).Release()) == text,
                "texts keep non-ASCII characters and embedded NULs through a BSTR");
}

class SettingsScope {
 public:
  SettingsScope() { Clear(); }
  ~SettingsScope() { Clear(); }
  static void Clear() {
    RegDeleteTreeW(HKEY_CURRENT_USER, platform::kUserSettingsKey);
    for (const auto* s : {&kDeviceListSetting, &kTraceSetting, &kTimeScaleSetting}) {
      SetEnvironmentVariableW(Widen(s->variable).c_str(), nullptr);
    }
  }
};

void SetRegistry(const wchar_t* name, DWORD type, const void* data, DWORD bytes) {
  RegSetKeyValueW(HKEY_CURRENT_USER, platform::kUserSettingsKey, name, type, data, bytes);
}
void SetRegistryText(const wchar_t* name, const std::wstring& text, DWORD type = REG_SZ) {
  SetRegistry(name, type, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

void CheckSettings(Checks& checks) {
  struct Case {
    const char* what;
    std::function<void()> arrange;
    std::function<bool(const ServerSettings&)> expect;
    const char* error;  // part of the expected error text, or null
  };
  const DWORD number = 1;
  const Case cases[] = {
      {"nothing set: no device list, no trace, real time", [] {},
       [](const ServerSettings& s) {
         return s.deviceList.empty() && s.traceFile.empty() && s.timeScale == 1.0;
       },
       nullptr},
      {"the registry configures the server",
       [] {
         SetRegistryText(L"DeviceList", L"C:\\lab\\devices.toml");
         SetRegistryText(L"Trace", L"C:\\lab\\trace.jsonl");
         SetRegistryText(L"TimeScale", L"2.5");
       },
       [](const ServerSettings& s) {
         return s.deviceList == L"C:\\lab\\devices.toml" &&
                s.traceFile == L"C:\\lab\\trace.jsonl" && s.timeScale == 2.5;
       },
       nullptr},
      {"the environment wins over the registry",
       [] {
         SetRegistryText(L"DeviceList", L"C:\\lab\\devices.toml");
         SetEnvironmentVariableW(L"MARLIN_DEVICES", L"D:\\other.toml");
       },
       [](const ServerSettings& s) { return s.deviceList == L"D:\\other.toml"; }, nullptr},
      {"REG_EXPAND_SZ values are expanded",
       [] {
         SetEnvironmentVariableW(L"MARLIN_TEST_DIR", L"C:\\expanded");
         SetRegistryText(L"Trace", L"%MARLIN_TEST_DIR%\\t.jsonl", REG_EXPAND_SZ);
       },
       [](const ServerSettings& s) { return s.traceFile == L"C:\\expanded\\t.jsonl"; }, nullptr},
      {"a registry value that is not text",
       [&] { SetRegistry(L"DeviceList", REG_DWORD, &number, sizeof(number)); }, nullptr,
       "HKEY_CURRENT_USER\\Software\\Marlin\\DeviceList must be a text value"},
      {"a time scale that is no number",
       [] { SetEnvironmentVariableW(L"MARLIN_TIME_SCALE", L"fast"); }, nullptr,
       "MARLIN_TIME_SCALE \"fast\" must be a number above 0"},
      {"a time scale of 0", [] { SetRegistryText(L"TimeScale", L"0"); }, nullptr,
       "HKEY_CURRENT_USER\\Software\\Marlin\\TimeScale \"0\" must be a number above 0"}};
  for (const auto& c : cases) {
    SettingsScope scope;
    c.arrange();
    try {
      const ServerSettings settings = ReadServerSettings();
      checks.Expect(!c.error && c.expect(settings), c.what, "read without error");
    } catch (const MarlinError& error) {
      checks.Expect(
          c.error && error.Number() == 5 && error.Description().find(c.error) != std::string::npos,
          c.what, error.Description());
    }
  }
}

// marlinctl and marlin-sim take their default device list from the server's own setting.
void CheckProgramsDeviceList(Checks& checks) {
  const auto appData = [](const std::string& name) -> std::optional<std::string> {
    if (name == "APPDATA") return "C:\\users\\lab\\AppData";
    return std::nullopt;
  };
  std::string why;
  {
    SettingsScope scope;
    SetRegistryText(L"DeviceList", L"C:\\lab\\devices.toml");
    const auto found = platform::DefaultDeviceList(appData, why);
    checks.Expect(found && found->path == L"C:\\lab\\devices.toml" &&
                      found->origin == "HKEY_CURRENT_USER\\Software\\Marlin\\DeviceList",
                  "the programs read the server's DeviceList value first");
  }
  {
    SettingsScope scope;
    const auto found = platform::DefaultDeviceList(appData, why);
    checks.Expect(found && found->path == L"C:\\users\\lab\\AppData\\Marlin\\devices.toml",
                  "without it, the list under %APPDATA%");
  }
  SettingsScope scope;
  const DWORD number = 1;
  SetRegistry(L"DeviceList", REG_DWORD, &number, sizeof(number));
  try {
    platform::DefaultDeviceList(appData, why);
    checks.Expect(false, "a DeviceList value that is not text is refused");
  } catch (const std::runtime_error& error) {
    checks.Expect(
        std::string(error.what()).find("DeviceList must be a text value") != std::string::npos,
        "a DeviceList value that is not text is refused", error.what());
  }
}

}  // namespace

int main() {
  Checks checks("com_parts_test");
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
  const std::pair<const char*, void (*)(Checks&)> groups[] = {
      {"wait window", CheckView},
      {"wait form", CheckWaitForm},
      {"keep-alive timer", CheckKeepAlive},
      {"message box", CheckMessageBox},
      {"operator message", CheckOperatorMessage},
      {"pumping wait", CheckPumpingWait},
      {"error boundary", CheckBoundary},
      {"settings", CheckSettings},
      {"programs' device list", CheckProgramsDeviceList}};
  for (const auto& [name, group] : groups) {
    try {
      group(checks);
    } catch (const MarlinError& error) {
      checks.Expect(false, std::string(name) + " checks ran to the end",
                    std::to_string(error.Number()) + " " + error.Description());
      host::ResetThread();
    }
  }
  CoUninitialize();
  return checks.Finish();
}
