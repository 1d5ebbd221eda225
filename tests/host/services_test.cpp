#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "driver/marlin_error.h"
#include "host/host_errors.h"
#include "host/standalone_host.h"
#include "host/standalone_texts.h"
#include "host/thread_host.h"
#include "tests/host/temp_folder.h"
#include "tests/support/error_of.h"

namespace marlin::testing {
namespace {

using ::testing::HasSubstr;

void ExpectError(const std::function<void()>& call, std::int32_t number, const std::string& says) {
  const MarlinError e = ErrorOf(call);
  EXPECT_EQ(e.Number(), number) << e.Description();
  EXPECT_THAT(e.Description(), HasSubstr(says));
}

TEST(HostMessageContext, IsNothingOrAnObjectWithTheConfiguredPermission) {
  StandaloneHostConfig config;
  EXPECT_EQ(StandaloneHostFactory(config).MakeMessage(*host::ThreadContext())->Context(), nullptr);
  for (bool allowed : {true, false}) {
    config.waitWindowAllowed = allowed;
    auto context = StandaloneHostFactory(config).MakeMessage(*host::ThreadContext())->Context();
    ASSERT_NE(context, nullptr);
    EXPECT_EQ(context->Enabled(), allowed);
  }
}

class TaggedWindow : public HostWindow {
 public:
  std::map<std::string, std::pair<std::string, std::string>> controls;  // name -> tag, text
  std::vector<std::string> ControlNames() const override {
    std::vector<std::string> names;
    for (const auto& [name, control] : controls) names.push_back(name);
    return names;
  }
  std::string ControlTag(const std::string& control) const override {
    return controls.at(control).first;
  }
  void SetControlText(const std::string& control, const std::string& text) override {
    controls.at(control).second = text;
  }
};

TEST(HostTextTable, HoldsTheDriversTextsAndAppliesThemByTag) {
  StandaloneHostFactory factory{StandaloneHostConfig{}};
  auto texts = factory.MakeTexts();
  EXPECT_THAT(texts->GetText(text_number::kBandPathTimeout), HasSubstr("band path"));
  EXPECT_EQ(texts->GetText(text_number::kStopButton), "STOP");
  ExpectError([&] { texts->GetText(1); }, host_errors::kUnknownText, "no text number 1");

  TaggedWindow window;
  window.controls = {{"cmdStop", {"15607", "Stop!"}},
                     {"cwInfo", {"", "OPERATE"}},
                     {"imgVexa", {"99999", "icon"}},
                     {"lblOther", {"15607x", "keep"}}};
  texts->ApplyTexts(window);
  EXPECT_EQ(window.controls["cmdStop"].second, "STOP");
  EXPECT_EQ(window.controls["cwInfo"].second, "OPERATE");
  EXPECT_EQ(window.controls["imgVexa"].second, "icon") << "a number the table lacks";
  EXPECT_EQ(window.controls["lblOther"].second, "keep");
}

TEST(UnconfiguredServices, RaiseClearErrorsInsteadOfPretending) {
  StandaloneHostFactory factory{StandaloneHostConfig{}};
  auto gpib = factory.MakeGpib();
  std::int16_t handle = -1;
  ExpectError([&] { gpib->GpibOpen(0, 7, 0, 13, 1, 0, handle); }, host_errors::kNotConfigured,
              "No GPIB backend");
  ExpectError([&] { gpib->GpibStatus(); }, host_errors::kNotConfigured, "No GPIB backend");

  auto devList = factory.MakeDevList();
  std::int32_t socket = 0;
  bool ok = false;
  ExpectError([&] { devList->GetInterface("AMP1"); }, host_errors::kNotConfigured,
              "No device list file");
  ExpectError([&] { devList->LanOpen("127.0.0.1", 5025, 0, "TCP", socket, ok); },
              host_errors::kNotConfigured, "No LAN socket service");
}

TEST(LanMembers, RefuseWhatTheSocketServiceCannotDo) {
  auto devList = StandaloneHostFactory(StandaloneHostConfig{}).MakeDevList();
  std::int32_t socket = 0;
  bool ok = false;
  ExpectError([&] { devList->LanOpen("127.0.0.1", 5025, 0, "UDP", socket, ok); },
              errors::kInvalidArgument, "\"UDP\" is not supported");
  ExpectError([&] { devList->LanOpen("127.0.0.1", 5025, 4000, "TCP", socket, ok); },
              errors::kInvalidArgument, "local port (4000)");
}

TEST(CheckLanDevice, AllowsVisaOnlyForListedDevicesWithTheVisaInterface) {
  TempFolder folder;
  StandaloneHostConfig config;
  config.deviceList =
      folder.Write("devices.toml", "[devices.V]\ninterface = 60\n[devices.L]\ninterface = 50\n");
  auto devList = StandaloneHostFactory(config).MakeDevList();
  bool allowed = false;
  devList->CheckLanDevice("V", allowed);
  EXPECT_TRUE(allowed);
  devList->CheckLanDevice("L", allowed);
  EXPECT_FALSE(allowed);
  ExpectError([&] { devList->CheckLanDevice("X", allowed); }, host_errors::kUnknownDevice, "\"X\"");
}

TEST(HostConfiguration, RefusesATimeScaleThatCannotWork) {
  StandaloneHostConfig config;
  for (double scale : {0.0, -2.0, std::nan("")}) {
    config.timeScale = scale;
    ExpectError([&] { StandaloneHostFactory factory(config); }, errors::kInvalidArgument,
                "time scale");
  }
  config.timeScale = 10;
  config.clock = std::make_shared<VirtualClock>();
  ExpectError([&] { StandaloneHostFactory factory(config); }, errors::kInvalidArgument,
              "given clock");
}

}  // namespace
}  // namespace marlin::testing
