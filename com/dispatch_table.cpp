#include "com/dispatch_table.h"

#include <oleauto.h>

#include <algorithm>
#include <string>
#include <utility>

#include "com/record_call.h"
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
  // Resource 1 is the server's own library; 2 and 3 are the host libraries that define the host
  // interfaces. The host interfaces are taken from those, so their ids are the hosts' own.
  const std::wstring module = ThisModulePath();
  for (std::size_t i = 0; i < libraries_.size(); ++i) {
    const std::wstring path = i == 0 ? module : module + L"\\" + std::to_wstring(i + 1);
    const HRESULT result = LoadTypeLibEx(path.c_str(), REGKIND_NONE, &libraries_[i]);
    if (FAILED(result)) Fail("Cannot load a type library of the server", result);
  }
  for (std::size_t p = 0; p < kParts; ++p) {
    HRESULT result = TYPE_E_ELEMENTNOTFOUND;
    for (auto library = libraries_.rbegin(); library != libraries_.rend() && FAILED(result);
         ++library) {
      result = (*library)->GetTypeInfoOfGuid(parts[p], &dispatchInfo_[p]);
    }
    if (FAILED(result)) Fail("The type libraries lack an interface", result);
    // The vtable half of the dual interface is the one whose Invoke calls our methods.
    HREFTYPE vtableHalf = 0;
    result = dispatchInfo_[p]->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtableHalf);
    if (SUCCEEDED(result)) result = dispatchInfo_[p]->GetRefTypeInfo(vtableHalf, &vtableInfo_[p]);
    if (FAILED(result)) Fail("An interface of the type library is not dual", result);
  }
  const HRESULT result = libraries_[0]->GetTypeInfoOfGuid(coclass, &coclassInfo_);
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

namespace {

// The description of member `id` that `flags` asks for; a get may also be called as a method.
class Function {
 public:
  Function(ITypeInfo* info, DISPID id, WORD flags) : info_(info) {
    Microsoft::WRL::ComPtr<ITypeInfo2> indexed;
    if (FAILED(info->QueryInterface(IID_PPV_ARGS(&indexed)))) return;
    const std::pair<WORD, INVOKEKIND> kinds[] = {{DISPATCH_PROPERTYPUT, INVOKE_PROPERTYPUT},
                                                 {DISPATCH_PROPERTYPUTREF, INVOKE_PROPERTYPUTREF},
                                                 {DISPATCH_METHOD, INVOKE_FUNC},
                                                 {DISPATCH_PROPERTYGET, INVOKE_PROPERTYGET}};
    for (const auto& [flag, kind] : kinds) {
      UINT index = 0;
      if ((flags & flag) && SUCCEEDED(indexed->GetFuncIndexOfMemId(id, kind, &index)) &&
          SUCCEEDED(info->GetFuncDesc(index, &description_))) {
        return;
      }
    }
  }
  ~Function() {
    if (description_) info_->ReleaseFuncDesc(description_);
  }
  Function(const Function&) = delete;
  Function& operator=(const Function&) = delete;

  const FUNCDESC* operator->() const { return description_; }
  const FUNCDESC& operator*() const { return *description_; }
  explicit operator bool() const { return description_ != nullptr; }

 private:
  ITypeInfo* info_;
  FUNCDESC* description_ = nullptr;
};

// A call with more or fewer arguments than the member takes is refused, not trimmed; a surplus
// argument's index goes to `argumentError`.
HRESULT CheckArgumentCount(const FUNCDESC& function, const DISPPARAMS& params,
                           UINT* argumentError) {
  UINT most = 0;
  UINT least = 0;
  for (SHORT i = 0; i < function.cParams; ++i) {
    const USHORT flags = function.lprgelemdescParam[i].paramdesc.wParamFlags;
    if (flags & PARAMFLAG_FRETVAL) continue;
    ++most;
    if (!(flags & PARAMFLAG_FOPT)) least = most;
  }
  if (function.cParamsOpt > 0) least = std::min<UINT>(least, most - function.cParamsOpt);
  if (params.cArgs > most && function.cParamsOpt != -1) {
    if (argumentError) *argumentError = params.cArgs - most - 1;
    return DISP_E_BADPARAMCOUNT;
  }
  return params.cArgs < least ? DISP_E_BADPARAMCOUNT : S_OK;
}

// Every argument must convert to its parameter's type; the type-description layer does not
// always tell which one did not.
HRESULT CheckArgumentTypes(ITypeInfo* info, const FUNCDESC& function, const DISPPARAMS& params,
                           UINT* argumentError) {
  for (SHORT i = 0; i < function.cParams && static_cast<UINT>(i) < params.cArgs; ++i) {
    const ELEMDESC& element = function.lprgelemdescParam[i];
    if ((element.paramdesc.wParamFlags & PARAMFLAG_FRETVAL) || PointedRecord(info, element.tdesc)) {
      continue;
    }
    const UINT index = params.cArgs - 1 - static_cast<UINT>(i);
    VARIANT converted;
    VariantInit(&converted);
    const HRESULT result =
        VariantChangeType(&converted, &params.rgvarg[index], 0, element.tdesc.vt);
    VariantClear(&converted);
    if (FAILED(result)) {
      if (argumentError) *argumentError = index;
      return DISP_E_TYPEMISMATCH;
    }
  }
  return S_OK;
}

}  // namespace

HRESULT DispatchTable::Invoke(const std::array<void*, kParts>& parts, DISPID id, WORD flags,
                              DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                              UINT* argumentError) const {
  const auto part = PartOf(id);
  if (!part) return DISP_E_MEMBERNOTFOUND;
  if (!params || (params->cArgs && !params->rgvarg)) return E_INVALIDARG;
  ITypeInfo* info = vtableInfo_[*part].Get();
  const Function function(info, id, flags);
  if (!function) return DISP_E_MEMBERNOTFOUND;
  const HRESULT counted = CheckArgumentCount(*function, *params, argumentError);
  if (FAILED(counted)) return counted;
  const HRESULT typed = CheckArgumentTypes(info, *function, *params, argumentError);
  if (FAILED(typed)) return typed;
  if (TakesOrGivesRecord(info, *function)) {
    return CallWithRecords(info, *function, parts[*part], *params, result, argumentError);
  }
  return info->Invoke(parts[*part], id, flags, params, result, exception, argumentError);
}

}  // namespace marlin::com
