#include "tests/support/loopback_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>

namespace marlin::testing {

LoopbackPeer::LoopbackPeer(Script script) : script_(std::move(script)) {
  listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(address);
  if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      ::listen(listener_, SOMAXCONN) != 0 ||
      ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
      ::pipe(wake_) != 0) {
    throw std::runtime_error("loopback peer: cannot listen");
  }
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { Serve(); });
}

LoopbackPeer::~LoopbackPeer() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  char wake = 0;
  (void)!::write(wake_[1], &wake, 1);
  thread_.join();
  for (auto& c : clients_) ::close(c.fd);
  ::close(listener_);
  ::close(wake_[0]);
  ::close(wake_[1]);
}

std::string LoopbackPeer::Received() const {
  std::lock_guard lock(mutex_);
  return received_;
}

bool LoopbackPeer::AwaitReceived(std::size_t count, std::chrono::milliseconds limit) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, limit, [&] { return received_.size() >= count; });
}

std::size_t LoopbackPeer::Connections() const {
  std::lock_guard lock(mutex_);
  return accepted_;
}

bool LoopbackPeer::AwaitAllClosed(std::size_t opened, std::chrono::milliseconds limit) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, limit, [&] { return accepted_ >= opened && clients_.empty(); });
}

std::size_t LoopbackPeer::ReleaseHeld() {
  std::lock_guard lock(mutex_);
  for (auto& [fd, bytes] : held_) (void)!::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
  std::size_t released = held_.size();
  held_.clear();
  return released;
}

void LoopbackPeer::Handle(Client& client, const char* data, std::size_t size) {
  client.partial.append(data, size);
  for (auto end = client.partial.find('\n'); end != std::string::npos;
       end = client.partial.find('\n')) {
    std::string line = client.partial.substr(0, end + 1);
    client.partial.erase(0, end + 1);
    PeerReply reply = script_(line);
    if (reply.hangUp) {
      ::shutdown(client.fd, SHUT_RDWR);
      return;
    }
    if (reply.hold) {
      held_.emplace_back(client.fd, reply.bytes);
    } else if (!reply.bytes.empty()) {
      (void)!::send(client.fd, reply.bytes.data(), reply.bytes.size(), MSG_NOSIGNAL);
    }
  }
}

void LoopbackPeer::Serve() {
  for (;;) {
    std::vector<pollfd> fds{{wake_[0], POLLIN, 0}, {listener_, POLLIN, 0}};
    {
      std::lock_guard lock(mutex_);
      if (stopping_) return;
      for (auto& c : clients_) fds.push_back({c.fd, POLLIN, 0});
    }
    if (::poll(fds.data(), fds.size(), -1) < 0) continue;
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    if (fds[1].revents & POLLIN) {
      int fd = ::accept(listener_, nullptr, nullptr);
      if (fd >= 0) {
        clients_.push_back({fd, {}});
        ++accepted_;
      }
    }
    for (std::size_t i = 2; i < fds.size(); ++i) {
      if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      auto it = std::find_if(clients_.begin(), clients_.end(),
                             [&](const Client& c) { return c.fd == fds[i].fd; });
      char buffer[4096];
      auto n = ::recv(fds[i].fd, buffer, sizeof(buffer), 0);
      if (n <= 0) {
        ::close(it->fd);
        std::erase_if(held_, [&](const auto& h) { return h.first == it->fd; });
        clients_.erase(it);
        continue;
      }
      received_.append(buffer, static_cast<std::size_t>(n));
      Handle(*it, buffer, static_cast<std::size_t>(n));
    }
    changed_.notify_all();
  }
}

}  // namespace marlin::testing
