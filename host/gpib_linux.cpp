#include "host/gpib_linux.h"

#include <cstring>
#include <stdexcept>
#include <vector>

#include "platform/shared_library.h"

namespace marlin {
namespace {

constexpr int kStatusError = 0x8000;
constexpr int kStatusTimeout = 0x4000;
const std::vector<std::string> kLibraryNames = {"libgpib.so.0", "libgpib.so"};

// The entry points of the library's NI-compatible interface.
struct Api {
  using Dev = int (*)(int, int, int, int, int, int);
  using Write = int (*)(int, const void*, long);
  using Read = int (*)(int, void*, long);
  using Online = int (*)(int, int);
  using Local = int (*)(int);
  using Clear = int (*)(int);
  using Status = int (*)();
  using Count = long (*)();

  SharedLibrary library;
  Dev ibdev = nullptr;
  Write ibwrt = nullptr;
  Read ibrd = nullptr;
  Online ibonl = nullptr;
  Local ibloc = nullptr;
  Clear ibclr = nullptr;
  Status iberr = nullptr;
  Count ibcnt = nullptr;

  template <class F>
  void Bind(F& into, const char* symbol) {
    std::string error;
    void* found = library.Symbol(symbol, error);
    if (found == nullptr) {
      throw GpibFailure(GpibFailure::Kind::Unavailable,
                        "linux-gpib: " + library.Name() + " lacks " + symbol + " (" + error + ")");
    }
    std::memcpy(&into, &found, sizeof(into));
  }
};

std::shared_ptr<Api> LoadApi(const std::vector<std::string>& names) {
  auto api = std::make_shared<Api>();
  std::string tried;
  for (const auto& name : names) {
    std::string error;
    api->library = SharedLibrary::Open(name, error);
    if (api->library.IsLoaded()) break;
    tried += (tried.empty() ? "" : "; ") + error;
  }
  if (!api->library.IsLoaded()) {
    throw GpibFailure(GpibFailure::Kind::Unavailable,
                      "linux-gpib is not installed or cannot be loaded (" + tried + ")");
  }
  api->Bind(api->ibdev, "ibdev");
  api->Bind(api->ibwrt, "ibwrt");
  api->Bind(api->ibrd, "ibrd");
  api->Bind(api->ibonl, "ibonl");
  api->Bind(api->ibloc, "ibloc");
  api->Bind(api->ibclr, "ibclr");
  api->Bind(api->iberr, "ThreadIberr");
  api->Bind(api->ibcnt, "ThreadIbcntl");
  return api;
}

class LinuxGpibDevice final : public GpibDevice {
 public:
  LinuxGpibDevice(std::shared_ptr<Api> api, int ud) : api_(std::move(api)), ud_(ud) {}
  ~LinuxGpibDevice() override { api_->ibonl(ud_, 0); }

  void Write(const std::string& bytes) override {
    if (clearFirst_) {
      // A read timed out: the device may still hold that answer. A device clear drops it, so it
      // can never be read as the answer to this message.
      Check(api_->ibclr(ud_), "device clear");
      clearFirst_ = false;
    }
    Check(api_->ibwrt(ud_, bytes.data(), static_cast<long>(bytes.size())), "write");
  }

  std::string Read(std::size_t limit) override {
    std::string buffer(limit, '\0');
    const int status = api_->ibrd(ud_, buffer.data(), static_cast<long>(limit));
    if ((status & kStatusError) != 0 && (status & kStatusTimeout) != 0) clearFirst_ = true;
    Check(status, "read");
    long count = api_->ibcnt();
    buffer.resize(count > 0 ? std::min(static_cast<std::size_t>(count), limit) : 0);
    return buffer;
  }

  void GoToLocal() override { Check(api_->ibloc(ud_), "go to local"); }

 private:
  void Check(int status, const char* what) {
    if ((status & kStatusError) == 0) return;
    auto kind = (status & kStatusTimeout) != 0 ? GpibFailure::Kind::Timeout : GpibFailure::Kind::Io;
    throw GpibFailure(kind, std::string("linux-gpib ") + what + " failed (iberr " +
                                std::to_string(api_->iberr()) + ")");
  }

  std::shared_ptr<Api> api_;
  int ud_;
  bool clearFirst_ = false;
};

class LinuxGpibBackend final : public GpibBackend {
 public:
  explicit LinuxGpibBackend(std::vector<std::string> names) : names_(std::move(names)) {}

  std::unique_ptr<GpibDevice> Open(const GpibDeviceSettings& s) override {
    if (!api_) api_ = LoadApi(names_);
    int ud = api_->ibdev(s.board, s.primary, s.secondary, s.timeoutCode, s.eoiOnLastByte ? 1 : 0,
                         s.eosMode);
    if (ud < 0) {
      throw GpibFailure(GpibFailure::Kind::Unavailable,
                        "linux-gpib ibdev failed (iberr " + std::to_string(api_->iberr()) + ")");
    }
    return std::make_unique<LinuxGpibDevice>(api_, ud);
  }

 private:
  std::vector<std::string> names_;
  std::shared_ptr<Api> api_;
};

}  // namespace

std::unique_ptr<GpibBackend> MakeLinuxGpibBackend(const std::string& target,
                                                  const std::shared_ptr<Clock>&) {
  return std::make_unique<LinuxGpibBackend>(target.empty() ? kLibraryNames
                                                           : std::vector<std::string>{target});
}

}  // namespace marlin
