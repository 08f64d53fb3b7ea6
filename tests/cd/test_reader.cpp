// The CD reader over the real libcdio on generated images: tables of contents of 1 to 99
// tracks, data tracks and pregaps, .toc sheets, sheets naming a data file of another name,
// sectors byte for byte (plain and through paranoia), CD-Text, damaged and missing images,
// and discs that come and go.

#include "cdtest.h"
#include "engines/cdreader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <unistd.h>

using namespace engines;
using cdtest::disc;
using cdtest::writeBytes;

namespace {

std::string binOf(const std::string& cue)
{
    return cue.substr(0, cue.size() - 4) + ".bin";
}

// The start sectors of the tracks ("d" after a data track's) and the lead-out's.
std::string layout(const CdToc& toc)
{
    std::string text;
    for (const CdTrack& t : toc.tracks)
        text += std::to_string(t.lsn) + (t.audio ? " " : "d ");
    return text + "/ " + std::to_string(toc.leadOutLsn);
}

CdToc tocOf(const std::string& drive)
{
    CdReader reader;
    EXPECT_TRUE(reader.open(drive)) << reader.failureText();
    return reader.toc();
}

TEST(CdReader, TablesOfContentsOfGeneratedImages)
{
    // 75 sectors a second; each track starts where the one before ends.
    CdToc toc = tocOf(disc("one", "2"));
    EXPECT_EQ(layout(toc), "0 / 150");
    EXPECT_EQ(toc.firstTrack(), 1);
    EXPECT_EQ(toc.lastTrack(), 1);

    toc = tocOf(disc("two", "2 3"));
    EXPECT_EQ(layout(toc), "0 150 / 375");
    EXPECT_EQ(toc.leadOutFrame(), 525);
    EXPECT_EQ(toc.tracks[1].frame(), 300);
    EXPECT_EQ(toc.endLsn(1), 150);
    EXPECT_EQ(toc.endLsn(2), 375);
    EXPECT_EQ(toc.trackAt(149), 1);
    EXPECT_EQ(toc.trackAt(150), 2);
    EXPECT_EQ(toc.track(3), nullptr);

    // 1.2 s is 90 sectors.
    EXPECT_EQ(layout(tocOf(disc("twelve", "2 1.2 1 1 1.2 3 1 1 1 1.2 2 1"))),
              "0 150 240 315 390 480 705 780 855 930 1020 1170 / 1245");

    toc = tocOf(disc("ninetynine", "--tracks 99 1"));
    ASSERT_EQ(toc.tracks.size(), 99u);
    for (int n = 1; n <= 99; ++n)
        EXPECT_EQ(std::to_string(toc.track(n)->number) + " " + std::to_string(toc.track(n)->lsn),
                  std::to_string(n) + " " + std::to_string(75 * (n - 1)));
    EXPECT_EQ(toc.leadOutLsn, 99 * 75);

    // A data track of 1 s, then audio after the 2 s pregap of mixed-mode discs.
    EXPECT_EQ(layout(tocOf(disc("mixed", "--data 1 1 1"))), "0d 225 300 / 375");
    // A track starts at its index 1; the pregap (1.5 s: 113 sectors) belongs to the track
    // before.
    EXPECT_EQ(layout(tocOf(disc("pregap", "--pregap 2:1.5 2 2 2"))), "0 263 413 / 563");
    // A pregap before track 1 moves its start.
    EXPECT_EQ(layout(tocOf(disc("hidden", "--pregap 1:0.2 2"))), "15 / 165");
}

TEST(CdReader, SectorsReadBackByteForByte)
{
    const std::string cue = disc("two", "2 3");
    const std::string bin = readFile(binOf(cue));
    ASSERT_EQ(bin.size(), 375u * 2352);
    for (const auto method :
         {CdReader::Method::Auto, CdReader::Method::Plain, CdReader::Method::Paranoia}) {
        SCOPED_TRACE(static_cast<int>(method));
        CdReader reader;
        ASSERT_TRUE(reader.open(cue, method));
        EXPECT_EQ(reader.kind(), CdReader::Kind::Image);
        std::vector<std::int16_t> samples(375 * 1176);
        // In pieces of odd sizes, and one jump back, as a player seeking would read.
        int lsn = 0;
        for (const int count : {1, 7, 100, 42}) {
            ASSERT_EQ(reader.read(lsn, count, samples.data() + lsn * 1176), count);
            lsn += count;
        }
        ASSERT_EQ(reader.read(10, 5, samples.data() + 10 * 1176), 5);
        // At the lead-out it stops.
        EXPECT_EQ(reader.read(lsn, 1000, samples.data() + lsn * 1176), 375 - lsn);
        EXPECT_EQ(reader.read(375, 1, samples.data()), 0);
        EXPECT_EQ(reader.read(-1, 1, samples.data()), 0);
        EXPECT_EQ(std::memcmp(samples.data(), bin.data(), bin.size()), 0);
    }
}

TEST(CdReader, TocSheetsAndSheetsNamingAnotherFile)
{
    // cdrdao sheets name their data relative to themselves, whatever the working folder.
    const std::string cue = disc("tocdisc", "--toc --pregap 2:1 1 2 1");
    const std::string toc = cue.substr(0, cue.size() - 4) + ".toc";
    ASSERT_NE(cdtest::folder(), std::filesystem::current_path().string());
    CdReader reader;
    ASSERT_TRUE(reader.open(toc)) << reader.failureText();
    EXPECT_EQ(reader.toc(), tocOf(cue));
    EXPECT_EQ(layout(reader.toc()), "0 150 300 / 375");

    // A cue sheet naming payload.bin is read from it, even with a NAME.bin beside it.
    const std::string named = disc("named", "--bin payload.bin 1 2");
    const std::string payload = cdtest::folder() + "/payload.bin";
    ASSERT_TRUE(writeBytes(binOf(named), std::string(10 * 2352, '\x7f')));
    ASSERT_TRUE(reader.open(named)) << reader.failureText();
    EXPECT_EQ(reader.toc().leadOutLsn, 225);
    std::vector<std::int16_t> samples(225 * 1176);
    ASSERT_EQ(reader.read(0, 225, samples.data()), 225);
    EXPECT_EQ(std::memcmp(samples.data(), readFile(payload).data(), 225 * 2352), 0);

    // Names that differ from the file only in case, as sheets made elsewhere have them.
    const std::string shouting = cdtest::folder() + "/shouting.cue";
    std::string sheet = readFile(named);
    sheet.replace(sheet.find("payload.bin"), 11, "PAYLOAD.BIN");
    ASSERT_TRUE(writeBytes(shouting, sheet));
    ASSERT_TRUE(reader.open(shouting)) << reader.failureText();
    EXPECT_EQ(reader.toc().leadOutLsn, 225);
}

TEST(CdReader, CdTextFromTheCueSheet)
{
    const std::string cue = disc("texted", "--title 'Tones of Test' --performer 'Kolvo Tones' "
                                           "--track-title '2:High Two' 1 1 1");
    CdReader reader;
    ASSERT_TRUE(reader.open(cue));
    const auto text = reader.cdText();
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(text->albumTitle, "Tones of Test");
    EXPECT_EQ(text->albumArtist, "Kolvo Tones");
    EXPECT_EQ(text->trackTitles, (std::vector<std::string>{"", "High Two", ""}));
    EXPECT_EQ(text->trackArtists, (std::vector<std::string>{"", "", ""}));

    const auto again = readCdText(cue);
    ASSERT_TRUE(again.has_value());
    EXPECT_EQ(again->trackTitles, text->trackTitles);
    EXPECT_FALSE(readCdText(disc("two", "2 3")).has_value());
    EXPECT_FALSE(readCdText(cdtest::folder() + "/nothing.cue").has_value());
}

TEST(CdReader, DamagedMissingAndForeignDiscsAreRefusedWithTheirReason)
{
    const std::string dir = cdtest::folder() + "/bad";
    std::filesystem::create_directories(dir);
    const std::string two = readFile(binOf(disc("two", "2 3")));
    const auto twoSheet = [](const std::string& bin) {
        return "FILE \"" + bin + "\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n" +
               "  TRACK 02 AUDIO\n    INDEX 01 00:02:00\n";
    };
    const auto sheetWith = [&](const std::string& name, const std::string& text) {
        EXPECT_TRUE(writeBytes(dir + "/" + name, text));
        return dir + "/" + name;
    };
    struct Case
    {
        std::string drive;
        CdReader::Failure failure;
        const char* says;
    };
    std::vector<Case> cases;
    cases.push_back({dir + "/nothing.cue", CdReader::Failure::NotFound, "does not exist"});
    cases.push_back({"", CdReader::Failure::NotFound, "does not exist"});
    // libcdio alone would read gone.bin beside it; the sheet names another, missing file.
    writeBytes(dir + "/gone.bin", two);
    cases.push_back({sheetWith("gone.cue", "FILE \"elsewhere.bin\" BINARY\n  TRACK 01 AUDIO\n"
                                           "    INDEX 01 00:00:00\n"),
                     CdReader::Failure::NotFound, "names elsewhere.bin, which is missing"});
    writeBytes(dir + "/x.bin", two);
    cases.push_back({sheetWith("twofiles.cue", "FILE \"x.bin\" BINARY\n  TRACK 01 AUDIO\n"
                                               "    INDEX 01 00:00:00\nFILE \"x.bin\" BINARY\n"
                                               "  TRACK 02 AUDIO\n    INDEX 01 00:00:00\n"),
                     CdReader::Failure::BadImage, "names 2 data files"});
    cases.push_back({sheetWith("wave.cue", "FILE \"x.bin\" WAVE\n  TRACK 01 AUDIO\n"
                                           "    INDEX 01 00:00:00\n"),
                     CdReader::Failure::BadImage, "of type WAVE"});
    cases.push_back({sheetWith("nofile.cue", "TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"),
                     CdReader::Failure::BadImage, "names no data file"});
    cases.push_back({sheetWith("noise.cue", std::string("\x01\x02\xff\xfe junk\0\n", 11)),
                     CdReader::Failure::BadImage, "names no data file"});
    // Cut short before track 2 starts (at sector 150).
    writeBytes(dir + "/short.bin", two.substr(0, 100 * 2352));
    cases.push_back({sheetWith("short.cue", twoSheet("short.bin")), CdReader::Failure::BadImage,
                     "data ends at sector 100"});
    writeBytes(dir + "/empty.bin", "");
    cases.push_back(
        {sheetWith("empty.cue", twoSheet("empty.bin")), CdReader::Failure::BadImage, "empty.cue"});
    cases.push_back({sheetWith("text.nrg", "not a disc at all\n"), CdReader::Failure::BadImage,
                     "cannot read the disc image"});
    cases.push_back({"/dev/null", CdReader::Failure::NotADisc, "not a CD drive"});
    for (Case& c : cases) {
        SCOPED_TRACE(c.drive);
        CdReader reader;
        EXPECT_FALSE(reader.open(c.drive));
        EXPECT_FALSE(reader.isOpen());
        EXPECT_EQ(reader.failure(), c.failure);
        EXPECT_NE(reader.failureText().find(c.says), std::string::npos) << reader.failureText();
        EXPECT_TRUE(reader.toc().empty());
        std::int16_t sector[1176];
        EXPECT_EQ(reader.read(0, 1, sector), 0);
    }

    // Cut short inside its last track (and not even on a sector): the last track is shorter.
    writeBytes(dir + "/tail.bin", two.substr(0, 200 * 2352 + 1000));
    CdReader reader;
    ASSERT_TRUE(reader.open(sheetWith("tail.cue", twoSheet("tail.bin")))) << reader.failureText();
    EXPECT_EQ(layout(reader.toc()), "0 150 / 200");

    // A folder is a disc without audio tracks.
    ASSERT_TRUE(reader.open(dir));
    EXPECT_EQ(reader.kind(), CdReader::Kind::Folder);
    EXPECT_TRUE(reader.toc().empty());
    EXPECT_EQ(reader.discState(), CdReader::DiscState::Ready);
    std::int16_t sector[1176];
    EXPECT_EQ(reader.read(0, 1, sector), 0);
    EXPECT_EQ(reader.failure(), CdReader::Failure::NoDisc);
    EXPECT_FALSE(reader.setTray(true));
}

TEST(CdReader, ImagesThatGoAndComeBack)
{
    const std::string cue = disc("coming", "1 1");
    const std::string bin = binOf(cue);
    CdReader reader;
    ASSERT_TRUE(reader.open(cue));
    const auto poll = [&reader] {
        bool changed = !reader.toc().empty(); // the opposite of what a first look tells
        const bool ready = reader.discState(&changed) == CdReader::DiscState::Ready;
        return std::string(ready ? "ready" : "no disc") + (changed ? ", changed" : "") +
               (ready == reader.toc().empty() ? ", toc wrong" : "");
    };
    EXPECT_EQ(poll(), "ready");
    ASSERT_EQ(std::rename(bin.c_str(), (bin + ".away").c_str()), 0);
    EXPECT_EQ(poll(), "no disc, changed");
    EXPECT_EQ(poll(), "no disc") << "told once";
    ASSERT_EQ(std::rename((bin + ".away").c_str(), bin.c_str()), 0);
    EXPECT_EQ(poll(), "ready, changed");
    EXPECT_EQ(reader.toc().leadOutLsn, 150);

    // Another disc in the same place: the table of contents is read anew.
    const std::string three = readFile(binOf(disc("three", "1 1 1")));
    ASSERT_TRUE(writeBytes(bin, three));
    std::string sheet = readFile(disc("three", "1 1 1"));
    ASSERT_TRUE(writeBytes(cue, sheet.replace(sheet.find("three.bin"), 9, "coming.bin")));
    EXPECT_EQ(poll(), "ready, changed");
    EXPECT_EQ(layout(reader.toc()), "0 75 150 / 225");

    // Damaged in place: no disc until it is whole again.
    ASSERT_TRUE(writeBytes(bin, three.substr(0, 80 * 2352)));
    EXPECT_EQ(poll(), "no disc, changed");
    EXPECT_EQ(poll(), "no disc");
    ASSERT_TRUE(writeBytes(bin, three));
    EXPECT_EQ(poll(), "ready, changed");
}

} // namespace
