// Bad input never hangs or crashes an engine: truncated, lying and non-sound files, silent http
// servers and a few hundred mutated files end in a clear failure or a normal end in time.

#include "engines/engineapi.h"
#include "engines/kamengine.h"
#include "engines/kmpengine.h"
#include "engines/kraengine.h"
#include "engines/mcidevice.h"
#include "engines/mediaplayer.h"
#include "engines/outputchain.h"
#include "enginetest.h"
#include "support/testhome.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <arpa/inet.h>
#include <fstream>
#include <netinet/in.h>
#include <random>
#include <sys/socket.h>
#include <unistd.h>

using namespace enginetest;

namespace {

enum class Outcome { Refused, Failed, Ended, Hung };

const char* name(Outcome o)
{
    return std::array{"refused", "failed", "ended", "hung"}[static_cast<size_t>(o)];
}

class Robustness : public ::testing::Test
{
protected:
    void SetUp() override { engines::setAudioSinkOverride("fakesink sync=false"); }
    void TearDown() override
    {
        KMPEngine_Stop();
        KRAEngine_Stop();
        KAMEngine_Close(0);
        engines::setAudioSinkOverride("");
    }

    // Plays a file with the engine its extension calls for and says how it ended.
    Outcome play(const std::string& path, int limitMs = 5000)
    {
        const int cookie = ++m_cookie;
        const std::string ext = path.substr(path.find_last_of('.') + 1);
        UINT message;
        std::int32_t r;
        if (ext == "mp3") {
            char wav[256] = "", stream[256] = "";
            message = 0x7DE;
            r = KMPEngine_Play(window.handle(), path.c_str(), cookie, wav, 0, stream);
        } else if (ext == "ra" || ext == "rm" || ext == "ram") {
            message = 0x7D4;
            r = KRAEngine_Play(window.handle(), path.c_str(), cookie);
        } else {
            message = 0x7AC;
            r = KAMEngine_Open(0, window.handle(), path.c_str(), cookie, nullptr, 0);
            if (r == 1)
                r = KAMEngine_Play(0);
        }
        if (r <= 0)
            return Outcome::Refused;
        const bool done = pumpUntil(
            [&] {
                return window.hasEvent(message, cookie, 2) || window.has(message, cookie, 1, 525);
            },
            limitMs);
        Outcome outcome = !done                                 ? Outcome::Hung
                          : window.hasEvent(message, cookie, 2) ? Outcome::Failed
                                                                : Outcome::Ended;
        // Stopping must not hang either, whatever state the playback is in.
        QElapsedTimer t;
        t.start();
        KMPEngine_Stop();
        KRAEngine_Stop();
        KAMEngine_Close(0);
        EXPECT_LT(t.elapsed(), 2000) << "stopping " << path;
        return outcome;
    }

