// A spectrum display fed by a sampling service of its own, over sources the test controls.

#include "componenthost.h"
#include "engines/samplingservice.h"
#include "players/spectrumdisplay.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include <atomic>
#include <mutex>
#include <thread>

using componenttest::spin;
using componenttest::waitFor;

namespace {

struct Source
{
    std::mutex lock;
    engines::SpectrumSnapshot values{};
    bool answering = true;
    std::atomic<int> lastFlag{-1};
    std::atomic<int> calls{0};
    std::atomic<bool> calledOffUiThread{false};
    std::thread::id uiThread = std::this_thread::get_id();

    engines::SpectrumSource function()
    {
        return [this](std::int32_t* buffer, int flag) {
            ++calls;
            lastFlag = flag;
            if (std::this_thread::get_id() != uiThread)
                calledOffUiThread = true;
            std::lock_guard l(lock);
            if (!answering)
                return 0;
            std::copy(values.begin(), values.end(), buffer);
            return 1;
        };
    }
    void set(int all)
    {
        std::lock_guard l(lock);
        values.fill(all);
    }
};

} // namespace

TEST(SpectrumDisplay, DrawingModesScaleTheBands)
{
    EXPECT_EQ(SpectrumDisplay::scaled(80, 0), 40);
    EXPECT_EQ(SpectrumDisplay::scaled(80, 1), 80);
    EXPECT_EQ(SpectrumDisplay::scaled(30, 2), 60);
    EXPECT_EQ(SpectrumDisplay::scaled(80, 3), 100) << "limited to the display";
    EXPECT_EQ(SpectrumDisplay::scaled(-5, 1), 0);
    EXPECT_EQ(SpectrumDisplay::drawingModeOf(0x10003), 3);
    EXPECT_EQ(SpectrumDisplay::drawingModeOf(0x10009), 3);
}

TEST(SpectrumDisplay, SnapshotsCrossToTheUserInterfaceThreadOnlyWhileShownAndEnabled)
{
    Source source;
    engines::SpectrumService service({source.function()});
    service.start();
    Wnd parent;
    parent.resize(300, 100);
    SpectrumDisplay display(1, QRect(5, 19, 224, 49), &parent, 5207,
                            1 | SpectrumDisplay::kLinearFlag, &service);
    display.show();
    source.set(70);

    // Hidden: not registered, however enabled.
    display.Enable(true);
    EXPECT_FALSE(display.isRegistered());
    EXPECT_TRUE(service.isHeld());
    spin(150);
    EXPECT_EQ(source.calls, 0) << "a held worker asks nobody";

    parent.show();
    ASSERT_TRUE(display.isRegistered());
    EXPECT_FALSE(service.isHeld());
    EXPECT_TRUE(display.isAnimating()) << "the sweep runs first";
    EXPECT_EQ(display.snapshotsShown(), 0);
    ASSERT_TRUE(waitFor([&] { return !display.isAnimating(); }, 2000));
    ASSERT_TRUE(waitFor([&] { return display.snapshotsShown() >= 3; }, 2000));
    EXPECT_TRUE(source.calledOffUiThread) << "the sources are asked on the worker";
    EXPECT_EQ(source.lastFlag, SpectrumDisplay::kLinearFlag) << "the mode word's flag";
    EXPECT_EQ(display.levels()[0], 70);
    EXPECT_EQ(display.levels()[19], 70);

    // Mode 0 halves, the peaks of mode 2 fall slowly after a drop.
    display.SetMode(0);
    ASSERT_TRUE(waitFor([&] { return display.levels()[5] == 35; }, 2000));
    EXPECT_EQ(source.lastFlag, 0);
    display.SetMode(2);
    ASSERT_TRUE(waitFor([&] { return display.levels()[5] == 100; }, 2000));
    source.set(10);
    ASSERT_TRUE(waitFor([&] { return display.levels()[5] == 20; }, 2000));
    EXPECT_GT(display.peaks()[5], 20) << "the peak falls behind the bar";

    // No source answers: the last picture stays.
    {
        std::lock_guard l(source.lock);
        source.answering = false;
    }
    const int shown = display.snapshotsShown();
    spin(300);
    EXPECT_EQ(display.snapshotsShown(), shown);
    EXPECT_EQ(display.levels()[5], 20);

    // Disabled: unregistered, an all-zero picture; the worker is held again.
    display.Enable(false);
    EXPECT_FALSE(display.isRegistered());
    EXPECT_TRUE(service.isHeld());
    EXPECT_EQ(display.levels(), (std::array<int, 20>{}));
    const int callsWhenHeld = source.calls;
    spin(300);
    EXPECT_LE(source.calls - callsWhenHeld, 1) << "a held worker stays idle";

    // Enabled again and then hidden with its parent: unregistered.
    display.Enable(true);
    EXPECT_TRUE(display.isRegistered());
    parent.hide();
    EXPECT_FALSE(display.isRegistered());
    service.stop();
}

TEST(SpectrumDisplay, TheDrawingModesLookDifferent)
{
    std::array<int, 20> levels{}, peaks{};
    for (int i = 0; i < 20; ++i) {
        levels[i] = 5 * i;
        peaks[i] = std::min(100, 5 * i + 20);
    }
    std::vector<QImage> pictures;
    for (int mode = 0; mode < SpectrumDisplay::kDrawingModes; ++mode) {
        QImage img(242, 50, QImage::Format_RGB32);
        img.fill(Qt::black);
        QPainter p(&img);
        SpectrumDisplay::paintBars(p, img.rect(), mode, levels, peaks);
        p.end();
        // The tallest band reaches high up; the first band (0) leaves its column dark there.
        EXPECT_NE(img.pixel(235, 45), qRgb(0, 0, 0)) << mode;
        for (const QImage& other : pictures)
            EXPECT_NE(img, other) << mode;
        pictures.push_back(img);
    }
    // A band of 0 lights nothing of its own in the solid mode.
    EXPECT_EQ(pictures[0].pixel(5, 40), qRgb(0, 0, 0));
}
