// The MPEG engine's reading of files (frame headers, VBR headers, ID3v1) and its information
// text; the .ram list reader; the small helpers the engines share.

#include "engines/enginesupport.h"
#include "engines/kraengine.h"
#include "engines/mci.h"
#include "engines/mpegaudio.h"
#include "engines/ramlist.h"
#include "engines/streamtext.h"
#include "enginetest.h"
#include "platform/text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

using namespace engines;

namespace {

std::string tag(const std::string& title, const std::string& artist, const std::string& album,
                const std::string& year, const std::string& comment, int track, int genre)
{
    std::string t = "TAG";
    const auto field = [&](const std::string& s, size_t n) {
        std::string f = s.substr(0, n);
        f.resize(n, '\0');
        t += f;
    };
    field(title, 30);
    field(artist, 30);
    field(album, 30);
    field(year, 4);
    if (track > 0) {
        field(comment, 28);
        t += '\0';
        t += static_cast<char>(track);
    } else {
        field(comment, 30);
    }
    t += static_cast<char>(genre);
    return t;
}

TEST(MpegHeader, ReadsVersionLayerRateAndFrameSize)
{
    // version layer kbps rate channel-mode frame-bytes samples-per-frame, or "none".
    const auto read = [](std::array<unsigned char, 4> bytes) {
        MpegFrameHeader h;
        if (!parseMpegFrameHeader(bytes.data(), h))
            return std::string("none");
        return std::to_string(h.version) + " " + std::to_string(h.layer) + " " +
               std::to_string(h.bitrateKbps) + " " + std::to_string(h.sampleRate) + " " +
               std::to_string(h.channelMode) + " " + std::to_string(h.frameBytes) + " " +
               std::to_string(h.samplesPerFrame);
    };
    // MPEG-1 Layer 3, 128 kbps, 44.1 kHz, joint stereo.
    EXPECT_EQ(read({0xFF, 0xFB, 0x90, 0x44}), "1 3 128 44100 1 417 1152");
    // MPEG-2 Layer 3, 64 kbps, 22.05 kHz, mono, padded: 72 * 64000 / 22050 + 1.
    EXPECT_EQ(read({0xFF, 0xF3, 0x82, 0xC0}), "2 3 64 22050 3 209 576");
    // MPEG-2.5 Layer 3 at 8 kHz; MPEG-1 Layer 2 at 384 kbps; Layer 1 frames count in words:
    // (12 * 32000 / 44100) * 4.
    EXPECT_EQ(read({0xFF, 0xE3, 0x18, 0x00}), "3 3 8 8000 0 72 576");
    EXPECT_EQ(read({0xFF, 0xFD, 0xE4, 0x00}), "1 2 384 48000 0 1152 1152");
    EXPECT_EQ(read({0xFF, 0xFF, 0x10, 0x00}), "1 1 32 44100 0 32 384");
    // Not headers: no sync, reserved version, reserved layer, free or bad bit rate, bad rate.
    for (const auto& bad : {std::array<unsigned char, 4>{0xFE, 0xFB, 0x90, 0x44},
                            {0xFF, 0xEB, 0x90, 0x44},
                            {0xFF, 0xF9, 0x90, 0x44},
                            {0xFF, 0xFB, 0x00, 0x44},
                            {0xFF, 0xFB, 0xF0, 0x44},
                            {0xFF, 0xFB, 0x9C, 0x44}})
        EXPECT_EQ(read(bad), "none");
}

TEST(MpegStream, NeedsTwoFramesInARowAndReadsTheVbrHeader)
{
    // Noise that happens to contain one sync word is not MPEG audio.
    std::string noise(4000, '\x55');
    noise[100] = '\xFF';
    noise[101] = '\xFB';
    noise[102] = '\x90';
    noise[103] = '\x44';
    EXPECT_FALSE(analyseMpegAudio(noise, 0, 4000, 0));

    // Two CBR frames after 10 bytes of junk: found at 10, length from the size.
    std::string cbr(10, 'j');
    for (int i = 0; i < 2; ++i) {
        std::string frame(417, '\0');
        frame[0] = '\xFF', frame[1] = '\xFB', frame[2] = '\x90', frame[3] = '\x44';
        cbr += frame;
    }
    const auto s = analyseMpegAudio(cbr, 0, 10 + 417 * 100, 0);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->audioStart, 10);
    EXPECT_FALSE(s->vbr);
    EXPECT_EQ(s->durationMs, 417 * 100 * 8 / 128);

