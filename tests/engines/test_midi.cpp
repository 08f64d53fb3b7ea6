// MIDI files without a sound card: the reader's timing and its answers to damaged files, the
// karaoke events a .kar of known timing gives, and rendering that ends where the song ends.

#include "engines/karaoke.h"
#include "engines/midisynth.h"
#include "engines/smf.h"
#include "enginetest.h"
#include "platform/text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

using namespace enginetest;

namespace {

// A file of our own bytes: header, then the tracks' bodies as given.
std::vector<std::uint8_t> smfBytes(int format, int division,
                                   const std::vector<std::vector<std::uint8_t>>& tracks)
{
    const auto bigEndian = [](std::vector<std::uint8_t>& v, size_t n, int bytes) {
        for (int i = bytes; i-- > 0;)
            v.push_back(static_cast<std::uint8_t>(n >> (8 * i)));
    };
    std::vector<std::uint8_t> out = {'M', 'T', 'h', 'd', 0, 0, 0, 6};
    for (size_t field : {size_t(format), tracks.size(), size_t(division)})
        bigEndian(out, field, 2);
    for (const auto& t : tracks) {
        out.insert(out.end(), {'M', 'T', 'r', 'k'});
        bigEndian(out, t.size(), 4);
        out.insert(out.end(), t.begin(), t.end());
    }
    return out;
}

midi::Song read(const std::vector<std::uint8_t>& bytes, bool expectOk = true)
{
    midi::Song song;
    std::string error;
    EXPECT_EQ(midi::readSong(bytes.data(), bytes.size(), song, error), expectOk) << error;
    return song;
}

midi::Song readMade(const std::string& name, const std::string& args)
{
    midi::Song song;
    std::string error;
    EXPECT_TRUE(midi::readSongFile(midiFile(name, args), song, error)) << name << ": " << error;
    return song;
}

bool warned(const midi::Song& song, const std::string& words)
{
    for (const std::string& w : song.warnings)
        if (w.find(words) != std::string::npos)
            return true;
    return false;
}

} // namespace

TEST(MidiReader, TempoChangesAndSmpteTimeGiveMilliseconds)
{
    // 480 ticks per quarter: a quarter at 120 BPM (0.5 s), then a tempo of 250000 us, so the
    // next quarter lasts 0.25 s.
    const auto song =
        read(smfBytes(0, 480, {{0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x00, 0x90, 60,
                                100,  0x83, 0x60, 0xFF, 0x51, 0x03, 0x03, 0xD0, 0x90, 0x83,
                                0x60, 0x80, 60,   0,    0x00, 0xFF, 0x2F, 0x00}}));
    ASSERT_EQ(song.events.size(), 2u);
    EXPECT_DOUBLE_EQ(song.events[0].ms, 0);
    EXPECT_NEAR(song.events[1].ms, 750, 1e-6);
    EXPECT_NEAR(song.lengthMs, 750, 1e-6);
    EXPECT_EQ(song.initialTempo, 500000);
    EXPECT_TRUE(song.warnings.empty());

    // 25 frames per second, 40 ticks a frame: a millisecond a tick whatever the tempo says.
    const auto smpte = read(smfBytes(
        0, (0xE7 << 8) | 40, {{0x00, 0xFF, 0x51, 0x03, 0x03, 0xD0, 0x90, 0x00, 0x90, 60,
                               100,  0x87, 0x68, 0x80, 60,   0,    0x00, 0xFF, 0x2F, 0x00}}));
    ASSERT_EQ(smpte.events.size(), 2u);
    EXPECT_NEAR(smpte.events[1].ms, 1000, 1e-6);
}

TEST(MidiReader, TracksMergeInTimeAndRmidWrapsAFile)
{
    const std::string path = midiFile("drums.mid", "drums --seconds 1");
    std::ifstream in(path, std::ios::binary);
    const std::vector<std::uint8_t> plain((std::istreambuf_iterator<char>(in)), {});
    const auto song = read(plain);
    EXPECT_EQ(song.format, 1);
    EXPECT_EQ(song.trackCount, 3);
    for (size_t i = 1; i < song.events.size(); ++i)
        ASSERT_LE(song.events[i - 1].ms, song.events[i].ms);
    bool drums = false;
    for (const auto& e : song.events)
        drums = drums || (e.status & 0x0F) == 9;
    EXPECT_TRUE(drums);

    // The same file inside RIFF "RMID" (.rmi), after a chunk of its own.
    std::vector<std::uint8_t> riff = {'R', 'I', 'F', 'F', 0, 0, 0, 0,   'R', 'M', 'I', 'D', 'L',
                                      'I', 'S', 'T', 2,   0, 0, 0, 'x', 'y', 'd', 'a', 't', 'a'};
    const std::uint32_t n = static_cast<std::uint32_t>(plain.size());
    riff.insert(riff.end(), {std::uint8_t(n), std::uint8_t(n >> 8), std::uint8_t(n >> 16),
                             std::uint8_t(n >> 24)});
    riff.insert(riff.end(), plain.begin(), plain.end());
    const auto wrapped = read(riff);
    EXPECT_EQ(wrapped.events.size(), song.events.size());
    EXPECT_DOUBLE_EQ(wrapped.lengthMs, song.lengthMs);
}

