#include "com/dispatch_table.h"

#include <oleauto.h>

#include <algorithm>

#include "com/this_module.h"
#include "driver/marlin_error.h"

namespace marlin::com {
namespace {

constexpr DISPID kRangeSize = 0x1000;

[[noreturn]] void Fail(const char* what, HRESULT result) {
  throw MarlinError(errors::kInternal,
                    std::string(what) + ": " + SystemMessage(static_cast<DWORD>(result)));
}

}  // namespace

DispatchTable::DispatchTable(REFCLSID coclass, const std::array<IID, kParts>& parts) {
  Microsoft::WRL::ComPtr<ITypeLib> library;
  HRESULT result = LoadTypeLibEx(ThisModulePath().c_str(), REGKIND_NONE, &library);
  if (FAILED(result)) Fail("Cannot load the server's type library", result);
  for (std::size_t p = 0; p < kParts; ++p) {
    result = library->GetTypeInfoOfGuid(parts[p], &dispatchInfo_[p]);
    if (FAILED(result)) Fail("The type library lacks an interface", result);
    // The vtable half of the dual interface is the one whose Invoke calls our methods.
    HREFTYPE vtableHalf = 0;
    result = dispatchInfo_[p]->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtableHalf);
    if (SUCCEEDED(result)) result = dispatchInfo_[p]->GetRefTypeInfo(vtableHalf, &vtableInfo_[p]);
    if (FAILED(result)) Fail("An interface of the type library is not dual", result);
  }
  result = library->GetTypeInfoOfGuid(coclass, &coclassInfo_);
  if (FAILED(result)) Fail("The type library does not describe the class", result);
}

HRESULT DispatchTable::GetIDsOfNames(LPOLESTR* names, UINT count, LCID, DISPID* ids) const {
  if (!names || !ids || count == 0) return E_INVALIDARG;
  for (const auto& info : vtableInfo_) {
    std::fill(ids, ids + count, DISPID_UNKNOWN);
    const HRESULT result = info->GetIDsOfNames(names, count, ids);
    // A member found with an unknown argument name is that member's answer, not the next part's.
    if (SUCCEEDED(result) || ids[0] != DISPID_UNKNOWN) return result;
  }
  return DISP_E_UNKNOWNNAME;
}

std::optional<std::size_t> DispatchTable::PartOf(DISPID id) const {
  const DISPID part = id / kRangeSize - 1;
  if (part < 0 || part >= static_cast<DISPID>(kParts)) return std::nullopt;
  return static_cast<std::size_t>(part);
}

HRESULT DispatchTable::Invoke(const std::array<void*, kParts>& parts, DISPID id, WORD flags,
                              DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                              UINT* argumentError) const {
  const auto part = PartOf(id);
  if (!part) return DISP_E_MEMBERNOTFOUND;
  return vtableInfo_[*part]->Invoke(parts[*part], id, flags, params, result, exception,
                                    argumentError);
}

}  // namespace marlin::com
