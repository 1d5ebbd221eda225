#include "platform/visa_system.h"

#include <cstring>
#include <type_traits>

#include "driver/marlin_error.h"
#include "io/visa_status.h"

namespace marlin {
namespace {

#if defined(_WIN32) && !defined(_WIN64)
#define MARLIN_VISA_CALL __stdcall
#else
#define MARLIN_VISA_CALL
#endif

// The VISA C types: sessions and counts are 32-bit unsigned; attribute values are as wide as a
// pointer.
using ViUInt32 = std::uint32_t;
using ViAttrState = std::conditional_t<sizeof(void*) == 8, std::uint64_t, std::uint32_t>;

using OpenDefaultRMFn = ViStatus(MARLIN_VISA_CALL*)(ViUInt32*);
using OpenFn = ViStatus(MARLIN_VISA_CALL*)(ViUInt32, char*, ViUInt32, ViUInt32, ViUInt32*);
using SetAttributeFn = ViStatus(MARLIN_VISA_CALL*)(ViUInt32, ViUInt32, ViAttrState);
using SessionFn = ViStatus(MARLIN_VISA_CALL*)(ViUInt32);
using WriteFn = ViStatus(MARLIN_VISA_CALL*)(ViUInt32, const unsigned char*, ViUInt32, ViUInt32*);
using ReadFn = ViStatus(MARLIN_VISA_CALL*)(ViUInt32, unsigned char*, ViUInt32, ViUInt32*);

ViUInt32 AsVi(ViSession s) { return static_cast<ViUInt32>(s); }

}  // namespace

template <class Function>
Function SystemVisa::Resolve(const Entry& entry, std::atomic<void*>& slot) {
  void* found = slot.load(std::memory_order_acquire);
  if (found == nullptr) {
    std::string error;
#ifdef _WIN32
    found = library_.Ordinal(entry.ordinal, error);
    std::string what = "#" + std::to_string(entry.ordinal);
#else
    found = library_.Symbol(entry.name, error);
    std::string what = entry.name;
#endif
    if (found == nullptr) {
      throw MarlinError(errors::kEntryPointNotFound, "Can't find DLL entry point " + what + " in " +
                                                         library_.Name() + " (" + error + ")");
    }
    slot.store(found, std::memory_order_release);
  }
  Function function;
  static_assert(sizeof(function) == sizeof(found));
  std::memcpy(&function, &found, sizeof(function));
  return function;
}

std::unique_ptr<SystemVisa> SystemVisa::Load(const std::string& library) {
  std::string error;
  SharedLibrary loaded = SharedLibrary::Open(library, error);
  if (!loaded.IsLoaded()) {
    throw MarlinError(errors::kFileNotFound, "File not found: " + library + " (" + error + ")");
  }
  return std::unique_ptr<SystemVisa>(new SystemVisa(std::move(loaded)));
}

std::unique_ptr<SystemVisa> SystemVisa::LoadFirst(const std::vector<std::string>& libraries) {
  for (const auto& name : libraries) {
    std::string error;
    SharedLibrary loaded = SharedLibrary::Open(name, error);
    if (loaded.IsLoaded()) return std::unique_ptr<SystemVisa>(new SystemVisa(std::move(loaded)));
  }
  return nullptr;
}

std::vector<std::string> SystemVisa::VendorLibraries() {
#if defined(_WIN32)
  return {"visa32.dll"};
#elif defined(__APPLE__)
  return {"/Library/Frameworks/VISA.framework/VISA", "/Library/Frameworks/RsVisa.framework/RsVisa"};
#else
  return {"libvisa.so", "libvisa.so.0", "libktvisa32.so", "libiovisa.so", "librsvisa.so"};
#endif
}

ViStatus SystemVisa::viOpenDefaultRM(ViSession& rm) {
  auto f = Resolve<OpenDefaultRMFn>(Entry{"viOpenDefaultRM", 141}, openDefaultRM_);
  ViUInt32 session = 0;
  ViStatus status = f(&session);
  rm = static_cast<ViSession>(session);
  return status;
}

ViStatus SystemVisa::viOpen(ViSession rm, const std::string& resource, std::uint32_t accessMode,
                            std::uint32_t openTimeout, ViSession& vi) {
  auto f = Resolve<OpenFn>(Entry{"viOpen", 131}, open_);
  std::string name = resource;  // the C signature takes a writable pointer
  ViUInt32 session = 0;
  ViStatus status = f(AsVi(rm), name.data(), accessMode, openTimeout, &session);
  vi = static_cast<ViSession>(session);
  return status;
}

ViStatus SystemVisa::viSetAttribute(ViSession vi, ViAttr attribute, std::uint64_t value) {
  auto f = Resolve<SetAttributeFn>(Entry{"viSetAttribute", 134}, setAttribute_);
  return f(AsVi(vi), attribute, static_cast<ViAttrState>(value));
}

ViStatus SystemVisa::viClear(ViSession vi) {
  return Resolve<SessionFn>(Entry{"viClear", 260}, clear_)(AsVi(vi));
}

ViStatus SystemVisa::viClose(ViSession vi) {
  return Resolve<SessionFn>(Entry{"viClose", 132}, close_)(AsVi(vi));
}

ViStatus SystemVisa::viWrite(ViSession vi, const std::string& bytes, std::uint32_t count,
                             std::uint32_t& written) {
  auto f = Resolve<WriteFn>(Entry{"viWrite", 257}, write_);
  if (count > bytes.size()) return visa_status::kErrorUserBuffer;
  ViUInt32 done = 0;
  ViStatus status = f(AsVi(vi), reinterpret_cast<const unsigned char*>(bytes.data()), count, &done);
  written = done;
  return status;
}

ViStatus SystemVisa::viRead(ViSession vi, std::string& buffer, std::uint32_t count,
                            std::uint32_t& read) {
  auto f = Resolve<ReadFn>(Entry{"viRead", 256}, read_);
  if (count > buffer.size()) return visa_status::kErrorUserBuffer;
  ViUInt32 done = 0;
  ViStatus status = f(AsVi(vi), reinterpret_cast<unsigned char*>(buffer.data()), count, &done);
  read = done;
  return status;
}

}  // namespace marlin
