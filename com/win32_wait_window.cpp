#include "com/win32_wait_window.h"

#include <algorithm>

#include "com/this_module.h"
#include "com/wide_text.h"
#include "driver/marlin_error.h"
#include "ui/frm_wait_for_done.h"

namespace marlin::com {
namespace {

constexpr std::int32_t kLabelProperty = frmWaitForDone::kLabelProperty;
constexpr std::int32_t kColourProperty = frmWaitForDone::kColourProperty;
constexpr std::int32_t kNoSuchProperty = 438;
constexpr std::int32_t kControlNotFound = 730;
// The LED's colour before the driver sets one: unlit.
constexpr COLORREF kUnlit = RGB(64, 64, 64);

// Client-area layout, in pixels.
constexpr int kClientWidth = 300;
constexpr int kClientHeight = 112;
constexpr RECT kIndicatorBox{12, 12, 212, 48};
constexpr RECT kStopBox{12, 68, 112, 98};
constexpr RECT kPictureBox{236, 12, 284, 60};
constexpr int kLedSize = 20;

HWND CreateChild(HWND parent, const wchar_t* windowClass, const std::wstring& text, DWORD style,
                 RECT box, int id) {
  HWND child =
      CreateWindowExW(0, windowClass, text.c_str(), WS_CHILD | WS_VISIBLE | style, box.left,
                      box.top, box.right - box.left, box.bottom - box.top, parent,
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ThisModule(), nullptr);
  if (!child) {
    throw MarlinError(errors::kInternal, "Cannot create a control of the wait window: " +
                                             SystemMessage(GetLastError()));
  }
  SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)),
               FALSE);
  return child;
}

}  // namespace

Win32WaitWindow::Win32WaitWindow(const WaitWindowLayout& layout, WaitWindowEvents& events)
    : events_(events),
      caption_(layout.caption),
      label_(layout.indicatorLabel),
      stopCaption_(layout.stopCaption),
      stopTag_(layout.stopTag),
      colour_(kUnlit) {
  EnsureWindowClass(kClassName, &Procedure);
  constexpr DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
  constexpr DWORD extendedStyle = WS_EX_DLGMODALFRAME | WS_EX_TOPMOST;
  RECT frame{0, 0, kClientWidth, kClientHeight};
  AdjustWindowRectEx(&frame, style, FALSE, extendedStyle);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  const int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  const int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  // Owned by the host's active window, so it stays above it.
  window_ = CreateWindowExW(extendedStyle, kClassName, Widen(caption_).c_str(), style, x, y, width,
                            height, GetActiveWindow(), nullptr, ThisModule(), this);
  if (!window_) {
    throw MarlinError(errors::kInternal,
                      "Cannot create the wait window: " + SystemMessage(GetLastError()));
  }
  try {
    CreateControls();
  } catch (...) {
    DestroyWindow(window_);
    throw;
  }
}

Win32WaitWindow::~Win32WaitWindow() {
  if (window_) DestroyWindow(window_);
}

void Win32WaitWindow::CreateControls() {
  indicator_ =
      CreateChild(window_, L"STATIC", Widen(label_), SS_OWNERDRAW, kIndicatorBox, kIndicatorId);
  stop_ = CreateChild(window_, L"BUTTON", Widen(stopCaption_), BS_PUSHBUTTON | WS_TABSTOP, kStopBox,
                      kStopId);
  picture_ = CreateChild(window_, L"STATIC", L"", SS_ICON, kPictureBox, kPictureId);
  SendMessageW(
      picture_, STM_SETICON,
      reinterpret_cast<WPARAM>(LoadIconW(nullptr, MAKEINTRESOURCEW(32516))),  // IDI_INFORMATION
      0);
}

std::vector<std::string> Win32WaitWindow::ControlNames() const {
  return {kFormName, kIndicatorName, kStopName, kPictureName};
}

std::string Win32WaitWindow::ControlTag(const std::string& control) const {
  if (control == kStopName) return stopTag_;
  const auto names = ControlNames();
  if (std::find(names.begin(), names.end(), control) == names.end()) {
    throw MarlinError(kControlNotFound, "Control '" + control + "' not found");
  }
  return {};
}

