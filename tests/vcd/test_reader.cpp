// The Video CD reader on vcdxbuild images, with a viewer and a clock of the test's own: the
// album it makes, the navigation, the waits, play times, loops and time-outs, hot areas, and
// discs whose play sequence is damaged.
#include "vcdtest.h"

#include "albums/album.h"
#include "players/vcdreader.h"

#include <gmock/gmock.h>

#include <QDir>

#include <cstdio>
#include <set>

using namespace vcdtest;
using ::testing::HasSubstr;

namespace {

class FakePlayback : public VcdPlayback
{
public:
    bool playUnit(const VcdUnit& unit, std::string* info) override
    {
        if (failing.count(unit.file))
            return false;
        played.push_back(unit);
        mode = 526;
        position = unit.startMs;
        *info = "playing " + unit.file;
        return true;
    }
    void stopUnit() override
    {
        ++stops;
        mode = 525;
    }
    void closeUnit() override { mode = 525; }
    void pauseUnit() override { mode = 529; }
    void resumeUnit() override
    {
        ++resumes;
        mode = 526;
    }
    int unitMode() override { return mode; }
    std::int64_t unitPositionMs() override { return position; }
    void setHotAreas(const std::vector<VcdHotArea>& a) override { areas = a; }

    // The file played to its end.
    void finish() { mode = 525; }

    std::vector<VcdUnit> played;
    std::set<std::string> failing;
    std::vector<VcdHotArea> areas;
    int mode = 525;
    std::int64_t position = 0;
    int stops = 0;
    int resumes = 0;
};

class FakeClock : public VcdClock
{
public:
    std::int64_t nowMs() override { return now; }
    std::int64_t now = 100000;
};

std::vector<std::string> titles(const Album& album)
{
    std::vector<std::string> out;
    for (const SongEntry& s : album.songs())
        out.push_back(s.title);
    return out;
}

class VcdReaderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_menu = menuDisc();
        ASSERT_FALSE(m_menu.empty());
    }
    // The last unit played: its file and start.
    std::string last() const
    {
        if (m_play.played.empty())
            return "nothing";
        const VcdUnit& u = m_play.played.back();
        return u.file + " from " + std::to_string(u.startMs);
    }
    int psdSector(const std::string& cue) const { return fileSector(cue, "PSD_X.VCD"); }
    // A command: what it returned, the last unit played and the list the reader is at.
    std::string go(int command)
    {
        const int done = m_reader.command(command);
        char offset[8];
        std::snprintf(offset, sizeof offset, "%04X", m_reader.descriptorOffset());
        return std::to_string(done) + ": " + last() + " at 0x" + offset;
    }
    // The clock moved on (or the unit played to `position`): the reader's state after a poll.
    int after(std::int64_t ms)
    {
        m_clock.now += ms;
        m_reader.poll();
        return m_reader.state();
    }
    int playedTo(std::int64_t position)
    {
        m_play.position = position;
        return after(0);
    }
    int unitEnds()
    {
        m_play.finish();
        return after(0);
    }

    std::string m_menu;
    FakePlayback m_play;
    FakeClock m_clock;
    Album m_album{AlbumKindVideo};
    std::vector<int> m_randomAsked;
    int m_randomAnswer = 0;
    VcdReader m_reader{m_play, &m_clock, [this](int n) {
                           m_randomAsked.push_back(n);
                           return m_randomAnswer;
                       }};
};

} // namespace

