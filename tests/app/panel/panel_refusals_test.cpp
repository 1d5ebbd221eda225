// Requests the panel refuses: each answer's status and message, nothing of them reaching the
// amplifier, and the panel still serving afterwards.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/app/panel/panel_fixture.h"

namespace marlin::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;
using namespace std::chrono_literals;

struct Refusal {
  const char* name;
  const char* method;
  std::string path;
  std::string body;
  httplib::Headers headers;  // beside the token, unless it replaces it
  bool token;
  int status;
  const char* message;
};

std::string Big() { return "{\"state\": 3, \"bandpath\": 2" + std::string(20000, ' ') + "}"; }

const std::vector<Refusal>& Refusals() {
  static const std::vector<Refusal> refusals{
      {"NoToken", "GET", "/api/devices", "", {}, false, 401, "token"},
      {"WrongToken",
       "GET",
       "/api/devices",
       "",
       {{"X-Marlin-Token", "0123456789abcdef"}},
       false,
       401,
       "token"},
      {"TokenInTheQueryOutsideEvents",
       "GET",
       "/api/devices?token=TOKEN",
       "",
       {},
       false,
       401,
       "token"},
      {"NoTokenForAnAction", "POST", "/api/devices/AMP1/connect", "", {}, false, 401, "token"},
      // Neither a token that goes on nor one that stops short is compared as far as it goes.
      {"TokenWithACharacterAdded",
       "GET",
       "/api/devices",
       "",
       {{"X-Marlin-Token", "TOKEN0"}},
       false,
       401,
       "token"},
      {"TokenWithItsLastCharacterDropped",
       "POST",
       "/api/devices/AMP1/connect",
       "",
       {{"X-Marlin-Token", "SHORTTOKEN"}},
       false,
       401,
       "token"},
      {"EventsTokenWithACharacterAdded",
       "GET",
       "/api/events?token=TOKEN0",
       "",
       {},
       false,
       401,
       "token"},
      {"EventsTokenWithItsLastCharacterDropped",
       "GET",
       "/api/events?token=SHORTTOKEN",
       "",
       {},
       false,
       401,
       "token"},
      {"NoTokenForEvents", "GET", "/api/events", "", {}, false, 401, "token"},
      {"WrongTokenForEvents", "GET", "/api/events?token=nope", "", {}, false, 401, "token"},
      {"ForeignHost",
       "GET",
       "/api/devices",
       "",
       {{"Host", "attacker.example:PORT"}},
       true,
       403,
       "Host"},
      {"ForeignHostForThePage", "GET", "/", "", {{"Host", "attacker.example"}}, true, 403, "Host"},
      {"ForeignOrigin",
       "POST",
       "/api/devices/AMP1/connect",
       "",
       {{"Origin", "http://attacker.example"}},
       true,
       403,
       "origin"},
      {"OriginOnAnotherPort",
       "GET",
       "/api/devices",
       "",
       {{"Origin", "http://127.0.0.1:1"}},
       true,
       403,
       "origin"},
      {"UnknownDevice", "POST", "/api/devices/NOPE/connect", "", {}, true, 404, "no device"},
      {"UnknownAction", "POST", "/api/devices/AMP1/explode", "", {}, true, 404, "explode"},
      {"NotJson", "POST", "/api/devices/AMP1/state", "{state: 3}", {}, true, 400, "at byte 2"},
      {"NotAnObject", "POST", "/api/devices/AMP1/state", "[3]", {}, true, 400, "not a JSON object"},
      {"StateMissing",
       "POST",
       "/api/devices/AMP1/state",
       R"({"bandpath": 2})",
       {},
       true,
       400,
       "\"state\" is missing"},
      {"StateTooHigh",
       "POST",
       "/api/devices/AMP1/state",
       R"({"state": 4})",
       {},
       true,
       400,
       "from 0 to 3"},
      {"StateNegative",
       "POST",
       "/api/devices/AMP1/state",
       R"({"state": -1})",
       {},
       true,
       400,
       "from 0 to 3"},
      {"StateAsText",
       "POST",
       "/api/devices/AMP1/state",
       R"({"state": "3"})",
       {},
       true,
       400,
       "whole number"},
      {"StateFractional",
       "POST",
       "/api/devices/AMP1/state",
       R"({"state": 2.5})",
       {},
       true,
       400,
       "whole number"},
      {"StateTrue",
       "POST",
       "/api/devices/AMP1/state",
       R"({"state": true})",
       {},
       true,
       400,
       "whole number"},
      {"BandTooHigh",
       "POST",
       "/api/devices/AMP1/state",
       R"({"state": 3, "bandpath": 11})",
       {},
       true,
       400,
       "from 0 to 10"},
      {"ModeHuge",
       "POST",
       "/api/devices/AMP1/state",
       R"({"state": 3, "outputmode": 18446744073709551615})",
       {},
       true,
       400,
       "whole number"},
      {"ClassBeyondInt32",
       "POST",
       "/api/devices/AMP1/state",
       R"({"state": 3, "operatingclass": 2147483648})",
       {},
       true,
       400,
       "whole number"},
      {"UnknownKey",
       "POST",
       "/api/devices/AMP1/state",
       R"({"state": 3, "band": 2})",
       {},
       true,
       400,
       "unknown key \"band\""},
      {"ValuesForConnect",
       "POST",
       "/api/devices/AMP1/connect",
       R"({"force": true})",
       {},
       true,
       400,
       "takes no values"},
      {"BrokenBodyForErrors", "POST", "/api/devices/AMP1/errors", "{", {}, true, 400, "too early"},
      {"EmptyBodyForAState", "POST", "/api/devices/AMP1/state", "", {}, true, 400, "empty"},
      {"ValuesForAllRfOff", "POST", "/api/rf-off", R"({"now": 1})", {}, true, 400, "no values"},
      {"BodyTooLarge", "POST", "/api/devices/AMP1/state", Big(), {}, true, 413, "larger"},
  };
  return refusals;
}

