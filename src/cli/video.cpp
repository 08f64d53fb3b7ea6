// kolvo-cli video: what the Digital Video Player makes of a film, through the engines its
// engine order gives, without a window. `video info FILE` prints the engine, the picture size,
// the frame rate, the length and the information text; `video frame FILE SECONDS OUT.bmp`
// captures the picture at SECONDS the way the player's Capture does and writes it as a BMP file.

#include "albums/mediakind.h"
#include "cli/commands.h"
#include "engines/outputchain.h"
#include "engines/session.h"
#include "platform/profile.h"
#include "platform/settings.h"
#include "platform/strings.h"
#include "ui/skinbitmap.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <regex>
#include <thread>

namespace {

constexpr int kOpenWaitMs = 15000;

// The film open on the video player's engines (instance 1), playing into no sound card.
struct Film
{
    AppSettings settings;
    std::unique_ptr<engines::Session> session;
    const engines::EngineFamily* family = nullptr;
    std::string why;
    int cookie = 0;

    bool open(const std::string& path)
    {
        Profile::SetRegistryKey(LoadString(1016));
        {
            const Profile profile;
            LoadSettingsFrom(profile, settings);
        }
        engines::setAudioSinkOverride("fakesink sync=true");
        engines::SessionContext context;
        context.settings = &settings;
        context.instance = 1;
        const engines::EngineOrder order =
            engines::engineOrder(AlbumKindVideo, MediaKindOf(AlbumKindVideo, path), settings);
        engines::OpenOutcome outcome = engines::openFirst(order, context, path, [this] {
            cookie = (cookie + 1) & 0xFFFF;
            return cookie;
        });
        family = outcome.family;
        session = std::move(outcome.session);
        if (!session) {
            why = outcome.why.empty() ? "no engine takes it" : outcome.why;
            return false;
        }
        for (int waited = 0; session->mode() == kModeOpening && waited < kOpenWaitMs; waited += 20)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (session->failed() || session->mode() == kModeOpening) {
            why = "the " + std::string(family->name) + " could not start it";
            return false;
        }
        return true;
    }
};

// "25 fps" in the information text, which is where the engines say it.
std::string frameRateOf(const std::string& info)
{
    std::smatch m;
    static const std::regex fps("([0-9]+(\\.[0-9]+)?) fps");
    return std::regex_search(info, m, fps) ? m[1].str() : std::string();
}

int runInfo(const std::string& path)
{
    Film film;
    if (!film.open(path))
        return cliFail("cannot open " + path + ": " + film.why);
    film.session->pause();
    RECT source;
    const bool pictures = film.session->sourceRect(source);
    const std::string info = film.session->infoText();
    std::printf("engine: %s\n", film.family->name);
    if (pictures)
        std::printf("size: %d x %d\n", source.right - source.left, source.bottom - source.top);
    else
        std::printf("size: no pictures\n");
    const std::string fps = frameRateOf(info);
    std::printf("frame rate: %s\n", fps.empty() ? "unknown" : (fps + " fps").c_str());
    std::printf("length: %d ms\ninfo: %s\n", film.session->lengthMs(), info.c_str());
    return kCliOk;
}

int runFrame(const std::string& path, const std::string& secondsText, const std::string& out)
{
    char* end = nullptr;
    const double seconds = std::strtod(secondsText.c_str(), &end);
    if (secondsText.empty() || *end != '\0' || !(seconds >= 0) || seconds > 24 * 3600)
        return cliUsage("SECONDS must be a number of seconds from 0");
    const int ms = static_cast<int>(seconds * 1000 + 0.5);
    Film film;
    if (!film.open(path))
        return cliFail("cannot open " + path + ": " + film.why);
    RECT source;
    if (!film.session->sourceRect(source))
        return cliFail(path + " has no pictures");
    const int length = film.session->lengthMs();
    if (length > 0 && ms >= length)
        return cliFail(secondsText + " s is past the end of " + path + " (" +
                       std::to_string(length) + " ms)");
    // As the player's Capture: held still, the picture taken, written as a BMP file. A film
    // that failed on the way holds a picture from before the seek, which is never written.
    film.session->pause();
    film.session->seek(ms, true);
    const std::vector<std::uint8_t> dib = film.session->capture();
    if (film.session->failed())
        return cliFail("no picture could be taken from " + path + ": the film failed");
    if (dib.empty())
        return cliFail("no picture could be taken from " + path);
    if (!CDib::SaveBmp(out, dib.data(), dib.size()))
        return cliFail("cannot write " + out);
    std::printf("%s: %d x %d at %d ms, from the %s\n", out.c_str(), source.right - source.left,
                source.bottom - source.top, ms, film.family->name);
    return kCliOk;
}

} // namespace

int runVideo(const CliArgs& args)
{
    if (args.size() == 2 && args[0] == "info")
        return runInfo(args[1]);
    if (args.size() == 4 && args[0] == "frame")
        return runFrame(args[1], args[2], args[3]);
    return cliUsage("video takes: info FILE | frame FILE SECONDS OUT.bmp");
}
