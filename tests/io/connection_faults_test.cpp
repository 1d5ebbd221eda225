// Connection cases that only a stand-in service can force: error 4012, a raising LanOpen, a
// failing resource manager, and teardown closing exactly what is open.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "driver/cls_marlin.h"
#include "host/thread_host.h"
#include "tests/support/fake_visa.h"
#include "tests/support/host_fixture.h"
#include "tests/support/marlin_access.h"
#include "tests/support/mock_host.h"

namespace marlin::testing {
namespace {

using ::testing::_;
using ::testing::Contains;
using ::testing::DoAll;
using ::testing::ElementsAre;
using ::testing::InSequence;
using ::testing::NiceMock;
using ::testing::Return;
using ::testing::SetArgReferee;
using ::testing::StrictMock;

class ConnectionFaults : public HostFixture {
 protected:
  clsMarlin amp{host::ThreadContext()};
  MarlinTestAccess access{amp};
};

// The handle is closed as it stands, -1 included, and never prepared for closing: the device
// has just failed. Nothing of it reaches the caller, not even a failing close.
TEST_F(ConnectionFaults, Error4012ClosesTheHandleAsItStandsWithoutEndLine) {
  struct Case {
    const char* raisedBy;
    std::int16_t handle;
    bool closeRaises;
  };
  const auto busGone = [] { throw MarlinError(4012, "bus gone"); };
  access.Interface() = 11;
  for (const Case& k :
       {Case{"GpibWrite", 3, false}, Case{"GpibOpen", -1, false}, Case{"GpibWrite", 4, true}}) {
    auto* gpib = Install(std::make_unique<StrictMock<MockGpib>>());
    trace->lines.clear();
    InSequence order;
    auto& open = EXPECT_CALL(*gpib, GpibOpen(1, 7, 0, 13, 1, 0x0C0A, _));
    if (k.handle < 0) {
      open.WillOnce([&](auto, auto, auto, auto, auto, auto, std::int16_t& h) {
        h = -1;
        busGone();
      });
    } else {
      open.WillOnce(SetArgReferee<6>(k.handle));
      EXPECT_CALL(*gpib, GpibStatus()).WillOnce(Return(0));
      EXPECT_CALL(*gpib, GpibWrite(k.handle, "*CLS\r\n"))
          .WillOnce([&](std::int16_t, const std::string&) { busGone(); });
    }
    auto& close = EXPECT_CALL(*gpib, GpibClose(k.handle, 0));
    if (k.closeRaises) close.WillOnce([&](std::int16_t, std::int32_t) { busGone(); });
    EXPECT_NO_THROW(access.CheckDevicePhysical(1)) << k.raisedBy;
    EXPECT_EQ(amp.Fields().GpibHandle, -1) << k.raisedBy;
    EXPECT_EQ(amp.clsDevice_Status(), 0) << k.raisedBy;
    EXPECT_THAT(trace->Events(), ElementsAre("start:CheckDevicePhysical")) << k.raisedBy;
    EXPECT_TRUE(trace->reports.empty()) << "the connection check reports nothing itself";
    ::testing::Mock::VerifyAndClearExpectations(gpib);
  }
}

TEST_F(ConnectionFaults, RaisingLanOpenGoesOnToTheQuery) {
  auto* lan = Install(std::make_unique<NiceMock<MockDevList>>());
  access.Interface() = 50;
  EXPECT_CALL(*lan, LanOpen(_, _, 0, "TCP", _, _))
      .WillOnce([](const std::string&, std::int32_t, std::int32_t, const std::string&,
                   std::int32_t& socket, bool&) {
        socket = 4;
        throw MarlinError(10061, "refused");
      });
  EXPECT_CALL(*lan, LanQuery(4, "*IDN?\r\n", _, _))
      .WillOnce(DoAll(SetArgReferee<2>(std::string("Quellmarkfabrik,PA4415,S1,SW:2.30")),
                      SetArgReferee<3>(true)));
  EXPECT_CALL(*lan, LanIsConnected(4, _)).WillRepeatedly(SetArgReferee<1>(true));
  EXPECT_CALL(*lan, LanSend(4, "*CLS\r\n", _)).WillOnce(SetArgReferee<2>(true));
  access.CheckDevicePhysical(1);
  EXPECT_EQ(amp.clsDevice_Status(), 1);
  EXPECT_EQ(amp.Fields().NotPA4413, kTrue);
  EXPECT_EQ(amp.Fields().FirmwareVersion, 2.3);
}

TEST_F(ConnectionFaults, FailedLanQueryEndsNotConnectedAndClosesTheSocket) {
  auto* lan = Install(std::make_unique<StrictMock<MockDevList>>());
  access.Interface() = 50;
  InSequence order;
  EXPECT_CALL(*lan, LanOpen(_, _, 0, "TCP", _, _))
      .WillOnce(DoAll(SetArgReferee<4>(6), SetArgReferee<5>(true)));
  EXPECT_CALL(*lan, LanQuery(6, "*IDN?\r\n", _, _)).WillOnce(SetArgReferee<3>(false));
  EXPECT_CALL(*lan, LanClose(6, _));
  access.CheckDevicePhysical(1);
  EXPECT_EQ(amp.clsDevice_Status(), 0);
  EXPECT_EQ(amp.Fields().LanSocket, -1);
}

TEST_F(ConnectionFaults, FailingResourceManagerOpensNothingAndAbsorbs4200) {
  auto* lan = Install(std::make_unique<NiceMock<MockDevList>>());
  EXPECT_CALL(*lan, CheckLanDevice(_, _)).WillOnce(SetArgReferee<1>(true));
  auto visa = std::make_shared<FakeVisa>();
  visa->openDefaultRMStatus = -1073807343;  // resource not found
  host::Replace(visa);
  access.Interface() = 60;
  access.CheckDevicePhysical(1);
  EXPECT_EQ(amp.clsDevice_Status(), 0);
  EXPECT_EQ(amp.Fields().VisaStatus, -1073807343);
  EXPECT_THAT(visa->calls, ElementsAre("viOpenDefaultRM"));
  EXPECT_TRUE(trace->reports.empty());
  EXPECT_THAT(trace->Events(), ElementsAre("start:CheckDevicePhysical", "end:CheckDevicePhysical"));
}

// A VISA device the list refuses, or a session that does not open, ends not connected and asks
// nothing of a session it does not have.
TEST_F(ConnectionFaults, RefusedOrUnopenedVisaEndsNotConnectedWithoutAQuery) {
  struct Case {
    bool listed;
    ViStatus openStatus;
    std::vector<std::string> calls;
  };
  const Case cases[] = {
      {false, 0, {}},
      {true,
       -1073807343,
       {"viOpenDefaultRM", "viOpen 1 " + std::string(kDefaultVisaResource), "viClose 1"}},
  };
  auto* lan = Install(std::make_unique<NiceMock<MockDevList>>());
  for (const Case& c : cases) {
    EXPECT_CALL(*lan, CheckLanDevice(_, _)).WillOnce(SetArgReferee<1>(c.listed));
    auto visa = std::make_shared<FakeVisa>();
    visa->openStatus = c.openStatus;
    host::Replace(visa);
    clsMarlin m{host::ThreadContext()};
    MarlinTestAccess{m}.Interface() = 60;
    MarlinTestAccess{m}.CheckDevicePhysical(1);
    EXPECT_EQ(m.clsDevice_Status(), 0) << c.listed;
    EXPECT_EQ(visa->calls, c.calls) << c.listed;
  }
}

TEST_F(ConnectionFaults, VisaSessionAndResourceManagerOpenCloseTogether) {
  auto* lan = Install(std::make_unique<NiceMock<MockDevList>>());
  EXPECT_CALL(*lan, CheckLanDevice(_, _)).WillRepeatedly(SetArgReferee<1>(true));
  Install(std::make_unique<NiceMock<MockTools>>());
  auto visa = std::make_shared<FakeVisa>();
  host::Replace(visa);
  {
    clsMarlin m{host::ThreadContext()};
    MarlinTestAccess a{m};
    a.Interface() = 60;
    a.CheckDevicePhysical(1);
    ASSERT_EQ(m.clsDevice_Status(), 1);
    EXPECT_EQ(m.Fields().VisaSession, 2);
    EXPECT_EQ(m.Fields().VisaDefaultRM, 1);
    visa->calls.clear();
    a.CheckDevicePhysical(0);  // an instrument that takes one client at a time is free again
    EXPECT_THAT(visa->calls, ElementsAre("viClear 2", "viClose 2", "viClose 1"));
    EXPECT_EQ(m.Fields().VisaSession, -1);
    EXPECT_EQ(m.Fields().VisaDefaultRM, 0);
    a.CheckDevicePhysical(1);
    ASSERT_EQ(m.clsDevice_Status(), 1);
    visa->calls.clear();
    a.CheckDevicePhysical(1);  // a connection closes both before opening anew
    EXPECT_THAT(std::vector<std::string>(visa->calls.begin(), visa->calls.begin() + 4),
                ElementsAre("viClear 4", "viClose 4", "viClose 3", "viOpenDefaultRM"));
    visa->calls.clear();
  }
  EXPECT_THAT(visa->calls, ElementsAre("viClear 6", "viClose 6", "viClose 5"));
}

// The VISA that opened a session is the one that serves and closes it, even when the thread's
// binding is replaced or dropped meanwhile; it is let go once the session is closed.
TEST_F(ConnectionFaults, TheSessionKeepsItsVisaUntilItIsClosed) {
  auto* lan = Install(std::make_unique<NiceMock<MockDevList>>());
  EXPECT_CALL(*lan, CheckLanDevice(_, _)).WillRepeatedly(SetArgReferee<1>(true));
  Install(std::make_unique<NiceMock<MockTools>>());
  auto opening = std::make_shared<FakeVisa>();
  std::weak_ptr<FakeVisa> watch = opening;
  host::Replace(opening);
  clsMarlin m{host::ThreadContext()};
  MarlinTestAccess a{m};
  a.Interface() = 60;
  a.CheckDevicePhysical(1);
  ASSERT_EQ(m.clsDevice_Status(), 1);
  auto later = std::make_shared<FakeVisa>();
  host::Replace(later);
  opening->calls.clear();
  opening.reset();
  ASSERT_FALSE(watch.expired()) << "the open session holds its VISA";
  a.SendCmdString("OUTP ON\n");
  EXPECT_THAT(watch.lock()->calls, ElementsAre("viWrite 2 OUTP ON\n"));
  a.CheckDevicePhysical(0);
  EXPECT_TRUE(watch.expired()) << "a closed session lets its VISA go";
  EXPECT_TRUE(later->calls.empty());
  a.CheckDevicePhysical(1);
  EXPECT_THAT(later->calls, Contains("viOpenDefaultRM")) << "a new session takes the thread's";
}

TEST_F(ConnectionFaults, TeardownClosesExactlyWhatIsOpen) {
  auto* gpib = Install(std::make_unique<StrictMock<MockGpib>>());
  auto* lan = Install(std::make_unique<StrictMock<MockDevList>>());
  {
    clsMarlin m{host::ThreadContext()};
    MarlinTestAccess a{m};
    a.Status() = 1;  // connected over LAN: no handle of GPIB to give up
    a.Interface() = 50;
    a.LanSocket() = 9;
    EXPECT_CALL(*lan, LanClose(9, _));
  }
  {
    clsMarlin m{host::ThreadContext()};
    MarlinTestAccess a{m};
    a.Interface() = 10;
    a.GpibHandle() = 2;
    InSequence order;
    EXPECT_CALL(*gpib, GpibPrepareClose(2));
    EXPECT_CALL(*gpib, GpibClose(2, 0));
  }
  {
    clsMarlin m{host::ThreadContext()};  // nothing open: no call at all, none with -1
  }
}

}  // namespace
}  // namespace marlin::testing
