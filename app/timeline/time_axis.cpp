#include "app/timeline/time_axis.h"

#include <algorithm>
#include <utility>

#include "driver/procedure_labels.h"

namespace marlin::timeline {
namespace {

using Stretch = std::pair<Position, Position>;

// A state read that went well is no activity: a panel polling every few seconds would otherwise
// leave no idle stretch at all.
bool Busy(const Bar& b) {
  if (b.depth != 0) return false;
  const bool read =
      b.procedure == labels::kRemoteGetState.start || b.procedure == labels::kCheckForError.start;
  return !read || b.reported || !b.ended;
}

std::vector<Stretch> LongIdleStretches(const Timeline& t) {
  std::vector<Stretch> busy;
  for (const Bar& b : t.bars) {
    if (Busy(b)) busy.emplace_back(b.begin, b.end);
  }
  for (const Mark& m : t.marks) busy.emplace_back(m.at, m.at);
  // A trace of nothing but reads is drawn whole.
  if (busy.empty()) return {};
  std::sort(busy.begin(), busy.end());
  std::vector<Stretch> idle;
  Position reached = t.first;
  for (const auto& [begin, end] : busy) {
    if (begin - reached > kLongestIdle) idle.emplace_back(reached, begin);
    reached = std::max(reached, end);
  }
  if (t.last - reached > kLongestIdle) idle.emplace_back(reached, t.last);
  return idle;
}

// Of the switches that were done: one refused at once is drawn kNarrowestSwitch wide anyway, and
// must not stretch the whole picture.
Position ShortestSwitch(const Timeline& t) {
  Position shortest = 0;
  for (const Bar& b : t.bars) {
    if (b.procedure != labels::kSetState.start || !b.ended) continue;
    const Position span = std::max(b.end - b.begin, kShortestScaledSwitch);
    shortest = shortest == 0 ? span : std::min(shortest, span);
  }
  return shortest;
}

}  // namespace

TimeAxis::TimeAxis(const Timeline& t) : first_(t.first) {
  const Position span = std::max<Position>(t.last - t.first, 1);
  const std::vector<Stretch> idle = t.timed ? LongIdleStretches(t) : std::vector<Stretch>{};
  Position collapsed = 0;
  for (const auto& [from, to] : idle) collapsed += to - from;
  const auto busy = static_cast<double>(std::max<Position>(span - collapsed, 1));

  double gapWidth = kGapWidth;
  if (static_cast<double>(idle.size()) * gapWidth > kWidestPlot / 2) {
    gapWidth = kWidestPlot / 2 / static_cast<double>(idle.size());
  }
  const double gaps = static_cast<double>(idle.size()) * gapWidth;
  scale_ = std::max(kNarrowestPlot - gaps, kNarrowestPlot / 2) / busy;
  if (const Position shortest = t.timed ? ShortestSwitch(t) : 0; shortest > 0) {
    scale_ = std::max(scale_, kNarrowestSwitch / static_cast<double>(shortest));
  }
  scale_ = std::min(scale_, (kWidestPlot - gaps) / busy);
  width_ = std::min(busy * scale_ + gaps, kWidestPlot);

  double x = 0;
  Position at = t.first;
  for (const auto& [from, to] : idle) {
    if (from > at) pieces_.push_back({at, from, x, scale_, false});
    x += static_cast<double>(from - at) * scale_;
    pieces_.push_back({from, to, x, gapWidth / static_cast<double>(to - from), true});
    gaps_.push_back({from, to, x, gapWidth});
    x += gapWidth;
    at = to;
  }
  pieces_.push_back({at, std::max(at, t.last), x, scale_, false});
}

double TimeAxis::X(Position at) const {
  auto piece = std::upper_bound(pieces_.begin(), pieces_.end(), at,
                                [](Position p, const Piece& next) { return p < next.from; });
  if (piece != pieces_.begin()) --piece;
  return piece->x + static_cast<double>(at - piece->from) * piece->perUnit;
}

std::vector<Position> TimeAxis::Grid(Position origin, Position step) const {
  std::vector<Position> grid;
  if (step <= 0) return grid;
  for (const Piece& piece : pieces_) {
    if (piece.gap) continue;
    const Position from = piece.from - origin;
    Position k = from >= 0 ? (from + step - 1) / step : -(-from / step);
    for (; origin + k * step <= piece.to; ++k) grid.push_back(origin + k * step);
  }
  return grid;
}

}  // namespace marlin::timeline
