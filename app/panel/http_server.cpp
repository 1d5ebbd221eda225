#include "app/panel/http_server.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>

#include "app/panel/http_message.h"
#include "platform/server_sockets.h"

namespace marlin::panel {
namespace {

using namespace std::chrono_literals;
using net::SocketId;
using SteadyClock = std::chrono::steady_clock;

constexpr int kRequestTimeout = 408;
constexpr int kContentTooLarge = 413;
constexpr int kHeadTooLarge = 431;
constexpr int kInternalError = 500;
constexpr int kUnavailable = 503;
constexpr int kBacklog = 512;
constexpr std::size_t kReadPiece = 4096;
// After a refusal the client may still be sending; what it sends is read and dropped for this
// long, so closing does not reset the connection before the refusal is read.
constexpr auto kDrainAfterRefusal = 1s;
constexpr auto kLongestPoll = 60s;
constexpr auto kAcceptPause = 100ms;
constexpr std::string_view kHeadEnd = "\r\n\r\n";
constexpr std::string_view kContinue = "HTTP/1.1 100 Continue\r\n\r\n";

int Milliseconds(SteadyClock::duration span) {
  return static_cast<int>(
      std::clamp<std::int64_t>(std::chrono::ceil<std::chrono::milliseconds>(span).count(), 0,
                               std::chrono::milliseconds(kLongestPoll).count()));
}

// Sends everything by `deadline`; false when the client is gone or does not take it in time.
bool WriteAll(SocketId fd, std::string_view data, SteadyClock::time_point deadline) {
  while (!data.empty()) {
    const long sent = net::SendNow(fd, data.data(), data.size());
    if (sent > 0) {
      data.remove_prefix(static_cast<std::size_t>(sent));
      continue;
    }
    if (sent == static_cast<long>(net::Moved::WouldBlock)) {
      const auto left = deadline - SteadyClock::now();
      if (left <= 0s) return false;
      std::vector<net::PolledSocket> writable{{fd, false, true}};
      if (!net::PollSockets(writable, Milliseconds(left))) return false;
      continue;
    }
    return false;
  }
  return true;
}

// The client hung up (it has nothing more to send and reads nothing).
bool ClientGone(SocketId fd) { return net::PeerGone(fd); }

std::string Chunk(std::string_view piece) {
  char size[20];
  const int n = std::snprintf(size, sizeof size, "%zx\r\n", piece.size());
  std::string chunk(size, static_cast<std::size_t>(n));
  chunk.append(piece);
  chunk += "\r\n";
  return chunk;
}

struct Connection {
  explicit Connection(SocketId socket) : fd(socket) {}
  ~Connection() { net::CloseSocket(fd); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  SocketId fd;
  std::string buffer;                                  // received, not yet taken as a request
  SteadyClock::time_point since = SteadyClock::now();  // accepted or last answered
  std::optional<SteadyClock::time_point> firstByte;    // of the request now arriving
  bool ended = false;                                  // the client sends no more
  bool continued = false;                              // "100 Continue" sent for it
  std::optional<SteadyClock::time_point> drainUntil;   // refused: closing
};

enum class Fate { Keep, Close, Handed };

}  // namespace

struct HttpServer::State : std::enable_shared_from_this<HttpServer::State> {
  Handler handler;
  HttpRefusal refusal;
  HttpLimits limits;
  SocketId listener = net::kNoSocket;
  std::optional<net::WakeUp> wake;

  std::mutex mutex;
  std::condition_variable handlersDone;
  std::vector<std::unique_ptr<Connection>> returned;  // kept alive after an answer
  std::size_t handlers = 0;
  bool stopping = false;
  SteadyClock::time_point acceptAgainAt;  // the gate thread's only

  ~State() { net::CloseSocket(listener); }

  void Wake() const { wake->Wake(); }

  void Accept(std::vector<std::unique_ptr<Connection>>& open) {
    for (;;) {
      SocketId fd = net::kNoSocket;
      const net::AcceptOutcome outcome = net::AcceptOne(listener, fd);
      if (outcome == net::AcceptOutcome::TryAgain) continue;
      if (outcome == net::AcceptOutcome::NoneWaiting) return;
      if (outcome == net::AcceptOutcome::OutOfResources) {
        // No descriptor left: the listener stays readable, so it rests a while instead of
        // spinning.
        acceptAgainAt = SteadyClock::now() + kAcceptPause;
        return;
      }
      std::size_t held = 0;
      {
        std::lock_guard lock(mutex);
        held = handlers + returned.size();
      }
      if (open.size() + held >= limits.mostConnections) {
        net::CloseSocket(fd);
        continue;
      }
      open.push_back(std::make_unique<Connection>(fd));
    }
  }

