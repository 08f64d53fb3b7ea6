// The pipeline runner on real pipelines: handlers under the owner's lock and notices without it;
// deadlines that fire, move and go with their pipeline; a replaced pipeline's messages dropped;
// nothing after shutdown(); and no wake-ups for an idle pipeline or a paused playback.

#include "engines/gstglue.h"
#include "engines/mediaplayer.h"
#include "engines/outputchain.h"
#include "engines/pipelinerunner.h"
#include "enginetest.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <dirent.h>
#include <fstream>
#include <sched.h>
#include <thread>
#include <vector>

using engines::GstRef;
using engines::PipelineRunner;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

GstRef<GstElement> launch(const char* description)
{
    GError* err = nullptr;
    GstElement* pipeline = gst_parse_launch(description, &err);
    if (err)
        g_error_free(err);
    return GstRef<GstElement>(pipeline ? GST_ELEMENT(gst_object_ref_sink(pipeline)) : nullptr);
}

// Runs `change` under the owner's lock, as the engines change their runner.
void underLock(std::mutex& lock, const std::function<void()>& change)
{
    std::lock_guard owner(lock);
    change();
}

// A message handler that sets `prerolled` once a pipeline has prerolled.
auto noticePreroll(std::atomic<bool>& prerolled)
{
    return [&prerolled](GstMessage* message) -> PipelineRunner::Notice {
        if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ASYNC_DONE)
            prerolled = true;
        return {};
    };
}

bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit)
{
    const auto until = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > until)
            return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

// The context switches of every thread named "kolvo-pipeline" so far; how many such threads
// there are in `threads`.
long runnerSwitches(int* threads)
{
    long switches = 0;
    *threads = 0;
    DIR* dir = opendir("/proc/self/task");
    if (!dir)
        return -1;
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        const std::string task = std::string("/proc/self/task/") + entry->d_name;
        std::string comm;
        std::getline(std::ifstream(task + "/comm"), comm);
        if (comm != "kolvo-pipeline")
            continue;
        ++*threads;
        std::ifstream status(task + "/status");
        for (std::string line; std::getline(status, line);) {
            for (const char* key : {"voluntary_ctxt_switches:", "nonvoluntary_ctxt_switches:"}) {
                if (line.rfind(key, 0) == 0)
                    switches += std::stol(line.substr(std::string(key).size()));
            }
        }
    }
    closedir(dir);
    return switches;
}

// How often the runner's thread is switched in over `span`; -1 unless exactly one runs.
long wakeupsOver(std::chrono::milliseconds span)
{
    int threads = 0;
    const long before = runnerSwitches(&threads);
    if (threads != 1)
        return -1;
    std::this_thread::sleep_for(span);
    const long after = runnerSwitches(&threads);
    return threads == 1 ? after - before : -1;
}

class Runner : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string why;
        ASSERT_TRUE(engines::ensureGstreamer(&why)) << why;
    }
};

TEST_F(Runner, EndOfStreamReachesTheHandlerAndItsNoticeRunsWithoutTheOwnersLock)
{
    std::mutex lock;
    std::atomic<int> ends{0};
    std::atomic<bool> noticeHadLock{true};
    PipelineRunner runner(lock, {.message = [&](GstMessage* message) -> PipelineRunner::Notice {
                              if (GST_MESSAGE_TYPE(message) != GST_MESSAGE_EOS)
                                  return {};
                              return [&] {
                                  const bool free = lock.try_lock();
                                  if (free)
                                      lock.unlock();
                                  noticeHadLock = !free;
                                  ++ends;
                              };
                          }});
    const auto pipeline = launch("audiotestsrc num-buffers=20 ! fakesink sync=false");
    ASSERT_TRUE(pipeline);
    underLock(lock, [&] { runner.watch(pipeline.get()); });
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    EXPECT_TRUE(waitFor([&] { return ends > 0; }, 5s));
    EXPECT_FALSE(noticeHadLock);
    EXPECT_EQ(ends, 1);
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
}

