// The album and song properties dialogs in their CD and file forms, the search text dialog,
// the tree text and the file dialog filters the album windows share.
#include "albumtesting.h"

#include "albums/albumdialogs.h"

namespace {

using AlbumDialogs = albumtest::ToldTest;

Album threeSongs()
{
    Album a(AlbumKindCd);
    a.AddSong("One", "first\rtrack", 60000, 150);
    a.AddSong("Two", "", 70000, 4650);
    a.AddSong("Three", "", 80000, 9900);
    return a;
}

} // namespace

// The tree texts: CdAlbumManagerTest.OpensOnTheDiscWithEveryAlbumInTheTree shows all four forms.
TEST_F(AlbumDialogs, LineBreaks)
{
    EXPECT_EQ(EditTextOf("a\rb\r\nc"), QStringLiteral("a\nb\nc"));
    EXPECT_EQ(StoredTextOf(QStringLiteral("a\nb\r\nc")), "a\rb\rc");
    EXPECT_EQ(StoredTextOf(EditTextOf("x\ry")), "x\ry");
}

TEST_F(AlbumDialogs, AlbumNameMustNotBeEmptyAndInTheFileFormNotOver32Characters)
{
    const std::string tooLong(33, 'x');
    AlbumPropertiesDialog file(AlbumForm::File, {"Mix", "", "", ""});
    file.show();
    file.titleEdit()->setText(QStringLiteral("   "));
    file.accept();
    EXPECT_TRUE(file.isVisible()) << "blanks are no name";
    EXPECT_EQ(messages, std::vector<std::string>{"Please enter minimun 1 characters."});
    forget();
    file.titleEdit()->setText(QString::fromStdString(tooLong));
    file.accept();
    EXPECT_TRUE(file.isVisible());
    EXPECT_EQ(messages,
              std::vector<std::string>{"Please enter no more than 32 characters in Album Title."});
    forget();
    // 32 characters, some of them beyond ASCII, are fine.
    const QString name = QString(31, QLatin1Char('y')) + QChar(0x00E9);
    file.titleEdit()->setText(name);
    file.accept();
    EXPECT_EQ(file.result(), QDialog::Accepted);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(file.values().title, name.toStdString());

    AlbumPropertiesDialog cd(AlbumForm::Cd, {"Disc", "", "", ""});
    cd.show();
    cd.titleEdit()->setText(QString::fromStdString(tooLong + tooLong));
    cd.accept();
    EXPECT_EQ(cd.result(), QDialog::Accepted) << "a disc title has no upper limit";
    cd.setResult(0);
    cd.show();
    cd.titleEdit()->clear();
    cd.accept();
    EXPECT_TRUE(cd.isVisible());
    EXPECT_EQ(messages, std::vector<std::string>{"Please enter minimun 1 characters."});
}

TEST_F(AlbumDialogs, AlbumValuesComeBackTrimmedWithTheGenreFromTheList)
{
    AlbumPropertiesDialog dialog(
        AlbumForm::Cd, {"  Night Songs ", " The Examples", "line one\rline two\r", "rock"});
    QComboBox* genre = dialog.genreBox();
    ASSERT_EQ(genre->count(), 12);
    EXPECT_EQ(genre->itemText(0), QStringLiteral("(No Genre)"));
    EXPECT_EQ(genre->itemText(11), QStringLiteral("SoundTrack"));
    EXPECT_EQ(genre->currentText(), QStringLiteral("Rock")) << "a category read in lower case";
    EXPECT_EQ(dialog.descriptionEdit()->toPlainText(), QStringLiteral("line one\nline two\n"));

    dialog.descriptionEdit()->setPlainText(QStringLiteral("  first\nsecond\n\n"));
    AlbumProperties v = dialog.values();
    EXPECT_EQ(v.title, "Night Songs");
    EXPECT_EQ(v.artist, "The Examples");
    EXPECT_EQ(v.description, "first\rsecond");
    EXPECT_EQ(v.genre, "Rock");
    genre->setCurrentIndex(0);
    EXPECT_EQ(dialog.values().genre, "");

    AlbumPropertiesDialog unknown(AlbumForm::File, {"x", "", "", "Polka"});
    EXPECT_EQ(unknown.genreBox()->currentIndex(), 0) << "a genre not in the list";
}