TEST(MidiReader, DamagedFilesPlayWhatTheyCanAndSayWhatWasWrong)
{
    midi::Song song;
    std::string error;
    // No header: refused with a reason.
    const std::string noHeader = midiFile("noheader.mid", "broken --kind no-header");
    EXPECT_FALSE(midi::readSongFile(noHeader, song, error));
    EXPECT_TRUE(contains(error, "MThd"));
    EXPECT_FALSE(midi::readSongFile(fixtureDir() + "/none.mid", song, error));

    // A track chunk that claims 2 GB: read as far as the file goes.
    song = readMade("beyond.mid", "broken --kind chunk-beyond");
    EXPECT_TRUE(warned(song, "claims")) << song.warnings.size();
    EXPECT_GT(song.events.size(), 0u);
    // Tracks without their end: they end at their last event.
    song = readMade("noend.mid", "broken --kind no-end");
    EXPECT_TRUE(warned(song, "no end event"));
    EXPECT_NEAR(song.lengthMs, 1000, 2);
    // Data bytes before any status: skipped, the note after them kept at its time.
    song = readMade("running.mid", "broken --kind running-status");
    EXPECT_TRUE(warned(song, "without a status byte"));
    ASSERT_EQ(song.events.size(), 2u);
    EXPECT_EQ(song.events[0].status, 0x90);
    EXPECT_EQ(song.events[0].data1, 69);
    EXPECT_NEAR(song.lengthMs, 1000, 2);
    // Cut in the middle: what is there is read, nothing more.
    EXPECT_FALSE(readMade("truncated.mid", "broken --kind truncated").warnings.empty());

    // A delta time of days: the song stops at four hours instead of playing silence for days.
    std::vector<std::uint8_t> track = {0x00, 0x90, 60, 100};
    for (int i = 0; i < 400; ++i)
        track.insert(track.end(), {0xFF, 0xFF, 0xFF, 0x7F, 0x80, 60, 0});
    track.insert(track.end(), {0x00, 0xFF, 0x2F, 0x00});
    const auto longSong = read(smfBytes(0, 1, {track}));
    EXPECT_DOUBLE_EQ(longSong.lengthMs, midi::kMaxSongMs);
    EXPECT_TRUE(warned(longSong, "four hours"));

    // A track that turns into bytes no MIDI file holds ends there.
    const auto garbage =
        read(smfBytes(0, 480, {{0x00, 0x90, 60, 100, 0x10, 0xF4, 1, 2, 3, 0x00, 0x80, 60, 0}}));
    EXPECT_EQ(garbage.events.size(), 1u);
    EXPECT_TRUE(warned(garbage, "not MIDI events"));

    // Time division 0 and an unknown format are refused.
    const auto zero = smfBytes(0, 0, {{0x00, 0xFF, 0x2F, 0x00}});
    EXPECT_FALSE(midi::readSong(zero.data(), zero.size(), song, error));
    const auto format3 = smfBytes(3, 480, {{0x00, 0xFF, 0x2F, 0x00}});
    EXPECT_FALSE(midi::readSong(format3.data(), format3.size(), song, error));
}

namespace {

std::string cueText(const midi::KaraokeScript& s)
{
    std::string out;
    for (const auto& cue : s.cues)
        out +=
            std::to_string(static_cast<long>(cue.ms + 0.5)) + " " + midi::describeCue(cue) + "\n";
    return out;
}

// The lines, a new page's in brackets.
std::string linesOf(const midi::KaraokeScript& s)
{
    std::string out;
    for (const auto& line : s.lines)
        out += line.newPage ? "[" + line.text + "] " : line.text + " ";
    return out;
}

} // namespace

