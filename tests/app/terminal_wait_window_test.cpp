#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>
#include <sstream>

#include "host/standalone_host.h"
#include "host/standalone_texts.h"
#include "host/standalone_tools.h"
#include "host/terminal_wait_window.h"
#include "host/thread_host.h"
#include "ui/frm_wait_for_done.h"

namespace marlin::testing {
namespace {

using ::testing::HasSubstr;

struct Typed {
  std::deque<char> keys;
  bool open = false;
};

class FakeKeys final : public KeyInput {
 public:
  explicit FakeKeys(Typed& typed) : typed_(typed) { typed_.open = true; }
  ~FakeKeys() override { typed_.open = false; }
  std::optional<char> NextKey() override {
    if (typed_.keys.empty()) return std::nullopt;
    const char key = typed_.keys.front();
    typed_.keys.pop_front();
    return key;
  }

 private:
  Typed& typed_;
};

// Closes the view as the form logic does when the operator acts.
class ClosingEvents final : public WaitWindowEvents {
 public:
  void OnStopClicked() override {
    ++stops;
    view->Close();
  }
  void OnCloseRequest(std::int32_t reason) override {
    reasons.push_back(reason);
    view->Close();
  }
  WaitWindowView* view = nullptr;
  int stops = 0;
  std::vector<std::int32_t> reasons;
};

class TerminalWaitWindowTest : public ::testing::Test {
 protected:
  std::unique_ptr<TerminalWaitWindow> Make(bool ansi) {
    TerminalWaitStyle style;
    style.ansiColours = ansi;
    style.openKeys = [this] { return std::make_unique<FakeKeys>(typed); };
    const WaitWindowLayout layout{"Wait %s for", "OPERATE", {"Off", "On"}, "STOP", "15607"};
    auto view = std::make_unique<TerminalWaitWindow>(layout, events, out, *timers, style);
    events.view = view.get();
    return view;
  }
  void Wait(float ms) { tools.Wait(ms); }

  std::shared_ptr<VirtualClock> clock = std::make_shared<VirtualClock>();
  std::shared_ptr<TimerQueue> timers = std::make_shared<TimerQueue>(clock);
  StandaloneTools tools{nullptr, timers};
  std::ostringstream out;
  Typed typed;
  ClosingEvents events;
};

TEST_F(TerminalWaitWindowTest, DrawsTheSettingsMadeAfterShowingAsOneLineAtTheNextTick) {
  auto view = Make(false);
  view->SetIndicatorProperty(frmWaitForDone::kLabelProperty, std::string("POWER OFF"));
  view->SetIndicatorProperty(frmWaitForDone::kColourProperty, 65280);
  view->ShowModeless();
  view->SetCaption("AMP1");
  EXPECT_EQ(out.str(), "");
  Wait(1000);
  EXPECT_EQ(out.str(), "[POWER OFF, green] AMP1 (press s for STOP)\n");
  view->Close();
  EXPECT_EQ(out.str(), "[POWER OFF, green] AMP1 (press s for STOP)\nAMP1: wait window closed\n");
  EXPECT_FALSE(typed.open);
}

TEST_F(TerminalWaitWindowTest, ColoursTheLabelOnlyWhenAsked) {
  auto view = Make(true);
  view->SetIndicatorProperty(frmWaitForDone::kColourProperty, 255);
  view->ShowModeless();
  Wait(100);
  EXPECT_EQ(out.str(), "\r\x1b[2K\x1b[1;31m[OPERATE]\x1b[0m Wait %s for (press s for STOP)\n");
}

TEST_F(TerminalWaitWindowTest, TheStopKeyActsDuringTheHostsWaitAndTheCloseKeyIsTheCloseControl) {
  auto view = Make(false);
  view->ShowModeless();
  typed.keys = {'x', 'S'};
  Wait(4000);
  EXPECT_EQ(events.stops, 1);
  EXPECT_FALSE(view->Visible());
  EXPECT_FALSE(typed.open);

  auto second = Make(false);
  second->ShowModeless();
  typed.keys = {'\x1b'};
  Wait(150);
  EXPECT_THAT(events.reasons, ::testing::ElementsAre(frmWaitForDone::kCloseByOperator));
  EXPECT_EQ(events.stops, 1);
}

TEST_F(TerminalWaitWindowTest, WithoutKeysItSaysNothingOfThem) {
  TerminalWaitStyle style;
  const WaitWindowLayout layout{"AMP1", "OPERATE", {"Off", "On"}, "STOP", "15607"};
  TerminalWaitWindow view(layout, events, out, *timers, style);
  view.ShowModeless();
  Wait(500);
  EXPECT_EQ(out.str(), "[OPERATE, black] AMP1\n");
}

TEST_F(TerminalWaitWindowTest, RefusesPropertiesItDoesNotHaveAndValuesOfTheWrongKind) {
  auto view = Make(false);
  const auto number = [&](std::int32_t id, const IndicatorValue& value) {
    try {
      view->SetIndicatorProperty(id, value);
    } catch (const MarlinError& e) {
      return e.Number();
    }
    return 0;
  };
  EXPECT_EQ(number(frmWaitForDone::kLabelProperty, 3), 13);
  EXPECT_EQ(number(frmWaitForDone::kColourProperty, std::string("red")), 13);
  EXPECT_EQ(number(frmWaitForDone::kColourProperty, 0x1000000), 380);
  EXPECT_EQ(number(7, std::string("x")), 438);
  EXPECT_EQ(view->Label(), "OPERATE");
}

TEST_F(TerminalWaitWindowTest, TheHostTextTableReachesTheStopButtonByItsTag) {
  auto view = Make(false);
  view->SetControlText(TerminalWaitWindow::kStopControl, "HALT");
  StandaloneTexts().ApplyTexts(*view);
  EXPECT_EQ(view->StopCaption(), "STOP");
  EXPECT_EQ(view->ControlTag(TerminalWaitWindow::kStopControl), "15607");
}

// The form logic through the stand-alone host: the terminal host now draws the window.
TEST(TerminalHostWaitWindow, TheFormIsDrawnOnTheConsoleWhileTheHostWaits) {
  std::ostringstream console;
  StandaloneHostConfig config;
  config.clock = std::make_shared<VirtualClock>();
  config.console = &console;
  InstallHostServiceFactory(std::make_shared<StandaloneHostFactory>(config));
  host::ResetThread();
  {
    frmWaitForDone form(*host::ThreadContext());
    form.MovingText(frmWaitForDone::kOperate);
    form.SetIndicatorColour(frmWaitForDone::kRed);
    form.Show();
    form.DlgCaption("AMP1");
    host::ThreadContext()->Tools().Wait(4000);
    form.FormHide();
  }
  host::ResetThread();
  InstallHostServiceFactory(nullptr);
  EXPECT_THAT(console.str(), HasSubstr("[OPERATE, red] AMP1"));
  EXPECT_THAT(console.str(), HasSubstr("AMP1: wait window closed\n"));
}

}  // namespace
}  // namespace marlin::testing
