// Folder scans for the file album editor on trees made here: the order a person sees, hidden
// entries, the album kind's files only, link loops and dangling links, names an album cannot
// keep, folders that cannot be read, and cancelling.
#include "albumtesting.h"

#include "albums/folderscan.h"

#include <cstring>

namespace {

class FolderScanTest : public KolvoHomeTest
{
protected:
    void SetUp() override
    {
        KolvoHomeTest::SetUp();
        setInterfaceLanguage("en");
    }
    void TearDown() override
    {
        setInterfaceLanguage("");
        KolvoHomeTest::TearDown();
    }

    std::string touch(const std::string& relative) { return writeFile(relative, "x"); }
    // By the name's own bytes: Qt would turn a name that is not UTF-8 into another name.
    void mkdir(const std::string& relative)
    {
        ASSERT_EQ(::mkdir(homePath(relative).c_str(), 0755), 0) << relative;
    }
    void link(const std::string& target, const std::string& relative)
    {
        ASSERT_EQ(::symlink(target.c_str(), homePath(relative).c_str()), 0) << relative;
    }

    // The files found, relative to the home.
    std::vector<std::string> relative(const FolderScanResult& r)
    {
        std::vector<std::string> out;
        for (const std::string& f : r.files)
            out.push_back(f.substr(home().size() + 1));
        return out;
    }
};

} // namespace

TEST_F(FolderScanTest, NameOrderWithSubFoldersInPlaceHiddenAndOtherKindsLeftOut)
{
    for (const char* f : {"m/b.wav", "m/A.wav", "m/sub/x.mp3", "m/sub/.hidden.wav", "m/z.wav",
                          "m/Track 10.wav", "m/Track 2.wav", "m/Track 02b.wav", "m/.secret/s.wav",
                          "m/notes.txt", "m/list.m3u", "m/tune.mid", "m/noext"})
        touch(f);
    const FolderScanResult tree = ScanFolder(AlbumKindAudio, homePath("m") + "/", true);
    EXPECT_EQ(relative(tree),
              (std::vector<std::string>{"m/A.wav", "m/b.wav", "m/sub/x.mp3", "m/Track 2.wav",
                                        "m/Track 02b.wav", "m/Track 10.wav", "m/z.wav"}))
        << "names without regard to case, numbers by value, the sub-folder's files in its place";
    EXPECT_TRUE(tree.problems.empty());
    EXPECT_FALSE(tree.cancelled);

    const FolderScanResult flat = ScanFolder(AlbumKindAudio, homePath("m"), false);
    EXPECT_EQ(relative(flat),
              (std::vector<std::string>{"m/A.wav", "m/b.wav", "m/Track 2.wav", "m/Track 02b.wav",
                                        "m/Track 10.wav", "m/z.wav"}));
    EXPECT_EQ(relative(ScanFolder(AlbumKindMidi, homePath("m"), true)),
              std::vector<std::string>{"m/tune.mid"});
}

TEST_F(FolderScanTest, LinksAreFollowedOnceAndADanglingSongIsTold)
{
    touch("t/a.wav");
    touch("t/sub/c.wav");
    link(homePath("t"), "t/sub/up");           // a loop back to the top
    link(homePath("t/sub"), "t/again");        // a second way into sub
    link(homePath("t/a.wav"), "t/b-link.wav"); // a link to a song is a song
    link(homePath("gone/nothing.wav"), "t/dangling.wav");
    link(homePath("gone/nothing.txt"), "t/dangling.txt"); // not a song: nothing to tell
    const FolderScanResult r = ScanFolder(AlbumKindAudio, homePath("t"), true);
    EXPECT_EQ(relative(r), (std::vector<std::string>{"t/a.wav", "t/again/c.wav", "t/b-link.wav"}))
        << "sub is read once, through the first link met";
    ASSERT_EQ(r.problems.size(), 1u);
    EXPECT_EQ(r.problems[0].path, homePath("t/dangling.wav"));
    EXPECT_EQ(r.problems[0].reason, std::strerror(ENOENT));
}

TEST_F(FolderScanTest, NamesAnAlbumCannotKeepAreToldNotTaken)
{
    touch("n/good.wav");
    mkdir("n/bad\xff dir");
    // The temporary home is removed through Qt, which cannot name these: they go here.
    struct Cleanup
    {
        std::vector<std::string> paths;
        ~Cleanup()
        {
            for (const std::string& p : paths)
                ::remove(p.c_str());
        }
    } cleanup{{homePath("n/bad\xff dir/inside.wav"), homePath("n/bad\xff dir"),
               homePath("n/latin\xe9.wav")}};
    touch("n/bad\xff dir/inside.wav");
    touch("n/latin\xe9.wav");
    touch("n/two\nlines.wav");
    EXPECT_FALSE(IsStorableSongPath("a\xff.wav"));
    EXPECT_FALSE(IsStorableSongPath("a\fb.wav"));
    EXPECT_TRUE(IsStorableSongPath("/m\xc3\xbasica/\xed\x95\x9c.wav"));
    const FolderScanResult r = ScanFolder(AlbumKindAudio, homePath("n"), true);
    EXPECT_EQ(relative(r), std::vector<std::string>{"n/good.wav"});
    std::vector<std::string> told;
    for (const FolderScanProblem& p : r.problems) {
        told.push_back(p.path.substr(home().size() + 1));
        EXPECT_EQ(p.reason, "the name is not text an album can keep");
    }
    std::sort(told.begin(), told.end());
    EXPECT_EQ(told,
              (std::vector<std::string>{"n/bad\xff dir", "n/latin\xe9.wav", "n/two\nlines.wav"}))
        << "a folder with such a name is told once, not file by file";
}

TEST_F(FolderScanTest, AFolderThatCannotBeReadIsToldAndTheRestTaken)
{
    touch("r/a.wav");
    touch("r/locked/hidden-from-us.wav");
    touch("r/z.wav");
    ASSERT_EQ(::chmod(homePath("r/locked").c_str(), 0), 0);
    albumtest::AsNobody nobody(homePath("r/locked"), home());
    const FolderScanResult r = ScanFolder(AlbumKindAudio, homePath("r"), true);
    const FolderScanResult top = ScanFolder(AlbumKindAudio, homePath("r/locked"), false);
    nobody.back();
    ::chmod(homePath("r/locked").c_str(), 0755);
    EXPECT_EQ(relative(r), (std::vector<std::string>{"r/a.wav", "r/z.wav"}));
    ASSERT_EQ(r.problems.size(), 1u);
    EXPECT_EQ(r.problems[0].path, homePath("r/locked"));
    EXPECT_EQ(r.problems[0].reason, std::strerror(EACCES));
    EXPECT_TRUE(top.files.empty());
    ASSERT_EQ(top.problems.size(), 1u) << "the folder asked for, too";
}

TEST_F(FolderScanTest, ACancelledScanStopsAndSaysSo)
{
    for (int i = 0; i < 50; ++i)
        touch("c/" + std::to_string(i) + ".wav");
    FolderScanControl control;
    const FolderScanResult whole = ScanFolder(AlbumKindAudio, homePath("c"), true, &control);
    EXPECT_EQ(whole.files.size(), 50u);
    EXPECT_EQ(control.found(), 50u);
    EXPECT_EQ(relative(whole)[9], "c/9.wav");
    EXPECT_EQ(relative(whole)[10], "c/10.wav");
    control.cancel();
    const FolderScanResult cut = ScanFolder(AlbumKindAudio, homePath("c"), true, &control);
    EXPECT_TRUE(cut.cancelled);
    EXPECT_TRUE(cut.files.empty());
}
