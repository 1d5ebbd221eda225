#include "app/panel/event_hub.h"

#include <algorithm>

namespace marlin::panel {

std::shared_ptr<EventHub::Subscription> EventHub::Subscribe() {
  std::lock_guard lock(mutex_);
  if (closed_ || subscribers_.size() >= kMostSubscribers) return nullptr;
  auto subscription = std::make_shared<Subscription>();
  subscription->hub_ = this;
  subscribers_.push_back(subscription);
  return subscription;
}

void EventHub::Unsubscribe(const std::shared_ptr<Subscription>& subscription) {
  std::lock_guard lock(mutex_);
  std::erase(subscribers_, subscription);
}

void EventHub::Publish(const std::string& type, const std::string& json) {
  const std::string block = "event: " + type + "\ndata: " + json + "\n\n";
  {
    std::lock_guard lock(mutex_);
    for (const auto& s : subscribers_) {
      if (s->queue_.size() >= kMostQueued) {
        s->queue_.pop_front();
        s->lost_ = true;
      }
      s->queue_.push_back(block);
    }
  }
  changed_.notify_all();
}

void EventHub::Close() {
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
  }
  changed_.notify_all();
}

bool EventHub::Subscription::Closed() const {
  std::lock_guard lock(hub_->mutex_);
  return hub_->closed_;
}

std::optional<std::string> EventHub::Subscription::Next(std::chrono::milliseconds wait) {
  std::unique_lock lock(hub_->mutex_);
  hub_->changed_.wait_for(lock, wait, [&] { return hub_->closed_ || !queue_.empty(); });
  if (hub_->closed_ || queue_.empty()) return std::nullopt;
  std::string block = std::move(queue_.front());
  queue_.pop_front();
  if (lost_) {
    lost_ = false;
    block = "event: lost\ndata: {}\n\n" + block;
  }
  return block;
}

}  // namespace marlin::panel