TEST_F(Runner, DeadlinesFireOnTimeMoveAndGoWithTheirPipeline)
{
    std::mutex lock;
    std::mutex firedMutex;
    std::vector<std::pair<int, Clock::time_point>> fired;
    std::atomic<bool> prerolled{false};
    PipelineRunner runner(lock, {.message = noticePreroll(prerolled),
                                 .deadline = [&](int id) -> PipelineRunner::Notice {
                                     std::lock_guard f(firedMutex);
                                     fired.emplace_back(id, Clock::now());
                                     return {};
                                 }});
    const auto firedOf = [&](int id) {
        std::lock_guard f(firedMutex);
        std::vector<Clock::time_point> at;
        for (const auto& [which, when] : fired) {
            if (which == id)
                at.push_back(when);
        }
        return at;
    };

    // Nothing watched: the thread sleeps until the deadline.
    auto set = Clock::now();
    underLock(lock, [&] { runner.setDeadline(1, set + 100ms); });
    ASSERT_TRUE(waitFor([&] { return !firedOf(1).empty(); }, 2s));
    EXPECT_GE(firedOf(1)[0] - set, 100ms);

    // Watching an idle pipeline, asleep in its bus with a later deadline: an earlier deadline
    // set now wakes it.
    const auto pipeline = launch("audiotestsrc ! fakesink");
    ASSERT_TRUE(pipeline);
    underLock(lock, [&] {
        runner.watch(pipeline.get());
        runner.setDeadline(2, Clock::now() + 60s);
    });
    gst_element_set_state(pipeline.get(), GST_STATE_PAUSED);
    ASSERT_TRUE(waitFor([&] { return prerolled.load(); }, 5s));
    std::this_thread::sleep_for(100ms);
    set = Clock::now();
    underLock(lock, [&] { runner.setDeadline(3, set + 50ms); });
    ASSERT_TRUE(waitFor([&] { return !firedOf(3).empty(); }, 2s));
    EXPECT_LT(firedOf(3)[0] - set, 1s);
    EXPECT_TRUE(firedOf(2).empty());

    // Set again, a deadline moves; cancelled, it never fires.
    set = Clock::now();
    underLock(lock, [&] {
        runner.setDeadline(4, set + 30ms);
        runner.setDeadline(4, set + 250ms);
        runner.setDeadline(5, set + 50ms);
        runner.cancelDeadline(5);
    });
    ASSERT_TRUE(waitFor([&] { return !firedOf(4).empty(); }, 2s));
    EXPECT_GE(firedOf(4)[0] - set, 250ms);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(firedOf(4).size(), 1u);
    EXPECT_TRUE(firedOf(5).empty());

    // Another pipeline watched: the deadlines of the first are gone (2 was due in a minute,
    // 6 in 100 ms).
    const auto other = launch("audiotestsrc ! fakesink");
    underLock(lock, [&] {
        runner.setDeadline(6, Clock::now() + 100ms);
        runner.watch(other.get());
    });
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(firedOf(6).empty());
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
}

