#include "engines/kimsengine.h"

#include "albums/songname.h"
#include "engines/adlibbank.h"
#include "engines/engineapi.h"
#include "engines/enginesupport.h"
#include "engines/outputchain.h"
#include "engines/renderedplayback.h"
#include "engines/session.h"
#include "platform/log.h"

#include <adplug/emuopl.h>
#include <adplug/mus.h>
#include <adplug/silentopl.h>
#include <binstr.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>

namespace fs = std::filesystem;

namespace {

using namespace engines;

constexpr int kRate = 44100;
// No IMS song is this large; the file is refused before it is read.
constexpr std::uintmax_t kMaxSongBytes = 16u << 20;
// A song that has not ended by then is ended there (a damaged one may never end).
constexpr double kMaxSongMs = 3.0 * 3600 * 1000;
// The player's tick rate is kept sane whatever a tempo change in the song says.
constexpr float kMinRefresh = 1.0f;
constexpr float kMaxRefresh = 2000.0f;

std::string lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

bool readFile(const std::string& path, std::uintmax_t limit, std::string& out)
{
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec || size > limit)
        return false;
    std::ifstream in(path, std::ios::binary);
    out.assign(static_cast<size_t>(size), '\0');
    return static_cast<bool>(in.read(out.data(), static_cast<std::streamsize>(size)));
}

// A file in `dir` named `name` without regard to case ("" when none).
std::string findInFolder(const fs::path& dir, const std::string& name)
{
    std::error_code ec;
    const fs::path exact = dir / name;
    if (fs::is_regular_file(exact, ec))
        return exact.string();
    const std::string wanted = lower(name);
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        if (lower(it->path().filename().string()) == wanted && it->is_regular_file(ec))
            return it->path().string();
    }
    return {};
}

// AdPlug reads through a file provider: it is handed the song and, whatever bank name it asks
// for, the bank we chose, both from memory.
class MemoryProvider final : public CFileProvider
{
public:
    MemoryProvider(std::string songPath, std::string song, std::string bank)
        : m_songPath(std::move(songPath))
        , m_song(std::move(song))
        , m_bank(std::move(bank))
    {}
    binistream* open(std::string name) const override
    {
        const std::string* data = nullptr;
        if (name == m_songPath)
            data = &m_song;
        else if (lower(fs::path(name).extension().string()) == ".bnk")
            data = &m_bank;
        if (!data)
            return nullptr;
        auto* stream = new binisstream(const_cast<char*>(data->data()), data->size());
        stream->setFlag(binio::BigEndian, false);
        stream->setFlag(binio::FloatIEEE);
        return stream;
    }
    void close(binistream* stream) const override { delete stream; }

private:
    std::string m_songPath, m_song, m_bank;
};

// Moves the melodic voices by semitones where the player writes their frequencies to the chip.
// The key-on bit and everything else pass unchanged; with no shift every write passes as is.
class TransposingOpl final : public Copl
{
public:
    explicit TransposingOpl(Copl& chip)
        : m_chip(chip)
    {}
    void write(int reg, int val) override
    {
        if (reg == 0xBD)
            m_rhythm = (val & 0x20) != 0;
        const int voice = reg & 0x0F;
        if (((reg & 0xF0) == 0xA0 || (reg & 0xF0) == 0xB0) && voice < 9) {
            if ((reg & 0xF0) == 0xA0)
                m_low[voice] = val & 0xFF;
            else
                m_high[voice] = val & 0xFF;
            if (m_key != 0 && !(m_rhythm && voice >= 6)) {
                writeVoice(voice, (reg & 0xF0) == 0xB0);
                return;
            }
        }
        m_chip.write(reg, val);
    }
    void init() override { m_chip.init(); }
    void update(short* buf, int samples) override { m_chip.update(buf, samples); }
    void setKey(int semitones)
    {
        m_key = semitones;
        for (int v = 0; v < 9; ++v) {
            if (!(m_rhythm && v >= 6))
                writeVoice(v, true);
        }
    }
    int key() const { return m_key; }

private:
    void writeVoice(int voice, bool withHigh)
    {
        int fnum = m_low[voice] | (m_high[voice] & 0x03) << 8;
        int block = (m_high[voice] >> 2) & 0x07;
        if (fnum > 0 && m_key != 0) {
            double f = fnum * std::pow(2.0, m_key / 12.0);
            while (f >= 1024.0 && block < 7)
                f /= 2.0, ++block;
            while (f < 512.0 && block > 0)
                f *= 2.0, --block;
            fnum = std::clamp(static_cast<int>(std::lround(f)), 1, 1023);
        }
        m_chip.write(0xA0 + voice, fnum & 0xFF);
        if (withHigh)
            m_chip.write(0xB0 + voice, (m_high[voice] & 0x20) | block << 2 | fnum >> 8);
    }

