#include "sim/gateway_front.h"

#include <array>
#include <deque>

#include "sim/bus_device.h"
#include "sim/client_sessions.h"
#include "sim/io_thread.h"
#include "sim/scpi_header.h"
#include "sim/scpi_values.h"

namespace marlin::sim {

using asio::ip::tcp;

namespace {

constexpr std::string_view kVersion = "Marlin simulated GPIB-ETHERNET gateway version 1.0";
constexpr std::string_view kUnrecognized = "Unrecognized command";
constexpr std::string_view kInvalidParameter = "Invalid parameter";
constexpr std::string_view kReplyEnd = "\r\n";
constexpr char kEscape = 27;
constexpr int kHighestGpibAddress = 30;
constexpr std::array<std::string_view, 4> kEosSuffix = {"\r\n", "\r", "\n", ""};

struct Settings {
  int address = 0;
  bool autoRead = false;
  bool eoi = true;
  int eos = 0;
  bool eotEnable = false;
  int eotChar = 0;
  bool controller = true;
  int readTimeoutMs = 500;
};

enum class ReadEnd { Eoi, Char, Timeout };

}  // namespace

struct GatewayFront::Impl {
  class Session;

  std::map<int, BusDevice> devices;  // I/O thread only
  ClientSessions<Session> clients;

  BusDevice* Device(int address) {
    auto it = devices.find(address);
    return it == devices.end() ? nullptr : &it->second;
  }
};

// One host connection: "++" commands for the gateway, other lines for the addressed device.
class GatewayFront::Impl::Session : public std::enable_shared_from_this<Session> {
 public:
  Session(Impl& front, tcp::socket socket, int id)
      : front_(front), socket_(std::move(socket)), timer_(socket_.get_executor()), id_(id) {
    if (!front_.devices.empty()) settings_.address = front_.devices.begin()->first;
  }

  void Start() { ReadMore(); }

  void Close() {
    if (closed_) return;
    closed_ = true;
    asio::error_code ignored;
    socket_.shutdown(tcp::socket::shutdown_both, ignored);
    socket_.close(ignored);
    timer_.cancel();
    front_.clients.Forget(id_);
  }

 private:
  void ReadMore() {
    socket_.async_read_some(asio::buffer(buffer_),
                            [self = shared_from_this()](asio::error_code ec, std::size_t n) {
                              if (self->closed_) return;
                              if (ec) {
                                self->Close();
                                return;
                              }
                              self->front_.clients.Touch(self->id_);
                              self->Split(std::string_view(self->buffer_.data(), n));
                              self->Next();
                            });
  }

  // Lines end at an unescaped CR or LF; ESC takes the next byte literally. A line is for the
  // gateway when it begins with two unescaped "+".
  void Split(std::string_view bytes) {
    for (char c : bytes) {
      bool literal = false;
      if (escaped_) {
        escaped_ = false;
        literal = true;
      } else if (c == kEscape) {
        escaped_ = true;
        continue;
      } else if (c == '\r' || c == '\n') {
        if (!discarding_ && !partial_.empty())
          lines_.push_back({std::exchange(partial_, {}), controllerLine_});
        partial_.clear();
        discarding_ = false;
        continue;
      }
      if (discarding_) continue;
      if (partial_.size() == kMaxLineBytes) {
        if (auto* device = Current()) device->Amp().ReportInputOverflow(device->Peer());
        partial_.clear();
        discarding_ = true;
        continue;
      }
      if (partial_.size() < 2)
        controllerLine_ = (partial_.empty() || controllerLine_) && c == '+' && !literal;
      partial_ += c;
    }
  }

  void Next() {
    while (!lines_.empty() && !busy_) {
      auto [line, forGateway] = std::move(lines_.front());
      lines_.pop_front();
      if (forGateway && line.size() >= 2)
        Command(std::string_view(line).substr(2));
      else
        Data(line);
      if (closed_) return;
    }
    if (!busy_) ReadMore();
  }

  BusDevice* Current() { return front_.Device(settings_.address); }

  void Data(const std::string& line) {
    BusDevice* device = Current();
    if (!device || !settings_.controller) return;  // no listener at that address
    device->Write(line + std::string(kEosSuffix[settings_.eos]), settings_.eoi);
    if (device->Dropped()) {
      device->Reconnect();
      Close();
      return;
    }
    if (settings_.autoRead) StartRead(ReadEnd::Eoi, 0);
  }

