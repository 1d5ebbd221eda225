#include "com/wide_text.h"

#include "driver/marlin_error.h"

namespace marlin::com {
namespace {
[[noreturn]] void OutOfMemory() { throw MarlinError(errors::kOutOfMemory, "Out of memory"); }
}  // namespace

std::wstring Widen(std::string_view text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int needed = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(needed), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), length, wide.data(), needed);
  return wide;
}

std::string Narrow(std::wstring_view text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int needed =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(needed), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), length, narrow.data(), needed, nullptr, nullptr);
  return narrow;
}

Bstr::Bstr(std::string_view text) {
  const std::wstring wide = Widen(text);
  value_ = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
  if (!value_) OutOfMemory();
}

std::string FromBstr(BSTR text) {
  if (!text) return {};
  return Narrow(std::wstring_view(text, SysStringLen(text)));
}

}  // namespace marlin::com
