// The CD audio device through MciDevice, as the CD Player drives it, without sound: status in
// every time format, the CD Player's arithmetic on what it answers, the media identity against
// values worked out by hand, disc ids against libdiscid, the door, and bad drives.

#include "cddb/discid.h"
#include "cdtest.h"
#include "engines/cdaudio.h"
#include "engines/cdreader.h"
#include "engines/engineapi.h"
#include "engines/mcidevice.h"
#include "platform/cdrom.h"
#include "support/discidpeer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

using cdtest::disc;

namespace {

class CdDevice : public ::testing::Test
{
protected:
    void SetUp() override { engines::registerCdAudioDriver(); }

    void openDisc(const std::string& drive)
    {
        ASSERT_EQ(device.openByType(MCI_DEVTYPE_CD_AUDIO, drive.c_str()), 1)
            << device.lastErrorText();
    }
    std::string identity()
    {
        char text[80] = {};
        EXPECT_EQ(device.info(MCI_INFO_MEDIA_IDENTITY, text, sizeof text), 1);
        return text;
    }
    // Positions of tracks 1 and 2 and the current one, lengths of tracks 1 and 2 and the disc,
    // in the time format set.
    std::vector<long> times()
    {
        return {device.position(1), device.position(2), device.position(),
                device.length(1),   device.length(2),   device.length()};
    }
    // The mode, whether a disc is there and its track count.
    std::vector<long> state()
    {
        return {device.status(MCI_STATUS_MODE), device.status(MCI_STATUS_MEDIA_PRESENT),
                device.status(MCI_STATUS_NUMBER_OF_TRACKS)};
    }

