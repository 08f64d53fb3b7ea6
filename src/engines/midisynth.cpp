#include "engines/midisynth.h"

#include "engines/pcmoutput.h"
#include "engines/session.h"
#include "platform/log.h"

#include <dlfcn.h>
#include <fluidsynth.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <mutex>
#include <thread>

namespace engines {

namespace {

constexpr int kRate = 44100;
// Frames rendered at a time between events: 5.8 ms, fine enough for any groove, large enough
// to cost nothing per block.
constexpr int kBlockFrames = 256;
constexpr int kMaxTailFrames = kRate * 3 / 2;
constexpr int kDrumChannel = 9;

// FluidSynth is opened when the first song needs it, not linked: the library brings some sixty
// others with it (JACK, SDL, libinstpatch...), whose loading would lengthen every start of the
// program, MIDI or not.
#define KOLVO_FLUID_FUNCTIONS(F)                                                                   \
    F(fluid_set_log_function)                                                                      \
    F(new_fluid_settings)                                                                          \
    F(fluid_settings_setnum)                                                                       \
    F(fluid_settings_setint)                                                                       \
    F(new_fluid_synth)                                                                             \
    F(fluid_synth_sfload)                                                                          \
    F(delete_fluid_synth)                                                                          \
    F(delete_fluid_settings)                                                                       \
    F(fluid_synth_system_reset)                                                                    \
    F(fluid_synth_noteon)                                                                          \
    F(fluid_synth_noteoff)                                                                         \
    F(fluid_synth_key_pressure)                                                                    \
    F(fluid_synth_cc)                                                                              \
    F(fluid_synth_program_change)                                                                  \
    F(fluid_synth_channel_pressure)                                                                \
    F(fluid_synth_pitch_bend)                                                                      \
    F(fluid_synth_write_s16)                                                                       \
    F(fluid_synth_get_active_voice_count)

struct FluidApi
{
#define KOLVO_FLUID_POINTER(name) decltype(&::name) name = nullptr;
    KOLVO_FLUID_FUNCTIONS(KOLVO_FLUID_POINTER)
#undef KOLVO_FLUID_POINTER
    std::string error; // empty when every function was found
};

const FluidApi& api()
{
    static const FluidApi loaded = [] {
        FluidApi a;
        void* library = dlopen("libfluidsynth.so.3", RTLD_NOW | RTLD_LOCAL);
        if (!library) {
            const char* why = dlerror();
            a.error =
                std::string("the FluidSynth library cannot be loaded (install libfluidsynth3): ") +
                (why ? why : "");
            return a;
        }
#define KOLVO_FLUID_LOOKUP(name)                                                                   \
    a.name = reinterpret_cast<decltype(a.name)>(dlsym(library, #name));                            \
    if (!a.name && a.error.empty())                                                                \
        a.error = "the FluidSynth library lacks " #name;
        KOLVO_FLUID_FUNCTIONS(KOLVO_FLUID_LOOKUP)
#undef KOLVO_FLUID_LOOKUP
        return a;
    }();
    return loaded;
}

std::mutex g_choiceMutex;
std::string g_choice;

void fluidLog(int level, const char* message, void*)
{
    if (level <= FLUID_ERR)
        KLOG_INFO("engines", "FluidSynth: %s", message);
    else
        KLOG_DEBUG("engines", "FluidSynth: %s", message);
}

void routeFluidLog()
{
    static std::once_flag once;
    std::call_once(once, [] {
        if (!api().error.empty())
            return;
        for (int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG})
            api().fluid_set_log_function(level, fluidLog, nullptr);
    });
}

bool isFile(const std::string& path)
{
    std::error_code ec;
    return !path.empty() && std::filesystem::is_regular_file(path, ec);
}

} // namespace

void setSoundFontChoice(const std::string& path)
{
    std::lock_guard lock(g_choiceMutex);
    g_choice = path;
}

std::string soundFontDir()
{
    const char* dir = std::getenv("KOLVO_SF2_DIR");
    return dir && *dir ? dir : "/usr/share/sounds/sf2";
}

std::vector<std::string> soundFontPlaces()
{
    std::vector<std::string> places;
    {
        std::lock_guard lock(g_choiceMutex);
        if (!g_choice.empty())
            places.push_back(g_choice);
    }
    const std::string dir = soundFontDir();
    for (const char* name : {"FluidR3_GM.sf2", "TimGM6mb.sf2", "default-GM.sf2"})
        places.push_back(dir + "/" + name);
    places.push_back(dir + "/*.sf2");
    return places;
}

std::string findSoundFont()
{
    for (const std::string& place : soundFontPlaces()) {
        if (place.size() > 6 && place.compare(place.size() - 6, 6, "/*.sf2") == 0) {
            std::vector<std::string> any;
            std::error_code ec;
            for (const auto& entry :
                 std::filesystem::directory_iterator(place.substr(0, place.size() - 6), ec)) {
                std::string name = entry.path().string();
                if (name.size() > 4 && (name.ends_with(".sf2") || name.ends_with(".SF2")) &&
                    isFile(name))
                    any.push_back(std::move(name));
            }
            std::sort(any.begin(), any.end());
            if (!any.empty())
                return any.front();
        } else if (isFile(place)) {
            return place;
        }
    }
    return {};
}

// One FluidSynth synthesizer with one SoundFont loaded. Not thread-safe: one thread uses it at
// a time (the playback's worker, or whoever holds it while the worker is not running).
class MidiSynth
{
public:
    ~MidiSynth()
    {
        if (m_synth)
            api().delete_fluid_synth(m_synth);
        if (m_settings)
            api().delete_fluid_settings(m_settings);
    }