    // A Xing header with 1000 frames: 1000 * 1152 / 44100 s, the average rate from the size.
    std::string vbr = cbr.substr(10);
    std::memcpy(&vbr[4 + 32], "Xing\0\0\0\x03\0\0\x03\xE8", 12);
    const auto v = analyseMpegAudio(vbr, 5000, 5000 + 1000 * 300 + 128, 128);
    ASSERT_TRUE(v);
    EXPECT_TRUE(v->vbr);
    EXPECT_EQ(v->frames, 1000);
    EXPECT_EQ(v->durationMs, 1000LL * 1152 * 1000 / 44100);
    EXPECT_EQ(v->averageKbps, static_cast<int>(1000LL * 300 * 8 / v->durationMs));
    // "Info" is lame's header of a constant rate file.
    std::memcpy(&vbr[4 + 32], "Info", 4);
    EXPECT_FALSE(analyseMpegAudio(vbr, 0, 1000 * 417, 0)->vbr);
}

TEST(MpegFile, RealFilesOfLameAndAnId3v2TagInFront)
{
    const std::string cbr = enginetest::toneFile("mp3", 2.0, 440);
    auto f = readMpegFile(cbr);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->stream.first.bitrateKbps, 192);
    EXPECT_NEAR(f->stream.durationMs, 2000, 60);

    const std::string vbrWav = enginetest::toneFile("wav", 2.0, 440);
    const std::string vbr = enginetest::fixtureDir() + "/vbr.mp3";
    ASSERT_TRUE(enginetest::sh("lame --quiet -V 2 '" + vbrWav + "' '" + vbr + "'"));
    f = readMpegFile(vbr);
    ASSERT_TRUE(f);
    EXPECT_TRUE(f->stream.vbr);
    EXPECT_NEAR(f->stream.durationMs, 2000, 60);

    // An ID3v2 tag of 3000 bytes in front and an ID3v1 tag behind.
    std::ifstream in(cbr, std::ios::binary);
    const std::string body((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string v2 = "ID3\x03";
    v2 += std::string("\0\0\0\0\x17\x38", 6); // 3000 as four 7-bit bytes: 23 * 128 + 56
    v2 += std::string(3000, '\0');
    const std::string tagged = enginetest::fixtureDir() + "/tagged.mp3";
    std::ofstream(tagged, std::ios::binary)
        << v2 << body << tag("Song", "Band", "Record", "1999", "fine", 3, 17);
    f = readMpegFile(tagged);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->stream.audioStart, 3010);
    ASSERT_TRUE(f->tag);
    EXPECT_EQ(f->tag->title, "Song");
    EXPECT_EQ(f->tag->track, 3);
    EXPECT_NEAR(f->stream.durationMs, 2000, 60);

    EXPECT_FALSE(readMpegFile(enginetest::fixtureDir() + "/absent.mp3"));
    const std::string empty = enginetest::fixtureDir() + "/empty.mp3";
    std::ofstream(empty).close();
    EXPECT_FALSE(readMpegFile(empty));
}

