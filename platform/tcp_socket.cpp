#include "platform/tcp_socket.h"

#include <algorithm>
#include <array>
#include <climits>
#include <memory>

#ifdef _WIN32
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#endif
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#endif

namespace marlin::net {
namespace {

#ifdef _WIN32
using Native = SOCKET;
using PollFd = WSAPOLLFD;
constexpr int kSendFlags = 0;

struct WinsockSession {
  WinsockSession() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  }
  ~WinsockSession() { WSACleanup(); }
};

void EnsureSockets() { static WinsockSession session; }
int LastError() { return WSAGetLastError(); }
bool WouldBlock(int e) { return e == WSAEWOULDBLOCK || e == WSAEINPROGRESS; }
bool HungUp(int e) {
  return e == WSAECONNRESET || e == WSAECONNABORTED || e == WSAESHUTDOWN || e == WSAENOTCONN;
}
bool Interrupted(int e) { return e == WSAEINTR; }
int PollOnce(PollFd* fds, int timeoutMs) { return WSAPoll(fds, 1, timeoutMs); }
void CloseNative(Native s) { closesocket(s); }
bool SetNonBlocking(Native s) {
  u_long on = 1;
  return ioctlsocket(s, FIONBIO, &on) == 0;
}
#else
using Native = int;
using PollFd = pollfd;
constexpr int kSendFlags = MSG_NOSIGNAL;
constexpr Native INVALID_SOCKET = -1;

void EnsureSockets() {}
int LastError() { return errno; }
bool WouldBlock(int e) { return e == EAGAIN || e == EWOULDBLOCK || e == EINPROGRESS; }
bool HungUp(int e) { return e == ECONNRESET || e == EPIPE || e == ENOTCONN; }
bool Interrupted(int e) { return e == EINTR; }
int PollOnce(PollFd* fds, int timeoutMs) { return ::poll(fds, 1, timeoutMs); }
void CloseNative(Native s) { ::close(s); }
bool SetNonBlocking(Native s) {
  int flags = ::fcntl(s, F_GETFL, 0);
  return flags >= 0 && ::fcntl(s, F_SETFL, flags | O_NONBLOCK) == 0;
}
#endif

Native AsNative(std::intptr_t handle) { return static_cast<Native>(handle); }

// Milliseconds left until the deadline, rounded up so a wait never ends early.
int MillisecondsLeft(Deadline deadline) {
  auto left = deadline - std::chrono::steady_clock::now();
  if (left <= std::chrono::steady_clock::duration::zero()) return 0;
  auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
  return static_cast<int>(std::min<long long>(ms, INT_MAX));
}

// Waits for `events`; 1 ready, 0 deadline passed, -1 failure.
int PollUntil(Native s, short events, Deadline deadline, short& revents) {
  for (;;) {
    PollFd fd{};
    fd.fd = s;
    fd.events = events;
    int n = PollOnce(&fd, MillisecondsLeft(deadline));
    if (n > 0) {
      revents = fd.revents;
      return 1;
    }
    if (n == 0) {
      if (MillisecondsLeft(deadline) == 0) return 0;
      continue;
    }
    if (!Interrupted(LastError())) return -1;
  }
}

// A non-blocking connect finished: 1 connected, 0 deadline passed, -1 refused or failed.
int AwaitConnect(Native s, Deadline deadline) {
#ifdef _WIN32
  // WSAPoll misses failed connects on older Windows; select does not.
  for (;;) {
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(s, &writable);
    FD_SET(s, &failed);
    int ms = MillisecondsLeft(deadline);
    timeval tv{ms / 1000, (ms % 1000) * 1000};
    int n = select(0, nullptr, &writable, &failed, &tv);
    if (n == 0) {
      if (MillisecondsLeft(deadline) == 0) return 0;
      continue;
    }
    if (n < 0) return -1;
    break;
  }
#else
  short revents = 0;
  int ready = PollUntil(s, POLLOUT, deadline, revents);
  if (ready <= 0) return ready;
#endif
  int error = 0;
  socklen_t length = sizeof(error);
  if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0) {
    return -1;
  }
  if (error != 0) {
#ifdef _WIN32
    WSASetLastError(error);
#else
    errno = error;
#endif
    return -1;
  }
  return 1;
}

struct AddrInfoDeleter {
  void operator()(addrinfo* list) const { freeaddrinfo(list); }
};

}  // namespace

std::string LastSocketErrorText() {
#ifdef _WIN32
  int code = WSAGetLastError();
  char* text = nullptr;
  DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string out = n > 0 && text ? std::string(text, n) : "socket error " + std::to_string(code);
  if (text) LocalFree(text);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
#else
  return std::strerror(errno);
#endif
}

TcpSocket::~TcpSocket() { Close(); }

TcpSocket::TcpSocket(TcpSocket&& other) noexcept : handle_(other.handle_) { other.handle_ = kNone; }

TcpSocket& TcpSocket::operator=(TcpSocket&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = other.handle_;
    other.handle_ = kNone;
  }
  return *this;
}

bool TcpSocket::IsOpen() const { return handle_ != kNone; }

void TcpSocket::Close() {
  if (handle_ != kNone) {
    CloseNative(AsNative(handle_));
    handle_ = kNone;
  }
}

