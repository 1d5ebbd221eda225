#include "platform/visa_builtin.h"

#include <array>
#include <limits>
#include <string_view>
#include <vector>

#include "io/visa_status.h"
#include "platform/visa_resource.h"

namespace marlin {
namespace {

namespace vs = visa_status;

// The VISA standard's defaults for a new socket session.
constexpr std::uint32_t kDefaultTimeoutMs = 2000;
constexpr char kDefaultTermChar = '\n';
constexpr std::size_t kReceiveChunk = 4096;

bool IsBoolean(std::uint64_t value) {
  return value == visa_attr::kTrue || value == visa_attr::kFalse;
}

}  // namespace

struct BuiltinVisa::Session {
  bool isManager = false;
  ViSession manager = 0;
  std::mutex io;
  net::TcpSocket socket;
  SocketResource target;
  bool lost = false;
  // The last read timed out: its answer may still come on this connection.
  bool reopen = false;
  bool termCharEnabled = false;
  char termChar = kDefaultTermChar;
  bool suppressEnd = false;
  std::uint32_t timeoutMs = kDefaultTimeoutMs;
  // Received but not yet delivered to a read.
  std::string pending;
  std::size_t pendingAt = 0;

  void DropPending() {
    pending.clear();
    pendingAt = 0;
  }
  ViStatus Lose() {
    lost = true;
    socket.Close();
    DropPending();
    return vs::kErrorConnectionLost;
  }
};

BuiltinVisa::BuiltinVisa(BuiltinVisaOptions options) : options_(std::move(options)) {}
BuiltinVisa::~BuiltinVisa() = default;

std::shared_ptr<BuiltinVisa::Session> BuiltinVisa::Find(ViSession vi) const {
  std::lock_guard lock(mutex_);
  auto it = sessions_.find(vi);
  return it == sessions_.end() ? nullptr : it->second;
}

ViSession BuiltinVisa::NextId() {
  do {
    lastId_ = lastId_ == std::numeric_limits<ViSession>::max() ? 1 : lastId_ + 1;
  } while (sessions_.count(lastId_) != 0);
  return lastId_;
}

std::chrono::nanoseconds BuiltinVisa::Span(std::uint32_t ms) const {
  const std::chrono::nanoseconds span = std::chrono::milliseconds(ms);
  return options_.realSpan ? options_.realSpan(span) : span;
}

// A failed reconnection is tried again at the next write.
ViStatus BuiltinVisa::Reopen(Session& s) const {
  s.socket.Close();
  s.DropPending();
  std::string error;
  s.socket = net::TcpSocket::Connect(s.target.host, s.target.port,
                                     net::DeadlineAfter(Span(s.timeoutMs)), error);
  if (!s.socket.IsOpen()) return vs::kErrorConnectionLost;
  s.reopen = false;
  return vs::kSuccess;
}

std::size_t BuiltinVisa::OpenSessions() const {
  std::lock_guard lock(mutex_);
  return sessions_.size();
}

ViStatus BuiltinVisa::viOpenDefaultRM(ViSession& rm) {
  auto session = std::make_shared<Session>();
  session->isManager = true;
  std::lock_guard lock(mutex_);
  rm = NextId();
  sessions_.emplace(rm, std::move(session));
  return vs::kSuccess;
}

ViStatus BuiltinVisa::viOpen(ViSession rm, const std::string& resource, std::uint32_t accessMode,
                             std::uint32_t openTimeout, ViSession& vi) {
  vi = 0;
  auto manager = Find(rm);
  if (manager == nullptr || !manager->isManager) return vs::kErrorInvalidObject;
  if ((accessMode & ~visa_attr::kAllAccessModes) != 0) return vs::kErrorInvalidAccessMode;
  SocketResource target;
  switch (ParseResource(resource, target)) {
    case ResourceKind::Malformed:
      return vs::kErrorInvalidResourceName;
    case ResourceKind::OtherClass:
      return vs::kErrorResourceNotFound;
    case ResourceKind::Socket:
      break;
  }
  std::string error;
  auto socket = net::TcpSocket::Connect(
      target.host, target.port,
      net::DeadlineAfter(Span(openTimeout > 0 ? openTimeout : kDefaultTimeoutMs)), error);
  if (!socket.IsOpen()) return vs::kErrorResourceNotFound;

  auto session = std::make_shared<Session>();
  session->manager = rm;
  session->socket = std::move(socket);
  session->target = std::move(target);
  std::lock_guard lock(mutex_);
  if (sessions_.count(rm) == 0) return vs::kErrorInvalidObject;  // closed meanwhile
  vi = NextId();
  sessions_.emplace(vi, std::move(session));
  return vs::kSuccess;
}

ViStatus BuiltinVisa::viSetAttribute(ViSession vi, ViAttr attribute, std::uint64_t value) {
  auto s = Find(vi);
  if (s == nullptr) return vs::kErrorInvalidObject;
  if (s->isManager) return vs::kErrorAttributeNotSupported;
  std::lock_guard io(s->io);
  switch (attribute) {
    case visa_attr::kTermCharEn:
      if (!IsBoolean(value)) return vs::kErrorAttributeStateNotSupported;
      s->termCharEnabled = value == visa_attr::kTrue;
      return vs::kSuccess;
    case visa_attr::kTermChar:
      if (value > 0xFF) return vs::kErrorAttributeStateNotSupported;
      s->termChar = static_cast<char>(static_cast<unsigned char>(value));
      return vs::kSuccess;
    case visa_attr::kSuppressEndEn:
      if (!IsBoolean(value)) return vs::kErrorAttributeStateNotSupported;
      s->suppressEnd = value == visa_attr::kTrue;
      return vs::kSuccess;
    case visa_attr::kTimeoutValue:
      // Every read here ends at a deadline; an infinite timeout is refused, not approximated.
      if (value >= visa_attr::kInfiniteTimeout) return vs::kErrorAttributeStateNotSupported;
      s->timeoutMs = static_cast<std::uint32_t>(value);
      return vs::kSuccess;
    case visa_attr::kTcpNoDelay:
      // Always on: every command goes out at once.
      return value == visa_attr::kTrue ? vs::kSuccess : vs::kErrorAttributeStateNotSupported;
    default:
      return vs::kErrorAttributeNotSupported;
  }
}

ViStatus BuiltinVisa::viClear(ViSession vi) {
  auto s = Find(vi);
  if (s == nullptr) return vs::kErrorInvalidObject;
  if (s->isManager) return vs::kErrorNotSupportedOperation;
  std::lock_guard io(s->io);
  if (s->lost) return vs::kErrorConnectionLost;
  s->DropPending();
  if (s->socket.DiscardPending() == net::IoResult::PeerClosed) return s->Lose();
  return vs::kSuccess;
}

ViStatus BuiltinVisa::viClose(ViSession vi) {
  if (vi == 0) return vs::kWarningNullObject;
  std::vector<std::shared_ptr<Session>> closing;
  {
    std::lock_guard lock(mutex_);
    auto it = sessions_.find(vi);
    if (it == sessions_.end()) return vs::kErrorInvalidObject;
    // Closing a resource manager closes every session it opened.
    if (it->second->isManager) {
      for (auto s = sessions_.begin(); s != sessions_.end();) {
        if (!s->second->isManager && s->second->manager == vi) {
          closing.push_back(std::move(s->second));
          s = sessions_.erase(s);
        } else {
          ++s;
        }
      }
    }
    closing.push_back(std::move(sessions_.at(vi)));
    sessions_.erase(vi);
  }
  for (auto& s : closing) {
    std::lock_guard io(s->io);  // let a read on another thread finish first
    s->socket.Close();
  }
  return vs::kSuccess;
}

ViStatus BuiltinVisa::viWrite(ViSession vi, const std::string& bytes, std::uint32_t count,
                              std::uint32_t& written) {
  written = 0;
  auto s = Find(vi);
  if (s == nullptr || s->isManager) return vs::kErrorInvalidObject;
  if (count > bytes.size()) return vs::kErrorUserBuffer;
  std::lock_guard io(s->io);
  if (s->lost) return vs::kErrorConnectionLost;
  if (s->reopen) {
    if (ViStatus status = Reopen(*s); status != vs::kSuccess) return status;
  }
  // Whatever is still pending answered an earlier query; it must not answer this one.
  if (options_.dropPendingOnWrite) {
    s->DropPending();
    if (s->socket.DiscardPending() == net::IoResult::PeerClosed) return s->Lose();
  }
  switch (s->socket.Send(std::string_view(bytes.data(), count),
                         net::DeadlineAfter(Span(s->timeoutMs)))) {
    case net::IoResult::Done:
      written = count;
      return vs::kSuccess;
    case net::IoResult::TimedOut:
      return vs::kErrorTimeout;
    case net::IoResult::PeerClosed:
      return s->Lose();
    case net::IoResult::Failed:
      break;
  }
  return vs::kErrorIo;
}

ViStatus BuiltinVisa::viRead(ViSession vi, std::string& buffer, std::uint32_t count,
                             std::uint32_t& read) {
  read = 0;
  auto s = Find(vi);
  if (s == nullptr || s->isManager) return vs::kErrorInvalidObject;
  if (count > buffer.size()) return vs::kErrorUserBuffer;
  std::lock_guard io(s->io);
  if (s->lost) return vs::kErrorConnectionLost;
  if (count == 0) return vs::kSuccess;
  const net::Deadline deadline = net::DeadlineAfter(Span(s->timeoutMs));
  std::array<char, kReceiveChunk> chunk;
  for (;;) {
    while (s->pendingAt < s->pending.size()) {
      char c = s->pending[s->pendingAt++];
      buffer[read++] = c;
      if (s->termCharEnabled && c == s->termChar) return vs::kSuccessTermChar;
      if (read == count) return vs::kSuccessMaxCount;
    }
    s->DropPending();
    // END: the peer's burst is over and nothing more has arrived.
    if (read > 0 && !s->suppressEnd && !s->socket.InputPending()) return vs::kSuccess;
    std::size_t got = 0;
    switch (s->socket.Receive(chunk.data(), chunk.size(), got, deadline)) {
      case net::IoResult::Done:
        s->pending.assign(chunk.data(), got);
        break;
      case net::IoResult::TimedOut:
        s->reopen = true;
        return vs::kErrorTimeout;
      case net::IoResult::PeerClosed:
        s->Lose();
        return read > 0 ? vs::kSuccess : vs::kErrorConnectionLost;
      case net::IoResult::Failed:
        return vs::kErrorIo;
    }
  }
}

}  // namespace marlin
