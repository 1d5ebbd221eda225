#include "com/win32_message.h"

#include <windows.h>

#include "com/wide_text.h"

namespace marlin::com {

// The style is the host's message-box style, whose bits are those of MessageBoxW. A box that
// cannot be shown (no desktop) leaves the recorded message as the operator's only copy.
void Win32Message::ShowMessage(const std::string& text, std::int32_t& style,
                               const std::string& title, std::int32_t timeout) {
  recorded_->ShowMessage(text, style, title, timeout);
  const UINT type = static_cast<UINT>(style) | MB_SETFOREGROUND;
  MessageBoxW(GetActiveWindow(), Widen(text).c_str(), Widen(title).c_str(), type);
}

}  // namespace marlin::com
