#include "engines/videoengine.h"

#include "engines/engineapi.h"
#include "engines/enginesupport.h"
#include "engines/outputconfig.h"
#include "engines/streamtext.h"
#include "platform/log.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace engines {

namespace {

constexpr int kOpenWaitMs = 10000;
constexpr int kStepWaitMs = 2000;

} // namespace

MediaPlayer::Options videoOptions(HWND window)
{
    MediaPlayer::Options options;
    options.role = ChainRole::Video;
    options.output.bufferCount = std::max(2, outputBufferMs() / 20);
    options.video = true;
    options.videoWindow = window;
    return options;
}

std::string videoInformationText(MediaPlayer& player, const std::string& location)
{
    (void)location;
    const StreamInfo info = player.info();
    std::string text;
    const auto add = [&](const std::string& item) {
        if (!item.empty())
            text += (text.empty() ? "" : ", ") + item;
    };
    add(info.videoCodec);
    if (player.videoWidth() > 0)
        add(std::to_string(player.videoWidth()) + " x " + std::to_string(player.videoHeight()));
    if (const double fps = player.frameRate(); fps > 0) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer,
                      std::fabs(fps - std::round(fps)) < 0.005 ? "%.0f fps" : "%.2f fps", fps);
        add(buffer);
    }
    StreamInfo sound = info;
    sound.container.clear();
    add(describeStream(sound));
    return info.container.empty() ? text : info.container + (text.empty() ? "" : ", " + text);
}

bool videoSourceRect(MediaPlayer& player, RECT* rect)
{
    if (!rect || player.videoWidth() <= 0)
        return false;
    *rect = RECT{0, 0, player.videoWidth(), player.videoHeight()};
    return true;
}

bool stepVideo(MediaPlayer& player, int frames, bool backward)
{
    bool moved = false;
    for (int i = 0; i < std::max(1, frames); ++i) {
        if (!player.stepFrame(backward))
            break;
        moved = true;
        player.waitFrame(kStepWaitMs);
    }
    return moved;
}

std::vector<std::uint8_t> captureVideo(MediaPlayer& player)
{
    const FramePtr frame = player.currentFrame();
    return frame ? packedDibOf(*frame) : std::vector<std::uint8_t>();
}

// ---- VideoFileEngine ----

std::int32_t VideoFileEngine::open(HWND window, const char* path, int cookie)
{
    std::lock_guard lock(m_mutex);
    m_player.reset();
    m_location = path ? path : "";
    m_window = window;
    if (!fileReachable(m_location))
        return m_codes.notFound;
    Notifier notifier(window, m_codes.notification, cookie);
    MediaPlayer::Callbacks callbacks;
    if (m_codes.notification) {
        callbacks.playing = [notifier](size_t) { notifier.post(kEventMode, kModePlaying); };
        callbacks.ended = [notifier] { notifier.post(kEventMode, kModeStopped); };
    }
    const std::string location = m_location;
    const Codes codes = m_codes;
    callbacks.failed = [notifier, location, codes](const std::string& why) {
        KLOG_WARNING("engines", "the %s failed on %s: %s", codes.name, location.c_str(),
                     why.c_str());
        if (codes.notification)
            notifier.post(kEventFailed, codes.failed);
    };
    m_player = std::make_unique<MediaPlayer>(videoOptions(window), std::move(callbacks));
    m_player->open({m_location}, 0, false);
    if (m_player->waitOpened(kOpenWaitMs) != MediaPlayer::OpenState::Opened) {
        KLOG_INFO("engines", "%s", m_player->error().c_str());
        m_player.reset();
        return m_codes.failed;
    }
    notifier.arm();
    return 1;
}

#define KOLVO_WITH_PLAYER(expr)                                                                    \
    std::lock_guard lock(m_mutex);                                                                 \
    if (!m_player)                                                                                 \
        return 0;                                                                                  \
    return (expr)

std::int32_t VideoFileEngine::play()
{
    KOLVO_WITH_PLAYER(m_player->play() ? 1 : 0);
}
std::int32_t VideoFileEngine::stop()
{
    KOLVO_WITH_PLAYER(m_player->stopAtStart() ? 1 : 0);
}
std::int32_t VideoFileEngine::pause()
{
    KOLVO_WITH_PLAYER(m_player->pause() ? 1 : 0);
}
std::int32_t VideoFileEngine::resume()
{
    KOLVO_WITH_PLAYER(m_player->resume() ? 1 : 0);
}
std::int32_t VideoFileEngine::isOpen()
{
    KOLVO_WITH_PLAYER(m_player->isFailed() ? 0 : 1);
}
std::int32_t VideoFileEngine::seek(int ms)
{
    KOLVO_WITH_PLAYER(m_player->seek(ms) ? 1 : 0);
}
std::int32_t VideoFileEngine::position()
{
    KOLVO_WITH_PLAYER(static_cast<std::int32_t>(m_player->positionMs()));
}
std::int32_t VideoFileEngine::length()
{
    KOLVO_WITH_PLAYER(
        static_cast<std::int32_t>(std::clamp<std::int64_t>(m_player->lengthMs(), 0, INT32_MAX)));
}
std::int32_t VideoFileEngine::fileInfo(char* buffer, int size)
{
    KOLVO_WITH_PLAYER(copyText(buffer, size, videoInformationText(*m_player, m_location)));
}
std::int32_t VideoFileEngine::sourceRect(RECT* rect)
{
    KOLVO_WITH_PLAYER(videoSourceRect(*m_player, rect) ? 1 : 0);
}
std::int32_t VideoFileEngine::setSpeed(int thousandths)
{
    KOLVO_WITH_PLAYER(m_player->setRate(thousandths / 1000.0) ? 1 : 0);
}
std::int32_t VideoFileEngine::step(int frames, int backward)
{
    KOLVO_WITH_PLAYER(stepVideo(*m_player, frames, backward != 0) ? 1 : 0);
}

#undef KOLVO_WITH_PLAYER

std::int32_t VideoFileEngine::close()
{
    std::lock_guard lock(m_mutex);
    m_player.reset();
    return 1;
}

std::int32_t VideoFileEngine::mode()
{
    std::lock_guard lock(m_mutex);
    return m_player ? m_player->mode() : kModeStopped;
}

std::int32_t VideoFileEngine::setMovieRect(const RECT* rect)
{
    std::lock_guard lock(m_mutex);
    if (!m_player || !rect)
        return 0;
    return setSurfaceMovieRect(m_window, *rect) ? 1 : 0;
}

std::vector<std::uint8_t> VideoFileEngine::capture()
{
    std::lock_guard lock(m_mutex);
    return m_player ? captureVideo(*m_player) : std::vector<std::uint8_t>();
}

} // namespace engines