void Win32WaitWindow::SetControlText(const std::string& control, const std::string& text) {
  if (control == kFormName) {
    SetCaption(text);
  } else if (control == kIndicatorName) {
    SetIndicatorProperty(kLabelProperty, text);
  } else if (control == kStopName) {
    stopCaption_ = text;
    if (stop_) SetWindowTextW(stop_, Widen(text).c_str());
  } else if (control != kPictureName) {
    throw MarlinError(kControlNotFound, "Control '" + control + "' not found");
  }
}

void Win32WaitWindow::SetCaption(const std::string& caption) {
  caption_ = caption;
  if (window_) SetWindowTextW(window_, Widen(caption).c_str());
}

std::string Win32WaitWindow::Caption() const { return caption_; }

void Win32WaitWindow::SetIndicatorProperty(std::int32_t dispId, const IndicatorValue& value) {
  if (dispId == kLabelProperty) {
    // A number given as label shows as its decimal text, as the control's own property does.
    label_ = std::holds_alternative<std::string>(value)
                 ? std::get<std::string>(value)
                 : std::to_string(std::get<std::int32_t>(value));
  } else if (dispId == kColourProperty) {
    if (!std::holds_alternative<std::int32_t>(value)) {
      throw MarlinError(errors::kTypeMismatch, "Type mismatch");
    }
    const std::int32_t colour = std::get<std::int32_t>(value);
    if (colour < 0 || colour > 0xFFFFFF) {
      throw MarlinError(errors::kInvalidPropertyValue, "Invalid property value");
    }
    colour_ = static_cast<COLORREF>(colour);
  } else {
    throw MarlinError(kNoSuchProperty, "Object doesn't support this property or method");
  }
  if (indicator_) {
    // The control's own text follows the label, for screen readers and window inspectors.
    SetWindowTextW(indicator_, Widen(label_).c_str());
    InvalidateRect(indicator_, nullptr, TRUE);
  }
}

void Win32WaitWindow::ShowModeless() {
  if (!window_) return;
  ShowWindow(window_, SW_SHOWNORMAL);
  UpdateWindow(window_);
}

void Win32WaitWindow::Close() {
  if (window_) DestroyWindow(window_);
}

bool Win32WaitWindow::Visible() const { return window_ && IsWindowVisible(window_); }

void Win32WaitWindow::DrawIndicator(const DRAWITEMSTRUCT& item) const {
  HDC dc = item.hDC;
  RECT box = item.rcItem;
  FillRect(dc, &box, GetSysColorBrush(COLOR_BTNFACE));
  const int top = box.top + (box.bottom - box.top - kLedSize) / 2;
  RECT led{box.left + 2, top, box.left + 2 + kLedSize, top + kLedSize};
  HBRUSH fill = CreateSolidBrush(colour_);
  FillRect(dc, &led, fill);
  DeleteObject(fill);
  DrawEdge(dc, &led, EDGE_SUNKEN, BF_RECT);
  RECT text{led.right + 8, box.top, box.right, box.bottom};
  SetBkMode(dc, TRANSPARENT);
  HGDIOBJ oldFont = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  const std::wstring wide = Widen(label_);
  DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &text,
            DT_LEFT | DT_VCENTER | DT_SINGLELINE);
  SelectObject(dc, oldFont);
}

LRESULT CALLBACK Win32WaitWindow::Procedure(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    auto* creating = static_cast<Win32WaitWindow*>(create->lpCreateParams);
    creating->window_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creating));
  }
  auto* self = reinterpret_cast<Win32WaitWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self) return DefWindowProcW(window, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    self->window_ = self->indicator_ = self->stop_ = self->picture_ = nullptr;
    return DefWindowProcW(window, message, wParam, lParam);
  }
  return self->OnMessage(window, message, wParam, lParam);
}

// The form's handlers ignore their errors: nothing may leave a window procedure.
LRESULT Win32WaitWindow::OnMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(wParam) == kStopId && HIWORD(wParam) == BN_CLICKED) {
        try {
          events_.OnStopClicked();
        } catch (...) {
        }
        return 0;
      }
      break;
    case WM_CLOSE:
      try {
        events_.OnCloseRequest(0);
      } catch (...) {
      }
      // The close is never refused.
      if (IsWindow(window)) DestroyWindow(window);
      return 0;
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      if (item->CtlID == kIndicatorId) {
        try {
          DrawIndicator(*item);
        } catch (...) {
        }
        return TRUE;
      }
      break;
    }
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace marlin::com
