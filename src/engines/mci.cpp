#include "engines/mci.h"

#include "engines/enginesupport.h"
#include "engines/mediaplayer.h"
#include "engines/mpegaudio.h"
#include "engines/streamtext.h"
#include "engines/videoengine.h"
#include "platform/log.h"
#include "platform/wnd.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>

namespace engines {

namespace {

constexpr MCIERROR MCIERR_PARAM_OVERFLOW = 268;
constexpr std::uint32_t MCI_SEEK_TO_START = 0x00000100;
constexpr std::uint32_t MCI_SEEK_TO_END = 0x00000200;

struct Device
{
    std::uint32_t type = 0;
    std::string alias;
    std::shared_ptr<MciDriver> driver;
};

struct Registry
{
    Registry();
    std::mutex mutex;
    std::map<std::uint32_t, MciDriverFactory> factories;
    std::map<MCIDEVICEID, Device> devices;
    MCIDEVICEID nextId = 1;
};

std::unique_ptr<MciDriver> makeFileDriver(std::uint32_t type);

Registry::Registry()
{
    factories[MCI_DEVTYPE_WAVEFORM_AUDIO] = [] {
        return makeFileDriver(MCI_DEVTYPE_WAVEFORM_AUDIO);
    };
    factories[MCI_DEVTYPE_DIGITAL_VIDEO] = [] { return makeFileDriver(MCI_DEVTYPE_DIGITAL_VIDEO); };
}

Registry& registry()
{
    static Registry r;
    return r;
}

std::shared_ptr<MciDriver> driverOf(MCIDEVICEID id)
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    const auto it = r.devices.find(id);
    return it == r.devices.end() ? nullptr : it->second.driver;
}

// ---- the file driver: wave audio, other sound files and films through GStreamer ----

std::string extensionOf(const std::string& path)
{
    const size_t dot = path.find_last_of('.');
    const size_t slash = path.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    std::string ext = path.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

// The extensions of films: the video player's kinds, and "mpv", the name other programs give
// elementary MPEG video. A file of a Video CD is always one.
bool isFilm(const std::string& path)
{
    if (isVcdAddress(path))
        return true;
    static const char* const kFilms[] = {"avi", "mov", "qt",  "mpe", "mpeg", "m1v", "m2v", "mpv",
                                         "mpg", "dat", "vob", "rm",  "ram",  "swf", "rmvb"};
    const std::string ext = extensionOf(path);
    for (const char* e : kFilms) {
        if (ext == e)
            return true;
    }
    return false;
}

class FileDriver : public MciDriver
{
public:
    explicit FileDriver(std::uint32_t type)
        : m_type(type)
    {}
    ~FileDriver() override
    {
        // Stop the playback (and its callbacks) before the members it reports to go.
        m_player.reset();
    }

    MCIERROR open(MCIDEVICEID id, const std::string& element) override
    {
        m_id = id;
        m_element = element;
        if (element.empty())
            return MCIERR_FILENAME_REQUIRED;
        // A file of a Video CD is not in the file system: its source element opens the disc
        // and fails the open when the file is not there.
        if (!isVcdAddress(element) && !fileReachable(element))
            return MCIERR_FILE_NOT_FOUND;
        // A film shows its pictures; an audio file opened as digital video stays sound only.
        m_video = m_type == MCI_DEVTYPE_DIGITAL_VIDEO && isFilm(element);
        MediaPlayer::Callbacks callbacks;
        callbacks.ended = [this] { finishNotify(MCI_NOTIFY_SUCCESSFUL); };
        callbacks.failed = [this](const std::string&) { finishNotify(MCI_NOTIFY_FAILURE); };
        MediaPlayer::Options options = m_video ? videoOptions(0) : MediaPlayer::Options();
        options.role = m_video ? ChainRole::Video : ChainRole::DigitalAudio;
        m_player = std::make_unique<MediaPlayer>(std::move(options), std::move(callbacks));
        m_player->open({element}, 0, false);
        if (m_player->waitOpened(10000) != MediaPlayer::OpenState::Opened) {
            // The device's code cannot tell why; the reason is kept for whoever reports it.
            KLOG_INFO("engines", "%s", m_player->error().c_str());
            m_player.reset();
            return MCIERR_INVALID_FILE;
        }
        m_info = m_player->info();
        // Only MPEG audio is scanned for frames: other files' samples can look like them.
        m_mpeg.reset();
        if (m_info.mpegAudio && !m_video)
            m_mpeg = readMpegFile(element);
        return 0;
    }

    MCIERROR command(UINT message, std::uint32_t flags, void* params) override
    {
        switch (message) {
        case MCI_PLAY:
            return play(flags, static_cast<MCI_PLAY_PARMS*>(params));
        case MCI_STOP:
            finishNotify(MCI_NOTIFY_ABORTED);
            m_player->pause();
            m_stopped = true;
            return 0;
        case MCI_PAUSE:
            m_player->pause();
            return 0;
        case MCI_SEEK: {
            auto* p = static_cast<MCI_SEEK_PARMS*>(params);
            std::int64_t to;
            if (flags & MCI_SEEK_TO_START)
                to = 0;
            else if (flags & MCI_SEEK_TO_END)
                to = m_player->lengthMs();
            else if ((flags & MCI_TO) && p)
                to = toMs(p->dwTo);
            else
                return MCIERR_FLAGS_NOT_COMPATIBLE;
            if (to > m_player->lengthMs())
                return MCIERR_OUTOFRANGE;
            finishNotify(MCI_NOTIFY_ABORTED);
            // A seek leaves the device stopped at the new place.
            m_player->pause();
            m_player->seek(to);
            m_stopped = true;
            return 0;
        }
        case MCI_SET: {
            auto* p = static_cast<MCI_SET_PARMS*>(params);
            if (flags & (MCI_SET_DOOR_OPEN | MCI_SET_DOOR_CLOSED))
                return MCIERR_UNSUPPORTED_FUNCTION;
            if (flags & MCI_DGV_SET_SPEED) {
                if (!p)
                    return MCIERR_NULL_PARAMETER_BLOCK;
                if (!m_video)
                    return MCIERR_UNSUPPORTED_FUNCTION;
                if (p->dwSpeed < 250 || p->dwSpeed > 4000)
                    return MCIERR_OUTOFRANGE;
                return m_player->setRate(p->dwSpeed / 1000.0) ? 0 : MCIERR_DRIVER;
            }
            if (flags & MCI_SET_TIME_FORMAT) {
                if (!p)
                    return MCIERR_NULL_PARAMETER_BLOCK;
                if (p->dwTimeFormat != MCI_FORMAT_MILLISECONDS &&
                    p->dwTimeFormat != MCI_FORMAT_BYTES && p->dwTimeFormat != MCI_FORMAT_SAMPLES)
                    return MCIERR_BAD_TIME_FORMAT;
                m_format = p->dwTimeFormat;
            }
            return 0;
        }
        case MCI_STATUS:
            return status(flags, static_cast<MCI_STATUS_PARMS*>(params));
        case MCI_WINDOW: {
            auto* p = static_cast<MCI_DGV_WINDOW_PARMS*>(params);
            if (!m_video)
                return MCIERR_UNSUPPORTED_FUNCTION;
            if (!p)
                return MCIERR_NULL_PARAMETER_BLOCK;
            if (flags & MCI_DGV_WINDOW_HWND) {
                m_window = p->hWnd;
                m_player->setVideoWindow(p->hWnd);
            }
            return 0;
        }
        case MCI_WHERE: {
            auto* p = static_cast<MCI_DGV_RECT_PARMS*>(params);
            if (!m_video)
                return MCIERR_UNSUPPORTED_FUNCTION;
            if (!p)
                return MCIERR_NULL_PARAMETER_BLOCK;
            if (flags & MCI_DGV_WHERE_DESTINATION) {
                p->rc = m_destination;
                return 0;
            }
            return videoSourceRect(*m_player, &p->rc) ? 0 : MCIERR_DEVICE_NOT_READY;
        }
        case MCI_PUT: {
            auto* p = static_cast<MCI_DGV_RECT_PARMS*>(params);
            if (!m_video)
                return MCIERR_UNSUPPORTED_FUNCTION;
            if (!p || !(flags & MCI_DGV_RECT))
                return MCIERR_NULL_PARAMETER_BLOCK;
            m_destination = p->rc;
            setSurfaceMovieRect(m_window, p->rc);
            return 0;
        }
        case MCI_STEP: {
            auto* p = static_cast<MCI_DGV_STEP_PARMS*>(params);
            if (!m_video)
                return MCIERR_UNSUPPORTED_FUNCTION;
            const int frames =
                (flags & MCI_DGV_STEP_FRAMES) && p ? static_cast<int>(p->dwFrames) : 1;
            finishNotify(MCI_NOTIFY_ABORTED);
            const bool moved = stepVideo(*m_player, frames, (flags & MCI_DGV_STEP_REVERSE) != 0);
            return moved ? 0 : MCIERR_OUTOFRANGE;
        }
        case MCI_INFO: {
            auto* p = static_cast<MCI_INFO_PARMS*>(params);
            if (!p || !p->lpstrReturn)
                return MCIERR_NULL_PARAMETER_BLOCK;
            std::string text;
            if (flags & MCI_INFO_PRODUCT)
                text = m_type == MCI_DEVTYPE_WAVEFORM_AUDIO ? "Kolvo wave audio"
                       : m_video                            ? "Kolvo digital video"
                                                            : "Kolvo audio";
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

    std::vector<std::uint8_t> capturePicture() override
    {
        return m_video && m_player ? captureVideo(*m_player) : std::vector<std::uint8_t>();
    }

    std::string informationText() override
    {
        if (m_video && m_player && m_player->hasVideo())
            return videoInformationText(*m_player, m_element);
        char buf[160];
        std::string text;
        const auto add = [&](const std::string& item) {
            text += (text.empty() ? "" : ", ") + item;
        };
        // The codec's tags may come after the open: what is known now.
        const StreamInfo info = m_player ? m_player->info() : m_info;
        const bool pcm = !m_mpeg && isPcmStream(info);
        if (info.rate > 0) {
            std::snprintf(buf, sizeof buf, "%.3f", info.rate / 1000.0);
            add(std::string(buf) + " kHz");
        }
        if (pcm && info.bits > 0)
            add(std::to_string(info.bits) + " bit");
        if (info.channels > 0)
            add(channelsName(info.channels));
        int kbps = 0;
        if (m_mpeg)
            kbps = m_mpeg->stream.averageKbps;
        else if (info.bitrate > 0)
            kbps = info.bitrate / 1000;
        else if (pcm)
            kbps = bytesPerSecond() * 8 / 1000;
        else
            kbps = averageKbps();
        if (kbps > 0)
            add(std::to_string(kbps) + " kbps");
        return text;
    }

private:
    // A compressed file that names no bit rate: its size over its length.
    int averageKbps() const
    {
        std::error_code error;
        const auto bytes = std::filesystem::file_size(m_element, error);
        const std::int64_t ms = m_player ? m_player->lengthMs() : 0;
        if (error || ms <= 0)
            return 0;
        return static_cast<int>(static_cast<std::int64_t>(bytes) * 8 / ms);
    }
    int bytesPerSecond() const
    {
        if (m_mpeg)
            return m_mpeg->stream.averageKbps * 1000 / 8;
        if (m_info.bitrate > 0)
            return m_info.bitrate / 8;
        return m_info.rate * m_info.channels * std::max(1, m_info.bits / 8);
    }
    std::int64_t toMs(std::uint32_t value) const
    {
        switch (m_format) {
        case MCI_FORMAT_SAMPLES:
            return m_info.rate > 0 ? static_cast<std::int64_t>(value) * 1000 / m_info.rate : 0;
        case MCI_FORMAT_BYTES: {
            const int bps = bytesPerSecond();
            return bps > 0 ? static_cast<std::int64_t>(value) * 1000 / bps : 0;
        }
        default:
            return value;
        }
    }
    std::uintptr_t fromMs(std::int64_t ms) const
    {
        ms = std::max<std::int64_t>(0, ms);
        switch (m_format) {
        case MCI_FORMAT_SAMPLES:
            return static_cast<std::uintptr_t>(ms * m_info.rate / 1000);
        case MCI_FORMAT_BYTES:
            return static_cast<std::uintptr_t>(ms * bytesPerSecond() / 1000);
        default:
            return static_cast<std::uintptr_t>(ms);
        }
    }

    MCIERROR play(std::uint32_t flags, MCI_PLAY_PARMS* p)
    {
        if ((flags & (MCI_FROM | MCI_TO | MCI_NOTIFY)) && !p)
            return MCIERR_NULL_PARAMETER_BLOCK;
        const std::int64_t length = m_player->lengthMs();
        std::int64_t from = -1, to = -1;
        if (flags & MCI_FROM)
            from = toMs(p->dwFrom);
        if (flags & MCI_TO)
            to = toMs(p->dwTo);
        if (from > length || to > length || (to >= 0 && from >= 0 && to < from))
            return MCIERR_OUTOFRANGE;
        {
            std::lock_guard lock(m_notifyMutex);
            if (m_notifyWindow)
                Wnd::postTo(m_notifyWindow, MM_MCINOTIFY, MCI_NOTIFY_SUPERSEDED, m_id);
            m_notifyWindow = (flags & MCI_NOTIFY) ? p->dwCallback : 0;
        }
        if (from >= 0 || to >= 0) {
            const std::int64_t start = from >= 0 ? from : m_player->positionMs();
            m_player->seek(start, to);
        }
        m_stopped = false;
        if ((flags & MCI_MCIAVI_PLAY_FULLSCREEN) && m_video)
            showSurfaceFullScreen(m_window, true);
        return m_player->play() ? 0 : MCIERR_DRIVER;
    }

    MCIERROR status(std::uint32_t flags, MCI_STATUS_PARMS* p)
    {
        if (!p)
            return MCIERR_NULL_PARAMETER_BLOCK;
        if (!(flags & MCI_STATUS_ITEM))
            return MCIERR_FLAGS_NOT_COMPATIBLE;
        if ((flags & MCI_TRACK) && p->dwTrack != 1)
            return MCIERR_OUTOFRANGE;
        switch (p->dwItem) {
        case MCI_STATUS_LENGTH:
            p->dwReturn = fromMs(m_player->lengthMs());
            return 0;
        case MCI_STATUS_POSITION:
            p->dwReturn = (flags & MCI_TRACK) ? 0 : fromMs(m_player->positionMs());
            return 0;
        case MCI_STATUS_MODE: {
            const int mode = m_player->mode();
            p->dwReturn = m_player->isFailed()                ? MCI_MODE_NOT_READY
                          : m_stopped || mode == kModeOpening ? MCI_MODE_STOP
                                                              : static_cast<std::uintptr_t>(mode);
            return 0;
        }
        case MCI_STATUS_NUMBER_OF_TRACKS:
        case MCI_STATUS_CURRENT_TRACK:
        case MCI_STATUS_MEDIA_PRESENT:
        case MCI_STATUS_READY:
            p->dwReturn = 1;
            return 0;
        case MCI_STATUS_TIME_FORMAT:
            p->dwReturn = m_format;
            return 0;
        default:
            return MCIERR_UNSUPPORTED_FUNCTION;
        }
    }

    void finishNotify(WPARAM result)
    {
        std::lock_guard lock(m_notifyMutex);
        if (m_notifyWindow)
            Wnd::postTo(m_notifyWindow, MM_MCINOTIFY, result, m_id);
        m_notifyWindow = 0;
    }

    std::uint32_t m_type;
    bool m_video = false;
    HWND m_window = 0;
    RECT m_destination;
    MCIDEVICEID m_id = 0;
    std::string m_element;
    std::uint32_t m_format = MCI_FORMAT_MILLISECONDS;
    bool m_stopped = true;
    std::optional<MpegFile> m_mpeg;
    StreamInfo m_info;
    std::mutex m_notifyMutex;
    HWND m_notifyWindow = 0;
    std::unique_ptr<MediaPlayer> m_player;
};

std::unique_ptr<MciDriver> makeFileDriver(std::uint32_t type)
{
    return std::make_unique<FileDriver>(type);
}

MCIERROR openDevice(std::uint32_t flags, MCI_OPEN_PARMS* p)
{
    if (!p)
        return MCIERR_NULL_PARAMETER_BLOCK;
    const std::string element =
        (flags & MCI_OPEN_ELEMENT) && p->lpstrElementName ? p->lpstrElementName : "";
    std::uint32_t type = 0;
    if ((flags & MCI_OPEN_TYPE) && (flags & MCI_OPEN_TYPE_ID))
        type = p->lpstrDeviceType;
    else if (flags & MCI_OPEN_ELEMENT)
        type = mciDeviceTypeForFile(element);
    if (!type)
        return MCIERR_INVALID_DEVICE_NAME;
    const std::string alias = (flags & MCI_OPEN_ALIAS) && p->lpstrAlias ? p->lpstrAlias : "";

    Registry& r = registry();
    MciDriverFactory factory;
    MCIDEVICEID id;
    {
        std::lock_guard lock(r.mutex);
        if (!alias.empty()) {
            for (const auto& [other, device] : r.devices) {
                if (device.alias == alias)
                    return MCIERR_DUPLICATE_ALIAS;
            }
        }
        const auto it = r.factories.find(type);
        if (it == r.factories.end())
            return MCIERR_DEVICE_NOT_INSTALLED;
        factory = it->second;
        id = r.nextId++;
    }
    std::shared_ptr<MciDriver> driver = factory();
    if (!driver)
        return MCIERR_CANNOT_LOAD_DRIVER;
    if (const MCIERROR err = driver->open(id, element))
        return err;
    {
        std::lock_guard lock(r.mutex);
        r.devices[id] = Device{type, alias, driver};
    }
    p->wDeviceID = id;
    return 0;
}

} // namespace

void mciRegisterDriver(std::uint32_t deviceType, MciDriverFactory factory)
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.factories[deviceType] = std::move(factory);
}

std::uint32_t mciDeviceTypeForFile(const std::string& path)
{
    const std::string ext = extensionOf(path);
    if (ext.empty())
        return 0;
    if (isFilm(path))
        return MCI_DEVTYPE_DIGITAL_VIDEO;
    if (ext == "wav")
        return MCI_DEVTYPE_WAVEFORM_AUDIO;
    if (ext == "mid" || ext == "rmi" || ext == "kar")
        return MCI_DEVTYPE_SEQUENCER;
    static const char* const kAudio[] = {"mp1",  "m1s", "mp2", "m2s", "mp3", "mpa", "aif", "aifc",
                                         "aiff", "au",  "snd", "ra",  "rm",  "ogg", "flac"};
    for (const char* e : kAudio) {
        if (ext == e)
            return MCI_DEVTYPE_DIGITAL_VIDEO;
    }
    return 0;
}

std::string mciInformationText(MCIDEVICEID device)
{
    const auto driver = driverOf(device);
    return driver ? driver->informationText() : std::string();
}

std::vector<std::uint8_t> mciCapturePicture(MCIDEVICEID device)
{
    const auto driver = driverOf(device);
    return driver ? driver->capturePicture() : std::vector<std::uint8_t>();
}

} // namespace engines

MCIERROR mciSendCommand(MCIDEVICEID device, UINT message, std::uint32_t flags, void* params)
{
    using namespace engines;
    if (message == MCI_OPEN)
        return openDevice(flags, static_cast<MCI_OPEN_PARMS*>(params));
    if (message == MCI_CLOSE) {
        std::shared_ptr<MciDriver> driver;
        {
            Registry& r = registry();
            std::lock_guard lock(r.mutex);
            const auto it = r.devices.find(device);
            if (it == r.devices.end())
                return MCIERR_INVALID_DEVICE_ID;
            driver = std::move(it->second.driver);
            r.devices.erase(it);
        }
        if (auto* p = static_cast<MCI_GENERIC_PARMS*>(params); p && (flags & MCI_NOTIFY))
            Wnd::postTo(p->dwCallback, MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL, device);
        return 0; // the driver goes with the last reference
    }
    const auto driver = driverOf(device);
    if (!driver)
        return MCIERR_INVALID_DEVICE_ID;
    return driver->command(message, flags, params);
}

bool mciGetErrorString(MCIERROR error, char* buffer, std::uint32_t size)
{
    using namespace engines;
    static const std::map<MCIERROR, const char*> kTexts = {
        {MCIERR_INVALID_DEVICE_ID, "Invalid device ID."},
        {MCIERR_HARDWARE, "The device is not working."},
        {MCIERR_INVALID_DEVICE_NAME, "The device is not open or is not known."},
        {MCIERR_CANNOT_LOAD_DRIVER, "The device driver cannot be loaded."},
        {MCIERR_UNSUPPORTED_FUNCTION, "The device cannot carry out this command."},
        {MCIERR_FILE_NOT_FOUND, "The file cannot be found."},
        {MCIERR_DEVICE_NOT_READY, "The device is not ready."},
        {MCIERR_DRIVER, "The device driver reported an error."},
        {MCIERR_OUTOFRANGE, "The value is out of range."},
        {MCIERR_FLAGS_NOT_COMPATIBLE, "The flags cannot be used together."},
        {MCIERR_FILE_NOT_SAVED, "The file was not saved."},
        {MCIERR_DUPLICATE_ALIAS, "The alias is already in use."},
        {MCIERR_BAD_TIME_FORMAT, "The time format is not supported."},
        {MCIERR_INVALID_FILE, "The file cannot be played."},
        {MCIERR_NULL_PARAMETER_BLOCK, "A parameter block is missing."},
        {MCIERR_FILENAME_REQUIRED, "A file name is required."},
        {MCIERR_DEVICE_NOT_INSTALLED, "The device is not installed."},
        {MCIERR_CANNOT_READ_CD, "The CD cannot be read."},
        {MCIERR_FILE_READ, "The file cannot be read."},
        {MCIERR_FILE_WRITE, "The file cannot be written."},
    };
    const auto it = kTexts.find(error);
    if (it == kTexts.end() || !buffer || size == 0)
        return false;
    copyText(buffer, static_cast<int>(size), it->second);
    return true;
}
