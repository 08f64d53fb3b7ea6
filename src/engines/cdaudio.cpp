#include "engines/cdaudio.h"

#include "engines/cdreader.h"
#include "engines/mci.h"
#include "engines/pcmoutput.h"
#include "platform/cdrom.h"
#include "platform/log.h"
#include "platform/wnd.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace engines {

namespace {

constexpr MCIERROR MCIERR_PARAM_OVERFLOW = 268;
constexpr std::uint32_t MCI_SEEK_TO_START = 0x00000100;
constexpr std::uint32_t MCI_SEEK_TO_END = 0x00000200;

// Sectors read and pushed at a time: 4 sectors are 53 ms, small enough that the output's
// quarter-second queue, not the reading, decides how much sound is ahead of the ear.
constexpr int kChunkSectors = 4;

std::uint32_t packMsf(std::int64_t frames)
{
    frames = std::max<std::int64_t>(0, frames);
    const auto m = static_cast<std::uint32_t>(frames / (60 * kCdSectorsPerSecond));
    const auto s = static_cast<std::uint32_t>(frames / kCdSectorsPerSecond % 60);
    const auto f = static_cast<std::uint32_t>(frames % kCdSectorsPerSecond);
    return m | s << 8 | f << 16;
}

// Rounded up, so that the CD Player's ms x 0.075 (truncated) finds the frame again.
std::uint32_t msOfFrames(std::int64_t frames)
{
    frames = std::max<std::int64_t>(0, frames);
    return static_cast<std::uint32_t>((frames * 1000 + kCdSectorsPerSecond - 1) /
                                      kCdSectorsPerSecond);
}

MCIERROR errorOf(CdReader::Failure failure)
{
    switch (failure) {
    case CdReader::Failure::NotFound:
        return MCIERR_FILE_NOT_FOUND;
    case CdReader::Failure::NotADisc:
        return MCIERR_INVALID_DEVICE_NAME;
    case CdReader::Failure::Busy:
        return MCIERR_DEVICE_NOT_READY;
    default:
        return MCIERR_CANNOT_READ_CD;
    }
}

// One play of a range of sectors: the worker reading them and the output sounding them.
struct Playback
{
    std::int32_t from = 0;
    std::int32_t to = 0; // one past the last sector
    std::atomic<unsigned> generation{0};
    std::atomic<bool> cancel{false};
    std::atomic<bool> paused{false};
    std::atomic<bool> ended{false};  // the output has played all it was given (or failed)
    std::atomic<bool> failed{false}; // reading or sounding failed
    std::atomic<std::int32_t> readTo{0};
    std::unique_ptr<PcmOutput> out;
    std::thread worker;

    // Stops the sound at once and waits for the worker; no callback runs afterwards.
    void shutdown()
    {
        cancel = true;
        if (out)
            out->stop();
        if (worker.joinable())
            worker.join();
    }
};

class CdAudioDriver : public MciDriver
{
public:
    ~CdAudioDriver() override
    {
        std::lock_guard lock(m_mutex);
        endPlaybackLocked();
        finishNotify(0, MCI_NOTIFY_ABORTED);
    }

    MCIERROR open(MCIDEVICEID id, const std::string& element) override
    {
        m_id = id;
        std::string drive = element;
        if (drive.empty()) {
            drive = cdrom::FindFirstCdDrive();
            if (drive.empty()) {
                KLOG_INFO("engines", "there is no CD drive to open");
                return MCIERR_DEVICE_NOT_INSTALLED;
            }
        }
        std::lock_guard lock(m_mutex);
        if (!m_reader.open(drive))
            return errorOf(m_reader.failure());
        m_drive = drive;
        m_toc = m_reader.toc();
        m_position = m_toc.empty() ? 0 : m_toc.tracks.front().lsn;
        return 0;
    }

    MCIERROR command(UINT message, std::uint32_t flags, void* params) override
    {
        std::lock_guard lock(m_mutex);
        reapLocked();
        switch (message) {
        case MCI_PLAY:
            return playLocked(flags, static_cast<MCI_PLAY_PARMS*>(params));
        case MCI_STOP:
            stopLocked(MCI_NOTIFY_ABORTED);
            return 0;
        case MCI_PAUSE:
            if (m_play && !m_play->paused && m_play->out->pause())
                m_play->paused = true;
            return 0;
        case MCI_SEEK:
            return seekLocked(flags, static_cast<MCI_SEEK_PARMS*>(params));
        case MCI_SET:
            return setLocked(flags, static_cast<MCI_SET_PARMS*>(params));
        case MCI_STATUS:
            return statusLocked(flags, static_cast<MCI_STATUS_PARMS*>(params));
        case MCI_INFO:
            return infoLocked(flags, static_cast<MCI_INFO_PARMS*>(params));
        default:
            return MCIERR_UNSUPPORTED_FUNCTION;
        }
    }

