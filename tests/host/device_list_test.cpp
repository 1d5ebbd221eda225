#include "host/device_list.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cctype>
#include "tests/support/error_of.h"

#include "driver/marlin_error.h"
#include "host/device_list_file.h"
#include "host/host_errors.h"
#include "tests/host/temp_folder.h"

namespace marlin::testing {
namespace {

using ::testing::ContainsRegex;
using ::testing::HasSubstr;

TEST(DeviceList, ReadsEveryKeyOfTheContract) {
  const DeviceList list = ParseDeviceList(R"(# lab bench 3
[host]
lowest_frequency = 80e6
highest_frequency = 6000000000

[gpib]
board0 = "sim:PA4415"
board3 = "linux:0"

[devices.AMP1]
interface = 50        # LAN socket
address = 7
lan_address = "192.0.2.10:5025"
visa_resource = "TCPIP0::192.0.2.10::5025::SOCKET"
description = "Amplifier 80 MHz - 6 GHz"

[devices."Bench amp"]
interface = 12
address = 30
)",
                                          "lab.toml");
  EXPECT_EQ(list.host, (HostSettings{80e6, 6e9}));
  EXPECT_EQ(list.gpibBackends, (std::map<int, std::string>{{0, "sim:PA4415"}, {3, "linux:0"}}));
  EXPECT_EQ(list.devices.at("AMP1"),
            (DeviceEntry{50, 7, "192.0.2.10:5025", "TCPIP0::192.0.2.10::5025::SOCKET",
                         "Amplifier 80 MHz - 6 GHz"}));
  EXPECT_EQ(list.devices.at("Bench amp"), (DeviceEntry{12, 30, "", "", ""}))
      << "a missing key reads as 0 or the empty text";
}

TEST(DeviceList, BracketsInTextsAndCommentsAreNotNesting) {
  const std::string deep(40, '[');
  const std::string text =
      "# " + deep + "\n[devices.A]\ninterface = 60\ndescription = \"" + deep + "\\\"" + deep +
      "\\\\\"\nvisa_resource = '" + deep + "\\'\nlan_address = \"\"\"\n" + deep +
      "\\\n\"\"\"\n[devices.\"caf\u00e9 \\u00e9\"]\ninterface = 50\ndescription = '''" + deep +
      "\n'''\n";
  const DeviceList list = ParseDeviceList(text, "texts.toml");
  EXPECT_EQ(list.devices.at("A").description, deep + "\"" + deep + "\\");
  EXPECT_EQ(list.devices.at("A").visaResource, deep + "\\");
  EXPECT_EQ(list.devices.at("A").lanAddress, deep);
  EXPECT_EQ(list.devices.at("caf\u00e9 \u00e9").description, deep + "\n");
}

// Texts and quoted names beyond ASCII read as written, each name apart from one that differs
// only there.
TEST(DeviceList, KeysAndTextsBeyondAscii) {
  const DeviceList list = ParseDeviceList(
      "[devices.\"Verst\u00e4rker\"]\ninterface = 50\ndescription = \"\u00a7 4.1\u3001\u0416\"\n"
      "[devices.\"Verst\u00f6rker\"]  # \u00e4\ninterface = 60\n",
      "lab.toml");
  ASSERT_EQ(list.devices.size(), 2u);
  EXPECT_EQ(list.devices.at("Verst\u00e4rker").description, "\u00a7 4.1\u3001\u0416");
  EXPECT_EQ(list.devices.at("Verst\u00f6rker").interfaceCode, 60);
  // Blanks beyond ASCII after a line-ending backslash are skipped like ASCII ones.
  EXPECT_EQ(
      ParseDeviceList(
          "[devices.A]\ninterface = 50\ndescription = \"\"\"\\\n\u3000\ufeff ok \u00e4\"\"\"\n", "")
          .devices.at("A")
          .description,
      "ok \u00e4");
}

struct BadFile {
  const char* fault;
  const char* text;
  int line;
  const char* key;
  const char* reason;
};

void PrintTo(const BadFile& bad, std::ostream* os) { *os << bad.fault; }

class BadDeviceList : public ::testing::TestWithParam<BadFile> {};

TEST_P(BadDeviceList, NamesTheFileTheLineAndTheKey) {
  const BadFile& bad = GetParam();
  const MarlinError e = ErrorOf([&] { ParseDeviceList(bad.text, "/labs/devices.toml"); });
  EXPECT_EQ(e.Number(), host_errors::kBadDeviceList);
  EXPECT_THAT(e.Description(), HasSubstr("Device list \"/labs/devices.toml\""));
  EXPECT_THAT(e.Description(), ContainsRegex(", line " + std::to_string(bad.line) + "[,:]"));
  if (*bad.key) EXPECT_THAT(e.Description(), HasSubstr(std::string("key \"") + bad.key + "\""));
  EXPECT_THAT(e.Description(), HasSubstr(bad.reason));
}

INSTANTIATE_TEST_SUITE_P(
    EachKindOfFault, BadDeviceList,
    ::testing::Values(
        BadFile{"unterminated string", "[devices.A]\ninterface = 50\nlan_address = \"1.2.3.4\n", 3,
                "lan_address", "string"},
        BadFile{"lone bracket", "[", 1, "", ""},
        BadFile{"bytes that are not UTF-8", "[devices.A]\ndescription = 'caf\xe9'\n", 2,
                "description", "not UTF-8 (byte 0xE9)"},
        BadFile{"bare key beyond ASCII", "[devices.Verst\u00e4rker]\ninterface = 50\n", 1,
                "devices.Verst\u00e4rker", "U+00E4 stands outside a string or comment"},
        BadFile{"character beyond ASCII after a line-ending backslash",
                "[devices.A]\ninterface = 50\ndescription = \"\"\"\\\n  \u00a7\"\"\"\n", 4, "",
                "U+00A7 cannot follow a backslash in a multi-line string"},
        // The parser reads on past blanks beyond ASCII, asking of each following character.
        BadFile{"character beyond ASCII after blanks beyond ASCII after a backslash",
                "[devices.A]\ndescription = \"\"\"\\\n\ufeff \u3000\u0416\"\"\"\n", 3, "",
                "U+0416 cannot follow a backslash in a multi-line string"},
        // The parser reads on past the quote, asking of each character whether it is blank.
        BadFile{"number running into a character beyond ASCII",
                "[devices.A]\ninterface = 25\"*\u03f8\n", 2, "interface", "expected digit"},
        BadFile{"parser's message quoting a character beyond ASCII",
                "[devices.A]\ndescription = \"\\\u03f8\"\n", 2, "description",
                "unknown escape sequence '\\\u03f8'"},
        BadFile{"private-use character a masked one could be taken for",
                "[devices.A]\ninterface = 50\ndescription = \"\U000F00E4 \u00e4\"\n", 3,
                "description", "U+F00E4 cannot be read in this list"},
        BadFile{"nesting deeper than any list needs",
                "[devices.A]\n\ndescription = [[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[\n", 3,
                "description", "nested more than 32 deep"},
        BadFile{"nesting as deep as allowed",
                "[devices.A]\ndescription = [[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[["
                "1"
                "]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]\n",
                2, "devices.A.description", "expected a string, found an array"},
        BadFile{"table defined twice", "[devices.A]\naddress = 1\n[devices.A]\n", 3, "devices.A",
                "error while parsing table header: cannot redefine existing table"},
        BadFile{"text for a number", "[devices.A]\ninterface = \"50\"\n", 2, "devices.A.interface",
                "expected an integer, found a string"},
        BadFile{"number for a text", "[devices.\"my amp\"]\nlan_address = 5025\n", 2,
                "devices.\"my amp\".lan_address", "expected a string, found an integer"},
        BadFile{"number beyond 32 bits", "[devices.A]\naddress = 4294967296\n", 2,
                "devices.A.address", "does not fit in 32 bits"},
        BadFile{"misspelt key", "[devices.A]\ninterface = 50\nadress = 7\n", 3, "devices.A.adress",
                "unknown key"},
        BadFile{"unknown table", "[devices.A]\n[hosts]\nlowest_frequency = 1\n", 2, "hosts",
                "unknown key"},
        BadFile{"device that is not a table", "[devices]\nA = 50\n", 2, "devices.A",
                "expected a table, found an integer"},
        BadFile{"device list of tables", "[[devices.A]]\ninterface = 50\n", 1, "devices.A",
                "expected a table, found an array"},
        BadFile{"negative frequency", "[host]\nlowest_frequency = -1\n", 2, "host.lowest_frequency",
                "finite number >= 0"},
        BadFile{"limits the wrong way round",
                "[host]\nhighest_frequency = 1e6\n\nlowest_frequency = 2e6\n", 4,
                "host.lowest_frequency", "above the highest"},
        BadFile{"GPIB board beyond 3", "[gpib]\nboard4 = \"sim:PA4415\"\n", 2, "gpib.board4",
                "unknown key"},
        BadFile{"empty GPIB backend", "[gpib]\nboard0 = \"\"\n", 2, "gpib.board0", "empty"},
        BadFile{"interface that is no route", "[devices.A]\n\ninterface = 77\n", 3,
                "devices.A.interface", "interface 77 is no route"},
        BadFile{"first of two faults in the file, not by name",
                "[devices.B]\ninterface = 77\n[devices.A]\ninterface = 78\n", 2,
                "devices.B.interface", "interface 77 is no route"},
        BadFile{"interface 0", "[devices.A]\ninterface = 0\n", 2, "devices.A.interface",
                "interface 0 is no route"},
        BadFile{"negative interface", "[devices.A]\ninterface = -50\n", 2, "devices.A.interface",
                "interface -50 is no route"},
        BadFile{"interface between the GPIB boards and LAN", "[devices.A]\ninterface = 14\n", 2,
                "devices.A.interface", "expected 10 to 13"},
        BadFile{"missing interface", "[devices.B]\ninterface = 50\n[devices.A]\naddress = 7\n", 3,
                "devices.A.interface", "the key is missing"},
        BadFile{"GPIB address above 30", "[devices.A]\ninterface = 12\naddress = 31\n", 3,
                "devices.A.address", "GPIB address 31 is outside 0 to 30"},
        BadFile{"negative GPIB address", "[devices.A]\ninterface = 12\naddress = -1\n", 3,
                "devices.A.address", "GPIB address -1 is outside 0 to 30"}),
    [](const auto& info) {
      std::string name = info.param.fault;
      for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
      }
      return name;
    });

