#pragma once
// The clients of a socket front: the listener, its I/O thread, the limit on clients, and one
// place that closes them all when the front stops.
#include <algorithm>
#include <asio.hpp>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sim/amplifier_config.h"
#include "sim/io_thread.h"

namespace marlin::sim {

// Session needs Start(); the fronts' sessions call Touch(id) when the client sends something and
// Forget(id) when they close.
template <class Session>
class ClientSessions {
 public:
  using Make = std::function<std::shared_ptr<Session>(asio::ip::tcp::socket, int id)>;
  using Refused = std::function<void(int id)>;
  using Close = std::function<void(Session&)>;
  // Real time, not the simulator's clock: the slots are a resource of this process.
  using Idle = std::chrono::steady_clock::duration;

  ClientSessions() = default;
  ClientSessions(const ClientSessions&) = delete;
  ClientSessions& operator=(const ClientSessions&) = delete;

  std::uint16_t Port() const { return port_; }
  std::size_t Count() const { return count_; }

  // Listens on address:port (0 picks a free port), then accepts on the front's own thread.
  // `closeIdle` closes a session that has sent nothing for `idle`.
  void Start(const std::string& address, std::uint16_t port, Make make, Refused refused,
             Close closeIdle, Idle idle) {
    Listen(acceptor_, address, port);
    port_ = acceptor_.local_endpoint().port();
    make_ = std::move(make);
    refused_ = std::move(refused);
    closeIdle_ = std::move(closeIdle);
    idle_ = idle;
    Accept();
    SweepLater();
    io_.Start();
  }

  // I/O thread only.
  void Touch(int id) {
    if (auto it = lastHeard_.find(id); it != lastHeard_.end()) {
      it->second = std::chrono::steady_clock::now();
    }
  }

  // I/O thread only.
  void Forget(int id) {
    sessions_.erase(id);
    lastHeard_.erase(id);
    count_ = sessions_.size();
  }

  // Closes the listener and every session (with `close`), then joins the thread. Idempotent.
  void Stop(const std::function<void(Session&)>& close) {
    std::lock_guard lock(stopMutex_);
    if (stopped_) return;
    stopped_ = true;
    io_.RunAndWait([&] {
      asio::error_code ignored;
      acceptor_.close(ignored);
      retry_.cancel();
      sweep_.cancel();
      auto sessions = sessions_;  // closing a session forgets it
      for (auto& [id, weak] : sessions)
        if (auto session = weak.lock()) close(*session);
    });
    io_.Join();
  }

 private:
  void SweepLater() {
    const Idle every = std::max<Idle>(idle_ / 4, std::chrono::milliseconds(5));
    sweep_.expires_after(every);
    sweep_.async_wait([this](asio::error_code ec) {
      if (ec || !acceptor_.is_open()) return;
      const auto now = std::chrono::steady_clock::now();
      std::vector<std::shared_ptr<Session>> quiet;
      for (const auto& [id, heard] : lastHeard_) {
        if (now - heard < idle_) continue;
        if (auto session = sessions_[id].lock()) quiet.push_back(session);
      }
      for (auto& session : quiet) closeIdle_(*session);
      SweepLater();
    });
  }

  void Accept() {
    acceptor_.async_accept([this](asio::error_code ec, asio::ip::tcp::socket socket) {
      if (ec == asio::error::operation_aborted || !acceptor_.is_open()) return;
      if (ec) {
        // Out of descriptors or similar: try again shortly rather than spin.
        retry_.expires_after(std::chrono::milliseconds(10));
        retry_.async_wait([this](asio::error_code e) {
          if (!e) Accept();
        });
        return;
      }
      const int id = ++nextId_;
      if (sessions_.size() >= kMaxClientsPerFront) {
        if (refused_) refused_(id);
        asio::error_code ignored;
        socket.close(ignored);
      } else {
        auto session = make_(std::move(socket), id);
        sessions_[id] = session;
        lastHeard_[id] = std::chrono::steady_clock::now();
        count_ = sessions_.size();
        session->Start();
      }
      Accept();
    });
  }

  IoThread io_;  // first: the listener and timer below belong to its context
  asio::ip::tcp::acceptor acceptor_{io_.Context()};
  asio::steady_timer retry_{io_.Context()};
  asio::steady_timer sweep_{io_.Context()};
  std::uint16_t port_ = 0;
  Make make_;
  Refused refused_;
  Close closeIdle_;
  Idle idle_{kDefaultIdleClientTimeout};
  std::map<int, std::weak_ptr<Session>> sessions_;                  // I/O thread only
  std::map<int, std::chrono::steady_clock::time_point> lastHeard_;  // I/O thread only
  std::atomic<std::size_t> count_{0};
  int nextId_ = 0;
  std::mutex stopMutex_;
  bool stopped_ = false;
};

}  // namespace marlin::sim
