// Identification answers a simulator is not built to give: other letter cases, short answers,
// other makers, odd firmware fields.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/support/scripted_fixture.h"

namespace marlin::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

struct IdnCase {
  const char* what;
  std::string answer;
  std::int32_t status;
  VbBool notPA4413;
  double firmware;
  std::string info2, info3;
};

class IdentificationAnswers : public ScriptedFixture,
                              public ::testing::WithParamInterface<IdnCase> {
 protected:
  IdentificationAnswers() {
    access.Status() = 0;
    access.LanSocket() = -1;
  }
};

TEST_P(IdentificationAnswers, AcceptRecogniseAndRecord) {
  const IdnCase& c = GetParam();
  instrument->Answer("*IDN?", {c.answer});
  access.CheckDevicePhysical(1);
  auto f = amp.Fields();
  EXPECT_EQ(f.Status, c.status) << c.what;
  EXPECT_EQ(f.NotPA4413, c.notPA4413) << c.what;
  EXPECT_EQ(f.FirmwareVersion, c.firmware) << c.what;
  EXPECT_EQ(f.Info.Member2, c.info2) << c.what;
  EXPECT_EQ(f.Info.Member3, c.info3) << c.what;
  EXPECT_THAT(instrument->Lines(), ElementsAre("*IDN?", "*CLS")) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Answers, IdentificationAnswers,
    ::testing::Values(
        IdnCase{"maker in capitals, family member not recognised",
                "QUELLMARKFABRIK,PA4400,A1,SW:1.10", 1, kFalse, 1.1, "PA4400,SW:1.10", "A1"},
        IdnCase{"model name in lower case is accepted, not recognised",
                "quellmarkfabrik,pa4415,S7,SW:2.0", 1, kFalse, 2.0, "pa4415,SW:2.0", "S7"},
        IdnCase{"firmware without its prefix reads 0", "Quellmarkfabrik,PA4415,S7,V2.2", 1, kTrue,
                0, "PA4415,V2.2", "S7"},
        IdnCase{"three fields record nothing", "Quellmarkfabrik,PA4415,S7", 1, kTrue, 0, "", ""},
        IdnCase{"another maker is refused although its model is known",
                "Othermaker,PA4415,S7,SW:2.2", 0, kTrue, 0, "", ""}));

class IdentificationRoutes : public ScriptedFixture {};

TEST_F(IdentificationRoutes, RefusedInstrumentLeavesNoSocketOpen) {
  instrument->Answer("*IDN?", {"Othermaker,XY1,1,SW:1"});
  access.LanSocket() = -1;
  access.CheckDevicePhysical(1);
  EXPECT_EQ(amp.clsDevice_Status(), 0);
  EXPECT_EQ(amp.Fields().LanSocket, -1);
}

TEST_F(IdentificationRoutes, UnconfiguredInterfaceNeverConnects) {
  access.Interface() = 0;
  access.CheckDevicePhysical(1);
  EXPECT_EQ(amp.clsDevice_Status(), 0);
  EXPECT_THAT(instrument->sent, IsEmpty());
}

}  // namespace
}  // namespace marlin::testing
