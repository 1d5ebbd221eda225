// Checks of what the server leaves on a machine and carries inside it, run under wine:
//
//   server_check.exe registered DLL [win32|win64]
//                                       every key of the class and its type library is there, in
//                                       the registry view of that width (default: its own)
//   server_check.exe unregistered       none of them is left, in either registry view
//   server_check.exe create             a script host's CreateObject by ProgID works
//   server_check.exe query [DEVICE AMPREMOTE AMPREMOTEEXT]
//                                       the class answers the host interfaces' ids (these, else
//                                       the ones this program was built with) and describes them
//                                       from the host libraries
//   server_check.exe typelib DLL win32|win64
//                                       the type library embedded in DLL (either width)
#include <windows.h>

#include <oleauto.h>
#include <wrl/client.h>

#include <cwctype>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "marlin_h.h"
#include "tests/com/checks.h"

using marlin::com::testing::Checks;
using Microsoft::WRL::ComPtr;

namespace {

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out.push_back(c < 128 ? static_cast<char>(c) : '?');
  return out;
}

std::wstring Widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::wstring Lower(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
  return text;
}

std::wstring Guid(REFGUID guid) {
  wchar_t text[40] = {};
  StringFromGUID2(guid, text, 40);
  return text;
}

const std::wstring kProgId = L"Telvar_Marlin.clsMarlin";
struct Interface {
  const IID* id;
  const char* name;
  const GUID* library;
};
const Interface kInterfaces[] = {
    {&IID__clsMarlin, "_clsMarlin", &LIBID_Telvar_Marlin},
    {&IID_clsDevice, "clsDevice", &LIBID_Telvar_DeviceList},
    {&IID_clsIAmpRemote, "clsIAmpRemote", &LIBID_Telvar_Amplifier},
    {&IID_clsIAmpRemoteExt, "clsIAmpRemoteExt", &LIBID_Telvar_Amplifier}};

// The server's own library and the host libraries it carries, with their resource suffixes.
struct Library {
  const GUID* id;
  const char* name;
  const wchar_t* suffix;
};
const Library kLibraries[] = {{&LIBID_Telvar_Marlin, "Telvar_Marlin", L""},
                              {&LIBID_Telvar_DeviceList, "Telvar_DeviceList", L"\\2"},
                              {&LIBID_Telvar_Amplifier, "Telvar_Amplifier", L"\\3"}};

#ifdef _WIN64
const wchar_t* kOwnPlatform = L"win64";
#else
const wchar_t* kOwnPlatform = L"win32";
#endif

// `view`: KEY_WOW64_32KEY or KEY_WOW64_64KEY, the keys a 32-bit or a 64-bit host sees.
bool KeyExists(const std::wstring& path, REGSAM view) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(key);
  return true;
}

std::wstring Value(const std::wstring& path, const wchar_t* name, REGSAM view) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) {
    return L"<missing>";
  }
  wchar_t text[1024] = {};
  DWORD bytes = sizeof(text) - sizeof(wchar_t);
  DWORD type = 0;
  const LONG status =
      RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &bytes);
  RegCloseKey(key);
  return status == ERROR_SUCCESS && type == REG_SZ ? text : L"<missing>";
}

// The keys of the server of `platform` (win32, win64), in that width's registry view.
void CheckRegistered(Checks& checks, const std::wstring& dll, const std::wstring& platform) {
  const REGSAM view = platform == L"win64" ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
  const std::wstring classKey = L"CLSID\\" + Guid(CLSID_clsMarlin);
  auto value = [&](const std::wstring& path, const wchar_t* name = nullptr) {
    return Value(path, name, view);
  };
  checks.Equal(Narrow(value(kProgId + L"\\CLSID")), Narrow(Guid(CLSID_clsMarlin)),
               "the ProgID names the class");
  checks.Equal(Narrow(Lower(value(classKey + L"\\InprocServer32"))), Narrow(Lower(dll)),
               "InprocServer32 names the server");
  checks.Equal(Narrow(value(classKey + L"\\InprocServer32", L"ThreadingModel")),
               std::string("Apartment"), "ThreadingModel");
  checks.Equal(Narrow(value(classKey + L"\\ProgID")), Narrow(kProgId),
               "the class names its ProgID");
  checks.Equal(Narrow(value(classKey + L"\\TypeLib")), Narrow(Guid(LIBID_Telvar_Marlin)),
               "the class names its type library");
  for (const auto& [library, name, suffix] : kLibraries) {
    const std::wstring libraryKey = L"TypeLib\\" + Guid(*library) + L"\\1.0\\0\\";
    checks.Equal(Narrow(Lower(value(libraryKey + platform))), Narrow(Lower(dll + suffix)),
                 std::string("the type library ") + name + " is registered in the server");
  }
  for (const auto& [iid, name, library] : kInterfaces) {
    checks.Equal(Narrow(value(L"Interface\\" + Guid(*iid) + L"\\TypeLib")), Narrow(Guid(*library)),
                 std::string("interface ") + name + " is registered for marshalling");
  }
}