    static std::unique_ptr<MidiSynth> create(const std::string& soundFont, std::string& why)
    {
        if (!api().error.empty()) {
            why = api().error;
            return nullptr;
        }
        routeFluidLog();
        auto s = std::unique_ptr<MidiSynth>(new MidiSynth);
        s->m_settings = api().new_fluid_settings();
        if (!s->m_settings) {
            why = "the synthesizer cannot be set up";
            return nullptr;
        }
        api().fluid_settings_setnum(s->m_settings, "synth.sample-rate", kRate);
        api().fluid_settings_setint(s->m_settings, "synth.threadsafe-api", 0);
        s->m_synth = api().new_fluid_synth(s->m_settings);
        if (!s->m_synth) {
            why = "the synthesizer cannot be set up";
            return nullptr;
        }
        const auto started = std::chrono::steady_clock::now();
        if (api().fluid_synth_sfload(s->m_synth, soundFont.c_str(), 1) == FLUID_FAILED) {
            why = "the SoundFont " + soundFont + " cannot be loaded";
            return nullptr;
        }
        KLOG_DEBUG("engines", "SoundFont %s loaded in %lld ms", soundFont.c_str(),
                   static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                              std::chrono::steady_clock::now() - started)
                                              .count()));
        s->m_soundFont = soundFont;
        s->clearNotes();
        return s;
    }

    const std::string& soundFont() const { return m_soundFont; }

    void reset()
    {
        api().fluid_synth_system_reset(m_synth);
        clearNotes();
    }

    // A channel message, notes moved by `key` semitones except on the drum channel. A note is
    // released at the pitch it was struck at, whatever the key is by then.
    void event(const midi::ChannelEvent& e, int key, bool notes = true)
    {
        const int channel = e.status & 0x0F;
        const int kind = e.status & 0xF0;
        const int shift = channel == kDrumChannel ? 0 : key;
        switch (kind) {
        case 0x90:
            if (e.data2 > 0) {
                if (!notes)
                    break;
                const int note = e.data1 + shift;
                releaseNote(channel, e.data1);
                if (note >= 0 && note <= 127) {
                    api().fluid_synth_noteon(m_synth, channel, note, e.data2);
                    m_struck[channel][e.data1] = static_cast<std::int8_t>(note);
                }
                break;
            }
            [[fallthrough]];
        case 0x80:
            releaseNote(channel, e.data1);
            break;
        case 0xA0: {
            const int struck = m_struck[channel][e.data1];
            if (struck >= 0)
                api().fluid_synth_key_pressure(m_synth, channel, struck, e.data2);
            break;
        }
        case 0xB0:
            api().fluid_synth_cc(m_synth, channel, e.data1, e.data2);
            break;
        case 0xC0:
            api().fluid_synth_program_change(m_synth, channel, e.data1);
            break;
        case 0xD0:
            api().fluid_synth_channel_pressure(m_synth, channel, e.data1);
            break;
        case 0xE0:
            api().fluid_synth_pitch_bend(m_synth, channel, e.data1 | e.data2 << 7);
            break;
        default:
            break;
        }
    }

