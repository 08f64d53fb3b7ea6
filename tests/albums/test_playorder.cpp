// Songs in memory and the play order through them under every method and repeat mode.

#include "albumtesting.h"

#include <thread>

namespace {

Album withSongs(int n)
{
    Album a(AlbumKindAudio);
    for (int i = 1; i <= n; ++i)
        a.AddSong("/music/" + std::to_string(i) + ".mp3");
    return a;
}

std::vector<int> nexts(Album& a, PlayMethod m, RepeatMode r, int count, bool forced = false)
{
    std::vector<int> out;
    for (int i = 0; i < count; ++i)
        out.push_back(a.Next(m, r, forced));
    return out;
}

} // namespace

TEST(RandomPicker, TheClassicGenerator)
{
    RandomPicker::seed(1);
    std::vector<int> values;
    for (int i = 0; i < 5; ++i)
        values.push_back(RandomPicker::nextValue());
    EXPECT_EQ(values, (std::vector<int>{41, 18467, 6334, 26500, 19169}));
    // Each thread has its own state.
    RandomPicker::seed(1);
    int other = -1;
    std::thread([&other] {
        RandomPicker::seed(2);
        other = RandomPicker::nextValue();
    }).join();
    EXPECT_EQ(RandomPicker::nextValue(), 41);
    EXPECT_EQ(other, 45);
}

TEST(RandomPicker, DrawsWithoutRepeatingUntilAllAreDrawn)
{
    RandomPicker p;
    EXPECT_EQ(p.draw(10), -1) << "no songs";
    p.resize(5);
    RandomPicker::seed(7);
    std::set<int> seen;
    for (int i = 0; i < 5; ++i) {
        const int r = p.draw(5);
        ASSERT_GE(r, 0);
        EXPECT_TRUE(seen.insert(r).second) << r;
    }
    EXPECT_EQ(p.draw(5), -1) << "all drawn: cleared, nothing this time";
    EXPECT_FALSE(p.isDrawn(0));
    EXPECT_GE(p.draw(5), 0);
    // Resizing keeps the flags; the new slot is undrawn.
    p.clear();
    RandomPicker::seed(7);
    const int first = p.draw(5);
    p.resize(6);
    EXPECT_TRUE(p.isDrawn(first));
    EXPECT_FALSE(p.isDrawn(5));
    // A limit below the size keeps the draw among the first slots.
    p.clear();
    for (int i = 0; i < 50; ++i) {
        const int r = p.draw(2);
        EXPECT_LT(r, 2);
    }
}

TEST(PlayOrder, NormalAndItsRepeatModes)
{
    Album a = withSongs(3);
    EXPECT_EQ(nexts(a, PlayMethodNormal, RepeatModeNoRepeat, 4), (std::vector<int>{1, 2, 3, 0}));
    EXPECT_EQ(a.currentSong(), 0);
    a.setCurrentSong(3);
    EXPECT_EQ(a.Next(PlayMethodNormal, RepeatModeRepeatFromLast, false), 1);
    EXPECT_EQ(a.Previous(PlayMethodNormal, RepeatModeRepeatFromLast, false), 3);
    EXPECT_EQ(a.Previous(PlayMethodNormal, RepeatModeNoRepeat, false), 2);
    a.setCurrentSong(1);
    EXPECT_EQ(a.Previous(PlayMethodNormal, RepeatModeNoRepeat, false), 0);
    EXPECT_EQ(a.currentSong(), 0);

    // Repeat this song: the same song until forced on.
    a.setCurrentSong(2);
    EXPECT_EQ(a.Next(PlayMethodNormal, RepeatModeRepeatThisSong, false), 2);
    EXPECT_EQ(a.Previous(PlayMethodNormal, RepeatModeRepeatThisSong, false), 2);
    EXPECT_EQ(a.Next(PlayMethodNormal, RepeatModeRepeatThisSong, true), 3);
    EXPECT_EQ(a.Previous(PlayMethodNormal, RepeatModeRepeatThisSong, true), 2);
    EXPECT_EQ(a.Current(PlayMethodNormal), 2);

    // No songs: past the end is the start again under repeat-from-last, even in an empty
    // album; without repeat it is the end.
    Album empty(AlbumKindAudio);
    EXPECT_EQ(empty.Next(PlayMethodNormal, RepeatModeRepeatFromLast, false), 1);
    EXPECT_EQ(empty.currentSong(), 1);
    empty.setCurrentSong(0);
    EXPECT_EQ(empty.Next(PlayMethodNormal, RepeatModeNoRepeat, false), 0);
}

