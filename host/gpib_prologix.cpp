#include "host/gpib_prologix.h"

#include <algorithm>
#include <array>
#include <stdexcept>

#include "host/real_wait.h"
#include "platform/tcp_socket.h"

namespace marlin {
namespace {

// Controller mode, no read after each write, nothing appended to our data.
constexpr const char* kSetup = "++mode 1\n++auto 0\n++eos 3\n";
constexpr const char* kAddress = "++addr ";
constexpr const char* kEoi = "++eoi ";
constexpr const char* kReadToEoi = "++read eoi\n";
constexpr const char* kGoToLocal = "++loc\n";
constexpr char kEscape = 27;
constexpr std::size_t kReceiveChunk = 4096;

// The gateway takes CR, LF, ESC and "+" as its own unless escaped.
std::string Escaped(const std::string& bytes) {
  std::string out;
  out.reserve(bytes.size() + 8);
  for (char c : bytes) {
    if (c == '\r' || c == '\n' || c == kEscape || c == '+') out.push_back(kEscape);
    out.push_back(c);
  }
  out.push_back('\n');
  return out;
}

struct Endpoint {
  std::string host;
  std::uint16_t port = 0;
};

Endpoint ParseEndpoint(const std::string& target) {
  auto colon = target.rfind(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 == target.size()) {
    throw std::invalid_argument("the gateway must be given as prologix://host:port");
  }
  std::string host = target.substr(0, colon);
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
  }
  std::string port = target.substr(colon + 1);
  bool digits = port.size() <= 5 &&
                std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; });
  int number = digits ? std::stoi(port) : 0;
  if (host.empty() || number < 1 || number > 65535) {
    throw std::invalid_argument("gateway port '" + port + "' is not a number from 1 to 65535");
  }
  return {host, static_cast<std::uint16_t>(number)};
}

// The TCP connection to the gateway and which device it currently talks to.
struct Link {
  Endpoint endpoint;
  net::TcpSocket socket;
  std::string selected;  // the "++addr ...++eoi ..." lines last sent
  // A read timed out: the gateway may still send its answer on this connection.
  bool reopen = false;

  [[noreturn]] void Lost() {
    socket.Close();
    throw GpibFailure(GpibFailure::Kind::Unavailable, "the gateway closed the connection");
  }

  // A new connection in controller mode, addressing no device yet.
  // A failed reconnection is tried again at the next send.
  void Connect(net::Deadline deadline) {
    socket.Close();
    selected.clear();
    std::string error;
    socket = net::TcpSocket::Connect(endpoint.host, endpoint.port, deadline, error);
    if (!socket.IsOpen()) {
      throw GpibFailure(
          GpibFailure::Kind::Unavailable,
          "gateway " + endpoint.host + ":" + std::to_string(endpoint.port) + ": " + error);
    }
    reopen = false;
    Send(kSetup, deadline);
  }

  void Send(const std::string& bytes, net::Deadline deadline) {
    if (!socket.IsOpen())
      throw GpibFailure(GpibFailure::Kind::Unavailable, "gateway not connected");
    // Input still pending answered an earlier read that gave up; it must not answer the next.
    net::IoResult r = socket.DiscardPending();
    if (r == net::IoResult::Done) r = socket.Send(bytes, deadline);
    switch (r) {
      case net::IoResult::Done:
        return;
      case net::IoResult::TimedOut:
        throw GpibFailure(GpibFailure::Kind::Timeout, "the gateway took no data in time");
      case net::IoResult::PeerClosed:
        Lost();
      case net::IoResult::Failed:
        break;
    }
    throw GpibFailure(GpibFailure::Kind::Io, "gateway: " + net::LastSocketErrorText());
  }
};

