#include "albumtesting.h"

#include "albums/quickselect.h"

namespace {

class QuickSelectTest : public KolvoHomeTest
{};

QTreeWidget* listOf(QDialog& d)
{
    return d.findChild<QTreeWidget*>();
}

} // namespace

TEST_F(QuickSelectTest, ClickingTheFifthSongOfTwelveGivesFive)
{
    std::vector<std::string> names;
    for (int i = 1; i <= 12; ++i)
        names.push_back("Song " + std::to_string(i));
    QuickTrackSelect dialog(names);
    dialog.show();
    QTreeWidget* list = listOf(dialog);
    ASSERT_EQ(list->topLevelItemCount(), 12);
    EXPECT_EQ(list->topLevelItem(4)->text(0) + list->topLevelItem(4)->text(1), "[5]Song 5");
    const QRect row = list->visualItemRect(list->topLevelItem(4));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.chosenSong(), 5);
}

TEST_F(QuickSelectTest, EnterWithNothingChosen)
{
    QuickAlbumSelect albums({"Default", "Road Trip"});
    albums.show();
    QTest::keyClick(listOf(albums), Qt::Key_Return);
    EXPECT_TRUE(albums.isVisible()) << "the album list waits for a choice";
    EXPECT_EQ(albums.chosenKey(), "");
    listOf(albums)->setCurrentItem(listOf(albums)->topLevelItem(1));
    QTest::keyClick(listOf(albums), Qt::Key_Return);
    EXPECT_FALSE(albums.isVisible());
    EXPECT_EQ(albums.result(), QDialog::Accepted);
    EXPECT_EQ(albums.chosenKey(), "Road Trip");

    QuickTrackSelect tracks({"a", "b"});
    tracks.show();
    QTest::keyClick(listOf(tracks), Qt::Key_Return);
    EXPECT_EQ(tracks.result(), QDialog::Accepted);
    EXPECT_EQ(tracks.chosenSong(), 0) << "the track list ends, with no song";
}

TEST_F(QuickSelectTest, AClickBelowTheRowsChoosesNothing)
{
    QuickTrackSelect tracks({"a", "b", "c"});
    tracks.show();
    QTreeWidget* list = listOf(tracks);
    list->setCurrentItem(list->topLevelItem(1)); // chosen with the keys, then the click elsewhere
    const QRect last = list->visualItemRect(list->topLevelItem(2));
    const QPoint below(last.center().x(), last.bottom() + 20);
    ASSERT_LT(below.y(), list->viewport()->height());
    ASSERT_EQ(list->itemAt(below), nullptr);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, below);
    EXPECT_FALSE(tracks.isVisible());
    EXPECT_EQ(tracks.result(), QDialog::Accepted);
    EXPECT_EQ(tracks.chosenSong(), 0) << "the track list ends, with no song";

    QuickAlbumSelect albums({"Default", "Road Trip"});
    albums.show();
    QTreeWidget* albumList = listOf(albums);
    albumList->setCurrentItem(albumList->topLevelItem(0));
    const QRect lastAlbum = albumList->visualItemRect(albumList->topLevelItem(1));
    QTest::mouseClick(albumList->viewport(), Qt::LeftButton, {},
                      QPoint(lastAlbum.center().x(), lastAlbum.bottom() + 20));
    EXPECT_TRUE(albums.isVisible()) << "the album list waits for a row";
    EXPECT_EQ(albums.chosenKey(), "");
}

TEST_F(QuickSelectTest, OnlyAWholeAndLargeEnoughSavedRectangleIsUsed)
{
    const QRect area(0, 0, 1600, 900);
    EXPECT_EQ(QuickSelectPlacement(QRect(100, 100, 300, 400), area), QRect(100, 100, 300, 400));
    EXPECT_TRUE(QuickSelectPlacement(QRect(100, 100, 80, 300), area).isEmpty()) << "too narrow";
    EXPECT_TRUE(QuickSelectPlacement(QRect(100, 100, 300, 100), area).isEmpty()) << "not above 100";
    EXPECT_TRUE(QuickSelectPlacement(QRect(1500, 100, 300, 300), area).isEmpty()) << "partly out";
    EXPECT_TRUE(QuickSelectPlacement(QRect(), area).isEmpty());
}

TEST_F(QuickSelectTest, TheWindowRemembersWhereItWas)
{
    const QRect area = DesktopWorkArea();
    const QRect place(area.left() + 40, area.top() + 30, 280, 330);
    {
        QuickAlbumSelect dialog({"x"});
        dialog.show();
        dialog.setGeometry(place);
    }
    EXPECT_EQ(ReadWindowRect(Profile(), "QuickAlbumSelect"), place);
    QuickAlbumSelect again({"x"});
    again.show();
    EXPECT_EQ(again.geometry(), place);
}

// What a person sees: the icons on a clear ground, the song numbers in full, the albums in the
// order a file manager would give them.
TEST_F(QuickSelectTest, RowsReadAsAPersonExpects)
{
    QuickAlbumSelect albums({"road trip", "Album 10", "Default", "Album 9"});
    albums.show();
    QTreeWidget* albumList = listOf(albums);
    QStringList order;
    for (int i = 0; i < albumList->topLevelItemCount(); ++i)
        order << albumList->topLevelItem(i)->text(0);
    EXPECT_EQ(order.join('|'), QStringLiteral("Album 9|Album 10|Default|road trip"));
    const QImage albumIcon = albums.windowIcon().pixmap(16, 16).toImage();
    EXPECT_EQ(qAlpha(albumIcon.pixel(0, 0)), 0) << "the corner is clear, not a colour key";
    EXPECT_EQ(qAlpha(albumIcon.pixel(8, 8)), 0) << "the disc has a hole";
    EXPECT_GT(qAlpha(albumIcon.pixel(3, 8)), 128) << "the disc itself is drawn";

    std::vector<std::string> names(120, "A song with a rather long name");
    QuickTrackSelect tracks(names);
    tracks.show();
    QTreeWidget* list = listOf(tracks);
    const QFontMetrics metrics(list->font());
    for (int row : {0, 9, 119}) {
        const QString number = list->topLevelItem(row)->text(0);
        EXPECT_TRUE(list->topLevelItem(row)->icon(0).isNull()) << "no icon crowds the number";
        EXPECT_LE(metrics.horizontalAdvance(number) + 8, list->columnWidth(0))
            << number.toStdString() << " fits its column";
    }
    const QImage songIcon = tracks.windowIcon().pixmap(16, 16).toImage();
    EXPECT_EQ(qAlpha(songIcon.pixel(15, 15)), 0);
}
