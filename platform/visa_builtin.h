#pragma once
// Our own VISA layer for raw-socket resources (TCPIP[board]::host::port::SOCKET), used where no
// system VISA library is installed. Reads end at the termination character (when enabled), at
// the caller's count, at the end of what the peer sent in one go (unless END is suppressed), or
// at the session timeout. An answer is never taken for a later query's: after a read timed out
// the session reconnects before its next write (its id stays), so a late answer dies with the old
// connection whatever its lateness. Like a vendor's library it keeps unread input across a write
// unless told otherwise; the transport drains an over-long answer itself.
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "io/visa_binding.h"
#include "platform/tcp_socket.h"

namespace marlin {

struct BuiltinVisaOptions {
  // Real time that a timeout of the given length lasts: the host's time scale (identity if unset).
  std::function<std::chrono::nanoseconds(std::chrono::nanoseconds)> realSpan;
  // Drop input still unread when a write starts (one more receive per write). Off, as in a
  // vendor's library.
  bool dropPendingOnWrite = false;
};

class BuiltinVisa final : public VisaBinding {
 public:
  explicit BuiltinVisa(BuiltinVisaOptions options = {});
  ~BuiltinVisa() override;

  ViStatus viOpenDefaultRM(ViSession& rm) override;
  ViStatus viOpen(ViSession rm, const std::string& resource, std::uint32_t accessMode,
                  std::uint32_t openTimeout, ViSession& vi) override;
  ViStatus viSetAttribute(ViSession vi, ViAttr attribute, std::uint64_t value) override;
  ViStatus viClear(ViSession vi) override;
  ViStatus viClose(ViSession vi) override;
  ViStatus viWrite(ViSession vi, const std::string& bytes, std::uint32_t count,
                   std::uint32_t& written) override;
  ViStatus viRead(ViSession vi, std::string& buffer, std::uint32_t count,
                  std::uint32_t& read) override;

  // Sessions open now, resource managers included (leak checks).
  std::size_t OpenSessions() const;

 private:
  struct Session;
  std::shared_ptr<Session> Find(ViSession vi) const;
  ViSession NextId();
  std::chrono::nanoseconds Span(std::uint32_t ms) const;
  ViStatus Reopen(Session& s) const;

  BuiltinVisaOptions options_;
  mutable std::mutex mutex_;
  std::map<ViSession, std::shared_ptr<Session>> sessions_;
  ViSession lastId_ = 0;
};

}  // namespace marlin