    std::string informationText() override { return "44.100 kHz, 16 bit, Stereo, 1411 kbps"; }

private:
    // ---- the disc ----

    // Asks the drive (or the image's files) whether the disc is there; a disc that changed or
    // left ends the play. True while a disc is there and the door is closed.
    bool refreshDiscLocked()
    {
        bool changed = false;
        const CdReader::DiscState state = m_reader.discState(&changed);
        m_notReady = state == CdReader::DiscState::NotReady;
        const bool present = state == CdReader::DiscState::Ready && !m_doorOpen;
        if ((changed || !present) && m_play) {
            KLOG_INFO("engines", "the disc in %s %s while playing", m_drive.c_str(),
                      present ? "was changed" : "has gone");
            m_play->failed = true;
            stopLocked(MCI_NOTIFY_FAILURE);
        }
        if (changed) {
            m_toc = m_reader.toc();
            m_position = m_toc.empty() ? 0 : m_toc.tracks.front().lsn;
        }
        return present;
    }

    bool discThereLocked() const { return !m_doorOpen && !m_toc.empty(); }

    std::int32_t firstLsn() const { return m_toc.tracks.front().lsn; }

    // The sector heard now (or where the device stands).
    std::int32_t currentLsnLocked()
    {
        if (!m_play)
            return m_position;
        if (m_play->ended)
            return m_play->failed ? m_play->readTo.load() : m_play->to;
        const std::int64_t ms = m_play->out->positionMs();
        const std::int64_t lsn = m_play->from + ms * kCdSectorsPerSecond / 1000;
        return static_cast<std::int32_t>(std::clamp<std::int64_t>(lsn, m_play->from, m_play->to));
    }

    // A time value of the current format as a sector; `end` allows the lead-out itself.
    std::optional<std::int32_t> lsnOfLocked(std::uint32_t value, bool end) const
    {
        std::int64_t lsn;
        switch (m_format) {
        case MCI_FORMAT_MILLISECONDS:
            lsn = static_cast<std::int64_t>(value) * kCdSectorsPerSecond / 1000 - kCdLeadInSectors;
            break;
        case MCI_FORMAT_MSF: {
            const std::uint32_t s = value >> 8 & 0xFF, f = value >> 16 & 0xFF;
            if (s > 59 || f > 74)
                return std::nullopt;
            lsn = static_cast<std::int64_t>((value & 0xFF) * 4500 + s * 75 + f) - kCdLeadInSectors;
            break;
        }
        case MCI_FORMAT_TMSF: {
            const CdTrack* track = m_toc.track(static_cast<int>(value & 0xFF));
            const std::uint32_t s = value >> 16 & 0xFF, f = value >> 24 & 0xFF;
            if (!track || s > 59 || f > 74)
                return std::nullopt;
            lsn = track->lsn + static_cast<std::int64_t>((value >> 8 & 0xFF) * 4500 + s * 75 + f);
            break;
        }
        default:
            return std::nullopt;
        }
        if (lsn < firstLsn() || lsn > m_toc.leadOutLsn || (lsn == m_toc.leadOutLsn && !end))
            return std::nullopt;
        return static_cast<std::int32_t>(lsn);
    }

    // A sector as a position in the current format.
    std::uint32_t positionValueLocked(std::int32_t lsn) const
    {
        switch (m_format) {
        case MCI_FORMAT_MILLISECONDS:
            return msOfFrames(lsn + kCdLeadInSectors);
        case MCI_FORMAT_TMSF: {
            const int number = m_toc.trackAt(lsn);
            const std::int32_t start = m_toc.track(number)->lsn;
            return static_cast<std::uint32_t>(number) | packMsf(lsn - start) << 8;
        }
        default:
            return packMsf(lsn + kCdLeadInSectors);
        }
    }

    // A length in frames in the current format (MSF for both MSF and TMSF).
    std::uint32_t lengthValueLocked(std::int64_t frames) const
    {
        return m_format == MCI_FORMAT_MILLISECONDS ? msOfFrames(frames) : packMsf(frames);
    }