TEST_F(VcdReaderTest, WithoutAPlaySequenceTheEntriesAreTheSongs)
{
    const std::string disc = trackModeDisc();
    ASSERT_FALSE(disc.empty());
    ASSERT_TRUE(m_reader.open(disc, m_album, true)) << m_reader.failureText();
    EXPECT_EQ(m_reader.mode(), VcdReader::ModeTracks);
    EXPECT_EQ(titles(m_album), (std::vector<std::string>{"1", "2", "3"}));
    EXPECT_EQ(m_album.GetSong(1)->lengthMs, 1520);
    EXPECT_EQ(m_album.GetSong(2)->lengthMs, 4973 - 1520);

    ASSERT_EQ(m_reader.command(0), 1);
    EXPECT_EQ(last(), "MPEGAV/AVSEQ01.DAT from 0");
    EXPECT_TRUE(m_reader.sequenceUnit());
    EXPECT_EQ(m_reader.lengthMs(), 1520);
    EXPECT_EQ(m_reader.infoText(), "playing MPEGAV/AVSEQ01.DAT");
    EXPECT_EQ(m_play.played.back().uri.rfind("kolvovcd:///", 0), 0u) << m_play.played.back().uri;

    // Playing on into the second entry of the same track: the song follows, nothing reopens.
    playedTo(1000);
    EXPECT_EQ(m_reader.positionMs(), 1000);
    EXPECT_EQ(m_album.currentSong(), 1);
    playedTo(1600);
    EXPECT_EQ(m_album.currentSong(), 2);
    EXPECT_EQ(m_reader.positionMs(), 80);
    EXPECT_EQ(m_reader.lengthMs(), 4973 - 1520);
    EXPECT_EQ(m_play.played.size(), 1u);

    // Next and Previous move between entries like songs; a number plays that entry.
    EXPECT_EQ(go(VcdReader::kNextList), "1: MPEGAV/AVSEQ02.DAT from 0 at 0xFFFF");
    EXPECT_EQ(go(VcdReader::kNextList), "0: MPEGAV/AVSEQ02.DAT from 0 at 0xFFFF");
    EXPECT_EQ(go(VcdReader::kPreviousList), "1: MPEGAV/AVSEQ01.DAT from 1520 at 0xFFFF");
    EXPECT_EQ(go(4), "0: MPEGAV/AVSEQ01.DAT from 1520 at 0xFFFF");
    EXPECT_EQ(go(1), "1: MPEGAV/AVSEQ01.DAT from 0 at 0xFFFF");

    m_reader.close();
    EXPECT_FALSE(m_reader.open(disc, m_album, false));
    EXPECT_FALSE(m_reader.failureText().empty());
}

TEST_F(VcdReaderTest, NavigationFollowsTheLinksOfTheLists)
{
    ASSERT_TRUE(m_reader.open(m_menu, m_album, true)) << m_reader.failureText();
    EXPECT_EQ(m_reader.mode(), VcdReader::ModeSelection);
    EXPECT_EQ(titles(m_album), (std::vector<std::string>{"1", "2"}));

    // The selection list plays its own item and gives the viewer its hot areas.
    EXPECT_EQ(go(0), "1: MPEGAV/AVSEQ02.DAT from 0 at 0x0000");
    EXPECT_EQ(m_play.areas, (std::vector<VcdHotArea>{{10, 20, 30, 40, VcdReader::kNextList},
                                                     {1, 2, 100, 120, 1},
                                                     {130, 2, 250, 120, 2}}));
    EXPECT_EQ(m_reader.command(3), 0); // not one of its selections

    EXPECT_EQ(go(1), "1: MPEGAV/AVSEQ01.DAT from 0 at 0x0006");
    EXPECT_EQ(m_reader.mode(), VcdReader::ModePlayList);
    EXPECT_EQ(titles(m_album), (std::vector<std::string>{"1", "2", "3"}));
    EXPECT_EQ(m_reader.lengthMs(), 3000); // the list's play time
    EXPECT_TRUE(m_play.areas.empty());
    EXPECT_EQ(m_reader.command(2), 0); // numbers mean nothing in a play list

    // Items in turn, back, then on to the next list after the last.
    EXPECT_EQ(go(VcdReader::kNextItem), "1: MPEGAV/AVSEQ01.DAT from 1520 at 0x0006"); // entry 2
    EXPECT_EQ(m_album.currentSong(), 2);
    EXPECT_EQ(go(VcdReader::kPreviousItem), "1: MPEGAV/AVSEQ01.DAT from 0 at 0x0006");
    ASSERT_EQ(m_reader.command(VcdReader::kNextItem), 1);
    EXPECT_EQ(go(VcdReader::kNextItem), "1: MPEGAV/AVSEQ02.DAT from 0 at 0x0006");
    EXPECT_EQ(go(VcdReader::kNextItem), "1: MPEGAV/AVSEQ02.DAT from 0 at 0x0009");
    EXPECT_EQ(titles(m_album), (std::vector<std::string>{"1"}));

    // No next list: nothing changes. Previous, return, default.
    const size_t plays = m_play.played.size();
    EXPECT_EQ(go(VcdReader::kNextList), "0: MPEGAV/AVSEQ02.DAT from 0 at 0x0009");
    EXPECT_EQ(m_play.played.size(), plays);
    EXPECT_EQ(go(VcdReader::kPreviousList), "1: MPEGAV/AVSEQ01.DAT from 0 at 0x0006");
    // At the first item Previous goes to the previous list.
    EXPECT_EQ(go(VcdReader::kPreviousItem), "1: MPEGAV/AVSEQ02.DAT from 0 at 0x0000");
    EXPECT_EQ(go(VcdReader::kSelectDefault), "1: MPEGAV/AVSEQ02.DAT from 0 at 0x0009");
    EXPECT_EQ(go(VcdReader::kReturn), "1: MPEGAV/AVSEQ02.DAT from 0 at 0x0000");
    // The menu's return is the end list: the play sequence is over.
    m_reader.command(VcdReader::kReturn);
    EXPECT_TRUE(m_reader.ended());
    EXPECT_EQ(m_reader.state(), 525);
    EXPECT_EQ(m_reader.command(0), 0);
}

