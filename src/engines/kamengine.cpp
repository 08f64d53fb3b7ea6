#include "engines/kamengine.h"

#include "engines/engineapi.h"
#include "engines/enginesupport.h"
#include "engines/mediaplayer.h"
#include "engines/mpegaudio.h"
#include "engines/outputconfig.h"
#include "engines/streamtext.h"
#include "engines/videoengine.h"
#include "platform/log.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>

namespace {

using namespace engines;

constexpr int kInstances = 3;
constexpr int kOpenWaitMs = 10000;
constexpr int kPictureWaitMs = 2000;

struct Instance
{
    std::string location;
    std::unique_ptr<MediaPlayer> player;
    Notifier notifier;
    // The frame scan of an MPEG audio file, made when the information text is first asked for.
    std::optional<MpegFile> mpeg;
    bool mpegRead = false;
    HWND window = 0;
};

struct AmEngine
{
    std::mutex mutex;
    std::array<Instance, kInstances> instances;
};

AmEngine& engine()
{
    static AmEngine e;
    return e;
}

ChainRole roleOf(int inst)
{
    return inst == 1 ? ChainRole::Video : inst == 2 ? ChainRole::Midi : ChainRole::DigitalAudio;
}

// Runs `op` on the open playback of an instance; 0 for a bad instance or nothing open.
template <typename Op>
std::int32_t withPlayer(int inst, Op op)
{
    if (inst < 0 || inst >= kInstances)
        return 0;
    AmEngine& e = engine();
    std::lock_guard lock(e.mutex);
    Instance& in = e.instances[inst];
    if (!in.player)
        return 0;
    return op(in);
}

// The frame scan of the instance's file, read once. The frame scan describes MPEG audio best
// (Layer, channel mode, the VBR average); it runs only over what GStreamer typed as MPEG audio
// and whose bytes hold it plainly or in a WAVE of format 0x50/0x55, since the samples of other
// files can look like frames.
const MpegFile* mpegOf(Instance& in, const StreamInfo& info)
{
    // A film's MPEG sound is not an MPEG audio file.
    if (!info.mpegAudio || isStreamAddress(in.location) || in.player->hasVideo())
        return nullptr;
    if (!in.mpegRead) {
        in.mpeg = readMpegFile(in.location);
        in.mpegRead = true;
    }
    return in.mpeg ? &*in.mpeg : nullptr;
}

} // namespace

std::int32_t KAMEngine_Open(int inst, HWND window, const char* path, int cookie, int* result,
                            int fullScreen)
{
    if (result)
        *result = 0;
    if (inst < 0 || inst >= kInstances)
        return kAmBadInstance;
    AmEngine& e = engine();
    std::lock_guard lock(e.mutex);
    Instance& in = e.instances[inst];
    in.player.reset();
    in.mpeg.reset();
    in.mpegRead = false;
    const std::string location = path ? path : "";
    in.location = location;
    const bool stream = isStreamAddress(location);
    if (!stream && !isVcdAddress(location) && !fileReachable(location))
        return kAmNotFound;
    // The video player's instance shows pictures.
    const bool video = inst == 1;

    MediaPlayer::Options options = video ? videoOptions(window) : MediaPlayer::Options();
    options.role = roleOf(inst);
    options.output.bufferCount = std::max(2, outputBufferMs() / 20);
    in.window = window;
    in.notifier = Notifier(window, kNotifyDirectShow, cookie);
    const Notifier notifier = in.notifier;
    MediaPlayer::Callbacks callbacks;
    if (stream)
        callbacks.opened = [notifier] { notifier.post(kEventMode, kModeOpening); };
    callbacks.ended = [notifier] { notifier.post(kEventMode, kModeStopped); };
    callbacks.failed = [notifier, location](const std::string& why) {
        KLOG_WARNING("engines", "the general engine failed on %s: %s", location.c_str(),
                     why.c_str());
        notifier.post(kEventFailed, kAmFailed);
    };
    in.player = std::make_unique<MediaPlayer>(std::move(options), std::move(callbacks));
    in.player->open({location}, 0, false);
    if (stream) {
        notifier.arm();
        return kResultAmLater;
    }
    if (in.player->waitOpened(kOpenWaitMs) != MediaPlayer::OpenState::Opened) {
        KLOG_INFO("engines", "%s", in.player->error().c_str());
        in.player.reset();
        return kAmFailed;
    }
    notifier.arm();
    if (result)
        *result = in.player->hasVideo() ? 1 : 0;
    if (video && fullScreen == 3)
        showSurfaceFullScreen(window, true);
    return 1;
}

std::int32_t KAMEngine_Play(int inst)
{
    return withPlayer(inst, [](Instance& in) { return in.player->play() ? 1 : 0; });
}

std::int32_t KAMEngine_Stop(int inst)
{
    return withPlayer(inst, [](Instance& in) { return in.player->stopAtStart() ? 1 : 0; });
}

std::int32_t KAMEngine_StopTemp(int inst)
{
    return withPlayer(inst, [](Instance& in) { return in.player->pause() ? 1 : 0; });
}

std::int32_t KAMEngine_Pause(int inst)
{
    return withPlayer(inst, [](Instance& in) { return in.player->pause() ? 1 : 0; });
}

std::int32_t KAMEngine_Resume(int inst)
{
    return withPlayer(inst, [](Instance& in) { return in.player->resume() ? 1 : 0; });
}

