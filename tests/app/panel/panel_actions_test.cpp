// The panel's actions through HTTP against the simulator on every route, the events every open
// page receives while they run, and a device that is busy.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <future>

#include "tests/app/panel/panel_fixture.h"

namespace marlin::testing {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using ::testing::Not;
using ::testing::StartsWith;

const std::vector<std::string> kPA4520{"--model",        "PA4520", "--power",        "on",
                                       "--gateway-port", "0",      "--gpib-address", "3"};
// A second device nobody listens for: its connection fails at once.
const std::string kUnplugged =
    "\n[devices.SPARE]\ninterface = 50\nlan_address = \"127.0.0.1:1\"\ndescription = \"Spare\"\n";
const std::string kOperateBand2 =
    R"({"state": 3, "bandpath": 2, "outputmode": 0, "operatingclass": 0})";

class PanelActions : public ::testing::TestWithParam<TestRoute> {
 protected:
  TempFolder folder;
  SimProcess sim{kPA4520, folder.Path() / "transcript.jsonl"};
  PanelProcess panel{folder,
                     DeviceListFor(GetParam(), sim) + kUnplugged,
                     {"--trace", (folder.Path() / "trace.jsonl").string()}};
  std::unique_ptr<httplib::Client> client = panel.Client();
};

TEST_P(PanelActions, EveryActionAnswersWhenItHasEndedAndTheListShowsItsResult) {
  nlohmann::json amp = Device(*client, "AMP1");
  EXPECT_EQ(amp["description"], "Bench amplifier");
  EXPECT_EQ(amp["status"], 0);
  EXPECT_TRUE(amp["state"].is_null());
  EXPECT_TRUE(amp["lastError"].is_null());
  EXPECT_EQ(amp["busy"], false);
  EXPECT_EQ(amp["interface"], GetParam() == TestRoute::Lan    ? 50
                              : GetParam() == TestRoute::Visa ? 60
                                                              : 10);
  // Nothing reaches the amplifier before someone asks.
  EXPECT_TRUE(sim.Received().empty());

  Answer connect = Post(*client, "AMP1", "connect");
  EXPECT_EQ(connect.status, 200);
  EXPECT_EQ(connect.body["ok"], true) << connect.body;
  amp = Device(*client, "AMP1");
  EXPECT_EQ(amp["status"], 1);
  EXPECT_EQ(amp["model"], "PA4520");
  // One form on every route, though GPIB keeps the whole answer and the others split it.
  EXPECT_THAT(amp["identification"].get<std::string>(),
              MatchesRegex("PA4520, serial 100001, SW:[0-9.]+"));
  EXPECT_EQ(amp["serial"], "100001");
  EXPECT_TRUE(amp["state"].is_number()) << amp;

  EXPECT_EQ(Post(*client, "AMP1", "initialize").body["ok"], true);
  const Answer operate = Post(*client, "AMP1", "state", kOperateBand2);
  EXPECT_EQ(operate.body["ok"], true) << operate.body;
  EXPECT_EQ(operate.body["state"], 3);
  amp = Device(*client, "AMP1");
  EXPECT_EQ(amp["state"], 3);
  EXPECT_EQ(amp["bandPath"], 2);
  EXPECT_THAT(Texts(sim.Received()), Contains("RF:BAND:PATH 2"));
  // A switch that names no band path leaves the one the page offers next as it was.
  EXPECT_EQ(Post(*client, "AMP1", "state", R"({"state": 2})").body["ok"], true);
  EXPECT_EQ(Device(*client, "AMP1")["inputs"]["bandpath"], 2);

  EXPECT_THAT(sim.Console("fault error=-222:Undefined"), HasSubstr("set"));
  const Answer errors = Post(*client, "AMP1", "errors");
  EXPECT_EQ(errors.body["ok"], true) << errors.body;
  ASSERT_EQ(errors.body["errors"].size(), 1u) << errors.body;
  EXPECT_THAT(errors.body["errors"][0].get<std::string>(), HasSubstr("-222"));
  EXPECT_EQ(Post(*client, "AMP1", "resetfault").body["ok"], true);
  EXPECT_THAT(Texts(sim.Received()), Contains("*CLS"));

  const httplib::Result timeline = client->Get("/api/timeline");
  ASSERT_TRUE(timeline);
  EXPECT_EQ(timeline->status, 200);
  EXPECT_THAT(timeline->body, HasSubstr("<svg"));
  EXPECT_EQ(timeline->get_header_value("Content-Type"), "image/svg+xml");

  EXPECT_EQ(Post(*client, "AMP1", "disconnect").body["ok"], true);
  amp = Device(*client, "AMP1");
  EXPECT_EQ(amp["status"], 0);
  EXPECT_TRUE(amp["state"].is_null());

  // The trace file holds exactly what the page's timeline was drawn from.
  EXPECT_THAT(TempFolder::Read(folder.Path() / "trace.jsonl"), HasSubstr("clsIAmpRemote_SetState"));
  EXPECT_EQ(panel.End(SIGTERM), 0);
}

TEST_P(PanelActions, AFailedActionAnswersTheErrorAndKeepsItAsTheLastError) {
  const Answer spare = Post(*client, "SPARE", "connect");
  EXPECT_EQ(spare.status, 200);
  EXPECT_FALSE(spare.body.contains("ok"));
  EXPECT_EQ(spare.body["error"]["number"], 4040);
  EXPECT_THAT(spare.body["error"]["description"].get<std::string>(),
              HasSubstr("not connected over LAN 127.0.0.1:1"));
  EXPECT_EQ(Device(*client, "SPARE")["lastError"]["number"], 4040);

  const nlohmann::json error = Device(*client, "SPARE")["lastError"];
  EXPECT_EQ(error["number"], 4040);
  // The innermost text first, without the prefixes of the handlers it went through.
  EXPECT_THAT(error["text"].get<std::string>(), StartsWith("not connected over LAN"));
  EXPECT_FALSE(error["at"].get<std::string>().empty());

  // What needs a connection is refused before the driver, which would send nothing and say ok.
  for (const auto& [action, body] :
       std::vector<std::pair<std::string, std::string>>{{"initialize", ""},
                                                        {"resetfault", ""},
                                                        {"errors", ""},
                                                        {"read", ""},
                                                        {"state", kOperateBand2}}) {
    const Answer refused = Post(*client, "AMP1", action, body);
    EXPECT_EQ(refused.status, 409) << action;
    EXPECT_EQ(refused.body["error"], "AMP1 is not connected") << action;
  }
  EXPECT_TRUE(sim.Received().empty());
}

TEST_P(PanelActions, TheCardShowsWhatTheAmplifierReadsBackAfterAFailureAndALostLink) {
  EventStream events(panel);
  ASSERT_EQ(Post(*client, "AMP1", "connect").body["ok"], true);
  auto operate = std::async(std::launch::async, [&] {
    auto own = panel.Client();
    return Post(*own, "AMP1", "state", kOperateBand2);
  });
  // The amplifier trips while it switches: RF off, a latched fault.
  ASSERT_TRUE(events.WaitFor([](const PanelEvent& e) {
    return e.type == "wait" && e.data["wait"]["what"].get<std::string>().find(
                                   "waiting for Operate to be confirmed") != std::string::npos;
  }));
  EXPECT_THAT(sim.Console("fault fault=-300:Overtemperature"), HasSubstr("set"));
  const Answer failed = operate.get();
  ASSERT_TRUE(failed.body.contains("error")) << failed.body;
  EXPECT_EQ(failed.body["state"], 4);
  nlohmann::json amp = Device(*client, "AMP1");
  EXPECT_EQ(amp["state"], 4) << amp;
  EXPECT_EQ(amp["connected"], true);
  EXPECT_THAT(amp["fault"].dump(), HasSubstr("-300"));
  // The band path is read with the state; a Fault answers before it is asked.
  EXPECT_TRUE(amp["bandPath"].is_null());
  EXPECT_EQ(amp["inputs"]["bandpath"], 2);

  const Answer errors = Post(*client, "AMP1", "errors");
  ASSERT_EQ(errors.body["errors"].size(), 1u) << errors.body;
  EXPECT_EQ(errors.body["repeats"], true);
  EXPECT_EQ(Post(*client, "AMP1", "resetfault").body["state"], 0);

  // The amplifier goes: the next action finds the link gone and says so.
  sim.Console("quit");
  const Answer read = Post(*client, "AMP1", "read");
  EXPECT_EQ(read.body["connected"], false) << read.body;
  amp = Device(*client, "AMP1");
  EXPECT_EQ(amp["connected"], false);
  EXPECT_EQ(amp["linkLost"], true);
  EXPECT_TRUE(amp["state"].is_null());
  EXPECT_EQ(Post(*client, "AMP1", "state", kOperateBand2).status, 409);

  const httplib::Result log = client->Get("/api/devices/AMP1/log");
  ASSERT_TRUE(log);
  const nlohmann::json outcomes = nlohmann::json::parse(log->body);
  ASSERT_EQ(outcomes.size(), 5u) << outcomes;
  EXPECT_EQ(outcomes[1]["action"], "state");
  EXPECT_EQ(outcomes[1]["error"]["number"], failed.body["error"]["number"]);
}

TEST_P(PanelActions, AllRfOffWaitsForTheRunningSwitchThenSwitchesEveryAmplifierWithRfOn) {
  EventStream events(panel);
  ASSERT_EQ(Post(*client, "AMP1", "connect").body["ok"], true);
  auto operate = std::async(std::launch::async, [&] {
    auto own = panel.Client();
    return Post(*own, "AMP1", "state", kOperateBand2);
  });
  ASSERT_TRUE(events.WaitFor([](const PanelEvent& e) {
    return e.type == "device" && e.data["name"] == "AMP1" && e.data["action"] == "state";
  }));
  const httplib::Result off = client->Post("/api/rf-off");
  EXPECT_EQ(operate.get().body["state"], 3);
  ASSERT_TRUE(off);
  ASSERT_EQ(off->status, 200);
  const nlohmann::json results = nlohmann::json::parse(off->body)["results"];
  ASSERT_EQ(results.size(), 2u) << results;
  EXPECT_EQ(results[0]["device"], "AMP1");
  EXPECT_EQ(results[0]["ok"], true) << results[0];
  EXPECT_EQ(results[0]["state"], 0);
  EXPECT_EQ(results[1]["note"], "not connected");
  EXPECT_THAT(Texts(sim.Received()), Contains("RF:OUTP:STAT OFF"));
}

TEST_P(PanelActions, TwoPagesSeeTheSameProgressAndABusyDeviceRefusesASecondAction) {
  EventStream first(panel), second(panel);
  ASSERT_EQ(Post(*client, "AMP1", "connect").body["ok"], true);

  auto operate = std::async(std::launch::async, [&] {
    auto own = panel.Client();
    return Post(*own, "AMP1", "state", kOperateBand2);
  });
  ASSERT_TRUE(first.WaitFor([](const PanelEvent& e) {
    return e.type == "device" && e.data["name"] == "AMP1" && e.data["busy"] == true &&
           e.data["action"] == "state";
  }));
  const Answer refused = Post(*client, "AMP1", "connect");
  EXPECT_EQ(refused.status, 409);
  EXPECT_THAT(refused.body["message"].get<std::string>(), HasSubstr("busy"));
  // Another device is free meanwhile.
  EXPECT_NE(Post(*client, "SPARE", "connect").status, 409);

  const Answer done = operate.get();
  EXPECT_EQ(done.body["ok"], true) << done.body;
  const auto outcome = [](const PanelEvent& e) {
    return e.type == "outcome" && e.data["device"] == "AMP1" && e.data["action"] == "state";
  };
  ASSERT_TRUE(first.WaitFor(outcome));
  ASSERT_TRUE(second.WaitFor(outcome));

  const auto waits = [](const EventStream& stream) {
    std::vector<nlohmann::json> seen;
    for (const PanelEvent& e : stream.Events()) {
      if (e.type == "wait" && e.data["device"] == "AMP1") seen.push_back(e.data);
    }
    return seen;
  };
  const std::vector<nlohmann::json> progress = waits(first);
  EXPECT_EQ(progress, waits(second));
  const auto what = [](const char* text) {
    return ::testing::Truly([text](const nlohmann::json& w) {
      return w["wait"]["what"].get<std::string>().find(text) != std::string::npos;
    });
  };
  EXPECT_THAT(progress, Contains(what("waiting for the band path to switch")));
  EXPECT_THAT(progress, Contains(what("waiting for Operate to be confirmed")));
  for (const nlohmann::json& w : progress) {
    EXPECT_TRUE(w["wait"]["limitMs"].is_number()) << w;
    EXPECT_GE(w["wait"]["elapsedMs"].get<double>(), 0) << w;
  }
  // The PA4520's wait window opened in the page and closed again.
  const auto window = [](bool visible) {
    return [visible](const PanelEvent& e) {
      return e.type == "device" && e.data["window"]["visible"] == visible &&
             e.data["window"]["label"] == "OPERATE";
    };
  };
  EXPECT_TRUE(second.WaitFor(window(true)));
  EXPECT_TRUE(second.WaitFor(window(false)));
}

TEST_P(PanelActions, StopInThePageClosesTheWaitWindowWhileTheAmplifierSwitches) {
  EventStream events(panel);
  ASSERT_EQ(Post(*client, "AMP1", "connect").body["ok"], true);
  auto operate = std::async(std::launch::async, [&] {
    auto own = panel.Client();
    return Post(*own, "AMP1", "state", kOperateBand2);
  });
  ASSERT_TRUE(events.WaitFor([](const PanelEvent& e) {
    return e.type == "device" && e.data["window"]["visible"] == true;
  }));
  EXPECT_EQ(Post(*client, "AMP1", "stop").body["ok"], true);
  EXPECT_EQ(operate.get().body["ok"], true);
  // The window closed while the amplifier still switched: the form heard STOP, not the end.
  const std::vector<PanelEvent> seen = events.Events();
  const auto window = [](bool visible) {
    return [visible](const PanelEvent& e) {
      return e.type == "device" && e.data["window"]["visible"] == visible;
    };
  };
  const auto closed =
      std::find_if(std::find_if(seen.begin(), seen.end(), window(true)), seen.end(), window(false));
  ASSERT_NE(closed, seen.end());
  EXPECT_TRUE(std::any_of(closed, seen.end(), [](const PanelEvent& e) {
    const std::string what = e.type == "wait" ? e.data["wait"]["what"].get<std::string>() : "";
    return what.find("waiting for the band path to switch") != std::string::npos ||
           what.find("to be confirmed") != std::string::npos;
  }));
}

std::string RouteName(const ::testing::TestParamInfo<TestRoute>& info) {
  switch (info.param) {
    case TestRoute::Lan:
      return "Lan";
    case TestRoute::Visa:
      return "Visa";
    case TestRoute::Gpib:
      return "Gpib";
  }
  return "Route";
}

INSTANTIATE_TEST_SUITE_P(Routes, PanelActions,
                         ::testing::Values(TestRoute::Lan, TestRoute::Visa, TestRoute::Gpib),
                         RouteName);

class PanelPolling : public ::testing::TestWithParam<TestRoute> {
 protected:
  TempFolder folder;
  SimProcess sim{kPA4520, folder.Path() / "transcript.jsonl"};
  PanelProcess panel{folder, DeviceListFor(GetParam(), sim), {"--poll", "0.1"}};
};

TEST_P(PanelPolling, AFrontPanelChangeAndALostLinkReachThePageWithoutAnyAction) {
  EventStream events(panel);
  auto client = panel.Client();
  ASSERT_EQ(Post(*client, "AMP1", "connect").body["ok"], true);
  const std::size_t afterConnect = sim.Received().size();
  int polls = 0;
  EXPECT_TRUE(events.WaitFor([&](const PanelEvent& e) {
    if (e.type == "outcome") polls = 0;  // count the views published after the connection
    if (e.type == "device" && e.data["busy"] == false && e.data["status"] == 1) ++polls;
    return polls >= 4;
  }));
  // Each poll is a state query of its own.
  const std::vector<std::string> sent = Texts(sim.Received());
  EXPECT_GE(std::count(sent.begin() + static_cast<std::ptrdiff_t>(afterConnect), sent.end(),
                       "RF:BAND:PATH?"),
            3);

  sim.Console("fault fault=-300:Overtemperature");
  EXPECT_TRUE(events.WaitFor(
      [](const PanelEvent& e) { return e.type == "device" && e.data["state"] == 4; }));
  sim.Console("quit");
  EXPECT_TRUE(events.WaitFor([](const PanelEvent& e) {
    return e.type == "device" && e.data["linkLost"] == true && e.data["connected"] == false;
  }));
}

INSTANTIATE_TEST_SUITE_P(Routes, PanelPolling,
                         ::testing::Values(TestRoute::Lan, TestRoute::Visa, TestRoute::Gpib),
                         RouteName);

TEST(PanelProcessTest, WarnsWhenListeningBeyondLoopbackAndEndsCleanlyOnSigint) {
  TempFolder folder;
  PanelProcess panel(folder, kUnplugged, {"--bind", "0.0.0.0"});
  EXPECT_EQ(Devices(*panel.Client()).size(), 1u);
  EXPECT_EQ(panel.End(SIGINT), 0);
  EXPECT_THAT(panel.Process().Stderr(), HasSubstr("warning: listening on 0.0.0.0"));
  EXPECT_THAT(panel.Process().Stdout(), Not(HasSubstr("\n\n")));
}

// The panel with AMP1 on LAN, in Operate on band path 2 and switching again.
class PanelShutdown : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(Post(*client, "AMP1", "connect").body["ok"], true);
    ASSERT_EQ(Post(*client, "AMP1", "state", kOperateBand2).body["state"], 3);
  }
  // `hangs`: the band path never arrives, so the switch runs until the driver gives up.
  void Switch(bool hangs) {
    if (hangs) sim.Console("fault band-stuck");
    switching = std::async(std::launch::async, [this] {
      auto own = panel.Client();
      return own->Post("/api/devices/AMP1/state", R"({"state": 3, "bandpath": 5})",
                       "application/json");
    });
    ASSERT_TRUE(events.WaitFor([](const PanelEvent& e) {
      return e.type == "device" && e.data["action"] == "state" && e.data["inputs"]["bandpath"] == 5;
    }));
  }
  void Signal(int signal) {
    panel.Signal(signal);
    const std::optional<std::string> line = panel.ReadLine();
    EXPECT_THAT(line.value_or(""), HasSubstr("stopping")) << panel.Process().Stderr();
  }

  TempFolder folder;
  SimProcess sim{kPA4520, folder.Path() / "transcript.jsonl"};
  PanelProcess panel{folder, DeviceListFor(TestRoute::Lan, sim) + kUnplugged};
  std::unique_ptr<httplib::Client> client = panel.Client();
  EventStream events{panel};
  std::future<httplib::Result> switching;
};

