#pragma once
// Our own VISA layer for raw-socket resources (TCPIP[board]::host::port::SOCKET), used where no
// system VISA library is installed. Reads end at the termination character (when enabled), at
// the caller's count, at the end of what the peer sent in one go (unless END is suppressed), or
// at the session timeout. Input still pending when a write starts belongs to an earlier query
// and is dropped, so an answer is never taken for the next query's.
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "io/modvisa.h"
#include "io/tcp_socket.h"

namespace marlin {

struct BuiltinVisaOptions {
  // Real time that a timeout of the given length lasts: the host's time scale (identity if unset).
  std::function<std::chrono::nanoseconds(std::chrono::nanoseconds)> realSpan;
  // Drop input pending when a write starts. Off, the layer behaves as a vendor library does.
  bool dropPendingOnWrite = true;
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
