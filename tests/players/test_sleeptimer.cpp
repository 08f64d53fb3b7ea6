// The sleep timer's arithmetic on HHMMSS values, starting, and the action posted exactly once
// when the count runs out.

#include "platform/vocabulary.h"
#include "players/sleeptimer.h"

#include <gtest/gtest.h>

namespace {

template <class F>
std::vector<int> each(F f, std::initializer_list<int> values)
{
    std::vector<int> out;
    for (int v : values)
        out.push_back(f(v));
    return out;
}
using Ints = std::vector<int>;

} // namespace

TEST(SleepTimer, MinutesAddedAndRemovedAtTheEdges)
{
    // Past 59 minutes the hour goes up; 99:59:10 stays; under the ceiling minutes still count.
    EXPECT_EQ(each(SleepTimer::addMinute, {1000, 5910, 985930, 995910, 993005, 0}),
              (Ints{1100, 10010, 990030, 995910, 993105, 100}));
    // Below 0 minutes the hour goes down; at 0 hours the whole value becomes 0; seconds stay.
    EXPECT_EQ(each(SleepTimer::removeMinute, {10030, 30, 130, 100, 0, 990000}),
              (Ints{5930, 0, 30, 0, 0, 985900}));
}

TEST(SleepTimer, CountingDownBorrowsFromMinutesAndHours)
{
    EXPECT_EQ(each(SleepTimer::countDown, {10000, 100, 1, 0, 990000}),
              (Ints{5959, 59, 0, 0, 985959}));
    // A whole hour takes 3600 steps.
    int v = 10000, steps = 0;
    for (; v > 0; ++steps)
        v = SleepTimer::countDown(v);
    EXPECT_EQ(steps, 3600);
}

TEST(SleepTimer, StoredDurationsMenuAndStartUpMinutes)
{
    EXPECT_EQ(each(SleepTimer::clampStored, {1500000, 990000, -5, 4500}),
              (Ints{990000, 990000, 0, 4500}));
    // 2376 minutes is the longest the command line allows.
    EXPECT_EQ(each(SleepTimer::fromMinutes, {90, 45, 2376}), (Ints{13000, 4500, 393600}));
    EXPECT_EQ(each(SleepTimer::menuValue, {33314, 33322, 33327, 33328, 33331, 33332, 5163}),
              (Ints{90000, 13000, 1000, 100000, 240000, -1, -1}));
    for (const auto& e : SleepTimer::kMenu)
        EXPECT_EQ(SleepTimer::removeMinute(SleepTimer::addMinute(e.value)), e.value) << e.command;
    // An unknown action only exits.
    EXPECT_EQ(each(SleepTimer::actionCommand, {0, 1, 2, 7}),
              (Ints{cmd::Exit, cmd::ExitAndShutDown, cmd::ExitAndSuspend, cmd::Exit}));
}

TEST(SleepTimer, StartsOnlyWhileEnabledAndForAtLeastAMinute)
{
    SleepTimer t;
    t.setValue(30);
    EXPECT_EQ(t.start(), -1) << "a dark timer does not start";
    EXPECT_FALSE(t.running());
    t.enable(1500000);
    EXPECT_EQ(t.value(), 990000) << "enabling shows the stored value, clamped";
    EXPECT_FALSE(t.running());
    t.setValue(30);
    EXPECT_EQ(t.start(), 100) << "0:00:30 starts a one-minute countdown";
    EXPECT_TRUE(t.running());
    t.stop();
    EXPECT_EQ(t.value(), 100) << "stopping keeps the remainder";
    t.disable();
    EXPECT_FALSE(t.enabled());
    EXPECT_FALSE(t.running());
}

TEST(SleepTimer, TheCountdownPostsItsActionExactlyOnce)
{
    SleepTimer t, paused;
    t.enable(100);
    ASSERT_EQ(t.start(), 100);
    // One second per two half-second ticks: the action at the 120th.
    std::vector<std::pair<int, int>> posted;
    for (int tick = 1; tick <= 400; ++tick)
        if (const int c = t.tick(2))
            posted.emplace_back(tick, c);
    EXPECT_EQ(posted, (std::vector<std::pair<int, int>>{{120, cmd::ExitAndSuspend}}));
    EXPECT_EQ(t.value(), 0);
    // Paused, nothing counts.
    paused.enable(100);
    paused.start();
    paused.stop();
    for (int tick = 0; tick < 400; ++tick)
        EXPECT_EQ(paused.tick(0), 0);
    EXPECT_EQ(paused.value(), 100);
}
