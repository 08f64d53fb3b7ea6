#include "platform/msgbox.h"
#include "platform/paths.h"
#include "platform/strings.h"
#include "support/testhome.h"

#include <algorithm>

using PathsTest = KolvoHomeTest;

TEST_F(PathsTest, KolvoHomeRelocatesEverything)
{
    EXPECT_EQ(paths::settingsFile(), home() + "/config/Quorvane System, Inc./Kolvo.conf");
    EXPECT_EQ(paths::dataDir(), home() + "/data");
    EXPECT_EQ(paths::tempDir(), home() + "/tmp");
    EXPECT_EQ(paths::skinDirs().front(), home() + "/data/uib");

    unsetenv("KOLVO_HOME");
    setenv("XDG_CONFIG_HOME", (home() + "/xdgc").c_str(), 1);
    setenv("XDG_DATA_HOME", (home() + "/xdgd").c_str(), 1);
    EXPECT_EQ(paths::settingsFile(), home() + "/xdgc/Quorvane System, Inc./Kolvo.conf");
    EXPECT_EQ(paths::dataDir(), home() + "/xdgd/kolvo");
    EXPECT_NE(paths::tempDir().find("/kolvo-"), std::string::npos);
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("XDG_DATA_HOME");
    setenv("KOLVO_HOME", home().c_str(), 1);

    EXPECT_TRUE(paths::ensureDir(home() + "/a/b/c"));
    writeFile("file", "x");
    EXPECT_FALSE(paths::ensureDir(home() + "/file/sub")) << "a file stands in the way";
}

TEST_F(PathsTest, InstalledDataIsFoundBesideTheProgramThenInTheXdgDataDirectories)
{
    // The test binary's bin/../share/kolvo is the build tree's: the program's own prefix.
    const std::vector<std::string> before = paths::installedDataDirs();
    ASSERT_FALSE(before.empty());
    const std::string own = before.front();
    EXPECT_NE(own.find("/share/kolvo"), std::string::npos) << own;

    writeFile("sys1/kolvo/uib/Extra.uib", "x");
    writeFile("sys1/kolvo/banks/only-here.bnk", "1");
    writeFile("sys2/kolvo/banks/only-here.bnk", "2");
    writeFile("user/kolvo/uib/Mine.uib", "x");
    paths::ensureDir(homePath("sys3")); // exists, but holds no kolvo folder: not listed
    setenv(
        "XDG_DATA_DIRS",
        (home() + "/sys1:" + home() + "/missing:" + home() + "/sys3:" + home() + "/sys2").c_str(),
        1);
    setenv("XDG_DATA_HOME", (home() + "/user").c_str(), 1);
    const std::vector<std::string> dirs = paths::installedDataDirs();
    // KOLVO_HOME is set: the user's own XDG data folder stays out.
    EXPECT_EQ(dirs,
              (std::vector<std::string>{own, home() + "/sys1/kolvo", home() + "/sys2/kolvo"}));
    EXPECT_EQ(paths::findInstalledData("banks/only-here.bnk"),
              home() + "/sys1/kolvo/banks/only-here.bnk");
    EXPECT_EQ(paths::findInstalledData("banks/nowhere.bnk"), "");
    EXPECT_EQ(paths::skinDirs(),
              (std::vector<std::string>{home() + "/data/uib", own + "/uib",
                                        home() + "/sys1/kolvo/uib", home() + "/sys2/kolvo/uib"}));

    // Without KOLVO_HOME the user's XDG data folder counts like the others (after the prefix).
    unsetenv("KOLVO_HOME");
    const std::vector<std::string> unrelocated = paths::installedDataDirs();
    EXPECT_NE(std::find(unrelocated.begin(), unrelocated.end(), home() + "/user/kolvo"),
              unrelocated.end());
    setenv("KOLVO_HOME", home().c_str(), 1);
    unsetenv("XDG_DATA_DIRS");
    unsetenv("XDG_DATA_HOME");
}

TEST(MessageBox, CaptionIsTheProgramTitleAndTheAnswerComesBack)
{
    setInterfaceLanguage("en");
    QString caption, text;
    MessageIcon icon = MessageIcon::Question;
    setMessageBoxHook([&](const QString& c, const QString& t, MessageIcon i, MessageButtons) {
        caption = c;
        text = t;
        icon = i;
        return IDNO;
    });
    EXPECT_EQ(KolvoMessageBox(nullptr, QStringLiteral("Disc full"), MessageIcon::Error,
                              MessageButtons::YesNo),
              IDNO);
    EXPECT_EQ(caption, QStringLiteral("Kolvo "));
    EXPECT_EQ(text, QStringLiteral("Disc full"));
    EXPECT_EQ(icon, MessageIcon::Error);
    KolvoMessageBox(nullptr, QStringLiteral("x"), MessageIcon::Information, MessageButtons::Ok,
                    QStringLiteral("Confirm"));
    EXPECT_EQ(caption, QStringLiteral("Confirm"));
    setMessageBoxHook({});
    // Without a user the box answers with its default button instead of waiting.
    setenv("KOLVO_NONINTERACTIVE", "1", 1);
    EXPECT_EQ(
        KolvoMessageBox(nullptr, QStringLiteral("y"), MessageIcon::Question, MessageButtons::YesNo),
        IDYES);
    setInterfaceLanguage("");
}

#include "platform/drives.h"

TEST(Drives, ASongOnOneMediumIsLookedForOnTheOthers)
{
    const std::vector<std::string> mounts{"/media/ann/DISC_A", "/mnt/cdrom", "/run/media/ann/USB"};
    EXPECT_EQ(
        drives::AlternatePaths("/media/ann/DISC_A/music/a.mp3", mounts),
        (std::vector<std::string>{"/mnt/cdrom/music/a.mp3", "/run/media/ann/USB/music/a.mp3"}));
    // The medium it was on has gone: every mounted one is tried.
    EXPECT_EQ(drives::AlternatePaths("/media/bob/OLD/x.wav", mounts),
              (std::vector<std::string>{"/media/ann/DISC_A/x.wav", "/mnt/cdrom/x.wav",
                                        "/run/media/ann/USB/x.wav"}));
    EXPECT_EQ(drives::AlternatePaths("/mnt/cdrom2/y.wav", mounts).size(), 3u);
    // Files that never were on removable media have no alternatives.
    EXPECT_TRUE(drives::AlternatePaths("/home/ann/a.mp3", mounts).empty());
    EXPECT_TRUE(drives::AlternatePaths("/media/ann", mounts).empty());
    EXPECT_TRUE(drives::AlternatePaths("http://radio/x.mp3", mounts).empty());
    // A mount point is a whole folder name, not a prefix of one.
    EXPECT_EQ(drives::AlternatePaths("/mnt/cdromX/z.mp3", {"/mnt/cdrom", "/mnt/usb"}),
              (std::vector<std::string>{"/mnt/cdrom/z.mp3", "/mnt/usb/z.mp3"}));

    setenv("KOLVO_MOUNTS", "/mnt/a:/mnt/b", 1);
    EXPECT_EQ(drives::RemovableMountPoints(), (std::vector<std::string>{"/mnt/a", "/mnt/b"}));
    EXPECT_EQ(drives::AlternatePaths("/mnt/a/s.mp3"), (std::vector<std::string>{"/mnt/b/s.mp3"}));
    unsetenv("KOLVO_MOUNTS");
}
