#pragma once
// The stand-alone LAN socket service over real TCP. Commands go out at once (TCP_NODELAY), each
// in one write. An answer that comes after its query gave up is never taken for a later one:
// after a query timed out the connection is reopened before the next write (the socket id stays),
// so the late answer dies with the old connection whatever its lateness; input already pending
// before a write is dropped as well. A query waits for one line,
// bounded in size and time, and a peer that hangs up ends the wait at once. Socket ids count up
// from 1 and are not reused, so a stale id never reaches another connection. Safe to share
// between threads.
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "clock/clock.h"
#include "host/lan_sockets.h"

namespace marlin {

struct TcpLanOptions {
  // On the host's clock (see RealWait).
  Clock::Duration connectTimeout = std::chrono::seconds(10);
  Clock::Duration queryTimeout = std::chrono::seconds(10);
  std::size_t maxAnswerBytes = std::size_t{64} * 1024;
};

class TcpLanSockets final : public LanSockets {
 public:
  // Raises 5 for a timeout that is not positive or an answer limit of 0.
  explicit TcpLanSockets(std::shared_ptr<Clock> clock, TcpLanOptions options = {});
  ~TcpLanSockets() override;

  // Raises 5 for an empty host or a port outside 1 to 65535; a refused or timed-out connection
  // answers false with socket -1.
  void Open(const std::string& host, std::int32_t port, std::int32_t& socket, bool& ok) override;
  void Close(std::int32_t socket, bool& ok) override;
  void Send(std::int32_t socket, const std::string& text, bool& ok) override;
  void Query(std::int32_t socket, const std::string& text, std::string& answer, bool& ok) override;
  void IsConnected(std::int32_t socket, bool& connected) override;

  // Why the last call that answered false did so.
  std::string LastError() const;
  std::size_t OpenSockets() const;

 private:
  struct Connection;
  std::shared_ptr<Connection> Find(std::int32_t socket) const;
  bool Fail(const std::string& why);
  // Reopens a connection whose last query timed out, drops stale input, then writes `text`;
  // false (with the reason kept) on failure.
  bool Write(Connection& c, std::int32_t socket, const std::string& text);
  bool Reopen(Connection& c, std::int32_t socket);
  Clock::Duration Real(Clock::Duration span) const;

  std::shared_ptr<Clock> clock_;
  TcpLanOptions options_;
  mutable std::mutex mutex_;
  std::map<std::int32_t, std::shared_ptr<Connection>> connections_;
  std::int32_t lastId_ = 0;
  std::string lastError_;
};

}  // namespace marlin
