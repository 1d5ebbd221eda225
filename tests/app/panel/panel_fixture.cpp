#include "tests/app/panel/panel_fixture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>

namespace marlin::testing {
namespace {

using namespace std::chrono_literals;
constexpr auto kLongestAction = 60s;
constexpr const char* kPrefix = "marlinctl panel: http://127.0.0.1:";

std::vector<std::string> PanelArguments(const TempFolder& folder, const std::string& deviceList,
                                        const std::vector<std::string>& options) {
  std::vector<std::string> args{
      kMarlinctl, "panel", "--devices",    folder.Write("devices.toml", deviceList).string(),
      "--port",   "0",     "--time-scale", kTimeScale};
  args.insert(args.end(), options.begin(), options.end());
  return args;
}

}  // namespace

PanelProcess::PanelProcess(const TempFolder& folder, const std::string& deviceList,
                           const std::vector<std::string>& options)
    : process_(PanelArguments(folder, deviceList, options)) {
  const std::optional<std::string> line = process_.ReadLine(20s);
  if (!line || line->rfind(kPrefix, 0) != 0) {
    ADD_FAILURE() << "the panel did not start: " << line.value_or("") << process_.Stderr();
    return;
  }
  url_ = *line;
  const std::string rest = line->substr(std::string(kPrefix).size());
  port_ = std::stoi(rest);
  token_ = rest.substr(rest.find("?token=") + 7);
}

PanelProcess::~PanelProcess() { End(SIGTERM); }

int PanelProcess::End(int signal) {
  if (!ended_) {
    process_.Signal(signal);
    ended_ = process_.Finish(60s);
  }
  return *ended_;
}

std::unique_ptr<httplib::Client> PanelProcess::Client(bool withToken) const {
  auto client = std::make_unique<httplib::Client>("127.0.0.1", port_);
  client->set_read_timeout(kLongestAction);
  if (withToken) client->set_default_headers({{"X-Marlin-Token", token_}});
  return client;
}

nlohmann::json Devices(httplib::Client& client) {
  const httplib::Result result = client.Get("/api/devices");
  if (!result || result->status != 200) {
    ADD_FAILURE() << "GET /api/devices failed: " << (result ? result->status : -1);
    return nlohmann::json::array();
  }
  return nlohmann::json::parse(result->body);
}

nlohmann::json Device(httplib::Client& client, const std::string& name) {
  for (nlohmann::json& device : Devices(client)) {
    if (device["name"] == name) return device;
  }
  ADD_FAILURE() << "no device " << name;
  return {};
}

Answer Post(httplib::Client& client, const std::string& name, const std::string& action,
            const std::string& body) {
  const httplib::Result result =
      client.Post(("/api/devices/" + name + "/" + action).c_str(), body, "application/json");
  if (!result) {
    ADD_FAILURE() << "POST " << name << "/" << action << ": no answer";
    return {};
  }
  Answer answer{result->status, nlohmann::json::parse(result->body, nullptr, false)};
  return answer;
}

RawConnection::RawConnection(int port) : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd_ < 0 || ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ADD_FAILURE() << "cannot connect to the panel on port " << port;
  }
}

RawConnection::~RawConnection() {
  if (fd_ >= 0) ::close(fd_);
}

bool RawConnection::Send(const std::string& bytes) {
  return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
         static_cast<ssize_t>(bytes.size());
}

std::string RawConnection::Answer(std::chrono::milliseconds wait) {
  std::string answer;
  const auto end = std::chrono::steady_clock::now() + wait;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    pollfd p{fd_, POLLIN, 0};
    if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) return answer;
    char piece[4096];
    const ssize_t got = ::recv(fd_, piece, sizeof piece, 0);
    if (got <= 0) return answer;
    answer.append(piece, static_cast<std::size_t>(got));
  }
}

bool RawConnection::Waiting() const {
  pollfd p{fd_, POLLIN, 0};
  return ::poll(&p, 1, 0) == 0;
}

EventStream::EventStream(const PanelProcess& panel) : client_(panel.Client(false)) {
  client_->set_read_timeout(1s);
  reader_ = std::thread([this, path = "/api/events?token=" + panel.Token()] {
    while (true) {
      {
        std::lock_guard lock(mutex_);
        if (leaving_) return;
      }
      client_->Get(path.c_str(), [this](const char* data, std::size_t size) {
        std::lock_guard lock(mutex_);
        pending_.append(data, size);
        Parse();
        changed_.notify_all();
        return !leaving_;
      });
    }
  });
  // The stream is open once its greeting came.
  if (!WaitFor([](const PanelEvent& e) { return e.type == "hello"; })) {
    ADD_FAILURE() << "the event stream did not open";
  }
}

EventStream::~EventStream() {
  {
    std::lock_guard lock(mutex_);
    leaving_ = true;
  }
  client_->stop();
  reader_.join();
}

void EventStream::Parse() {
  for (std::size_t end; (end = pending_.find("\n\n")) != std::string::npos;) {
    const std::string block = pending_.substr(0, end);
    pending_.erase(0, end + 2);
    PanelEvent event;
    std::size_t at = 0;
    while (at < block.size()) {
      std::size_t next = block.find('\n', at);
      if (next == std::string::npos) next = block.size();
      const std::string line = block.substr(at, next - at);
      if (line.rfind("event: ", 0) == 0) event.type = line.substr(7);
      if (line.rfind("data: ", 0) == 0) {
        event.data = nlohmann::json::parse(line.substr(6), nullptr, false);
      }
      at = next + 1;
    }
    if (!event.type.empty()) events_.push_back(std::move(event));
  }
}

bool EventStream::WaitFor(const std::function<bool(const PanelEvent&)>& match) {
  std::unique_lock lock(mutex_);
  std::size_t seen = 0;
  return changed_.wait_for(lock, 30s, [&] {
    for (; seen < events_.size(); ++seen) {
      if (match(events_[seen])) return true;
    }
    return false;
  });
}

std::vector<PanelEvent> EventStream::Events() const {
  std::lock_guard lock(mutex_);
  return events_;
}

}  // namespace marlin::testing