TEST_F(PanelShutdown, TheFirstSignalLetsTheRunningSwitchEndAndNamesTheAmplifiersLeftWithRfOn) {
  Switch(false);
  Signal(SIGINT);
  EXPECT_EQ(Post(*client, "SPARE", "connect").status, 503);
  EXPECT_EQ(panel.End(0), 0);  // no second signal: it ends by itself
  const httplib::Result switched = switching.get();
  ASSERT_TRUE(switched);
  EXPECT_EQ(nlohmann::json::parse(switched->body)["state"], 3) << switched->body;
  EXPECT_THAT(panel.Process().Stdout(),
              HasSubstr("AMP1 was left with RF on (Operate, band path 5)"));
  EXPECT_THAT(panel.Process().Stdout(), Not(HasSubstr("SPARE")));
}

TEST_F(PanelShutdown, ASecondSignalEndsThePanelWithoutWaitingForTheSwitch) {
  Switch(true);
  Signal(SIGTERM);
  EXPECT_EQ(panel.End(SIGTERM), 128 + SIGTERM);
  EXPECT_THAT(panel.Process().Stderr(), HasSubstr("second signal"));
  // The switch was still running: its request never got an answer.
  EXPECT_FALSE(switching.get());
}

TEST(PanelProcessTest, EachDeviceKeepsItsLastFiftyOutcomes) {
  TempFolder folder;
  PanelProcess panel(folder, kUnplugged);
  auto client = panel.Client();
  for (int i = 0; i < 51; ++i) ASSERT_EQ(Post(*client, "SPARE", "disconnect").status, 200);
  ASSERT_EQ(Post(*client, "SPARE", "connect").status, 200);
  const nlohmann::json log = nlohmann::json::parse(client->Get("/api/devices/SPARE/log")->body);
  ASSERT_EQ(log.size(), 50u);
  EXPECT_EQ(log.front()["action"], "disconnect");
  EXPECT_EQ(log.back()["action"], "connect");
}

