// The spectrum sampling service with sources and displays of our own: held while no display
// is there, asking the sources in order, one fetch per cycle unless the displays want
// different flags, and a bounded stop even when an engine hangs.

#include "engines/kcdsengine.h"
#include "engines/kmpengine.h"
#include "engines/outputchain.h"
#include "engines/pcmoutput.h"
#include "engines/samplingservice.h"
#include "enginetest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>
#include <vector>

using namespace engines;
using namespace std::chrono_literals;

namespace {

class Display : public SpectrumDisplayClient
{
public:
    explicit Display(int mode = 0)
        : m_mode(mode)
    {}
    int spectrumMode() const override { return m_mode; }
    void showSpectrum(const SpectrumSnapshot& s) override
    {
        std::lock_guard lock(m_mutex);
        m_last = s;
        ++m_shown;
    }
    int shown() const { return m_shown; }
    SpectrumSnapshot last() const
    {
        std::lock_guard lock(m_mutex);
        return m_last;
    }

private:
    int m_mode;
    mutable std::mutex m_mutex;
    std::atomic<int> m_shown{0};
    SpectrumSnapshot m_last{};
};

// A source that records the flags it was asked with and answers with `value` (0: nothing).
struct Source
{
    std::atomic<int> calls{0};
    std::atomic<int> lastFlag{-1};
    std::atomic<int> value{0};
    SpectrumSource fn()
    {
        return [this](std::int32_t* b, int flag) {
            ++calls;
            lastFlag = flag;
            if (!value)
                return 0;
            for (int i = 0; i < 20; ++i)
                b[i] = value + flag / 0x10000;
            return 1;
        };
    }
};

// Runs a service of `sources` for `ms` with the displays in slots 0 and 1 (nullptr: none).
void runFor(std::vector<SpectrumSource> sources, Display* first, Display* second,
            std::chrono::milliseconds ms)
{
    SpectrumService service(std::move(sources));
    service.start();
    service.registerDisplay(0, first);
    service.registerDisplay(1, second);
    std::this_thread::sleep_for(ms);
    service.stop();
}

TEST(SpectrumService, HeldUntilADisplayComesAndAboutTwentyTimesASecondThen)
{
    Source a;
    a.value = 7;
    SpectrumService service({a.fn()});
    service.start();
    std::this_thread::sleep_for(200ms);
    EXPECT_TRUE(service.isHeld());
    EXPECT_EQ(a.calls, 0);

    Display d;
    service.registerDisplay(0, &d);
    EXPECT_FALSE(service.isHeld());
    std::this_thread::sleep_for(1000ms);
    EXPECT_GE(d.shown(), 14);
    EXPECT_LE(d.shown(), 22);
    EXPECT_EQ(d.last()[19], 7);

    // Both slots empty: held again, nothing more is asked.
    service.registerDisplay(0, nullptr);
    EXPECT_TRUE(service.isHeld());
    std::this_thread::sleep_for(100ms);
    const int calls = a.calls;
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(a.calls, calls);
    service.registerDisplay(5, &d); // no such slot
    EXPECT_TRUE(service.isHeld());
    service.stop();
}

TEST(SpectrumService, SourcesInOrderUntilOneAnswers)
{
    Source first, second, third;
    second.value = 5;
    third.value = 9;
    Display d;
    runFor({first.fn(), second.fn(), third.fn()}, &d, nullptr, 300ms);
    EXPECT_GT(first.calls, 0);
    EXPECT_EQ(first.calls, second.calls);
    EXPECT_EQ(third.calls, 0);
    EXPECT_EQ(d.last()[0], 5);

    // Nobody sounds: the display keeps its last picture.
    Source silent;
    Display keep;
    keep.showSpectrum(SpectrumSnapshot{3});
    runFor({silent.fn()}, nullptr, &keep, 200ms);
    EXPECT_GT(silent.calls, 0);
    EXPECT_EQ(keep.shown(), 1);
    EXPECT_EQ(keep.last()[0], 3);
}

TEST(SpectrumService, OneFetchForTwoDisplaysUnlessTheirFlagsDiffer)
{
    Source s, t, u;
    s.value = t.value = u.value = 1;
    Display effector(0), viewer(0);
    runFor({s.fn()}, &effector, &viewer, 500ms);
    EXPECT_GT(s.calls, 0);
    EXPECT_EQ(s.calls, effector.shown());
    EXPECT_EQ(viewer.shown(), effector.shown());

    // Different flags: a second fetch for the viewer, with the viewer's flag.
    Display plain(0), linear(0x10000 | 3);
    runFor({t.fn()}, &plain, &linear, 500ms);
    EXPECT_EQ(t.calls, plain.shown() + linear.shown());
    EXPECT_EQ(plain.last()[0], 1);
    EXPECT_EQ(linear.last()[0], 2);

    // Only the viewer: its flag is used.
    Display lone(0x10000);
    runFor({u.fn()}, nullptr, &lone, 200ms);
    EXPECT_EQ(u.lastFlag, 0x10000);
}

TEST(SpectrumService, StopEndsWithinASecondEvenWhenAnEngineHangs)
{
    std::atomic<bool> release{false};
    std::atomic<int> entered{0};
    SpectrumSource hanging = [&](std::int32_t*, int) {
        ++entered;
        while (!release)
            std::this_thread::sleep_for(10ms);
        return 0;
    };
    auto service = std::make_unique<SpectrumService>(std::vector<SpectrumSource>{hanging});
    service->start();
    Display d;
    service->registerDisplay(0, &d);
    while (entered == 0)
        std::this_thread::sleep_for(5ms);
    const auto began = std::chrono::steady_clock::now();
    service->stop();
    const auto took = std::chrono::steady_clock::now() - began;
    EXPECT_GE(took, 900ms);
    EXPECT_LT(took, 1300ms);
    service.reset();
    // The worker left behind finishes later without touching the display.
    release = true;
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(d.shown(), 0);
}

long loudestBand(const SpectrumSnapshot& bands)
{
    return std::max_element(bands.begin(), bands.end()) - bands.begin();
}

// Asks `source` until it answers, for up to two seconds.
bool answers(const SpectrumSource& source, SpectrumSnapshot& bands)
{
    for (int i = 0; i < 100; ++i) {
        if (source(bands.data(), 0))
            return true;
        std::this_thread::sleep_for(20ms);
    }
    return false;
}

class SoundingChains : public ::testing::Test
{
protected:
    void SetUp() override { setAudioSinkOverride("fakesink sync=true"); }
    void TearDown() override
    {
        KCDSEngine_Stop(0);
        KCDSEngine_Stop(1);
        setAudioSinkOverride("");
    }
};

// Spectrum bands: 502 to 670 Hz is band 8, 894 to 1193 Hz band 10, 1598 to 2132 Hz band 12.
constexpr double kMpegHz = 580, kCdHz = 1000, kMidiHz = 2000;

TEST_F(SoundingChains, TheEnginesInTheirDesignedOrder)
{
    // Each of the first three sources follows its own chain: the MPEG engine's, the CD
    // player's and the MIDI player's, each sounding a tone of its own.
    {
        enginetest::PcmTone mpeg(ChainRole::DigitalAudio, kMpegHz);
        enginetest::PcmTone cd(ChainRole::Cd, kCdHz);
        enginetest::PcmTone midi(ChainRole::Midi, kMidiHz);
        KCDSEngine_Run(0);
        KCDSEngine_Run(1);
        const auto sources = SpectrumService::engineSources();
        ASSERT_EQ(sources.size(), 5u);
        const long expected[3] = {8, 10, 12};
        for (size_t i = 0; i < 3; ++i) {
            SpectrumSnapshot b{};
            ASSERT_TRUE(answers(sources[i], b)) << i;
            EXPECT_EQ(loudestBand(b), expected[i]) << i;
        }
        // The service shows the first that answers: the MPEG engine's while it sounds.
        Display d;
        runFor(SpectrumService::engineSources(), &d, nullptr, 300ms);
        EXPECT_GT(d.shown(), 0);
        EXPECT_EQ(loudestBand(d.last()), 8);
    }
    {
        // Then the CD's, and the MIDI player's once the CD instance stops.
        enginetest::PcmTone cd(ChainRole::Cd, kCdHz);
        enginetest::PcmTone midi(ChainRole::Midi, kMidiHz);
        SpectrumService service(SpectrumService::engineSources());
        service.start();
        Display d;
        service.registerDisplay(0, &d);
        std::this_thread::sleep_for(800ms);
        EXPECT_EQ(loudestBand(d.last()), 10) << "the CD comes before the MIDI player";
        KCDSEngine_Stop(0);
        std::this_thread::sleep_for(300ms);
        EXPECT_EQ(loudestBand(d.last()), 12);
        service.registerDisplay(0, nullptr);
        service.stop();
    }
    KCDSEngine_Stop(1);

    // Nothing sounds now: the engine sources answer nothing, except the MIDI one provided
    // here, which comes after the MPEG and CD sources.
    std::atomic<int> imsCalls{0};
    SpectrumService::setMidiSources(
        [](std::int32_t* b, int) {
            b[0] = 42;
            return 1;
        },
        [&](std::int32_t*, int) {
            ++imsCalls;
            return 0;
        });
    KCDSEngine_Run(0);
    const auto sources = SpectrumService::engineSources();
    ASSERT_EQ(sources.size(), 5u);
    SpectrumSnapshot b{};
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(sources[i](b.data(), 0), 0) << i;
    EXPECT_EQ(sources[3](b.data(), 0), 1);
    EXPECT_EQ(b[0], 42);
    EXPECT_EQ(sources[4](b.data(), 0), 0);
    EXPECT_EQ(imsCalls, 1);
    KCDSEngine_Stop(0);
    SpectrumService::setMidiSources({}, {});
    EXPECT_EQ(sources[3](b.data(), 0), 0);
}

} // namespace
