// The lyric viewer: which lyric file a song has, how it is shown, and where the viewer stands.

#include "platform/placement.h"
#include "platform/profile.h"
#include "players/lyricviewer.h"
#include "support/testhome.h"

#include <QTextBlock>
#include <QTextDocument>

namespace {

class LyricViewerTest : public KolvoHomeTest
{
protected:
    // A song with these lyric files beside it ("name" -> content).
    std::string song(const std::string& path,
                     std::initializer_list<std::pair<const char*, const char*>> lyrics)
    {
        for (const auto& [name, text] : lyrics)
            writeFile(name, text);
        return writeFile(path, "");
    }
    static std::string shown(const LyricViewer& v)
    {
        return (v.isRichText() ? "rich " : "plain ") + v.title().toStdString() + ": " +
               v.document()->toPlainText().toStdString();
    }
    static QTextCharFormat firstFormat(const LyricViewer& v)
    {
        return v.document()->begin().begin().fragment().charFormat();
    }
};

} // namespace

TEST_F(LyricViewerTest, RichTextComesBeforePlainText)
{
    LyricViewer viewer(3);
    EXPECT_EQ(viewer.showLyric(
                  song("music/song.mp3", {{"music/song.txt", "plain words"},
                                          {"music/song.rtf", R"({\rtf1 {\b rich} words})"}})),
              1);
    EXPECT_TRUE(viewer.isVisible());
    EXPECT_EQ(shown(viewer), "rich song.rtf: rich words");
    EXPECT_EQ(firstFormat(viewer).fontWeight(), QFont::Bold);
    viewer.clearLyric();
    EXPECT_FALSE(viewer.isVisible());
    EXPECT_EQ(viewer.title(), QString());
    // A plain lyric after a large bold rich one is shown in the viewer's own font.
    viewer.showLyric(song("music/loud.mp3", {{"music/loud.rtf", R"({\rtf1 \fs72\b SHOUTED})"}}));
    ASSERT_EQ(firstFormat(viewer).fontPointSize(), 36);
    viewer.showLyric(song("music/quiet.mp3", {{"music/quiet.txt", "whispered"}}));
    EXPECT_NE(firstFormat(viewer).fontPointSize(), 36) << "the rich lyric's size stays with it";
    EXPECT_NE(firstFormat(viewer).fontWeight(), QFont::Bold);
}

TEST_F(LyricViewerTest, PlainTextIsWhiteOnBlackInAnyEncoding)
{
    // CP949, not UTF-8.
    const std::string path =
        song("music/노래.wav", {{"music/노래.txt", "\xc7\xd1\xb1\xdb \xb0\xa1\xbb\xe7"}});
    setenv("KOLVO_CODEPAGE", "CP949", 1);
    LyricViewer viewer(1);
    viewer.showLyric(path);
    unsetenv("KOLVO_CODEPAGE");
    EXPECT_EQ(shown(viewer), "plain 노래.txt: 한글 가사");
    const auto* browser = viewer.findChild<QWidget*>();
    ASSERT_NE(browser, nullptr);
    EXPECT_EQ(browser->palette().color(QPalette::Base), QColor(Qt::black));
    EXPECT_EQ(browser->palette().color(QPalette::Text), QColor(Qt::white));
}

TEST_F(LyricViewerTest, ASongWithoutLyricsChangesNothing)
{
    LyricViewer viewer(1);
    viewer.showLyric(song("a/one.mp3", {{"a/one.txt", "first lyric"}}));
    EXPECT_EQ(viewer.showLyric(song("a/two.mp3", {})), 1);
    EXPECT_EQ(shown(viewer), "plain one.txt: first lyric");
}

TEST_F(LyricViewerTest, LyricFilesAreFoundWhateverTheCaseOfTheirNames)
{
    LyricViewer viewer(1);
    viewer.showLyric(song("music/Song.wav", {{"music/Song.TXT", "shouted extension"}}));
    EXPECT_TRUE(viewer.isVisible());
    EXPECT_EQ(shown(viewer), "plain Song.TXT: shouted extension");
    // Rich text still comes first, and the exact name before any other spelling.
    viewer.showLyric(song("music/Other.mp3",
                          {{"music/Other.txt", "plain"}, {"music/OTHER.Rtf", R"({\rtf1 rich})"}}));
    EXPECT_EQ(shown(viewer), "rich OTHER.Rtf: rich");
    viewer.showLyric(song("music/Third.mp3",
                          {{"music/THIRD.TXT", "another spelling"}, {"music/Third.txt", "exact"}}));
    EXPECT_EQ(viewer.document()->toPlainText(), QStringLiteral("exact"));
    // A folder that only looks like a lyric is none.
    viewer.showLyric(song("music/Fourth.mp3", {{"music/fourth.rtf/inside", ""},
                                               {"music/FOURTH.txt", "the text file"}}));
    EXPECT_EQ(viewer.title(), QStringLiteral("FOURTH.txt"));
}

TEST_F(LyricViewerTest, ItsRectangleIsRememberedAndKeptOnScreen)
{
    const QRect area = DesktopWorkArea();
    const QRect placed(area.left() + 10, area.top() + 20, 300, 200);
    {
        LyricViewer viewer(2);
        EXPECT_EQ(viewer.size(), QSize(320, 400)) << "never saved: the default";
        EXPECT_EQ(viewer.geometry().center().x(), area.center().x());
        viewer.setGeometry(placed);
    }
    Profile profile;
    EXPECT_EQ(profile.GetProfileInt("LyricViewer_2", "Left", -1), area.left() + 10);
    EXPECT_EQ(profile.GetProfileInt("LyricViewer_2", "Bottom", -1), area.top() + 220);
    EXPECT_EQ(LyricViewer(2).geometry(), placed);
    // Saved off screen: back to 320 x 400 in the middle of the work area.
    WriteWindowRect(profile, "LyricViewer_2", QRect(area.right() + 500, 10, 300, 200));
    profile.sync();
    LyricViewer viewer(2);
    EXPECT_EQ(viewer.size(), QSize(320, 400));
    EXPECT_EQ(viewer.geometry().center(), QRect(area.left() + (area.width() - 320) / 2,
                                                area.top() + (area.height() - 400) / 2, 320, 400)
                                              .center());
}
