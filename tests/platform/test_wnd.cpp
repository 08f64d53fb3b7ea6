#include "platform/wnd.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>

#include <thread>
#include <vector>

namespace {

struct Seen
{
    UINT msg;
    WPARAM w;
    LPARAM l;
    bool onGuiThread;
};

class Recorder : public Wnd
{
public:
    std::vector<Seen> seen;
    std::function<void(UINT, WPARAM)> onEach;

protected:
    LRESULT onMessage(UINT msg, WPARAM w, LPARAM l) override
    {
        seen.push_back({msg, w, l, QThread::currentThread() == qApp->thread()});
        if (onEach)
            onEach(msg, w);
        return static_cast<LRESULT>(w * 2 + l);
    }
};

void pumpUntil(const std::function<bool()>& done, int ms = 2000)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

} // namespace

TEST(Wnd, SendIsSynchronousAndReturnsTheHandlersResultOnTheWindowsThread)
{
    Recorder w;
    EXPECT_EQ(w.sendMessage(WM_USER + 1, 20, 2), 42);
    EXPECT_EQ(w.seen.size(), 1u);
    EXPECT_EQ(Wnd::sendTo(w.handle(), WM_USER + 2, 1, 1), 3);
    EXPECT_EQ(Wnd::sendTo(HWND(0), WM_USER, 1, 1), 0);
    // From a worker, the send waits for the window's thread to handle it.
    LRESULT result = 0;
    std::thread worker([&] { result = w.sendMessage(WM_USER, 5, 1); });
    pumpUntil([&] { return w.seen.size() == 3; });
    worker.join();
    EXPECT_EQ(result, 11);
    ASSERT_EQ(w.seen.size(), 3u);
    EXPECT_TRUE(w.seen[2].onGuiThread);
}

TEST(Wnd, PostedMessagesArriveLaterInOrderOnTheWindowsThread)
{
    Recorder w;
    for (WPARAM i = 0; i < 5; ++i)
        EXPECT_TRUE(w.postMessage(WM_COMMAND, i, 0));
    EXPECT_TRUE(w.seen.empty()) << "a posted message must not run inside postMessage";
    // And from worker threads.
    std::vector<std::thread> workers;
    for (int t = 0; t < 4; ++t)
        workers.emplace_back([h = w.handle()] {
            for (int i = 0; i < 250; ++i)
                Wnd::postTo(h, WM_USER + 7, static_cast<WPARAM>(i), 0);
        });
    for (auto& t : workers)
        t.join();
    pumpUntil([&] { return w.seen.size() == 1005; });
    ASSERT_EQ(w.seen.size(), 1005u);
    for (WPARAM i = 0; i < 5; ++i)
        EXPECT_EQ(w.seen[i].w, i);
    for (const Seen& s : w.seen)
        EXPECT_TRUE(s.onGuiThread);
}

TEST(Wnd, MessagesToAWindowThatIsGoneAreDropped)
{
    HWND gone;
    {
        Recorder w;
        gone = w.handle();
        w.postMessage(WM_USER, 1, 0); // pending when the window dies
    }
    EXPECT_EQ(Wnd::fromHandle(gone), nullptr);
    EXPECT_FALSE(Wnd::postTo(gone, WM_USER, 1, 0));
    // A newer window never inherits the old handle.
    Recorder newer;
    EXPECT_NE(newer.handle(), gone);
    QCoreApplication::processEvents();
    EXPECT_TRUE(newer.seen.empty());
}

TEST(Wnd, TimersDeliverTheirIdsAndCanBeClearedFromTheirOwnHandler)
{
    Recorder w;
    int fast = 0, slow = 0;
    w.onEach = [&](UINT msg, WPARAM id) {
        if (msg != WM_TIMER)
            return;
        if (id == 300 && ++fast == 3)
            w.clearTimer(300);
        if (id == 1)
            ++slow;
    };
    w.setTimer(300, 10);
    w.setTimer(1, 40);
    EXPECT_TRUE(w.hasTimer(300));
    // Both run, then long enough for five more of timer 300's periods (a busy machine may
    // delay either).
    pumpUntil([&] { return fast >= 3 && slow >= 2; }, 3000);
    QTest::qWait(50);
    EXPECT_EQ(fast, 3) << "timer 300 must stop after its handler cleared it";
    EXPECT_FALSE(w.hasTimer(300));
    EXPECT_GE(slow, 2);
    // Setting a running id again replaces it rather than adding a second timer.
    w.clearTimer(1);
    slow = 0;
    w.setTimer(1, 30);
    w.setTimer(1, 30);
    QTest::qWait(100);
    w.clearTimer(1);
    EXPECT_LE(slow, 4);
    EXPECT_GE(slow, 1);
}
