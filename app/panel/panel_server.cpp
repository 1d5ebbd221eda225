#include "app/panel/panel_server.h"

#include <sys/random.h>

#include <httplib.h>

#include <chrono>
#include <stdexcept>
#include <thread>

#include "app/panel/panel_assets.h"
#include "app/panel/panel_json.h"
#include "app/panel/panel_request.h"
#include "app/timeline/timeline.h"

namespace marlin::panel {
namespace {

using namespace std::chrono_literals;

constexpr int kHttpOk = 200;
constexpr int kBadRequest = 400;
constexpr int kUnauthorized = 401;
constexpr int kForbidden = 403;
constexpr int kNotFound = 404;
constexpr int kConflict = 409;
constexpr int kPayloadTooLarge = 413;
constexpr int kTooManyStreams = 503;
constexpr std::size_t kServerThreads = 48;
constexpr auto kKeepAliveEvery = 15s;
constexpr const char* kJson = "application/json";

struct ActionRoute {
  const char* word;
  ActionKind kind;
};
constexpr ActionRoute kActions[] = {
    {"connect", ActionKind::Connect},       {"disconnect", ActionKind::Disconnect},
    {"initialize", ActionKind::Initialize}, {"resetfault", ActionKind::ResetFault},
    {"errors", ActionKind::ReadErrors},     {"state", ActionKind::SetState}};

void Answer(httplib::Response& res, int status, const std::string& json) {
  res.status = status;
  res.set_header("Cache-Control", "no-store");
  res.set_content(json, kJson);
}

void Refuse(httplib::Response& res, int status, const std::string& message) {
  Answer(res, status, RefusalJson(message));
}

void SetPageHeaders(httplib::Response& res) {
  res.set_header("Content-Security-Policy",
                 "default-src 'self'; img-src 'self' data:; style-src 'self'");
  res.set_header("X-Frame-Options", "DENY");
}

}  // namespace

std::string NewToken() {
  unsigned char bytes[16];
  std::size_t got = 0;
  while (got < sizeof bytes) {
    const ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
    if (n < 0) throw std::runtime_error("no random source for the panel's token");
    got += static_cast<std::size_t>(n);
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
                         const TraceLines& trace, std::string token)
    : devices_(devices),
      events_(events),
      trace_(trace),
      token_(std::move(token)),
      http_(std::make_unique<httplib::Server>()) {
  http_->new_task_queue = [] { return new httplib::ThreadPool(kServerThreads); };
  http_->set_payload_max_length(kLargestBody);
  http_->set_read_timeout(5s);
  http_->set_write_timeout(5s);
  Routes();
}

PanelServer::~PanelServer() = default;

int PanelServer::Bind(const std::string& address, int port) {
  const int bound = port == 0 ? http_->bind_to_any_port(address) : port;
  if (port != 0 && !http_->bind_to_port(address, port)) {
    throw std::runtime_error("cannot listen on " + address + " port " + std::to_string(port));
  }
  if (bound <= 0) throw std::runtime_error("cannot listen on " + address);
  const std::string p = ":" + std::to_string(bound);
  ownHosts_ = {"127.0.0.1" + p, "localhost" + p, "[::1]" + p};
  if (address != "127.0.0.1") {
    ownHosts_.push_back((address.find(':') != std::string::npos ? "[" + address + "]" : address) +
                        p);
  }
  return bound;
}

bool PanelServer::Serve() { return http_->listen_after_bind(); }

void PanelServer::Stop() {
  events_.Close();
  http_->stop();
}

DeviceWorker* PanelServer::Find(const std::string& name) const {
  for (const auto& device : devices_) {
    if (device->Name() == name) return device.get();
  }
  return nullptr;
}

void PanelServer::Routes() {
  using Req = httplib::Request;
  using Res = httplib::Response;
  using Handled = httplib::Server::HandlerResponse;

  http_->set_pre_routing_handler([this](const Req& req, Res& res) {
    const std::string host = req.get_header_value("Host");
    bool ownHost = false;
    for (const std::string& own : ownHosts_) ownHost = ownHost || host == own;
    if (!ownHost) {
      Refuse(res, kForbidden, "the Host header does not name this panel");
      return Handled::Handled;
    }
    if (req.has_header("Origin") && req.get_header_value("Origin") != "http://" + host) {
      Refuse(res, kForbidden, "requests from another origin are refused");
      return Handled::Handled;
    }
    if (req.path.rfind("/api/", 0) == 0) {
      std::string given = req.get_header_value(kTokenHeader);
      if (!req.has_header(kTokenHeader) && req.path == "/api/events") {
        given = req.get_param_value("token");
      }
      if (!SameSecret(given, token_)) {
        Refuse(res, kUnauthorized, "a valid token is required");
        return Handled::Handled;
      }
    }
    return Handled::Unhandled;
  });

  http_->set_exception_handler([](const Req&, Res& res, const std::exception_ptr&) {
    Refuse(res, 500, "the panel could not answer this request");
  });
  http_->set_error_handler([](const Req& req, Res& res) {
    if (!res.body.empty()) return;
    if (res.status == kNotFound) {
      Refuse(res, res.status, "no such resource: " + req.path);
    } else if (res.status == kPayloadTooLarge) {
      Refuse(res, res.status, "the body is larger than " + std::to_string(kLargestBody) + " bytes");
    } else if (res.status == kBadRequest) {
      Refuse(res, res.status, "malformed request (a POST needs a Content-Length)");
    } else {
      Refuse(res, res.status, "the request was refused");
    }
  });

  http_->Get("/api/devices", [this](const Req&, Res& res) {
    std::string json = "[";
    for (const auto& device : devices_) {
      json += (json.size() > 1 ? "," : "") + DeviceJson(device->View());
    }
    Answer(res, kHttpOk, json + "]");
  });

  http_->Get("/api/timeline", [this](const Req&, Res& res) {
    res.set_header("Cache-Control", "no-store");
    // Every page is served the one picture they share: a copy per request, made on whichever of
    // the server's threads took it, would stay in that thread's allocator pool.
    const auto svg = trace_.Picture();
    res.set_content_provider(
        svg->size(), "image/svg+xml",
        [svg](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
          return sink.write(svg->data() + offset, length);
        });
  });

  http_->Post(R"(/api/devices/([^/]+)/([a-z]+))", [this](const Req& req, Res& res) {
    DeviceWorker* device = Find(req.matches[1]);
    if (!device) {
      Refuse(res, kNotFound, "no device of that name in the device list");
      return;
    }
    const std::string word = req.matches[2];
    if (word == "stop") {
      device->Stop();
      Answer(res, kHttpOk, "{\"ok\":true}");
      return;
    }
    const ActionRoute* route = nullptr;
    for (const ActionRoute& r : kActions) {
      if (word == r.word) route = &r;
    }
    if (!route) {
      Refuse(res, kNotFound, "no action \"" + word + "\"");
      return;
    }
    Action action{route->kind, {}};
    if (route->kind == ActionKind::SetState) {
      auto parsed = ParseStateRequest(req.body);
      if (auto* bad = std::get_if<BadRequest>(&parsed))
        return Refuse(res, kBadRequest, bad->message);
      action.request = std::get<StateRequest>(parsed);
    } else if (auto parsed = ParseEmptyRequest(req.body);
               auto* bad = std::get_if<BadRequest>(&parsed)) {
      return Refuse(res, kBadRequest, bad->message);
    }
    std::optional<std::future<ActionOutcome>> running = device->Submit(action);
    if (!running) {
      Refuse(res, kConflict, "the device is busy with another action");
      return;
    }
    Answer(res, kHttpOk, OutcomeJson(device->Name(), action.kind, running->get()));
  });

  http_->Get("/api/events", [this](const Req&, Res& res) {
    std::shared_ptr<EventHub::Subscription> subscription = events_.Subscribe();
    if (!subscription) {
      Refuse(res, kTooManyStreams, "too many event streams are open");
      return;
    }
    res.set_header("Cache-Control", "no-store");
    auto lastSent =
        std::make_shared<std::chrono::steady_clock::time_point>(std::chrono::steady_clock::now());
    auto first = std::make_shared<bool>(true);
    res.set_chunked_content_provider(
        "text/event-stream",
        [this, subscription, lastSent, first](std::size_t, httplib::DataSink& sink) {
          std::string block;
          if (*first) {
            *first = false;
            block = "retry: 1000\nevent: hello\ndata: {}\n\n";
          } else if (std::optional<std::string> next = subscription->Next(500ms)) {
            block = std::move(*next);
          } else if (subscription->Closed()) {
            sink.done();
            return true;
          } else if (std::chrono::steady_clock::now() - *lastSent > kKeepAliveEvery) {
            block = ": keep-alive\n\n";
          } else {
            return sink.is_writable();
          }
          *lastSent = std::chrono::steady_clock::now();
          return sink.write(block.data(), block.size());
        },
        [this, subscription](bool) { events_.Unsubscribe(subscription); });
  });

  // The page's policy refuses the timeline's inline <style>, so its rules come from here.
  http_->Get("/timeline.css", [](const Req&, Res& res) {
    SetPageHeaders(res);
    res.set_content(std::string(timeline::Stylesheet()), "text/css");
  });

  http_->Get(R"(/|/[a-z]+\.(js|css))", [](const Req& req, Res& res) {
    const Asset* asset = FindAsset(req.path);
    if (!asset) {
      Refuse(res, kNotFound, "no such resource: " + req.path);
      return;
    }
    SetPageHeaders(res);
    res.set_content(std::string(asset->body), std::string(asset->contentType));
  });
}

}  // namespace marlin::panel
