#include "engines/kmpengine.h"

#include "engines/engineapi.h"
#include "engines/enginesupport.h"
#include "engines/mediaplayer.h"
#include "engines/mpegaudio.h"
#include "platform/log.h"
#include "platform/paths.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <optional>

namespace {

using namespace engines;

// How long Play waits for a local file to be ready before it gives up.
constexpr int kOpenWaitMs = 10000;

struct MpegEngine
{
    std::mutex mutex;
    std::unique_ptr<MediaPlayer> player;
    Notifier notifier;
    bool stream = false;
    std::optional<MpegFile> file;
    std::string wavPath, streamPath;

    // Setup values, applied at the next Play (channel and scale at once as well).
    int channel = 0;
    int quality = 0;
    int outputType = 0;
    int bufferCount = 10;
    int priority = 1;
    int saveStream = 0;
    int decoder = 0;
    int agc = 0;
    int scale = 32768;

    void stopLocked()
    {
        // Destroying the playback waits until its last callback is over.
        player.reset();
        file.reset();
        stream = false;
    }
};

MpegEngine& engine()
{
    static MpegEngine e;
    return e;
}

// The folder from a designed 256-byte buffer, or the default one written back into it.
std::string resolveFolder(char* buffer)
{
    std::string folder = folderFromBuffer(buffer);
    if (folder.empty()) {
        folder = defaultOutputFolder();
        folderToBuffer(buffer, folder);
    }
    paths::ensureDir(folder);
    return folder;
}

} // namespace

std::int32_t KMPEngine_Play(HWND window, const char* path, int cookie, char* wavOutputDir,
                            int wavOutputAutomaticNaming, char* streamOutputDir)
{
    MpegEngine& e = engine();
    std::lock_guard lock(e.mutex);
    e.stopLocked();
    e.wavPath.clear();
    e.streamPath.clear();
    const std::string location = path ? path : "";
    if (location.empty())
        return kMpegNotFound;
    e.stream = isStreamAddress(location);
    if (!e.stream) {
        if (!fileReachable(location))
            return kMpegNotFound;
        e.file = readMpegFile(location);
        if (!e.file) {
            KLOG_INFO("engines", "not a file this player plays: no MPEG audio frames in %s",
                      location.c_str());
            return kMpegNotMpeg;
        }
    }

    MediaPlayer::Options options;
    options.role = ChainRole::DigitalAudio;
    options.output.outputType = std::clamp(e.outputType, 0, 2);
    options.output.bufferCount = e.bufferCount;
    options.output.quality = e.quality;
    options.output.channel = e.channel;
    options.output.agc = e.agc != 0;
    options.output.scaleValue = e.scale;
    options.decoder = e.decoder;
    options.priority = e.priority;
    if (options.output.outputType != 0) {
        e.wavPath = outputFileName(resolveFolder(wavOutputDir), baseNameOf(location), ".wav",
                                   wavOutputAutomaticNaming != 0);
        options.output.wavFile = e.wavPath;
    }
    if (e.stream) {
        options.captureHead = 16 * 1024;
        if (e.saveStream) {
            std::string base = baseNameOf(location);
            e.streamPath = outputFileName(resolveFolder(streamOutputDir), base, ".mp3", true);
            options.saveStreamTo = e.streamPath;
        }
    }

    e.notifier = Notifier(window, kNotifyMpeg, cookie);
    const Notifier notifier = e.notifier;
    MediaPlayer::Callbacks callbacks;
    callbacks.playing = [notifier](size_t) { notifier.post(kEventMode, kModePlaying); };
    callbacks.ended = [notifier] { notifier.post(kEventMode, kModeStopped); };
    callbacks.failed = [notifier, location](const std::string& why) {
        KLOG_WARNING("engines", "the MPEG engine failed on %s: %s", location.c_str(), why.c_str());
        notifier.post(kEventFailed, kMpegFailed);
    };
    e.player = std::make_unique<MediaPlayer>(std::move(options), std::move(callbacks));
    e.player->open({location}, 0, true);
    if (e.stream) {
        notifier.arm();
        return kResultMpegLater;
    }
    if (e.player->waitOpened(kOpenWaitMs) != MediaPlayer::OpenState::Opened) {
        KLOG_INFO("engines", "%s", e.player->error().c_str());
        e.stopLocked();
        return kMpegFailed;
    }
    notifier.arm();
    return 1;
}

std::int32_t KMPEngine_Stop()
{
    MpegEngine& e = engine();
    std::lock_guard lock(e.mutex);
    e.stopLocked();
    return 1;
}

std::int32_t KMPEngine_Pause()
{
    MpegEngine& e = engine();
    std::lock_guard lock(e.mutex);
    return e.player && e.player->pause() ? 1 : 0;
}

std::int32_t KMPEngine_Resume()
{
    MpegEngine& e = engine();
    std::lock_guard lock(e.mutex);
    return e.player && e.player->resume() ? 1 : 0;
}

std::int32_t KMPEngine_Seek(int ms)
{
    MpegEngine& e = engine();
    std::lock_guard lock(e.mutex);
    return e.player && e.player->seek(ms) ? 1 : 0;
}

std::int32_t KMPEngine_GetPosition()
{
    MpegEngine& e = engine();
    std::lock_guard lock(e.mutex);
    return e.player ? static_cast<std::int32_t>(e.player->positionMs()) : 0;
}