TEST(PlayOrder, ThisTrackOnly)
{
    Album a = withSongs(3);
    a.setCurrentSong(2);
    a.setProgramPosition(1);
    EXPECT_EQ(a.Next(PlayMethodThisTrackOnly, RepeatModeRepeatThisSong, false), 0)
        << "ends even under repeat-this-song";
    EXPECT_EQ(a.currentSong(), 0);
    EXPECT_EQ(a.programPosition(), 0);
    a.setCurrentSong(2);
    EXPECT_EQ(a.Next(PlayMethodThisTrackOnly, RepeatModeNoRepeat, true), 3);
    EXPECT_EQ(a.Next(PlayMethodThisTrackOnly, RepeatModeRepeatFromLast, true), 1);
    EXPECT_EQ(a.Previous(PlayMethodThisTrackOnly, RepeatModeNoRepeat, false), 0);
    a.setCurrentSong(2);
    EXPECT_EQ(a.Previous(PlayMethodThisTrackOnly, RepeatModeRepeatThisSong, false), 2)
        << "repeat-this-song is looked at first going back";
    EXPECT_EQ(a.Previous(PlayMethodThisTrackOnly, RepeatModeNoRepeat, true), 1);
}

TEST(PlayOrder, Program)
{
    Album a = withSongs(4);
    a.setProgram({3, 1, 3});
    EXPECT_EQ(nexts(a, PlayMethodProgram, RepeatModeNoRepeat, 4), (std::vector<int>{3, 1, 3, 0}));
    EXPECT_EQ(a.programPosition(), 0);
    EXPECT_EQ(nexts(a, PlayMethodProgram, RepeatModeRepeatFromLast, 5),
              (std::vector<int>{3, 1, 3, 3, 1}));
    EXPECT_EQ(a.programPosition(), 2);
    EXPECT_EQ(a.Previous(PlayMethodProgram, RepeatModeNoRepeat, false), 3);
    EXPECT_EQ(a.Previous(PlayMethodProgram, RepeatModeNoRepeat, false), 0);
    a.setProgramPosition(1);
    EXPECT_EQ(a.Previous(PlayMethodProgram, RepeatModeRepeatFromLast, false), 3);
    EXPECT_EQ(a.programPosition(), 3);

    // Current picks the program entry at the position, or the first one.
    a.setCurrentSong(0);
    a.setProgramPosition(2);
    EXPECT_EQ(a.Current(PlayMethodProgram), 1);
    a.setCurrentSong(0);
    a.setProgramPosition(0);
    EXPECT_EQ(a.Current(PlayMethodProgram), 3);
    EXPECT_EQ(a.programPosition(), 1);

    // Without a program, Program plays like Normal.
    a.setProgram({});
    a.setCurrentSong(0);
    EXPECT_EQ(nexts(a, PlayMethodProgram, RepeatModeNoRepeat, 5),
              (std::vector<int>{1, 2, 3, 4, 0}));
}

TEST(PlayOrder, RandomCyclesThroughEverySongOnce)
{
    Album a = withSongs(3);
    a.ResetPlay();
    RandomPicker::seed(1);
    // 41 % 3 = 2 -> song 3; 18467 % 3 = 2 is drawn, so the lowest undrawn (song 1);
    // 6334 % 3 = 1 -> song 2. Then 26500 % 3 = 1 is drawn and all are: the cycle ends.
    EXPECT_EQ(nexts(a, PlayMethodRandom, RepeatModeNoRepeat, 4), (std::vector<int>{3, 1, 2, 0}));

    Album b = withSongs(5);
    b.ResetPlay();
    RandomPicker::seed(12345);
    for (int cycle = 0; cycle < 20; ++cycle) {
        std::set<int> seen;
        for (int i = 0; i < 5; ++i) {
            const int s = b.Next(PlayMethodRandom, RepeatModeRepeatFromLast, false);
            ASSERT_GE(s, 1);
            ASSERT_LE(s, 5);
            EXPECT_TRUE(seen.insert(s).second) << "cycle " << cycle << " repeated " << s;
        }
    }
    // Current draws the first song when there is none.
    Album c = withSongs(4);
    EXPECT_EQ(c.currentSong(), 0);
    const int first = c.Current(PlayMethodRandom);
    EXPECT_GE(first, 1);
    EXPECT_EQ(c.Current(PlayMethodRandom), first);
}

