#pragma once
// Where each moment of a session is drawn. Busy stretches share one scale, chosen so that the
// shortest switch is wide enough to see; each idle stretch longer than kLongestIdle (nothing but
// state reads running) is collapsed into a narrow gap that the picture marks.
#include <cstddef>
#include <vector>

#include "app/timeline/timeline_model.h"

namespace marlin::timeline {

inline constexpr Position kLongestIdle = 10'000'000;  // microseconds
inline constexpr double kNarrowestPlot = 1000;        // pixels
inline constexpr double kWidestPlot = 40000;
inline constexpr double kGapWidth = 18;
inline constexpr double kNarrowestSwitch = 4;
// A switch done faster is drawn as wide as kNarrowestSwitch, not scaled up to it.
inline constexpr Position kShortestScaledSwitch = 250'000;

struct IdleGap {
  Position from = 0, to = 0;
  double x = 0, width = 0;  // from the plot's left edge
};

class TimeAxis {
 public:
  explicit TimeAxis(const Timeline& timeline);

  // Pixels from the plot's left edge.
  double X(Position at) const;
  double Width() const { return width_; }
  // Pixels per time unit outside the gaps.
  double Scale() const { return scale_; }
  const std::vector<IdleGap>& Gaps() const { return gaps_; }
  // The grid: `origin` plus multiples of `step`, outside the gaps.
  std::vector<Position> Grid(Position origin, Position step) const;

 private:
  struct Piece {
    Position from, to;
    double x, perUnit;
    bool gap;
  };
  std::vector<Piece> pieces_;
  std::vector<IdleGap> gaps_;
  Position first_ = 0;
  double width_ = kNarrowestPlot;
  double scale_ = 1;
};

}  // namespace marlin::timeline
