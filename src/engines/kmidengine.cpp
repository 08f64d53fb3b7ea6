#include "engines/kmidengine.h"

#include "engines/engineapi.h"
#include "engines/enginesupport.h"
#include "engines/midisynth.h"
#include "engines/session.h"
#include "platform/log.h"
#include "platform/wnd.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using namespace engines;

constexpr int kDefaultTempo = 500000;

struct MidiEngine
{
    std::mutex mutex;
    std::unique_ptr<MidiPlayback> playback;
    // Karaoke records already posted may still wait in a window's queue: the playbacks they
    // belong to are kept until two newer ones have started.
    std::deque<std::unique_ptr<MidiPlayback>> retired;
    Notifier notifier;
    int baseTempo = 0; // thousandths of a BPM
    // A first play loads its SoundFont on a thread of its own; the song starts when it is
    // loaded, unless another Play or a Stop came first (the generation tells).
    bool loading = false;
    unsigned generation = 0;
    struct Loader
    {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done = std::make_shared<std::atomic<bool>>(false);
    };
    std::vector<Loader> loaders;

    ~MidiEngine()
    {
        for (Loader& l : loaders)
            l.thread.join();
    }

    // Loaders that have finished are joined as new ones start, so they never pile up.
    void reapLoadersLocked()
    {
        for (auto it = loaders.begin(); it != loaders.end();) {
            if (*it->done) {
                it->thread.join();
                it = loaders.erase(it);
            } else {
                ++it;
            }
        }
    }

    void stopLocked()
    {
        ++generation;
        loading = false;
        if (!playback)
            return;
        playback->stop();
        retired.push_back(std::move(playback));
        while (retired.size() > 2)
            retired.pop_front();
    }
};

MidiEngine& engine()
{
    static MidiEngine e;
    return e;
}

MidiPlayback::Callbacks callbacksFor(HWND window, const Notifier& notifier)
{
    MidiPlayback::Callbacks callbacks;
    callbacks.ended = [notifier] { notifier.post(kEventMode, kModeStopped); };
    callbacks.failed = [notifier](const std::string&) {
        notifier.post(kEventFailed, kMidiNoOutput);
    };
    if (window) {
        callbacks.karaoke = [window](const midi::KaraokeCue& cue) {
            Wnd::postTo(window, UM_KARAOKE, static_cast<WPARAM>(cue.code),
                        reinterpret_cast<LPARAM>(cue.lParam()));
        };
    }
    return callbacks;
}

// The SoundFont is loaded: the song starts, if it is still the one wanted.
void startLoaded(HWND window, Notifier notifier, unsigned generation, const std::string& file)
{
    MidiEngine& e = engine();
    std::lock_guard lock(e.mutex);
    if (generation != e.generation || !e.playback)
        return;
    e.loading = false;
    // The player hears that the song plays before its first words arrive.
    notifier.post(kEventMode, kModePlaying);
    std::string why;
    if (!e.playback->start(ChainRole::Midi, callbacksFor(window, notifier), why)) {
        KLOG_INFO("engines", "%s: %s", file.c_str(), why.c_str());
        notifier.post(kEventFailed, why.find("SoundFont") != std::string::npos ? kMidiNoSoundFont
                                                                               : kMidiNoOutput);
        e.stopLocked();
    }
}

} // namespace

std::int32_t KMIDEngine_Play(HWND window, const char* path, int cookie)
{
    MidiEngine& e = engine();
    std::lock_guard lock(e.mutex);
    e.stopLocked();
    const std::string file = path ? path : "";
    if (!fileReachable(file))
        return kMidiNotFound;
    std::string why;
    std::unique_ptr<MidiPlayback> playback = MidiPlayback::open(file, why);
    if (!playback) {
        KLOG_INFO("engines", "%s: %s", file.c_str(), why.c_str());
        return kMidiFailed;
    }
    e.baseTempo = static_cast<int>(std::lround(60000000000.0 / (playback->song().initialTempo > 0
                                                                    ? playback->song().initialTempo
                                                                    : kDefaultTempo)));
    e.notifier = Notifier(window, kNotifyMidi, cookie);
    const Notifier notifier = e.notifier;
    const std::string soundFont = playback->chooseSoundFont();
    if (!soundFont.empty() && !soundFontReady(soundFont)) {
        // Loading a large SoundFont takes seconds: the song follows by notification.
        e.playback = std::move(playback);
        e.loading = true;
        const unsigned generation = e.generation;
        e.reapLoadersLocked();
        MidiEngine::Loader loader;
        loader.thread =
            std::thread([window, notifier, generation, file, soundFont, done = loader.done] {
                std::string why;
                if (!preloadSoundFont(soundFont, why))
                    KLOG_INFO("engines", "%s", why.c_str());
                startLoaded(window, notifier, generation, file);
                *done = true;
            });
        e.loaders.push_back(std::move(loader));
        notifier.arm();
        return kResultMidiLater;
    }
    if (!playback->start(ChainRole::Midi, callbacksFor(window, notifier), why)) {
        KLOG_INFO("engines", "%s: %s", file.c_str(), why.c_str());
        return why.find("SoundFont") != std::string::npos ? kMidiNoSoundFont : kMidiNoOutput;
    }
    e.playback = std::move(playback);
    notifier.arm();
    return 1;
}

