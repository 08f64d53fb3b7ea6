#include "engines/sequencer.h"

#include "engines/midisynth.h"
#include "platform/log.h"
#include "platform/wnd.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>

namespace engines {
namespace {

constexpr MCIERROR MCIERR_PARAM_OVERFLOW = 268;
constexpr std::uint32_t MCI_SEEK_TO_START = 0x00000100;
constexpr std::uint32_t MCI_SEEK_TO_END = 0x00000200;

class SequencerDriver : public MciDriver
{
public:
    ~SequencerDriver() override
    {
        std::lock_guard lock(m_mutex);
        if (m_playback)
            m_playback->stop();
        notify(MCI_NOTIFY_ABORTED);
    }

    MCIERROR open(MCIDEVICEID id, const std::string& element) override
    {
        m_id = id;
        if (element.empty())
            return MCIERR_FILENAME_REQUIRED;
        std::string why;
        m_playback = MidiPlayback::open(element, why);
        if (!m_playback) {
            KLOG_INFO("engines", "%s: %s", element.c_str(), why.c_str());
            return why.find("cannot be opened") != std::string::npos ? MCIERR_FILE_NOT_FOUND
                                                                     : MCIERR_INVALID_FILE;
        }
        m_element = element;
        const int us = m_playback->song().initialTempo;
        m_baseTempo = us > 0 ? static_cast<int>(std::lround(60000000.0 / us)) : 120;
        m_tempo = m_baseTempo;
        return 0;
    }

    MCIERROR command(UINT message, std::uint32_t flags, void* params) override
    {
        std::lock_guard lock(m_mutex);
        switch (message) {
        case MCI_PLAY:
            return play(flags, static_cast<MCI_PLAY_PARMS*>(params));
        case MCI_STOP:
        case MCI_PAUSE:
            if (m_playback->mode() == kModePlaying)
                m_playback->pause();
            m_stopped = message == MCI_STOP;
            notify(MCI_NOTIFY_ABORTED);
            return 0;
        case MCI_SEEK: {
            auto* p = static_cast<MCI_SEEK_PARMS*>(params);
            double to;
            if (flags & MCI_SEEK_TO_START)
                to = 0;
            else if (flags & MCI_SEEK_TO_END)
                to = m_playback->lengthMs();
            else if ((flags & MCI_TO) && p)
                to = p->dwTo;
            else
                return MCIERR_FLAGS_NOT_COMPATIBLE;
            if (to > m_playback->lengthMs())
                return MCIERR_OUTOFRANGE;
            notify(MCI_NOTIFY_ABORTED);
            m_playback->stop();
            m_playback->seek(to);
            m_stopped = true;
            return 0;
        }
        case MCI_SET: {
            auto* p = static_cast<MCI_SEQ_SET_PARMS*>(params);
            if ((flags & (MCI_SET_TIME_FORMAT | MCI_SEQ_SET_TEMPO)) && !p)
                return MCIERR_NULL_PARAMETER_BLOCK;
            if ((flags & MCI_SET_TIME_FORMAT) && p->dwTimeFormat != MCI_FORMAT_MILLISECONDS)
                return MCIERR_BAD_TIME_FORMAT;
            if (flags & MCI_SEQ_SET_TEMPO) {
                if (p->dwTempo == 0)
                    return MCIERR_OUTOFRANGE;
                m_tempo = static_cast<int>(p->dwTempo);
                m_playback->setTempoFactor(static_cast<double>(m_tempo) / m_baseTempo);
            }
            return 0;
        }
        case MCI_STATUS:
            return status(flags, static_cast<MCI_STATUS_PARMS*>(params));
        case MCI_INFO: {
            auto* p = static_cast<MCI_INFO_PARMS*>(params);
            if (!p || !p->lpstrReturn)
                return MCIERR_NULL_PARAMETER_BLOCK;
            std::string text;
            if (flags & MCI_INFO_PRODUCT)
                text = "Kolvo sequencer";
            else if (flags & MCI_INFO_FILE)
                text = m_element;
            else
                return MCIERR_FLAGS_NOT_COMPATIBLE;
            if (text.size() + 1 > p->dwRetSize)
                return MCIERR_PARAM_OVERFLOW;
            std::memcpy(p->lpstrReturn, text.c_str(), text.size() + 1);
            return 0;
        }
        default:
            return MCIERR_UNSUPPORTED_FUNCTION;
        }
    }