    std::string write(const std::string& file, const std::string& bytes)
    {
        const std::string path = fixtureDir() + "/" + file;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    // Refused at once or failed by notification: either way a clear failure.
    void expectFailure(const std::string& path)
    {
        const Outcome o = play(path);
        EXPECT_TRUE(o == Outcome::Refused || o == Outcome::Failed) << path << ": " << name(o);
    }

    static std::string wavHeader(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits,
                                 std::uint32_t dataBytes)
    {
        std::string h;
        const auto le = [&](std::uint32_t v, int bytes) {
            for (int i = 0; i < bytes; ++i)
                h += static_cast<char>((v >> (8 * i)) & 0xFF);
        };
        const std::uint32_t align = channels * bits / 8u;
        h += "RIFF";
        le(36 + dataBytes, 4);
        h += "WAVEfmt ";
        for (const auto& [value, bytes] : {std::pair{16u, 4},
                                           {1u, 2},
                                           {std::uint32_t(channels), 2},
                                           {rate, 4},
                                           {rate * align, 4},
                                           {align, 2},
                                           {std::uint32_t(bits), 2}})
            le(value, bytes);
        h += "data";
        le(dataBytes, 4);
        return h;
    }

    NoteWindow window;
    int m_cookie = 0;
};

TEST_F(Robustness, TruncatedFilesPlayWhatTheyHoldAndEnd)
{
    // Cut in the middle of a frame: what is there plays to a normal end.
    for (const char* kind : {"mp3", "mp2", "aiff", "au"}) {
        const std::string bytes = readFile(toneFile(kind, 2.0, 440));
        ASSERT_FALSE(bytes.empty()) << kind;
        EXPECT_EQ(play(write(std::string("cut.") + kind, bytes.substr(0, bytes.size() / 2 + 33))),
                  Outcome::Ended)
            << kind;
    }
    const std::string mp3 = readFile(toneFile("mp3", 2.0, 440)),
                      wav = readFile(toneFile("wav", 1.0, 440));
    EXPECT_EQ(play(write("cut.wav", wav.substr(0, wav.size() / 3 + 1))), Outcome::Ended);

    // Only the header survives: there is nothing to hear, which is a failure.
    expectFailure(write("stub.mp3", mp3.substr(0, 300)));
    expectFailure(write("bare.wav", wav.substr(0, 44)));
}

TEST_F(Robustness, WaveFilesWithLyingHeaders)
{
    const std::string pcm(44100 * 4 / 2, '\x10'); // half a second of stereo 16-bit
    // A data size far beyond the file: what is there plays, then the playback ends.
    EXPECT_EQ(play(write("long-claim.wav", wavHeader(2, 44100, 16, 50000000) + pcm)),
              Outcome::Ended);
    // Formats that cannot be: no channels, no rate, odd bits, a header and nothing else.
    expectFailure(write("no-channels.wav", wavHeader(0, 44100, 16, 88200) + pcm));
    expectFailure(write("no-rate.wav", wavHeader(2, 0, 16, 88200) + pcm));
    expectFailure(write("odd-bits.wav", wavHeader(2, 44100, 13, 88200) + pcm));
    // A header that promises no sound at all: nothing to play is a failure.
    expectFailure(write("empty-data.wav", wavHeader(2, 44100, 16, 0)));
}

TEST_F(Robustness, FilesThatAreNotSoundAtAll)
{
    const std::string text = "This is a letter, not a song.\n" + std::string(3000, 'z');
    char wav[256] = "", stream[256] = "";
    EXPECT_EQ(KMPEngine_Play(window.handle(), write("letter.mp3", text).c_str(), 1, wav, 0, stream),
              kMpegNotMpeg);
    EXPECT_EQ(KMPEngine_IsOpen(), 0);
    EXPECT_EQ(KAMEngine_Open(0, window.handle(), write("letter.wav", text).c_str(), 1, nullptr, 0),
              kAmFailed);
    EXPECT_EQ(KAMEngine_Open(0, window.handle(), write("letter.aiff", text).c_str(), 1, nullptr, 0),
              kAmFailed);
    EXPECT_EQ(play(write("letter.ra", text)), Outcome::Failed);
    MciDevice device;
    EXPECT_EQ(device.openElement(write("letter2.wav", text).c_str()), kMciFailed);
    EXPECT_FALSE(device.isOpen());
    // An empty file and a file of zeros.
    EXPECT_EQ(KMPEngine_Play(window.handle(), write("empty.mp3", "").c_str(), 1, wav, 0, stream),
              kMpegNotMpeg);
    expectFailure(write("zeros.au", std::string(20000, '\0')));
}

TEST_F(Robustness, HttpAddressesThatDoNotAnswer)
{
    engines::MediaPlayer::setNetworkTimeout(2);
    // A server that takes the connection and never says a word.
    const int quiet = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(quiet, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(quiet, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(listen(quiet, 4), 0);
    socklen_t len = sizeof addr;
    getsockname(quiet, reinterpret_cast<sockaddr*>(&addr), &len);
    const int port = ntohs(addr.sin_port);

    char wav[256] = "", stream[256] = "";
    const std::string silent = "http://127.0.0.1:" + std::to_string(port) + "/radio.mp3";
    QElapsedTimer t;
    t.start();
    ASSERT_EQ(KMPEngine_Play(window.handle(), silent.c_str(), 7, wav, 0, stream), kResultMpegLater);
    EXPECT_LT(t.elapsed(), 1000) << "a stream opens later; Play does not wait";
    EXPECT_EQ(KMPEngine_GetMode(), kModeOpening);
    EXPECT_TRUE(pumpUntil([&] { return window.hasEvent(0x7DE, 7, 2); }, 8000));
    EXPECT_EQ(KMPEngine_GetMode(), kModeStopped);

    // Stopping while it waits returns at once and nothing comes later.
    ASSERT_EQ(KMPEngine_Play(window.handle(), silent.c_str(), 8, wav, 0, stream), kResultMpegLater);
    pump(200);
    t.restart();
    KMPEngine_Stop();
    EXPECT_LT(t.elapsed(), 1000);
    pump(2500);
    EXPECT_TRUE(window.of(8).empty());

    // Nobody listening at all.
    close(quiet);
    const int ds = KAMEngine_Open(0, window.handle(), silent.c_str(), 9, nullptr, 0);
    EXPECT_EQ(ds, kResultAmLater);
    EXPECT_TRUE(pumpUntil([&] { return window.hasEvent(0x7AC, 9, 2); }, 8000));
    EXPECT_EQ(KRAEngine_Play(window.handle(), "http://127.0.0.1:9/clip.ra", 10), 1);
    EXPECT_TRUE(pumpUntil([&] { return window.hasEvent(0x7D4, 10, 2); }, 8000));
    engines::MediaPlayer::setNetworkTimeout(10);
}

// Mutated files: bytes flipped, cut short, junk spliced in, headers overwritten. A fixed seed
// keeps every run the same.
TEST_F(Robustness, AFewHundredMutatedFilesUnderATimeLimit)
{
    std::vector<std::pair<std::string, std::string>> seeds;
    for (const char* kind : {"mp3", "wav", "aiff", "au", "ra"})
        seeds.emplace_back(kind, readFile(toneFile(kind, 0.3, 523)));
    for (const auto& [kind, bytes] : seeds)
        ASSERT_FALSE(bytes.empty()) << kind;

    std::mt19937 random(20240611);
    const auto pick = [&](size_t n) {
        return std::uniform_int_distribution<size_t>(0, n - 1)(random);
    };
    QElapsedTimer total;
    total.start();
    std::map<Outcome, int> outcomes;
    constexpr int kFiles = 300;
    for (int i = 0; i < kFiles; ++i) {
        const auto& [kind, seed] = seeds[static_cast<size_t>(i) % seeds.size()];
        std::string bytes = seed;
        switch (pick(4)) {
        case 0: // flip bytes, many of them in the first kilobyte where the headers are
            for (size_t n = 1 + pick(30); n-- > 0;)
                bytes[pick(2) ? pick(std::min<size_t>(1024, bytes.size())) : pick(bytes.size())] ^=
                    static_cast<char>(1 + pick(255));
            break;
        case 1: // cut short
            bytes.resize(pick(bytes.size()));
            break;
        case 2: { // splice junk in
            std::string junk(1 + pick(4000), '\0');
            for (char& c : junk)
                c = static_cast<char>(pick(256));
            bytes.insert(pick(bytes.size()), junk);
            break;
        }
        default: // overwrite the start with noise
            for (size_t n = 0; n < std::min<size_t>(bytes.size(), 16 + pick(200)); ++n)
                bytes[n] = static_cast<char>(pick(256));
            break;
        }
        const std::string path = write("mutant-" + std::to_string(i) + "." + kind, bytes);
        const Outcome o = play(path, 8000);
        ++outcomes[o];
        EXPECT_NE(o, Outcome::Hung) << path;
        if (o != Outcome::Hung)
            std::remove(path.c_str());
        else if (const char* keep = std::getenv("KOLVO_KEEP_RECORDINGS"))
            sh("cp '" + path + "' '" + keep + "/'");
    }
    std::printf("mutated files: %d refused, %d failed, %d ended, %d hung in %.1f s\n",
                outcomes[Outcome::Refused], outcomes[Outcome::Failed], outcomes[Outcome::Ended],
                outcomes[Outcome::Hung], total.elapsed() / 1000.0);
    EXPECT_LT(total.elapsed(), 150000);
    // The mutations must really have hurt: not everything can have simply played.
    EXPECT_GT(outcomes[Outcome::Refused] + outcomes[Outcome::Failed], kFiles / 10);
}

} // namespace

// A seek that breaks the pipeline (GStreamer 1.22's MPEG video parser does so now and then in an
// elementary stream) is made again on a new one: a film held still shows the picture of the new
// place, one playing plays on from there, and the caller hears of neither a failure nor a second
// opening; a seek that breaks every new pipeline too fails the film, once.
TEST_F(Robustness, ASeekThatBreaksThePipelineIsMadeAgainOnANewOne)
{
    const std::string film = fixtureDir() + "/seek.m1v";
    ASSERT_TRUE(sh("ffmpeg -v error -y -f lavfi -i testsrc=size=176x144:rate=25:duration=2 "
                   "-c:v mpeg1video -f mpeg1video '" +
                   film + "'"));
    std::atomic<int> breaks{0}, opened{0}, playing{0}, ended{0}, failed{0};
    engines::MediaPlayer::Options options;
    options.video = true;
    options.seekMade = [&](GstElement* pipeline) {
        if (breaks.fetch_sub(1) <= 0)
            return;
        GError* error = g_error_new_literal(GST_STREAM_ERROR, GST_STREAM_ERROR_FAILED,
                                            "Internal data stream error.");
        gst_element_post_message(pipeline,
                                 gst_message_new_error(GST_OBJECT(pipeline), error, nullptr));
        g_error_free(error);
    };
    engines::MediaPlayer::Callbacks callbacks;
    callbacks.opened = [&] { ++opened; };
    callbacks.playing = [&](size_t) { ++playing; };
    callbacks.ended = [&] { ++ended; };
    callbacks.failed = [&](const std::string&) { ++failed; };
    engines::MediaPlayer player(options, callbacks);
    player.open({film}, 0, false);
    ASSERT_EQ(player.waitOpened(4000), engines::MediaPlayer::OpenState::Opened);

    // Waits for the seek made again to have shown its picture, and looks at it.
    const auto expectPictureAt = [&](int ms) {
        ASSERT_TRUE(pumpUntil([&] { return breaks < 0; }, 8000)) << "the seek was not made again";
        EXPECT_TRUE(player.waitFrame(4000));
        const engines::FramePtr frame = player.currentFrame();
        ASSERT_TRUE(frame);
        EXPECT_NEAR(frame->streamTimeNs() / 1e6, ms, 40);
    };
    breaks = 1;
    ASSERT_TRUE(player.showAt(1240));
    expectPictureAt(1240);
    EXPECT_EQ(player.mode(), 525) << "opened and not started, as before the seek";
    EXPECT_NEAR(static_cast<double>(player.positionMs()), 1240, 40);
    // Three breaks in a row are still mended (a speed change seeks too).
    breaks = 3;
    ASSERT_TRUE(player.setRate(2.0));
    expectPictureAt(1240);

    ASSERT_TRUE(player.play());
    ASSERT_TRUE(pumpUntil([&] { return playing == 1; }, 4000));
    breaks = 1;
    ASSERT_TRUE(player.seek(400));
    EXPECT_TRUE(pumpUntil([&] { return ended == 1; }, 8000));
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(playing, 1);
    EXPECT_EQ(failed, 0);

    breaks = 4;
    ASSERT_TRUE(player.showAt(800));
    EXPECT_TRUE(pumpUntil([&] { return failed == 1; }, 8000));
    EXPECT_TRUE(player.isFailed());
    pump(300);
    EXPECT_EQ(failed, 1);
    EXPECT_EQ(ended, 1);
}
