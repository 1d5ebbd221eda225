// The event hub: every subscriber gets every event in order, a slow one loses its oldest and is
// told, and closing ends every stream.
#include "app/panel/event_hub.h"

#include <gtest/gtest.h>

namespace marlin::panel {
namespace {

using namespace std::chrono_literals;

TEST(EventHub, EverySubscriberGetsEveryEventInOrder) {
  EventHub hub;
  auto a = hub.Subscribe();
  auto b = hub.Subscribe();
  hub.Publish("wait", "{\"n\":1}");
  hub.Publish("device", "{\"n\":2}");
  for (const auto& s : {a, b}) {
    EXPECT_EQ(s->Next(0ms), "event: wait\ndata: {\"n\":1}\n\n");
    EXPECT_EQ(s->Next(0ms), "event: device\ndata: {\"n\":2}\n\n");
    EXPECT_EQ(s->Next(0ms), std::nullopt);
  }
  hub.Unsubscribe(b);
  hub.Publish("wait", "{}");
  EXPECT_TRUE(a->Next(0ms));
  EXPECT_FALSE(b->Next(0ms));
}

TEST(EventHub, ASlowSubscriberLosesItsOldestEventsAndIsToldSo) {
  EventHub hub;
  auto slow = hub.Subscribe();
  for (std::size_t i = 0; i <= EventHub::kMostQueued; ++i) {
    hub.Publish("wait", "{\"n\":" + std::to_string(i) + "}");
  }
  EXPECT_EQ(slow->Next(0ms), "event: lost\ndata: {}\n\nevent: wait\ndata: {\"n\":1}\n\n");
  EXPECT_EQ(slow->Next(0ms), "event: wait\ndata: {\"n\":2}\n\n");
}

TEST(EventHub, SubscribersAreBoundedAndClosingEndsEveryStream) {
  EventHub hub;
  std::vector<std::shared_ptr<EventHub::Subscription>> open;
  for (std::size_t i = 0; i < EventHub::kMostSubscribers; ++i) open.push_back(hub.Subscribe());
  EXPECT_EQ(hub.Subscribe(), nullptr);
  hub.Unsubscribe(open.back());
  EXPECT_NE(hub.Subscribe(), nullptr);
  hub.Publish("wait", "{}");
  hub.Close();
  EXPECT_TRUE(open.front()->Closed());
  EXPECT_EQ(open.front()->Next(10s), std::nullopt);  // at once: the hub has closed
}

}  // namespace
}  // namespace marlin::panel
