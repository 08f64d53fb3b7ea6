#include "engines/samplingservice.h"

#include "engines/kcdsengine.h"
#include "engines/kmidengine.h"
#include "engines/kmpengine.h"

#include <atomic>
#include <chrono>
#include <future>

namespace engines {

namespace {

constexpr int kFlagBit = 0x10000;
constexpr auto kCycle = std::chrono::milliseconds(50);
constexpr auto kIdleSleep = std::chrono::milliseconds(200);

std::mutex g_midiMutex;
SpectrumSource g_midiSource, g_imsSource;

} // namespace

// Everything the worker touches lives here, so a worker left behind after stop() never uses
// freed memory.
struct SpectrumService::Shared
{
    std::vector<SpectrumSource> sources;
    mutable std::mutex lock;
    std::condition_variable wake;
    std::array<SpectrumDisplayClient*, 2> slots{};
    bool held = true;
    // Set without the lock: a worker stuck in an engine holds the lock.
    std::atomic<bool> quit{false};
    std::promise<void> finished;
};

SpectrumService::SpectrumService(std::vector<SpectrumSource> sources)
    : m_shared(std::make_shared<Shared>())
{
    m_shared->sources = std::move(sources);
}

SpectrumService::~SpectrumService()
{
    stop();
}

SpectrumService& SpectrumService::instance()
{
    static SpectrumService service(engineSources());
    return service;
}

std::vector<SpectrumSource> SpectrumService::engineSources()
{
    std::vector<SpectrumSource> sources = {
        [](std::int32_t* b, int flag) { return static_cast<int>(KMPEngine_GetSpectrum(b, flag)); },
        [](std::int32_t* b, int flag) {
            return static_cast<int>(KCDSEngine_GetSpectrum(0, b, flag));
        },
        [](std::int32_t* b, int flag) {
            return static_cast<int>(KCDSEngine_GetSpectrum(1, b, flag));
        },
        // The MIDI and IMS engines take no flag. Without a source provided, the MIDI engine's
        // own (its chain's spectrum while a song sounds).
        [](std::int32_t* b, int flag) {
            std::lock_guard lock(g_midiMutex);
            return g_midiSource ? g_midiSource(b, flag)
                                : static_cast<int>(KMIDEngine_GetSpectrum(b));
        },
        [](std::int32_t* b, int flag) {
            std::lock_guard lock(g_midiMutex);
            return g_imsSource ? g_imsSource(b, flag) : 0;
        },
    };
    return sources;
}

void SpectrumService::setMidiSources(SpectrumSource midi, SpectrumSource ims)
{
    std::lock_guard lock(g_midiMutex);
    g_midiSource = std::move(midi);
    g_imsSource = std::move(ims);
}

void SpectrumService::start()
{
    if (m_worker.joinable())
        return;
    {
        std::lock_guard lock(m_shared->lock);
        m_shared->slots = {};
        m_shared->held = true;
    }
    m_worker = std::thread(run, m_shared);
}

void SpectrumService::registerDisplay(int slot, SpectrumDisplayClient* display)
{
    if (slot < 0 || slot > 1)
        return;
    std::lock_guard lock(m_shared->lock);
    m_shared->slots[slot] = display;
    // Held or released under the lock, so the worker is never held inside a cycle.
    m_shared->held = !m_shared->slots[0] && !m_shared->slots[1];
    m_shared->wake.notify_all();
}

bool SpectrumService::isHeld() const
{
    std::lock_guard lock(m_shared->lock);
    return m_shared->held;
}

void SpectrumService::stop()
{
    if (!m_worker.joinable())
        return;
    std::future<void> finished = m_shared->finished.get_future();
    m_shared->quit = true;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(1000);
    // Release a held worker; the lock is only ever busy for one cycle unless an engine hangs.
    while (std::chrono::steady_clock::now() < deadline) {
        std::unique_lock lock(m_shared->lock, std::try_to_lock);
        if (lock.owns_lock()) {
            m_shared->held = false;
            m_shared->wake.notify_all();
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (finished.wait_until(deadline) == std::future_status::ready)
        m_worker.join();
    else
        m_worker.detach(); // stuck in an engine: it ends on its own and shows nothing more
    auto sources = m_shared->sources;
    m_shared = std::make_shared<Shared>();
    m_shared->sources = std::move(sources);
}

void SpectrumService::run(std::shared_ptr<Shared> s)
{
    // True when a source answered; with none answering the displays keep their last picture.
    const auto fetch = [&s](int flag, SpectrumSnapshot& out) {
        for (const auto& source : s->sources) {
            out.fill(0);
            if (source && source(out.data(), flag))
                return true;
        }
        return false;
    };
    while (true) {
        {
            std::unique_lock lock(s->lock);
            s->wake.wait(lock, [&] { return !s->held || s->quit; });
            if (s->quit)
                break;
        }
        bool any;
        {
            std::lock_guard lock(s->lock);
            any = s->slots[0] || s->slots[1];
        }
        if (!any) {
            std::this_thread::sleep_for(kIdleSleep);
            continue;
        }
        const auto began = std::chrono::steady_clock::now();
        {
            std::lock_guard lock(s->lock);
            SpectrumDisplayClient* first = s->slots[0];
            SpectrumDisplayClient* second = s->slots[1];
            const int flag0 = first ? first->spectrumMode() & kFlagBit : 0;
            const int flag1 = second ? second->spectrumMode() & kFlagBit : 0;
            SpectrumSnapshot snapshot;
            bool answered = fetch(first ? flag0 : flag1, snapshot);
            if (s->quit)
                break;
            if (first && answered)
                first->showSpectrum(snapshot);
            if (second) {
                if (first && flag0 != flag1)
                    answered = fetch(flag1, snapshot);
                if (s->quit)
                    break;
                if (answered)
                    second->showSpectrum(snapshot);
            }
        }
        const auto spent = std::chrono::steady_clock::now() - began;
        if (spent < kCycle)
            std::this_thread::sleep_for(kCycle - spent);
    }
    s->finished.set_value();
}

} // namespace engines
