#include "sim/bus_device.h"

namespace marlin::sim {

BusDevice::BusDevice(std::shared_ptr<Amplifier> amp, std::string peer)
    : amp_(std::move(amp)), peer_(std::move(peer)) {
  if (!amp_) throw std::invalid_argument("bus device needs an amplifier");
}

void BusDevice::Write(std::string_view bytes, bool endOfMessage) {
  if (dropped_) return;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    const bool last = endOfMessage && i + 1 == bytes.size();
    if (c == '\n' || last) {
      if (c != '\n' && !discarding_) input_ += c;
      if (!discarding_) HandleMessage(input_);
      input_.clear();
      discarding_ = false;
      if (dropped_) return;
      continue;
    }
    if (discarding_) continue;
    if (input_.size() == kMaxLineBytes) {
      amp_->ReportInputOverflow(peer_);
      input_.clear();
      discarding_ = true;
      continue;
    }
    input_ += c;
  }
}

void BusDevice::HandleMessage(std::string_view message) {
  if (!message.empty() && message.back() == '\r') message.remove_suffix(1);
  if (!output_.empty()) {
    // IEEE 488.2: a new message before the answer was read discards the answer.
    output_.clear();
    amp_->ReportQueryInterrupted(peer_);
  }
  Response response = amp_->Respond(message, peer_);
  if (response.dropConnection) {
    dropped_ = true;
    return;
  }
  if (response.reply)
    output_.push_back({std::move(*response.reply), amp_->GetClock().Now() + response.delay});
}

std::optional<BusDevice::Chunk> BusDevice::ReadDue(Clock::Duration now,
                                                   std::optional<char> stopAt) {
  if (output_.empty() || output_.front().due > now) return std::nullopt;
  Pending& first = output_.front();
  Chunk chunk;
  std::size_t end = first.bytes.size();
  if (stopAt) {
    const auto at = first.bytes.find(*stopAt);
    if (at != std::string::npos) end = at + 1;
  }
  chunk.bytes = first.bytes.substr(0, end);
  chunk.endOfMessage = end == first.bytes.size();
  if (chunk.endOfMessage)
    output_.pop_front();
  else
    first.bytes.erase(0, end);
  amp_->RecordSent(peer_, chunk.bytes);
  return chunk;
}

std::optional<Clock::Duration> BusDevice::NextDue() const {
  if (output_.empty()) return std::nullopt;
  return output_.front().due;
}

void BusDevice::Clear() {
  input_.clear();
  discarding_ = false;
  output_.clear();
}

}  // namespace marlin::sim
