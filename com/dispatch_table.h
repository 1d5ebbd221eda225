#pragma once
// Late binding over several dual interfaces of one object. A name is looked up in each
// interface in turn; the range of the dispatch id it gets (0x1000, 0x2000, ... in the type
// library) tells which interface owns it, and the call goes through that interface's vtable.
#include <windows.h>

#include <oaidl.h>
#include <wrl/client.h>

#include <array>
#include <cstddef>
#include <optional>

namespace marlin::com {

class DispatchTable {
 public:
  static constexpr std::size_t kParts = 4;

  // The type descriptions of `coclass` and its `parts` (dual interfaces, in the order of their
  // id ranges) from the type libraries in this module's resources: a host interface from the
  // host library that defines it.
  DispatchTable(REFCLSID coclass, const std::array<IID, kParts>& parts);

  // The dispatch half of a part, as GetTypeInfo hands it out.
  ITypeInfo* DispatchInfo(std::size_t part) const { return dispatchInfo_[part].Get(); }
  ITypeInfo* CoclassInfo() const { return coclassInfo_.Get(); }

  HRESULT GetIDsOfNames(LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) const;

  // Calls member `id` on `parts[p]`, the interface pointers of the object in part order.
  HRESULT Invoke(const std::array<void*, kParts>& parts, DISPID id, WORD flags, DISPPARAMS* params,
                 VARIANT* result, EXCEPINFO* exception, UINT* argumentError) const;

  std::optional<std::size_t> PartOf(DISPID id) const;

 private:
  // The server's library, then the host libraries it imports; kept loaded, so that references
  // between them resolve.
  std::array<Microsoft::WRL::ComPtr<ITypeLib>, 3> libraries_;
  std::array<Microsoft::WRL::ComPtr<ITypeInfo>, kParts> dispatchInfo_;
  std::array<Microsoft::WRL::ComPtr<ITypeInfo>, kParts> vtableInfo_;
  Microsoft::WRL::ComPtr<ITypeInfo> coclassInfo_;
};

}  // namespace marlin::com
