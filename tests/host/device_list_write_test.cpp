#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <string>
#include <vector>

#include "driver/marlin_error.h"
#include "host/device_list_edit.h"
#include "host/device_list_file.h"
#include "host/file_lock.h"
#include "host/file_system.h"
#include "host/host_errors.h"
#include "host/standalone_host.h"
#include "tests/host/temp_folder.h"

namespace marlin::testing {
namespace {

using ::testing::ElementsAre;
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

// Written as U+FFFD, such an address would not read back as asked: refused, not altered.
TEST(LanAddressWriteBack, RefusesBytesThatAreNotUtf8) {
  EXPECT_THROW(WithLanAddress(kLab, "devices.toml", "AMP1", "caf\xE9:1"), MarlinError);
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
        Edit{"literal string", "[devices.A]\ninterface = 50\nlan_address = 'h'\n", "A", "h:5025",
             "[devices.A]\ninterface = 50\nlan_address = \"h:5025\"\n"},
        Edit{"multi-line string", "[devices.A]\nlan_address = \"\"\"\nh\"\"\"\ninterface = 50\n",
             "A", "h:5025", "[devices.A]\nlan_address = \"h:5025\"\ninterface = 50\n"},
        Edit{"table before a comment and the next table",
             "[devices.A]\ninterface = 50\n# B is new\n[devices.B]\ninterface = 60\n", "A", "x:1",
             "[devices.A]\ninterface = 50\nlan_address = \"x:1\"\n# B is new\n[devices.B]\n"
             "interface = 60\n"},
        Edit{"last line without a line end", "[devices.A]\ninterface = 50", "A", "x:1",
             "[devices.A]\ninterface = 50\nlan_address = \"x:1\"\n"},
        Edit{"Windows line ends", "[devices.A]\r\ninterface = 50\r\n# end\r\n", "A", "x:1",
             "[devices.A]\r\ninterface = 50\r\nlan_address = \"x:1\"\r\n# end\r\n"},
        Edit{"inline table", "devices = { A = { interface = 50 }, B = { interface = 60 } }\n", "A",
             "x:1",
             "devices = { A = { interface = 50, lan_address = \"x:1\" }, B = { interface = 60 } "
             "}\n"},
        Edit{"characters of several bytes before the value on its line",
             "devices = { A = { description = \"caf\u00e9 \u20ac\", lan_address = 'h', interface = "
             "50 } }\n",
             "A", "x:1",
             "devices = { A = { description = \"caf\u00e9 \u20ac\", lan_address = \"x:1\", "
             "interface = 50 } }\n"},
        Edit{"byte order mark",
             "\xEF\xBB\xBF"
             "devices = { A = { interface = 50 } }\n",
             "A", "x:1",
             "\xEF\xBB\xBF"
             "devices = { A = { interface = 50, lan_address = \"x:1\" } }\n"},
        Edit{"inline table in a devices table", "[devices]\nA = { interface = 50 }  # later\n", "A",
             "x:1", "[devices]\nA = { interface = 50, lan_address = \"x:1\" }  # later\n"},
        Edit{"quoted device name and text that needs escapes",
             "[devices.\"amp \\\"7\\\"\"]\ninterface = 50\nlan_address = \"\"\n", "amp \"7\"",
             "a\"b\\c\td",
             "[devices.\"amp \\\"7\\\"\"]\ninterface = 50\nlan_address = \"a\\\"b\\\\c\\td\"\n"},
        Edit{"control character and DEL", "[devices.A]\ninterface = 50\n", "A", "x\x01\x7f:1",
             "[devices.A]\ninterface = 50\nlan_address = \"x\\u0001\\u007f:1\"\n"}),
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
      {"[devices.A]\ninterface = 50\n", "B", host_errors::kUnknownDevice,
       "\"B\" is not in the device list"},
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

  DeviceListFile(path).SetLanAddress("AMP2", "192.0.2.11:5025");
  EXPECT_EQ(folder.Entries(), 1u) << "the next writer removes what the killed one left";
  EXPECT_EQ(DeviceListFile(path).Device("AMP2").lanAddress, "192.0.2.11:5025");
}

// Does what the operating system does, and writes down each call with the file it concerns.
class RecordingFileSystem final : public FileSystem {
 public:
  std::vector<std::string> calls;

