// kolvo-cli play FILE...: plays files without a window through the same engines and output
// chain as the Digital Audio Player, with the effects given, and prints one line per state
// change and per second of position:
//   file 1/2: PATH (MPEG engine)
//   state opening|playing|paused|stopped|failed
//   length 3000 ms
//   position 1 s
// It ends when the last file has played, or at Ctrl-C. MIDI and karaoke files play as the MIDI
// Player plays them; --tempo PERCENT (10..500) and --key SEMITONES (-12..12) set what its Fast,
// Slow, Key High and Key Low would.

#include "cli/audiofile.h"
#include "cli/commands.h"
#include "cli/tempokey.h"
#include "engines/effects.h"
#include "engines/engineapi.h"
#include "engines/kamengine.h"
#include "engines/kmpengine.h"
#include "engines/outputchain.h"
#include "platform/profile.h"
#include "platform/settings.h"
#include "platform/strings.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <thread>

namespace {

std::atomic<bool> g_interrupted{false};

void onInterrupt(int)
{
    g_interrupted = true;
}

std::optional<int> number(const std::string& text, int lo, int hi)
{
    if (text.empty())
        return std::nullopt;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || v < lo || v > hi)
        return std::nullopt;
    return static_cast<int>(v);
}

// A name or number from a table.
std::optional<int> choice(const std::string& text, std::initializer_list<const char*> names)
{
    int i = 0;
    for (const char* n : names) {
        if (text == n)
            return i;
        ++i;
    }
    return number(text, 0, static_cast<int>(names.size()) - 1);
}

const char* stateName(int mode)
{
    switch (mode) {
    case kModeOpening:
        return "opening";
    case kModePlaying:
        return "playing";
    case kModePaused:
        return "paused";
    case kModeStopped:
        return "stopped";
    default:
        return "failed";
    }
}

void say(const char* format, auto... values)
{
    std::printf(format, values...);
    std::fflush(stdout);
}

} // namespace

