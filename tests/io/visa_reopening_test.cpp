// The layer in front of a vendor's VISA library: after a read timed out, the session is opened
// again (same resource, same attributes) before the next write, and the caller's id stays.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "io/visa_reopening.h"
#include "io/visa_status.h"
#include "tests/support/fake_visa.h"

namespace marlin {
namespace {

using ::testing::ElementsAre;

// A library whose reads time out while `silent` is set.
class SilentLibrary final : public testing::FakeVisa {
 public:
  bool silent = false;
  ViStatus viRead(ViSession vi, std::string& buffer, std::uint32_t count,
                  std::uint32_t& read) override {
    if (!silent) return FakeVisa::viRead(vi, buffer, count, read);
    calls.push_back("viRead " + std::to_string(vi));
    read = 0;
    return visa_status::kErrorTimeout;
  }
};

std::string Attribute(ViSession vi, ViAttr attribute, std::uint64_t value) {
  return "viSetAttribute " + std::to_string(vi) + " " + std::to_string(attribute) + " " +
         std::to_string(value);
}

TEST(ReopeningVisa, ATimedOutReadOpensTheSessionAgainBeforeTheNextWrite) {
  auto library = std::make_shared<SilentLibrary>();
  ReopeningVisa visa(library);
  ViSession rm = 0, vi = 0;
  ASSERT_EQ(visa.viOpenDefaultRM(rm), 0);
  ASSERT_EQ(visa.viOpen(rm, "TCPIP0::h::5025::SOCKET", 0, 10000, vi), 0);
  visa.viSetAttribute(vi, visa_attr::kTermChar, 10);
  visa.viSetAttribute(vi, visa_attr::kTimeoutValue, 5000);
  visa.viSetAttribute(vi, visa_attr::kTimeoutValue, 10000);  // the last value counts
  std::string buffer(256, '\0');
  std::uint32_t n = 0;

  // Answered reads change nothing.
  visa.viWrite(vi, "*IDN?\r\n", 7, n);
  visa.viRead(vi, buffer, 256, n);
  library->silent = true;
  visa.viWrite(vi, "*IDN?\r\n", 7, n);
  EXPECT_EQ(visa.viRead(vi, buffer, 256, n), visa_status::kErrorTimeout);
  library->silent = false;
  library->calls.clear();
  ASSERT_EQ(visa.viWrite(vi, "SYST:ERR?\r\n", 11, n), 0);
  EXPECT_EQ(n, 11u);
  const std::string fresh = "3";  // the library's id of the reopened session
  EXPECT_THAT(library->calls, ElementsAre("viClose 2", "viOpen 1 TCPIP0::h::5025::SOCKET",
                                          Attribute(3, visa_attr::kTermChar, 10),
                                          Attribute(3, visa_attr::kTimeoutValue, 10000),
                                          "viWrite 3 SYST:ERR?\r\n"));
  // The caller still holds its own id, which reaches the reopened session.
  library->calls.clear();
  visa.viRead(vi, buffer, 256, n);
  visa.viClose(vi);
  EXPECT_THAT(library->calls, ElementsAre("viRead " + fresh, "viClose " + fresh));
}

TEST(ReopeningVisa, AFailedReopenIsTriedAgainAtTheNextWrite) {
  auto library = std::make_shared<SilentLibrary>();
  ReopeningVisa visa(library);
  ViSession rm = 0, vi = 0;
  visa.viOpenDefaultRM(rm);
  visa.viOpen(rm, "TCPIP0::h::5025::SOCKET", 0, 10000, vi);
  std::string buffer(256, '\0');
  std::uint32_t n = 0;
  library->silent = true;
  visa.viRead(vi, buffer, 256, n);
  library->openStatus = visa_status::kErrorResourceNotFound;
  EXPECT_EQ(visa.viWrite(vi, "*CLS\r\n", 6, n), visa_status::kErrorResourceNotFound);
  EXPECT_EQ(n, 0u);
  library->openStatus = 0;
  library->calls.clear();
  EXPECT_EQ(visa.viWrite(vi, "*CLS\r\n", 6, n), 0);
  EXPECT_THAT(library->calls,
              ElementsAre("viOpen 1 TCPIP0::h::5025::SOCKET", "viWrite 3 *CLS\r\n"));
}

TEST(ReopeningVisa, ClosingTheResourceManagerForgetsItsSessions) {
  auto library = std::make_shared<SilentLibrary>();
  ReopeningVisa visa(library);
  ViSession rm = 0, vi = 0;
  visa.viOpenDefaultRM(rm);
  visa.viOpen(rm, "TCPIP0::h::5025::SOCKET", 0, 10000, vi);
  visa.viClose(rm);
  library->calls.clear();
  std::uint32_t n = 0;
  visa.viWrite(vi, "*CLS\r\n", 6, n);
  EXPECT_THAT(library->calls, ElementsAre("viWrite 2 *CLS\r\n")) << "no reopen of a closed one";
}

}  // namespace
}  // namespace marlin