    void render(std::int16_t* stereo, int frames)
    {
        api().fluid_synth_write_s16(m_synth, frames, stereo, 0, 2, stereo, 1, 2);
    }

    int activeVoices() const { return api().fluid_synth_get_active_voice_count(m_synth); }

private:
    MidiSynth() = default;

    void clearNotes()
    {
        for (auto& channel : m_struck)
            channel.fill(-1);
    }

    void releaseNote(int channel, int note)
    {
        const int struck = m_struck[channel][note];
        if (struck < 0)
            return;
        api().fluid_synth_noteoff(m_synth, channel, struck);
        m_struck[channel][note] = -1;
    }

    fluid_settings_t* m_settings = nullptr;
    fluid_synth_t* m_synth = nullptr;
    std::string m_soundFont;
    std::array<std::array<std::int8_t, 128>, 16> m_struck{};
};

namespace {

// Loaded synthesizers not in use, kept so that the next song starts at once.
std::mutex g_poolMutex;
std::unique_ptr<MidiSynth> g_idle;

std::unique_ptr<MidiSynth> acquireSynth(const std::string& soundFont, std::string& why)
{
    {
        std::lock_guard lock(g_poolMutex);
        if (g_idle && g_idle->soundFont() == soundFont) {
            auto synth = std::move(g_idle);
            synth->reset();
            return synth;
        }
    }
    return MidiSynth::create(soundFont, why);
}

void releaseSynth(std::unique_ptr<MidiSynth> synth)
{
    if (!synth)
        return;
    std::lock_guard lock(g_poolMutex);
    g_idle = std::move(synth);
}

// The sequencer: walks the events, gives them to the synthesizer at their time and renders
// the sound in between.
class Sequencer
{
public:
    Sequencer(const midi::Song& song, MidiSynth& synth)
        : m_song(song)
        , m_synth(synth)
    {}

    // Prepares the synthesizer for playing from `ms`: everything but the notes up to there.
    void startAt(double ms, int key)
    {
        m_synth.reset();
        m_next = 0;
        while (m_next < m_song.events.size() && m_song.events[m_next].ms < ms)
            m_synth.event(m_song.events[m_next++], key, false);
        m_songMs = std::min(ms, m_song.lengthMs);
        m_tail = 0;
    }

    // Renders the next piece (at most kBlockFrames); 0 when the song and its tail are over.
    int step(std::int16_t* stereo, double factor, int key)
    {
        while (m_next < m_song.events.size() && m_song.events[m_next].ms <= m_songMs + 1e-6)
            m_synth.event(m_song.events[m_next++], key);
        if (m_songMs >= m_song.lengthMs) {
            if (m_tail >= kMaxTailFrames || m_synth.activeVoices() == 0)
                return 0;
            m_synth.render(stereo, kBlockFrames);
            m_tail += kBlockFrames;
            return kBlockFrames;
        }
        const double nextMs =
            m_next < m_song.events.size() ? m_song.events[m_next].ms : m_song.lengthMs;
        const double frames = (nextMs - m_songMs) * kRate / 1000.0 / factor;
        const int n = std::clamp(static_cast<int>(std::ceil(frames - 1e-6)), 1, kBlockFrames);
        m_synth.render(stereo, n);
        m_songMs = std::min(m_songMs + n * 1000.0 * factor / kRate, m_song.lengthMs);
        if (n >= frames - 1e-6 && m_next < m_song.events.size())
            m_songMs = std::max(m_songMs, std::min(nextMs, m_song.lengthMs));
        return n;
    }

    double songMs() const { return m_songMs; }

private:
    const midi::Song& m_song;
    MidiSynth& m_synth;
    size_t m_next = 0;
    double m_songMs = 0;
    int m_tail = 0;
};

} // namespace

struct MidiPlayback::Run
{
    std::unique_ptr<PcmOutput> out;
    std::thread worker;
    std::atomic<bool> cancel{false};
    std::atomic<bool> ended{false};
    std::atomic<bool> paused{false};
    double startMs = 0;
    size_t nextCue = 0; // the worker's
    // Output frames written and the song time they reach: what maps the heard position back
    // to the song's time, whatever the tempo was.
    std::mutex marksMutex;
    std::deque<std::pair<std::int64_t, double>> marks;

