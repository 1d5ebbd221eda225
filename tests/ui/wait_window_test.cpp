// The wait window's own behaviour: load, caption, STOP, close requests, hiding twice.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/thread_host.h"
#include "tests/support/fake_windows.h"
#include "tests/support/host_fixture.h"
#include "tests/support/mock_host.h"
#include "ui/frm_wait_for_done.h"

namespace marlin::testing {
namespace {

using ::testing::_;
using ::testing::NiceMock;

class WaitWindow : public HostFixture {
 protected:
  FakeWindows* windows = Install(std::make_unique<FakeWindows>());
  MockTexts* texts = Install(std::make_unique<NiceMock<MockTexts>>());
};

TEST_F(WaitWindow, LoadAppliesTheHostsTextsAndShowsOperate) {
  EXPECT_CALL(*texts, ApplyTexts(_));
  frmWaitForDone form(*host::ThreadContext());
  ASSERT_EQ(windows->windows.size(), 1u);
  const ShownWindow& w = *windows->windows[0];
  EXPECT_EQ(w.label, "OPERATE");
  EXPECT_EQ(w.caption, "Wait %s for");
  EXPECT_EQ(w.layout.stopTag, "15607");
  EXPECT_FALSE(form.UserStop());
}

TEST_F(WaitWindow, LoadGoesOnWhenTheTextTableFails) {
  EXPECT_CALL(*texts, ApplyTexts(_)).WillOnce([](HostWindow&) {
    throw MarlinError(5, "no table");
  });
  frmWaitForDone form(*host::ThreadContext());
  EXPECT_EQ(windows->windows[0]->label, "OPERATE");
}

TEST_F(WaitWindow, CaptionIsReplacedWhole) {
  frmWaitForDone form(*host::ThreadContext());
  form.DlgCaption("AMP1");
  EXPECT_EQ(windows->windows[0]->caption, "AMP1");
  form.MovingText("POWER OFF");
  EXPECT_EQ(windows->windows[0]->label, "POWER OFF");
}

TEST_F(WaitWindow, StopAndTheCloseControlBothSetTheFlagAndClose) {
  {
    frmWaitForDone form(*host::ThreadContext());
    windows->windows.back()->events->OnStopClicked();
    EXPECT_TRUE(form.UserStop());
    EXPECT_TRUE(windows->windows.back()->closed);
    form.FormHide();  // after the operator closed it: nothing happens, nothing raised
  }
  {
    frmWaitForDone form(*host::ThreadContext());
    windows->windows.back()->events->OnCloseRequest(0);
    EXPECT_TRUE(form.UserStop());
    EXPECT_TRUE(windows->windows.back()->closed);
  }
  {
    frmWaitForDone form(*host::ThreadContext());
    windows->windows.back()->events->OnCloseRequest(1);  // closed by the program, not the operator
    EXPECT_FALSE(form.UserStop());
  }
}

TEST_F(WaitWindow, HideClosesWithoutStopping) {
  frmWaitForDone form(*host::ThreadContext());
  form.Show();
  EXPECT_TRUE(windows->windows[0]->shown);
  form.FormHide();
  EXPECT_TRUE(windows->windows[0]->closed);
  EXPECT_FALSE(form.UserStop());
}

}  // namespace
}  // namespace marlin::testing
