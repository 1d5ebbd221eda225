#include "sim/tcp_front.h"

#include <array>
#include <atomic>
#include <deque>
#include <map>
#include <mutex>

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
}  // namespace

struct TcpFront::Impl {
  class Session;

  std::shared_ptr<Amplifier> amp;
  std::string bindAddress;
  IoThread io;
  tcp::acceptor acceptor{io.Context()};
  asio::steady_timer acceptRetry{io.Context()};
  std::uint16_t port = 0;
  std::atomic<std::size_t> clientCount{0};
  std::map<int, std::weak_ptr<Session>> sessions;  // I/O thread only
  int nextId = 0;
  std::mutex stopMutex;
  bool stopped = false;

  void Accept();
  void Forget(int id) {
    sessions.erase(id);
    clientCount = sessions.size();
  }
};

// One client: reads lines, answers them one at a time in order, as an instrument does.
class TcpFront::Impl::Session : public std::enable_shared_from_this<Session> {
 public:
  Session(Impl& front, tcp::socket socket, int id)
      : front_(front),
        socket_(std::move(socket)),
        timer_(socket_.get_executor()),
        id_(id),
        peer_("tcp:" + std::to_string(front.port) + "#" + std::to_string(id)) {}

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
    front_.Forget(id_);
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
  std::array<char, 4096> buffer_{};
  LineSplitter splitter_;
  std::deque<std::string> lines_;
  std::string reply_;
  Clock::Duration due_{};
  bool closed_ = false;
};

void TcpFront::Impl::Accept() {
  acceptor.async_accept([this](asio::error_code ec, tcp::socket socket) {
    if (ec == asio::error::operation_aborted || !acceptor.is_open()) return;
    if (ec) {
      // Out of descriptors or similar: try again shortly rather than spin.
      acceptRetry.expires_after(std::chrono::milliseconds(10));
      acceptRetry.async_wait([this](asio::error_code e) {
        if (!e) Accept();
      });
      return;
    }
    const int id = ++nextId;
    if (sessions.size() >= kMaxClientsPerFront) {
      amp->RecordEvent("tcp:" + std::to_string(port) + "#" + std::to_string(id), kRefused);
      asio::error_code ignored;
      socket.close(ignored);
    } else {
      auto session = std::make_shared<Session>(*this, std::move(socket), id);
      sessions[id] = session;
      clientCount = sessions.size();
      session->Start();
    }
    Accept();
  });
}

TcpFront::TcpFront(std::shared_ptr<Amplifier> amp, std::string bindAddress, std::uint16_t port)
    : impl_(std::make_unique<Impl>()) {
  if (!amp) throw std::invalid_argument("TCP front needs an amplifier");
  impl_->amp = std::move(amp);
  impl_->bindAddress = std::move(bindAddress);
  Listen(impl_->acceptor, impl_->bindAddress, port);
  impl_->port = impl_->acceptor.local_endpoint().port();
  impl_->Accept();
  impl_->io.Start();
}

TcpFront::~TcpFront() { Stop(); }

std::uint16_t TcpFront::Port() const { return impl_->port; }

std::size_t TcpFront::ClientCount() const { return impl_->clientCount; }

void TcpFront::Stop() {
  std::lock_guard lock(impl_->stopMutex);
  if (impl_->stopped) return;
  impl_->stopped = true;
  impl_->io.RunAndWait([this] {
    asio::error_code ignored;
    impl_->acceptor.close(ignored);
    impl_->acceptRetry.cancel();
    auto sessions = impl_->sessions;
    for (auto& [id, weak] : sessions)
      if (auto session = weak.lock()) session->Close(kStopped);
  });
  impl_->io.Join();
}

}  // namespace marlin::sim