TEST_F(VcdReaderTest, WaitsPlayTimesAndPause)
{
    ASSERT_TRUE(m_reader.open(m_menu, m_album, true));
    ASSERT_EQ(m_reader.command(1), 1); // the play list: wait 5 s, play time 3 s
    EXPECT_EQ(after(0), 526);

    // Paused, Default resumes rather than following the default link.
    EXPECT_FALSE(m_reader.resume());
    ASSERT_TRUE(m_reader.pause());
    EXPECT_FALSE(m_reader.pause());
    EXPECT_EQ(m_reader.state(), 529);
    ASSERT_TRUE(m_reader.resume());
    EXPECT_EQ(m_play.resumes, 1);
    m_play.pauseUnit();
    EXPECT_EQ(after(0), 529);
    ASSERT_EQ(m_reader.command(VcdReader::kSelectDefault), 1);
    EXPECT_EQ(m_play.resumes, 2);
    EXPECT_EQ(m_reader.descriptorOffset(), 0x0006);

    // The play time stops the item; the last picture is held for the wait.
    playedTo(2999);
    EXPECT_EQ(m_play.stops, 0);
    EXPECT_EQ(playedTo(3001), 526);
    EXPECT_EQ(m_play.stops, 1);
    EXPECT_EQ(after(4999), 526);
    EXPECT_EQ(after(1), 525);

    // The next item counts its wait afresh from its own end.
    ASSERT_EQ(m_reader.command(VcdReader::kNextItem), 1);
    EXPECT_EQ(after(0), 526);
    m_play.finish();
    EXPECT_EQ(after(1000), 526);
    EXPECT_EQ(after(4999), 526);
    EXPECT_EQ(after(1), 525);

    // Wait 255: for ever, until the user moves on.
    ASSERT_EQ(m_reader.command(VcdReader::kNextList), 1);
    EXPECT_EQ(m_reader.descriptorOffset(), 0x0009);
    unitEnds();
    EXPECT_EQ(after(10LL * 3600 * 1000), 526);
    ASSERT_EQ(m_reader.command(VcdReader::kReturn), 1);
    EXPECT_EQ(m_reader.descriptorOffset(), 0x0000);
}

TEST_F(VcdReaderTest, ASelectionListLoopsThenFollowsItsTimeOut)
{
    ASSERT_TRUE(m_reader.open(m_menu, m_album, true));
    ASSERT_EQ(m_reader.command(0), 1);
    // Loop count 3: the first two ends go straight on to playing the item again.
    for (int round = 1; round <= 2; ++round) {
        EXPECT_EQ(unitEnds(), 525) << round;
        EXPECT_EQ(go(VcdReader::kNextItem), "1: MPEGAV/AVSEQ02.DAT from 0 at 0x0000");
    }
    EXPECT_EQ(m_play.played.size(), 3u);
    EXPECT_EQ(m_reader.loopCounter(), 3);
    // After the third, the time-out (5 s) runs, then the time-out list follows.
    EXPECT_EQ(unitEnds(), 526);
    EXPECT_EQ(after(4999), 526);
    EXPECT_EQ(after(1), 525);
    EXPECT_EQ(go(VcdReader::kNextItem), "1: MPEGAV/AVSEQ02.DAT from 0 at 0x0009");
    EXPECT_EQ(m_play.played.size(), 4u);
    EXPECT_TRUE(m_randomAsked.empty());
}

