// Which engine families a player tries for a media kind, and trying them. The table is the
// one place the order is written: the players and kolvo-cli both read it, so a change here is
// a change everywhere and nowhere else.

#include "engines/engineapi.h"
#include "engines/session.h"
#include "platform/log.h"
#include "platform/settings.h"

#include <filesystem>

namespace engines {
namespace {

struct Route
{
    AlbumKind player;
    MediaKind kind;                   // MediaKindNone: any kind not listed before
    bool (*when)(const AppSettings&); // nullptr: always
    EngineOrder order;
};

bool internalMpeg(const AppSettings& s)
{
    return s.mpaUseInternal != 0;
}
bool generalMpeg(const AppSettings& s)
{
    return s.mpaUseInternal == 0;
}
bool generalWave(const AppSettings& s)
{
    return s.wavUseDirectShow != 0;
}
bool generalVideo(const AppSettings& s)
{
    return s.dgvUseDirectShow != 0;
}
bool internalMidi(const AppSettings& s)
{
    return s.midUseInternal != 0;
}

// The MCI device is the last resort of most kinds. An AU file the general engine refuses is
// not offered to it: the device's file driver decodes through the same GStreamer and would
// only fail a second time with a vaguer code; nor is the newer compressed audio, which only
// GStreamer decodes.
const Route kRoutes[] = {
    {AlbumKindAudio, MediaKindMpegAudio, internalMpeg, {&kMpegEngine, &kMciDevice}},
    {AlbumKindAudio, MediaKindMpegAudio, generalMpeg, {&kGeneralEngine, &kMciDevice}},
    {AlbumKindAudio, MediaKindRealAudio, nullptr, {&kRealAudioEngine, &kMciDevice}},
    {AlbumKindAudio, MediaKindAiff, nullptr, {&kGeneralEngine, &kMciDevice}},
    {AlbumKindAudio, MediaKindAu, nullptr, {&kGeneralEngine}},
    {AlbumKindAudio, MediaKindWave, generalWave, {&kGeneralEngine, &kMciDevice}},
    {AlbumKindAudio, MediaKindCompressedAudio, nullptr, {&kGeneralEngine}},
    {AlbumKindAudio, MediaKindNone, nullptr, {&kMciDevice}},
    // Films: RealVideo never goes to the general engine; QuickTime tries both QuickTime
    // engines after it; the MCI device's digital video ends every list.
    {AlbumKindVideo, MediaKindRealVideo, nullptr, {&kRealVideoEngine, &kMciDevice}},
    {AlbumKindVideo,
     MediaKindQuickTime,
     generalVideo,
     {&kGeneralEngine, &kQuickTime3Engine, &kQuickTimeEngine, &kMciDevice}},
    {AlbumKindVideo,
     MediaKindQuickTime,
     nullptr,
     {&kQuickTime3Engine, &kQuickTimeEngine, &kMciDevice}},
    {AlbumKindVideo, MediaKindNone, generalVideo, {&kGeneralEngine, &kMciDevice}},
    {AlbumKindVideo, MediaKindNone, nullptr, {&kMciDevice}},
    // The MIDI Player: IMS songs and modules on their engines, the media device when those
    // cannot play them.
    {AlbumKindMidi, MediaKindIms, nullptr, {&kImsEngine, &kMciDevice}},
    {AlbumKindMidi, MediaKindModule, nullptr, {&kModuleEngine, &kMciDevice}},
    // MIDI: the MIDI engine, then the MCI sequencer (over the same synthesizer). Karaoke files
    // always go to the engine first, which shows their words; plain MIDI files only while
    // "MIDUseInternal" is on.
    {AlbumKindMidi, MediaKindMidi, internalMidi, {&kMidiEngine, &kMciDevice}},
    {AlbumKindMidi, MediaKindMidi, nullptr, {&kMciDevice}},
    {AlbumKindMidi, MediaKindKaraoke, nullptr, {&kMidiEngine, &kMciDevice}},
};

} // namespace

EngineOrder engineOrder(AlbumKind player, MediaKind kind, const AppSettings& settings)
{
    for (const Route& route : kRoutes) {
        if (route.player != player || (route.kind != kind && route.kind != MediaKindNone))
            continue;
        if (!route.when || route.when(settings))
            return route.order;
    }
    return {};
}

const char* failureText(OpenFailure failure)
{
    switch (failure) {
    case OpenFailure::Missing:
        return "the file is missing";
    case OpenFailure::NotPlayable:
        return "not a file this player plays";
    case OpenFailure::Damaged:
        return "the file is damaged";
    case OpenFailure::SoundOutput:
        return "the sound output cannot be opened";
    default:
        return "";
    }
}

OpenFailure failureOf(const std::string& reason)
{
    for (OpenFailure f : {OpenFailure::SoundOutput, OpenFailure::Missing, OpenFailure::Damaged,
                          OpenFailure::NotPlayable}) {
        if (reason.find(failureText(f)) != std::string::npos)
            return f;
    }
    return OpenFailure::Other;
}

namespace {

constexpr const char* kNotAudio = "the file is not an audio file it can play";
constexpr const char* kNotFilm = "the file is not a film it can play"; // the video player's

// What a result means, in words. The MCI device's -9200 is any failure of its driver: the
// players retry another drive for it, but it says nothing about reaching the file.
std::string resultWords(std::int32_t result)
{
    if (IsFileNotReachable(result) && result != kMciFailed)
        return "the file cannot be reached";
    if (result == kAmFailed || result == kRaFailed || result == kMpegNotMpeg)
        return kNotAudio;
    if (result == kMpegFailed)
        return "the file could not be decoded or the sound output failed";
    if (result == kMciNoDevice)
        return "there is no device for the file";
    return "the file could not be played";
}

} // namespace

std::string describeResult(std::int32_t result)
{
    // People read these: the code only follows in brackets, for a bug report.
    return resultWords(result) + " (code " + std::to_string(result) + ")";
}

OpenOutcome openFirst(const EngineOrder& order, const SessionContext& context,
                      const std::string& path, const std::function<int()>& nextCookie)
{
    OpenOutcome outcome;
    std::string best;
    for (const EngineFamily* family : order) {
        KLOG_DEBUG("engines", "trying the %s on %s", family->name, path.c_str());
        outcome.family = family;
        std::unique_ptr<Session> session = family->make(context);
        klog::clearLast("engines");
        outcome.result = session->open(path, nextCookie());
        if (outcome.result > 0) {
            outcome.session = std::move(session);
            outcome.why.clear();
            outcome.failure = OpenFailure::None;
            return outcome;
        }
        // The engine may have said more than its code.
        const std::string reason = klog::last("engines");
        // Some families answer every failure with their "cannot be reached" code; for a file
        // that is there, that means they cannot play it.
        std::error_code error;
        const bool there = std::filesystem::is_regular_file(path, error);
        // The same codes serve the video player (instance 1), whose files are films.
        const bool film = context.instance == 1;
        std::string words = IsFileNotReachable(outcome.result) && there
                                ? std::string(kNotAudio)
                                : resultWords(outcome.result);
        if (film && words == kNotAudio)
            words = kNotFilm;
        std::string why = std::string("the ") + family->name + ": " + words + " (code " +
                          std::to_string(outcome.result) + ")";
        if (!reason.empty())
            why += ": " + reason;
        KLOG_INFO("engines", "the %s refused %s: %s", family->name, path.c_str(), why.c_str());
        OpenFailure failure = failureOf(reason);
        if (failure == OpenFailure::Other && IsFileNotReachable(outcome.result) &&
            outcome.result != kMciFailed)
            failure = OpenFailure::Missing;
        if (best.empty() || failure > outcome.failure) {
            best = why;
            outcome.failure = failure;
        }
    }
    // Whatever the engines said, a file that is not there is missing.
    const bool address = path.find("://") != std::string::npos;
    std::error_code ec;
    if (!order.empty() && !address && !std::filesystem::exists(path, ec)) {
        outcome.failure = OpenFailure::Missing;
        KLOG_INFO("engines", "%s: %s", path.c_str(), failureText(OpenFailure::Missing));
    }
    if (order.empty()) {
        outcome.failure = OpenFailure::NotPlayable;
        outcome.why = "no engine plays this kind of file";
    } else if (outcome.failure != OpenFailure::Other) {
        outcome.why = std::string(failureText(outcome.failure)) + "; " + best;
    } else {
        outcome.why = best;
    }
    return outcome;
}

} // namespace engines
