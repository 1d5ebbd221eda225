#include <winsock2.h>
#include <ws2tcpip.h>

#include <memory>
#include <stdexcept>

#include "platform/server_sockets.h"

namespace marlin::net {
namespace {

struct WinsockSession {
  WinsockSession() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  }
  ~WinsockSession() { WSACleanup(); }
  WinsockSession(const WinsockSession&) = delete;
  WinsockSession& operator=(const WinsockSession&) = delete;
};

void EnsureSockets() { static const WinsockSession session; }

SOCKET Native(SocketId socket) { return static_cast<SOCKET>(socket); }

std::string ErrorText(int error) {
  char text[256] = {};
  const DWORD length =
      FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                     static_cast<DWORD>(error), 0, text, sizeof text, nullptr);
  std::string message(text, length);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == '.' || message.back() == ' ')) {
    message.pop_back();
  }
  return message.empty() ? "Winsock error " + std::to_string(error) : message;
}

void MakeNonBlocking(SOCKET s) {
  u_long on = 1;
  ioctlsocket(s, FIONBIO, &on);
}

long Outcome(int moved) {
  if (moved >= 0) return moved;
  const int error = WSAGetLastError();
  if (error == WSAEWOULDBLOCK || error == WSAEINTR) return static_cast<long>(Moved::WouldBlock);
  return static_cast<long>(Moved::Failed);
}

int ClampedSize(std::size_t size) {
  constexpr std::size_t kLargest = 1 << 30;
  return static_cast<int>(size < kLargest ? size : kLargest);
}

}  // namespace

SocketId Listen(const std::string& address, int port, int backlog, int& boundPort,
                const std::string& where) {
  EnsureSockets();
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | AI_PASSIVE;
  addrinfo* found = nullptr;
  const int looked = ::getaddrinfo(address.c_str(), std::to_string(port).c_str(), &hints, &found);
  if (looked != 0) throw std::runtime_error(where + ": " + ErrorText(looked));
  std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> owned(found, &::freeaddrinfo);
  const SOCKET s = ::socket(found->ai_family, found->ai_socktype, found->ai_protocol);
  if (s == INVALID_SOCKET) throw std::runtime_error(where + ": " + ErrorText(WSAGetLastError()));
  // Another program may not take the same port while this one listens on it.
  const BOOL exclusive = TRUE;
  ::setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
               sizeof exclusive);
  if (::bind(s, found->ai_addr, static_cast<int>(found->ai_addrlen)) != 0 ||
      ::listen(s, backlog) != 0) {
    const int error = WSAGetLastError();
    ::closesocket(s);
    throw std::runtime_error(where + ": " + ErrorText(error));
  }
  MakeNonBlocking(s);
  sockaddr_storage bound{};
  int length = sizeof bound;
  ::getsockname(s, reinterpret_cast<sockaddr*>(&bound), &length);
  boundPort = ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6&>(bound).sin6_port
                                                : reinterpret_cast<sockaddr_in&>(bound).sin_port);
  return static_cast<SocketId>(s);
}

AcceptOutcome AcceptOne(SocketId listener, SocketId& accepted) {
  const SOCKET s = ::accept(Native(listener), nullptr, nullptr);
  if (s == INVALID_SOCKET) {
    const int error = WSAGetLastError();
    if (error == WSAEINTR || error == WSAECONNRESET) return AcceptOutcome::TryAgain;
    if (error == WSAEWOULDBLOCK) return AcceptOutcome::NoneWaiting;
    return AcceptOutcome::OutOfResources;
  }
  MakeNonBlocking(s);
  const BOOL on = TRUE;
  ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
  accepted = static_cast<SocketId>(s);
  return AcceptOutcome::Accepted;
}

void CloseSocket(SocketId socket) {
  if (socket != kNoSocket) ::closesocket(Native(socket));
}

void ShutdownSending(SocketId socket) { ::shutdown(Native(socket), SD_SEND); }

long SendNow(SocketId socket, const char* data, std::size_t size) {
  return Outcome(::send(Native(socket), data, ClampedSize(size), 0));
}

long ReceiveNow(SocketId socket, char* into, std::size_t capacity) {
  return Outcome(::recv(Native(socket), into, ClampedSize(capacity), 0));
}

bool PollSockets(std::vector<PolledSocket>& sockets, int timeoutMs) {
  std::vector<WSAPOLLFD> polled;
  polled.reserve(sockets.size());
  for (const PolledSocket& s : sockets) {
    const short events =
        static_cast<short>((s.forReading ? POLLRDNORM : 0) | (s.forWriting ? POLLWRNORM : 0));
    // A socket asked for nothing is left out by WSAPoll's own rule: a negative handle.
    polled.push_back({events != 0 ? Native(s.socket) : INVALID_SOCKET, events, 0});
  }
  const int ready = ::WSAPoll(polled.data(), static_cast<ULONG>(polled.size()), timeoutMs);
  if (ready < 0) return false;
  for (std::size_t i = 0; i < sockets.size(); ++i) {
    sockets[i].ready = ready > 0 && polled[i].revents != 0;
  }
  return true;
}

// Readable with nothing to read, or failed: the peer has gone.
bool PeerGone(SocketId socket) {
  WSAPOLLFD p{Native(socket), POLLRDNORM, 0};
  if (::WSAPoll(&p, 1, 0) <= 0) return false;
  if ((p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) return true;
  char byte = 0;
  return ::recv(Native(socket), &byte, 1, MSG_PEEK) == 0;
}

// Windows has no pipe that WSAPoll waits on: a connected pair of loopback sockets serves.
WakeUp::WakeUp() {
  EnsureSockets();
  int port = 0;
  const SocketId listener = Listen("127.0.0.1", 0, 1, port, "cannot make a wake-up connection");
  const SOCKET writing = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<u_short>(port));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  u_long blocking = 0;
  ioctlsocket(Native(listener), FIONBIO, &blocking);
  const bool connected = writing != INVALID_SOCKET &&
                         ::connect(writing, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0;
  const SOCKET reading = connected ? ::accept(Native(listener), nullptr, nullptr) : INVALID_SOCKET;
  const int error = WSAGetLastError();
  CloseSocket(listener);
  if (reading == INVALID_SOCKET) {
    if (writing != INVALID_SOCKET) ::closesocket(writing);
    throw std::runtime_error("cannot make a wake-up connection: " + ErrorText(error));
  }
  MakeNonBlocking(reading);
  MakeNonBlocking(writing);
  ends_[0] = static_cast<SocketId>(reading);
  ends_[1] = static_cast<SocketId>(writing);
}

WakeUp::~WakeUp() {
  for (SocketId end : ends_) CloseSocket(end);
}

void WakeUp::Wake() const {
  const char byte = 1;
  ::send(Native(ends_[1]), &byte, 1, 0);
}

void WakeUp::Drain() const {
  char drained[64];
  while (::recv(Native(ends_[0]), drained, sizeof drained, 0) > 0) {
  }
}

}  // namespace marlin::net