TEST_F(VcdReaderTest, SegmentsAndASelectionBaseAboveOne)
{
    const std::string disc = segmentDisc();
    ASSERT_FALSE(disc.empty());
    ASSERT_TRUE(m_reader.open(disc, m_album, true)) << m_reader.failureText();
    // Base selection 2: one empty song before the selection numbers.
    EXPECT_EQ(titles(m_album), (std::vector<std::string>{"", "2"}));
    EXPECT_EQ(go(0), "1: SEGMENT/ITEM0001.DAT from 0 at 0x0000");
    EXPECT_EQ(m_reader.lengthMs(), 0);
    EXPECT_FALSE(m_reader.sequenceUnit());
    EXPECT_FALSE(m_reader.pause());
    EXPECT_EQ(m_reader.command(1), 0);
    // Loop count 1 and no time-out time: the end goes straight on to the time-out list.
    EXPECT_EQ(unitEnds(), 525);
    EXPECT_EQ(go(VcdReader::kNextItem), "1: MPEGAV/AVSEQ01.DAT from 0 at 0x0006");
    EXPECT_TRUE(m_reader.sequenceUnit());
    EXPECT_EQ(go(VcdReader::kNextItem), "1: SEGMENT/ITEM0001.DAT from 0 at 0x0006");
    // The selection by its number, 2.
    ASSERT_EQ(m_reader.command(VcdReader::kPreviousList), 1);
    ASSERT_EQ(m_reader.command(2), 1);
    EXPECT_EQ(m_reader.descriptorOffset(), 0x0006);
}

TEST_F(VcdReaderTest, WithoutATimeOutListASelectionIsDrawn)
{
    const std::string disc = copyDisc(m_menu, "random-timeout");
    // The menu's time-out offset (bytes 14-15 of the list at 0) set to none.
    ASSERT_TRUE(patchForm1(disc, psdSector(disc), 14, "\xFF\xFF"));
    ASSERT_TRUE(m_reader.open(disc, m_album, true)) << m_reader.failureText();
    EXPECT_EQ(m_reader.descriptor().timeoutOffset, 0xFFFF);
    m_randomAnswer = 0;
    ASSERT_EQ(m_reader.command(0), 1);
    for (int i = 0; i < 3; ++i)
        m_reader.command(VcdReader::kNextItem);
    EXPECT_EQ(m_randomAsked, std::vector<int>{2});
    EXPECT_EQ(m_reader.descriptorOffset(), 0x0006);

    ASSERT_EQ(m_reader.command(VcdReader::kReturn), 1);
    m_randomAnswer = 1;
    for (int i = 0; i < 3; ++i)
        m_reader.command(VcdReader::kNextItem);
    EXPECT_EQ(m_reader.descriptorOffset(), 0x0009);
}

