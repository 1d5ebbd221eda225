// Naming a device on real device-list files through the stand-alone host's services.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cctype>

#include <optional>

#include "driver/cls_marlin.h"
#include "host/device_list_file.h"
#include "host/host_errors.h"
#include "host/standalone_host.h"
#include "host/thread_host.h"
#include "tests/host/temp_folder.h"
#include "tests/support/error_of.h"
#include "tests/support/host_fixture.h"
#include "tests/support/marlin_access.h"
#include "tests/support/mock_host.h"

namespace marlin::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr const char* kPlaceholder = "---.---.---.---";
const std::string kDefaultInfo4 = "---.---.---.---:5025";

class NamingOnFiles : public HostFixture {
 protected:
  // Installs the stand-alone device list and tools over `text`; the trace stays the recorder.
  std::filesystem::path UseDeviceList(const std::string& text) {
    const auto path = folder.Write("devices.toml", text);
    StandaloneHostConfig config;
    config.deviceList = path;
    config.clock = std::make_shared<VirtualClock>();
    StandaloneHostFactory factory(config);
    host::Replace(factory.MakeDevList());
    host::Replace(factory.MakeTools());
    return path;
  }

  TempFolder folder;
};

struct NamingCase {
  const char* title;
  std::string amp;    // the keys of [devices.AMP]
  std::string first;  // keys of [devices.FIRST], named on the same object before AMP if given
  std::int32_t error = 0;
  std::int32_t interfaceCode = 0;
  std::int32_t address = 7;
  std::string host;
  std::int32_t port = 0;
  std::string info4 = kDefaultInfo4;
  std::string visa = kDefaultVisaResource;
  std::string description;
  std::optional<std::string> written;  // AMP's lan_address in the file afterwards, if rewritten
};

void PrintTo(const NamingCase& c, std::ostream* os) { *os << c.title; }

class NameLet : public NamingOnFiles, public ::testing::WithParamInterface<NamingCase> {};

TEST_P(NameLet, ReadsTheDeviceListAsTheHostWouldAnswer) {
  const NamingCase& c = GetParam();
  std::string text = "# bench 3\n[devices.AMP]  # under test\n" + c.amp + "\n";
  if (!c.first.empty()) text += "[devices.FIRST]\n" + c.first + "\n";
  const auto path = UseDeviceList(text);

  clsMarlin amp{host::ThreadContext()};
  if (!c.first.empty()) amp.clsDevice_Name_Let("FIRST");
  amp.clsDevice_Status_Let(1);
  trace->reports.clear();

  std::int32_t error = 0;
  try {
    amp.clsDevice_Name_Let("AMP");
  } catch (const MarlinError& e) {
    error = e.Number();
  }

  const auto f = amp.Fields();
  EXPECT_EQ(error, c.error);
  EXPECT_EQ(f.Name, "AMP");
  EXPECT_EQ(f.Interface, c.interfaceCode);
  EXPECT_EQ(f.Address, c.address);
  EXPECT_EQ(f.LanPars.RemoteHost, c.host);
  EXPECT_EQ(f.LanPars.RemotePort, c.port);
  EXPECT_EQ(f.Info.Member4, c.info4);
  EXPECT_EQ(f.VisaResource, c.visa);
  EXPECT_EQ(f.Description, c.description);
  if (c.error == 0) {
    EXPECT_EQ(f.Status, 0);
    EXPECT_TRUE(f.HasKeepAlive);
    EXPECT_TRUE(trace->reports.empty());
  } else {
    EXPECT_EQ(f.Status, 1) << "an error ends Name let before Status is reset";
    EXPECT_EQ(f.HasKeepAlive, !c.first.empty()) << "nor is a keep-alive form made";
    EXPECT_EQ(trace->reports.size(), 2u) << "reported by both procedures";
  }
  if (c.written) {
    EXPECT_EQ(DeviceListFile(path).Device("AMP").lanAddress, *c.written);
    EXPECT_THAT(TempFolder::Read(path), HasSubstr("# bench 3\n[devices.AMP]  # under test\n"));
  } else {
    EXPECT_EQ(TempFolder::Read(path), text) << "the device list is not written";
  }
}

const char* kLanFirst = "interface = 50\nlan_address = \"h1:1234\"\ndescription = \"first\"";

