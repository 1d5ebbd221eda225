// The session settings the connection check gives a VISA session, seen by a recording layer in
// front of the real one, and their effect on the answers.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "host/thread_host.h"
#include "tests/support/connected_rig.h"
#include "tests/support/forwarding_visa.h"

namespace marlin::testing {
namespace {

using ::testing::ElementsAre;

struct SetAttribute {
  ViSession session;
  ViAttr attribute;
  std::uint64_t value;
  friend bool operator==(const SetAttribute&, const SetAttribute&) = default;
};

class AttributeRecorder final : public ForwardingVisa {
 public:
  using ForwardingVisa::ForwardingVisa;
  std::vector<SetAttribute> set;
  ViStatus viSetAttribute(ViSession vi, ViAttr attribute, std::uint64_t value) override {
    set.push_back({vi, attribute, value});
    return ForwardingVisa::viSetAttribute(vi, attribute, value);
  }
};

TEST(VisaSessionSettings, TheConnectionCheckEndsReadsAtTheLineFeedWithATenSecondTimeout) {
  SimRig rig(Amplifier("PA4415"));
  auto recorder = std::make_shared<AttributeRecorder>(rig.visa);
  host::Replace(recorder);
  clsMarlin amp{host::ThreadContext()};
  MarlinTestAccess access{amp};
  amp.clsDevice_Name_Let(kVisaDevice);
  amp.clsDevice_Status_Let(1);
  amp.clsDevice_Check();
  ASSERT_EQ(amp.clsDevice_Status(), 1);
  const ViSession s = amp.Fields().VisaSession;
  EXPECT_THAT(recorder->set, ElementsAre(SetAttribute{s, visa_attr::kTermCharEn, 1},
                                         SetAttribute{s, visa_attr::kTermChar, 10},
                                         SetAttribute{s, visa_attr::kSuppressEndEn, 0},
                                         SetAttribute{s, visa_attr::kTimeoutValue, 10000}));
  // Two answers in one burst: the first read ends at its line feed, the second is the next's.
  const std::string answer = access.ReadCmdResponse("SYST:POW:STAT?;:RF:OUTP:STAT?\r\n", 200);
  EXPECT_EQ(answer.substr(0, 4), std::string("1;0\n"));
}

}  // namespace
}  // namespace marlin::testing