TEST_F(VcdReaderTest, DamagedPlaySequencesStopWithAReason)
{
    // A link beyond the end of the play-sequence file leads back to its start.
    const std::string beyond = copyDisc(m_menu, "beyond");
    ASSERT_TRUE(patchForm1(beyond, psdSector(beyond), 48 + 6, "\x0F\xFF"));
    ASSERT_TRUE(m_reader.open(beyond, m_album, true)) << m_reader.failureText();
    ASSERT_EQ(m_reader.command(1), 1);
    ASSERT_EQ(m_reader.command(VcdReader::kNextList), 1);
    EXPECT_EQ(m_reader.descriptorOffset(), 0x0000);
    EXPECT_EQ(m_reader.mode(), VcdReader::ModeSelection);
    EXPECT_THAT(m_reader.failureText(), HasSubstr("beyond the end of the file (96 bytes)"));

    // Two play lists of items that cannot be played, each the other's next: the automatic
    // moves end where they began instead of going round for ever.
    const std::string circle = copyDisc(m_menu, "circle");
    const int sector = psdSector(circle);
    ASSERT_TRUE(patchForm1(circle, sector, 48 + 6, std::string("\x00\x09", 2)));
    ASSERT_TRUE(patchForm1(circle, sector, 48 + 14, std::string(6, '\0')));
    ASSERT_TRUE(patchForm1(circle, sector, 72 + 6, std::string("\x00\x06", 2)));
    ASSERT_TRUE(patchForm1(circle, sector, 72 + 14, std::string(2, '\0')));
    m_reader.close();
    m_play.played.clear();
    ASSERT_TRUE(m_reader.open(circle, m_album, true)) << m_reader.failureText();
    EXPECT_EQ(m_reader.command(1), 0);
    int moves = 0;
    for (int tick = 0; tick < 50; ++tick) {
        m_reader.poll();
        if (m_reader.state() == 525)
            moves += m_reader.command(VcdReader::kNextItem);
    }
    EXPECT_EQ(moves, 0);
    EXPECT_TRUE(m_play.played.empty());
    EXPECT_THAT(m_reader.failureText(), HasSubstr("leads back to the descriptor at 0x0006"));
    // The user can still go elsewhere.
    EXPECT_EQ(m_reader.command(VcdReader::kReturn), 1);
    EXPECT_EQ(m_reader.descriptorOffset(), 0x0000);

    // INFO.VCD gives a play sequence the disc does not have: a zero-length PSD.
    const std::string tracksOnly = tracksDisc("plain", {clip("one", 2, 440)});
    ASSERT_FALSE(tracksOnly.empty());
    const std::string noPsd = copyDisc(tracksOnly, "no-psd");
    ASSERT_TRUE(
        patchForm1(noPsd, fileSector(noPsd, "INFO.VCD"), 44, std::string("\x00\x00\x00\x48", 4)));
    m_reader.close();
    EXPECT_FALSE(m_reader.open(noPsd, m_album, true));
    EXPECT_THAT(m_reader.failureText(),
                HasSubstr("the play-sequence file VCD/PSD.VCD is missing or empty"));
    EXPECT_FALSE(m_reader.isOpen());

    // The same in the folder of a copied disc, where PSD.VCD is there with nothing in it.
    const std::string dir = folderDisc("empty-psd", noPsd, {clip("one", 2, 440)});
    ASSERT_TRUE(writeBytes(dir + "/VCD/PSD.VCD", ""));
    EXPECT_FALSE(m_reader.open(dir, m_album, true));
    EXPECT_THAT(m_reader.failureText(),
                HasSubstr("the play-sequence file VCD/PSD.VCD is missing or empty"));

    // The plain disc itself plays its one track.
    ASSERT_TRUE(m_reader.open(tracksOnly, m_album, true)) << m_reader.failureText();
    EXPECT_EQ(titles(m_album), std::vector<std::string>{"1"});
}

TEST_F(VcdReaderTest, HostilePlaySequencesNeitherHangNorLeaveTheDisc)
{
    // Each input of the play-sequence fuzz corpus as the PSD.VCD of a copied disc (its first
    // byte the offset multiplier), driven through every command with the clock running on.
    const std::string corpus = std::string(KOLVO_SOURCE_DIR) + "/tests/fuzz/corpus/fuzz_vcd_psd";
    const QStringList names = QDir(QString::fromStdString(corpus)).entryList(QDir::Files);
    ASSERT_FALSE(names.isEmpty());
    const std::string dir =
        folderDisc("hostile", m_menu, {clip("one", 2, 440), clip("two", 2, 880)});
    ASSERT_FALSE(dir.empty());
    const std::string info = bytesOf(dir + "/VCD/INFO.VCD");
    int opened = 0;
    for (int i = 0; i < names.size(); i += std::max(1, static_cast<int>(names.size()) / 60)) {
        const std::string input = bytesOf(corpus + "/" + names[i].toStdString());
        if (input.empty())
            continue;
        SCOPED_TRACE(names[i].toStdString());
        std::string patched = info;
        const std::uint32_t size = static_cast<std::uint32_t>(input.size() - 1);
        patched[43] = 0;
        for (int i = 0; i < 4; ++i)
            patched[44 + i] = static_cast<char>(size >> (24 - 8 * i));
        patched[51] = input[0];
        ASSERT_TRUE(writeBytes(dir + "/VCD/INFO.VCD", patched));
        ASSERT_TRUE(writeBytes(dir + "/VCD/PSD.VCD", input.substr(1)));
        m_reader.close();
        if (!m_reader.open(dir, m_album, true)) {
            EXPECT_FALSE(m_reader.failureText().empty());
            continue;
        }
        ++opened;
        for (int command : {0, -10, -10, -10, -10, 1, 2, 3, -3, -4, -2, -1, -11, -10, 0}) {
            m_reader.command(command);
            m_play.finish();
            m_clock.now += 3000000;
            m_reader.poll();
            m_reader.poll();
        }
        for (const VcdUnit& u : m_play.played)
            EXPECT_TRUE(u.file.rfind("MPEGAV/", 0) == 0 || u.file.rfind("SEGMENT/", 0) == 0)
                << u.file;
        m_play.played.clear();
    }
    EXPECT_GT(opened, 0);
}
