#include "com/error_boundary.h"

#include <oleauto.h>
#include <wrl/client.h>

#include "com/server_identity.h"
#include "com/wide_text.h"

namespace marlin::com {
namespace {
constexpr std::int32_t kLargestErrorNumber = 0xFFFF;
}  // namespace

// Numbers above 16 bits cannot ride in the code of a control-facility HRESULT; a negative number
// already is an HRESULT (as VB passes it on), anything else is a general failure whose
// description still tells what went wrong.
HRESULT ErrorHResult(std::int32_t number) noexcept {
  if (number < 0) return static_cast<HRESULT>(number);
  if (number == 0 || number > kLargestErrorNumber) return E_FAIL;
  return MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, static_cast<unsigned>(number));
}

std::int32_t ErrorNumber(HRESULT result) noexcept {
  if (HRESULT_FACILITY(result) == FACILITY_CONTROL) return HRESULT_CODE(result);
  return static_cast<std::int32_t>(result);
}

HRESULT RaiseToHost(REFIID iid, const MarlinError& error) noexcept {
  const HRESULT result = ErrorHResult(error.Number());
  try {
    Microsoft::WRL::ComPtr<ICreateErrorInfo> create;
    if (FAILED(CreateErrorInfo(&create))) return result;
    const std::wstring source = Widen(kProgId);
    const std::wstring description = Widen(error.Description());
    create->SetGUID(iid);
    create->SetSource(const_cast<LPOLESTR>(source.c_str()));
    create->SetDescription(const_cast<LPOLESTR>(description.c_str()));
    Microsoft::WRL::ComPtr<IErrorInfo> info;
    if (SUCCEEDED(create.As(&info))) SetErrorInfo(0, info.Get());
  } catch (...) {
    // Out of memory while describing the error: the HRESULT still carries its number.
  }
  return result;
}

}  // namespace marlin::com
