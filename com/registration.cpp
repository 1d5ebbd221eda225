#include "com/registration.h"

#include <oleauto.h>
#include <olectl.h>
#include <wrl/client.h>

#include <string>
#include <utility>

#include "com/server_identity.h"
#include "com/this_module.h"
#include "com/wide_text.h"
#include "marlin_h.h"

namespace marlin::com {
namespace {

// The 32-bit and the 64-bit server register side by side. The class and interface keys live in
// each width's own registry view and the type library's key is shared; the ProgID is shared on
// some systems and kept per view on others (wine). So a width removes its own keys, and when the
// other width is still registered, writes back the keys that the other one may have shared with
// it; the last width removed takes the type library's key.
#ifdef _WIN64
constexpr const wchar_t* kOwnPlatform = L"win64";
constexpr const wchar_t* kOtherPlatform = L"win32";
constexpr REGSAM kOwnView = KEY_WOW64_64KEY;
constexpr REGSAM kOtherView = KEY_WOW64_32KEY;
#else
constexpr const wchar_t* kOwnPlatform = L"win32";
constexpr const wchar_t* kOtherPlatform = L"win64";
constexpr REGSAM kOwnView = KEY_WOW64_32KEY;
constexpr REGSAM kOtherView = KEY_WOW64_64KEY;
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

// The server's own type library (resource 1) and the host libraries it carries and imports.
struct Library {
  const GUID* id;
  int resource;
};
const Library kLibraries[] = {
    {&LIBID_Telvar_Marlin, 1}, {&LIBID_Telvar_DeviceList, 2}, {&LIBID_Telvar_Amplifier, 3}};

std::wstring LibraryKey(REFGUID library) { return L"TypeLib\\" + GuidText(library); }

std::wstring PlatformKey(REFGUID library, const wchar_t* platform) {
  return LibraryKey(library) + L"\\" + std::to_wstring(kTypeLibMajor) + L"." +
         std::to_wstring(kTypeLibMinor) + L"\\0\\" + platform;
}

std::wstring LibraryPath(const std::wstring& modulePath, int resource) {
  return resource == 1 ? modulePath : modulePath + L"\\" + std::to_wstring(resource);
}

void SetKey(const std::wstring& path, const wchar_t* valueName, const std::wstring& value,
            REGSAM view = kOwnView) {
  HKEY key = nullptr;
  LONG status =
      RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_SET_VALUE | view, nullptr, &key, nullptr);
  if (status == ERROR_SUCCESS) {
    status = RegSetValueExW(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
  }
  if (status != ERROR_SUCCESS) throw RegistryFailure{HRESULT_FROM_WIN32(status)};
}

bool KeyExists(const std::wstring& path, REGSAM view) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(key);
  return true;
}

// Removes `path` with everything below it from one view; a key that is not there is no error.
void DeleteTree(const std::wstring& path, REGSAM view) {
  HKEY key = nullptr;
  LONG status = RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_ALL_ACCESS | view, &key);
  if (status == ERROR_FILE_NOT_FOUND) return;
  if (status == ERROR_SUCCESS) {
    status = RegDeleteTreeW(key, nullptr);
    RegCloseKey(key);
  }
  if (status == ERROR_SUCCESS) status = RegDeleteKeyExW(HKEY_CLASSES_ROOT, path.c_str(), view, 0);
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

// The host libraries go last, so that their interfaces' keys name them and not the copies that
// the server's own library carries.
void RegisterTypeLibraries(const std::wstring& modulePath) {
  for (const Library& entry : kLibraries) {
    const std::wstring path = LibraryPath(modulePath, entry.resource);
    Microsoft::WRL::ComPtr<ITypeLib> library;
    HRESULT result = LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library);
    if (SUCCEEDED(result)) {
      result = RegisterTypeLib(library.Get(), const_cast<LPOLESTR>(path.c_str()), nullptr);
    }
    if (FAILED(result)) throw RegistryFailure{SELFREG_E_TYPELIB};
  }
}

// The interfaces whose keys the type libraries' registration writes: name and library.
struct Interface {
  const IID* id;
  const wchar_t* name;
  const GUID* library;
};
const Interface kInterfaces[] = {
    {&IID__clsMarlin, L"_clsMarlin", &LIBID_Telvar_Marlin},
    {&IID_clsDevice, L"clsDevice", &LIBID_Telvar_DeviceList},
    {&IID_clsIAmpRemote, L"clsIAmpRemote", &LIBID_Telvar_Amplifier},
    {&IID_clsIAmpRemoteExt, L"clsIAmpRemoteExt", &LIBID_Telvar_Amplifier}};

bool OtherWidthRegistered() {
  return KeyExists(ClassKey() + L"\\InprocServer32", kOtherView) ||
         KeyExists(PlatformKey(LIBID_Telvar_Marlin, kOtherPlatform), kOtherView);
}

// The ProgID and the interface keys as the other width registered them.
void RestoreOtherWidthsKeys() {
  const std::wstring progId = Widen(kProgId);
  SetKey(progId, nullptr, progId, kOtherView);
  SetKey(progId + L"\\CLSID", nullptr, GuidText(CLSID_clsMarlin), kOtherView);
  // The standard automation marshaller, which the type library's registration names.
  const std::wstring automationProxy = L"{00020424-0000-0000-C000-000000000046}";
  for (const auto& [iid, name, library] : kInterfaces) {
    const std::wstring key = L"Interface\\" + GuidText(*iid);
    SetKey(key, nullptr, name, kOtherView);
    SetKey(key + L"\\ProxyStubClsid", nullptr, automationProxy, kOtherView);
    SetKey(key + L"\\ProxyStubClsid32", nullptr, automationProxy, kOtherView);
    SetKey(key + L"\\TypeLib", nullptr, GuidText(*library), kOtherView);
    SetKey(key + L"\\TypeLib", L"Version",
           std::to_wstring(kTypeLibMajor) + L"." + std::to_wstring(kTypeLibMinor), kOtherView);
  }
}

}  // namespace

// Unregistering twice, or a width that was never registered, succeeds.
HRESULT UnregisterServer() noexcept {
  try {
    DeleteTree(ClassKey(), kOwnView);
    for (const Library& library : kLibraries) {
      DeleteTree(PlatformKey(*library.id, kOwnPlatform), kOwnView);
    }
    DeleteTree(Widen(kProgId), kOwnView);
    for (const Interface& entry : kInterfaces) {
      DeleteTree(L"Interface\\" + GuidText(*entry.id), kOwnView);
    }
    if (OtherWidthRegistered()) {
      RestoreOtherWidthsKeys();
    } else {
      // Some type-library registrations write the interface keys in both views.
      for (const REGSAM view : {kOwnView, kOtherView}) {
        DeleteTree(Widen(kProgId), view);
        for (const Interface& entry : kInterfaces) {
          DeleteTree(L"Interface\\" + GuidText(*entry.id), view);
        }
        for (const Library& library : kLibraries) DeleteTree(LibraryKey(*library.id), view);
      }
    }
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
    RegisterTypeLibraries(modulePath);
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