class PanelRefusals : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder = new TempFolder;
    sim =
        new SimProcess({"--model", "PA4520", "--power", "on"}, folder->Path() / "transcript.jsonl");
    panel = new PanelProcess(*folder, DeviceListFor(TestRoute::Lan, *sim));
  }
  static void TearDownTestSuite() {
    delete panel;
    delete sim;
    delete folder;
  }
  static TempFolder* folder;
  static SimProcess* sim;
  static PanelProcess* panel;
};
TempFolder* PanelRefusals::folder = nullptr;
SimProcess* PanelRefusals::sim = nullptr;
PanelProcess* PanelRefusals::panel = nullptr;

std::string WithPanel(std::string text, const PanelProcess& panel) {
  for (const auto& [key, value] :
       {std::pair<std::string, std::string>{"SHORTTOKEN",
                                            panel.Token().substr(0, panel.Token().size() - 1)},
        std::pair<std::string, std::string>{"TOKEN", panel.Token()},
        std::pair<std::string, std::string>{"PORT", std::to_string(panel.Port())}}) {
    for (std::size_t at; (at = text.find(key)) != std::string::npos;)
      text.replace(at, key.size(), value);
  }
  return text;
}

TEST_F(PanelRefusals, EachBadRequestGetsItsAnswerAndNeverReachesTheAmplifier) {
  for (const Refusal& r : Refusals()) {
    SCOPED_TRACE(r.name);
    auto client = panel->Client(r.token);
    httplib::Headers headers;
    for (const auto& [key, value] : r.headers) headers.emplace(key, WithPanel(value, *panel));
    const std::string path = WithPanel(r.path, *panel);
    const httplib::Result result =
        std::string(r.method) == "GET"
            ? client->Get(path.c_str(), headers)
            : client->Post(path.c_str(), headers, r.body, "application/json");
    if (!result) {
      ADD_FAILURE() << "no answer";
      continue;
    }
    EXPECT_EQ(result->status, r.status);
    const nlohmann::json body = nlohmann::json::parse(result->body, nullptr, false);
    EXPECT_TRUE(body.is_object()) << result->body;
    if (body.is_object()) EXPECT_THAT(body.value("message", ""), HasSubstr(r.message));
  }
  // None of it reached the amplifier, and the panel still serves.
  EXPECT_TRUE(sim->Received().empty());
  auto client = panel->Client();
  const nlohmann::json amp = Device(*client, "AMP1");
  EXPECT_EQ(amp["busy"], false);
  EXPECT_TRUE(amp["lastError"].is_null());
}

// Requests no HTTP client library sends, each on a connection of its own. HOST and TOKEN stand
// for the panel's.
struct RawRequest {
  const char* name;
  std::string text;
  const char* status;
  const char* says;
};