void CheckUnregistered(Checks& checks) {
  for (const auto& [view, width] : {std::pair{KEY_WOW64_32KEY, " (32-bit view)"},
                                    std::pair{KEY_WOW64_64KEY, " (64-bit view)"}}) {
    const std::string in = width;
    checks.Expect(!KeyExists(kProgId, view), "no ProgID key is left" + in);
    checks.Expect(!KeyExists(L"CLSID\\" + Guid(CLSID_clsMarlin), view),
                  "no CLSID key is left" + in);
    for (const auto& [library, name, suffix] : kLibraries) {
      checks.Expect(!KeyExists(L"TypeLib\\" + Guid(*library), view),
                    std::string("no TypeLib key is left for ") + name + in);
    }
    for (const auto& [iid, name, library] : kInterfaces) {
      checks.Expect(!KeyExists(L"Interface\\" + Guid(*iid), view),
                    std::string("no Interface key is left for ") + name + in);
    }
  }
}

// What a script host does first: the class from its ProgID, then a property by name.
void CheckCreate(Checks& checks) {
  CLSID clsid{};
  ComPtr<IDispatch> object;
  HRESULT result = CLSIDFromProgID(kProgId.c_str(), &clsid);
  if (SUCCEEDED(result)) {
    result = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&object));
  }
  if (!checks.Expect(SUCCEEDED(result), "CreateObject by ProgID",
                     "HRESULT " + std::to_string(static_cast<unsigned long>(result)))) {
    return;
  }
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR name = const_cast<LPOLESTR>(L"DeviceType");
  VARIANT value;
  VariantInit(&value);
  DISPPARAMS none{};
  result = object->GetIDsOfNames(IID_NULL, &name, 1, 0, &id);
  if (SUCCEEDED(result)) {
    result = object->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &value, nullptr, nullptr);
  }
  checks.Equal(V_VT(&value) == VT_BSTR ? Narrow(V_BSTR(&value)) : std::string("<failed>"),
               std::string("PA4400 Amplifier"), "DeviceType by name");
  VariantClear(&value);
}

std::string LibraryName(ITypeLib* library);
std::string HomeOf(ITypeInfo* info);

// What a host built against its own host libraries does: asks the class for their ids.
void CheckQuery(Checks& checks, const std::vector<std::wstring>& given) {
  ComPtr<IUnknown> object;
  const HRESULT created =
      CoCreateInstance(CLSID_clsMarlin, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&object));
  if (!checks.Expect(SUCCEEDED(created), "the class is created",
                     "HRESULT " + std::to_string(static_cast<unsigned long>(created)))) {
    return;
  }
  const std::pair<const Interface*, const char*> hostInterfaces[] = {
      {&kInterfaces[1], "Telvar_DeviceList"},
      {&kInterfaces[2], "Telvar_Amplifier"},
      {&kInterfaces[3], "Telvar_Amplifier"}};
  for (std::size_t i = 0; i < 3; ++i) {
    const auto& [entry, home] = hostInterfaces[i];
    IID iid = *entry->id;
    if (!given.empty() && FAILED(IIDFromString(given[i].c_str(), &iid))) {
      checks.Expect(false, "an interface id on the command line", Narrow(given[i]));
      continue;
    }
    ComPtr<IDispatch> part;
    const HRESULT result =
        object->QueryInterface(iid, reinterpret_cast<void**>(part.GetAddressOf()));
    if (!checks.Expect(SUCCEEDED(result) && part,
                       std::string("QueryInterface ") + entry->name + " " + Narrow(Guid(iid)))) {
      continue;
    }
    ComPtr<ITypeInfo> info;
    part->GetTypeInfo(0, 0, &info);
    checks.Equal(HomeOf(info.Get()), std::string(home),
                 std::string(entry->name) + " is described by its host library");
  }
}