TEST(PanelProcessTest, AnIpv6AddressIsPrintedInBracketsSoThatItOpens) {
  TempFolder folder;
  ChildProcess panel({kMarlinctl, "panel", "--devices",
                      folder.Write("devices.toml", kUnplugged).string(), "--port", "0", "--bind",
                      "::1"});
  const std::string line = panel.ReadLine(std::chrono::seconds(20)).value_or("");
  if (line.empty() && panel.Stderr().find("cannot listen") != std::string::npos) {
    GTEST_SKIP() << "no IPv6 loopback here";
  }
  EXPECT_THAT(line, StartsWith("marlinctl panel: http://[::1]:"));
  panel.Signal(SIGTERM);
  EXPECT_EQ(panel.Finish(std::chrono::seconds(20)), 0);
  EXPECT_THAT(panel.Stderr(), Not(HasSubstr("warning")));  // loopback too
}

TEST(PanelProcessTest, TokensDifferFromRunToRun) {
  TempFolder folder;
  PanelProcess one(folder, kUnplugged), two(folder, kUnplugged);
  EXPECT_EQ(one.Token().size(), 32u);
  EXPECT_NE(one.Token(), two.Token());
  EXPECT_THAT(one.Process().Stderr(), Not(HasSubstr("warning")));
}

}  // namespace
}  // namespace marlin::testing
