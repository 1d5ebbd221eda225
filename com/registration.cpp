#include "com/registration.h"

#include <oleauto.h>
#include <olectl.h>
#include <wrl/client.h>

#include <string>

#include "com/server_identity.h"
#include "com/this_module.h"
#include "com/wide_text.h"
#include "marlin_h.h"

namespace marlin::com {
namespace {

#ifdef _WIN64
constexpr SYSKIND kSysKind = SYS_WIN64;
constexpr const wchar_t* kPlatformKey = L"win64";
#else
constexpr SYSKIND kSysKind = SYS_WIN32;
constexpr const wchar_t* kPlatformKey = L"win32";
#endif

// A registry failure, carried up to the export as its HRESULT.
struct RegistryFailure {
  HRESULT result;
};

std::wstring GuidText(REFGUID guid) {
  wchar_t text[40] = {};
  StringFromGUID2(guid, text, 40);
  return text;
}

std::wstring ClassKey() { return L"CLSID\\" + GuidText(CLSID_clsMarlin); }

void SetKey(const std::wstring& path, const wchar_t* valueName, const std::wstring& value) {
  HKEY key = nullptr;
  LONG status = RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr,
                                REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, &key, nullptr);
  if (status == ERROR_SUCCESS) {
    status = RegSetValueExW(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
  }
  if (status != ERROR_SUCCESS) throw RegistryFailure{HRESULT_FROM_WIN32(status)};
}

void DeleteTree(const std::wstring& path) {
  const LONG status = RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str());
  if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
    throw RegistryFailure{HRESULT_FROM_WIN32(status)};
  }
}

void RegisterClassKeys(const std::wstring& modulePath) {
  const std::wstring progId = Widen(kProgId);
  const std::wstring classKey = ClassKey();
  const std::wstring version =
      std::to_wstring(kTypeLibMajor) + L"." + std::to_wstring(kTypeLibMinor);
  SetKey(classKey, nullptr, progId);
  SetKey(classKey + L"\\InprocServer32", nullptr, modulePath);
  SetKey(classKey + L"\\InprocServer32", L"ThreadingModel", Widen(kThreadingModel));
  SetKey(classKey + L"\\ProgID", nullptr, progId);
  SetKey(classKey + L"\\TypeLib", nullptr, GuidText(LIBID_Telvar_Marlin));
  SetKey(classKey + L"\\VERSION", nullptr, version);
  SetKey(classKey + L"\\Programmable", nullptr, L"");
  SetKey(progId, nullptr, progId);
  SetKey(progId + L"\\CLSID", nullptr, GuidText(CLSID_clsMarlin));
}

void RegisterTypeLibrary(const std::wstring& modulePath) {
  Microsoft::WRL::ComPtr<ITypeLib> library;
  HRESULT result = LoadTypeLibEx(modulePath.c_str(), REGKIND_NONE, &library);
  if (SUCCEEDED(result)) {
    result = RegisterTypeLib(library.Get(), const_cast<LPOLESTR>(modulePath.c_str()), nullptr);
  }
  if (FAILED(result)) throw RegistryFailure{SELFREG_E_TYPELIB};
}

// A library that is not registered is not an error: unregistering twice succeeds.
void UnregisterTypeLibrary() {
  const std::wstring key = L"TypeLib\\" + GuidText(LIBID_Telvar_Marlin) + L"\\" +
                           std::to_wstring(kTypeLibMajor) + L"." + std::to_wstring(kTypeLibMinor) +
                           L"\\0\\" + kPlatformKey;
  HKEY registered = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &registered) != ERROR_SUCCESS) {
    return;
  }
  RegCloseKey(registered);
  if (FAILED(UnRegisterTypeLib(LIBID_Telvar_Marlin, kTypeLibMajor, kTypeLibMinor, LANG_NEUTRAL,
                               kSysKind))) {
    throw RegistryFailure{SELFREG_E_TYPELIB};
  }
}

}  // namespace

HRESULT UnregisterServer() noexcept {
  try {
    UnregisterTypeLibrary();
    DeleteTree(ClassKey());
    DeleteTree(Widen(kProgId));
    return S_OK;
  } catch (const RegistryFailure& failure) {
    return failure.result;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

// A registration that fails half-way is removed again, so that no half-written class remains.
HRESULT RegisterServer() noexcept {
  try {
    const std::wstring modulePath = ThisModulePath();
    RegisterClassKeys(modulePath);
    RegisterTypeLibrary(modulePath);
    return S_OK;
  } catch (const RegistryFailure& failure) {
    UnregisterServer();
    return failure.result;
  } catch (...) {
    UnregisterServer();
    return SELFREG_E_CLASS;
  }
}

}  // namespace marlin::com
