#include "app/timeline/timeline_model.h"

#include <algorithm>
#include <map>
#include <tuple>

#include "app/timeline/trace_records.h"
#include "control/wait_table.h"
#include "driver/procedure_labels.h"

namespace marlin::timeline {
namespace {

constexpr std::int64_t kMicrosPerMs = 1000;

// The text after `prefix`, without the line end a command carries.
std::string After(const std::string& text, const std::string& prefix) {
  std::string rest = text.rfind(prefix, 0) == 0 ? text.substr(prefix.size()) : text;
  while (!rest.empty() && (rest.back() == '\n' || rest.back() == '\r')) rest.pop_back();
  return rest;
}

// The one procedure whose end line names it differently from its start line.
std::string StartLabelOf(const std::string& endLabel) {
  return endLabel == labels::kGetParametersFromDevList.end ? labels::kGetParametersFromDevList.start
                                                           : endLabel;
}

struct Frame {
  std::string procedure;
  std::size_t bar = 0;  // index into the bars, or npos for an instrument line
};

class Builder {
 public:
  explicit Builder(Timeline& timeline) : t_(timeline) {}

  // The records that follow belong to `group`; an empty one: to a lane per instance.
  void EnterGroup(const std::string& group) {
    group_ = group;
    current_.reset();
  }

  void Add(const TraceRecord& record, Position at, std::size_t line) {
    const std::size_t lane = LaneOf(record);
    if (record.kind == TraceRecord::Kind::Start && IsHostCall(record.procedure)) {
      AbandonFailedCall(lane);
    }
    laneLast_[lane] = at;
    if (record.kind != TraceRecord::Kind::Report) failing_[lane].reset();
    switch (record.kind) {
      case TraceRecord::Kind::Start:
        Start(lane, record, at, line);
        break;
      case TraceRecord::Kind::End:
        End(lane, record, at);
        break;
      case TraceRecord::Kind::Report: {
        if (!PassedUp(lane, record)) {
          t_.marks.push_back({lane, at, true, record.number, record.data, line});
          failing_[lane] = Failing{t_.marks.size() - 1, record.data};
        }
        auto& stack = stacks_[lane];
        for (auto frame = stack.rbegin(); frame != stack.rend(); ++frame) {
          if (frame->bar == std::string::npos) continue;
          t_.bars[frame->bar].reported = true;
          break;
        }
        break;
      }
      case TraceRecord::Kind::Message:
      case TraceRecord::Kind::MessageBox: {
        const std::string text =
            record.title.empty() ? record.data : record.title + ": " + record.data;
        t_.marks.push_back({lane, at, false, 0, text, line});
        break;
      }
      case TraceRecord::Kind::Other:
        break;
    }
  }

  void Finish() {
    for (std::size_t lane = 0; lane < stacks_.size(); ++lane) {
      CloseAbove(lane, 0, laneLast_[lane]);
    }
  }

 private:
  // A lane per device, named by the group its lines were kept in or else by the records; per
  // instance where neither names one. Records with neither an instance nor a device (messages
  // shown outside every procedure) belong to the lane written last.
  std::size_t LaneOf(const TraceRecord& record) {
    const std::string& device = group_.empty() ? record.device : group_;
    if (device.empty() && record.instance.empty() && current_) return *current_;
    const LaneKey key{device, device.empty() ? record.instance : std::string()};
    const auto found = lanes_.find(key);
    if (found != lanes_.end()) {
      current_ = found->second;
    } else {
      t_.lanes.push_back({key.instance, device, 1});
      stacks_.emplace_back();
      laneLast_.emplace_back();
      failing_.emplace_back();
      current_ = t_.lanes.size() - 1;
      lanes_.emplace(key, *current_);
    }
    return *current_;
  }

  // Each handler a failure passes on its way up reports it again, with the same number and the
  // description the level below raised, which ends with the one reported below it. Nothing else
  // is written in the lane between them.
  bool PassedUp(std::size_t lane, const TraceRecord& record) {
    auto& failing = failing_[lane];
    if (!failing) return false;
    Mark& mark = t_.marks[failing->mark];
    const std::string& below = failing->description;
    if (mark.number != record.number || record.data.size() < below.size() ||
        record.data.compare(record.data.size() - below.size(), below.size(), below) != 0) {
      return false;
    }
    ++mark.reports;
    failing->description = record.data;
    return true;
  }

  // A host call whose error reached the host left every procedure of it without an end line;
  // the next host call shows that it is over. (A host call made inside another, as SetState
  // reads the state through its own member, comes while no open procedure had an error.)
  static bool IsHostCall(const std::string& procedure) {
    return procedure.rfind("cls", 0) == 0 || procedure.rfind("Let cls", 0) == 0;
  }
  void AbandonFailedCall(std::size_t lane) {
    const auto& stack = stacks_[lane];
    if (std::any_of(stack.begin(), stack.end(), [&](const Frame& f) {
          return f.bar != std::string::npos && t_.bars[f.bar].reported;
        })) {
      CloseAbove(lane, 0, laneLast_[lane]);
    }
  }

