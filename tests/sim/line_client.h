#pragma once
// A blocking loopback TCP client for the simulator tests: every read has a deadline.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace marlin::sim::testing {

using namespace std::chrono_literals;

class LineClient {
 public:
  explicit LineClient(std::uint16_t port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd_ < 0) throw std::runtime_error("socket failed");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      ::close(fd_);
      throw std::runtime_error("connect to 127.0.0.1:" + std::to_string(port) + " failed");
    }
    int one = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  }
  ~LineClient() { ::close(fd_); }
  LineClient(const LineClient&) = delete;
  LineClient& operator=(const LineClient&) = delete;

  void Send(std::string_view bytes) {
    while (!bytes.empty()) {
      const auto n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (n <= 0) throw std::runtime_error("send failed");
      bytes.remove_prefix(static_cast<std::size_t>(n));
    }
  }

  // Up to and including the next "\n"; what arrived so far when the deadline passes first.
  std::string ReadLine(std::chrono::milliseconds timeout = 2s) {
    return ReadUntil([](const std::string& got) { return got.find('\n') != std::string::npos; },
                     timeout);
  }
  // Every byte that arrives within `timeout`.
  std::string ReadFor(std::chrono::milliseconds timeout) {
    return ReadUntil([](const std::string&) { return false; }, timeout);
  }
  std::string Query(std::string_view line, std::chrono::milliseconds timeout = 2s) {
    Send(std::string(line) + "\r\n");
    return ReadLine(timeout);
  }
  // True once the peer has closed the connection (within `timeout`).
  bool ClosedByPeer(std::chrono::milliseconds timeout = 2s) {
    ReadFor(timeout);
    return closed_;
  }

 private:
  template <class Done>
  std::string ReadUntil(Done done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done(pending_) && !closed_) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
      char buffer[4096];
      const auto n = ::recv(fd_, buffer, sizeof buffer, 0);
      if (n <= 0) {
        closed_ = true;
        break;
      }
      pending_.append(buffer, static_cast<std::size_t>(n));
    }
    std::string out;
    const auto newline = pending_.find('\n');
    if (done(pending_) && newline != std::string::npos) {
      out = pending_.substr(0, newline + 1);
      pending_.erase(0, newline + 1);
    } else {
      out.swap(pending_);
    }
    return out;
  }

  int fd_ = -1;
  std::string pending_;
  bool closed_ = false;
};

}  // namespace marlin::sim::testing