TEST_F(Runner, MessagesOfAReplacedPipelineAreDropped)
{
    std::mutex lock;
    std::mutex seenMutex;
    std::vector<std::string> seen;
    PipelineRunner runner(lock, {.message = [&](GstMessage* message) -> PipelineRunner::Notice {
                              if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_APPLICATION) {
                                  std::lock_guard s(seenMutex);
                                  seen.push_back(
                                      gst_structure_get_name(gst_message_get_structure(message)));
                              }
                              return {};
                          }});
    const auto seenNow = [&] {
        std::lock_guard s(seenMutex);
        return seen;
    };
    const auto first = launch("fakesrc ! fakesink");
    const auto second = launch("fakesrc ! fakesink");
    ASSERT_TRUE(first && second);
    const GstRef<GstBus> firstBus(gst_element_get_bus(first.get()));
    const GstRef<GstBus> secondBus(gst_element_get_bus(second.get()));
    const auto say = [](GstBus* bus, GstElement* from, const char* what) {
        gst_bus_post(bus,
                     gst_message_new_application(GST_OBJECT(from), gst_structure_new_empty(what)));
    };
    underLock(lock, [&] { runner.watch(first.get()); });
    say(firstBus.get(), first.get(), "heard");
    ASSERT_TRUE(waitFor([&] { return seenNow().size() == 1; }, 2s));

    {
        std::unique_lock owner(lock);
        say(firstBus.get(), first.get(), "stale");
        // The thread takes the message off the bus and then waits for the owner's lock, so
        // the message is in its hands, not on the bus, when the pipeline is replaced.
        ASSERT_TRUE(waitFor([&] { return !gst_bus_have_pending(firstBus.get()); }, 2s));
        std::this_thread::sleep_for(50ms);
        EXPECT_EQ(seenNow().size(), 1u) << "a handler ran without the owner's lock";
        runner.watch(second.get());
    }
    say(secondBus.get(), second.get(), "fresh");
    ASSERT_TRUE(waitFor([&] { return seenNow().size() >= 2; }, 2s));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(seenNow(), (std::vector<std::string>{"heard", "fresh"}));
}

TEST_F(Runner, NoNoticeRunsOnceShutdownHasReturned)
{
    std::mutex lock;
    std::atomic<int> notices{0};
    std::atomic<bool> inside{false};
    PipelineRunner runner(lock, {.message = [&](GstMessage* message) -> PipelineRunner::Notice {
                              if (GST_MESSAGE_TYPE(message) != GST_MESSAGE_ELEMENT)
                                  return {};
                              return [&] {
                                  inside = true;
                                  std::this_thread::sleep_for(3ms);
                                  ++notices;
                                  inside = false;
                              };
                          }});
    // A level message every millisecond of sound, decoded as fast as it goes.
    const auto pipeline = launch("audiotestsrc ! level interval=1000000 post-messages=true ! "
                                 "fakesink sync=false");
    ASSERT_TRUE(pipeline);
    underLock(lock, [&] { runner.watch(pipeline.get()); });
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    ASSERT_TRUE(waitFor([&] { return notices >= 20; }, 5s));
    runner.shutdown();
    EXPECT_FALSE(inside);
    const int after = notices;
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(notices, after);
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
}

TEST_F(Runner, AnIdlePipelineCostsNoWakeups)
{
    std::mutex lock;
    std::atomic<bool> prerolled{false};
    std::atomic<int> fired{0};
    PipelineRunner runner(
        lock, {.message = noticePreroll(prerolled), .deadline = [&](int) -> PipelineRunner::Notice {
                   ++fired;
                   return {};
               }});
    const auto pipeline = launch("audiotestsrc ! fakesink");
    ASSERT_TRUE(pipeline);
    underLock(lock, [&] { runner.watch(pipeline.get()); });
    gst_element_set_state(pipeline.get(), GST_STATE_PAUSED);
    ASSERT_TRUE(waitFor([&] { return prerolled.load(); }, 5s));
    std::this_thread::sleep_for(200ms);
    const long idle = wakeupsOver(1000ms);
    ASSERT_GE(idle, 0) << "no runner thread, or more than one";
    EXPECT_LE(idle, 2);

    // A deadline costs the wake-ups it needs, no more.
    underLock(lock, [&] { runner.setDeadline(1, Clock::now() + 400ms); });
    const long withDeadline = wakeupsOver(1000ms);
    EXPECT_EQ(fired, 1);
    EXPECT_LE(withDeadline, 4);
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
}