std::int32_t KAMEngine_Close(int inst)
{
    if (inst < 0 || inst >= kInstances)
        return 0;
    AmEngine& e = engine();
    std::lock_guard lock(e.mutex);
    e.instances[inst].player.reset();
    e.instances[inst].mpeg.reset();
    return 1;
}

std::int32_t KAMEngine_IsOpen(int inst)
{
    return withPlayer(inst, [](Instance& in) { return in.player->isFailed() ? 0 : 1; });
}

std::int32_t KAMEngine_Seek(int inst, int ms)
{
    return withPlayer(inst, [ms](Instance& in) {
        const int mode = in.player->mode();
        if (!in.player->seek(ms))
            return 0;
        // A film held still has its new picture before the call returns, so that what is
        // captured next is the picture of the new place.
        if (in.player->hasVideo() && (mode == kModePaused || mode == kModeStopped))
            in.player->waitFrame(kPictureWaitMs);
        return 1;
    });
}

std::int32_t KAMEngine_GetPosition(int inst)
{
    return withPlayer(
        inst, [](Instance& in) { return static_cast<std::int32_t>(in.player->positionMs()); });
}

std::int32_t KAMEngine_GetLength(int inst)
{
    return withPlayer(inst, [](Instance& in) {
        std::int64_t ms = in.player->lengthMs();
        // GStreamer does not time MPEG audio inside a WAVE; its frames do.
        if (ms <= 0)
            if (const MpegFile* mpeg = mpegOf(in, in.player->info()))
                ms = mpeg->stream.durationMs;
        return static_cast<std::int32_t>(std::clamp<std::int64_t>(ms, 0, INT32_MAX));
    });
}

std::int32_t KAMEngine_GetMode(int inst)
{
    if (inst < 0 || inst >= kInstances)
        return kModeNotReady;
    const std::int32_t mode = withPlayer(inst, [](Instance& in) { return in.player->mode(); });
    return mode ? mode : kModeStopped;
}

std::int32_t KAMEngine_GetFileInfo(int inst, char* buffer, int size)
{
    return withPlayer(inst, [&](Instance& in) {
        if (in.player->hasVideo())
            return copyText(buffer, size, videoInformationText(*in.player, in.location));
        StreamInfo info = in.player->info();
        if (const MpegFile* mpeg = mpegOf(in, info))
            return copyText(buffer, size,
                            mpegInformationText(&mpeg->stream, nullptr, true, nullptr));
        // A compressed file whose stream names no bit rate (FLAC, most Vorbis): its size over
        // its length, rather than nothing or the decoded PCM's rate.
        if (info.bitrate <= 0 && isPcmStream(info))
            info.bitrate = info.rate * info.channels * info.bits;
        if (info.bitrate <= 0 && !isPcmStream(info)) {
            std::error_code error;
            const auto bytes = std::filesystem::file_size(in.location, error);
            const std::int64_t ms = in.player->lengthMs();
            if (!error && ms > 0)
                info.bitrate = static_cast<int>(static_cast<std::int64_t>(bytes) * 8000 / ms);
        }
        return copyText(buffer, size, describeStream(info));
    });
}

std::int32_t KAMEngine_SetEffect(int inst, int reverb, int reverbMode, int reverbDepth, int chorus,
                                 int chorusDepth, int wide, int wideDepth, int fx, int fxMode)
{
    if (inst < 0 || inst >= kInstances)
        return 0;
    setCurrentEffects(
        {reverb, reverbMode, reverbDepth, chorus, chorusDepth, wide, wideDepth, fx, fxMode});
    return 1;
}

std::int32_t KAMEngine_SetSpeed(int inst, int speed)
{
    return withPlayer(inst,
                      [speed](Instance& in) { return in.player->setRate(speed / 1000.0) ? 1 : 0; });
}

std::int32_t KAMEngine_Config(int inst, HWND window)
{
    if (inst < 0 || inst >= kInstances)
        return 0;
    return runOutputConfigDialog(window) ? 1 : 0;
}

std::int32_t KAMEngine_GetSourceRect(int inst, RECT* rect)
{
    return withPlayer(inst,
                      [rect](Instance& in) { return videoSourceRect(*in.player, rect) ? 1 : 0; });
}

std::int32_t KAMEngine_SetMovieRect(int inst, const RECT* rect)
{
    return withPlayer(inst, [rect](Instance& in) {
        return rect && setSurfaceMovieRect(in.window, *rect) ? 1 : 0;
    });
}

std::int32_t KAMEngine_ShowFullScreen(int inst, int on)
{
    HWND window = 0;
    if (withPlayer(inst, [&window](Instance& in) {
            window = in.window;
            return 1;
        }) == 0)
        return 0;
    // Outside the engine's lock: the window repaints and may ask the engine again.
    return showSurfaceFullScreen(window, on != 0) ? 1 : 0;
}

std::int32_t KAMEngine_Step(int inst, int frames, int backward)
{
    return withPlayer(inst, [frames, backward](Instance& in) {
        return stepVideo(*in.player, frames, backward != 0) ? 1 : 0;
    });
}

std::vector<std::uint8_t> KAMEngine_Capture(int inst)
{
    std::vector<std::uint8_t> dib;
    withPlayer(inst, [&dib](Instance& in) {
        dib = captureVideo(*in.player);
        return 1;
    });
    return dib;
}
