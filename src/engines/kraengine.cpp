#include "engines/kraengine.h"

#include "engines/engineapi.h"
#include "engines/enginesupport.h"
#include "engines/mediaplayer.h"
#include "engines/ramlist.h"
#include "engines/streamtext.h"
#include "platform/log.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>

namespace {

using namespace engines;

struct RaEngine
{
    std::mutex mutex;
    std::unique_ptr<MediaPlayer> player;
};

RaEngine& engine()
{
    static RaEngine e;
    return e;
}

bool isRamList(const std::string& path)
{
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos)
        return false;
    std::string ext = path.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    return ext == "ram";
}

template <typename Op>
std::int32_t withPlayer(Op op)
{
    RaEngine& e = engine();
    std::lock_guard lock(e.mutex);
    return e.player ? op(*e.player) : 0;
}

} // namespace

std::int32_t KRAEngine_Play(HWND window, const char* path, int cookie)
{
    RaEngine& e = engine();
    std::lock_guard lock(e.mutex);
    e.player.reset();
    const std::string location = path ? path : "";
    std::vector<std::string> clips;
    if (isStreamAddress(location)) {
        clips.push_back(location);
    } else {
        if (!fileReachable(location))
            return kRaNotFound;
        if (isRamList(location)) {
            std::ifstream in(location, std::ios::binary);
            std::ostringstream content;
            content << in.rdbuf();
            const size_t slash = location.find_last_of('/');
            clips = parseRamList(content.str(),
                                 slash == std::string::npos ? "." : location.substr(0, slash));
            if (clips.empty()) {
                KLOG_INFO("engines", "the list holds no clip to play");
                return kRaFailed;
            }
        } else {
            clips.push_back(location);
        }
    }
    const Notifier notifier(window, kNotifyRealAudio, cookie);
    MediaPlayer::Callbacks callbacks;
    callbacks.playing = [notifier](size_t) { notifier.post(kEventMode, kModePlaying); };
    callbacks.ended = [notifier] { notifier.post(kEventMode, kModeStopped); };
    callbacks.failed = [notifier, location](const std::string& why) {
        KLOG_WARNING("engines", "the RealAudio engine failed on %s: %s", location.c_str(),
                     why.c_str());
        notifier.post(kEventFailed, kRaFailed);
    };
    MediaPlayer::Options options;
    options.role = ChainRole::DigitalAudio;
    e.player = std::make_unique<MediaPlayer>(std::move(options), std::move(callbacks));
    e.player->open(std::move(clips), 0, true);
    notifier.arm();
    return 1;
}

std::int32_t KRAEngine_Stop()
{
    RaEngine& e = engine();
    std::lock_guard lock(e.mutex);
    e.player.reset();
    return 1;
}

std::int32_t KRAEngine_Pause()
{
    return withPlayer([](MediaPlayer& p) { return p.pause() ? 1 : 0; });
}

std::int32_t KRAEngine_Resume()
{
    return withPlayer([](MediaPlayer& p) { return p.resume() ? 1 : 0; });
}

std::int32_t KRAEngine_Seek(int ms)
{
    // The player calls Resume after a seek; a seek while paused stays paused until then.
    return withPlayer([ms](MediaPlayer& p) { return p.seek(ms) ? 1 : 0; });
}

std::int32_t KRAEngine_GetPosition()
{
    return withPlayer([](MediaPlayer& p) { return static_cast<std::int32_t>(p.positionMs()); });
}

std::int32_t KRAEngine_GetLength()
{
    return withPlayer([](MediaPlayer& p) {
        return static_cast<std::int32_t>(std::clamp<std::int64_t>(p.lengthMs(), 0, INT32_MAX));
    });
}

std::int32_t KRAEngine_GetMode()
{
    const std::int32_t mode = withPlayer([](MediaPlayer& p) { return p.mode(); });
    return mode ? mode : kModeStopped;
}

std::int32_t KRAEngine_IsOpen()
{
    return withPlayer([](MediaPlayer& p) { return p.isFailed() ? 0 : 1; });
}

std::int32_t KRAEngine_GetFileInfo(char* buffer, int size)
{
    return withPlayer([&](MediaPlayer& p) {
        const StreamInfo info = p.info();
        std::string text = describeStream(info);
        const auto add = [&](const char* label, const std::string& value) {
            if (!value.empty())
                text += std::string(text.empty() ? "" : "        ") + label + " : " + value;
        };
        add("Title", info.title);
        add("Author", info.artist);
        add("Copyright", info.copyright);
        if (p.clipCount() > 1)
            add("Clip", std::to_string(p.clipIndex() + 1) + "/" + std::to_string(p.clipCount()));
        return copyText(buffer, size, text);
    });
}

std::int32_t KRAEngine_GotoNextClip()
{
    RaEngine& e = engine();
    std::lock_guard lock(e.mutex);
    if (!e.player || e.player->clipIndex() + 1 >= e.player->clipCount())
        return -1;
    return e.player->gotoClip(e.player->clipIndex() + 1) ? 1 : -1;
}

std::int32_t KRAEngine_GotoPrevClip()
{
    RaEngine& e = engine();
    std::lock_guard lock(e.mutex);
    if (!e.player || e.player->clipIndex() == 0)
        return -1;
    return e.player->gotoClip(e.player->clipIndex() - 1) ? 1 : -1;
}
