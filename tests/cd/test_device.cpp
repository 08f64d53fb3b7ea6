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

#include <gtest/gtest.h>

#include <discid/discid.h>

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
    // The CD Player's reading of a disc: start frames from the positions in milliseconds, the
    // lead-out from the disc's length.
    struct Reading
    {
        std::vector<std::int32_t> starts;
        std::int32_t leadOut = 0;
    };
    Reading readLikeTheCdPlayer()
    {
        Reading r;
        device.setTimeFormat(MCI_FORMAT_MILLISECONDS);
        const long n = device.status(MCI_STATUS_NUMBER_OF_TRACKS);
        for (long t = 1; t <= n; ++t)
            r.starts.push_back(static_cast<std::int32_t>(device.position(t) * 0.075));
        r.leadOut = r.starts[0] + static_cast<std::int32_t>(device.length() * 0.075) + 1;
        device.setTimeFormat(MCI_FORMAT_TMSF);
        return r;
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
    EXPECT_EQ(device.status(MCI_STATUS_MODE), kModeStopped);
    EXPECT_EQ(device.status(MCI_STATUS_MEDIA_PRESENT), 1);
    EXPECT_EQ(device.status(MCI_STATUS_READY), 1);
    EXPECT_EQ(device.status(MCI_STATUS_NUMBER_OF_TRACKS), 2);
    EXPECT_EQ(device.status(MCI_STATUS_CURRENT_TRACK), 1);
    EXPECT_TRUE(device.isAudioTrack(1));
    EXPECT_TRUE(device.isAudioTrack(2));
    EXPECT_EQ(device.informationText(), "44.100 kHz, 16 bit, Stereo, 1411 kbps");

    // MSF is where a CD audio device starts; addresses count the 2 s before track 1.
    EXPECT_EQ(device.status(MCI_STATUS_TIME_FORMAT), static_cast<long>(MCI_FORMAT_MSF));
    EXPECT_EQ(device.position(1), msf(0, 2, 0));
    EXPECT_EQ(device.position(2), msf(0, 4, 0));
    EXPECT_EQ(device.position(), msf(0, 2, 0));
    EXPECT_EQ(device.length(2), msf(0, 3, 0));
    // The disc: lead-out (525) - track 1 (150) - 1 = 374 frames.
    EXPECT_EQ(device.length(), msf(0, 4, 74));

    ASSERT_EQ(device.setTimeFormat(MCI_FORMAT_TMSF), 1);
    EXPECT_EQ(device.status(MCI_STATUS_TIME_FORMAT), static_cast<long>(MCI_FORMAT_TMSF));
    EXPECT_EQ(device.position(1), tmsf(1, 0, 0, 0));
    EXPECT_EQ(device.position(2), tmsf(2, 0, 0, 0));
    EXPECT_EQ(device.position(), tmsf(1, 0, 0, 0));
    EXPECT_EQ(device.length(1), msf(0, 2, 0));

    ASSERT_EQ(device.setTimeFormat(MCI_FORMAT_MILLISECONDS), 1);
    EXPECT_EQ(device.position(1), 2000);
    EXPECT_EQ(device.position(2), 4000);
    EXPECT_EQ(device.length(1), 2000);
    EXPECT_EQ(device.length(2), 3000);
    EXPECT_EQ(device.length(), 4987); // 374 frames, rounded up

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

TEST_F(CdDevice, TheCdPlayersArithmeticFindsEveryFrameAgain)
{
    // Milliseconds are rounded up from frames, so that ms x 0.075 gives the frame back: a
    // disc whose starts fall on every remainder of frames modulo 3.
    for (const auto& [name, args] : std::vector<std::pair<std::string, std::string>>{
             {"pregap", "--pregap 2:1.5 2 2 2"},
             {"twelve", "2 1.2 1 1 1.2 3 1 1 1 1.2 2 1"},
             {"mixed", "--data 1 1 1"},
             {"hidden", "--pregap 1:0.2 2"}}) {
        SCOPED_TRACE(name);
        const std::string cue = disc(name, args);
        engines::CdReader reader;
        ASSERT_TRUE(reader.open(cue));
        const engines::CdToc toc = reader.toc();
        openDisc(cue);
        const Reading r = readLikeTheCdPlayer();
        ASSERT_EQ(r.starts.size(), toc.tracks.size());
        for (size_t i = 0; i < r.starts.size(); ++i)
            EXPECT_EQ(r.starts[i], toc.tracks[i].frame()) << "track " << i + 1;
        EXPECT_EQ(r.leadOut, toc.leadOutFrame());
        device.close();
    }
}

TEST_F(CdDevice, MediaIdentityAsWorkedOutByHand)
{
    // Sum of M << 16 | S << 8 | F of each track start (frames 150 = 00:02:00 = 512, ...);
    // below three tracks, plus track 1's frame field and the frames from track 1 to the
    // lead-out.
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
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        openDisc(disc(c.name, c.args));
        const std::string id = identity();
        EXPECT_EQ(id, c.identity);
        char key[16];
        std::snprintf(key, sizeof key, "%x",
                      static_cast<unsigned>(std::strtoul(id.c_str(), nullptr, 10)));
        EXPECT_STREQ(key, c.key);
        device.close();
    }
}