class PrologixDevice final : public GpibDevice {
 public:
  PrologixDevice(std::shared_ptr<Link> link, GpibDeviceSettings settings,
                 std::shared_ptr<Clock> clock)
      : link_(std::move(link)), settings_(settings), clock_(std::move(clock)) {
    selection_ = kAddress + std::to_string(settings_.primary) +
                 (settings_.secondary != 0 ? " " + std::to_string(settings_.secondary) : "") +
                 "\n" + kEoi + (settings_.eoiOnLastByte ? "1" : "0") + "\n";
  }

  void Write(const std::string& bytes) override { Send(Escaped(bytes)); }

  std::string Read(std::size_t limit) override {
    Send(kReadToEoi);
    const char end = settings_.eosChar;
    const net::Deadline deadline = Deadline();
    std::string answer;
    std::array<char, kReceiveChunk> chunk;
    for (;;) {
      std::size_t got = 0;
      switch (link_->socket.Receive(chunk.data(), chunk.size(), got, deadline)) {
        case net::IoResult::Done:
          break;
        case net::IoResult::TimedOut:
          link_->reopen = true;  // the answer may still come: not on the next read's connection
          throw GpibFailure(GpibFailure::Kind::Timeout,
                            "no answer within " + std::to_string(TimeoutMs()) + " ms");
        case net::IoResult::PeerClosed:
          link_->Lost();
        case net::IoResult::Failed:
          throw GpibFailure(GpibFailure::Kind::Io, "gateway: " + net::LastSocketErrorText());
      }
      auto stop = std::find(chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(got), end);
      bool complete = stop != chunk.begin() + static_cast<std::ptrdiff_t>(got);
      std::size_t take = static_cast<std::size_t>(stop - chunk.begin()) + (complete ? 1 : 0);
      answer.append(chunk.data(), std::min(take, limit - std::min(limit, answer.size())));
      if (complete) return answer;
      if (answer.size() >= limit) {
        link_->reopen = true;  // the rest of the answer must not answer the next read
        return answer;
      }
    }
  }

  void GoToLocal() override { Send(kGoToLocal); }

 private:
  net::Deadline Deadline() const {
    return net::DeadlineAfter(RealWait(*clock_, settings_.timeout));
  }
  // The timeout in force: as long in real time as the deadline it sets.
  long long TimeoutMs() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               RealWait(*clock_, settings_.timeout))
        .count();
  }
  // Addresses this device first when the gateway was talking to another; one write in all.
  void Send(const std::string& bytes) {
    if (link_->reopen) link_->Connect(Deadline());
    bool reselect = link_->selected != selection_;
    link_->Send(reselect ? selection_ + bytes : bytes, Deadline());
    link_->selected = selection_;
  }

  std::shared_ptr<Link> link_;
  GpibDeviceSettings settings_;
  std::shared_ptr<Clock> clock_;
  std::string selection_;
};

class PrologixBackend final : public GpibBackend {
 public:
  PrologixBackend(Endpoint endpoint, std::shared_ptr<Clock> clock)
      : endpoint_(std::move(endpoint)), clock_(std::move(clock)) {}

  std::unique_ptr<GpibDevice> Open(const GpibDeviceSettings& settings) override {
    if (!link_ || !link_->socket.IsOpen()) Connect(settings);
    return std::make_unique<PrologixDevice>(link_, settings, clock_);
  }

 private:
  void Connect(const GpibDeviceSettings& settings) {
    auto link = std::make_shared<Link>();
    link->endpoint = endpoint_;
    link->Connect(net::DeadlineAfter(RealWait(*clock_, settings.timeout)));
    link_ = std::move(link);
  }

  Endpoint endpoint_;
  std::shared_ptr<Clock> clock_;
  std::shared_ptr<Link> link_;
};

}  // namespace

std::unique_ptr<GpibBackend> MakePrologixBackend(const std::string& target,
                                                 std::shared_ptr<Clock> clock) {
  return std::make_unique<PrologixBackend>(ParseEndpoint(target), std::move(clock));
}

}  // namespace marlin
