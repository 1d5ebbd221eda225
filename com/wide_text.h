#pragma once
// The driver's texts are UTF-8; Windows and COM speak UTF-16. Conversions keep embedded NULs
// (instrument answers may carry them) and raise 7 when memory runs out.
#include <windows.h>

#include <string>
#include <string_view>

namespace marlin::com {

std::wstring Widen(std::string_view text);
std::string Narrow(std::wstring_view text);

// A BSTR owned until released to a caller.
class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(std::string_view text);
  ~Bstr() { SysFreeString(value_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;

  BSTR Release() {
    BSTR out = value_;
    value_ = nullptr;
    return out;
  }

 private:
  BSTR value_ = nullptr;
};

// A BSTR argument from the host; a null BSTR is the empty text.
std::string FromBstr(BSTR text);

}  // namespace marlin::com
