#include "host/lan_sockets_tcp.h"

#include <algorithm>
#include <array>
#include <limits>

#include "driver/marlin_error.h"
#include "host/real_wait.h"
#include "platform/tcp_socket.h"

namespace marlin {
namespace {

constexpr std::int32_t kNoSocket = -1;
constexpr std::size_t kReceiveChunk = 4096;

std::string Milliseconds(Clock::Duration span) {
  return std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(span).count()) +
         " ms";
}

std::string SocketName(std::int32_t socket) { return "LAN socket " + std::to_string(socket); }

}  // namespace

struct TcpLanSockets::Connection {
  std::mutex io;
  net::TcpSocket socket;
  std::string host;
  std::uint16_t port = 0;
  // The last query timed out: its answer may still come on this connection.
  bool reopen = false;
  // The connection check just before found no input waiting: nothing to drop before the write.
  bool checkedQuiet = false;
};

TcpLanSockets::TcpLanSockets(std::shared_ptr<Clock> clock, TcpLanOptions options)
    : clock_(std::move(clock)), options_(options) {
  if (!clock_) throw MarlinError(errors::kInvalidArgument, "LAN sockets: no clock given");
  if (options_.connectTimeout <= Clock::Duration::zero() ||
      options_.queryTimeout <= Clock::Duration::zero()) {
    throw MarlinError(errors::kInvalidArgument, "LAN sockets: timeouts must be greater than 0 ms");
  }
  if (options_.maxAnswerBytes == 0) {
    throw MarlinError(errors::kInvalidArgument,
                      "LAN sockets: the answer limit must be at least 1 byte");
  }
}

TcpLanSockets::~TcpLanSockets() = default;

Clock::Duration TcpLanSockets::Real(Clock::Duration span) const { return RealWait(*clock_, span); }

std::shared_ptr<TcpLanSockets::Connection> TcpLanSockets::Find(std::int32_t socket) const {
  std::lock_guard lock(mutex_);
  auto it = connections_.find(socket);
  return it == connections_.end() ? nullptr : it->second;
}

bool TcpLanSockets::Fail(const std::string& why) {
  std::lock_guard lock(mutex_);
  lastError_ = why;
  return false;
}

std::string TcpLanSockets::LastError() const {
  std::lock_guard lock(mutex_);
  return lastError_;
}

std::size_t TcpLanSockets::OpenSockets() const {
  std::lock_guard lock(mutex_);
  return connections_.size();
}

void TcpLanSockets::Open(const std::string& host, std::int32_t port, std::int32_t& socket,
                         bool& ok) {
  socket = kNoSocket;
  ok = false;
  // Kept as the last error too: the caller may absorb the raised one and ask why later.
  const auto refuse = [this](const std::string& why) {
    Fail(why);
    throw MarlinError(errors::kInvalidArgument, why);
  };
  if (host.empty()) refuse("LanOpen: the host name is empty");
  if (port < 1 || port > 65535) {
    refuse("LanOpen: port " + std::to_string(port) + " is outside 1 to 65535");
  }
  std::string error;
  auto connected =
      net::TcpSocket::Connect(host, static_cast<std::uint16_t>(port),
                              net::DeadlineAfter(Real(options_.connectTimeout)), error);
  if (!connected.IsOpen()) {
    Fail("LanOpen: " + error);
    return;
  }
  auto c = std::make_shared<Connection>();
  c->socket = std::move(connected);
  c->host = host;
  c->port = static_cast<std::uint16_t>(port);
  std::lock_guard lock(mutex_);
  do {
    lastId_ = lastId_ == std::numeric_limits<std::int32_t>::max() ? 1 : lastId_ + 1;
  } while (connections_.count(lastId_) != 0);
  connections_.emplace(lastId_, std::move(c));
  socket = lastId_;
  ok = true;
}

void TcpLanSockets::Close(std::int32_t socket, bool& ok) {
  std::shared_ptr<Connection> c;
  {
    std::lock_guard lock(mutex_);
    auto it = connections_.find(socket);
    if (it != connections_.end()) {
      c = std::move(it->second);
      connections_.erase(it);
    }
  }
  if (!c) {
    ok = Fail("LanClose: " + SocketName(socket) + " is not open");
    return;
  }
  std::lock_guard io(c->io);
  c->socket.Close();
  ok = true;
}