std::string libdiscidFreedbId(const std::vector<std::int32_t>& offsets, std::int32_t leadOut)
{
    std::unique_ptr<DiscId, void (*)(DiscId*)> d(discid_new(), discid_free);
    int table[100] = {};
    table[0] = leadOut;
    for (size_t i = 0; i < offsets.size(); ++i)
        table[i + 1] = offsets[i];
    if (!discid_put(d.get(), 1, static_cast<int>(offsets.size()), table))
        return "refused";
    return discid_get_freedb_id(d.get());
}

TEST_F(CdDevice, DiscIdsOfTheImagesAgreeWithLibdiscid)
{
    for (const auto& [name, args] : std::vector<std::pair<std::string, std::string>>{
             {"one", "2"},
             {"two", "2 3"},
             {"twelve", "2 1.2 1 1 1.2 3 1 1 1 1.2 2 1"},
             {"ninetynine", "--tracks 99 1"},
             {"long", "61.2 1"},
             {"pregap", "--pregap 2:1.5 2 2 2"}}) {
        SCOPED_TRACE(name);
        openDisc(disc(name, args));
        const Reading r = readLikeTheCdPlayer();
        CddbDiscInfo info;
        ComputeDiscId(CddbAlbumFromToc(r.starts, r.leadOut), info);
        EXPECT_EQ(DiscIdText(info.discId), libdiscidFreedbId(r.starts, r.leadOut));
        EXPECT_EQ(info.trackCount, static_cast<int>(r.starts.size()));
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

TEST_F(CdDevice, TheDoorOfAnImageIsAState)
{
    openDisc(disc("two", "2 3"));
    ASSERT_EQ(device.setDoor(true), 1);
    EXPECT_EQ(device.status(MCI_STATUS_MODE), kModeOpening);
    EXPECT_EQ(device.status(MCI_STATUS_MEDIA_PRESENT), 0);
    EXPECT_EQ(device.status(MCI_STATUS_NUMBER_OF_TRACKS), -1);
    EXPECT_EQ(device.position(), -1);
    char text[80];
    EXPECT_EQ(device.info(MCI_INFO_MEDIA_IDENTITY, text, sizeof text), kMciNotFound);
    EXPECT_EQ(device.play(), kMciNotFound);
    ASSERT_EQ(device.setDoor(false), 1);
    EXPECT_EQ(device.status(MCI_STATUS_MODE), kModeStopped);
    EXPECT_EQ(device.status(MCI_STATUS_NUMBER_OF_TRACKS), 2);
}

TEST_F(CdDevice, ADiscThatLeavesAndComesBack)
{
    const std::string cue = disc("leaving", "1 2");
    const std::string bin = cue.substr(0, cue.size() - 4) + ".bin";
    openDisc(cue);
    ASSERT_EQ(std::rename(bin.c_str(), (bin + ".away").c_str()), 0);
    EXPECT_EQ(device.status(MCI_STATUS_MODE), kModeOpening);
    EXPECT_EQ(device.status(MCI_STATUS_MEDIA_PRESENT), 0);
    EXPECT_EQ(device.play(), kMciNotFound);
    ASSERT_EQ(std::rename((bin + ".away").c_str(), bin.c_str()), 0);
    EXPECT_EQ(device.status(MCI_STATUS_MODE), kModeStopped);
    EXPECT_EQ(device.status(MCI_STATUS_NUMBER_OF_TRACKS), 2);
    EXPECT_EQ(identity(), "1505"); // 512 + 768 + 0 + (375 - 150)
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
    cdtest::writeBytes(dir + "/cut.bin", cdtest::bytesOf(twoBin).substr(0, 100 * 2352));
    cdtest::writeBytes(dir + "/cut.cue", "FILE \"cut.bin\" BINARY\n  TRACK 01 AUDIO\n"
                                         "    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n"
                                         "    INDEX 01 00:02:00\n");
    // Unreachable discs are -9202, as for files the players retry on another drive.
    EXPECT_EQ(device.openByType(MCI_DEVTYPE_CD_AUDIO, (dir + "/none.cue").c_str()), kMciNotFound);
    EXPECT_FALSE(device.isOpen());
    EXPECT_EQ(device.openByType(MCI_DEVTYPE_CD_AUDIO, (dir + "/orphan.cue").c_str()), kMciNotFound);
    EXPECT_EQ(device.openByType(MCI_DEVTYPE_CD_AUDIO, (dir + "/cut.cue").c_str()), kMciNotFound);
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
