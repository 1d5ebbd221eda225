#pragma once
// Every wait the driver makes, named for a host's progress display: the traced procedure that
// makes it, what it waits for and its limit, from the constants the driver itself runs to.
#include <cstdint>
#include <span>
#include <string_view>

#include "driver/wait_observer.h"

namespace marlin::timing {

enum class WaitKind {
  Pause,        // one wait of exactly `limitMs`
  Polls,        // every wait of the procedure is one activity, over at most `limitMs`
  WithinQuery,  // the pause between a query and its answer: part of the query, not shown
};

inline constexpr std::int32_t kAnyState = -1;

struct DriverWait {
  WaitId id;
  WaitKind kind;
  std::string_view procedure;  // trace label of the procedure that waits
  std::int32_t state;          // the state SetNewState is asked for; kAnyState: whichever
  std::string_view query;      // the status query polled; empty: none or whichever
  double limitMs;              // on a route whose queries make no pause of their own
  std::int32_t queries;        // the queries within it at most, each adding the route's pause
  std::string_view description;
};

std::span<const DriverWait> DriverWaits();
const DriverWait& WaitEntry(WaitId id);

// The confirmation that polls `query` until it answers `expected`.
WaitId ConfirmationWait(std::string_view query, std::string_view expected);

// The longest `wait` runs on a route whose queries pause `queryPauseMs` between writing and
// reading (VISA's kQueryPause, none on the other routes): its waits and its queries' pauses.
double LimitMs(const DriverWait& wait, double queryPauseMs);

// The state a traced "NewState = ..." names; kAnyState for none.
std::int32_t TracedState(std::string_view name);

// The first entry that fits a wait of `milliseconds` made by `procedure`, polling `query`, while
// the driver switches to `state` (kAnyState when it does not); null when none does.
const DriverWait* FindWait(std::string_view procedure, std::int32_t state, std::string_view query,
                           double milliseconds);

}  // namespace marlin::timing