  void Receive(Connection& c) const {
    char piece[kReadPiece];
    for (;;) {
      const long got = net::ReceiveNow(c.fd, piece, sizeof piece);
      if (got == static_cast<long>(net::Moved::WouldBlock)) return;
      if (got <= 0) {
        c.ended = true;
        return;
      }
      if (c.drainUntil) continue;
      if (!c.firstByte) c.firstByte = SteadyClock::now();
      c.buffer.append(piece, static_cast<std::size_t>(got));
      // Enough to refuse whatever this is; the rest waits in the socket.
      if (c.buffer.size() > limits.largestHead + limits.largestBody) return;
    }
  }

  Fate Refuse(Connection& c, int status, const std::string& message) const {
    HttpResponse response;
    response.status = status;
    response.body = refusal(message);
    const std::string text = ResponseHead(response, response.body.size(), false) + response.body;
    net::SendNow(c.fd, text.data(), text.size());
    net::ShutdownSending(c.fd);
    c.buffer.clear();
    c.drainUntil = SteadyClock::now() + kDrainAfterRefusal;
    return Fate::Keep;
  }

  std::string WholeRequestText() const {
    return "the request did not arrive whole within " +
           std::to_string(limits.wholeRequest.count()) + " ms of its first byte";
  }

  Fate Examine(std::unique_ptr<Connection>& held, SteadyClock::time_point now) {
    Connection& c = *held;
    if (c.drainUntil) return c.ended || now >= *c.drainUntil ? Fate::Close : Fate::Keep;
    if (c.buffer.empty()) {
      return c.ended || now - c.since >= limits.idle ? Fate::Close : Fate::Keep;
    }
    const bool late = c.firstByte && now - *c.firstByte >= limits.wholeRequest;
    const std::size_t headEnd = c.buffer.find(kHeadEnd);
    if (headEnd == std::string::npos) {
      if (c.buffer.size() > limits.largestHead) {
        return Refuse(
            c, kHeadTooLarge,
            "the request's head is larger than " + std::to_string(limits.largestHead) + " bytes");
      }
      if (c.ended) return Fate::Close;
      return late ? Refuse(c, kRequestTimeout, WholeRequestText()) : Fate::Keep;
    }
    const std::size_t bodyStart = headEnd + kHeadEnd.size();
    if (bodyStart > limits.largestHead) {
      return Refuse(
          c, kHeadTooLarge,
          "the request's head is larger than " + std::to_string(limits.largestHead) + " bytes");
    }
    auto parsed = ParseRequestHead(std::string_view(c.buffer).substr(0, bodyStart));
    if (const auto* refused = std::get_if<HeadRefusal>(&parsed)) {
      return Refuse(c, refused->status, refused->message);
    }
    RequestHead& head = std::get<RequestHead>(parsed);
    if (head.contentLength > limits.largestBody) {
      return Refuse(c, kContentTooLarge,
                    "the body is larger than " + std::to_string(limits.largestBody) + " bytes");
    }
    if (c.buffer.size() - bodyStart < head.contentLength) {
      if (c.ended) return Fate::Close;
      if (late) return Refuse(c, kRequestTimeout, WholeRequestText());
      if (head.expectContinue && !c.continued) {
        c.continued = true;
        net::SendNow(c.fd, kContinue.data(), kContinue.size());
      }
      return Fate::Keep;
    }
    head.request.body = c.buffer.substr(bodyStart, head.contentLength);
    c.buffer.erase(0, bodyStart + head.contentLength);
    c.continued = false;
    // A request sent right behind this one began arriving already.
    c.firstByte = c.buffer.empty() ? std::nullopt : std::optional(now);
    return Dispatch(held, std::move(head));
  }

  Fate Dispatch(std::unique_ptr<Connection>& held, RequestHead head) {
    {
      std::lock_guard lock(mutex);
      if (handlers >= limits.mostHandlers) {
        return Refuse(*held, kUnavailable, "the panel is answering too many requests at once");
      }
      ++handlers;
    }
    try {
      std::thread([self = shared_from_this(), connection = std::move(held),
                   head = std::move(head)]() mutable {
        self->Answer(std::move(connection), head.request, head.keepAlive);
      }).detach();
    } catch (const std::system_error&) {
      {
        std::lock_guard lock(mutex);
        --handlers;
      }
      handlersDone.notify_all();
      if (!held) return Fate::Close;
      return Refuse(*held, kUnavailable, "the panel cannot start another request");
    }
    return Fate::Handed;
  }