    double audibleMs()
    {
        const std::int64_t heard = out->positionMs() * kRate / 1000;
        std::lock_guard lock(marksMutex);
        while (marks.size() >= 2 && marks[1].first <= heard)
            marks.pop_front();
        const auto& before = marks.front();
        if (marks.size() < 2 || heard <= before.first)
            return before.second;
        const auto& after = marks[1];
        const double share = static_cast<double>(heard - before.first) /
                             static_cast<double>(after.first - before.first);
        return before.second + (after.second - before.second) * share;
    }
};

std::unique_ptr<MidiPlayback> MidiPlayback::open(const std::string& path, std::string& why)
{
    auto playback = std::unique_ptr<MidiPlayback>(new MidiPlayback);
    std::string error;
    if (!midi::readSongFile(path, playback->m_song, error)) {
        why = std::string(failureText(OpenFailure::Damaged)) + ": " + error;
        return nullptr;
    }
    for (const std::string& w : playback->m_song.warnings)
        KLOG_WARNING("engines", "%s: %s", path.c_str(), w.c_str());
    playback->m_karaoke = midi::buildKaraoke(playback->m_song);
    return playback;
}

MidiPlayback::~MidiPlayback()
{
    endRun();
    releaseSynth(std::move(m_synth));
}

bool soundFontReady(const std::string& soundFont)
{
    std::lock_guard lock(g_poolMutex);
    return g_idle && g_idle->soundFont() == soundFont;
}

bool preloadSoundFont(const std::string& soundFont, std::string& why)
{
    std::unique_ptr<MidiSynth> synth = acquireSynth(soundFont, why);
    if (!synth)
        return false;
    releaseSynth(std::move(synth));
    return true;
}

const std::string& MidiPlayback::chooseSoundFont()
{
    if (m_soundFont.empty())
        m_soundFont = findSoundFont();
    return m_soundFont;
}

bool MidiPlayback::ensureSynth(std::string& why)
{
    if (m_synth)
        return true;
    if (chooseSoundFont().empty()) {
        std::string places;
        for (const std::string& p : soundFontPlaces())
            places += (places.empty() ? "" : ", ") + p;
        why = "no SoundFont was found (looked for " + places +
              "); install the timgm6mb-soundfont package or choose a SoundFont in the settings "
              "(MIDI/SoundFont)";
        return false;
    }
    m_synth = acquireSynth(m_soundFont, why);
    return m_synth != nullptr;
}

bool MidiPlayback::start(ChainRole role, Callbacks callbacks, std::string& why)
{
    endRun();
    m_role = role;
    m_callbacks = std::move(callbacks);
    return playFrom(0, why);
}

bool MidiPlayback::playFrom(double ms, std::string& why)
{
    endRun();
    if (!ensureSynth(why))
        return false;
    startAt(ms, false);
    return true;
}

void MidiPlayback::startAt(double ms, bool paused)
{
    auto run = std::make_unique<Run>();
    Run* r = run.get();
    r->startMs = std::clamp(ms, 0.0, m_song.lengthMs);
    r->marks.emplace_back(0, r->startMs);
    MediaPlayer::Callbacks output;
    output.ended = [this, r] {
        r->ended = true;
        if (m_callbacks.ended)
            m_callbacks.ended();
    };
    output.failed = [this, r](const std::string& reason) {
        r->ended = true;
        KLOG_INFO("engines", "the MIDI sound output failed: %s", reason.c_str());
        if (m_callbacks.failed)
            m_callbacks.failed(reason);
    };
    r->out = std::make_unique<PcmOutput>(m_role, PcmFormat{kRate, 2}, OutputOptions{},
                                         std::move(output));
    // The page around a new place comes up again at once, as far as it was sung.
    const auto& cues = m_karaoke.cues;
    size_t from = 0;
    for (size_t i = 0; i < cues.size() && cues[i].ms <= r->startMs; ++i) {
        const bool page = cues[i].code == midi::kKaraokeStart ||
                          (cues[i].code > 0 && cues[i].record.size() >= 2 && cues[i].record[1]);
        if (page)
            from = i;
    }
    r->nextCue = r->startMs > 0 ? from : 0;
    if (r->startMs > 0)
        postCuesUpTo(r, r->startMs);
    r->out->start();
    if (paused) {
        r->paused = true;
        r->out->pause();
    }
    m_run = std::move(run);
    r->worker = std::thread([this, r] { work(r); });
}