std::int32_t KMIDEngine_Stop()
{
    MidiEngine& e = engine();
    std::lock_guard lock(e.mutex);
    e.stopLocked();
    return 1;
}

std::int32_t KMIDEngine_Pause()
{
    MidiEngine& e = engine();
    std::lock_guard lock(e.mutex);
    if (!e.playback)
        return 0;
    e.playback->pause();
    return 1;
}

std::int32_t KMIDEngine_Resume()
{
    MidiEngine& e = engine();
    std::lock_guard lock(e.mutex);
    if (!e.playback)
        return 0;
    e.playback->resume();
    return 1;
}

std::int32_t KMIDEngine_Seek(int ms)
{
    MidiEngine& e = engine();
    std::lock_guard lock(e.mutex);
    if (!e.playback)
        return 0;
    e.playback->seek(std::max(0, ms));
    return 1;
}

std::int32_t KMIDEngine_GetPosition()
{
    MidiEngine& e = engine();
    std::lock_guard lock(e.mutex);
    return e.playback ? static_cast<std::int32_t>(e.playback->positionMs()) : 0;
}

std::int32_t KMIDEngine_GetLength()
{
    MidiEngine& e = engine();
    std::lock_guard lock(e.mutex);
    return e.playback ? static_cast<std::int32_t>(std::lround(e.playback->lengthMs())) : 0;
}

std::int32_t KMIDEngine_GetMode()
{
    MidiEngine& e = engine();
    std::lock_guard lock(e.mutex);
    if (e.loading)
        return kModeOpening;
    return e.playback ? e.playback->mode() : kModeStopped;
}

std::int32_t KMIDEngine_IsOpen()
{
    MidiEngine& e = engine();
    std::lock_guard lock(e.mutex);
    return e.playback ? 1 : 0;
}

std::int32_t KMIDEngine_GetFileInfo(char* buffer, int size)
{
    MidiEngine& e = engine();
    std::lock_guard lock(e.mutex);
    return copyText(buffer, size, e.playback ? e.playback->describe() : std::string());
}

std::int32_t KMIDEngine_GetTempo()
{
    MidiEngine& e = engine();
    std::lock_guard lock(e.mutex);
    return e.playback ? e.baseTempo : 0;
}

std::int32_t KMIDEngine_SetTempo(int tempo)
{
    MidiEngine& e = engine();
    std::lock_guard lock(e.mutex);
    if (!e.playback || e.baseTempo <= 0 || tempo <= 0)
        return 0;
    e.playback->setTempoFactor(static_cast<double>(tempo) / e.baseTempo);
    return 1;
}

std::int32_t KMIDEngine_GetKey(int)
{
    MidiEngine& e = engine();
    std::lock_guard lock(e.mutex);
    return e.playback ? e.playback->key() : 0;
}

std::int32_t KMIDEngine_SetKey(int key)
{
    MidiEngine& e = engine();
    std::lock_guard lock(e.mutex);
    if (!e.playback)
        return 0;
    e.playback->setKey(key);
    return 1;
}

std::int32_t KMIDEngine_IsKaraoke()
{
    MidiEngine& e = engine();
    std::lock_guard lock(e.mutex);
    return e.playback && !e.playback->karaoke().empty() ? 1 : 0;
}

std::int32_t KMIDEngine_GetSpectrum(std::int32_t* buffer)
{
    MidiEngine& e = engine();
    {
        std::lock_guard lock(e.mutex);
        if (!e.playback || e.playback->mode() != kModePlaying)
            return 0;
    }
    return buffer && roleSpectrum(ChainRole::Midi, buffer, 0) ? 1 : 0;
}
