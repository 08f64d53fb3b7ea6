#include "platform/msgbox.h"
#include "platform/paths.h"
#include "platform/strings.h"
#include "support/testhome.h"

class PathsTest : public KolvoHomeTest
{};

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