    Copl& m_chip;
    int m_key = 0;
    bool m_rhythm = false;
    std::array<int, 9> m_low{};
    std::array<int, 9> m_high{};
};

float saneRefresh(CPlayer& player)
{
    const float r = player.getrefresh();
    return std::isfinite(r) ? std::clamp(r, kMinRefresh, kMaxRefresh) : kMinRefresh;
}

// The song's length in ms: its ticks counted on a chip nobody hears.
double songLength(const MemoryProvider& provider, const std::string& path)
{
    CSilentopl silent;
    CmusPlayer player(&silent);
    if (!player.load(path, provider))
        return 0;
    player.rewind(0);
    double ms = 0;
    while (ms < kMaxSongMs && player.update())
        ms += 1000.0 / saneRefresh(player);
    return std::min(ms, kMaxSongMs);
}

class ImsRenderer final : public PcmRenderer
{
public:
    ImsRenderer()
        : m_emulator(kRate, true, false)
        , m_chip(m_emulator)
        , m_player(&m_chip)
    {}
    bool load(const MemoryProvider& provider, const std::string& path)
    {
        if (!m_player.load(path, provider))
            return false;
        m_player.rewind(0);
        return true;
    }
    size_t render(std::int16_t* pcm, size_t frames) override
    {
        size_t done = 0;
        while (done < frames) {
            if (m_samplesLeft < 1.0) {
                if (m_ended || m_songMs >= kMaxSongMs || !m_player.update()) {
                    m_ended = true;
                    break;
                }
                const float refresh = saneRefresh(m_player);
                m_songMs += 1000.0 / refresh;
                m_samplesLeft += kRate / (refresh * m_tempo);
                continue;
            }
            const size_t n = std::min(frames - done, static_cast<size_t>(m_samplesLeft));
            m_emulator.update(pcm + done, static_cast<int>(n));
            done += n;
            m_samplesLeft -= static_cast<double>(n);
        }
        return done;
    }
    std::int64_t songMs() override { return std::llround(m_songMs); }
    void seek(std::int64_t ms) override
    {
        // The player's ticks are run up to the place without sound, so every voice is set as
        // it would be there.
        m_player.rewind(0);
        m_songMs = 0;
        m_samplesLeft = 0;
        m_ended = false;
        while (m_songMs + 1000.0 / saneRefresh(m_player) <= static_cast<double>(ms) &&
               m_songMs < kMaxSongMs) {
            if (!m_player.update()) {
                m_ended = true;
                break;
            }
            m_songMs += 1000.0 / saneRefresh(m_player);
        }
    }
    void setTempoFactor(double factor) { m_tempo = std::clamp(factor, 0.1, 5.0); }
    void setKey(int semitones) { m_chip.setKey(semitones); }

private:
    CEmuopl m_emulator;
    TransposingOpl m_chip;
    CmusPlayer m_player;
    double m_tempo = 1.0;
    double m_songMs = 0;
    double m_samplesLeft = 0;
    bool m_ended = false;
};

struct ImsEngine
{
    std::mutex mutex;
    std::unique_ptr<RenderedPlayback> playback;
    ImsSong song;
    std::string path;
    std::string bankName;
    std::int32_t lengthMs = 0;
    int tempo = 0;
    int key = 0;
};

ImsEngine& engine()
{
    static ImsEngine e;
    return e;
}

