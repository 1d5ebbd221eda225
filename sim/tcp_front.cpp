#include "sim/tcp_front.h"

#include <array>
#include <deque>

#include "sim/client_sessions.h"
#include "sim/io_thread.h"
#include "sim/line_splitter.h"

namespace marlin::sim {

using asio::ip::tcp;

namespace {
constexpr std::string_view kConnected = "connected";
constexpr std::string_view kDisconnected = "disconnected";
constexpr std::string_view kDropped = "connection dropped";
constexpr std::string_view kStopped = "front stopped";
constexpr std::string_view kRefused = "refused: too many clients";
constexpr std::string_view kIdle = "closed: idle too long";

std::string PeerName(std::uint16_t port, int id) {
  return "tcp:" + std::to_string(port) + "#" + std::to_string(id);
}
}  // namespace

struct TcpFront::Impl {
  class Session;

  std::shared_ptr<Amplifier> amp;
  ClientSessions<Session> clients;
};

// One client: reads lines, answers them one at a time in order, as an instrument does.
class TcpFront::Impl::Session : public std::enable_shared_from_this<Session> {
 public:
  Session(Impl& front, tcp::socket socket, int id)
      : front_(front),
        socket_(std::move(socket)),
        timer_(socket_.get_executor()),
        id_(id),
        peer_(PeerName(front.clients.Port(), id)) {}

  void Start() {
    front_.amp->RecordEvent(peer_, kConnected);
    ReadMore();
  }

  void Close(std::string_view why) {
    if (closed_) return;
    closed_ = true;
    asio::error_code ignored;
    socket_.shutdown(tcp::socket::shutdown_both, ignored);
    socket_.close(ignored);
    timer_.cancel();
    front_.amp->RecordEvent(peer_, why);
    front_.clients.Forget(id_);
  }

 private:
  void ReadMore() {
    socket_.async_read_some(
        asio::buffer(buffer_),
        [self = shared_from_this()](asio::error_code ec, std::size_t n) { self->OnRead(ec, n); });
  }

  void OnRead(asio::error_code ec, std::size_t n) {
    if (closed_) return;
    if (ec) {
      Close(kDisconnected);
      return;
    }
    front_.clients.Touch(id_);
    splitter_.Feed(
        std::string_view(buffer_.data(), n),
        [this](std::string_view line) { lines_.emplace_back(line); },
        [this] { front_.amp->ReportInputOverflow(peer_); });
    AnswerNext();
  }

  void AnswerNext() {
    while (!lines_.empty()) {
      Response response = front_.amp->Respond(lines_.front(), peer_);
      lines_.pop_front();
      if (response.dropConnection) {
        Close(kDropped);
        return;
      }
      if (!response.reply) continue;
      reply_ = std::move(*response.reply);
      due_ = front_.amp->GetClock().Now() + response.delay;
      SendWhenDue();
      return;
    }
    ReadMore();
  }

  void SendWhenDue() {
    const auto wait = RealWaitUntil(front_.amp->GetClock(), due_);
    if (wait.count() == 0) {
      Send();
      return;
    }
    timer_.expires_after(wait);
    timer_.async_wait([self = shared_from_this()](asio::error_code ec) {
      if (!ec && !self->closed_) self->SendWhenDue();
    });
  }

  void Send() {
    front_.amp->RecordSent(peer_, reply_);
    asio::async_write(socket_, asio::buffer(reply_),
                      [self = shared_from_this()](asio::error_code ec, std::size_t) {
                        if (self->closed_) return;
                        if (ec) {
                          self->Close(kDisconnected);
                          return;
                        }
                        self->AnswerNext();
                      });
  }

  Impl& front_;
  tcp::socket socket_;
  asio::steady_timer timer_;
  int id_;
  std::string peer_;
  std::array<char, kReadChunkBytes> buffer_{};
  LineSplitter splitter_;
  std::deque<std::string> lines_;
  std::string reply_;
  Clock::Duration due_{};
  bool closed_ = false;
};

TcpFront::TcpFront(std::shared_ptr<Amplifier> amp, const std::string& bindAddress,
                   std::uint16_t port, std::chrono::milliseconds idleTimeout)
    : impl_(std::make_unique<Impl>()) {
  if (!amp) throw std::invalid_argument("TCP front needs an amplifier");
  impl_->amp = std::move(amp);
  Impl& front = *impl_;
  front.clients.Start(
      bindAddress, port,
      [&front](tcp::socket socket, int id) {
        return std::make_shared<Impl::Session>(front, std::move(socket), id);
      },
      [&front](int id) { front.amp->RecordEvent(PeerName(front.clients.Port(), id), kRefused); },
      [](Impl::Session& session) { session.Close(kIdle); }, idleTimeout);
}

TcpFront::~TcpFront() { Stop(); }

std::uint16_t TcpFront::Port() const { return impl_->clients.Port(); }

std::size_t TcpFront::ClientCount() const { return impl_->clients.Count(); }

void TcpFront::Stop() {
  impl_->clients.Stop([](Impl::Session& session) { session.Close(kStopped); });
}

}  // namespace marlin::sim
