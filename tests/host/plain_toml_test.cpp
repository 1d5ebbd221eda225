#include "host/plain_toml.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "driver/marlin_error.h"
#include "host/device_list.h"

namespace marlin::testing {
namespace {

// Not ASCII, so not plain: the same list then goes through the general parser.
const std::string kNotPlain = "# caf\u00e9\n";

const char* const kPlainLists[] = {
    "# lab\n[host]\nlowest_frequency = 80e6\nhighest_frequency = 6000000000\n\n[gpib]\n"
    "board0 = 'sim:PA4415'  # sim\n[devices.AMP1]\ninterface = 50\nlan_address = \"h:5025\"\n"
    "description = \"Amp 'A' \t\"\n[devices.B-2_x]\r\ninterface=12\r\naddress = +30\r\n",
    "[devices.A]\ninterface = 60\nvisa_resource = \"\"\ndescription = 'C:\\path'",
    "[devices]\n[devices.A]\ninterface = 10\naddress = 0\n[host]\nlowest_frequency = 1.5e+3\n",
};

TEST(PlainToml, ReadsTheListAsTheGeneralParserDoes) {
  for (const std::string text : kPlainLists) {
    ASSERT_TRUE(ReadPlainToml(text)) << text;
    EXPECT_EQ(ParseDeviceList(text, "a.toml"), ParseDeviceList(text + kNotPlain, "a.toml")) << text;
  }
}

TEST(PlainToml, NamesTheSameFaultAtTheSameLineAsTheGeneralParser) {
  const char* const faulty[] = {
      "[devices.A]\n\ninterface = 77\n",
      "[devices.A]\ninterface = 12\naddress = 31\n",
      "[devices.A]\ninterface = 50\nlan_address = 5025\n",
      "[devices.A]\ninterface = 50\n[devices.B]\ndescription = 'no interface'\n",
      "[devices]\nA = 50\n",
      "[devices.A]\ninterface = 50\nadress = 7\n",
      "[hosts]\nlowest_frequency = 1\n",
      "# x\n[device.A]\ninterface = 60\n[device.B]\n",
      "[host]\nhighest_frequency = 1e6\n\nlowest_frequency = 2e6\n",
      "[devices.A]\ninterface = 4294967296\n",
  };
  for (const std::string text : faulty) {
    ASSERT_TRUE(ReadPlainToml(text)) << text;
    std::string plain, general;
    try {
      ParseDeviceList(text, "a.toml");
    } catch (const MarlinError& e) {
      plain = e.Description();
    }
    try {
      ParseDeviceList(text + kNotPlain, "a.toml");
    } catch (const MarlinError& e) {
      general = e.Description();
    }
    EXPECT_FALSE(plain.empty()) << text;
    EXPECT_EQ(plain, general) << text;
  }
}

TEST(PlainToml, LeavesEveryOtherFormToTheGeneralParser) {
  const char* const others[] = {
      "interface = 50\n",                              // a key before any table
      "[devices.\"Bench amp\"]\ninterface = 50\n",     // quoted key
      "[devices.A.b]\n",                               // three levels
      "[[devices.A]]\n",                               // array of tables
      "[devices]\nA = { interface = 50 }\n",           // inline table
      "[devices]\nA.interface = 50\n",                 // dotted key
      "[devices.A]\ndescription = \"a\\\"b\"\n",       // escaped quote
      "[devices.A]\ndescription = \"tab\\there\"\n",   // escape
      "[devices.A]\ndescription = \"\"\"\nx\"\"\"\n",  // multi-line string
      "[devices.A]\ndescription = ''''''\n",           // multi-line literal
      "[devices.A]\ndescription = \"caf\u00e9\"\n",    // not ASCII
      "[devices.A]\naddress = 0x1F\n",                 // hexadecimal
      "[devices.A]\naddress = 1_000\n",                // underscores
      "[devices.A]\naddress = 07\n",                   // leading zero
      "[devices.A]\naddress = [1]\n",                  // array
      "[devices.A]\naddress = true\n",                 // boolean
      "[host]\nlowest_frequency = inf\n",              // not a decimal number
      "[devices.A]\naddress = 1\naddress = 2\n",       // key twice
      "[devices.A]\n[devices.A]\n",                    // table twice
      "[devices.A]\ndescription = \"open\n",           // unterminated
      "[devices.A]\ninterface = 50 x\n",               // trailing text
      "[devices.A]\ndescription = \"\x1b\"\n",         // control character
      "[devices.A] # \x7f\n",                          // control character in a comment
      "[devices.A]\ninterface = 50\r",                 // carriage return alone
      "[devices.A]\ninterface =\n",                    // no value
  };
  for (const char* text : others) EXPECT_FALSE(ReadPlainToml(text)) << text;
}

TEST(PlainToml, RecordsWhereEachHeaderAndValueStands) {
  const std::string text = "# x\n[devices.A]  # a\ninterface = 50\nlan_address = 'h:1'\n";
  const auto plain = ReadPlainToml(text);
  ASSERT_TRUE(plain);
  const toml::value& device = plain->root.as_table().at("devices").as_table().at("A");
  const auto span = [&](const toml::value& v) {
    const TextSpan s = plain->places.at(&v);
    return text.substr(s.offset, s.length);
  };
  EXPECT_EQ(span(device), "[devices.A]");
  EXPECT_EQ(span(device.as_table().at("interface")), "50");
  EXPECT_EQ(span(device.as_table().at("lan_address")), "'h:1'");
}

}  // namespace
}  // namespace marlin::testing
