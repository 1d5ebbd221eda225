#include "driver/procedure.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <new>

#include "host/thread_host.h"
#include "tests/support/error_of.h"
#include "tests/support/host_fixture.h"

namespace marlin::testing {
namespace {

using ::testing::ElementsAre;

class ProcedureTest : public HostFixture {
 protected:
  std::string name = "AMP1";
};

TEST_F(ProcedureTest, SuccessWithTracingOffWritesNothing) {
  trace->enabled = false;
  Procedure proc(*host::ThreadContext(), labels::kInitDevice, name);
  proc.Start();
  proc.Step([] {});
  proc.End();
  EXPECT_TRUE(trace->lines.empty());
  EXPECT_TRUE(trace->reports.empty());
}

TEST_F(ProcedureTest, FailureWithTracingOffStillReportsOnce) {
  trace->enabled = false;
  Procedure proc(*host::ThreadContext(), labels::kResetFault, name);
  proc.Start();
  EXPECT_THROW(proc.Step([] { throw MarlinError(4040, "gone"); }), MarlinError);
  EXPECT_TRUE(trace->lines.empty());
  ASSERT_EQ(trace->reports.size(), 1u);
  EXPECT_EQ(trace->reports[0].number, 4040);
  EXPECT_EQ(trace->reports[0].description, "gone");
  EXPECT_EQ(trace->reports[0].instance, InstanceId());
  EXPECT_EQ(trace->reports[0].line, 0);
}

TEST_F(ProcedureTest, StartAndEndLinesCarryTheConventionFields) {
  Procedure proc(*host::ThreadContext(), labels::kSetNewState, name);
  proc.Start("NewState = Operate");
  proc.End();
  ASSERT_EQ(trace->lines.size(), 2u);
  const TraceLine& s = trace->lines[0];
  const TraceLine& e = trace->lines[1];
  EXPECT_EQ(s.event, "start");
  EXPECT_EQ(s.component, "Telvar_Amplifier");
  EXPECT_EQ(s.className, "clsMarlin");
  EXPECT_EQ(s.procedure, "SetNewState");
  EXPECT_EQ(s.data, "NewState = Operate");
  EXPECT_EQ(s.instance, std::to_string(InstanceId()));
  EXPECT_EQ(e.event, "end");
  EXPECT_EQ(e.component, "");
  EXPECT_EQ(e.className, "");
  EXPECT_EQ(e.procedure, "SetNewState");
  EXPECT_EQ(e.data, "");
  EXPECT_EQ(e.instance, s.instance);
}

TEST_F(ProcedureTest, GetParametersFromDevListEndsWithItsOwnEndLabel) {
  Procedure proc(*host::ThreadContext(), labels::kGetParametersFromDevList, name);
  proc.Start();
  proc.End();
  EXPECT_THAT(trace->Events(), ElementsAre("start:clsIAmpRemote_GetParametersFromDevList",
                                           "end:clsIAmpRemote_GetParametersFromDeviceList"));
}

TEST_F(ProcedureTest, TracingSwitchedOffBetweenLinesSkipsTheEndLine) {
  Procedure proc(*host::ThreadContext(), labels::kInitDevice, name);
  proc.Start();
  trace->enabled = false;
  proc.End();
  EXPECT_THAT(trace->Events(), ElementsAre("start:InitDevice"));
}

// The Initialize -> InitDevice chain: each handler reports, each adds its prefix.
TEST_F(ProcedureTest, PrefixesAccumulateAlongAChainOfProcedures) {
  auto inner = [&] {
    Procedure proc(*host::ThreadContext(), labels::kInitDevice, name);
    proc.Start();
    proc.Step([] { throw MarlinError(4040, "LAN send data failed!"); });
    proc.End();
  };
  Procedure outer(*host::ThreadContext(), labels::kInitialize, name);
  outer.Start();
  const MarlinError e = ErrorOf([&] { outer.Step(inner); });
  EXPECT_EQ(e.Number(), 4040);
  EXPECT_EQ(e.Description(), "Marlin Amplifier-AMP1Marlin Amplifier-AMP1LAN send data failed!");
  ASSERT_EQ(trace->reports.size(), 2u);
  EXPECT_EQ(trace->reports[0].description, "LAN send data failed!");
  EXPECT_EQ(trace->reports[1].description, "Marlin Amplifier-AMP1LAN send data failed!");
  EXPECT_THAT(trace->Events(), ElementsAre("start:clsDevice_Initialize", "start:InitDevice"));
}

TEST_F(ProcedureTest, AnswerFiveRetriesOnlyTheFailingStep) {
  trace->answers = {5};
  int first = 0, failing = 0, last = 0;
  Procedure proc(*host::ThreadContext(), labels::kResetFault, name);
  proc.Start();
  proc.Step([&] { ++first; });
  proc.Step([&] {
    if (++failing == 1) throw MarlinError(4040, "once");
  });
  proc.Step([&] { ++last; });
  proc.End();
  EXPECT_EQ(first, 1);
  EXPECT_EQ(failing, 2);
  EXPECT_EQ(last, 1);
  EXPECT_EQ(trace->reports.size(), 1u);
  EXPECT_THAT(trace->Events(), ElementsAre("start:ResetFault", "end:ResetFault"));
}

TEST_F(ProcedureTest, RetriedStepThatFailsAgainIsReportedAgain) {
  trace->answers = {5, 0};
  Procedure proc(*host::ThreadContext(), labels::kActivateBand, name);
  int calls = 0;
  EXPECT_THROW(proc.Step([&] {
    ++calls;
    throw MarlinError(4081, "x");
  }),
               MarlinError);
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(trace->reports.size(), 2u);
}

// Whose records these are: the object of the innermost running procedure, also when a message
// loop runs another object's procedure inside a wait, and the outer one's again once that ends.
TEST_F(ProcedureTest, TheTracedDeviceIsThatOfTheInnermostRunningProcedure) {
  EXPECT_EQ(host::ThreadContext()->TracedDevice(), "");
  std::string other = "AMP2";
  {
    Procedure outer(*host::ThreadContext(), labels::kSetState, name);
    EXPECT_EQ(host::ThreadContext()->TracedDevice(), "AMP1");
    EXPECT_THROW(outer.Step([&] {
      Procedure keepAlive(*host::ThreadContext(), labels::kGetState, other);
      other = "AMP3";
      EXPECT_EQ(host::ThreadContext()->TracedDevice(), "AMP3") << "the name as it is now";
      throw MarlinError(4040, "gone");
    }),
                 MarlinError);
    EXPECT_EQ(host::ThreadContext()->TracedDevice(), "AMP1");
    name.clear();
    EXPECT_EQ(host::ThreadContext()->TracedDevice(), "") << "an object without a name names none";
  }
  EXPECT_EQ(host::ThreadContext()->TracedDevice(), "");
}

TEST_F(ProcedureTest, StepReturnsTheValueOfItsWork) {
  Procedure proc(*host::ThreadContext(), labels::kReadCmdResponse, name);
  EXPECT_EQ(proc.Step([] { return std::string("1\n"); }), "1\n");
}

class FailingTrace : public RecordingTrace {
 public:
  int failuresLeft = 1;
  void WriteTrace(const std::string& e, const std::string& c, const std::string& k,
                  const std::string& p, const std::string& d, const std::string& i) override {
    if (failuresLeft-- > 0) throw MarlinError(57, "Device I/O error");
    RecordingTrace::WriteTrace(e, c, k, p, d, i);
  }
};

TEST_F(ProcedureTest, AFailingTraceLineIsAStepTheHostCanRetry) {
  auto* t = Install(std::make_unique<FailingTrace>());
  t->answers = {5};
  Procedure proc(*host::ThreadContext(), labels::kInitDevice, name);
  proc.Start();
  proc.End();
  EXPECT_EQ(t->reports.size(), 1u);
  EXPECT_THAT(t->Events(), ElementsAre("start:InitDevice", "end:InitDevice"));
}

TEST_F(ProcedureTest, OwnHandlerAbsorbsWithoutReporting) {
  Procedure proc(*host::ThreadContext(), labels::kGetState, name);
  auto error = proc.Absorb([] { throw MarlinError(4040, "x"); });
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->Number(), 4040);
  EXPECT_TRUE(trace->reports.empty());
  EXPECT_FALSE(proc.Absorb([] {}).has_value());
}

TEST_F(ProcedureTest, ForeignExceptionsBecomeNumberedErrors) {
  Procedure proc(*host::ThreadContext(), labels::kSendCmdString, name);
  const MarlinError e = ErrorOf([&] { proc.Step([] { throw std::runtime_error("bad"); }); });
  EXPECT_EQ(e.Number(), errors::kInternal);
  EXPECT_EQ(e.Description(), "Marlin Amplifier-AMP1: Internal error: bad");
}

// The host's report failing must neither hide the error nor count as a request to retry.
class RaisingReportTrace : public RecordingTrace {
 public:
  std::int32_t ReportError(const MarlinError& error, std::int32_t instanceId,
                           std::int32_t line) override {
    RecordingTrace::ReportError(error, instanceId, line);
    throw MarlinError(57, "Device I/O error");
  }
};

TEST_F(ProcedureTest, AReportThatRaisesCountsAsAnswerZero) {
  auto* t = Install(std::make_unique<RaisingReportTrace>());
  t->answers = {5};  // never seen: the report raises before answering
  Procedure proc(*host::ThreadContext(), labels::kSetNewState, name);
  int calls = 0;
  const MarlinError e = ErrorOf([&] {
    proc.Step([&] {
      ++calls;
      throw MarlinError(4040, "gone");
    });
  });
  EXPECT_EQ(calls, 1) << "no retry";
  EXPECT_EQ(e.Number(), 4040);
  EXPECT_EQ(e.Description(), "Marlin Amplifier-AMP1: gone");
  EXPECT_EQ(t->reports.size(), 1u);
}

TEST_F(ProcedureTest, AnAllocationFailureBecomesOutOfMemory) {
  Procedure proc(*host::ThreadContext(), labels::kActivateBand, name);
  const MarlinError e = ErrorOf([&] { proc.Step([]() -> int { throw std::bad_alloc(); }); });
  EXPECT_EQ(e.Number(), 7);
  EXPECT_EQ(e.Description(), "Marlin Amplifier-AMP1Out of memory");
  ASSERT_EQ(trace->reports.size(), 1u);
  EXPECT_EQ(trace->reports[0].number, 7);
  EXPECT_EQ(trace->reports[0].description, "Out of memory");
}

struct FormCase {
  ErrorForm form;
  std::string name;
  std::string expected;
};

class FormTest : public ::testing::TestWithParam<FormCase> {};

TEST_P(FormTest, BuildsTheDescription) {
  EXPECT_EQ(FormDescription(GetParam().form, GetParam().name, "text"), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, FormTest,
    ::testing::Values(FormCase{ErrorForm::Plain, "AMP1", "text"},
                      FormCase{ErrorForm::Prefixed, "AMP1", "Marlin Amplifier-AMP1text"},
                      FormCase{ErrorForm::PrefixedWithSeparator, "AMP1",
                               "Marlin Amplifier-AMP1: text"},
                      FormCase{ErrorForm::PrefixedWithSeparator, "", "Marlin Amplifier-: text"}));

TEST(HostRegistry, NoFactoryAndNoServiceRaises429) {
  host::ResetThread();
  InstallHostServiceFactory(nullptr);
  const MarlinError e = ErrorOf([&] { host::ThreadContext()->Trace(); });
  EXPECT_EQ(e.Number(), 429);
  EXPECT_NE(e.Description().find("HostTrace"), std::string::npos);
}

}  // namespace
}  // namespace marlin::testing