  void Answer(std::unique_ptr<Connection> c, const HttpRequest& request, bool keepAlive) {
    HttpResponse response;
    try {
      handler(request, response);
    } catch (...) {
      response = HttpResponse{};
      response.status = kInternalError;
      response.body = refusal("the panel could not answer this request");
    }
    bool reuse = keepAlive && !response.stream;
    if (response.stream) {
      bool open = WriteAll(c->fd, ResponseHead(response, std::nullopt, false),
                           SteadyClock::now() + limits.write);
      const HttpResponse::Write write = [&](std::string_view piece) {
        if (piece.empty()) return !ClientGone(c->fd);
        return WriteAll(c->fd, Chunk(piece), SteadyClock::now() + limits.write);
      };
      while (open && response.stream(write)) open = !ClientGone(c->fd);
      if (open) WriteAll(c->fd, "0\r\n\r\n", SteadyClock::now() + limits.write);
      if (response.streamEnded) response.streamEnded();
    } else {
      const std::string& body = response.sharedBody ? *response.sharedBody : response.body;
      const auto deadline = SteadyClock::now() + limits.write;
      reuse = WriteAll(c->fd, ResponseHead(response, body.size(), keepAlive), deadline) &&
              WriteAll(c->fd, body, deadline) && reuse;
    }
    c->since = SteadyClock::now();
    {
      std::lock_guard lock(mutex);
      --handlers;
      if (reuse && !stopping) {
        returned.push_back(std::move(c));
        Wake();
      }
    }
    handlersDone.notify_all();
  }

  bool Gate() {
    std::vector<std::unique_ptr<Connection>> open;
    std::vector<net::PolledSocket> polled;
    for (;;) {
      {
        std::lock_guard lock(mutex);
        if (stopping) {
          net::CloseSocket(listener);
          listener = net::kNoSocket;
          return true;
        }
        for (auto& c : returned) open.push_back(std::move(c));
        returned.clear();
      }
      SteadyClock::time_point now = SteadyClock::now();
      SteadyClock::time_point next = now + kLongestPoll;
      const bool accepting = now >= acceptAgainAt;
      if (!accepting) next = std::min(next, acceptAgainAt);
      polled.assign({{wake->ReadingEnd(), true, false}, {listener, accepting, false}});
      for (const auto& c : open) {
        polled.push_back({c->fd, true, false});
        if (c->drainUntil) {
          next = std::min(next, *c->drainUntil);
        } else if (c->firstByte) {
          next = std::min(next, *c->firstByte + limits.wholeRequest);
        } else {
          next = std::min(next, c->since + limits.idle);
        }
      }
      // A connection handed back may hold its next request already: look at once.
      const bool pending = std::any_of(open.begin(), open.end(), [](const auto& c) {
        return !c->buffer.empty() && !c->drainUntil;
      });
      const int timeout = pending ? 0 : Milliseconds(next - now);
      if (!net::PollSockets(polled, timeout)) return false;
      if (polled[0].ready) wake->Drain();
      const std::size_t polledOpen = open.size();
      if (polled[1].ready) Accept(open);
      for (std::size_t i = 0; i < polledOpen; ++i) {
        if (polled[i + 2].ready) Receive(*open[i]);
      }
      now = SteadyClock::now();
      for (auto& c : open) {
        if (Examine(c, now) == Fate::Close) c.reset();
      }
      std::erase(open, nullptr);
    }
  }
};

HttpServer::HttpServer(Handler handler, HttpRefusal refusal, HttpLimits limits)
    : state_(std::make_shared<State>()) {
  state_->handler = std::move(handler);
  state_->refusal = std::move(refusal);
  state_->limits = limits;
  try {
    state_->wake.emplace();
  } catch (const std::runtime_error& e) {
    throw std::runtime_error(std::string("the panel ") + e.what());
  }
}

HttpServer::~HttpServer() { Stop(); }

int HttpServer::Bind(const std::string& address, int port) {
  const std::string where = "cannot listen on " + address + " port " + std::to_string(port);
  int bound = 0;
  state_->listener = net::Listen(address, port, kBacklog, bound, where);
  return bound;
}

bool HttpServer::Serve() {
  if (state_->listener == net::kNoSocket) return false;
  return state_->Gate();
}

void HttpServer::Stop() {
  State& s = *state_;
  std::unique_lock lock(s.mutex);
  s.stopping = true;
  s.returned.clear();
  s.Wake();
  // A handler that does not end is left behind; its state stays alive with it.
  s.handlersDone.wait_for(lock, s.limits.write + 1s, [&] { return s.handlers == 0; });
}

}  // namespace marlin::panel