    // ---- playing ----

    void finishNotify(unsigned generation, WPARAM result)
    {
        std::lock_guard lock(m_notifyMutex);
        if (m_notifyWindow && (generation == 0 || generation == m_notifyGeneration))
            Wnd::postTo(m_notifyWindow, MM_MCINOTIFY, result, m_id);
        if (generation == 0 || generation == m_notifyGeneration)
            m_notifyWindow = 0;
    }

    // Stops the play (if any) where it is, telling a waiting window `result`.
    void stopLocked(WPARAM result)
    {
        if (!m_play)
            return;
        const unsigned generation = m_play->generation;
        endPlaybackLocked();
        finishNotify(generation, result);
    }

    void endPlaybackLocked()
    {
        if (!m_play)
            return;
        m_position = currentLsnLocked();
        m_play->shutdown();
        m_play.reset();
    }

    // A play that has ended leaves its output behind; it is taken down on the next command,
    // never in the output's own callback.
    void reapLocked()
    {
        if (m_play && m_play->ended)
            endPlaybackLocked();
    }

    void feed(Playback* play)
    {
        std::vector<std::int16_t> buffer(static_cast<size_t>(kChunkSectors) * kCdSectorBytes / 2);
        std::int32_t lsn = play->from;
        while (!play->cancel && lsn < play->to) {
            const int want = std::min<std::int32_t>(kChunkSectors, play->to - lsn);
            const int got = m_reader.read(lsn, want, buffer.data());
            if (got > 0 &&
                !play->out->write(buffer.data(), static_cast<size_t>(got) * kCdSectorFrames))
                return; // stopped, or the output failed and says so itself
            lsn += got;
            play->readTo = lsn;
            if (got < want) {
                if (play->cancel)
                    return;
                KLOG_INFO("engines", "the CD play stops: %s", m_reader.failureText().c_str());
                play->failed = true;
                break;
            }
        }
        if (!play->cancel)
            play->out->finish();
    }

    void startLocked(std::int32_t from, std::int32_t to, unsigned generation)
    {
        auto play = std::make_unique<Playback>();
        play->from = from;
        play->to = to;
        play->readTo = from;
        play->generation = generation;
        Playback* p = play.get();
        MediaPlayer::Callbacks callbacks;
        callbacks.ended = [this, p] {
            const bool failed = p->failed;
            p->ended = true;
            finishNotify(p->generation, failed ? MCI_NOTIFY_FAILURE : MCI_NOTIFY_SUCCESSFUL);
        };
        callbacks.failed = [this, p](const std::string& why) {
            KLOG_INFO("engines", "the CD sound output failed: %s", why.c_str());
            p->failed = true;
            p->ended = true;
            finishNotify(p->generation, MCI_NOTIFY_FAILURE);
        };
        play->out = std::make_unique<PcmOutput>(ChainRole::Cd, PcmFormat{44100, 2}, OutputOptions{},
                                                std::move(callbacks));
        play->out->start();
        play->worker = std::thread([this, p] { feed(p); });
        m_play = std::move(play);
    }

    // The end of the audio run a sector lies in: the next data track's start, or the lead-out.
    std::int32_t audioEndFrom(std::int32_t lsn) const
    {
        for (const CdTrack& t : m_toc.tracks) {
            if (t.lsn > lsn && !t.audio)
                return t.lsn;
        }
        return m_toc.leadOutLsn;
    }

