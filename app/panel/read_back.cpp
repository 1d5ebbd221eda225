#include "app/panel/read_back.h"

#include <charconv>

#include "app/host_setup.h"
#include "io/identification.h"
#include "io/scpi.h"

namespace marlin::panel {

ReadBack ReadBackRecorder::End() {
  ReadBack heard = heard_.value_or(ReadBack{});
  heard_.reset();
  return heard;
}

void ReadBackRecorder::Exchanged(const std::string& query, const std::string& answer) {
  if (!heard_) return;
  if (TrimSpaces(AnswerText(answer)).empty()) return;
  heard_->answered = true;
  if (query.starts_with(scpi::kBandQuery)) heard_->bandAnswer = answer;
  if (query.starts_with(scpi::kErrorQuery)) heard_->errorEntry = answer;
}

std::optional<std::int32_t> BandPathOf(const std::string& answer) {
  if (scpi::SaysNoBand(answer)) return 0;
  const std::string_view text = TrimSpaces(AnswerText(answer));
  std::int32_t band = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), band);
  if (error != std::errc() || end != text.data() + text.size() || band < 0) return std::nullopt;
  return band;
}

std::string Identity::Text() const {
  if (model.empty()) return {};
  std::string text = model;
  if (!serial.empty()) text += ", serial " + serial;
  if (!firmware.empty()) text += ", " + firmware;
  return text;
}

Identity IdentityOf(const clsMarlin::Snapshot& fields) {
  const std::vector<std::string> parts =
      identification::Fields(cli::AnswerText(fields.Info.Member2));
  Identity identity;
  if (parts.size() >= 4) {
    // The whole answer: maker, model, serial, firmware.
    identity.model = parts[1];
    identity.serial = parts[2];
    identity.firmware = parts[3];
  } else if (parts.size() >= 2) {
    identity.model = parts[0];
    identity.firmware = parts[1];
    identity.serial = cli::AnswerText(fields.Info.Member3);
  } else {
    identity.model = parts[0];
  }
  return identity;
}

}  // namespace marlin::panel
