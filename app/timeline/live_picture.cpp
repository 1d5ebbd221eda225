#include "app/timeline/live_picture.h"

#include <utility>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace marlin::timeline {

LivePicture::LivePicture() : drawer_([this] { Draw(); }) {}

LivePicture::~LivePicture() {
  {
    std::lock_guard lock(mutex_);
    leaving_ = true;
  }
  changed_.notify_all();
  drawer_.join();
}

std::shared_ptr<const std::string> LivePicture::Svg(std::uint64_t length, const Lines& lines) {
  const std::uint64_t asked = begun_.load();
  std::lock_guard viewer(viewers_);
  if (drawn_ && (drawnLength_ == length || drawnAs_ > asked)) return svg_;
  drawnAs_ = ++begun_;
  std::unique_lock lock(mutex_);
  asked_ = &lines;
  changed_.notify_all();
  changed_.wait(lock, [this] { return asked_ == nullptr; });
  if (failed_) std::rethrow_exception(std::exchange(failed_, nullptr));
  drawn_ = true;
  drawnLength_ = length;
  return svg_;
}

void LivePicture::Draw() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return leaving_ || asked_ != nullptr; });
    if (leaving_) return;
    const Lines& lines = *asked_;
    lock.unlock();
    std::shared_ptr<const std::string> svg;
    std::exception_ptr failed;
    try {
      svg = std::make_shared<const std::string>(RenderSvg(lines()));
    } catch (...) {
      failed = std::current_exception();
    }
#if defined(__GLIBC__)
    // What the drawing freed goes back to the system rather than waiting in the pool.
    malloc_trim(0);
#endif
    lock.lock();
    if (svg) svg_ = std::move(svg);
    failed_ = failed;
    asked_ = nullptr;
    changed_.notify_all();
  }
}

}  // namespace marlin::timeline