  Handle CreateTemporary(const std::filesystem::path& folder, const std::string& prefix,
                         std::filesystem::path& created) override {
    const Handle file = real_.CreateTemporary(folder, prefix, created);
    temporary_ = created;
    calls.push_back("create");
    return file;
  }
  void CopyOwnerAndMode(Handle file, const std::filesystem::path& temporary,
                        const std::filesystem::path& original) override {
    real_.CopyOwnerAndMode(file, temporary, original);
    calls.push_back("owner");
  }
  void GiveNewFileMode(Handle file, const std::filesystem::path& temporary) override {
    real_.GiveNewFileMode(file, temporary);
    calls.push_back("mode");
  }
  void Write(Handle file, const std::filesystem::path& temporary,
             std::string_view contents) override {
    real_.Write(file, temporary, contents);
    calls.push_back("write");
  }
  void Flush(Handle file, const std::filesystem::path& temporary) override {
    real_.Flush(file, temporary);
    calls.push_back("flush");
  }
  void Sync(Handle file, const std::filesystem::path& temporary) override {
    real_.Sync(file, temporary);
    calls.push_back("fsync");
  }
  bool Close(Handle file) override {
    calls.push_back("close");
    return real_.Close(file);
  }
  void Rename(const std::filesystem::path& from, const std::filesystem::path& to) override {
    // What a crash at this moment would leave: the new contents complete under the old name.
    calls.push_back(from == temporary_ && TempFolder::Read(from) == expected
                        ? "rename complete file"
                        : "rename");
    real_.Rename(from, to);
  }
  void SyncFolder(const std::filesystem::path& folder) override {
    real_.SyncFolder(folder);
    calls.push_back("fsync folder");
  }
  bool Remove(const std::filesystem::path& file) override {
    calls.push_back("remove");
    return real_.Remove(file);
  }

  std::string expected;