INSTANTIATE_TEST_SUITE_P(
    EdgeCases, NameLet,
    ::testing::Values(
        NamingCase{.title = "host and port",
                   .amp = "interface = 50\nlan_address = \"192.0.2.10:5025\"\ndescription = \"D\"",
                   .interfaceCode = 50,
                   .host = "192.0.2.10",
                   .port = 5025,
                   .info4 = "192.0.2.10:5025",
                   .description = "D"},
        NamingCase{.title = "host without a port keeps its host (mended)",
                   .amp = "interface = 50\nlan_address = \"192.0.2.10\"",
                   .interfaceCode = 50,
                   .host = "192.0.2.10",
                   .port = 5025,
                   .info4 = "192.0.2.10:5025",
                   .written = "192.0.2.10:5025"},
        NamingCase{.title = "empty address gets the placeholder",
                   .amp = "interface = 50\nlan_address = \"\"",
                   .interfaceCode = 50,
                   .host = kPlaceholder,
                   .port = 5025,
                   .info4 = kDefaultInfo4,
                   .written = kDefaultInfo4},
        NamingCase{.title = "no address at all reads as empty",
                   .amp = "interface = 50\ndescription = \"D\"",
                   .interfaceCode = 50,
                   .host = kPlaceholder,
                   .port = 5025,
                   .info4 = kDefaultInfo4,
                   .description = "D",
                   .written = kDefaultInfo4},
        NamingCase{.title = "empty port on a new object gets 5025 (mended)",
                   .amp = "interface = 50\nlan_address = \"h:\"",
                   .interfaceCode = 50,
                   .host = "h",
                   .port = 5025,
                   .info4 = "h:5025"},
        NamingCase{.title = "empty port after another device gets 5025, not its port (mended)",
                   .amp = "interface = 50\nlan_address = \"h:\"",
                   .first = kLanFirst,
                   .interfaceCode = 50,
                   .host = "h",
                   .port = 5025,
                   .info4 = "h:5025"},
        NamingCase{.title = "port that is not a number",
                   .amp = "interface = 50\nlan_address = \"h:abc\"\ndescription = \"D\"",
                   .error = errors::kTypeMismatch,
                   .interfaceCode = 50,
                   .host = "h"},
        NamingCase{.title = "port beyond 32 bits",
                   .amp = "interface = 50\nlan_address = \"h:99999999999\"",
                   .error = errors::kOverflow,
                   .interfaceCode = 50,
                   .host = "h"},
        NamingCase{.title = "pieces after the port are ignored",
                   .amp = "interface = 50\nlan_address = \"h:1:2\"",
                   .interfaceCode = 50,
                   .host = "h",
                   .port = 1,
                   .info4 = "h:1"},
        NamingCase{.title = "fractional port rounds half to even",
                   .amp = "interface = 50\nlan_address = \"h: 6.5 \"",
                   .interfaceCode = 50,
                   .host = "h",
                   .port = 6,
                   .info4 = "h:6"},
        NamingCase{.title = "GPIB address 0",
                   .amp = "interface = 12\naddress = 0",
                   .interfaceCode = 12,
                   .address = 7},
        NamingCase{.title = "GPIB address 30 leaves LAN and VISA alone",
                   .amp = "interface = 10\naddress = 30\nlan_address = \"x:1\"\n"
                          "visa_resource = \"TCPIP0::x::1::SOCKET\"",
                   .first = kLanFirst,
                   .interfaceCode = 10,
                   .address = 30,
                   .host = "h1",
                   .port = 1234,
                   .info4 = "h1:1234"},
        NamingCase{.title = "VISA takes the resource unchanged",
                   .amp = "interface = 60\nvisa_resource = \" TCPIP0::192.0.2.10::5025::SOCKET\"",
                   .first = kLanFirst,
                   .interfaceCode = 60,
                   .host = "h1",
                   .port = 1234,
                   .info4 = "h1:1234",
                   .visa = " TCPIP0::192.0.2.10::5025::SOCKET"}),
    [](const auto& info) {
      std::string name = info.param.title;
      for (char& ch : name) {
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
      }
      return name;
    });