    std::string informationText() override
    {
        std::lock_guard lock(m_mutex);
        return m_playback->describe();
    }

private:
    MCIERROR play(std::uint32_t flags, MCI_PLAY_PARMS* p)
    {
        if ((flags & (MCI_FROM | MCI_TO | MCI_NOTIFY)) && !p)
            return MCIERR_NULL_PARAMETER_BLOCK;
        const double length = m_playback->lengthMs();
        if ((flags & MCI_FROM) && p->dwFrom > length)
            return MCIERR_OUTOFRANGE;
        {
            std::lock_guard notifyLock(m_notifyMutex);
            if (m_notifyWindow)
                Wnd::postTo(m_notifyWindow, MM_MCINOTIFY, MCI_NOTIFY_SUPERSEDED, m_id);
            m_notifyWindow = (flags & MCI_NOTIFY) ? p->dwCallback : 0;
        }
        m_stopped = false;
        const int mode = m_playback->mode();
        if (mode == kModePaused && !(flags & MCI_FROM)) {
            m_playback->resume();
            return 0;
        }
        double from = m_playback->positionMs();
        if (flags & MCI_FROM)
            from = p->dwFrom;
        else if (from >= length)
            from = 0;
        MidiPlayback::Callbacks callbacks;
        callbacks.ended = [this] { notify(MCI_NOTIFY_SUCCESSFUL); };
        callbacks.failed = [this](const std::string&) { notify(MCI_NOTIFY_FAILURE); };
        std::string why;
        if (!m_started) {
            m_started = true;
            if (!m_playback->start(ChainRole::Midi, std::move(callbacks), why)) {
                KLOG_INFO("engines", "the sequencer cannot play %s: %s", m_element.c_str(),
                          why.c_str());
                m_started = false;
                return MCIERR_DEVICE_NOT_READY;
            }
            if (from > 0)
                m_playback->seek(from);
            return 0;
        }
        if (!m_playback->playFrom(from, why)) {
            KLOG_INFO("engines", "the sequencer cannot play %s: %s", m_element.c_str(),
                      why.c_str());
            return MCIERR_DEVICE_NOT_READY;
        }
        return 0;
    }

    MCIERROR status(std::uint32_t flags, MCI_STATUS_PARMS* p)
    {
        if (!p)
            return MCIERR_NULL_PARAMETER_BLOCK;
        if (!(flags & MCI_STATUS_ITEM))
            return MCIERR_FLAGS_NOT_COMPATIBLE;
        switch (p->dwItem) {
        case MCI_STATUS_MODE: {
            // Stop and pause both hold the sound: a held play that was stopped reads stopped.
            const int mode = m_playback->mode();
            p->dwReturn = mode == kModePaused && m_stopped ? kModeStopped : mode;
            return 0;
        }
        case MCI_STATUS_POSITION:
            p->dwReturn = static_cast<std::uintptr_t>(m_playback->positionMs());
            return 0;
        case MCI_STATUS_LENGTH:
            p->dwReturn = static_cast<std::uintptr_t>(std::lround(m_playback->lengthMs()));
            return 0;
        case MCI_STATUS_NUMBER_OF_TRACKS:
        case MCI_STATUS_CURRENT_TRACK:
        case MCI_STATUS_MEDIA_PRESENT:
        case MCI_STATUS_READY:
            p->dwReturn = 1;
            return 0;
        case MCI_STATUS_TIME_FORMAT:
            p->dwReturn = MCI_FORMAT_MILLISECONDS;
            return 0;
        case MCI_SEQ_STATUS_TEMPO:
            p->dwReturn = static_cast<std::uintptr_t>(m_tempo);
            return 0;
        default:
            return MCIERR_UNSUPPORTED_FUNCTION;
        }
    }

    void notify(WPARAM result)
    {
        std::lock_guard lock(m_notifyMutex);
        if (m_notifyWindow)
            Wnd::postTo(m_notifyWindow, MM_MCINOTIFY, result, m_id);
        m_notifyWindow = 0;
    }

    std::mutex m_mutex;
    MCIDEVICEID m_id = 0;
    std::string m_element;
    std::unique_ptr<MidiPlayback> m_playback;
    bool m_started = false;
    bool m_stopped = false;
    int m_baseTempo = 120;
    int m_tempo = 120;
    std::mutex m_notifyMutex;
    HWND m_notifyWindow = 0;
};

} // namespace

void registerSequencerDriver()
{
    mciRegisterDriver(MCI_DEVTYPE_SEQUENCER, [] { return std::make_unique<SequencerDriver>(); });
}

} // namespace engines
