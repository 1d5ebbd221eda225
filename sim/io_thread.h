#pragma once
// An Asio I/O context served by one thread of its own, and helpers the socket fronts share.
#include <asio.hpp>
#include <chrono>
#include <future>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

#include "clock/clock.h"

namespace marlin::sim {

class IoThread {
 public:
  IoThread() = default;
  ~IoThread() { Join(); }
  IoThread(const IoThread&) = delete;
  IoThread& operator=(const IoThread&) = delete;

  asio::io_context& Context() { return io_; }
  void Start() {
    thread_ = std::thread([this] { io_.run(); });
  }
  void Join() {
    if (!thread_.joinable()) return;
    work_.reset();
    io_.stop();
    thread_.join();
  }
  // Runs `task` on the I/O thread and waits for it.
  template <class Task>
  void RunAndWait(Task task) {
    if (!thread_.joinable() || std::this_thread::get_id() == thread_.get_id()) {
      task();
      return;
    }
    std::promise<void> done;
    asio::post(io_, [&] {
      task();
      done.set_value();
    });
    done.get_future().wait();
  }

 private:
  asio::io_context io_;
  std::optional<asio::executor_work_guard<asio::io_context::executor_type>> work_{
      asio::make_work_guard(io_)};
  std::thread thread_;
};

// Real time until `due` on `clock`. A clock that does not run by itself (a virtual clock) is
// polled every millisecond: its time moves when the client's own waits advance it.
inline std::chrono::nanoseconds RealWaitUntil(const Clock& clock, Clock::Duration due) {
  using namespace std::chrono_literals;
  const Clock::Duration remaining = due - clock.Now();
  if (remaining <= Clock::Duration::zero()) return 0ns;
  const Clock::Duration real = clock.RealSpan(remaining);
  return real > Clock::Duration::zero() ? real : std::chrono::nanoseconds(1ms);
}

// Throws std::invalid_argument for a text that is no IPv4 or IPv6 address.
inline asio::ip::address ParseBindAddress(const std::string& text) {
  asio::error_code ec;
  auto address = asio::ip::make_address(text, ec);
  if (ec) throw std::invalid_argument("bind address \"" + text + "\": not an IP address");
  return address;
}

// An acceptor listening on address:port; std::system_error naming both when that fails.
inline void Listen(asio::ip::tcp::acceptor& acceptor, const std::string& address,
                   std::uint16_t port) {
  const asio::ip::tcp::endpoint endpoint(ParseBindAddress(address), port);
  asio::error_code ec;
  acceptor.open(endpoint.protocol(), ec);
  if (!ec) acceptor.set_option(asio::socket_base::reuse_address(true), ec);
  if (!ec) acceptor.bind(endpoint, ec);
  if (!ec) acceptor.listen(asio::socket_base::max_listen_connections, ec);
  if (ec) throw std::system_error(ec, "cannot listen on " + address + ":" + std::to_string(port));
}

}  // namespace marlin::sim
