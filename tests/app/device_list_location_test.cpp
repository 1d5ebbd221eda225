#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>

#include "app/device_list_location.h"
#include "app/exit_codes.h"
#include "tests/host/temp_folder.h"

namespace marlin::cli {
namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;

Environment Env(std::map<std::string, std::string> values) {
  return [values](const std::string& name) -> std::optional<std::string> {
    auto it = values.find(name);
    if (it == values.end()) return std::nullopt;
    return it->second;
  };
}

TEST(DeviceListLocation, OptionThenVariableThenPerUserDefault) {
  const auto all =
      Env({{"MARLIN_DEVICES", "/env.toml"}, {"XDG_CONFIG_HOME", "/xdg"}, {"HOME", "/home/u"}});
  EXPECT_EQ(LocateDeviceList("opt.toml", all).path, "opt.toml");
  EXPECT_EQ(LocateDeviceList(std::nullopt, all).path, "/env.toml");
  EXPECT_EQ(
      LocateDeviceList(std::nullopt, Env({{"MARLIN_DEVICES", ""}, {"XDG_CONFIG_HOME", "/xdg"}}))
          .path,
      "/xdg/marlin/devices.toml");
  EXPECT_EQ(LocateDeviceList(std::nullopt, Env({{"HOME", "/home/u"}})).path,
            "/home/u/.config/marlin/devices.toml");
  try {
    LocateDeviceList(std::nullopt, Env({}));
    ADD_FAILURE() << "found a list without any source";
  } catch (const CliFailure& e) {
    EXPECT_EQ(e.ExitCode(), exit_code::kConfiguration);
    EXPECT_THAT(e.what(), HasSubstr("give --devices FILE or set MARLIN_DEVICES"));
  }
}

TEST(DeviceListLocation, MissingBrokenAndUnlistedSayWhatAndWhere) {
  testing::TempFolder folder;
  const auto good = folder.Write("good.toml", "[devices.AMP1]\ninterface = 50\n");
  const auto broken = folder.Write("broken.toml", "[devices.AMP1]\ninterface = \"fifty\"\n");
  const DeviceListLocation fromVariable{folder.Path() / "none.toml", "the variable"};

  const auto failure = [](auto&& call) -> CliFailure {
    try {
      call();
    } catch (const CliFailure& e) {
      return e;
    }
    return CliFailure(exit_code::kSuccess, "no failure");
  };
  const CliFailure missing = failure([&] { CheckDeviceList(fromVariable); });
  EXPECT_EQ(missing.ExitCode(), exit_code::kConfiguration);
  EXPECT_THAT(missing.what(), AllOf(HasSubstr("none.toml\" does not exist"),
                                    HasSubstr("device list from the variable")));

  const CliFailure bad = failure([&] { CheckDeviceList({broken, "--devices"}); });
  EXPECT_EQ(bad.ExitCode(), exit_code::kConfiguration);
  EXPECT_THAT(bad.what(),
              AllOf(HasSubstr("broken.toml"), HasSubstr("line 2"), HasSubstr("interface")));

  CheckDeviceList({good, "--devices"});
  const CliFailure unlisted = failure([&] { CheckDeviceListed({good, "--devices"}, "AMP2"); });
  EXPECT_EQ(unlisted.ExitCode(), exit_code::kBadUsage);
  EXPECT_THAT(unlisted.what(), HasSubstr("has no device \"AMP2\"; it holds: AMP1"));
}

}  // namespace
}  // namespace marlin::cli
