#pragma once
// The VISA library installed on the system. The library is loaded when this binding is made;
// each of the seven operations is looked up at its own first call (by ordinal on Windows, by
// name elsewhere), so a library lacking one still serves the others.
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "io/visa_binding.h"
#include "platform/shared_library.h"

namespace marlin {

namespace visa_loader {
inline constexpr const char* kPathVariable = "MARLIN_VISA_LIBRARY";
}  // namespace visa_loader

class SystemVisa final : public VisaBinding {
 public:
  // Raises 53 with the loader's message when `library` cannot be loaded.
  static std::unique_ptr<SystemVisa> Load(const std::string& library);
  // The first of `libraries` that loads; nullptr when none does.
  static std::unique_ptr<SystemVisa> LoadFirst(const std::vector<std::string>& libraries);

  // The usual names of the major vendors' VISA libraries on this platform.
  static std::vector<std::string> VendorLibraries();

  const std::string& LibraryName() const { return library_.Name(); }

  // Each raises 453 with the loader's message when its entry point is missing.
  ViStatus viOpenDefaultRM(ViSession& rm) override;
  ViStatus viOpen(ViSession rm, const std::string& resource, std::uint32_t accessMode,
                  std::uint32_t openTimeout, ViSession& vi) override;
  ViStatus viSetAttribute(ViSession vi, ViAttr attribute, std::uint64_t value) override;
  ViStatus viClear(ViSession vi) override;
  ViStatus viClose(ViSession vi) override;
  ViStatus viWrite(ViSession vi, const std::string& bytes, std::uint32_t count,
                   std::uint32_t& written) override;
  ViStatus viRead(ViSession vi, std::string& buffer, std::uint32_t count,
                  std::uint32_t& read) override;

 private:
  struct Entry {
    const char* name;
    int ordinal;
  };
  explicit SystemVisa(SharedLibrary library) : library_(std::move(library)) {}
  template <class Function>
  Function Resolve(const Entry& entry, std::atomic<void*>& slot);

  SharedLibrary library_;
  std::atomic<void*> openDefaultRM_{nullptr}, open_{nullptr}, setAttribute_{nullptr},
      clear_{nullptr}, close_{nullptr}, write_{nullptr}, read_{nullptr};
};

}  // namespace marlin
