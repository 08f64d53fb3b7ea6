// kolvo-cli cd toc|play DRIVE: a disc through the same CD audio device the CD Player uses.
//
//   cd toc DRIVE            one line per track, then the lead-out, the media identity, the
//                           album key the CD Player files the disc under and the CDDB disc id:
//     track 1: frame 150, 2000 ms, audio
//     lead-out: frame 525
//     identity: 1911
//     album key: 777
//     disc id: 0b000502
//   cd play DRIVE [TRACK]   plays the disc (or one track) through the output chain, printing
//                           "track 2: 3000 ms", "state playing|paused|stopped|no disc" and
//                           "position 1 s" lines like kolvo-cli play; it ends at the end of
//                           the disc or the track, or at Ctrl-C.

#include "cddb/discid.h"
#include "cli/commands.h"
#include "engines/mcidevice.h"
#include "engines/outputchain.h"
#include "platform/log.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

std::atomic<bool> g_interrupted{false};

void onInterrupt(int)
{
    g_interrupted = true;
}

void say(const char* format, auto... values)
{
    std::printf(format, values...);
    std::fflush(stdout);
}

// The identity as the CD Player reads it: leading blanks and a sign, then the digits up to the
// first other character, accumulated in 32 bits (larger values wrap).
std::uint32_t identityNumber(const char* text)
{
    while (*text == ' ' || *text == '\t')
        ++text;
    bool negative = false;
    if (*text == '+' || *text == '-')
        negative = *text++ == '-';
    std::uint32_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text)
        value = value * 10 + static_cast<std::uint32_t>(*text - '0');
    return negative ? 0u - value : value;
}

std::int32_t framesOfMsf(long msf)
{
    const auto v = static_cast<std::uint32_t>(msf);
    return static_cast<std::int32_t>((v & 0xFF) * 4500 + (v >> 8 & 0xFF) * 75 + (v >> 16 & 0xFF));
}

// Opens the disc; the number of tracks, or 0 after printing why there is none.
int openDisc(MciDevice& device, const std::string& drive, int& failure)
{
    klog::clearLast("engines");
    if (device.openByType(MCI_DEVTYPE_CD_AUDIO, drive.c_str()) != 1) {
        const std::string why = klog::last("engines");
        failure =
            cliFail(why.empty() ? "cannot open " + drive + ": " + device.lastErrorText() : why);
        return 0;
    }
    if (device.status(MCI_STATUS_MODE) == static_cast<long>(MCI_MODE_OPEN)) {
        failure = cliFail("there is no disc in " + drive);
        return 0;
    }
    const long tracks = device.status(MCI_STATUS_NUMBER_OF_TRACKS);
    if (tracks <= 0) {
        failure = cliFail(drive + " holds no tracks");
        return 0;
    }
    return static_cast<int>(tracks);
}

int printToc(const std::string& drive)
{
    MciDevice device;
    int failure = kCliFailed;
    const int tracks = openDisc(device, drive, failure);
    if (tracks == 0)
        return failure;
    std::vector<std::int32_t> frames;
    std::vector<long> lengths;
    std::vector<bool> audio;
    device.setTimeFormat(MCI_FORMAT_MSF);
    for (int t = 1; t <= tracks; ++t) {
        frames.push_back(framesOfMsf(device.position(t)));
        audio.push_back(device.isAudioTrack(t));
    }
    const std::int32_t discFrames = framesOfMsf(device.length());
    device.setTimeFormat(MCI_FORMAT_MILLISECONDS);
    for (int t = 1; t <= tracks; ++t)
        lengths.push_back(device.length(t));
    char identity[80] = {};
    if (device.info(MCI_INFO_MEDIA_IDENTITY, identity, sizeof identity) != 1)
        return cliFail("cannot read the identity of " + drive);

    // The lead-out as the CD Player derives it: one frame after the disc's length.
    const std::int32_t leadOut = frames.front() + discFrames + 1;
    for (int t = 1; t <= tracks; ++t) {
        const auto i = static_cast<size_t>(t - 1);
        say("track %d: frame %d, %ld ms, %s\n", t, frames[i], lengths[i],
            audio[i] ? "audio" : "data");
    }
    CddbDiscInfo info;
    ComputeDiscId(CddbAlbumFromToc(frames, leadOut), info);
    say("lead-out: frame %d\nidentity: %s\nalbum key: %x\ndisc id: %s\n", leadOut, identity,
        identityNumber(identity), DiscIdText(info.discId).c_str());
    return kCliOk;
}