// Only MPEG audio is scanned for frames: PCM samples of any width can hold two headers one
// frame apart, and other containers are told by their first bytes. MPEG inside a WAVE
// (format 0x55, or 0x55 as the sub-format of an extensible one) is found in its data chunk.
TEST(MpegFile, PcmAndOtherContainersAreNotTakenForMpegAudio)
{
    using enginetest::WaveForm;
    struct Case
    {
        const char* name;
        WaveForm form;
        int bits;
    } cases[] = {{"pcm8.wav", WaveForm::Pcm, 8},
                 {"pcm24.wav", WaveForm::Pcm, 24},
                 {"float32.wav", WaveForm::Float, 32},
                 {"ext24.wav", WaveForm::ExtensiblePcm, 24}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = enginetest::waveWithFalseMpegSync(c.name, c.form, c.bits);
        std::ifstream in(path, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
        // The planted frames are what a scan over the whole file finds.
        ASSERT_TRUE(analyseMpegAudio(bytes.substr(0, 65536), 0, bytes.size(), 0));
        EXPECT_FALSE(findMpegPayload(bytes));
        EXPECT_FALSE(readMpegFile(path));
        // The same samples after the headers of other containers.
        for (const std::string& magic :
             {std::string("FORM\0\0\0\0AIFF", 12), std::string(".snd"), std::string("OggS"),
              std::string("fLaC"), std::string("MThd"), std::string("\0\0\0 ftypM4A ", 12)}) {
            EXPECT_FALSE(findMpegPayload(magic + bytes.substr(44))) << magic;
        }
    }

    // A WAVE of MPEG Layer 3 frames, plain and extensible.
    const std::string mp3 = enginetest::toneFile("mp3", 1.0, 440);
    std::ifstream in(mp3, std::ios::binary);
    const std::string frames((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
    const auto le = [](std::uint32_t v, int n) {
        std::string out;
        for (int i = 0; i < n; ++i)
            out += static_cast<char>((v >> (8 * i)) & 0xFF);
        return out;
    };
    for (bool extensible : {false, true}) {
        SCOPED_TRACE(extensible);
        std::string fmt = le(extensible ? 0xFFFE : 0x55, 2) + le(2, 2) + le(44100, 4) +
                          le(24000, 4) + le(1, 2) + le(0, 2);
        if (extensible)
            fmt += le(22, 2) + le(0, 2) + le(3, 4) + le(0x55, 2) + std::string(14, '\x01');
        const std::string fact = "fact" + le(4, 4) + le(44100, 4);
        const std::string wave = "RIFF" + le(0, 4) + "WAVEfmt " + le(fmt.size(), 4) + fmt + fact +
                                 "data" + le(frames.size(), 4) + frames + "LIST" + le(4, 4) +
                                 "INFO";
        const auto payload = findMpegPayload(wave);
        ASSERT_TRUE(payload);
        EXPECT_EQ(payload->offset, static_cast<std::int64_t>(wave.size() - frames.size() - 12));
        EXPECT_EQ(payload->bytes, static_cast<std::int64_t>(frames.size()));
        const std::string path = enginetest::fixtureDir() + "/riffmp3.wav";
        std::ofstream(path, std::ios::binary) << wave;
        const auto file = readMpegFile(path);
        ASSERT_TRUE(file);
        EXPECT_EQ(file->stream.first.layer, 3);
        EXPECT_NEAR(file->stream.durationMs, 1000, 60);
    }
    // A plain stream of frames is one.
    EXPECT_TRUE(findMpegPayload(frames));
}

TEST(Id3v1, FieldsTrackGenreAndLegacyText)
{
    auto t = parseId3v1(tag("  Title  ", "Artist", "Album", "2001", "A comment", 0, 13));
    ASSERT_TRUE(t);
    EXPECT_EQ(t->title, "Title");
    EXPECT_EQ(t->comment, "A comment");
    EXPECT_EQ(t->track, 0);
    EXPECT_EQ(t->genre, 13);
    EXPECT_EQ(id3GenreName(13), "Pop");
    EXPECT_EQ(id3GenreName(255), "");
    EXPECT_FALSE(parseId3v1(std::string(128, 'x')));
    EXPECT_FALSE(parseId3v1("TAG"));

    // Bytes that are not UTF-8 are read in the legacy code page.
    text::setLegacyCodePage("CP1252");
    t = parseId3v1(tag("Caf\xE9", "", "", "", "", 0, 255));
    EXPECT_EQ(t->title, "Caf\xC3\xA9");
    EXPECT_EQ(t->genre, -1);
    text::setLegacyCodePage("");
}

TEST(MpegInformation, TheFlagsChooseWhatIsShown)
{
    MpegStreamInfo s;
    const unsigned char h[] = {0xFF, 0xFB, 0x90, 0x44};
    parseMpegFrameHeader(h, s.first);
    s.averageKbps = 128;
    Id3v1Tag t;
    t.title = "Song";
    t.artist = "Band";
    t.year = "1999";
    t.genre = 17;
    const int all[6] = {1, 1, 1, 1, 1, 1};
    EXPECT_EQ(mpegInformationText(&s, &t, true, all),
              "MPEG 1 Layer 3, 128 kbps, 44.1 kHz, Joint Stereo        Title : Song        "
              "Artist : Band        Year : 1999        Genre : Rock");
    const int titleOnly[6] = {1, 0, 0, 0, 0, 0};
    EXPECT_EQ(mpegInformationText(&s, &t, false, titleOnly), "Title : Song");
    EXPECT_EQ(mpegInformationText(&s, nullptr, true, all),
              "MPEG 1 Layer 3, 128 kbps, 44.1 kHz, Joint Stereo");
    s.vbr = true;
    s.averageKbps = 187;
    EXPECT_EQ(mpegInformationText(&s, nullptr, true, nullptr).substr(0, 30),
              "MPEG 1 Layer 3, VBR 187 kbps, ");
    EXPECT_EQ(kiloHertz(22050), "22.05 kHz");
    EXPECT_EQ(kiloHertz(8000), "8 kHz");
}

TEST(RamList, ClipsCommentsStopAndAddresses)
{
    const auto clips = parseRamList("# list\r\n  one.ra  \n\n/abs/two.rm\nfile:///x/three%20b.ra\n"
                                    "http://host/four.ra\nrtsp://host/five.rm\npnm://h/six.ra\n"
                                    "--stop--\nseven.ra\n",
                                    "/music");
    ASSERT_EQ(clips.size(), 4u);
    EXPECT_EQ(clips[0], "/music/one.ra");
    EXPECT_EQ(clips[1], "/abs/two.rm");
    EXPECT_EQ(clips[2], "/x/three b.ra");
    EXPECT_EQ(clips[3], "http://host/four.ra");
    EXPECT_TRUE(parseRamList("", "/").empty());

    // file: addresses name local paths only, and only with sound escapes.
    EXPECT_EQ(pathFromFileAddress("file://localhost/a/b%2Bc.ra"), "/a/b+c.ra");
    EXPECT_EQ(pathFromFileAddress("file:///a.ra?x=1"), "/a.ra");
    for (const char* bad : {"file://server/a.ra", "file:a.ra", "file:///a%2Fb.ra",
                            "file:///a%00.ra", "file:///a%4.ra", "file:///a%zz.ra", "file:///a%"})
        EXPECT_EQ(pathFromFileAddress(bad), "") << bad;
    EXPECT_EQ(parseRamList("file://server/x.ra\nfile:///y.ra\n", "/m"),
              std::vector<std::string>{"/y.ra"});
}

TEST(EngineSupport, NamesBuffersAndTexts)
{
    EXPECT_EQ(baseNameOf("/music/Best Song.mp3"), "Best Song");
    EXPECT_EQ(baseNameOf("http://radio.example/live/stream.mp3?id=7"), "stream");
    EXPECT_EQ(baseNameOf("http://radio.example"), "stream");
    EXPECT_EQ(baseNameOf("http://radio.example/a:b.mp3"), "a_b");

    const std::string dir = enginetest::fixtureDir() + "/names";
    enginetest::sh("mkdir -p '" + dir + "'");
    EXPECT_EQ(outputFileName(dir + "/", "x", ".wav", true), dir + "/x.wav");
    std::ofstream(dir + "/x.wav").close();
    EXPECT_EQ(outputFileName(dir, "x", ".wav", true), dir + "/x (2).wav");
    EXPECT_EQ(outputFileName(dir, "x", ".wav", false), dir + "/x.wav");

    char small[6];
    EXPECT_EQ(copyText(small, sizeof small, "abcdefgh"), 5);
    EXPECT_STREQ(small, "abcde");
    // A character is never cut in half: "aé" needs 3 bytes, so only "a" fits in 3.
    char three[3];
    EXPECT_EQ(copyText(three, sizeof three, "a\xC3\xA9"), 1);
    EXPECT_EQ(copyText(nullptr, 10, "x"), 0);
    EXPECT_EQ(copyText(small, 0, "x"), 0);

    char folder[256];
    std::memset(folder, 'z', sizeof folder); // no terminator: read no further than 256 bytes
    EXPECT_EQ(folderFromBuffer(folder).size(), 256u);
    folderToBuffer(folder, std::string(400, 'a'));
    EXPECT_EQ(std::strlen(folder), 255u);

    StreamInfo info;
    info.container = "WAV";
    info.codec = "Uncompressed 16-bit PCM audio";
    info.rate = 44100;
    info.bits = 16;
    info.channels = 1;
    info.bitrate = 705600;
    EXPECT_EQ(describeStream(info),
              "WAV, Uncompressed 16-bit PCM audio, 44.1 kHz, 16 bit, Mono, 706 kbps");
    EXPECT_EQ(channelsName(6), "6 channels");

    EXPECT_EQ(mciDeviceTypeForFile("/a/b.WAV"), MCI_DEVTYPE_WAVEFORM_AUDIO);
    EXPECT_EQ(mciDeviceTypeForFile("/a/b.mp3"), MCI_DEVTYPE_DIGITAL_VIDEO);
    EXPECT_EQ(mciDeviceTypeForFile("/a.b/c"), 0u);
    EXPECT_EQ(mciDeviceTypeForFile("/a/b.xyz"), 0u);
    char message[128];
    EXPECT_TRUE(mciGetErrorString(MCIERR_FILE_NOT_FOUND, message, sizeof message));
    EXPECT_FALSE(mciGetErrorString(12345, message, sizeof message));
}

} // namespace