  void Reply(std::string_view text) { Send(std::string(text) + std::string(kReplyEnd)); }

  // `value` must be a whole number in [low, high]; otherwise the host is told.
  std::optional<int> Argument(std::string_view value, int low, int high) {
    auto number = ParseInteger(value);
    if (!number || *number < low || *number > high) {
      Reply(kInvalidParameter);
      return std::nullopt;
    }
    return static_cast<int>(*number);
  }

  // A setting that answers its value when asked without an argument.
  void Setting(std::string_view argument, int& field, int low, int high) {
    if (argument.empty()) {
      Reply(std::to_string(field));
    } else if (auto value = Argument(argument, low, high)) {
      field = *value;
    }
  }
  void Setting(std::string_view argument, bool& field) {
    int value = field ? 1 : 0;
    Setting(argument, value, 0, 1);
    field = value != 0;
  }

  void Command(std::string_view text) {
    text = TrimBlanks(text);
    const auto blank = text.find(' ');
    const std::string name = ToUpper(text.substr(0, blank));
    const std::string_view argument =
        blank == std::string_view::npos ? std::string_view() : TrimBlanks(text.substr(blank));
    if (name == "ADDR") {
      Setting(argument, settings_.address, 0, kHighestGpibAddress);
    } else if (name == "AUTO") {
      Setting(argument, settings_.autoRead);
    } else if (name == "EOI") {
      Setting(argument, settings_.eoi);
    } else if (name == "EOS") {
      Setting(argument, settings_.eos, 0, 3);
    } else if (name == "EOT_ENABLE") {
      Setting(argument, settings_.eotEnable);
    } else if (name == "EOT_CHAR") {
      Setting(argument, settings_.eotChar, 0, 255);
    } else if (name == "MODE") {
      Setting(argument, settings_.controller);
    } else if (name == "READ_TMO_MS") {
      Setting(argument, settings_.readTimeoutMs, 1, 3000);
    } else if (name == "VER") {
      Reply(kVersion);
    } else if (name == "CLR") {
      if (auto* device = Current()) device->Clear();
    } else if (name == "IFC") {
      for (auto& [address, device] : front_.devices) device.Clear();
    } else if (name == "LOC" || name == "LLO" || name == "TRG" || name == "SAVECFG") {
      // Front-panel lockout, triggers and saved settings mean nothing to a simulated bus.
    } else if (name == "SRQ") {
      Reply("0");
    } else if (name == "RST") {
      const int address = settings_.address;
      settings_ = Settings{};
      settings_.address = address;
    } else if (name == "SPOLL") {
      SerialPoll(argument);
    } else if (name == "READ") {
      Read(argument);
    } else {
      Reply(kUnrecognized);
    }
  }

  // Status byte: 16 an answer waits (MAV), 4 the error queue holds entries.
  void SerialPoll(std::string_view argument) {
    int address = settings_.address;
    if (!argument.empty()) {
      auto value = Argument(argument, 0, kHighestGpibAddress);
      if (!value) return;
      address = *value;
    }
    BusDevice* device = front_.Device(address);
    if (!device) return;  // nobody answers the poll
    int status = device->HasOutput() ? 16 : 0;
    if (!device->Amp().Snapshot().errors.empty()) status |= 4;
    Reply(std::to_string(status));
  }

  void Read(std::string_view argument) {
    if (argument.empty()) {
      StartRead(ReadEnd::Timeout, 0);
    } else if (ToUpper(argument) == "EOI") {
      StartRead(ReadEnd::Eoi, 0);
    } else if (auto value = Argument(argument, 0, 255)) {
      StartRead(ReadEnd::Char, static_cast<char>(*value));
    }
  }

  void StartRead(ReadEnd end, char stopChar) {
    if (!settings_.controller || !Current()) return;
    readEnd_ = end;
    stopChar_ = stopChar;
    readDeadline_ =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(settings_.readTimeoutMs);
    collected_.clear();
    busy_ = true;
    ContinueRead(false);
  }

  // True once the controller has hung up. A read in progress does not watch the socket, and a
  // read left behind by a controller that reconnected must not take the answers meant for it.
  bool ControllerGone() {
    asio::error_code ec, ignored;
    const bool blocking = !socket_.non_blocking();
    socket_.non_blocking(true, ignored);
    char probe = 0;
    socket_.receive(asio::buffer(&probe, 1), tcp::socket::message_peek, ec);
    if (blocking) socket_.non_blocking(false, ignored);
    return ec && ec != asio::error::would_block && ec != asio::error::try_again;
  }

