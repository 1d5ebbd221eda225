#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "platform/server_sockets.h"

namespace marlin::net {
namespace {

int Fd(SocketId socket) { return static_cast<int>(socket); }

long Outcome(ssize_t moved) {
  if (moved >= 0) return static_cast<long>(moved);
  if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
    return static_cast<long>(Moved::WouldBlock);
  }
  return static_cast<long>(Moved::Failed);
}

}  // namespace

SocketId Listen(const std::string& address, int port, int backlog, int& boundPort,
                const std::string& where) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | AI_PASSIVE;
  addrinfo* found = nullptr;
  const int looked = ::getaddrinfo(address.c_str(), std::to_string(port).c_str(), &hints, &found);
  if (looked != 0) throw std::runtime_error(where + ": " + ::gai_strerror(looked));
  std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> owned(found, &::freeaddrinfo);
  const int fd = ::socket(found->ai_family, found->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error(where + ": " + std::strerror(errno));
  const int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  if (::bind(fd, found->ai_addr, found->ai_addrlen) != 0 || ::listen(fd, backlog) != 0) {
    const int error = errno;
    ::close(fd);
    throw std::runtime_error(where + ": " + std::strerror(error));
  }
  sockaddr_storage bound{};
  socklen_t length = sizeof bound;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length);
  boundPort = ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6&>(bound).sin6_port
                                                : reinterpret_cast<sockaddr_in&>(bound).sin_port);
  return fd;
}

AcceptOutcome AcceptOne(SocketId listener, SocketId& accepted) {
  const int fd = ::accept4(Fd(listener), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd < 0) {
    if (errno == EINTR || errno == ECONNABORTED) return AcceptOutcome::TryAgain;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return AcceptOutcome::NoneWaiting;
    return AcceptOutcome::OutOfResources;
  }
  const int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  accepted = fd;
  return AcceptOutcome::Accepted;
}

void CloseSocket(SocketId socket) {
  if (socket != kNoSocket) ::close(Fd(socket));
}

void ShutdownSending(SocketId socket) { ::shutdown(Fd(socket), SHUT_WR); }

long SendNow(SocketId socket, const char* data, std::size_t size) {
  return Outcome(::send(Fd(socket), data, size, MSG_NOSIGNAL | MSG_DONTWAIT));
}

long ReceiveNow(SocketId socket, char* into, std::size_t capacity) {
  return Outcome(::recv(Fd(socket), into, capacity, MSG_DONTWAIT));
}

bool PollSockets(std::vector<PolledSocket>& sockets, int timeoutMs) {
  std::vector<pollfd> polled;
  polled.reserve(sockets.size());
  for (const PolledSocket& s : sockets) {
    const short events =
        static_cast<short>((s.forReading ? POLLIN : 0) | (s.forWriting ? POLLOUT : 0));
    polled.push_back({Fd(s.socket), events, 0});
  }
  const int ready = ::poll(polled.data(), polled.size(), timeoutMs);
  if (ready < 0 && errno != EINTR) return false;
  for (std::size_t i = 0; i < sockets.size(); ++i) {
    sockets[i].ready = ready > 0 && polled[i].revents != 0;
  }
  return true;
}

bool PeerGone(SocketId socket) {
  pollfd p{Fd(socket), POLLRDHUP, 0};
  return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

WakeUp::WakeUp() {
  int fds[2];
  if (::pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0) {
    throw std::runtime_error(std::string("cannot make a wake-up pipe: ") + std::strerror(errno));
  }
  ends_[0] = fds[0];
  ends_[1] = fds[1];
}

WakeUp::~WakeUp() {
  for (SocketId end : ends_) CloseSocket(end);
}

void WakeUp::Wake() const {
  const char byte = 1;
  [[maybe_unused]] const ssize_t ignored = ::write(Fd(ends_[1]), &byte, 1);
}

void WakeUp::Drain() const {
  char drained[64];
  while (::read(Fd(ends_[0]), drained, sizeof drained) > 0) {
  }
}

}  // namespace marlin::net