TEST(MediaPlayerIdle, APausedPlaybackCostsNoWakeupsAndPlaysOnWhenResumed)
{
    const std::string file = enginetest::toneFile("wav", 1.5, 440);
    engines::setAudioSinkOverride("fakesink sync=true");
    std::atomic<int> playing{0}, ended{0}, failed{0};
    {
        engines::MediaPlayer player({}, {.opened = {},
                                         .playing = [&](size_t) { ++playing; },
                                         .ended = [&] { ++ended; },
                                         .failed = [&](const std::string&) { ++failed; }});
        player.open({file}, 0, true);
        ASSERT_EQ(player.waitOpened(5000), engines::MediaPlayer::OpenState::Opened);
        ASSERT_TRUE(waitFor([&] { return playing > 0; }, 5s));
        EXPECT_EQ(player.mode(), 526);
        ASSERT_TRUE(player.pause());
        EXPECT_EQ(player.mode(), 529);
        std::this_thread::sleep_for(300ms);
        const long idle = wakeupsOver(1500ms);
        ASSERT_GE(idle, 0) << "no runner thread, or more than one";
        EXPECT_LE(idle, 3);

        ASSERT_TRUE(player.resume());
        EXPECT_EQ(player.mode(), 526);
        EXPECT_TRUE(waitFor([&] { return ended > 0; }, 5s));
        EXPECT_EQ(player.mode(), 525);
        EXPECT_EQ(failed, 0);
    }
    engines::setAudioSinkOverride("");
}

// Keeps the calling thread, and every thread it starts, on one CPU while it lives.
struct OneCpu
{
    cpu_set_t old;
    const bool saved = sched_getaffinity(0, sizeof old, &old) == 0;
    OneCpu()
    {
        cpu_set_t one;
        CPU_ZERO(&one);
        for (int cpu = 0; saved && cpu < CPU_SETSIZE; ++cpu) {
            if (CPU_ISSET(cpu, &old)) {
                CPU_SET(cpu, &one);
                sched_setaffinity(0, sizeof one, &one);
                break;
            }
        }
    }
    ~OneCpu()
    {
        if (saved)
            sched_setaffinity(0, sizeof old, &old);
    }
};

} // namespace

// A pause made the moment the playback starts can reach the sink before its streaming thread
// has woken up for the first sound. On one CPU shared with busy threads, with the streaming
// threads below normal priority, that moment is hit in most rounds; the sound must still wait
// for resume, not run out during the pause and end the moment it is resumed.
TEST(MediaPlayerPause, APauseAtTheVeryStartHoldsTheSoundUntilResumed)
{
    const std::string file = enginetest::toneFile("wav", 0.5, 440);
    engines::setAudioSinkOverride("fakesink sync=true");
    const OneCpu oneCpu;
    int ranOn = 0, endedEarly = 0;
    for (int round = 0; round < 8; ++round) {
        std::atomic<int> playing{0}, ended{0}, paused{0};
        engines::MediaPlayer::Options options;
        options.priority = 0;
        engines::MediaPlayer* self = nullptr;
        engines::MediaPlayer player(options, {.opened = {},
                                              .playing =
                                                  [&](size_t) {
                                                      if (self && self->pause())
                                                          ++paused;
                                                      ++playing;
                                                  },
                                              .ended = [&] { ++ended; },
                                              .failed = {}});
        self = &player;
        // Two busy threads on the same CPU keep the streaming thread waiting for its turn.
        std::atomic<bool> busy{true};
        std::vector<std::thread> spinners;
        for (int i = 0; i < 2; ++i)
            spinners.emplace_back([&] {
                while (busy.load(std::memory_order_relaxed)) {
                }
            });
        player.open({file}, 0, true);
        const bool started = waitFor([&] { return playing > 0; }, 5s);
        busy = false;
        for (std::thread& spinner : spinners)
            spinner.join();
        ASSERT_TRUE(started);
        ASSERT_EQ(paused, 1);
        std::this_thread::sleep_for(50ms);
        const std::int64_t heldAt = player.positionMs();
        // Longer than the clip: a sink that runs on reaches its end meanwhile.
        std::this_thread::sleep_for(550ms);
        if (player.positionMs() > heldAt + 100)
            ++ranOn;
        ASSERT_TRUE(player.resume());
        if (waitFor([&] { return ended > 0; }, 100ms))
            ++endedEarly;
    }
    EXPECT_EQ(ranOn, 0) << "rounds whose sound ran on while paused";
    EXPECT_EQ(endedEarly, 0) << "rounds that ended at once on resume";
    engines::setAudioSinkOverride("");
}