// A failed reconnection is tried again at the next write.
bool TcpLanSockets::Reopen(Connection& c, std::int32_t socket) {
  c.socket.Close();
  std::string error;
  c.socket = net::TcpSocket::Connect(c.host, c.port,
                                     net::DeadlineAfter(Real(options_.connectTimeout)), error);
  if (!c.socket.IsOpen()) {
    return Fail(SocketName(socket) + ": cannot reconnect after a query timed out: " + error);
  }
  c.reopen = false;
  return true;
}

bool TcpLanSockets::Write(Connection& c, std::int32_t socket, const std::string& text) {
  if (c.reopen && !Reopen(c, socket)) return false;
  if (!c.socket.IsOpen()) return Fail(SocketName(socket) + ": the peer has closed the connection");
  // The driver asks whether the socket is connected before each exchange; that look already
  // tells whether stale input waits, which saves a receive on every write.
  net::IoResult result = c.checkedQuiet ? net::IoResult::Done : c.socket.DiscardPending();
  c.checkedQuiet = false;
  if (result == net::IoResult::Done) {
    result = c.socket.Send(text, net::DeadlineAfter(Real(options_.queryTimeout)));
  }
  switch (result) {
    case net::IoResult::Done:
      return true;
    case net::IoResult::TimedOut:
      c.reopen = true;
      return Fail(SocketName(socket) + ": sending took longer than " +
                  Milliseconds(options_.queryTimeout));
    case net::IoResult::PeerClosed:
      c.socket.Close();
      return Fail(SocketName(socket) + ": the peer has closed the connection");
    case net::IoResult::Failed:
      break;
  }
  return Fail(SocketName(socket) + ": " + net::LastSocketErrorText());
}

void TcpLanSockets::Send(std::int32_t socket, const std::string& text, bool& ok) {
  auto c = Find(socket);
  if (!c) {
    ok = Fail("LanSend: " + SocketName(socket) + " is not open");
    return;
  }
  std::lock_guard io(c->io);
  ok = Write(*c, socket, text);
}

void TcpLanSockets::Query(std::int32_t socket, const std::string& text, std::string& answer,
                          bool& ok) {
  answer.clear();
  auto c = Find(socket);
  if (!c) {
    ok = Fail("LanQuery: " + SocketName(socket) + " is not open");
    return;
  }
  std::lock_guard io(c->io);
  ok = false;
  if (!Write(*c, socket, text)) return;
  const net::Deadline deadline = net::DeadlineAfter(Real(options_.queryTimeout));
  std::string line;
  std::array<char, kReceiveChunk> chunk;
  for (;;) {
    std::size_t got = 0;
    switch (c->socket.Receive(chunk.data(), chunk.size(), got, deadline)) {
      case net::IoResult::Done:
        break;
      case net::IoResult::TimedOut:
        c->reopen = true;
        Fail(SocketName(socket) + ": no answer within " + Milliseconds(options_.queryTimeout));
        return;
      case net::IoResult::PeerClosed:
        c->socket.Close();
        Fail(SocketName(socket) + ": the peer closed the connection before answering");
        return;
      case net::IoResult::Failed:
        Fail(SocketName(socket) + ": " + net::LastSocketErrorText());
        return;
    }
    auto end = std::find(chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(got), '\n');
    line.append(chunk.data(), static_cast<std::size_t>(end - chunk.begin()));
    if (line.size() > options_.maxAnswerBytes) {
      c->reopen = true;  // the rest of it would answer the next query
      Fail(SocketName(socket) + ": answer longer than " + std::to_string(options_.maxAnswerBytes) +
           " bytes");
      return;
    }
    if (end != chunk.begin() + static_cast<std::ptrdiff_t>(got)) break;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  answer = std::move(line);
  ok = true;
}

void TcpLanSockets::IsConnected(std::int32_t socket, bool& connected) {
  auto c = Find(socket);
  if (!c) {
    connected = false;
    return;
  }
  std::lock_guard io(c->io);
  // A connection due to be reopened counts as connected: the next write reconnects.
  const net::TcpSocket::PeerState peer = c->socket.Probe();
  connected = c->reopen || peer.connected;
  c->checkedQuiet = !c->reopen && peer.connected && !peer.inputPending;
}

}  // namespace marlin