TEST(DeviceListFile, UnknownDeviceNamesTheDeviceAndTheFile) {
  TempFolder folder;
  DeviceListFile file(folder.Write("devices.toml", "[devices.AMP1]\ninterface = 50\n"));
  const MarlinError e = ErrorOf([&] { file.Device("AMP2"); });
  EXPECT_EQ(e.Number(), host_errors::kUnknownDevice);
  EXPECT_EQ(e.Description(), "Device \"AMP2\" is not in the device list \"" +
                                 (folder.Path() / "devices.toml").string() + "\"");
}

TEST(DeviceListFile, FilesThatCannotBeReadGiveTheirOwnErrors) {
  TempFolder folder;
  const auto fifo = folder.Path() / "fifo.toml";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  struct Case {
    std::filesystem::path path;
    std::int32_t number;
    std::string text;
  } cases[] = {
      {folder.Path() / "missing.toml", errors::kFileNotFound, "File not found"},
      {folder.Path(), errors::kFileAccess, "is a folder"},
      {folder.Write("huge.toml", std::string(kLargestDeviceList + 1, '#')), errors::kFileAccess,
       "is larger than"},
      {fifo, errors::kFileAccess, "is not a regular file"},
      {"/dev/null", errors::kFileAccess, "is not a regular file"},
  };
  for (const Case& c : cases) {
    DeviceListFile file(c.path);
    try {
      file.Current();
      ADD_FAILURE() << c.path;
    } catch (const MarlinError& e) {
      EXPECT_EQ(e.Number(), c.number) << e.Description();
      EXPECT_THAT(e.Description(), HasSubstr(c.text));
      EXPECT_THAT(e.Description(), HasSubstr(c.path.string()));
    }
  }
}

TEST(DeviceListFile, ReadsTheFileAgainWhenItChanged) {
  TempFolder folder;
  const auto path = folder.Write("devices.toml", "[devices.A]\ninterface = 10\naddress = 11\n");
  DeviceListFile file(path);
  EXPECT_EQ(file.Device("A").address, 11);
  folder.Write("devices.toml", "[devices.A]\ninterface = 10\naddress = 12\n");  // same size
  EXPECT_EQ(file.Device("A").address, 12);
  folder.Write("devices.toml", "[devices.A]\ninterface = 10\naddress = \"12\"\n");
  EXPECT_THROW(file.Device("A"), MarlinError) << "a file broken since the last read is an error";
}

}  // namespace
}  // namespace marlin::testing
