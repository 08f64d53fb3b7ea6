#include "platform/placement.h"
#include "platform/profile.h"
#include "players/lyricviewer.h"
#include "support/testhome.h"

#include <QTextBlock>
#include <QTextDocument>

namespace {

class LyricViewerTest : public KolvoHomeTest
{};

} // namespace

TEST_F(LyricViewerTest, RichTextComesBeforePlainText)
{
    const std::string song = writeFile("music/song.mp3", "");
    writeFile("music/song.txt", "plain words");
    writeFile("music/song.rtf", R"({\rtf1 {\b rich} words})");
    LyricViewer viewer(3);
    EXPECT_EQ(viewer.showLyric(song), 1);
    EXPECT_TRUE(viewer.isVisible());
    EXPECT_TRUE(viewer.isRichText());
    EXPECT_EQ(viewer.title(), QStringLiteral("song.rtf"));
    EXPECT_EQ(viewer.document()->toPlainText(), QStringLiteral("rich words"));
    const QTextCharFormat bold = viewer.document()->begin().begin().fragment().charFormat();
    EXPECT_EQ(bold.fontWeight(), QFont::Bold);

    viewer.clearLyric();
    EXPECT_FALSE(viewer.isVisible());
    EXPECT_EQ(viewer.title(), QString());

    // A plain lyric after a large bold rich one is shown in the viewer's own font.
    writeFile("music/loud.rtf", R"({\rtf1 \fs72\b SHOUTED})");
    const std::string loud = writeFile("music/loud.mp3", "");
    const std::string quiet = writeFile("music/quiet.mp3", "");
    writeFile("music/quiet.txt", "whispered");
    viewer.showLyric(loud);
    ASSERT_EQ(viewer.document()->begin().begin().fragment().charFormat().fontPointSize(), 36);
    viewer.showLyric(quiet);
    const QTextCharFormat plain = viewer.document()->begin().begin().fragment().charFormat();
    EXPECT_NE(plain.fontPointSize(), 36) << "the rich lyric's size stays with it";
    EXPECT_NE(plain.fontWeight(), QFont::Bold);
}

TEST_F(LyricViewerTest, PlainTextIsWhiteOnBlackInAnyEncoding)
{
    const std::string song = writeFile("music/노래.wav", "");
    writeFile("music/노래.txt", "\xc7\xd1\xb1\xdb \xb0\xa1\xbb\xe7"); // CP949, not UTF-8
    setenv("KOLVO_CODEPAGE", "CP949", 1);
    LyricViewer viewer(1);
    viewer.showLyric(song);
    unsetenv("KOLVO_CODEPAGE");
    EXPECT_FALSE(viewer.isRichText());
    EXPECT_EQ(viewer.document()->toPlainText(), QStringLiteral("한글 가사"));
    EXPECT_EQ(viewer.title(), QStringLiteral("노래.txt"));
    const auto* browser = viewer.findChild<QWidget*>();
    ASSERT_NE(browser, nullptr);
    EXPECT_EQ(browser->palette().color(QPalette::Base), QColor(Qt::black));
    EXPECT_EQ(browser->palette().color(QPalette::Text), QColor(Qt::white));
}

TEST_F(LyricViewerTest, ASongWithoutLyricsChangesNothing)
{
    const std::string first = writeFile("a/one.mp3", "");
    writeFile("a/one.txt", "first lyric");
    const std::string second = writeFile("a/two.mp3", "");
    LyricViewer viewer(1);
    viewer.showLyric(first);
    EXPECT_EQ(viewer.showLyric(second), 1);
    EXPECT_EQ(viewer.title(), QStringLiteral("one.txt"));
    EXPECT_EQ(viewer.document()->toPlainText(), QStringLiteral("first lyric"));
}

TEST_F(LyricViewerTest, LyricFilesAreFoundWhateverTheCaseOfTheirNames)
{
    const std::string song = writeFile("music/Song.wav", "");
    writeFile("music/Song.TXT", "shouted extension");
    LyricViewer viewer(1);
    viewer.showLyric(song);
    EXPECT_TRUE(viewer.isVisible());
    EXPECT_FALSE(viewer.isRichText());
    EXPECT_EQ(viewer.title(), QStringLiteral("Song.TXT"));
    EXPECT_EQ(viewer.document()->toPlainText(), QStringLiteral("shouted extension"));

    // Rich text still comes first, and the exact name before any other spelling.
    const std::string other = writeFile("music/Other.mp3", "");
    writeFile("music/Other.txt", "plain");
    writeFile("music/OTHER.Rtf", R"({\rtf1 rich})");
    viewer.showLyric(other);
    EXPECT_TRUE(viewer.isRichText());
    EXPECT_EQ(viewer.title(), QStringLiteral("OTHER.Rtf"));
    const std::string third = writeFile("music/Third.mp3", "");
    writeFile("music/THIRD.TXT", "another spelling");
    writeFile("music/Third.txt", "exact");
    viewer.showLyric(third);
    EXPECT_EQ(viewer.document()->toPlainText(), QStringLiteral("exact"));
    // A folder that only looks like a lyric is none.
    const std::string fourth = writeFile("music/Fourth.mp3", "");
    writeFile("music/fourth.rtf/inside", "");
    writeFile("music/FOURTH.txt", "the text file");
    viewer.showLyric(fourth);
    EXPECT_EQ(viewer.title(), QStringLiteral("FOURTH.txt"));
}

TEST_F(LyricViewerTest, ItsRectangleIsRememberedAndKeptOnScreen)
{
    const QRect area = DesktopWorkArea();
    {
        LyricViewer viewer(2);
        EXPECT_EQ(viewer.size(), QSize(320, 400)) << "never saved: the default";
        EXPECT_EQ(viewer.geometry().center().x(), area.center().x());
        viewer.setGeometry(area.left() + 10, area.top() + 20, 300, 200);
    }
    Profile profile;
    EXPECT_EQ(profile.GetProfileInt("LyricViewer_2", "Left", -1), area.left() + 10);
    EXPECT_EQ(profile.GetProfileInt("LyricViewer_2", "Bottom", -1), area.top() + 220);
    {
        LyricViewer viewer(2);
        EXPECT_EQ(viewer.geometry(), QRect(area.left() + 10, area.top() + 20, 300, 200));
    }
    // Saved off screen: back to 320 x 400 in the middle of the work area.
    WriteWindowRect(profile, "LyricViewer_2", QRect(area.right() + 500, 10, 300, 200));
    profile.sync();
    LyricViewer viewer(2);
    EXPECT_EQ(viewer.size(), QSize(320, 400));
    EXPECT_EQ(viewer.geometry().center(), QRect(area.left() + (area.width() - 320) / 2,
                                                area.top() + (area.height() - 400) / 2, 320, 400)
                                              .center());
}
