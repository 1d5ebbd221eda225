#include "host/standalone_message.h"

#include "host/printable_text.h"

#include <ostream>
#include <utility>

namespace marlin {
namespace {

class ConfiguredContext final : public HostContext {
 public:
  explicit ConfiguredContext(bool enabled) : enabled_(enabled) {}
  bool Enabled() override { return enabled_; }

 private:
  bool enabled_;
};

}  // namespace

StandaloneMessage::StandaloneMessage(std::ostream& console, std::shared_ptr<JsonLinesFile> record,
                                     std::optional<bool> waitWindowAllowed,
                                     TracedDeviceSource device)
    : console_(console), record_(std::move(record)), device_(std::move(device)) {
  if (waitWindowAllowed) context_ = std::make_shared<ConfiguredContext>(*waitWindowAllowed);
}

// The console shows the text at once; the timeout of a dialog that closes itself has no meaning
// there.
void StandaloneMessage::ShowMessage(const std::string& text, std::int32_t& style,
                                    const std::string& title, std::int32_t /*timeout*/) {
  if (record_) record_->Message(text, style, title, device_ ? device_() : std::string());
  const std::string shown = Printable(text);
  console_ << (title.empty() ? shown : Printable(title) + ": " + shown) + "\n" << std::flush;
}

}  // namespace marlin