    MCIERROR playLocked(std::uint32_t flags, MCI_PLAY_PARMS* p)
    {
        if ((flags & (MCI_FROM | MCI_TO | MCI_NOTIFY)) && !p)
            return MCIERR_NULL_PARAMETER_BLOCK;
        if (!refreshDiscLocked() || !discThereLocked())
            return MCIERR_CANNOT_READ_CD;
        std::int32_t from = currentLsnLocked();
        if (flags & MCI_FROM) {
            const auto v = lsnOfLocked(p->dwFrom, false);
            if (!v)
                return MCIERR_OUTOFRANGE;
            from = *v;
        }
        std::int32_t to = audioEndFrom(from);
        if (flags & MCI_TO) {
            const auto v = lsnOfLocked(p->dwTo, true);
            if (!v || *v < from)
                return MCIERR_OUTOFRANGE;
            to = std::min(to, *v);
        }
        if (from >= m_toc.leadOutLsn || !m_toc.track(m_toc.trackAt(from))->audio)
            return MCIERR_OUTOFRANGE;

        // A paused play asked to go on over the same range resumes where it stands.
        const bool resume =
            m_play && m_play->paused && !m_play->ended && !(flags & MCI_FROM) && to == m_play->to;
        unsigned generation;
        {
            std::lock_guard notify(m_notifyMutex);
            if (m_notifyWindow)
                Wnd::postTo(m_notifyWindow, MM_MCINOTIFY, MCI_NOTIFY_SUPERSEDED, m_id);
            m_notifyWindow = (flags & MCI_NOTIFY) ? p->dwCallback : 0;
            generation = ++m_generationCounter;
            m_notifyGeneration = generation;
        }
        if (resume) {
            m_play->generation = generation;
            m_play->paused = false;
            m_play->out->resume();
            return 0;
        }
        endPlaybackLocked();
        if (to <= from) {
            m_position = from;
            finishNotify(generation, MCI_NOTIFY_SUCCESSFUL);
            return 0;
        }
        startLocked(from, to, generation);
        return 0;
    }

    MCIERROR seekLocked(std::uint32_t flags, MCI_SEEK_PARMS* p)
    {
        if (!refreshDiscLocked() || !discThereLocked())
            return MCIERR_CANNOT_READ_CD;
        std::int32_t to;
        if (flags & MCI_SEEK_TO_START) {
            to = firstLsn();
        } else if (flags & MCI_SEEK_TO_END) {
            to = m_toc.leadOutLsn;
        } else if ((flags & MCI_TO) && p) {
            const auto v = lsnOfLocked(p->dwTo, true);
            if (!v)
                return MCIERR_OUTOFRANGE;
            to = *v;
        } else {
            return MCIERR_FLAGS_NOT_COMPATIBLE;
        }
        stopLocked(MCI_NOTIFY_ABORTED);
        m_position = to;
        return 0;
    }

    MCIERROR setLocked(std::uint32_t flags, MCI_SET_PARMS* p)
    {
        if (flags & MCI_SET_TIME_FORMAT) {
            if (!p)
                return MCIERR_NULL_PARAMETER_BLOCK;
            if (p->dwTimeFormat != MCI_FORMAT_MILLISECONDS && p->dwTimeFormat != MCI_FORMAT_MSF &&
                p->dwTimeFormat != MCI_FORMAT_TMSF)
                return MCIERR_BAD_TIME_FORMAT;
            m_format = p->dwTimeFormat;
        }
        if ((flags & MCI_SET_DOOR_OPEN) && (flags & MCI_SET_DOOR_CLOSED))
            return MCIERR_FLAGS_NOT_COMPATIBLE;
        if (flags & (MCI_SET_DOOR_OPEN | MCI_SET_DOOR_CLOSED)) {
            const bool open = flags & MCI_SET_DOOR_OPEN;
            stopLocked(MCI_NOTIFY_ABORTED);
            if (m_reader.kind() == CdReader::Kind::Drive) {
                if (!m_reader.setTray(open))
                    return MCIERR_HARDWARE;
            } else {
                // An image or a folder has no tray: the door is a state, and while it is
                // open the device has no disc.
                m_doorOpen = open;
            }
            refreshDiscLocked();
        }
        return 0;
    }