 private:
  FileSystem& real_ = RealFileSystem();
  std::filesystem::path temporary_;
};

TEST(DeviceListFileWrite, WritesFlushesSyncsAndClosesBeforeTheRenameThenSyncsTheFolder) {
  TempFolder folder;
  const auto path = folder.Write("devices.toml", kLab);
  RecordingFileSystem recorder;
  recorder.expected = Replaced(kLab, "\"192.0.2.10\"", "\"192.0.2.10:5025\"");
  EditFile(
      path, kLargestDeviceList,
      [](const std::string& current) {
        return WithLanAddress(current, "devices.toml", "AMP1", "192.0.2.10:5025");
      },
      {}, recorder);
  EXPECT_THAT(recorder.calls, ElementsAre("create", "owner", "write", "flush", "fsync", "close",
                                          "rename complete file", "fsync folder"));
  EXPECT_EQ(TempFolder::Read(path), recorder.expected);

  RecordingFileSystem failing;
  EXPECT_THROW(EditFile(
                   path, kLargestDeviceList,
                   [](const std::string&) -> std::string {
                     throw MarlinError(errors::kFileAccess, "edit refused");
                   },
                   {}, failing),
               MarlinError);
  EXPECT_THAT(failing.calls, ElementsAre()) << "nothing is created for an edit that fails";
}

TEST(DeviceListFileWrite, AnEditStartsFromTheFileAsItIsNowNotAsItWasRead) {
  TempFolder folder;
  const auto path = folder.Write("devices.toml", kLab);
  DeviceListFile file(path);
  EXPECT_EQ(file.Device("AMP2").address, 7);
  const std::string handEdited = Replaced(kLab, "address = 7", "address = 9  # moved by Kim");
  folder.Write("devices.toml", handEdited);

  file.SetLanAddress("AMP1", "192.0.2.10:5025");

  EXPECT_EQ(TempFolder::Read(path), Replaced(handEdited, "\"192.0.2.10\"", "\"192.0.2.10:5025\""));
  EXPECT_EQ(file.Device("AMP2").address, 9);
}

// Edits in a row start from what the last one wrote, not from places found in an older text.
TEST(DeviceListFileWrite, EditsInARowEachLandWhereAFreshReadingPutsThem) {
  TempFolder folder;
  const auto path = folder.Write("devices.toml", kLab);
  DeviceListFile file(path);
  EXPECT_EQ(file.Device("AMP1").lanAddress, "192.0.2.10");
  std::string expected = kLab;
  const std::pair<const char*, const char*> edits[] = {
      {"AMP1", "192.0.2.10:5025"},
      {"AMP2", "192.0.2.20:5025"},
      {"AMP1", "h:1"},
      {"AMP2", "a-much-longer-host-name.example:5025"},
      {"AMP1", "192.0.2.11:5025"}};
  for (const auto& [device, address] : edits) {
    file.SetLanAddress(device, address);
    expected = WithLanAddress(expected, "devices.toml", device, address);
    ASSERT_EQ(TempFolder::Read(path), expected) << device << " " << address;
    EXPECT_EQ(file.Device(device).lanAddress, address);
  }
  EXPECT_EQ(file.Device("AMP2").address, 7);
}

// Another writer renames its list over this one between the open and the lock: the lock then
// holds a file no name leads to, and is taken again on the file that replaced it.
TEST(FileLock, CountsOnlyOnTheFileTheNameStillLeadsTo) {
  TempFolder folder;
  const auto path = folder.Write("devices.toml", kLab);
  int opened = 0;
  const FileLock lock(path, std::chrono::seconds(1), [&] {
    if (++opened == 1) std::filesystem::rename(folder.Write("other.toml", kLab), path);
  });
  EXPECT_EQ(opened, 2);
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  EXPECT_NE(::flock(fd, LOCK_EX | LOCK_NB), 0) << "the file the name leads to is not locked";
  ::close(fd);
}

std::string RefusalOf(const std::filesystem::path& path) {
  try {
    DeviceListFile(path).SetLanAddress("AMP1", "192.0.2.10:5025");
  } catch (const MarlinError& e) {
    EXPECT_EQ(e.Number(), errors::kFileAccess);
    EXPECT_THAT(e.Description(), HasSubstr(path.filename().string()));
    return e.Description();
  }
  ADD_FAILURE() << "the write-back was not refused";
  return {};
}

TEST(DeviceListFileWrite, AReadOnlyListIsRefusedAndLeftAsItWas) {
  TempFolder folder;
  const auto path = folder.Write("devices.toml", kLab);
  ASSERT_EQ(::chmod(path.c_str(), 0444), 0);

  EXPECT_THAT(RefusalOf(path), HasSubstr("read-only"));

  EXPECT_EQ(TempFolder::Read(path), kLab);
  EXPECT_EQ(std::filesystem::status(path).permissions(), std::filesystem::perms::owner_read |
                                                             std::filesystem::perms::group_read |
                                                             std::filesystem::perms::others_read);
  EXPECT_EQ(folder.Entries(), 1u);
}

TEST(DeviceListFileWrite, AHardLinkedListIsRefusedRatherThanSplit) {
  TempFolder folder;
  const auto path = folder.Write("devices.toml", kLab);
  const auto other = folder.Path() / "bench3.toml";
  std::filesystem::create_hard_link(path, other);

  EXPECT_THAT(RefusalOf(path), HasSubstr("2 hard links"));

  EXPECT_EQ(std::filesystem::hard_link_count(path), 2u);
  EXPECT_EQ(TempFolder::Read(path), kLab);
}

TEST(DeviceListFileWrite, ARewriteKeepsTheOwner) {
  if (::geteuid() != 0) GTEST_SKIP() << "only an administrator can give a file to another user";
  TempFolder folder;
  const auto path = folder.Write("devices.toml", kLab);
  ASSERT_EQ(::chown(path.c_str(), 4321, 4322), 0);

  DeviceListFile(path).SetLanAddress("AMP1", "192.0.2.10:5025");

  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, 4321u);
  EXPECT_EQ(info.st_gid, 4322u);
  EXPECT_EQ(DeviceListFile(path).Device("AMP1").lanAddress, "192.0.2.10:5025");
}

TEST(DeviceListFileWrite, TheTraceFileCannotBeTheDeviceListUnderAnyName) {
  TempFolder folder;
  const auto path = folder.Write("devices.toml", kLab);
  const auto hardLink = folder.Path() / "trace.jsonl";
  std::filesystem::create_hard_link(path, hardLink);
  const auto symbolic = folder.Path() / "link.jsonl";
  std::filesystem::create_symlink(path, symbolic);
  for (const auto& trace : {path, hardLink, symbolic, folder.Path() / "." / "devices.toml"}) {
    StandaloneHostConfig config;
    config.deviceList = path;
    config.traceFile = trace;
    try {
      StandaloneHostFactory factory(config);
      ADD_FAILURE() << trace;
    } catch (const MarlinError& e) {
      EXPECT_EQ(e.Number(), errors::kFileAccess);
      EXPECT_THAT(e.Description(), HasSubstr("is the device list"));
      EXPECT_THAT(e.Description(), HasSubstr(trace.string()));
    }
  }
  EXPECT_EQ(TempFolder::Read(path), kLab);

  StandaloneHostConfig apart;
  apart.deviceList = path;
  apart.traceFile = folder.Path() / "apart.jsonl";
  EXPECT_NO_THROW(StandaloneHostFactory{apart});
}

}  // namespace
}  // namespace marlin::testing