template <typename Op>
std::int32_t withPlayback(Op op)
{
    ImsEngine& e = engine();
    std::lock_guard lock(e.mutex);
    return e.playback ? op(*e.playback) : 0;
}

void applyTempoLocked(ImsEngine& e)
{
    if (!e.playback || e.song.basicTempo <= 0)
        return;
    const double factor = static_cast<double>(e.tempo) / e.song.basicTempo;
    e.playback->withRenderer(
        [&](PcmRenderer& r) { static_cast<ImsRenderer&>(r).setTempoFactor(factor); });
}

} // namespace

namespace engines {

std::string programImsBank()
{
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec)
        return {};
    return (exe.parent_path().parent_path() / "share" / "kolvo" / "STANDARD.BNK").string();
}

std::vector<std::string> imsBankCandidates(const std::string& songPath,
                                           const std::string& programBank)
{
    std::vector<std::string> banks;
    const fs::path song(songPath);
    const fs::path dir = song.has_parent_path() ? song.parent_path() : fs::path(".");
    for (const std::string& name : {song.stem().string() + ".bnk", std::string("standard.bnk")}) {
        const std::string found = findInFolder(dir, name);
        if (!found.empty())
            banks.push_back(found);
    }
    const std::string program = programBank.empty() ? programImsBank() : programBank;
    std::error_code ec;
    if (fs::is_regular_file(program, ec))
        banks.push_back(program);
    return banks;
}

std::string findImsBank(const std::string& songPath, const std::string& programBank)
{
    const std::vector<std::string> banks = imsBankCandidates(songPath, programBank);
    return banks.empty() ? std::string() : banks.front();
}

} // namespace engines

std::int32_t KIMSEngine_Play(HWND window, const char* path, int cookie)
{
    ImsEngine& e = engine();
    std::lock_guard lock(e.mutex);
    e.playback.reset();
    const std::string file = path ? path : "";
    if (!fileReachable(file))
        return kMidiNotFound;
    std::string bytes;
    if (!readFile(file, kMaxSongBytes, bytes)) {
        KLOG_INFO("engines", "%s: too large to be an IMS song",
                  failureText(OpenFailure::NotPlayable));
        return kImsFailed;
    }
    std::string why;
    std::optional<ImsSong> song = readImsSong(bytes, &why);
    if (!song) {
        KLOG_INFO("engines", "%s", why.c_str());
        return kImsFailed;
    }
    // The first bank of the lookup that reads; a damaged one is passed over for the next.
    std::vector<AdlibTimbre> timbres;
    std::string bankPath;
    for (const std::string& candidate : imsBankCandidates(file)) {
        std::string bank;
        if (!readFile(candidate, kMaxSongBytes, bank))
            continue;
        if (auto read = readAdlibBank(bank, &why)) {
            timbres = std::move(*read);
            bankPath = candidate;
            break;
        }
        KLOG_INFO("engines", "the bank %s is passed over: %s", candidate.c_str(), why.c_str());
    }
    if (timbres.empty()) {
        KLOG_INFO("engines", "%s: no instrument bank (.BNK) beside the song, nor the program's",
                  failureText(OpenFailure::NotPlayable));
        return kImsNoBank;
    }
    const MemoryProvider provider(file, bytes, writeAdlibBank(completeBankFor(*song, timbres)));
    auto renderer = std::make_unique<ImsRenderer>();
    if (!renderer->load(provider, file)) {
        KLOG_INFO("engines", "%s: AdPlug does not play it", failureText(OpenFailure::Damaged));
        return kImsFailed;
    }
    e.song = std::move(*song);
    e.path = file;
    e.bankName = fs::path(bankPath).filename().string();
    e.lengthMs = static_cast<std::int32_t>(std::lround(songLength(provider, file)));
    e.tempo = e.song.basicTempo;
    e.key = 0;
    const Notifier notifier(window, kNotifyMidi, cookie);
    RenderedPlayback::Callbacks callbacks;
    callbacks.ended = [notifier] { notifier.post(kEventMode, kModeStopped); };
    callbacks.failed = [notifier, file](const std::string& reason) {
        KLOG_WARNING("engines", "the IMS engine failed on %s: %s", file.c_str(), reason.c_str());
        notifier.post(kEventFailed, kImsFailed);
    };
    e.playback = std::make_unique<RenderedPlayback>(std::move(renderer), PcmFormat{kRate, 1},
                                                    std::move(callbacks));
    e.playback->start();
    notifier.arm();
    return 1;
}