std::string Name(ITypeInfo* info, MEMBERID member = MEMBERID_NIL) {
  BSTR name = nullptr;
  info->GetDocumentation(member, &name, nullptr, nullptr, nullptr);
  std::string out = name ? Narrow(std::wstring(name, SysStringLen(name))) : std::string();
  SysFreeString(name);
  return out;
}

// "get Name", "put Name", "Check": the members of an interface's vtable, in order.
std::vector<std::string> Members(ITypeInfo* dispatchInfo) {
  ComPtr<ITypeInfo> vtable;
  HREFTYPE half = 0;
  if (FAILED(dispatchInfo->GetRefTypeOfImplType(static_cast<UINT>(-1), &half)) ||
      FAILED(dispatchInfo->GetRefTypeInfo(half, &vtable))) {
    return {"<not dual>"};
  }
  TYPEATTR* attributes = nullptr;
  vtable->GetTypeAttr(&attributes);
  std::vector<std::string> members;
  for (UINT i = 0; i < attributes->cFuncs; ++i) {
    FUNCDESC* function = nullptr;
    vtable->GetFuncDesc(i, &function);
    const char* kind = function->invkind == INVOKE_PROPERTYGET   ? "get "
                       : function->invkind == INVOKE_PROPERTYPUT ? "put "
                                                                 : "";
    members.push_back(kind + Name(vtable.Get(), function->memid));
    vtable->ReleaseFuncDesc(function);
  }
  vtable->ReleaseTypeAttr(attributes);
  return members;
}

std::string Join(const std::vector<std::string>& items) {
  std::string out;
  for (const auto& item : items) out += (out.empty() ? "" : ", ") + item;
  return out;
}

// "Member:offset:size" for each field of a record, and the record's size.
std::string Layout(ITypeInfo* record) {
  TYPEATTR* attributes = nullptr;
  record->GetTypeAttr(&attributes);
  std::string out = std::to_string(attributes->cbSizeInstance) + " bytes:";
  for (UINT i = 0; i < attributes->cVars; ++i) {
    VARDESC* field = nullptr;
    record->GetVarDesc(i, &field);
    out += " " + Name(record, field->memid) + "@" + std::to_string(field->oInst);
    record->ReleaseVarDesc(field);
  }
  record->ReleaseTypeAttr(attributes);
  return out;
}

std::string LibraryName(ITypeLib* library) {
  BSTR name = nullptr;
  library->GetDocumentation(-1, &name, nullptr, nullptr, nullptr);
  std::string out = name ? Narrow(name) : std::string();
  SysFreeString(name);
  return out;
}

// The name of the library that defines `info`.
std::string HomeOf(ITypeInfo* info) {
  ComPtr<ITypeLib> library;
  UINT index = 0;
  if (!info || FAILED(info->GetContainingTypeLib(&library, &index))) return "<none>";
  return LibraryName(library.Get());
}

// The library that defines the record which the Info property of a clsDevice returns.
std::string InfoRecordHome(ITypeInfo* dispatchInfo) {
  ComPtr<ITypeInfo> vtable;
  HREFTYPE half = 0;
  if (FAILED(dispatchInfo->GetRefTypeOfImplType(static_cast<UINT>(-1), &half)) ||
      FAILED(dispatchInfo->GetRefTypeInfo(half, &vtable))) {
    return "<not dual>";
  }
  ComPtr<ITypeInfo2> indexed;
  UINT index = 0;
  FUNCDESC* function = nullptr;
  if (FAILED(vtable.As(&indexed)) ||
      FAILED(indexed->GetFuncIndexOfMemId(0x2009, INVOKE_PROPERTYGET, &index)) ||
      FAILED(vtable->GetFuncDesc(index, &function))) {
    return "<no Info>";
  }
  TYPEDESC type = function->lprgelemdescParam[function->cParams - 1].tdesc;
  while (type.vt == VT_PTR) type = *type.lptdesc;
  ComPtr<ITypeInfo> record;
  if (type.vt == VT_USERDEFINED) vtable->GetRefTypeInfo(type.hreftype, &record);
  vtable->ReleaseFuncDesc(function);
  return HomeOf(record.Get());
}

