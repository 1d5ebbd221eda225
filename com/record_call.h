#pragma once
// Late-bound calls of members that take or return a record. Not every runtime's type-description
// layer can pass records (wine's answers E_NOTIMPL), so the server calls these members itself:
// a record argument arrives as VT_RECORD (or by reference) with its IRecordInfo, a record result
// leaves as VT_RECORD.
#include <windows.h>

#include <oaidl.h>
#include <wrl/client.h>

namespace marlin::com {

// The record `type` points to (a parameter's `Record*`), or null for any other type.
Microsoft::WRL::ComPtr<ITypeInfo> PointedRecord(ITypeInfo* owner, const TYPEDESC& type);

bool TakesOrGivesRecord(ITypeInfo* owner, const FUNCDESC& function);

// Calls `function` of `object` (the interface `owner` describes) with the caller's arguments,
// which were counted already. A wrong argument gives DISP_E_TYPEMISMATCH with its index in
// `argumentError`; a failed member gives its own HRESULT.
HRESULT CallWithRecords(ITypeInfo* owner, const FUNCDESC& function, void* object,
                        const DISPPARAMS& params, VARIANT* result, UINT* argumentError);

}  // namespace marlin::com