// The file refuses codes that are no route; a host that hands them over still gets the driver's
// own mapping.
TEST_F(NamingOnFiles, CodesThatAreNoRouteAreRefusedByTheFileAndMappedWhenAHostHandsThem) {
  const struct {
    const char* keys;
    std::int32_t handed;  // what a host without the file's checks answers
    std::int32_t interfaceCode, address;
    const char* host;
    std::int32_t port;
  } cases[] = {{"interface = 12\naddress = 31", 12, 12, 7, "", 0},
               {"interface = 20\naddress = 31", 20, 50, 7, kPlaceholder, 5025},
               {"address = 31", 0, 50, 7, kPlaceholder, 5025}};
  for (const auto& c : cases) {
    UseDeviceList(std::string("[devices.AMP]\n") + c.keys + "\ndescription = \"D\"\n");
    clsMarlin refused{host::ThreadContext()};
    const MarlinError e = ErrorOf([&] { refused.clsDevice_Name_Let("AMP"); });
    EXPECT_EQ(e.Number(), host_errors::kBadDeviceList) << c.keys;
    EXPECT_THAT(e.Description(), HasSubstr("devices.AMP.")) << c.keys;

    auto devList = std::make_unique<::testing::NiceMock<MockDevList>>();
    ON_CALL(*devList, GetInterface).WillByDefault(::testing::Return(c.handed));
    ON_CALL(*devList, GetAddress).WillByDefault(::testing::Return(31));
    ON_CALL(*devList, GetDescription).WillByDefault(::testing::Return("D"));
    host::Replace(std::move(devList));
    clsMarlin amp{host::ThreadContext()};
    amp.clsDevice_Name_Let("AMP");
    const auto f = amp.Fields();
    EXPECT_EQ(f.Interface, c.interfaceCode) << c.keys;
    EXPECT_EQ(f.Address, c.address) << c.keys;
    EXPECT_EQ(f.LanPars.RemoteHost, c.host) << c.keys;
    EXPECT_EQ(f.LanPars.RemotePort, c.port) << c.keys;
    EXPECT_EQ(f.Description, "D");
  }
}

TEST_F(NamingOnFiles, ADeviceNotInTheListIsAClearErrorAndChangesNothing) {
  UseDeviceList("[devices.AMP]\ninterface = 50\n");
  clsMarlin amp{host::ThreadContext()};
  const MarlinError e = ErrorOf([&] { amp.clsDevice_Name_Let("AMP9"); });
  EXPECT_EQ(e.Number(), host_errors::kUnknownDevice);
  EXPECT_THAT(e.Description(), HasSubstr("\"AMP9\""));
  EXPECT_THAT(e.Description(), HasSubstr("devices.toml"));
  EXPECT_EQ(amp.Fields().Interface, 0);
  EXPECT_FALSE(amp.Fields().HasKeepAlive);
}

TEST_F(NamingOnFiles, TracesBothProceduresWithTheirLabels) {
  UseDeviceList("[devices.Name]\ninterface = 60\n[devices.AMP]\ninterface = 60\n");
  clsMarlin amp{host::ThreadContext()};
  amp.clsDevice_Name_Let("Name");
  amp.clsDevice_Name_Let("AMP");
  EXPECT_THAT(
      trace->Events(),
      ElementsAre("start:Let clsDevice_Name", "start:clsIAmpRemote_GetParametersFromDevList",
                  "end:clsIAmpRemote_GetParametersFromDeviceList", "end:Let clsDevice_Name",
                  "start:Let clsDevice_Name", "start:clsIAmpRemote_GetParametersFromDevList",
                  "end:clsIAmpRemote_GetParametersFromDeviceList", "end:Let clsDevice_Name"));
  EXPECT_EQ(trace->lines[0].data, "True");
  EXPECT_EQ(trace->lines[4].data, "False");
}

TEST_F(NamingOnFiles, EmptyPortKeepsThePreviousPortOfTheSameDevice) {
  UseDeviceList("[devices.AMP]\ninterface = 50\nlan_address = \"h:6000\"\n");
  clsMarlin amp{host::ThreadContext()};
  amp.clsDevice_Name_Let("AMP");
  folder.Write("devices.toml", "[devices.AMP]\ninterface = 50\nlan_address = \"h2:\"\n");
  amp.clsDevice_Name_Let("AMP");
  EXPECT_EQ(amp.Fields().LanPars.RemoteHost, "h2");
  EXPECT_EQ(amp.Fields().LanPars.RemotePort, 6000);
  EXPECT_EQ(amp.clsDevice_Info().Member4, "h2:6000");
  amp.clsIAmpRemote_GetParametersFromDevList();  // the host may also read the list directly
  EXPECT_EQ(amp.Fields().LanPars.RemotePort, 6000);
}

TEST_F(NamingOnFiles, NamingAgainReadsTheListAgainAndReplacesTheKeepAliveForm) {
  UseDeviceList("[devices.AMP]\ninterface = 12\naddress = 5\n");
  clsMarlin amp{host::ThreadContext()};
  MarlinTestAccess access{amp};
  amp.clsDevice_Name_Let("AMP");
  const std::shared_ptr<frmKeepAlive> firstForm = access.KeepAlive();
  folder.Write("devices.toml", "[devices.AMP]\ninterface = 12\naddress = 6\n");
  amp.clsDevice_Status_Let(1);
  amp.clsDevice_Name_Let("AMP");
  EXPECT_EQ(amp.clsDevice_Address(), 6);
  EXPECT_EQ(amp.clsDevice_Status(), 0);
  EXPECT_NE(access.KeepAlive(), nullptr);
  EXPECT_NE(access.KeepAlive(), firstForm);
}

}  // namespace
}  // namespace marlin::testing