void CheckTypeLibrary(Checks& checks, const std::wstring& dll, const std::string& platform) {
  // The host libraries first and kept loaded: the server's library refers into them.
  ComPtr<ITypeLib> hosts[2];
  for (int i = 0; i < 2; ++i) {
    const Library& expected = kLibraries[i + 1];
    const std::wstring path = dll + expected.suffix;
    const std::string what = std::string("the server carries the host library ") + expected.name;
    if (!checks.Expect(SUCCEEDED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, &hosts[i])), what)) {
      return;
    }
    TLIBATTR* attributes = nullptr;
    hosts[i]->GetLibAttr(&attributes);
    checks.Equal(Narrow(Guid(attributes->guid)) + " " + LibraryName(hosts[i].Get()) + " " +
                     (attributes->syskind == SYS_WIN64 ? "win64" : "win32"),
                 Narrow(Guid(*expected.id)) + " " + expected.name + " " + platform,
                 what + ": its id, name and platform");
    hosts[i]->ReleaseTLibAttr(attributes);
  }
  ComPtr<ITypeInfo> hostDevice;
  hosts[0]->GetTypeInfoOfGuid(IID_clsDevice, &hostDevice);
  checks.Equal(hostDevice ? InfoRecordHome(hostDevice.Get()) : std::string("<missing>"),
               std::string("Telvar_Amplifier"),
               "Telvar_DeviceList takes its Info record from Telvar_Amplifier");

  ComPtr<ITypeLib> library;
  if (!checks.Expect(SUCCEEDED(LoadTypeLibEx(dll.c_str(), REGKIND_NONE, &library)),
                     "the server carries a type library")) {
    return;
  }
  BSTR name = nullptr;
  BSTR help = nullptr;
  library->GetDocumentation(-1, &name, &help, nullptr, nullptr);
  checks.Equal(Narrow(name ? name : L""), std::string("Telvar_Marlin"), "library name");
  checks.Equal(Narrow(help ? help : L""), std::string("Telvar Marlin - Amplifierclass"),
               "library help string");
  SysFreeString(name);
  SysFreeString(help);
  TLIBATTR* attributes = nullptr;
  library->GetLibAttr(&attributes);
  checks.Equal(std::string(attributes->syskind == SYS_WIN64 ? "win64" : "win32"), platform,
               "built for " + platform);
  library->ReleaseTLibAttr(attributes);

  ComPtr<ITypeInfo> coclass;
  library->GetTypeInfoOfGuid(CLSID_clsMarlin, &coclass);
  std::vector<std::string> implemented;
  for (UINT i = 0; coclass && i < 4; ++i) {
    HREFTYPE reference = 0;
    ComPtr<ITypeInfo> part;
    INT flags = 0;
    coclass->GetRefTypeOfImplType(i, &reference);
    coclass->GetRefTypeInfo(reference, &part);
    coclass->GetImplTypeFlags(i, &flags);
    implemented.push_back(((flags & IMPLTYPEFLAG_FDEFAULT) ? "[default] " : "") + Name(part.Get()));
  }
  checks.Equal(Join(implemented),
               std::string("[default] _clsMarlin, clsDevice, clsIAmpRemote, clsIAmpRemoteExt"),
               "clsMarlin and its interfaces");
  // The class names the host interfaces by the ids of the host libraries, and its library finds
  // their records in Telvar_Amplifier, which it imports.
  for (const auto& [iid, interfaceName, home] : kInterfaces) {
    if (home == &LIBID_Telvar_Marlin) continue;
    ComPtr<ITypeInfo> inHost;
    ComPtr<ITypeInfo> inServer;
    (home == &LIBID_Telvar_DeviceList ? hosts[0] : hosts[1])->GetTypeInfoOfGuid(*iid, &inHost);
    library->GetTypeInfoOfGuid(*iid, &inServer);
    checks.Equal(
        std::string(inHost ? Name(inHost.Get()) : "<missing>") + " / " +
            (inServer ? Name(inServer.Get()) : "<missing>"),
        std::string(interfaceName) + " / " + interfaceName,
        std::string("clsMarlin implements ") + interfaceName + " under the host library's id");
  }
  ComPtr<ITypeInfo> serverDevice;
  library->GetTypeInfoOfGuid(IID_clsDevice, &serverDevice);
  checks.Equal(serverDevice ? InfoRecordHome(serverDevice.Get()) : std::string("<missing>"),
               std::string("Telvar_Amplifier"),
               "the server's library imports its Info record from Telvar_Amplifier");

  const std::pair<const IID*, const char*> expected[] = {
      {&IID__clsMarlin, "get clsDevice_Address"},
      {&IID_clsDevice,
       "get Name, put Name, get Description, get DeviceType, get Interface, get Address, "
       "put Status, get Status, get Info, get MaxFrequency, get MinFrequency, ShowDeviceDialog, "
       "Initialize, Check, WriteSettingsFile, ReadSettingsFile, StartTest, StopTest, "
       "GetInterfaces, GetSettingsString"},
      {&IID_clsIAmpRemote,
       "put RemoteInterface, put SciuBoard, put NotifyUser, put GpibFile, put AmplParams, "
       "SetSWUParams, ResetFault, SetState, SetFrequency, GetState, GetParametersFromDevList"},
      {&IID_clsIAmpRemoteExt, "get CheckForError"}};
  for (const auto& [iid, members] : expected) {
    ComPtr<ITypeInfo> info;
    for (ITypeLib* holder : {hosts[0].Get(), hosts[1].Get(), library.Get()}) {
      if (!info) holder->GetTypeInfoOfGuid(*iid, &info);
    }
    checks.Equal(info ? Join(Members(info.Get())) : std::string("<missing>"), std::string(members),
                 (info ? Name(info.Get()) : std::string("?")) + " members");
  }

  // Texts are pointers, whose size is the platform's.
  const int text = platform == "win64" ? 8 : 4;
  auto at = [](int offset) { return "@" + std::to_string(offset); };
  const std::tuple<const char*, ITypeLib*, std::string> records[] = {
      {"mgnLanPars", library.Get(),
       std::to_string(2 * text) + " bytes: RemoteHost@0 RemotePort" + at(text)},
      {"InfoRecord", hosts[1].Get(),
       std::to_string(4 * text) + " bytes: Member1@0 Member2" + at(text) + " Member3" +
           at(2 * text) + " Member4" + at(3 * text)},
      {"AmplParamsRecord", hosts[1].Get(),
       "196 bytes: Head@0 BandPath@176 OutputMode@180 OperatingClass@184 Tail@188"}};
  for (const auto& [record, holder, layout] : records) {
    ComPtr<ITypeInfo> info;
    MEMBERID id = 0;
    USHORT found = 1;
    std::wstring wide = Widen(record);
    holder->FindName(wide.data(), 0, &info, &id, &found);
    checks.Equal(found && info ? Layout(info.Get()) : std::string("<missing>"), layout,
                 std::string(record) + " layout");
  }
}

}  // namespace

int main(int argc, char** argv) {
  Checks checks("server_check");
  const std::string mode = argc > 1 ? argv[1] : "";
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
  if (mode == "registered" && (argc == 3 || argc == 4)) {
    CheckRegistered(checks, Widen(argv[2]), argc == 4 ? Widen(argv[3]) : kOwnPlatform);
  } else if (mode == "unregistered" && argc == 2) {
    CheckUnregistered(checks);
  } else if (mode == "create" && argc == 2) {
    CheckCreate(checks);
  } else if (mode == "query" && (argc == 2 || argc == 5)) {
    std::vector<std::wstring> given;
    for (int i = 2; i < argc; ++i) given.push_back(Widen(argv[i]));
    CheckQuery(checks, given);
  } else if (mode == "typelib" && argc == 4) {
    CheckTypeLibrary(checks, Widen(argv[2]), argv[3]);
  } else {
    std::printf(
        "usage: server_check.exe registered DLL [win32|win64] | unregistered | create | "
        "query [DEVICE AMPREMOTE AMPREMOTEEXT] | "
        "typelib DLL win32|win64\n");
    return 2;
  }
  CoUninitialize();
  return checks.Finish();
}
