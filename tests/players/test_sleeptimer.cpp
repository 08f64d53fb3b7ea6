// The sleep timer's arithmetic on HHMMSS values: minutes added and removed at the edges, the
// countdown's borrows, the clamp of a stored duration, the menu, starting, and the action
// posted exactly once when the count runs out.

#include "platform/vocabulary.h"
#include "players/sleeptimer.h"

#include <gtest/gtest.h>

TEST(SleepTimer, MinutesAddedAndRemovedAtTheEdges)
{
    EXPECT_EQ(SleepTimer::addMinute(1000), 1100);
    EXPECT_EQ(SleepTimer::addMinute(5910), 10010) << "past 59 minutes the hour goes up";
    EXPECT_EQ(SleepTimer::addMinute(985930), 990030);
    EXPECT_EQ(SleepTimer::addMinute(995910), 995910) << "99:59:10 stays";
    EXPECT_EQ(SleepTimer::addMinute(993005), 993105) << "under the ceiling minutes still count";
    EXPECT_EQ(SleepTimer::addMinute(0), 100);

    EXPECT_EQ(SleepTimer::removeMinute(10030), 5930) << "below 0 minutes the hour goes down";
    EXPECT_EQ(SleepTimer::removeMinute(30), 0) << "at 0 hours the whole value becomes 0";
    EXPECT_EQ(SleepTimer::removeMinute(130), 30) << "the seconds stay";
    EXPECT_EQ(SleepTimer::removeMinute(100), 0);
    EXPECT_EQ(SleepTimer::removeMinute(0), 0);
    EXPECT_EQ(SleepTimer::removeMinute(990000), 985900);
}

TEST(SleepTimer, CountingDownBorrowsFromMinutesAndHours)
{
    EXPECT_EQ(SleepTimer::countDown(10000), 5959);
    EXPECT_EQ(SleepTimer::countDown(100), 59);
    EXPECT_EQ(SleepTimer::countDown(1), 0);
    EXPECT_EQ(SleepTimer::countDown(0), 0) << "0:00:00 stays 0";
    EXPECT_EQ(SleepTimer::countDown(990000), 985959);
    // A whole hour takes 3600 steps.
    int v = 10000, steps = 0;
    while (v > 0) {
        v = SleepTimer::countDown(v);
        ++steps;
    }
    EXPECT_EQ(steps, 3600);
}

TEST(SleepTimer, StoredDurationsMenuAndStartUpMinutes)
{
    EXPECT_EQ(SleepTimer::clampStored(1500000), 990000);
    EXPECT_EQ(SleepTimer::clampStored(990000), 990000);
    EXPECT_EQ(SleepTimer::clampStored(-5), 0);
    EXPECT_EQ(SleepTimer::clampStored(4500), 4500);

    EXPECT_EQ(SleepTimer::fromMinutes(90), 13000);
    EXPECT_EQ(SleepTimer::fromMinutes(45), 4500);
    EXPECT_EQ(SleepTimer::fromMinutes(2376), 393600) << "the longest the command line allows";

    EXPECT_EQ(SleepTimer::menuValue(33314), 90000);
    EXPECT_EQ(SleepTimer::menuValue(33322), 13000);
    EXPECT_EQ(SleepTimer::menuValue(33327), 1000);
    EXPECT_EQ(SleepTimer::menuValue(33328), 100000);
    EXPECT_EQ(SleepTimer::menuValue(33331), 240000);
    EXPECT_EQ(SleepTimer::menuValue(33332), -1);
    EXPECT_EQ(SleepTimer::menuValue(5163), -1);
    for (const auto& e : SleepTimer::kMenu)
        EXPECT_EQ(SleepTimer::removeMinute(SleepTimer::addMinute(e.value)), e.value) << e.command;

    EXPECT_EQ(SleepTimer::actionCommand(0), cmd::Exit);
    EXPECT_EQ(SleepTimer::actionCommand(1), cmd::ExitAndShutDown);
    EXPECT_EQ(SleepTimer::actionCommand(2), cmd::ExitAndSuspend);
    EXPECT_EQ(SleepTimer::actionCommand(7), cmd::Exit) << "an unknown action only exits";
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
    SleepTimer t;
    t.enable(100);
    ASSERT_EQ(t.start(), 100);
    std::vector<int> commands;
    int ticksToZero = 0;
    for (int tick = 1; tick <= 400; ++tick) {
        if (const int c = t.tick(2)) {
            commands.push_back(c);
            ticksToZero = tick;
        }
    }
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0], cmd::ExitAndSuspend);
    EXPECT_EQ(ticksToZero, 120) << "one second per two half-second ticks";
    EXPECT_EQ(t.value(), 0);

    // Paused, nothing counts; a dark timer neither.
    SleepTimer paused;
    paused.enable(100);
    paused.start();
    paused.stop();
    for (int tick = 0; tick < 400; ++tick)
        EXPECT_EQ(paused.tick(0), 0);
    EXPECT_EQ(paused.value(), 100);
}