std::int32_t KIMSEngine_Stop()
{
    ImsEngine& e = engine();
    std::lock_guard lock(e.mutex);
    e.playback.reset();
    return 1;
}

std::int32_t KIMSEngine_Pause()
{
    return withPlayback([](RenderedPlayback& p) { return p.pause() ? 1 : 0; });
}

std::int32_t KIMSEngine_Resume()
{
    return withPlayback([](RenderedPlayback& p) { return p.resume() ? 1 : 0; });
}

std::int32_t KIMSEngine_Seek(int ms)
{
    return withPlayback([ms](RenderedPlayback& p) {
        p.seek(ms);
        return 1;
    });
}

std::int32_t KIMSEngine_GetPosition()
{
    return withPlayback([](RenderedPlayback& p) {
        return static_cast<std::int32_t>(std::clamp<std::int64_t>(p.positionMs(), 0, INT32_MAX));
    });
}

std::int32_t KIMSEngine_GetLength()
{
    ImsEngine& e = engine();
    std::lock_guard lock(e.mutex);
    return e.playback ? e.lengthMs : 0;
}

std::int32_t KIMSEngine_GetMode()
{
    const std::int32_t mode = withPlayback([](RenderedPlayback& p) { return p.mode(); });
    return mode ? mode : kModeStopped;
}

std::int32_t KIMSEngine_IsOpen()
{
    return withPlayback([](RenderedPlayback& p) { return p.failed() ? 0 : 1; });
}

std::int32_t KIMSEngine_GetFileInfo(char* buffer, int size)
{
    ImsEngine& e = engine();
    std::lock_guard lock(e.mutex);
    if (!e.playback)
        return copyText(buffer, size, {});
    std::string text =
        std::string("IMS (AdLib), ") + (e.song.soundMode ? "percussive" : "melodic") + ", " +
        std::to_string(e.song.instruments.size()) + " instruments, bank " + e.bankName;
    const std::string title = ImsSongTitle(e.path);
    if (!title.empty())
        text += "        Title : " + title;
    return copyText(buffer, size, text);
}

std::int32_t KIMSEngine_GetTempo()
{
    ImsEngine& e = engine();
    std::lock_guard lock(e.mutex);
    return e.playback ? e.song.basicTempo : 0;
}

std::int32_t KIMSEngine_SetTempo(int tempo)
{
    ImsEngine& e = engine();
    std::lock_guard lock(e.mutex);
    if (!e.playback || tempo <= 0)
        return 0;
    e.tempo = tempo;
    applyTempoLocked(e);
    return 1;
}

std::int32_t KIMSEngine_GetKey(int)
{
    ImsEngine& e = engine();
    std::lock_guard lock(e.mutex);
    return e.playback ? e.key : 0;
}

std::int32_t KIMSEngine_SetKey(int key)
{
    ImsEngine& e = engine();
    std::lock_guard lock(e.mutex);
    if (!e.playback)
        return 0;
    e.key = std::clamp(key, -12, 12);
    const int k = e.key;
    e.playback->withRenderer([k](PcmRenderer& r) { static_cast<ImsRenderer&>(r).setKey(k); });
    return 1;
}

std::int32_t KIMSEngine_IsKaraoke()
{
    return 0;
}

std::int32_t KIMSEngine_GetSpectrum(std::int32_t* buffer)
{
    {
        ImsEngine& e = engine();
        std::lock_guard lock(e.mutex);
        if (!e.playback || e.playback->mode() != kModePlaying)
            return 0;
    }
    return roleSpectrum(ChainRole::Midi, buffer, 0) ? 1 : 0;
}
