#include "com/win32_message_window.h"

#include <algorithm>

#include "com/message_pump.h"
#include "com/this_module.h"
#include "com/wide_text.h"
#include "driver/marlin_error.h"

namespace marlin::com {
namespace {

// Client-area layout, in pixels.
constexpr int kClientWidth = 360;
constexpr int kClientHeight = 110;
constexpr RECT kIconBox{16, 16, 48, 48};
constexpr RECT kTextBox{64, 16, 344, 64};
constexpr RECT kOkBox{260, 74, 344, 100};
// How often the window's remaining time is looked at, in the clock's milliseconds.
constexpr double kCheckMs = 50;

// The system icon of a message-box style's icon bits (IDI_HAND ... IDI_ASTERISK), if any.
LPCWSTR IconOf(std::int32_t style) {
  switch (style & MB_ICONMASK) {
    case MB_ICONHAND:
      return MAKEINTRESOURCEW(32513);
    case MB_ICONQUESTION:
      return MAKEINTRESOURCEW(32514);
    case MB_ICONEXCLAMATION:
      return MAKEINTRESOURCEW(32515);
    case MB_ICONASTERISK:
      return MAKEINTRESOURCEW(32516);
    default:
      return nullptr;
  }
}

LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
    DestroyWindow(window);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

void Child(HWND parent, const wchar_t* windowClass, const std::wstring& text, DWORD style, RECT box,
           int id) {
  HWND child =
      CreateWindowExW(0, windowClass, text.c_str(), WS_CHILD | WS_VISIBLE | style, box.left,
                      box.top, box.right - box.left, box.bottom - box.top, parent,
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ThisModule(), nullptr);
  if (!child) {
    throw MarlinError(errors::kInternal, "Cannot create a control of the message window: " +
                                             SystemMessage(GetLastError()));
  }
  SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)),
               FALSE);
}

HWND CreateMessageWindow(const std::string& text, std::int32_t style, const std::string& title) {
  EnsureWindowClass(Win32Message::kClassName, &Procedure);
  constexpr DWORD frameStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE;
  constexpr DWORD extendedStyle = WS_EX_DLGMODALFRAME | WS_EX_TOPMOST;
  RECT frame{0, 0, kClientWidth, kClientHeight};
  AdjustWindowRectEx(&frame, frameStyle, FALSE, extendedStyle);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  HWND window = CreateWindowExW(extendedStyle, Win32Message::kClassName, Widen(title).c_str(),
                                frameStyle, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                                (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height,
                                GetActiveWindow(), nullptr, ThisModule(), nullptr);
  if (!window) {
    throw MarlinError(errors::kInternal,
                      "Cannot create the message window: " + SystemMessage(GetLastError()));
  }
  try {
    if (LPCWSTR icon = IconOf(style)) {
      Child(window, L"STATIC", L"", SS_ICON, kIconBox, Win32Message::kIconId);
      SendMessageW(GetDlgItem(window, Win32Message::kIconId), STM_SETICON,
                   reinterpret_cast<WPARAM>(LoadIconW(nullptr, icon)), 0);
    }
    Child(window, L"STATIC", Widen(text), SS_LEFT, kTextBox, Win32Message::kTextId);
    Child(window, L"BUTTON", L"OK", BS_DEFPUSHBUTTON | WS_TABSTOP, kOkBox, IDOK);
  } catch (...) {
    DestroyWindow(window);
    throw;
  }
  return window;
}

}  // namespace

void Win32Message::ShowMessage(const std::string& text, std::int32_t& style,
                               const std::string& title, std::int32_t timeout) {
  standalone_->ShowMessage(text, style, title, timeout);
  HWND window = CreateMessageWindow(text, style, title);
  const Clock::Duration end = clock_->Now() + FromMilliseconds(std::max(timeout, 0));
  while (IsWindow(window)) {
    const double left = ToMilliseconds(end - clock_->Now());
    if (left <= 0) break;
    PumpingWait(*clock_, std::min(left, kCheckMs));
  }
  if (IsWindow(window)) DestroyWindow(window);
}

}  // namespace marlin::com
