#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <cctype>

#include <cstdlib>

#include "driver/marlin_error.h"
#include "host/device_list_edit.h"
#include "host/device_list_file.h"
#include "host/host_errors.h"
#include "tests/host/temp_folder.h"

namespace marlin::testing {
namespace {

using ::testing::HasSubstr;

constexpr const char* kLab = R"(# Bench 3 -- ask Kim before changing anything
[host]
lowest_frequency = 80e6   # our coupler

[devices.AMP1]            # the big one
interface = 50
lan_address = "192.0.2.10"   # no port yet
description = "Amplifier 80 MHz - 6 GHz"

# spare, usually on GPIB
[devices.AMP2]
interface = 12
address = 7
)";

struct Edit {
  const char* title;
  std::string before;
  const char* device;
  const char* address;
  std::string after;
};

void PrintTo(const Edit& c, std::ostream* os) { *os << c.title; }

class LanAddressWriteBack : public ::testing::TestWithParam<Edit> {};

TEST_P(LanAddressWriteBack, ChangesOnlyThatValue) {
  const Edit& edit = GetParam();
  EXPECT_EQ(WithLanAddress(edit.before, "devices.toml", edit.device, edit.address), edit.after);
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  text.replace(text.find(from), from.size(), to);
  return text;
}

INSTANTIATE_TEST_SUITE_P(
    EveryWayAnEntryCanBeWritten, LanAddressWriteBack,
    ::testing::Values(
        Edit{"value in place, comments and other entries kept", kLab, "AMP1", "192.0.2.10:5025",
             Replaced(kLab, "\"192.0.2.10\"   # no port", "\"192.0.2.10:5025\"   # no port")},
        Edit{"key added after the last key of its table", kLab, "AMP2", "---.---.---.---:5025",
             Replaced(kLab, "address = 7\n",
                      "address = 7\nlan_address = \"---.---.---.---:5025\"\n")},
        Edit{"literal string", "[devices.A]\nlan_address = 'h'\n", "A", "h:5025",
             "[devices.A]\nlan_address = \"h:5025\"\n"},
        Edit{"multi-line string", "[devices.A]\nlan_address = \"\"\"\nh\"\"\"\ninterface = 50\n",
             "A", "h:5025", "[devices.A]\nlan_address = \"h:5025\"\ninterface = 50\n"},
        Edit{"empty table before a comment and the next table",
             "[devices.A]\n# B is new\n[devices.B]\n", "A", "x:1",
             "[devices.A]\nlan_address = \"x:1\"\n# B is new\n[devices.B]\n"},
        Edit{"last line without a line end", "[devices.A]\ninterface = 50", "A", "x:1",
             "[devices.A]\ninterface = 50\nlan_address = \"x:1\"\n"},
        Edit{"Windows line ends", "[devices.A]\r\ninterface = 50\r\n# end\r\n", "A", "x:1",
             "[devices.A]\r\ninterface = 50\r\nlan_address = \"x:1\"\r\n# end\r\n"},
        Edit{"inline table", "devices = { A = { interface = 50 }, B = {} }\n", "A", "x:1",
             "devices = { A = { interface = 50, lan_address = \"x:1\" }, B = {} }\n"},
        Edit{"empty inline table", "[devices]\nA = {}  # later\n", "A", "x:1",
             "[devices]\nA = { lan_address = \"x:1\" }  # later\n"},
        Edit{"quoted device name and text that needs escapes",
             "[devices.\"amp \\\"7\\\"\"]\nlan_address = \"\"\n", "amp \"7\"", "a\"b\\c\td",
             "[devices.\"amp \\\"7\\\"\"]\nlan_address = \"a\\\"b\\\\c\\td\"\n"}),
    [](const auto& info) {
      std::string name = info.param.title;
      for (char& ch : name) {
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
      }
      return name;
    });

TEST(LanAddressWriteBackRefusal, DottedKeysUnknownDevicesAndBadFilesAreClearErrors) {
  struct Case {
    const char* text;
    const char* device;
    std::int32_t number;
    const char* says;
  } cases[] = {
      {"[devices]\nA.interface = 50\n", "A", host_errors::kBadDeviceList, "dotted keys"},
      {"[devices.A]\n", "B", host_errors::kUnknownDevice, "\"B\" is not in the device list"},
      {"[devices.A]\nlan_address = 1\n", "A", host_errors::kBadDeviceList, "line 2"},
  };
  for (const Case& c : cases) {
    try {
      WithLanAddress(c.text, "devices.toml", c.device, "x:1");
      ADD_FAILURE() << c.text;
    } catch (const MarlinError& e) {
      EXPECT_EQ(e.Number(), c.number);
      EXPECT_THAT(e.Description(), HasSubstr(c.says));
      EXPECT_THAT(e.Description(), HasSubstr("devices.toml"));
    }
  }
}

TEST(DeviceListFileWrite, KeepsTheFileModeAndWritesThroughASymbolicLink) {
  TempFolder folder;
  const auto real = folder.Write("real.toml", kLab);
  ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
  const auto link = folder.Path() / "devices.toml";
  std::filesystem::create_symlink(real, link);

  DeviceListFile(link).SetLanAddress("AMP1", "192.0.2.10:5025");

  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(DeviceListFile(real).Device("AMP1").lanAddress, "192.0.2.10:5025");
  EXPECT_EQ(std::filesystem::status(real).permissions(), std::filesystem::perms::owner_read |
                                                             std::filesystem::perms::owner_write |
                                                             std::filesystem::perms::group_read);
  EXPECT_EQ(folder.Entries(), 2u) << "no temporary file is left behind";
}

TEST(DeviceListFileWrite, AFailureBeforeTheRenameLeavesTheOldFileAndNoLeftovers) {
  TempFolder folder;
  const auto path = folder.Write("devices.toml", kLab);
  DeviceListFile file(path, [](const std::filesystem::path&) {
    throw MarlinError(errors::kFileAccess, "disk pulled");
  });
  EXPECT_THROW(file.SetLanAddress("AMP1", "192.0.2.10:5025"), MarlinError);
  EXPECT_EQ(TempFolder::Read(path), kLab);
  EXPECT_EQ(folder.Entries(), 1u);
}

TEST(DeviceListFileWriteDeathTest, AProcessKilledBeforeTheRenameLeavesTheOldFile) {
  TempFolder folder;
  const auto path = folder.Write("devices.toml", kLab);
  EXPECT_EXIT(
      {
        DeviceListFile file(path, [](const std::filesystem::path&) { std::_Exit(9); });
        file.SetLanAddress("AMP1", "192.0.2.10:5025");
      },
      ::testing::ExitedWithCode(9), "");

  EXPECT_EQ(TempFolder::Read(path), kLab);
  EXPECT_EQ(DeviceListFile(path).Device("AMP1").lanAddress, "192.0.2.10");
  std::size_t leftovers = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder.Path())) {
    if (entry.path() == path) continue;
    ++leftovers;
    EXPECT_THAT(TempFolder::Read(entry.path()), HasSubstr("\"192.0.2.10:5025\""))
        << "the child had written the new list completely when it was killed";
  }
  EXPECT_EQ(leftovers, 1u);
}

}  // namespace
}  // namespace marlin::testing