    MCIERROR statusLocked(std::uint32_t flags, MCI_STATUS_PARMS* p)
    {
        if (!p)
            return MCIERR_NULL_PARAMETER_BLOCK;
        if (!(flags & MCI_STATUS_ITEM))
            return MCIERR_FLAGS_NOT_COMPATIBLE;
        switch (p->dwItem) {
        case MCI_STATUS_MODE: {
            const bool present = refreshDiscLocked();
            if (m_notReady)
                p->dwReturn = MCI_MODE_NOT_READY;
            else if (!present)
                p->dwReturn = MCI_MODE_OPEN;
            else if (m_play && !m_play->ended)
                p->dwReturn = m_play->paused ? MCI_MODE_PAUSE : MCI_MODE_PLAY;
            else
                p->dwReturn = MCI_MODE_STOP;
            return 0;
        }
        case MCI_STATUS_MEDIA_PRESENT:
        case MCI_STATUS_READY:
            p->dwReturn = refreshDiscLocked() ? 1 : 0;
            return 0;
        case MCI_STATUS_TIME_FORMAT:
            p->dwReturn = m_format;
            return 0;
        default:
            break;
        }
        if (m_doorOpen || m_reader.kind() == CdReader::Kind::None)
            return MCIERR_CANNOT_READ_CD;
        // A folder is a disc without audio tracks.
        if (p->dwItem == MCI_STATUS_NUMBER_OF_TRACKS &&
            (m_reader.kind() == CdReader::Kind::Folder || !m_toc.empty())) {
            p->dwReturn = m_toc.tracks.size();
            return 0;
        }
        if (m_toc.empty())
            return MCIERR_CANNOT_READ_CD;
        const CdTrack* track = nullptr;
        if (flags & MCI_TRACK) {
            track = m_toc.track(static_cast<int>(p->dwTrack));
            if (!track)
                return MCIERR_OUTOFRANGE;
        }
        switch (p->dwItem) {
        case MCI_STATUS_POSITION:
            p->dwReturn = positionValueLocked(track ? track->lsn : currentLsnLocked());
            return 0;
        case MCI_STATUS_LENGTH:
            p->dwReturn = track ? lengthValueLocked(m_toc.endLsn(track->number) - track->lsn)
                                : lengthValueLocked(std::max(0, m_toc.leadOutLsn - firstLsn() - 1));
            return 0;
        case MCI_STATUS_CURRENT_TRACK:
            p->dwReturn = static_cast<std::uintptr_t>(m_toc.trackAt(currentLsnLocked()));
            return 0;
        case MCI_CDA_STATUS_TYPE_TRACK:
            if (!track)
                return MCIERR_FLAGS_NOT_COMPATIBLE;
            p->dwReturn = track->audio ? MCI_CDA_TRACK_AUDIO : MCI_CDA_TRACK_OTHER;
            return 0;
        default:
            return MCIERR_UNSUPPORTED_FUNCTION;
        }
    }

    std::string identityLocked() const
    {
        const auto msf = [](std::int32_t frame) -> std::uint64_t {
            return static_cast<std::uint64_t>(frame / 4500) << 16 |
                   static_cast<std::uint64_t>(frame / 75 % 60) << 8 |
                   static_cast<std::uint64_t>(frame % 75);
        };
        std::uint64_t sum = 0;
        for (const CdTrack& t : m_toc.tracks)
            sum += msf(t.frame());
        if (m_toc.tracks.size() < 3) {
            const CdTrack& first = m_toc.tracks.front();
            sum += static_cast<std::uint64_t>(first.frame() % 75) +
                   static_cast<std::uint64_t>(m_toc.leadOutFrame() - first.frame());
        }
        return std::to_string(sum);
    }

    MCIERROR infoLocked(std::uint32_t flags, MCI_INFO_PARMS* p)
    {
        if (!p || !p->lpstrReturn)
            return MCIERR_NULL_PARAMETER_BLOCK;
        std::string text;
        if (flags & MCI_INFO_PRODUCT) {
            text = "Kolvo CD audio";
        } else if (flags & MCI_INFO_FILE) {
            text = m_drive;
        } else if (flags & MCI_INFO_MEDIA_IDENTITY) {
            if (!refreshDiscLocked() || !discThereLocked())
                return MCIERR_CANNOT_READ_CD;
            text = identityLocked();
        } else {
            return MCIERR_FLAGS_NOT_COMPATIBLE;
        }
        if (text.size() + 1 > p->dwRetSize)
            return MCIERR_PARAM_OVERFLOW;
        std::memcpy(p->lpstrReturn, text.c_str(), text.size() + 1);
        return 0;
    }

    std::mutex m_mutex; // everything but the notification and the playback's flags
    MCIDEVICEID m_id = 0;
    std::string m_drive;
    CdReader m_reader;
    CdToc m_toc;
    std::uint32_t m_format = MCI_FORMAT_MSF;
    std::int32_t m_position = 0;
    bool m_doorOpen = false;
    bool m_notReady = false;
    std::unique_ptr<Playback> m_play;
    unsigned m_generationCounter = 0;

    // The window waiting for the end of a play; the output's callbacks take only this lock.
    std::mutex m_notifyMutex;
    HWND m_notifyWindow = 0;
    unsigned m_notifyGeneration = 0;
};

} // namespace

void registerCdAudioDriver()
{
    mciRegisterDriver(MCI_DEVTYPE_CD_AUDIO, [] { return std::make_unique<CdAudioDriver>(); });
}

} // namespace engines
