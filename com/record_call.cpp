#include "com/record_call.h"

#include <oleauto.h>

#include <vector>

namespace marlin::com {
namespace {

using Microsoft::WRL::ComPtr;

// The caller's record for a parameter of type `record`: its data, or null when the argument is
// something else.
void* CallersRecord(const VARIANT& argument, ITypeInfo* record) {
  const VARIANT* value = &argument;
  if (V_VT(value) == (VT_VARIANT | VT_BYREF) && V_VARIANTREF(value)) value = V_VARIANTREF(value);
  if ((V_VT(value) & ~VT_BYREF) != VT_RECORD || !value->pRecInfo || !value->pvRecord) {
    return nullptr;
  }
  ComPtr<IRecordInfo> expected;
  if (FAILED(GetRecordInfoFromTypeInfo(record, &expected)) ||
      !expected->IsMatchingType(value->pRecInfo)) {
    return nullptr;
  }
  return value->pvRecord;
}

// The arguments of one call, cleared at the end; a record result is destroyed unless handed out.
class CallArguments {
 public:
  explicit CallArguments(UINT count) : values_(count), pointers_(count), types_(count) {
    for (UINT i = 0; i < count; ++i) {
      VariantInit(&values_[i]);
      pointers_[i] = &values_[i];
    }
  }
  ~CallArguments() {
    for (VARIANT& value : values_) VariantClear(&value);
    if (resultData_) resultRecord_->RecordDestroy(resultData_);
  }
  CallArguments(const CallArguments&) = delete;
  CallArguments& operator=(const CallArguments&) = delete;

  void Pointer(UINT i, void* data) {
    V_VT(&values_[i]) = VT_BYREF | VT_UI1;
    V_BYREF(&values_[i]) = data;
    types_[i] = V_VT(&values_[i]);
  }
  HRESULT Coerce(UINT i, const VARIANT& argument, VARTYPE type) {
    types_[i] = type;
    return VariantChangeType(&values_[i], const_cast<VARIANT*>(&argument), 0, type);
  }
  HRESULT RecordResult(UINT i, ITypeInfo* record) {
    HRESULT status = GetRecordInfoFromTypeInfo(record, &resultRecord_);
    if (FAILED(status)) return status;
    resultData_ = resultRecord_->RecordCreate();
    if (!resultData_) return E_OUTOFMEMORY;
    Pointer(i, resultData_);
    return S_OK;
  }
  void HandOut(VARIANT* result) {
    if (!resultData_) return;
    if (!result) return;
    VariantInit(result);
    V_VT(result) = VT_RECORD;
    result->pvRecord = resultData_;
    result->pRecInfo = resultRecord_.Detach();
    resultData_ = nullptr;
  }

  VARTYPE* Types() { return types_.data(); }
  VARIANTARG** Pointers() { return pointers_.data(); }

 private:
  std::vector<VARIANT> values_;
  std::vector<VARIANTARG*> pointers_;
  std::vector<VARTYPE> types_;
  ComPtr<IRecordInfo> resultRecord_;
  void* resultData_ = nullptr;
};

}  // namespace

// A record type may be reached through its typedef; the typedef is what carries its id.
ComPtr<ITypeInfo> PointedRecord(ITypeInfo* owner, const TYPEDESC& type) {
  if (type.vt != VT_PTR || !type.lptdesc || type.lptdesc->vt != VT_USERDEFINED) return nullptr;
  ComPtr<ITypeInfo> pointed;
  if (FAILED(owner->GetRefTypeInfo(type.lptdesc->hreftype, &pointed))) return nullptr;
  ComPtr<ITypeInfo> resolved = pointed;
  for (int depth = 0; depth < 4; ++depth) {
    TYPEATTR* attributes = nullptr;
    if (FAILED(resolved->GetTypeAttr(&attributes))) return nullptr;
    const TYPEKIND kind = attributes->typekind;
    const TYPEDESC alias = attributes->tdescAlias;
    resolved->ReleaseTypeAttr(attributes);
    if (kind == TKIND_RECORD) return pointed;
    ComPtr<ITypeInfo> next;
    if (kind != TKIND_ALIAS || alias.vt != VT_USERDEFINED ||
        FAILED(resolved->GetRefTypeInfo(alias.hreftype, &next))) {
      return nullptr;
    }
    resolved = next;
  }
  return nullptr;
}

bool TakesOrGivesRecord(ITypeInfo* owner, const FUNCDESC& function) {
  for (SHORT i = 0; i < function.cParams; ++i) {
    if (PointedRecord(owner, function.lprgelemdescParam[i].tdesc)) return true;
  }
  return false;
}

HRESULT CallWithRecords(ITypeInfo* owner, const FUNCDESC& function, void* object,
                        const DISPPARAMS& params, VARIANT* result, UINT* argumentError) {
  const UINT count = static_cast<UINT>(function.cParams);
  CallArguments arguments(count);
  for (UINT i = 0; i < count; ++i) {
    const ELEMDESC& element = function.lprgelemdescParam[i];
    const ComPtr<ITypeInfo> record = PointedRecord(owner, element.tdesc);
    HRESULT status = S_OK;
    if (element.paramdesc.wParamFlags & PARAMFLAG_FRETVAL) {
      status = record ? arguments.RecordResult(i, record.Get()) : DISP_E_BADVARTYPE;
      if (FAILED(status)) return status;
      continue;
    }
    // The caller's arguments run backwards: the last one is rgvarg[0].
    const UINT index = params.cArgs - 1 - i;
    const VARIANT& argument = params.rgvarg[index];
    if (record) {
      void* data = CallersRecord(argument, record.Get());
      if (data) {
        arguments.Pointer(i, data);
      } else {
        status = DISP_E_TYPEMISMATCH;
      }
    } else {
      status = arguments.Coerce(i, argument, element.tdesc.vt);
    }
    if (FAILED(status)) {
      if (argumentError) *argumentError = index;
      return DISP_E_TYPEMISMATCH;
    }
  }
  VARIANT returned;
  VariantInit(&returned);
  // The member's HRESULT comes back as VT_ERROR (not every runtime takes VT_HRESULT here).
  HRESULT status =
      DispCallFunc(object, static_cast<ULONG_PTR>(function.oVft), function.callconv, VT_ERROR,
                   count, arguments.Types(), arguments.Pointers(), &returned);
  if (SUCCEEDED(status)) status = V_ERROR(&returned);
  if (SUCCEEDED(status)) arguments.HandOut(result);
  return status;
}

}  // namespace marlin::com