TEST(PlayOrder, RandomHistoryGoesBackNinetyNineSteps)
{
    Album a = withSongs(7);
    std::vector<int> played;
    for (int i = 0; i < 101; ++i)
        played.push_back(a.Next(PlayMethodRandom, RepeatModeRepeatFromLast, false));
    EXPECT_EQ(a.randomHistory().size(), 100u);
    EXPECT_EQ(a.historyPosition(), 99);
    for (int back = 1; back <= 99; ++back)
        ASSERT_EQ(a.Previous(PlayMethodRandom, RepeatModeNoRepeat, false), played[100 - back])
            << back;
    EXPECT_EQ(a.Previous(PlayMethodRandom, RepeatModeNoRepeat, false), 0);
    EXPECT_EQ(a.historyPosition(), -1);
    // Forward again through the songs gone back over, in the same order (the first song
    // played has left the history).
    for (int i = 1; i <= 20; ++i)
        ASSERT_EQ(a.Next(PlayMethodRandom, RepeatModeNoRepeat, false), played[i]) << i;
    // ResetPlay keeps the history.
    a.ResetPlay();
    EXPECT_EQ(a.randomHistory().size(), 100u);
    a.Close();
    EXPECT_TRUE(a.randomHistory().empty());
    EXPECT_EQ(a.historyPosition(), -1);
}

TEST(PlayOrder, RandomNeverPlaysASongThatWasRemoved)
{
    Album a = withSongs(10);
    a.RemoveSongs(4, 6);
    EXPECT_EQ(a.songCount(), 4);
    EXPECT_EQ(a.randomPicker().size(), 10) << "the picker keeps its old size";
    for (int i = 0; i < 200; ++i) {
        const int s = a.Next(PlayMethodRandom, RepeatModeRepeatFromLast, false);
        ASSERT_GE(s, 1);
        ASSERT_LE(s, 4);
    }
}

TEST(Songs, AddRemoveFindAndTheProgram)
{
    Album a = withSongs(5);
    EXPECT_EQ(a.GetSong(0), nullptr);
    EXPECT_EQ(a.GetSong(6), nullptr);
    a.RemoveSongs(2, 2);
    ASSERT_EQ(a.songCount(), 3);
    EXPECT_EQ(a.GetSong(2)->title, "/music/4.mp3");
    EXPECT_EQ(a.GetSong(2)->number, 4) << "numbers are not renumbered";
    EXPECT_EQ(a.AddSong("/music/new.mp3").number, 4);
    a.RemoveSongs(0, 1);
    a.RemoveSongs(5, 1);
    a.RemoveSongs(3, 100);
    EXPECT_EQ(a.songCount(), 2);

    int pos = 0;
    ASSERT_NE(a.FindSong("/MUSIC/4.MP3", &pos), nullptr);
    EXPECT_EQ(pos, 2);
    EXPECT_EQ(a.FindSong("/music/2.mp3"), nullptr);
    a.AddSong("/musik/\xc3\x84rger.mp3");
    EXPECT_NE(a.FindSong("/MUSIK/\xc3\xa4RGER.MP3"), nullptr) << "case folding beyond ASCII";

    a.setProgram({3, 0, 1, 9, 3, -1});
    EXPECT_TRUE(a.IsInProgram(9));
    EXPECT_FALSE(a.IsInProgram(2));
    a.setProgramPosition(4);
    a.CleanProgram();
    EXPECT_EQ(a.program(), (std::vector<int32_t>{3, 1, 3}));
    EXPECT_EQ(a.programPosition(), 0);
}

TEST(Songs, BlankAlbums)
{
    Album a(AlbumKindCd);
    EXPECT_TRUE(a.IsBlank());
    a.AddSong("");
    a.AddSong("", "", 1000, 150);
    a.setGenre("rock");
    EXPECT_TRUE(a.IsBlank()) << "genre and times do not count";
    a.GetSong(2)->extendedInfo = "x";
    EXPECT_FALSE(a.IsBlank());
    a.GetSong(2)->extendedInfo.clear();
    a.setArtist("someone");
    EXPECT_FALSE(a.IsBlank());
    a.Close();
    EXPECT_TRUE(a.IsBlank());
    EXPECT_EQ(a.genre(), "");
    EXPECT_EQ(a.songCount(), 0);
}
