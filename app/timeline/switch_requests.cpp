#include "app/timeline/switch_requests.h"

#include <algorithm>
#include <string_view>

#include "driver/procedure_labels.h"

namespace marlin::timeline {
namespace {

// Host calls that read and change nothing: the state a switch confirmed still holds after them.
bool OnlyReads(const std::string& procedure) {
  return procedure == labels::kRemoteGetState.start || procedure == labels::kCheckForError.start;
}

std::string Requested(const std::string& data) {
  const std::string_view prefix = trace_text::kNewState;
  return data.rfind(prefix, 0) == 0 ? data.substr(prefix.size()) : data;
}

}  // namespace

std::vector<SwitchRequest> SwitchRequests(const Timeline& t) {
  std::vector<std::vector<const Bar*>> calls(t.lanes.size());
  for (const Bar& b : t.bars) {
    if (b.depth == 0 && b.lane < calls.size()) calls[b.lane].push_back(&b);
  }
  std::vector<std::vector<const Mark*>> errors(t.lanes.size());
  for (const Mark& m : t.marks) {
    if (m.error && m.lane < errors.size()) errors[m.lane].push_back(&m);
  }
  std::vector<SwitchRequest> requests;
  for (std::size_t lane = 0; lane < calls.size(); ++lane) {
    std::optional<std::string> confirmed;
    std::size_t nextError = 0;
    for (const Bar* call : calls[lane]) {
      while (nextError < errors[lane].size() && errors[lane][nextError]->at < call->begin) {
        ++nextError;
      }
      if (call->procedure != labels::kSetState.start) {
        if (!OnlyReads(call->procedure)) confirmed.reset();
        continue;
      }
      SwitchRequest r;
      r.lane = lane;
      r.from = confirmed;
      r.to = Requested(call->data);
      r.begin = call->begin;
      r.end = call->end;
      if (nextError < errors[lane].size() && errors[lane][nextError]->at <= call->end) {
        r.error = errors[lane][nextError];
      }
      r.result = call->ended ? SwitchRequest::Result::Done
                 : r.error   ? SwitchRequest::Result::Failed
                             : SwitchRequest::Result::Unfinished;
      // SetState ends only when the state read back is the one asked for.
      if (r.result == SwitchRequest::Result::Done) {
        confirmed = r.to;
      } else {
        confirmed.reset();
      }
      requests.push_back(std::move(r));
    }
  }
  std::stable_sort(
      requests.begin(), requests.end(),
      [](const SwitchRequest& a, const SwitchRequest& b) { return a.begin < b.begin; });
  return requests;
}

}  // namespace marlin::timeline