void MidiPlayback::postCuesUpTo(Run* run, double ms)
{
    const auto& cues = m_karaoke.cues;
    while (run->nextCue < cues.size() && cues[run->nextCue].ms <= ms && !run->cancel) {
        if (m_callbacks.karaoke)
            m_callbacks.karaoke(cues[run->nextCue]);
        ++run->nextCue;
    }
}

void MidiPlayback::work(Run* run)
{
    Sequencer seq(m_song, *m_synth);
    seq.startAt(run->startMs, m_key.load());
    std::vector<std::int16_t> buffer(kBlockFrames * 2);
    std::int64_t written = 0;
    while (!run->cancel) {
        const int n = seq.step(buffer.data(), m_factor.load(), m_key.load());
        if (n == 0)
            break;
        written += n;
        {
            std::lock_guard lock(run->marksMutex);
            run->marks.emplace_back(written, seq.songMs());
        }
        if (!run->out->write(buffer.data(), static_cast<size_t>(n)))
            return; // stopped, or the output failed and said so
        postCuesUpTo(run, run->audibleMs());
    }
    if (run->cancel)
        return;
    run->out->finish();
    while (!run->cancel && !run->ended) {
        postCuesUpTo(run, run->audibleMs());
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!run->cancel)
        postCuesUpTo(run, m_song.lengthMs);
}

void MidiPlayback::endRun()
{
    if (!m_run)
        return;
    m_stoppedAt = m_run->ended ? m_song.lengthMs : m_run->audibleMs();
    m_run->cancel = true;
    m_run->out->stop();
    if (m_run->worker.joinable())
        m_run->worker.join();
    m_run.reset();
}

void MidiPlayback::pause()
{
    if (m_run && !m_run->ended && !m_run->paused) {
        m_run->paused = true;
        m_run->out->pause();
    }
}

void MidiPlayback::resume()
{
    if (m_run && !m_run->ended && m_run->paused) {
        m_run->paused = false;
        m_run->out->resume();
    }
}

void MidiPlayback::seek(double ms)
{
    ms = std::clamp(ms, 0.0, m_song.lengthMs);
    if (!m_run || !m_synth) {
        m_stoppedAt = ms;
        return;
    }
    const bool paused = m_run->paused;
    endRun();
    startAt(ms, paused);
}

void MidiPlayback::stop()
{
    endRun();
    // A stopped playback needs no synthesizer: the next song may have it.
    releaseSynth(std::move(m_synth));
}

int MidiPlayback::mode() const
{
    if (!m_run || m_run->ended)
        return kModeStopped;
    return m_run->paused ? kModePaused : kModePlaying;
}

double MidiPlayback::positionMs()
{
    if (!m_run)
        return m_stoppedAt;
    if (m_run->ended)
        return m_song.lengthMs;
    return std::min(m_run->audibleMs(), m_song.lengthMs);
}

void MidiPlayback::setTempoFactor(double factor)
{
    m_factor = std::clamp(factor, 0.1, 5.0);
}

void MidiPlayback::setKey(int semitones)
{
    m_key = std::clamp(semitones, -12, 12);
}

std::string MidiPlayback::describe() const
{
    const int bpm = m_song.initialTempo > 0
                        ? static_cast<int>(std::lround(60000000.0 / m_song.initialTempo))
                        : 120;
    std::string text = "Standard MIDI file, format " + std::to_string(m_song.format) + ", " +
                       std::to_string(m_song.trackCount) +
                       (m_song.trackCount == 1 ? " track, " : " tracks, ") + std::to_string(bpm) +
                       " BPM";
    if (!m_karaoke.empty())
        text += ", karaoke";
    if (!m_soundFont.empty())
        text += ", SoundFont " + std::filesystem::path(m_soundFont).filename().string();
    return text;
}

long long renderMidiFile(const std::string& path, const std::string& soundFont, std::string& why)
{
    midi::Song song;
    std::string error;
    if (!midi::readSongFile(path, song, error)) {
        why = error;
        return -1;
    }
    std::unique_ptr<MidiSynth> synth = acquireSynth(soundFont, why);
    if (!synth)
        return -1;
    Sequencer seq(song, *synth);
    seq.startAt(0, 0);
    std::vector<std::int16_t> buffer(kBlockFrames * 2);
    long long frames = 0;
    while (const int n = seq.step(buffer.data(), 1.0, 0))
        frames += n;
    releaseSynth(std::move(synth));
    return frames;
}

} // namespace engines