TEST_F(PanelRefusals, EachMalformedRequestIsAnsweredWithWhatWasWrong) {
  const std::string head =
      " HTTP/1.1\r\nHost: HOST\r\nX-Marlin-Token: TOKEN\r\nConnection: close\r\n";
  const std::vector<RawRequest> requests{
      {"PostWithoutBody", "POST /api/devices/AMP1/disconnect" + head + "\r\n", "200",
       "\"ok\":true"},
      {"NoVersion", "GET /api/devices\r\nHost: HOST\r\n\r\n", "400", "request line"},
      {"AnotherVersion", "GET / HTTP/2.0\r\nHost: HOST\r\n\r\n", "505", "HTTP/1.1"},
      {"TargetNotAPath", "GET api HTTP/1.1\r\nHost: HOST\r\n\r\n", "400", "target"},
      {"HeaderWithoutColon", "GET /" + head + "Broken header\r\n\r\n", "400", "header line 4"},
      {"BodyInChunks",
       "POST /api/devices/AMP1/connect" + head + "Transfer-Encoding: chunked\r\n\r\n0\r\n\r\n",
       "501", "Content-Length"},
      {"LengthNotANumber", "POST /api/devices/AMP1/connect" + head + "Content-Length: 2x\r\n\r\n",
       "400", "Content-Length"},
      {"HeadTooLarge", "GET /" + head + "X-Pad: " + std::string(9000, 'x') + "\r\n\r\n", "431",
       "head"},
      {"BrokenEscape", "GET /api/devices/%zz/log" + head + "\r\n", "400", "%-escape"},
      {"OtherMethod", "DELETE /api/devices" + head + "\r\n", "405", "DELETE"},
  };
  for (const RawRequest& r : requests) {
    SCOPED_TRACE(r.name);
    RawConnection connection(panel->Port());
    const std::string text = WithPanel(r.text, *panel);
    std::string sent = text;
    for (std::size_t at; (at = sent.find("HOST")) != std::string::npos;) {
      sent.replace(at, 4, "127.0.0.1:" + std::to_string(panel->Port()));
    }
    ASSERT_TRUE(connection.Send(sent));
    const std::string answer = connection.Answer(10s);
    EXPECT_THAT(answer, StartsWith(std::string("HTTP/1.1 ") + r.status)) << answer;
    EXPECT_THAT(answer, HasSubstr(r.says));
  }
  EXPECT_TRUE(sim->Received().empty());
}

TEST_F(PanelRefusals, SlowClientsHoldNoThreadAndAnUnfinishedRequestIsCutOff) {
  // Unfinished requests, as many as a page's worth of stuck tabs and then some.
  std::vector<std::unique_ptr<RawConnection>> slow;
  for (int i = 0; i < 200; ++i) {
    slow.push_back(std::make_unique<RawConnection>(panel->Port()));
    slow.back()->Send("GET /api/dev");
  }
  // Answered while every one of them is still open and unanswered: none was dropped to make
  // room for it.
  EXPECT_EQ(Devices(*panel->Client()).size(), 1u);
  for (const auto& connection : slow) EXPECT_TRUE(connection->Waiting());

  // A request that keeps coming, a byte at a time, is cut off long before its end.
  const std::string request =
      "GET /api/devices HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Pad: " + std::string(200, 'x');
  RawConnection trickle(panel->Port());
  std::string answer;
  for (std::size_t at = 0; at < request.size() && answer.empty(); ++at) {
    if (!trickle.Send(request.substr(at, 1))) break;
    answer = trickle.Answer(100ms);
  }
  EXPECT_THAT(answer, StartsWith("HTTP/1.1 408")) << answer;
  EXPECT_THAT(answer, HasSubstr("did not arrive whole"));
}

TEST_F(PanelRefusals, ThePageItselfAndItsOwnOriginAreServed) {
  auto client = panel->Client(false);
  const httplib::Result page = client->Get("/");
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 200);
  EXPECT_THAT(page->body, HasSubstr("<script src=\"/panel.js\">"));
  const httplib::Result script = client->Get("/panel.js");
  ASSERT_TRUE(script);
  EXPECT_THAT(script->get_header_value("Content-Type"), HasSubstr("javascript"));
  EXPECT_EQ(client->Get("/nothing.js")->status, 404);
  const httplib::Result icon = client->Get("/favicon.ico");
  ASSERT_TRUE(icon);
  EXPECT_EQ(icon->status, 200);
  EXPECT_EQ(icon->get_header_value("Content-Type"), "image/svg+xml");

  auto withToken = panel->Client();
  const httplib::Headers own{{"Origin", "http://127.0.0.1:" + std::to_string(panel->Port())}};
  EXPECT_EQ(withToken->Get("/api/devices", own)->status, 200);
  const httplib::Headers named{{"Host", "localhost:" + std::to_string(panel->Port())}};
  EXPECT_EQ(withToken->Get("/api/devices", named)->status, 200);
}

}  // namespace
}  // namespace marlin::testing