std::int32_t KMPEngine_GetLength()
{
    MpegEngine& e = engine();
    std::lock_guard lock(e.mutex);
    if (!e.player)
        return 0;
    std::int64_t length = e.player->lengthMs();
    if (length <= 0 && e.file)
        length = e.file->stream.durationMs;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(length, 0, INT32_MAX));
}

std::int32_t KMPEngine_GetMode()
{
    MpegEngine& e = engine();
    std::lock_guard lock(e.mutex);
    return e.player ? e.player->mode() : kModeStopped;
}

std::int32_t KMPEngine_IsOpen()
{
    MpegEngine& e = engine();
    std::lock_guard lock(e.mutex);
    return e.player && !e.player->isFailed() ? 1 : 0;
}

std::int32_t KMPEngine_GetFileInfo(char* buffer, int size, int viewFileInfo, const int* id3Flags)
{
    MpegEngine& e = engine();
    std::lock_guard lock(e.mutex);
    if (!e.player)
        return copyText(buffer, size, "");
    if (e.stream) {
        // A stream is described by its first frames, and by the station's tags if it has any.
        const std::string head = e.player->headBytes();
        const auto info = analyseMpegAudio(head, 0, -1, 0);
        std::string text =
            mpegInformationText(info ? &*info : nullptr, nullptr, viewFileInfo != 0, nullptr);
        const StreamInfo tags = e.player->info();
        if (!tags.title.empty() && id3Flags && id3Flags[Id3Title])
            text += (text.empty() ? "" : "        ") + std::string("Title : ") + tags.title;
        return copyText(buffer, size, text);
    }
    const auto& f = *e.file;
    return copyText(
        buffer, size,
        mpegInformationText(&f.stream, f.tag ? &*f.tag : nullptr, viewFileInfo != 0, id3Flags));
}

std::int32_t KMPEngine_GetSpectrum(std::int32_t* buffer, int flags)
{
    return roleSpectrum(ChainRole::DigitalAudio, buffer, flags) ? 1 : 0;
}

std::int32_t KMPEngine_SetChannel(int channel)
{
    MpegEngine& e = engine();
    std::lock_guard lock(e.mutex);
    e.channel = std::clamp(channel, 0, 3);
    if (e.player)
        e.player->setChannel(e.channel);
    return 1;
}

std::int32_t KMPEngine_SetQuality(int quality)
{
    MpegEngine& e = engine();
    std::lock_guard lock(e.mutex);
    e.quality = std::clamp(quality, 0, 2);
    return 1;
}

std::int32_t KMPEngine_SetOutputOptions(int outputType, int bufferCount, int priority,
                                        int saveStream)
{
    MpegEngine& e = engine();
    std::lock_guard lock(e.mutex);
    e.outputType = std::clamp(outputType, 0, 2);
    e.bufferCount = std::clamp(bufferCount, 2, 100);
    e.priority = std::clamp(priority, 0, 2);
    e.saveStream = saveStream ? 1 : 0;
    return 1;
}

std::int32_t KMPEngine_SetEngine(int engineChoice)
{
    MpegEngine& e = engine();
    std::lock_guard lock(e.mutex);
    e.decoder = engineChoice == 1 ? 1 : 0;
    return 1;
}

std::int32_t KMPEngine_SetScale(int agc, int value)
{
    MpegEngine& e = engine();
    std::lock_guard lock(e.mutex);
    e.agc = agc ? 1 : 0;
    e.scale = std::clamp(value, 0, 131072);
    if (e.player)
        e.player->setScale(e.agc != 0, e.scale);
    return 1;
}

std::int32_t KMPEngine_SetEffect(int reverb, int reverbMode, int reverbDepth, int chorus,
                                 int chorusDepth, int wide, int wideDepth, int fx, int fxMode)
{
    setCurrentEffects(
        {reverb, reverbMode, reverbDepth, chorus, chorusDepth, wide, wideDepth, fx, fxMode});
    return 1;
}

std::int32_t KMPEngine_SetEqualizer(const int* bands)
{
    if (!bands)
        return 0;
    EqualizerCurve curve{};
    std::copy(bands, bands + kEqualizerBands, curve.begin());
    setCurrentEqualizer(curve);
    return 1;
}

namespace engines {

std::chrono::steady_clock::time_point mpegFirstBufferAt()
{
    MpegEngine& e = engine();
    std::lock_guard lock(e.mutex);
    return e.player ? e.player->firstBufferAt() : std::chrono::steady_clock::time_point{};
}

bool mpegChainHasReverb()
{
    MpegEngine& e = engine();
    std::lock_guard lock(e.mutex);
    return e.player && e.player->hasReverb();
}

bool mpegChainHasPitch()
{
    MpegEngine& e = engine();
    std::lock_guard lock(e.mutex);
    return e.player && e.player->hasPitch();
}

std::string mpegDecoderName()
{
    MpegEngine& e = engine();
    std::lock_guard lock(e.mutex);
    return e.player ? e.player->decoderName() : std::string();
}

int mpegSinkBufferMs()
{
    MpegEngine& e = engine();
    std::lock_guard lock(e.mutex);
    return e.player ? static_cast<int>(e.player->sinkBufferUs() / 1000) : 0;
}

std::string mpegWavOutputPath()
{
    MpegEngine& e = engine();
    std::lock_guard lock(e.mutex);
    return e.wavPath;
}

std::string mpegStreamCopyPath()
{
    MpegEngine& e = engine();
    std::lock_guard lock(e.mutex);
    return e.streamPath;
}

} // namespace engines
