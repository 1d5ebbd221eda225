#pragma once
// The picture of a trace that keeps growing, for many viewers at once (the panel's pages).
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/timeline/timeline.h"

namespace marlin::timeline {

// Drawn again only when the trace has grown, one drawing at a time and always on the picture's
// own thread; a viewer that waited while another drawing ran takes that one if it began after
// the viewer asked. Drawn on whichever server thread asked, each drawing left a pool in that
// thread's allocator arena, and the process grew with the number of threads that ever drew.
class LivePicture {
 public:
  using Lines = std::function<std::vector<NamedLines>()>;

  LivePicture();
  ~LivePicture();
  LivePicture(const LivePicture&) = delete;
  LivePicture& operator=(const LivePicture&) = delete;

  // `length`: how many lines the trace has ever had; `lines` is called (on the picture's
  // thread) only to draw. The one picture every viewer shares, so serving it copies nothing.
  std::shared_ptr<const std::string> Svg(std::uint64_t length, const Lines& lines);

 private:
  void Draw();

  std::mutex viewers_;  // one drawing at a time
  std::atomic<std::uint64_t> begun_{0};
  bool drawn_ = false;
  std::uint64_t drawnLength_ = 0;
  std::uint64_t drawnAs_ = 0;  // the number of the drawing it was
  std::shared_ptr<const std::string> svg_;

  std::mutex mutex_;  // what the drawing thread is asked and answers
  std::condition_variable changed_;
  const Lines* asked_ = nullptr;
  bool leaving_ = false;
  std::exception_ptr failed_;
  std::thread drawer_;  // last: starts once the rest is ready
};

}  // namespace marlin::timeline
