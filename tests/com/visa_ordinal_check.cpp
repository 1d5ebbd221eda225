// The Windows VISA binding against a stand-in VISA32.DLL beside this program that exports the
// seven operations by ordinal only: each call reaches the entry point of its ordinal with its
// arguments intact, in the calling convention of this width, and a missing ordinal fails only
// its own call with the loader's message.
#include <string>

#include "driver/marlin_error.h"
#include "io/visa_binding.h"
#include "platform/shared_library.h"
#include "platform/visa_system.h"
#include "tests/com/checks.h"

namespace {

using marlin::SharedLibrary;
using marlin::SystemVisa;
using marlin::ViSession;
using marlin::com::testing::Checks;

constexpr const char* kComplete = "fake_visa32.dll";
constexpr const char* kWithoutClear = "fake_visa32_without_clear.dll";

// The stand-in's record of calls, read by name (the library is loaded already, so this only
// counts a reference).
std::string Log(const char* library, bool clear = false) {
  std::string error;
  SharedLibrary loaded = SharedLibrary::Open(library, error);
  if (clear) {
    if (auto* reset = reinterpret_cast<void (*)()>(loaded.Symbol("fakeVisaClearLog", error))) {
      reset();
    }
  }
  auto* log = reinterpret_cast<const char* (*)()>(loaded.Symbol("fakeVisaLog", error));
  return log != nullptr ? log() : "no log: " + error;
}

void EveryOperationByItsOrdinal(Checks& checks) {
  auto visa = SystemVisa::Load(kComplete);
  Log(kComplete, true);
  ViSession rm = 0;
  ViSession vi = 0;
  std::uint32_t count = 0;
  std::string buffer(256, '\0');
  checks.Equal(visa->viOpenDefaultRM(rm), 0, "viOpenDefaultRM returns the library's status");
  checks.Equal(visa->viOpen(rm, "TCPIP0::127.0.0.1::5025::SOCKET", 0, 10000, vi), 0,
               "viOpen returns the library's status");
  visa->viSetAttribute(vi, marlin::visa_attr::kTermCharEn, 1);
  visa->viSetAttribute(vi, marlin::visa_attr::kTermChar, 10);
  visa->viSetAttribute(vi, marlin::visa_attr::kSuppressEndEn, 0);
  visa->viSetAttribute(vi, marlin::visa_attr::kTimeoutValue, 10000);
  visa->viWrite(vi, "*IDN?\r\n", 7, count);
  checks.Equal(count, std::uint32_t{7}, "viWrite hands back the count written");
  checks.Equal(visa->viRead(vi, buffer, 256, count), 0x3FFF0005, "viRead returns its status");
  checks.Equal(buffer.substr(0, count), std::string("1\n"), "viRead fills the buffer");
  visa->viClear(vi);
  visa->viClose(vi);
  visa->viClose(rm);
  checks.Equal(Log(kComplete),
               std::string("viOpenDefaultRM\n"
                           "viOpen 100 TCPIP0::127.0.0.1::5025::SOCKET 0 10000\n"
                           "viSetAttribute 200 0x3FFF0038 1\n"
                           "viSetAttribute 200 0x3FFF0018 10\n"
                           "viSetAttribute 200 0x3FFF0036 0\n"
                           "viSetAttribute 200 0x3FFF001A 10000\n"
                           "viWrite 200 [*IDN?\r\n]\n"
                           "viRead 200 256\n"
                           "viClear 200\n"
                           "viClose 200\n"
                           "viClose 100\n"),
               "ordinals 141, 131, 134, 257, 256, 260 and 132 receive each call and its arguments");
  std::string error;
  SharedLibrary loaded = SharedLibrary::Open(kComplete, error);
  checks.Expect(loaded.Symbol("viOpen", error) == nullptr,
                "the stand-in names none of them, so they were found by ordinal");
}

void AMissingOrdinalFailsOnlyItsOwnCall(Checks& checks) {
  auto visa = SystemVisa::Load(kWithoutClear);
  try {
    visa->viClear(200);
    checks.Expect(false, "viClear fails without ordinal 260", "it resolved");
  } catch (const marlin::MarlinError& e) {
    checks.Equal(e.Number(), marlin::errors::kEntryPointNotFound, "viClear raises 453");
    checks.Expect(e.Description().find("Can't find DLL entry point #260 in " +
                                       std::string(kWithoutClear)) == 0,
                  "the error names the ordinal and the library", e.Description());
  }
  checks.Equal(visa->viClose(200), 0, "the other ordinals still serve");
}

}  // namespace

int main() {
  Checks checks("visa_ordinal_check");
  try {
    EveryOperationByItsOrdinal(checks);
    AMissingOrdinalFailsOnlyItsOwnCall(checks);
  } catch (const marlin::MarlinError& e) {
    checks.Expect(false, "no unexpected error", e.Description());
  }
  return checks.Finish();
}