const char* stateName(long mode)
{
    switch (mode) {
    case MCI_MODE_PLAY:
        return "playing";
    case MCI_MODE_PAUSE:
        return "paused";
    case MCI_MODE_STOP:
        return "stopped";
    case MCI_MODE_OPEN:
        return "no disc";
    default:
        return "not ready";
    }
}

int playDisc(const std::string& drive, int track)
{
    MciDevice device;
    int failure = kCliFailed;
    const int tracks = openDisc(device, drive, failure);
    if (tracks == 0)
        return failure;
    if (track > tracks)
        return cliFail(drive + " has " + std::to_string(tracks) + " tracks");
    int first = track;
    if (track == 0) {
        first = 1;
        while (first <= tracks && !device.isAudioTrack(first))
            ++first;
        if (first > tracks)
            return cliFail(drive + " holds no audio tracks");
    } else if (!device.isAudioTrack(track)) {
        return cliFail("track " + std::to_string(track) + " of " + drive + " is not audio");
    }

    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
    device.setTimeFormat(MCI_FORMAT_TMSF);
    const long to = track != 0 && track < tracks ? track + 1 : -1;
    say("disc: %s, %d tracks\n", drive.c_str(), tracks);
    if (device.play(first, to) != 1)
        return cliFail("cannot play " + drive + ": " + device.lastErrorText());
    long lastMode = 0;
    int lastTrack = 0, second = -1;
    bool failed = false;
    while (!g_interrupted) {
        const long mode = device.status(MCI_STATUS_MODE);
        const long position = device.position();
        const int current = static_cast<int>(position & 0xFF);
        if (mode == MCI_MODE_PLAY && current != lastTrack && current > 0) {
            device.setTimeFormat(MCI_FORMAT_MILLISECONDS);
            say("track %d: %ld ms\n", current, device.length(current));
            device.setTimeFormat(MCI_FORMAT_TMSF);
            lastTrack = current;
            second = -1;
        }
        if (mode != lastMode) {
            say("state %s\n", stateName(mode));
            lastMode = mode;
        }
        if (mode == MCI_MODE_PLAY) {
            const int s = static_cast<int>((position >> 8 & 0xFF) * 60 + (position >> 16 & 0xFF));
            if (s != second) {
                say("position %d s\n", s);
                second = s;
            }
        }
        if (mode != MCI_MODE_PLAY && mode != MCI_MODE_PAUSE) {
            failed = mode != MCI_MODE_STOP;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (g_interrupted) {
        device.stop();
        say("state stopped\ninterrupted\n");
        return kCliOk;
    }
    return failed ? cliFail("the disc in " + drive + " could not be played to its end") : kCliOk;
}

} // namespace

int runCdDisc(const CliArgs& args)
{
    const bool toc = args[0] == "toc";
    std::vector<std::string> words;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--sink" && !toc) {
            if (i + 1 >= args.size() || args[i + 1].empty())
                return cliUsage("--sink takes a GStreamer sink description");
            engines::setAudioSinkOverride(args[++i]);
        } else if (args[i].rfind("--", 0) == 0) {
            return cliUsage("unknown cd option " + args[i]);
        } else {
            words.push_back(args[i]);
        }
    }
    if (toc) {
        if (words.size() != 1)
            return cliUsage("cd toc takes a DRIVE (a device, a disc image or a folder)");
        return printToc(words[0]);
    }
    if (words.empty() || words.size() > 2)
        return cliUsage("cd play takes a DRIVE and an optional TRACK");
    int track = 0;
    if (words.size() == 2) {
        char* end = nullptr;
        const long n = std::strtol(words[1].c_str(), &end, 10);
        if (*end != '\0' || n < 1 || n > 99)
            return cliUsage("a TRACK is a number from 1 to 99");
        track = static_cast<int>(n);
    }
    return playDisc(words[0], track);
}