  // `resumed`: called from the timer, so the line loop is not running and must be restarted.
  void ContinueRead(bool resumed) {
    if (resumed && ControllerGone()) {
      Close();
      return;
    }
    BusDevice* device = Current();
    const Clock& clock = device->Amp().GetClock();
    bool done = false;
    while (!done) {
      auto chunk = device->ReadDue(
          clock.Now(), readEnd_ == ReadEnd::Char ? std::optional<char>(stopChar_) : std::nullopt);
      if (!chunk) break;
      collected_ += chunk->bytes;
      if (chunk->endOfMessage && settings_.eotEnable)
        collected_ += static_cast<char>(settings_.eotChar);
      done = readEnd_ != ReadEnd::Timeout;
    }
    const auto due = device->NextDue();
    if (!done && due && std::chrono::steady_clock::now() < readDeadline_) {
      const auto untilDeadline = readDeadline_ - std::chrono::steady_clock::now();
      timer_.expires_after(
          std::min<std::chrono::nanoseconds>(RealWaitUntil(clock, *due), untilDeadline));
      timer_.async_wait([self = shared_from_this()](asio::error_code ec) {
        if (!ec && !self->closed_) self->ContinueRead(true);
      });
      return;
    }
    // Nothing more will come (or the read timed out): whatever arrived goes to the host.
    busy_ = false;
    if (!collected_.empty()) {
      Send(std::exchange(collected_, {}));
      return;
    }
    if (resumed) Next();
  }

  // Sends, then goes on with the next line once the bytes are out.
  void Send(std::string bytes) {
    outgoing_ = std::move(bytes);
    busy_ = true;
    asio::async_write(socket_, asio::buffer(outgoing_),
                      [self = shared_from_this()](asio::error_code ec, std::size_t) {
                        if (self->closed_) return;
                        if (ec) {
                          self->Close();
                          return;
                        }
                        self->busy_ = false;
                        self->Next();
                      });
  }

  Impl& front_;
  tcp::socket socket_;
  asio::steady_timer timer_;
  int id_;
  Settings settings_;
  std::array<char, kReadChunkBytes> buffer_{};
  std::string partial_;
  bool escaped_ = false;
  bool controllerLine_ = false;
  bool discarding_ = false;
  std::deque<std::pair<std::string, bool>> lines_;  // text, whether it is for the gateway
  bool busy_ = false;
  ReadEnd readEnd_ = ReadEnd::Eoi;
  char stopChar_ = 0;
  std::chrono::steady_clock::time_point readDeadline_;
  std::string collected_;
  std::string outgoing_;
  bool closed_ = false;
};

GatewayFront::GatewayFront(std::map<int, std::shared_ptr<Amplifier>> byGpibAddress,
                           const std::string& bindAddress, std::uint16_t port,
                           std::chrono::milliseconds idleTimeout)
    : impl_(std::make_unique<Impl>()) {
  while (!byGpibAddress.empty()) {
    auto node = byGpibAddress.extract(byGpibAddress.begin());
    const int address = node.key();
    if (address < 0 || address > kHighestGpibAddress)
      throw std::invalid_argument("GPIB address " + std::to_string(address) + ": expected 0 to 30");
    if (!node.mapped())
      throw std::invalid_argument("GPIB address " + std::to_string(address) +
                                  ": no amplifier given");
    impl_->devices.emplace(address,
                           BusDevice(std::move(node.mapped()), "gpib:" + std::to_string(address)));
  }
  Impl& front = *impl_;
  front.clients.Start(
      bindAddress, port,
      [&front](tcp::socket socket, int id) {
        return std::make_shared<Impl::Session>(front, std::move(socket), id);
      },
      {}, [](Impl::Session& session) { session.Close(); }, idleTimeout);
}

GatewayFront::~GatewayFront() { Stop(); }

std::uint16_t GatewayFront::Port() const { return impl_->clients.Port(); }

std::size_t GatewayFront::ClientCount() const { return impl_->clients.Count(); }

void GatewayFront::Stop() {
  impl_->clients.Stop([](Impl::Session& session) { session.Close(); });
}

}  // namespace marlin::sim
