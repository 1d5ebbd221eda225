#pragma once
// The three routes. Each owns what it holds open (handle, socket, session, buffer) and reads the
// object's settings (name, address, interface) and flags; the object's read view shows both.
#include <cstddef>
#include <memory>
#include <string>

#include "io/route.h"

namespace marlin {

class clsMarlin;
class Host;
class VisaBinding;

// GPIB answers land in a buffer of this fixed length.
inline constexpr std::size_t kGpibBufferLength = 100;

class GpibRoute final : public Route {
 public:
  explicit GpibRoute(clsMarlin& m);
  void Connect(ConnectionCheck& check) override;
  void Disconnect(ConnectionCheck& check) override;
  void Close() override;
  bool KeepsWholeIdentification() const override { return true; }
  void Send(Procedure& proc, const std::string& command) override;
  std::string Query(Procedure& proc, const std::string& command, std::int32_t waitTime) override;
  // Error 4012: the handle is given up as it stands, -1 included, without preparing the close.
  void GiveUp();
  std::int16_t Handle() const { return handle_; }
  const std::string& ReadBuffer() const { return buffer_; }

 private:
  friend struct MarlinTestAccess;
  // The next answer, into the buffer.
  void ReadAnswer();
  // Left-aligned into the fixed-length buffer: padded with spaces or cut.
  void Store(const std::string& answer);
  clsMarlin& m_;
  Host& host_;
  std::int16_t handle_ = -1;  // none open
  std::string buffer_ = std::string(kGpibBufferLength, '\0');
};

class LanRoute final : public Route {
 public:
  explicit LanRoute(clsMarlin& m);
  void Connect(ConnectionCheck& check) override;
  void Disconnect(ConnectionCheck&) override {}
  void Close() override;
  bool KeepsWholeIdentification() const override { return false; }
  void Send(Procedure& proc, const std::string& command) override;
  std::string Query(Procedure& proc, const std::string& command, std::int32_t waitTime) override;
  std::int32_t Socket() const { return socket_; }

 private:
  friend struct MarlinTestAccess;
  void RequireConnection() const;
  clsMarlin& m_;
  Host& host_;
  std::int32_t socket_ = -1;  // none open
};

class VisaRoute final : public Route {
 public:
  explicit VisaRoute(clsMarlin& m);
  ~VisaRoute() override;
  void Connect(ConnectionCheck& check) override;
  void Disconnect(ConnectionCheck&) override {}
  void Close() override;
  bool KeepsWholeIdentification() const override { return false; }
  void Send(Procedure& proc, const std::string& command) override;
  std::string Query(Procedure& proc, const std::string& command, std::int32_t waitTime) override;
  std::int32_t Session() const { return session_; }
  std::int32_t LastStatus() const { return status_; }
  std::int32_t DefaultRM() const { return defaultRm_; }

 private:
  friend struct MarlinTestAccess;
  // The host's VISA, taken at the first call and held until the session and its resource
  // manager are closed, so the binding that opened a session is the one that closes it.
  std::shared_ptr<VisaBinding> Binding();
  void SetAttribute(ConnectionCheck& check, std::uint32_t attribute, std::uint64_t value);
  [[noreturn]] void RaiseOpenError() const;

  clsMarlin& m_;
  Host& host_;
  std::shared_ptr<VisaBinding> binding_;
  std::int32_t session_ = 0;
  // The status of the last open, kept for the host's account of a failed connection.
  std::int32_t status_ = 0;
  // The resource-manager session that opened session_; both are closed together.
  std::int32_t defaultRm_ = 0;
};

// The object's three routes, in the order they are closed.
struct RouteSet {
  explicit RouteSet(clsMarlin& m) : gpib(m), lan(m), visa(m) {}
  GpibRoute gpib;
  LanRoute lan;
  VisaRoute visa;
};

}  // namespace marlin
