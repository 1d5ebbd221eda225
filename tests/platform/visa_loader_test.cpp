// The system VISA loader against stand-in vendor libraries loaded with the real dynamic loader,
// and the choice a stand-alone host makes at the first VISA call.
#include <gtest/gtest.h>

#include <cstdlib>

#include "driver/marlin_error.h"
#include "host/standalone_host.h"
#include "host/thread_host.h"
#include "io/visa_binding.h"
#include "io/visa_reopening.h"
#include "platform/shared_library.h"
#include "platform/visa_builtin.h"
#include "platform/visa_system.h"

namespace marlin {
namespace {

// The stand-in's record of calls; the library may stay loaded from an earlier test.
std::string Log(const SystemVisa& visa, bool clear = false) {
  std::string error;
  auto library = SharedLibrary::Open(visa.LibraryName(), error);
  if (clear) {
    auto* reset = reinterpret_cast<void (*)()>(library.Symbol("fakeVisaClearLog", error));
    if (reset) reset();
  }
  auto* log = reinterpret_cast<const char* (*)()>(library.Symbol("fakeVisaLog", error));
  return log ? log() : "no log: " + error;
}

TEST(SystemVisa, PassesEachCallThroughToTheLibrary) {
  auto visa = SystemVisa::Load(FAKE_VISA_COMPLETE);
  ASSERT_EQ(Log(*visa, /*clear=*/true), "");
  ViSession rm = 0, vi = 0;
  std::uint32_t count = 0;
  std::string buffer(256, '\0');
  EXPECT_EQ(visa->viOpenDefaultRM(rm), 0);
  EXPECT_EQ(visa->viOpen(rm, "TCPIP0::127.0.0.1::5025::SOCKET", 0, 10000, vi), 0);
  EXPECT_EQ(visa->viSetAttribute(vi, visa_attr::kTimeoutValue, 10000), 0);
  EXPECT_EQ(visa->viWrite(vi, "*IDN?\r\n", 7, count), 0);
  EXPECT_EQ(count, 7u);
  EXPECT_EQ(visa->viRead(vi, buffer, 256, count), 0x3FFF0005);
  EXPECT_EQ(buffer.substr(0, count), "1\n");
  EXPECT_EQ(visa->viClear(vi), 0);
  EXPECT_EQ(visa->viClose(vi), 0);
  EXPECT_EQ(Log(*visa),
            "viOpenDefaultRM\n"
            "viOpen 100 TCPIP0::127.0.0.1::5025::SOCKET 0 10000\n"
            "viSetAttribute 200 0x3FFF001A 10000\n"
            "viWrite 200 [*IDN?\r\n]\n"
            "viRead 200 256\n"
            "viClear 200\n"
            "viClose 200\n");
}

TEST(SystemVisa, MissingEntryPointFailsOnlyItsOwnCallWithTheLoadersMessage) {
  auto visa = SystemVisa::Load(FAKE_VISA_WITHOUT_CLEAR);
  ViSession rm = 0;
  EXPECT_EQ(visa->viOpenDefaultRM(rm), 0);
  try {
    visa->viClear(200);
    ADD_FAILURE() << "viClear resolved in a library without it";
  } catch (const MarlinError& e) {
    EXPECT_EQ(e.Number(), errors::kEntryPointNotFound);
    EXPECT_NE(e.Description().find("Can't find DLL entry point viClear"), std::string::npos);
    EXPECT_NE(e.Description().find("undefined symbol: viClear"), std::string::npos)
        << "the loader's own message: " << e.Description();
  }
  EXPECT_EQ(visa->viClose(200), 0) << "the other operations still work";
}

TEST(SystemVisa, LibraryThatCannotBeLoadedKeepsTheLoadersMessage) {
  try {
    SystemVisa::Load("/nonexistent/libvisa.so");
    ADD_FAILURE() << "loaded a library that does not exist";
  } catch (const MarlinError& e) {
    EXPECT_EQ(e.Number(), errors::kFileNotFound);
    EXPECT_NE(e.Description().find("/nonexistent/libvisa.so: cannot open shared object file"),
              std::string::npos)
        << e.Description();
  }
  EXPECT_EQ(SystemVisa::LoadFirst({"/nonexistent/a.so", FAKE_VISA_COMPLETE})->LibraryName(),
            FAKE_VISA_COMPLETE);
  EXPECT_EQ(SystemVisa::LoadFirst({"/nonexistent/a.so"}), nullptr);
}

// The binding is chosen at the first VISA call, from the environment as it is then.
class BindingChoice : public ::testing::Test {
 protected:
  void SetUp() override {
    host::ResetThread();
    InstallHostServiceFactory(std::make_shared<StandaloneHostFactory>(StandaloneHostConfig{}));
  }
  void TearDown() override {
    unsetenv(visa_loader::kPathVariable);
    host::ResetThread();
    InstallHostServiceFactory(nullptr);
  }
};

TEST_F(BindingChoice, NamedLibraryMustLoad) {
  setenv(visa_loader::kPathVariable, "/nonexistent/libvisa.so", 1);
  try {
    host::ThreadContext()->Visa();
    ADD_FAILURE() << "no silent fall-back to another VISA";
  } catch (const MarlinError& error) {
    EXPECT_NE(error.Description().find("/nonexistent/libvisa.so"), std::string::npos)
        << error.Description();
  }
  setenv(visa_loader::kPathVariable, FAKE_VISA_COMPLETE, 1);
  auto binding = host::ThreadContext()->Visa();
  auto* guard = dynamic_cast<ReopeningVisa*>(binding.get());
  ASSERT_NE(guard, nullptr) << "a vendor library is used behind the late-answer guard";
  auto* chosen = dynamic_cast<SystemVisa*>(&guard->Inner());
  ASSERT_NE(chosen, nullptr);
  EXPECT_EQ(chosen->LibraryName(), FAKE_VISA_COMPLETE);
}

// A variable set to nothing names no library: it chooses as an unset one does.
TEST_F(BindingChoice, BuiltInLayerWhenNoVisaIsInstalledAndNoneIsNamed) {
  if (SystemVisa::LoadFirst(SystemVisa::VendorLibraries())) GTEST_SKIP() << "a VISA is installed";
  for (const char* named : {static_cast<const char*>(nullptr), ""}) {
    if (named != nullptr) {
      setenv(visa_loader::kPathVariable, named, 1);
    } else {
      unsetenv(visa_loader::kPathVariable);
    }
    // A factory chooses once for all its threads.
    host::ResetThread();
    InstallHostServiceFactory(std::make_shared<StandaloneHostFactory>(StandaloneHostConfig{}));
    EXPECT_NE(dynamic_cast<BuiltinVisa*>(host::ThreadContext()->Visa().get()), nullptr)
        << (named != nullptr ? "set but empty" : "unset");
  }
}

}  // namespace
}  // namespace marlin