TEST_F(AlbumDialogs, OnlyTheCdFormOffersTheCdDatabase)
{
    int serverEdits = 0;
    QWidget* serverParent = nullptr;
    AlbumPropertiesDialog cd(AlbumForm::Cd, {"Disc", "", "", ""}, [&](QWidget* parent) {
        ++serverEdits;
        serverParent = parent;
    });
    cd.show();
    ASSERT_TRUE(cd.serverButton()->isEnabled());
    ASSERT_TRUE(cd.readButton()->isEnabled());
    QTest::mouseClick(cd.serverButton(), Qt::LeftButton);
    EXPECT_EQ(serverEdits, 1);
    EXPECT_EQ(serverParent, &cd);
    EXPECT_TRUE(cd.isVisible()) << "the server list leaves the dialog open";
    cd.titleEdit()->setText(QString()); // not checked: reading stores nothing
    QTest::mouseClick(cd.readButton(), Qt::LeftButton);
    EXPECT_FALSE(cd.isVisible());
    EXPECT_EQ(cd.result(), AlbumPropertiesDialog::ReadFromCddb);
    EXPECT_TRUE(messages.empty());

    AlbumPropertiesDialog file(AlbumForm::File, {"Mix", "", "", ""},
                               [&](QWidget*) { ++serverEdits; });
    EXPECT_FALSE(file.serverButton()->isEnabled());
    EXPECT_FALSE(file.readButton()->isEnabled());
}

TEST_F(AlbumDialogs, SongPropertiesStepRoundTheAlbumStoringAsTheyGo)
{
    Album album = threeSongs();
    SongPropertiesDialog dialog(AlbumForm::Cd, album, 3);
    dialog.show();
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    EXPECT_EQ(dialog.numberLabel()->text(), QStringLiteral("3"));
    EXPECT_EQ(dialog.titleEdit()->text(), QStringLiteral("Three"));

    dialog.titleEdit()->setText(QStringLiteral("  Third  "));
    QTest::mouseClick(dialog.nextButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.song(), 1) << "from the last to the first";
    EXPECT_EQ(album.GetSong(3)->title, "Third");
    EXPECT_EQ(dialog.descriptionEdit()->toPlainText(), QStringLiteral("first\ntrack"));

    dialog.descriptionEdit()->setPlainText(QStringLiteral("opening\nnumber\n"));
    // The key presses the button as a click does, which lets go of it a moment later.
    QTest::keyClick(dialog.titleEdit(), Qt::Key_PageUp);
    for (int i = 0; i < 100 && dialog.song() == 1; ++i)
        QTest::qWait(5);
    EXPECT_EQ(dialog.song(), 3) << "from the first to the last";
    EXPECT_EQ(album.GetSong(1)->extendedInfo, "opening\rnumber");
    dialog.previous();
    EXPECT_EQ(dialog.song(), 2);
    dialog.titleEdit()->setText(QStringLiteral("Second"));
    dialog.reject();
    EXPECT_EQ(album.GetSong(2)->title, "Two") << "Cancel keeps the song shown as it was";
    EXPECT_EQ(album.GetSong(3)->title, "Third") << "...and the steps already taken";

    SongPropertiesDialog again(AlbumForm::File, album, 2);
    again.titleEdit()->setText(QStringLiteral("/music/two.mp3 "));
    again.accept();
    EXPECT_EQ(album.GetSong(2)->title, "/music/two.mp3");
    EXPECT_EQ(album.GetSong(2)->lengthMs, 70000) << "the timing stays";
}

TEST_F(AlbumDialogs, FindRefusesAnEmptyText)
{
    FindTextDialog dialog("love");
    dialog.show();
    EXPECT_EQ(dialog.edit()->text(), QStringLiteral("love"));
    dialog.edit()->clear();
    dialog.accept();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(messages, std::vector<std::string>{"Please enter minimun 1 characters."});
    dialog.edit()->setText(QStringLiteral(" day"));
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.text(), " day") << "the search text is taken as typed";
}

TEST_F(AlbumDialogs, ClassicFiltersBecomeQtNameFilters)
{
    EXPECT_EQ(FileDialogFilters(LoadQString(39238)),
              (QStringList{QStringLiteral("All Supported Files (*.ini *.dpc *.ncd)"),
                           QStringLiteral("INI Files (*.ini)"),
                           QStringLiteral("DiscPlay Collections (*.dpc)"),
                           QStringLiteral("NotifyCD Files (*.ncd)")}));
    EXPECT_EQ(FileDialogFilters(QStringLiteral("All Sounds|*.wav;*.au|All Files (*.*)|*.*||")),
              (QStringList{QStringLiteral("All Sounds (*.wav *.au)"),
                           QStringLiteral("All Files (*.*)")}));
    EXPECT_TRUE(FileDialogFilters(QString()).isEmpty());
}
