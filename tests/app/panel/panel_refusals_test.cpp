// Requests the panel refuses: each answer's status and message, nothing of them reaching the
// amplifier, and the panel still serving afterwards.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/app/panel/panel_fixture.h"

namespace marlin::testing {
namespace {

using ::testing::HasSubstr;

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
      {"NotJson", "POST", "/api/devices/AMP1/state", "{state: 3}", {}, true, 400, "not JSON"},
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
      {"BrokenBodyForErrors", "POST", "/api/devices/AMP1/errors", "{", {}, true, 400, "not JSON"},
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
       {std::pair<std::string, std::string>{"TOKEN", panel.Token()},
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

  auto withToken = panel->Client();
  const httplib::Headers own{{"Origin", "http://127.0.0.1:" + std::to_string(panel->Port())}};
  EXPECT_EQ(withToken->Get("/api/devices", own)->status, 200);
  const httplib::Headers named{{"Host", "localhost:" + std::to_string(panel->Port())}};
  EXPECT_EQ(withToken->Get("/api/devices", named)->status, 200);
}

}  // namespace
}  // namespace marlin::testing