int runPlayFiles(const CliArgs& args)
{
    engines::EffectSettings fx;
    std::optional<engines::EqualizerCurve> eq;
    std::vector<std::string> files;
    CliTempoKey tempoKey;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.rfind("--", 0) != 0) {
            files.push_back(a);
            continue;
        }
        if (i + 1 >= args.size())
            return cliUsage(a + " needs a value");
        const std::string v = args[++i];
        std::string bad;
        if (parseTempoKeyOption(a, v, tempoKey, bad)) {
            if (!bad.empty())
                return cliUsage(bad);
        } else if (a == "--reverb") {
            const size_t colon = v.find(':');
            const auto mode = choice(v.substr(0, colon), {"hall", "room", "stage", "stadium"});
            const auto depth = colon == std::string::npos ? std::optional<int>(16)
                                                          : number(v.substr(colon + 1), 0, 32);
            if (!mode || !depth)
                return cliUsage("--reverb takes MODE:DEPTH (hall, room, stage, stadium; 0..32)");
            fx.reverb = 1, fx.reverbMode = *mode, fx.reverbDepth = *depth;
        } else if (a == "--3d" || a == "--wide") {
            const auto depth = number(v, 0, 32);
            if (!depth)
                return cliUsage(a + " takes a depth 0..32");
            if (a == "--3d")
                fx.chorus = 1, fx.chorusDepth = *depth;
            else
                fx.wide = 1, fx.wideDepth = *depth;
        } else if (a == "--fx") {
            const auto mode =
                choice(v, {"flange", "inv-flange", "robot1", "robot2", "pitch+1", "pitch+2",
                           "pitch+4", "pitch-1", "pitch-2", "pitch-4", "dry"});
            if (!mode)
                return cliUsage("--fx takes flange, inv-flange, robot1, robot2, pitch+1, "
                                "pitch+2, pitch+4, pitch-1, pitch-2, pitch-4, dry or 0..10");
            fx.fx = 1, fx.fxMode = *mode;
        } else if (a == "--eq") {
            if (const auto preset =
                    choice(v, {"rock", "pop", "jazz", "classic", "vocal", "flat"})) {
                eq = engines::kEqualizerPresets[*preset];
            } else {
                engines::EqualizerCurve curve{};
                std::istringstream in(v);
                std::string item;
                int n = 0;
                while (std::getline(in, item, ',')) {
                    const auto db =
                        number(item, engines::kEqualizerMinDb, engines::kEqualizerMaxDb);
                    if (!db || n >= engines::kEqualizerBands)
                        return cliUsage(
                            "--eq takes a preset or 20 values -12..12, comma-separated");
                    curve[n++] = *db;
                }
                if (n != engines::kEqualizerBands)
                    return cliUsage("--eq takes a preset or 20 values -12..12, comma-separated");
                eq = curve;
            }
        } else if (a == "--sink") {
            if (v.empty())
                return cliUsage("--sink takes a GStreamer sink description");
            engines::setAudioSinkOverride(v);
        } else {
            return cliUsage("unknown play option " + a);
        }
    }
    if (files.empty())
        return cliUsage("play takes at least one FILE");

    Profile::SetRegistryKey(LoadString(1016));
    AppSettings settings;
    {
        const Profile profile;
        LoadSettingsFrom(profile, settings);
    }
    // Only the effects of the command line: the engines apply the record's at every open.
    settings.reverb = fx.reverb;
    settings.reverbMode = fx.reverbMode;
    settings.reverbDepth = fx.reverbDepth;
    settings.chorus = fx.chorus;
    settings.chorusDepth = fx.chorusDepth;
    settings.wide = fx.wide;
    settings.wideDepth = fx.wideDepth;
    settings.fx = fx.fx;
    settings.fxMode = fx.fxMode;
    if (eq)
        KMPEngine_SetEqualizer(eq->data());

    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
    int failed = 0;
    CliAudioFile file(settings);
    for (size_t n = 0; n < files.size() && !g_interrupted; ++n) {
        std::string why;
        if (!file.start(files[n], why)) {
            say("file %zu/%zu: %s\nstate failed\n", n + 1, files.size(), files[n].c_str());
            std::fprintf(stderr, "kolvo-cli: cannot play %s: %s\n", files[n].c_str(), why.c_str());
            ++failed;
            continue;
        }
        say("file %zu/%zu: %s (%s)\n", n + 1, files.size(), files[n].c_str(), file.engine()->name);
        if (std::string why; !applyTempoKey(*file.session(), tempoKey, why)) {
            std::fprintf(stderr, "kolvo-cli: %s; %s plays as it is\n", why.c_str(),
                         files[n].c_str());
        } else {
            if (tempoKey.tempoPercent != 100)
                say("tempo %d %%\n", tempoKey.tempoPercent);
            if (tempoKey.keySemitones != 0)
                say("key %+d\n", tempoKey.keySemitones);
        }
        int last = 0, second = -1;
        bool lengthShown = false;
        while (!g_interrupted) {
            const int mode = file.mode();
            if (mode != last) {
                // A short file can end between two looks, before it was ever seen playing.
                if (mode == kModeStopped && !lengthShown) {
                    say("length %d ms\n", file.lengthMs());
                    lengthShown = true;
                }
                say("state %s\n", stateName(mode));
                last = mode;
            }
            if (mode == kModePlaying) {
                if (!lengthShown) {
                    say("length %d ms\n", file.lengthMs());
                    lengthShown = true;
                }
                const int s = file.positionMs() / 1000;
                if (s != second) {
                    say("position %d s\n", s);
                    second = s;
                }
            }
            if (mode == -1) {
                ++failed;
                break;
            }
            // Once started, a file is stopped only when it has ended: an address that opens
            // later reports opening until then.
            if (mode == kModeStopped)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        file.stop();
    }
    if (g_interrupted) {
        file.stop();
        say("state stopped\ninterrupted\n");
        return kCliOk;
    }
    if (failed)
        return cliFail(std::to_string(failed) + " of " + std::to_string(files.size()) +
                       " files could not be played");
    return kCliOk;
}