TEST(Karaoke, AKarOfKnownTimingGivesItsLinesPagesAndHighlights)
{
    // Syllable k is sung at 1.0 + 0.5 k seconds.
    const midi::KaraokeScript s =
        midi::buildKaraoke(readMade("song.kar", "karaoke --title 'Evening Song' --text "
                                                "'\\Sun|ny e|ve/ning lights\\Good| night' "
                                                "--start 1.0 --step 0.5"));
    EXPECT_EQ(s.title, "Evening Song");
    EXPECT_EQ(linesOf(s), "[Sunny eve] ning lights [Good night] ");
    // The page comes up with its two lines (at most three seconds ahead), each syllable lights
    // at its time: the first of a line afresh (-1), the others up to their end (-2); the second
    // page comes after the first page's last syllable.
    EXPECT_EQ(cueText(s), "0 start \"Evening Song\"\n"
                          "0 line 1 new page \"Sunny eve\"\n"
                          "0 line 2 \"ning lights\"\n"
                          "1000 highlight 1 from 0 length 3\n"
                          "1500 highlight 1 to 7\n"
                          "2000 highlight 1 to 9\n"
                          "2500 highlight 2 from 0 length 11\n"
                          "2501 line 3 new page \"Good night\"\n"
                          "3000 highlight 3 from 0 length 4\n"
                          "3500 highlight 3 to 10\n");
    // The records are what the viewer reads: a line's text at its ninth byte.
    const auto& line = s.cues[1];
    EXPECT_EQ(line.code, 1);
    midi::KaraokeLineRecord header{};
    std::memcpy(&header, line.lParam(), sizeof header);
    EXPECT_EQ(std::pair(header.lineId, header.newPage), std::pair(1, 1));
    EXPECT_STREQ(static_cast<const char*>(line.lParam()) + 8, "Sunny eve");
    midi::KaraokeHighlightRecord h{};
    std::memcpy(&h, s.cues[4].lParam(), sizeof h);
    EXPECT_EQ(std::tuple(h.lineId, h.position, h.length), std::tuple(1, 3, 4));
}

TEST(Karaoke, LyricEventsWithLineEndsAndFurtherLinesOfAPage)
{
    const midi::KaraokeScript s = midi::buildKaraoke(readMade(
        "lyrics.mid", "karaoke --lyrics --text 'One |two/three |four/five |six' --start 4"));
    EXPECT_EQ(linesOf(s), "[One two] three four five six ");
    // A page's first lines come three seconds ahead; the third line comes up when the second
    // starts, so the one being sung and the next are on screen.
    EXPECT_EQ(cueText(s), "0 start \"Kolvo Night Song\"\n"
                          "1000 line 1 new page \"One two\"\n"
                          "1000 line 2 \"three four\"\n"
                          "4000 highlight 1 from 0 length 4\n"
                          "4500 highlight 1 to 7\n"
                          "5000 line 3 \"five six\"\n"
                          "5000 highlight 2 from 0 length 6\n"
                          "5500 highlight 2 to 10\n"
                          "6000 highlight 3 from 0 length 5\n"
                          "6500 highlight 3 to 8\n");
}

TEST(Karaoke, KoreanWordsKeepTheirBytesAndCountThem)
{
    const midi::KaraokeScript s = midi::buildKaraoke(readMade(
        "korean.kar", "karaoke --encoding cp949 --title '밤 노래' --text '\\안녕|하세요'"));
    ASSERT_EQ(s.lines.size(), 1u);
    // Two bytes a syllable in code page 949.
    EXPECT_EQ(s.lines[0].text.size(), 10u);
    ASSERT_EQ(s.lines[0].syllables.size(), 2u);
    EXPECT_EQ(s.lines[0].syllables[1].position, 4);
    EXPECT_EQ(s.lines[0].syllables[1].length, 6);
    text::setLegacyCodePage("CP949");
    EXPECT_EQ(midi::describeCue(s.cues[1]), "line 1 new page \"안녕하세요\"");
    EXPECT_EQ(midi::describeCue(s.cues[0]), "start \"밤 노래\"");
    text::setLegacyCodePage("");
}

TEST(Karaoke, AFileWithoutWordsIsNoKaraoke)
{
    const midi::KaraokeScript s = midi::buildKaraoke(readMade("plain.mid", "tone"));
    EXPECT_TRUE(s.empty());
    // The track's name is no word, but it names the song.
    EXPECT_EQ(s.title, "Kolvo test");
}

TEST(MidiRendering, TheSongEndsWithItsLastEventAndAShortTail)
{
    const std::string sf = engines::findSoundFont();
    if (sf.empty())
        GTEST_SKIP() << "no SoundFont installed";
    std::string why;
    const long long frames =
        engines::renderMidiFile(midiFile("tone4.mid", "tone --seconds 4"), sf, why);
    ASSERT_GT(frames, 0) << why;
    // Four seconds of notes (the last one ends a tick early), then at most 1.5 s of release.
    EXPECT_GE(frames, 44100 * 4 - 100);
    EXPECT_LE(frames, 44100 * 4 + 44100 * 3 / 2);
}

TEST(MidiRendering, SoundFontsAreLookedForInTheUsualPlaces)
{
    const auto places = engines::soundFontPlaces();
    ASSERT_GE(places.size(), 4u);
    EXPECT_TRUE(contains(places[0], "FluidR3_GM.sf2"));
    EXPECT_TRUE(contains(places[1], "TimGM6mb.sf2"));
    // The user's choice comes first, when there is one.
    engines::setSoundFontChoice("/my/own.sf2");
    EXPECT_EQ(engines::soundFontPlaces().front(), "/my/own.sf2");
    // A choice that is not there gives way to the installed ones.
    const std::string found = engines::findSoundFont();
    EXPECT_NE(found, "/my/own.sf2");
    engines::setSoundFontChoice("");
}
