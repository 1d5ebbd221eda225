#include "app/panel/panel_server.h"

#include <chrono>
#include <stdexcept>

#include "app/panel/panel_assets.h"
#include "app/panel/panel_json.h"
#include "app/panel/panel_request.h"
#include "app/timeline/timeline.h"
#include "platform/random_bytes.h"
#include "text/json_writer.h"

namespace marlin::panel {
namespace {

using namespace std::chrono_literals;

constexpr int kHttpOk = 200;
constexpr int kBadRequest = 400;
constexpr int kUnauthorized = 401;
constexpr int kForbidden = 403;
constexpr int kNotFound = 404;
constexpr int kMethodNotAllowed = 405;
constexpr int kConflict = 409;
constexpr int kUnavailable = 503;
constexpr auto kKeepAliveEvery = 15s;
constexpr auto kEventWait = 500ms;
constexpr const char* kStopNote =
    "STOP closes the wait window; the amplifier finishes the switch it has begun";

struct ActionRoute {
  const char* word;
  ActionKind kind;
};
constexpr ActionRoute kActions[] = {
    {"connect", ActionKind::Connect},       {"disconnect", ActionKind::Disconnect},
    {"initialize", ActionKind::Initialize}, {"resetfault", ActionKind::ResetFault},
    {"errors", ActionKind::ReadErrors},     {"state", ActionKind::SetState},
    {"read", ActionKind::ReadState}};

void Answer(HttpResponse& res, int status, const std::string& json) {
  res.status = status;
  res.headers.emplace_back("Cache-Control", "no-store");
  res.contentType = "application/json";
  res.body = json;
}

void Refuse(HttpResponse& res, int status, const std::string& message) {
  Answer(res, status, RefusalJson(message));
}

void PageFile(HttpResponse& res, std::string_view contentType, std::string_view body) {
  res.headers.emplace_back("Content-Security-Policy",
                           "default-src 'self'; img-src 'self' data:; style-src 'self'");
  res.headers.emplace_back("X-Frame-Options", "DENY");
  res.contentType = std::string(contentType);
  res.body = std::string(body);
}

bool Is(const HttpRequest& req, std::initializer_list<std::string_view> path) {
  return std::equal(req.segments.begin(), req.segments.end(), path.begin(), path.end());
}

}  // namespace

std::string NewToken() {
  unsigned char bytes[16];
  try {
    platform::FillRandom(bytes, sizeof bytes);
  } catch (const std::runtime_error&) {
    throw std::runtime_error("no random source for the panel's token");
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string token;
  for (unsigned char b : bytes) {
    token += kHex[b >> 4];
    token += kHex[b & 15];
  }
  return token;
}

bool SameSecret(const std::string& given, const std::string& expected) {
  unsigned difference = given.size() == expected.size() ? 0 : 1;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const char g = i < given.size() ? given[i] : '\0';
    difference |= static_cast<unsigned char>(g ^ expected[i]);
  }
  return difference == 0;
}

PanelServer::PanelServer(std::vector<std::unique_ptr<DeviceWorker>>& devices, EventHub& events,
                         const TraceLines& trace, std::string token, HttpLimits limits)
    : devices_(devices),
      events_(events),
      trace_(trace),
      token_(std::move(token)),
      http_([this](const HttpRequest& req, HttpResponse& res) { Handle(req, res); }, RefusalJson,
            [&] {
              limits.largestBody = kLargestBody;
              return limits;
            }()) {}

PanelServer::~PanelServer() { Stop(); }

int PanelServer::Bind(const std::string& address, int port) {
  const int bound = http_.Bind(address, port);
  const std::string p = ":" + std::to_string(bound);
  ownHosts_ = {"127.0.0.1" + p, "localhost" + p, "[::1]" + p};
  if (address != "127.0.0.1") {
    ownHosts_.push_back((address.find(':') != std::string::npos ? "[" + address + "]" : address) +
                        p);
  }
  return bound;
}

bool PanelServer::Serve() { return http_.Serve(); }

void PanelServer::RefuseActions() { refusingActions_ = true; }

void PanelServer::Stop() {
  events_.Close();
  http_.Stop();
}

DeviceWorker* PanelServer::Find(const std::string& name) const {
  for (const auto& device : devices_) {
    if (device->Name() == name) return device.get();
  }
  return nullptr;
}

bool PanelServer::Admitted(const HttpRequest& req, HttpResponse& res) const {
  const std::string host = req.Header("host").value_or("");
  bool ownHost = false;
  for (const std::string& own : ownHosts_) ownHost = ownHost || host == own;
  if (!ownHost) {
    Refuse(res, kForbidden, "the Host header does not name this panel");
    return false;
  }
  if (const auto origin = req.Header("origin"); origin && *origin != "http://" + host) {
    Refuse(res, kForbidden, "requests from another origin are refused");
    return false;
  }
  if (!req.segments.empty() && req.segments.front() == "api") {
    std::optional<std::string> given = req.Header("x-marlin-token");
    if (!given && Is(req, {"api", "events"})) given = req.Param("token");
    if (!SameSecret(given.value_or(""), token_)) {
      Refuse(res, kUnauthorized, "a valid token is required");
      return false;
    }
  }
  return true;
}

void PanelServer::Handle(const HttpRequest& req, HttpResponse& res) {
  if (!Admitted(req, res)) return;
  if (req.method == "GET") return Get(req, res);
  if (req.method == "POST") return Post(req, res);
  Refuse(res, kMethodNotAllowed, "the panel answers GET and POST, not " + req.method);
}

void PanelServer::Get(const HttpRequest& req, HttpResponse& res) {
  if (Is(req, {"api", "devices"})) {
    std::vector<std::string> views;
    for (const auto& device : devices_) views.push_back(DeviceJson(device->View()));
    return Answer(res, kHttpOk, text::JsonList(views));
  }
  if (req.segments.size() == 4 && Is(req, {"api", "devices", req.segments[2], "log"})) {
    const DeviceWorker* device = Find(req.segments[2]);
    if (!device) return Refuse(res, kNotFound, "no device of that name in the device list");
    return Answer(res, kHttpOk, text::JsonList(device->Log()));
  }
  if (Is(req, {"api", "timeline"})) {
    res.headers.emplace_back("Cache-Control", "no-store");
    res.contentType = "image/svg+xml";
    // Drawn only when the trace grew, on the picture's own thread, and shared by every page.
    res.sharedBody = trace_.Picture();
    return;
  }
  if (Is(req, {"api", "events"})) return Events(res);
  if (Is(req, {"timeline.css"})) return PageFile(res, "text/css", timeline::Stylesheet());
  const std::string path = req.Path() == "/favicon.ico" ? "/favicon.svg" : req.Path();
  if (const Asset* asset = FindAsset(path)) {
    return PageFile(res, asset->contentType, asset->body);
  }
  Refuse(res, kNotFound, "no such resource: " + req.Path());
}

void PanelServer::Post(const HttpRequest& req, HttpResponse& res) {
  if (Is(req, {"api", "rf-off"})) {
    if (auto parsed = ParseEmptyRequest(req.body); auto* bad = std::get_if<BadRequest>(&parsed)) {
      return Refuse(res, kBadRequest, bad->message);
    }
    return AllRfOff(res);
  }
  if (req.segments.size() == 4 && Is(req, {"api", "devices", req.segments[2], req.segments[3]})) {
    DeviceWorker* device = Find(req.segments[2]);
    if (!device) return Refuse(res, kNotFound, "no device of that name in the device list");
    return DeviceAction(*device, req.segments[3], req, res);
  }
  Refuse(res, kNotFound, "no such resource: " + req.Path());
}

void PanelServer::DeviceAction(DeviceWorker& device, const std::string& word,
                               const HttpRequest& req, HttpResponse& res) {
  if (word == "stop") {
    device.Stop();
    return Answer(res, kHttpOk,
                  text::JsonObject().Boolean("ok", true).Text("note", kStopNote).Line());
  }
  const ActionRoute* route = nullptr;
  for (const ActionRoute& r : kActions) {
    if (word == r.word) route = &r;
  }
  if (!route) return Refuse(res, kNotFound, "no action \"" + word + "\"");
  Action action{route->kind, {}};
  if (route->kind == ActionKind::SetState) {
    auto parsed = ParseStateRequest(req.body);
    if (auto* bad = std::get_if<BadRequest>(&parsed)) return Refuse(res, kBadRequest, bad->message);
    action.request = std::get<StateRequest>(parsed);
  } else if (auto parsed = ParseEmptyRequest(req.body);
             auto* bad = std::get_if<BadRequest>(&parsed)) {
    return Refuse(res, kBadRequest, bad->message);
  }
  if (refusingActions_) return Refuse(res, kUnavailable, "the panel is stopping");
  auto submitted = device.Submit(action);
  if (const Refusal* refusal = std::get_if<Refusal>(&submitted)) {
    switch (*refusal) {
      case Refusal::Busy:
        return Refuse(res, kConflict, device.Name() + " is busy with another action");
      case Refusal::NotConnected:
        return Answer(res, kConflict, NotConnectedJson(device.Name()));
      case Refusal::Stopping:
        return Refuse(res, kUnavailable, "the panel is stopping");
    }
  }
  const ActionOutcome outcome = std::get<std::future<ActionOutcome>>(submitted).get();
  Answer(res, kHttpOk, OutcomeJson(device.Name(), action.kind, outcome));
}

void PanelServer::AllRfOff(HttpResponse& res) {
  // Every device at once, each on its own thread; each after the action it runs now.
  std::vector<std::future<ActionOutcome>> running;
  for (const auto& device : devices_) running.push_back(device->SubmitRfOff());
  std::vector<std::string> results;
  for (std::size_t i = 0; i < running.size(); ++i) {
    results.push_back(OutcomeJson(devices_[i]->Name(), ActionKind::RfOff, running[i].get()));
  }
  Answer(res, kHttpOk, text::JsonObject().Json("results", text::JsonList(results)).Line());
}

void PanelServer::Events(HttpResponse& res) {
  std::shared_ptr<EventHub::Subscription> subscription = events_.Subscribe();
  if (!subscription) return Refuse(res, kUnavailable, "too many event streams are open");
  res.headers.emplace_back("Cache-Control", "no-store");
  res.contentType = "text/event-stream";
  auto lastSent = std::chrono::steady_clock::now();
  bool first = true;
  res.stream = [subscription, lastSent, first](const HttpResponse::Write& write) mutable {
    std::string block;
    if (first) {
      first = false;
      block = "retry: 1000\nevent: hello\ndata: {}\n\n";
    } else if (std::optional<std::string> next = subscription->Next(kEventWait)) {
      block = std::move(*next);
    } else if (subscription->Closed()) {
      return false;
    } else if (std::chrono::steady_clock::now() - lastSent > kKeepAliveEvery) {
      block = ": keep-alive\n\n";
    } else {
      return write({});
    }
    lastSent = std::chrono::steady_clock::now();
    return write(block);
  };
  res.streamEnded = [this, subscription] { events_.Unsubscribe(subscription); };
}

}  // namespace marlin::panel