TcpSocket TcpSocket::Connect(const std::string& host, std::uint16_t port, Deadline deadline,
                             std::string& error) {
  EnsureSockets();
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* found = nullptr;
  int rc = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
  if (rc != 0) {
    error = "cannot resolve host '" + host + "': " + gai_strerror(rc);
    return {};
  }
  std::unique_ptr<addrinfo, AddrInfoDeleter> list(found);
  error = "no address for host '" + host + "'";
  for (addrinfo* a = list.get(); a != nullptr; a = a->ai_next) {
    Native s = ::socket(a->ai_family, a->ai_socktype, a->ai_protocol);
    if (s == INVALID_SOCKET) {
      error = "cannot create socket: " + LastSocketErrorText();
      continue;
    }
    TcpSocket candidate(static_cast<std::intptr_t>(s));
    if (!SetNonBlocking(s)) {
      error = "cannot make socket non-blocking: " + LastSocketErrorText();
      continue;
    }
    int state = 1;
    if (::connect(s, a->ai_addr, static_cast<socklen_t>(a->ai_addrlen)) != 0) {
      state = WouldBlock(LastError()) ? AwaitConnect(s, deadline) : -1;
    }
    if (state == 0) {
      error = "connection to " + host + ":" + std::to_string(port) + " timed out";
      return {};
    }
    if (state < 0) {
      error =
          "cannot connect to " + host + ":" + std::to_string(port) + ": " + LastSocketErrorText();
      continue;
    }
    int on = 1;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof(on));
    error.clear();
    return candidate;
  }
  return {};
}

IoResult TcpSocket::Send(std::string_view data, Deadline deadline) {
  if (!IsOpen()) return IoResult::Failed;
  Native s = AsNative(handle_);
  while (!data.empty()) {
    auto chunk = static_cast<int>(std::min<std::size_t>(data.size(), INT_MAX));
    auto n = ::send(s, data.data(), chunk, kSendFlags);
    if (n > 0) {
      data.remove_prefix(static_cast<std::size_t>(n));
      continue;
    }
    int e = LastError();
    if (Interrupted(e)) continue;
    if (HungUp(e)) return IoResult::PeerClosed;
    if (!WouldBlock(e)) return IoResult::Failed;
    short revents = 0;
    int ready = PollUntil(s, POLLOUT, deadline, revents);
    if (ready == 0) return IoResult::TimedOut;
    if (ready < 0) return IoResult::Failed;
    if (revents & (POLLERR | POLLHUP)) return IoResult::PeerClosed;
  }
  return IoResult::Done;
}

IoResult TcpSocket::WaitReadable(Deadline deadline) {
  short revents = 0;
  int ready = PollUntil(AsNative(handle_), POLLIN, deadline, revents);
  if (ready == 0) return IoResult::TimedOut;
  if (ready < 0) return IoResult::Failed;
  return IoResult::Done;
}

IoResult TcpSocket::Receive(char* into, std::size_t capacity, std::size_t& received,
                            Deadline deadline) {
  received = 0;
  if (!IsOpen()) return IoResult::Failed;
  // Waiting first saves a read that would find nothing: an answer is rarely there yet.
  for (;;) {
    IoResult waited = WaitReadable(deadline);
    if (waited != IoResult::Done) return waited;
    IoResult got = ReceiveNow(into, capacity, received);
    if (got != IoResult::TimedOut) return got;
  }
}

IoResult TcpSocket::ReceiveNow(char* into, std::size_t capacity, std::size_t& received) {
  received = 0;
  for (;;) {
    auto n = ::recv(AsNative(handle_), into,
                    static_cast<int>(std::min<std::size_t>(capacity, INT_MAX)), 0);
    if (n > 0) {
      received = static_cast<std::size_t>(n);
      return IoResult::Done;
    }
    if (n == 0) return IoResult::PeerClosed;
    int e = LastError();
    if (Interrupted(e)) continue;
    if (HungUp(e)) return IoResult::PeerClosed;
    return WouldBlock(e) ? IoResult::TimedOut : IoResult::Failed;
  }
}

IoResult TcpSocket::DiscardPending() {
  if (!IsOpen()) return IoResult::Failed;
  // A device that never stops talking must not hold the caller here.
  constexpr int kMaxChunks = 64;
  std::array<char, 4096> scratch;
  for (int i = 0; i < kMaxChunks; ++i) {
    std::size_t got = 0;
    IoResult r = ReceiveNow(scratch.data(), scratch.size(), got);
    if (r == IoResult::TimedOut) return IoResult::Done;
    if (r != IoResult::Done) return r;
  }
  return IoResult::Done;
}

bool TcpSocket::InputPending() {
  if (!IsOpen()) return false;
  short revents = 0;
  return PollUntil(AsNative(handle_), POLLIN, std::chrono::steady_clock::now(), revents) == 1;
}

bool TcpSocket::PeerConnected() { return Probe().connected; }

TcpSocket::PeerState TcpSocket::Probe() {
  if (!IsOpen()) return {};
  Native s = AsNative(handle_);
  short revents = 0;
  int ready = PollUntil(s, POLLIN, std::chrono::steady_clock::now(), revents);
  if (ready == 0) return {true, false};
  if (ready < 0) return {};
  char probe = 0;
  auto n = ::recv(s, &probe, 1, MSG_PEEK);
  if (n > 0) return {true, true};
  if (n == 0) return {};
  return {WouldBlock(LastError()), false};
}

}  // namespace marlin::net