    MciDevice device;
};

constexpr long tmsf(int t, int m, int s, int f)
{
    return t | m << 8 | s << 16 | f << 24;
}

constexpr long msf(int m, int s, int f)
{
    return m | s << 8 | f << 16;
}

TEST_F(CdDevice, StatusOfATwoTrackDiscInEveryTimeFormat)
{
    openDisc(disc("two", "2 3"));
    EXPECT_EQ(state(), (std::vector<long>{kModeStopped, 1, 2}));
    EXPECT_EQ(device.status(MCI_STATUS_READY), 1);
    EXPECT_EQ(device.status(MCI_STATUS_CURRENT_TRACK), 1);
    EXPECT_TRUE(device.isAudioTrack(1) && device.isAudioTrack(2));
    EXPECT_EQ(device.informationText(), "44.100 kHz, 16 bit, Stereo, 1411 kbps");

    // MSF is where a CD audio device starts; addresses count the 2 s before track 1. The disc
    // is lead-out (525) - track 1 (150) - 1 = 374 frames.
    EXPECT_EQ(device.status(MCI_STATUS_TIME_FORMAT), static_cast<long>(MCI_FORMAT_MSF));
    EXPECT_EQ(times(), (std::vector<long>{msf(0, 2, 0), msf(0, 4, 0), msf(0, 2, 0), msf(0, 2, 0),
                                          msf(0, 3, 0), msf(0, 4, 74)}));
    ASSERT_EQ(device.setTimeFormat(MCI_FORMAT_TMSF), 1);
    EXPECT_EQ(device.status(MCI_STATUS_TIME_FORMAT), static_cast<long>(MCI_FORMAT_TMSF));
    EXPECT_EQ(times(), (std::vector<long>{tmsf(1, 0, 0, 0), tmsf(2, 0, 0, 0), tmsf(1, 0, 0, 0),
                                          msf(0, 2, 0), msf(0, 3, 0), msf(0, 4, 74)}));
    // 374 frames, rounded up.
    ASSERT_EQ(device.setTimeFormat(MCI_FORMAT_MILLISECONDS), 1);
    EXPECT_EQ(times(), (std::vector<long>{2000, 4000, 2000, 2000, 3000, 4987}));

    // Seeking moves the device, stopped, in any format.
    ASSERT_EQ(device.setTimeFormat(MCI_FORMAT_TMSF), 1);
    ASSERT_EQ(device.seek(tmsf(2, 0, 1, 30)), 1);
    EXPECT_EQ(device.position(), tmsf(2, 0, 1, 30));
    EXPECT_EQ(device.status(MCI_STATUS_CURRENT_TRACK), 2);
    EXPECT_EQ(device.status(MCI_STATUS_MODE), kModeStopped);
    device.setTimeFormat(MCI_FORMAT_MILLISECONDS);
    EXPECT_EQ(device.position(), 5400); // frame 405
    ASSERT_EQ(device.seek(2000), 1);
    device.setTimeFormat(MCI_FORMAT_MSF);
    EXPECT_EQ(device.position(), msf(0, 2, 0));
    EXPECT_EQ(device.seek(msf(0, 1, 74)), kMciFailed) << "before track 1";
    EXPECT_EQ(device.seek(msf(0, 7, 1)), kMciFailed) << "past the lead-out";

    char text[80];
    ASSERT_EQ(device.info(MCI_INFO_PRODUCT, text, sizeof text), 1);
    EXPECT_STREQ(text, "Kolvo CD audio");
    EXPECT_EQ(device.info(MCI_INFO_MEDIA_IDENTITY, text, 4), kMciFailed) << "too small";
}

TEST_F(CdDevice, WhatTheCdPlayerWorksOutOfEachDisc)
{
    // The media identity: the sum of M << 16 | S << 8 | F of each track start (frames 150 =
    // 00:02:00 = 512, ...); below three tracks, plus track 1's frame field and the frames from
    // track 1 to the lead-out. The album key is the identity in hex.
    struct Case
    {
        const char* name;
        const char* args;
        const char* identity;
        const char* key;
    };
    const Case cases[] = {
        // 512 + 0 + (300 - 150)
        {"one", "2", "662", "296"},
        // 512 + 1024 + 0 + (525 - 150)
        {"two", "2 3", "1911", "777"},
        // 00:02:15 = 527, plus 15 + (315 - 165)
        {"hidden", "--pregap 1:0.2 2", "692", "2b4"},
        // 512 + 01:03:15 (66319) + 0 + (4815 - 150): the minutes count too
        {"long", "61.2 1", "71496", "11748"},
        // starts 150 300 390 465 540 630 855 930 1005 1080 1170 1320: 512 + 1024 + 1295 + 1551
        // + 1807 + 2078 + 2846 + 3102 + 3358 + 3614 + 3885 + 4397, nothing added
        {"twelve", "2 1.2 1 1 1.2 3 1 1 1 1.2 2 1", "29469", "731d"},
        // a data track counts like any other: 512 + 00:05:00 (1280) + 00:06:00 (1536)
        {"mixed", "--data 1 1 1", "3328", "d00"},
        {"pregap", "--pregap 2:1.5 2 2 2", nullptr, nullptr},
        {"ninetynine", "--tracks 99 1", nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string cue = disc(c.name, c.args);
        openDisc(cue);
        if (c.identity) {
            const std::string id = identity();
            EXPECT_EQ(id, c.identity);
            char key[16];
            std::snprintf(key, sizeof key, "%x",
                          static_cast<unsigned>(std::strtoul(id.c_str(), nullptr, 10)));
            EXPECT_STREQ(key, c.key);
        }

        // The CD Player's reading: start frames from the positions in milliseconds, the
        // lead-out from the disc's length. Milliseconds are rounded up from frames, so that
        // ms x 0.075 gives every frame back, whatever its remainder modulo 3.
        std::vector<int> starts;
        device.setTimeFormat(MCI_FORMAT_MILLISECONDS);
        for (long t = 1; t <= device.status(MCI_STATUS_NUMBER_OF_TRACKS); ++t)
            starts.push_back(static_cast<int>(device.position(t) * 0.075));
        const int leadOut = starts[0] + static_cast<int>(device.length() * 0.075) + 1;
        engines::CdReader reader;
        ASSERT_TRUE(reader.open(cue));
        std::vector<int> frames;
        for (const engines::CdTrack& t : reader.toc().tracks)
            frames.push_back(t.frame());
        EXPECT_EQ(starts, frames);
        EXPECT_EQ(leadOut, reader.toc().leadOutFrame());

        CddbDiscInfo info;
        ComputeDiscId(CddbAlbumFromToc(starts, leadOut), info);
        EXPECT_EQ(DiscIdText(info.discId), libdiscidFreedbId(starts, leadOut));
        EXPECT_EQ(info.trackCount, static_cast<int>(starts.size()));
        device.close();
    }
}

TEST_F(CdDevice, DataTracksAndRangesThatAreNotOnTheDisc)
{
    openDisc(disc("mixed", "--data 1 1 1"));
    EXPECT_FALSE(device.isAudioTrack(1));
    EXPECT_EQ(device.status(MCI_CDA_STATUS_TYPE_TRACK, 1), static_cast<long>(MCI_CDA_TRACK_OTHER));
    EXPECT_EQ(device.status(MCI_CDA_STATUS_TYPE_TRACK, 2), static_cast<long>(MCI_CDA_TRACK_AUDIO));
    EXPECT_EQ(device.status(MCI_CDA_STATUS_TYPE_TRACK, 4), -1);
    EXPECT_EQ(device.status(MCI_CDA_STATUS_TYPE_TRACK), -1) << "it needs a track";
    EXPECT_EQ(device.position(0), -1);
    ASSERT_EQ(device.setTimeFormat(MCI_FORMAT_TMSF), 1);
    // A data track does not play, nor do tracks the disc lacks.
    EXPECT_EQ(device.play(tmsf(1, 0, 0, 0), -1), kMciFailed);
    EXPECT_EQ(device.play(tmsf(4, 0, 0, 0), -1), kMciFailed);
    EXPECT_EQ(device.play(tmsf(3, 0, 0, 0), tmsf(2, 0, 0, 0)), kMciFailed) << "backwards";
    EXPECT_EQ(device.status(MCI_STATUS_MODE), kModeStopped);
    EXPECT_EQ(device.setTimeFormat(MCI_FORMAT_BYTES), kMciFailed);
    EXPECT_EQ(device.status(MCI_STATUS_TIME_FORMAT), static_cast<long>(MCI_FORMAT_TMSF));
}

TEST_F(CdDevice, AnOpenDoorOrADiscThatLeavesIsNoDiscUntilItComesBack)
{
    const std::string cue = disc("leaving", "1 2");
    const std::string bin = cue.substr(0, cue.size() - 4) + ".bin";
    openDisc(cue);
    for (const bool door : {true, false}) {
        SCOPED_TRACE(door ? "door" : "image moved away");
        ASSERT_EQ(door ? device.setDoor(true) : std::rename(bin.c_str(), (bin + ".away").c_str()),
                  door ? 1 : 0);
        EXPECT_EQ(state(), (std::vector<long>{kModeOpening, 0, -1}));
        EXPECT_EQ(device.position(), -1);
        char text[80];
        EXPECT_EQ(device.info(MCI_INFO_MEDIA_IDENTITY, text, sizeof text), kMciNotFound);
        EXPECT_EQ(device.play(), kMciNotFound);
        ASSERT_EQ(door ? device.setDoor(false) : std::rename((bin + ".away").c_str(), bin.c_str()),
                  door ? 1 : 0);
        EXPECT_EQ(state(), (std::vector<long>{kModeStopped, 1, 2}));
        EXPECT_EQ(identity(), "1505"); // 512 + 768 + 0 + (375 - 150)
    }
}

TEST_F(CdDevice, BadDrivesGiveTheCodesTheCdPlayerLooksFor)
{
    const std::string dir = cdtest::folder() + "/baddrives";
    std::filesystem::create_directories(dir);
    cdtest::writeBytes(dir + "/orphan.cue", "FILE \"gone.bin\" BINARY\n  TRACK 01 AUDIO\n"
                                            "    INDEX 01 00:00:00\n");
    const std::string twoCue = disc("two", "2 3");
    const std::string twoBin = twoCue.substr(0, twoCue.size() - 4) + ".bin";
    // Cut short before track 2 starts.
    cdtest::writeBytes(dir + "/cut.bin", readFile(twoBin).substr(0, 100 * 2352));
    cdtest::writeBytes(dir + "/cut.cue", "FILE \"cut.bin\" BINARY\n  TRACK 01 AUDIO\n"
                                         "    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n"
                                         "    INDEX 01 00:02:00\n");
    // Unreachable discs are -9202, as for files the players retry on another drive.
    for (const char* name : {"/none.cue", "/orphan.cue", "/cut.cue"})
        EXPECT_EQ(device.openByType(MCI_DEVTYPE_CD_AUDIO, (dir + name).c_str()), kMciNotFound);
    EXPECT_EQ(device.openByType(MCI_DEVTYPE_CD_AUDIO, "/dev/null"), kMciFailed);
    EXPECT_FALSE(device.isOpen());
    EXPECT_EQ(device.play(), kMciNoDevice);
    EXPECT_EQ(device.status(MCI_STATUS_MODE), -1);

    // A folder opens, as a disc without audio.
    ASSERT_EQ(device.openByType(MCI_DEVTYPE_CD_AUDIO, dir.c_str()), 1);
    EXPECT_EQ(device.status(MCI_STATUS_MODE), kModeStopped);
    EXPECT_EQ(device.status(MCI_STATUS_NUMBER_OF_TRACKS), 0);
    EXPECT_EQ(device.play(), kMciNotFound);
    char text[80];
    EXPECT_EQ(device.info(MCI_INFO_MEDIA_IDENTITY, text, sizeof text), kMciNotFound);
    device.close();

    // Without an element the first CD drive is opened; without one, nothing opens.
    if (cdrom::FindFirstCdDrive().empty()) {
        EXPECT_EQ(device.openByType(MCI_DEVTYPE_CD_AUDIO), kMciFailed);
        EXPECT_FALSE(device.isOpen());
    }
}

} // namespace