  void Start(std::size_t lane, const TraceRecord& record, Position at, std::size_t line) {
    auto& stack = stacks_[lane];
    if (record.procedure == labels::kSendCmdString.start ||
        record.procedure == labels::kReadCmdResponse.start) {
      const bool sent = record.procedure == labels::kSendCmdString.start;
      t_.ticks.push_back(
          {lane, at, sent, sent ? After(record.data, trace_text::kCommand) : "", line});
      stack.push_back({record.procedure, std::string::npos});
      return;
    }
    int depth = 0;
    std::string target;
    for (const Frame& frame : stack) {
      if (frame.bar == std::string::npos) continue;
      ++depth;
      const Bar& outer = t_.bars[frame.bar];
      if (outer.procedure == labels::kSetNewState.start) {
        target = After(outer.data, trace_text::kNewState);
      }
    }
    Bar bar;
    bar.lane = lane;
    bar.depth = depth;
    bar.begin = bar.end = at;
    bar.procedure = record.procedure;
    bar.data = record.data;
    bar.line = line;
    if (const auto wait = DescribeWait(record.procedure, record.data, target)) {
      bar.wait = true;
      bar.waitWhat = wait->what;
      if (wait->limitMicros) bar.limit = t_.timed ? *wait->limitMicros : std::optional<Position>();
    }
    t_.lanes[lane].depth = std::max(t_.lanes[lane].depth, depth + 1);
    t_.bars.push_back(std::move(bar));
    stack.push_back({record.procedure, t_.bars.size() - 1});
  }

  void End(std::size_t lane, const TraceRecord& record, Position at) {
    auto& stack = stacks_[lane];
    const std::string started = StartLabelOf(record.procedure);
    for (std::size_t i = stack.size(); i-- > 0;) {
      if (stack[i].procedure != started) continue;
      // What started inside it and never ended was left by an error.
      CloseAbove(lane, i + 1, at);
      if (stack[i].bar != std::string::npos) {
        Bar& bar = t_.bars[stack[i].bar];
        bar.end = std::max(at, bar.begin);
      }
      stack.resize(i);
      return;
    }
  }

  void CloseAbove(std::size_t lane, std::size_t keep, Position at) {
    auto& stack = stacks_[lane];
    for (std::size_t i = keep; i < stack.size(); ++i) {
      if (stack[i].bar == std::string::npos) continue;
      Bar& bar = t_.bars[stack[i].bar];
      bar.end = std::max(at, bar.begin);
      bar.ended = false;
    }
    stack.resize(std::min(keep, stack.size()));
  }

  struct LaneKey {
    std::string group, instance;
    bool operator<(const LaneKey& other) const {
      return std::tie(group, instance) < std::tie(other.group, other.instance);
    }
  };

  // The failure a lane's last record reported.
  struct Failing {
    std::size_t mark;
    std::string description;  // as last reported
  };

  Timeline& t_;
  std::string group_;
  std::map<LaneKey, std::size_t> lanes_;
  std::vector<std::vector<Frame>> stacks_;
  std::vector<Position> laneLast_;
  std::vector<std::optional<Failing>> failing_;
  std::optional<std::size_t> current_;
};

}  // namespace

std::optional<WaitDescription> DescribeWait(const std::string& procedure, const std::string& data,
                                            const std::string& targetState) {
  const std::int32_t target = timing::TracedState(targetState);
  const std::string query = After(data, trace_text::kCommand);
  // Only waits that span a whole procedure show as bars; a pause inside one leaves no record.
  const timing::DriverWait* wait = timing::FindWait(procedure, target, query, 0);
  if (wait && wait->kind == timing::WaitKind::Polls) {
    return WaitDescription{std::string(wait->description),
                           static_cast<std::int64_t>(wait->limitMs * kMicrosPerMs)};
  }
  const auto polls = timing::DriverWaits();
  if (std::any_of(polls.begin(), polls.end(), [&](const timing::DriverWait& w) {
        return w.kind == timing::WaitKind::Polls && w.procedure == procedure;
      })) {
    return WaitDescription{"confirming " + query, std::nullopt};  // a query no entry names
  }
  return std::nullopt;
}

namespace {

struct Group {
  const std::string* name;
  const std::vector<std::string>* lines;
};

Timeline Build(const std::vector<Group>& groups) {
  Timeline t;
  struct Read {
    TraceRecord record;
    std::size_t line;
    std::size_t group;
  };
  std::vector<Read> read;
  for (std::size_t g = 0; g < groups.size(); ++g) {
    const std::vector<std::string>& lines = *groups[g].lines;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      const std::string& line = lines[i];
      if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
      std::string why;
      if (auto record = ReadTraceLine(line, why)) {
        read.push_back({std::move(*record), i + 1, g});
      } else {
        if (t.malformedLines.empty()) t.firstMalformedWhy = why;
        t.malformedLines.push_back(i + 1);
      }
    }
  }
  t.records = read.size();
  t.timed = !read.empty() && std::all_of(read.begin(), read.end(),
                                         [](const Read& r) { return r.record.micros.has_value(); });
  Builder builder(t);
  for (std::size_t i = 0; i < read.size(); ++i) {
    if (i == 0 || read[i].group != read[i - 1].group) {
      builder.EnterGroup(*groups[read[i].group].name);
    }
    const Position at = t.timed ? *read[i].record.micros : static_cast<Position>(i + 1);
    if (i == 0) t.first = t.last = at;
    t.first = std::min(t.first, at);
    t.last = std::max(t.last, at);
    builder.Add(read[i].record, at, read[i].line);
  }
  builder.Finish();
  return t;
}

}  // namespace

Timeline BuildTimeline(const std::vector<std::string>& lines) {
  const std::string byInstance;
  return Build({{&byInstance, &lines}});
}

Timeline BuildTimeline(const std::vector<NamedLines>& groups) {
  std::vector<Group> view;
  view.reserve(groups.size());
  for (const NamedLines& group : groups) view.push_back({&group.name, &group.lines});
  return Build(view);
}

}  // namespace marlin::timeline
