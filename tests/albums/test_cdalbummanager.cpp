// The CD album manager on CD albums made here, its CD database commands wired to the real
// client against a loopback server. Its saved place is the file album editor's (one base class).
#include "albumtesting.h"

#include "albums/cdalbummanager.h"
#include "cddb/cdalbum.h"
#include "cddb/cddbtesting.h"
#include "cddb/fakecddbserver.h"
#include "cddb/serverdialog.h"
#include "cddb/serverlist.h"
#include "cddb/sessions.h"
#include "platform/paths.h"

namespace {

struct Track
{
    std::string title;
    int32_t lengthMs;
    int32_t startFrame;
    std::string extendedInfo = {};
};

// A CD album as the CD Player leaves it: tracks with their timing and the disc's lead-out.
void storeCdAlbum(const std::string& key, const std::string& title, const std::string& artist,
                  const std::vector<Track>& tracks, int32_t leadOut, const std::string& genre = {})
{
    Album a(AlbumKindCd);
    ASSERT_TRUE(a.Open(key, 0));
    a.setTitle(title);
    a.setArtist(artist);
    a.setGenre(genre);
    a.setDiscEndFrame(leadOut);
    a.setDiscLengthMs(leadOut / 75 * 1000);
    for (const Track& t : tracks)
        a.AddSong(t.title, t.extendedInfo, t.lengthMs, t.startFrame);
    ASSERT_TRUE(a.Save());
}

Album stored(const std::string& key)
{
    Album a(AlbumKindCd);
    EXPECT_TRUE(a.LoadForReading(key)) << key;
    return a;
}

QStringList treeTexts(const CdAlbumManager& m)
{
    QStringList texts;
    for (int i = 0; i < m.albumTree()->topLevelItemCount(); ++i)
        texts.push_back(m.albumTree()->topLevelItem(i)->text(0));
    return texts;
}

QStringList songTitles(const CdAlbumManager& m)
{
    QStringList titles;
    for (int i = 0; i < m.songList()->topLevelItemCount(); ++i)
        titles.push_back(m.songList()->topLevelItem(i)->text(1));
    return titles;
}

using albumtest::NextModal;

class CdAlbumManagerTest : public albumtest::ToldTest
{
protected:
    void SetUp() override
    {
        ToldTest::SetUp();
        SetCddbTickInterval(5);
    }
    void TearDown() override
    {
        SetCddbTickInterval(1000);
        ToldTest::TearDown();
    }

    // Three albums: "a1" a plain disc, "b2" with "Lovely Day", "c3" with no artist.
    void storeThree()
    {
        storeCdAlbum("a1", "Morning", "Early Birds",
                     {{"Sunrise", 200000, 150}, {"Coffee", 180000, 15150}}, 28650);
        storeCdAlbum(
            "b2", "Afternoon", "The Walkers",
            {{"Walk", 60000, 150, "a stroll"}, {"Lovely Day", 90000, 4650}, {"Tea", 30000, 11400}},
            13800);
        storeCdAlbum("c3", "Evening", "", {{"Dusk", 125000, 150}}, 9525);
    }

    static void selectSongRow(CdAlbumManager& m, int row)
    {
        QTreeWidget* list = m.songList();
        list->setCurrentItem(list->topLevelItem(row), 0, QItemSelectionModel::ClearAndSelect);
    }
};

CdAlbumManagerServices cddbServices()
{
    CdAlbumManagerServices s;
    s.readFromCddb = [](QWidget* parent, Album& album) { return CddbLookup(parent, {}, album); };
    s.submitToCddb = [](QWidget* parent, Album& album) { return CddbSubmit(parent, album); };
    s.editCddbServers = [](QWidget* parent) { RunCddbServerDialog(parent); };
    return s;
}

const std::string kDiscId = "0200c801"; // one track at frame 150, lead-out 15150

} // namespace

TEST_F(CdAlbumManagerTest, OpensOnTheDiscWithEveryAlbumInTheTree)
{
    storeThree();
    storeCdAlbum("d44", "", "Nobody Named", {{"x", 1000, 150}}, 300);
    storeCdAlbum("e55", "", "", {}, 0);
    CdAlbumManager m("B2");
    EXPECT_EQ(m.windowTitle(), QStringLiteral("Album Management"));
    EXPECT_EQ(treeTexts(m), (QStringList{"Early Birds / Morning", "The Walkers / Afternoon",
                                         "Evening", "Nobody Named / Untitled", "Untitled"}));
    EXPECT_EQ(m.selectedKey() + m.album().key(), "b2b2") << "the disc's album, in any case";
    EXPECT_EQ(songTitles(m), (QStringList{"Walk", "Lovely Day", "Tea"}));
    const QTreeWidgetItem* row = m.songList()->topLevelItem(1);
    EXPECT_EQ(row->text(0) + '|' + row->text(2), QStringLiteral("2|1:30"));

    m.albumTree()->setCurrentItem(m.albumTree()->topLevelItem(0));
    EXPECT_EQ(m.album().key(), "a1");
    EXPECT_EQ(songTitles(m), (QStringList{"Sunrise", "Coffee"}));
    EXPECT_EQ(Album(AlbumKindCd).GetRecentAlbum(), "a1") << "selecting opens the album";

    CdAlbumManager noDisc;
    EXPECT_EQ(noDisc.selectedKey(), "a1");
}

TEST_F(CdAlbumManagerTest, AlbumPropertiesAreStoredTrimmedAndTheTreeFollows)
{
    storeThree();
    CdAlbumManager m("c3");
    albumtest::focusIn(m, m.albumTree());
    ASSERT_EQ(m.focusMode(), CdAlbumManager::TreeFocus);
    const NextModal modal1([&](QDialog* d) {
        auto* dialog = qobject_cast<AlbumPropertiesDialog*>(d);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->titleEdit()->text(), QStringLiteral("Evening"));
        EXPECT_FALSE(dialog->serverButton()->isEnabled()) << "no server editor was given";
        dialog->titleEdit()->setText(QStringLiteral(" Late Evening "));
        dialog->artistEdit()->setText(QStringLiteral("Night Owls  "));
        dialog->descriptionEdit()->setPlainText(QStringLiteral("recorded\nlive"));
        dialog->genreBox()->setCurrentText(QStringLiteral("Jazz"));
        dialog->accept();
    });
    m.runCommand(CdAlbumManager::PropertiesCommand);
    ASSERT_TRUE(modal1.seen());
    EXPECT_EQ(
        albumtest::albumText(stored("c3")),
        "Late Evening|Night Owls|Jazz|recorded\rlive|end 9525|127000 ms\n1|Dusk||125000|150\n")
        << "trimmed; the timing stays";
    EXPECT_EQ(m.albumTree()->currentItem()->text(0), QStringLiteral("Night Owls / Late Evening"));

    // Cancel stores nothing.
    const NextModal modal2([](QDialog* d) {
        static_cast<AlbumPropertiesDialog*>(d)->titleEdit()->setText(QStringLiteral("Gone"));
        d->reject();
    });
    // A double click on the item, as the window system delivers it: a click, then a second
    // press that is the double click.
    const QPoint at = m.albumTree()->viewport()->mapTo(
        &m, m.albumTree()->visualItemRect(m.albumTree()->currentItem()).center());
    QTest::mouseClick(m.windowHandle(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(m.windowHandle(), Qt::LeftButton, {}, at);
    EXPECT_TRUE(modal2.seen());
    EXPECT_EQ(stored("c3").title(), "Late Evening");
}

TEST_F(CdAlbumManagerTest, SongPropertiesEditTheSelectedSongAndStepOn)
{
    storeThree();
    CdAlbumManager m("b2");
    albumtest::focusIn(m, m.songList());
    ASSERT_EQ(m.focusMode(), CdAlbumManager::SongListFocus);
    EXPECT_TRUE(messages.empty());
    m.songList()->clearSelection();
    m.runCommand(CdAlbumManager::PropertiesCommand);
    EXPECT_EQ(messages, std::vector<std::string>{"There is no selected Song."});

    selectSongRow(m, 2);
    const NextModal modal3([](QDialog* d) {
        auto* dialog = qobject_cast<SongPropertiesDialog*>(d);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->song(), 3);
        dialog->titleEdit()->setText(QStringLiteral("Tea for Two"));
        dialog->next(); // round to the first song
        dialog->descriptionEdit()->setPlainText(QStringLiteral("a stroll\nin the park"));
        dialog->accept();
    });
    m.runCommand(CdAlbumManager::PropertiesCommand);
    EXPECT_TRUE(modal3.seen());
    EXPECT_EQ(songTitles(m), (QStringList{"Walk", "Lovely Day", "Tea for Two"}));
    EXPECT_EQ(
        albumtest::albumText(stored("b2")),
        "Afternoon|The Walkers|||end 13800|184000 ms\n1|Walk|a stroll\rin the park|60000|150\n"
        "2|Lovely Day||90000|4650\n3|Tea for Two||30000|11400\n");
    ASSERT_EQ(m.songList()->selectedItems().size(), 1);
    EXPECT_EQ(m.songList()->selectedItems().first(), m.songList()->topLevelItem(0))
        << "the song last shown is selected";
}

TEST_F(CdAlbumManagerTest, DeleteAsksAndTheLastDeletionLeavesAnEmptyWindow)
{
    storeThree();
    CdAlbumManager m("b2");
    answer = IDNO;
    m.runCommand(CdAlbumManager::DeleteCommand);
    EXPECT_EQ(messages, std::vector<std::string>{"Delete this album ?"});
    EXPECT_EQ(Album(AlbumKindCd).ListAlbumKeys().size(), 3u);

    answer = IDYES;
    m.runCommand(CdAlbumManager::DeleteCommand);
    EXPECT_EQ(Album(AlbumKindCd).ListAlbumKeys(), (std::vector<std::string>{"a1", "c3"}));
    EXPECT_EQ(treeTexts(m), (QStringList{"Early Birds / Morning", "Evening"}));
    EXPECT_EQ(m.album().key(), m.selectedKey()) << "a neighbour is selected and open";
    EXPECT_EQ(songTitles(m).size(), m.album().songCount());

    // The Delete key in the tree does the same.
    albumtest::focusIn(m, m.albumTree());
    QTest::keyClick(m.albumTree(), Qt::Key_Delete);
    EXPECT_EQ(Album(AlbumKindCd).ListAlbumKeys().size(), 1u);
    m.runCommand(CdAlbumManager::DeleteCommand);
    EXPECT_TRUE(Album(AlbumKindCd).ListAlbumKeys().empty());
    EXPECT_EQ(m.albumTree()->topLevelItemCount(), 0);
    EXPECT_EQ(m.songList()->topLevelItemCount(), 0);

    forget();
    m.runCommand(CdAlbumManager::DeleteCommand);
    m.runCommand(CdAlbumManager::PropertiesCommand);
    EXPECT_EQ(messages, (std::vector<std::string>{"There is no selected Album.",
                                                  "There is no selected Album."}));
}

TEST_F(CdAlbumManagerTest, FindGoesOnFromTheSelectedSongAndRoundToNothing)
{
    storeThree();
    CdAlbumManager m("a1");
    albumtest::focusIn(m, m.albumTree());
    const NextModal modal4([](QDialog* d) {
        auto* dialog = qobject_cast<FindTextDialog*>(d);
        ASSERT_NE(dialog, nullptr);
        dialog->edit()->setText(QStringLiteral("love"));
        dialog->accept();
    });
    m.runCommand(CdAlbumManager::FindCommand);
    EXPECT_TRUE(modal4.seen());
    EXPECT_EQ(m.searchText(), "love");
    EXPECT_EQ(m.selectedKey(), "b2");
    ASSERT_EQ(m.songList()->selectedItems().size(), 1);
    EXPECT_EQ(m.songList()->selectedItems().first()->text(1), QStringLiteral("Lovely Day"));
    EXPECT_EQ(m.focusMode(), CdAlbumManager::SongListFocus);
    EXPECT_TRUE(messages.empty());

    m.runCommand(CdAlbumManager::FindNextCommand);
    EXPECT_EQ(messages, std::vector<std::string>{"Can't find the string."});
    EXPECT_EQ(m.selectedKey(), "b2") << "nothing moves";
    EXPECT_EQ(m.songList()->selectedItems().size(), 1);
}

TEST_F(CdAlbumManagerTest, AnAlbumMatchSelectsNoSongAndFindNextAsksForAMissingText)
{
    storeThree();
    CdAlbumManager m("a1");
    albumtest::focusIn(m, m.songList());
    selectSongRow(m, 1);
    // No text yet: Find Next asks first.
    const NextModal modal5([](QDialog* d) {
        qobject_cast<FindTextDialog*>(d)->edit()->setText(QStringLiteral("WALKERS"));
        d->accept();
    });
    m.runCommand(CdAlbumManager::FindNextCommand);
    EXPECT_TRUE(modal5.seen());
    EXPECT_EQ(m.selectedKey(), "b2");
    EXPECT_TRUE(m.songList()->selectedItems().isEmpty());
    EXPECT_EQ(m.focusMode(), CdAlbumManager::TreeFocus);
    // Round again: only the album matches, so the search comes back to it.
    m.runCommand(CdAlbumManager::FindNextCommand);
    EXPECT_EQ(m.selectedKey(), "b2");
    EXPECT_TRUE(messages.empty());

    // Cancelling the dialog keeps the text.
    const NextModal modal6([](QDialog* d) { d->reject(); });
    m.runCommand(CdAlbumManager::FindCommand);
    EXPECT_TRUE(modal6.seen());
    EXPECT_EQ(m.searchText(), "WALKERS");
}

TEST_F(CdAlbumManagerTest, ImportFromFilesAndCdPlayerIniThenRebuild)
{
    storeThree();
    const std::string ncd = writeFile("in/discs.ncd", "V1.1\nINI\nf00d\nImported Artist\n"
                                                      "Imported Title\nRock\n2\nOne\nTwo\n");
    const std::string ini = writeFile("in/discs.ini", "[beef]\ntitle=From Ini\nartist=Ini "
                                                      "Band\nnumtracks=2\n0=Uno\n1=Dos\n");
    const std::string other = writeFile("in/discs.lst", "[cafe]\ntitle=x\nnumtracks=1\n0=y\n");
    std::string chosen;
    std::vector<FileChoice> asked;
    CdAlbumManager m("b2");
    m.setFileChooser([&](QWidget* parent, const FileChoice& choice) {
        EXPECT_EQ(parent, &m);
        asked.push_back(choice);
        return chosen;
    });

    chosen = ncd;
    m.runCommand(CdAlbumManager::ImportFileCommand);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].mode, FileChoice::Open);
    EXPECT_EQ(asked[0].defaultSuffix, QStringLiteral("ini"));
    EXPECT_TRUE(
        asked[0].filter.startsWith(QStringLiteral("All Supported Files (*.ini;*.dpc;*.ncd)|")));
    EXPECT_TRUE(treeTexts(m).contains(QStringLiteral("Imported Artist / Imported Title")));
    EXPECT_EQ(m.selectedKey(), "b2") << "the current album stays selected";
    EXPECT_EQ(songTitles(m).size(), 3);

    chosen = ini;
    m.runCommand(CdAlbumManager::ImportFileCommand);
    EXPECT_EQ(stored("beef").GetSong(2)->title, "Dos");
    EXPECT_TRUE(treeTexts(m).contains(QStringLiteral("Ini Band / From Ini")));

    const int before = m.albumTree()->topLevelItemCount();
    chosen = other; // not a format the manager reads
    m.runCommand(CdAlbumManager::ImportFileCommand);
    chosen.clear(); // cancelled
    m.runCommand(CdAlbumManager::ImportFileCommand);
    EXPECT_EQ(m.albumTree()->topLevelItemCount(), before);

    writeFile("data/cdplayer.ini", "[aced]\ntitle=System Disc\nnumtracks=1\n0=Only\n");
    ASSERT_EQ(homePath("data/cdplayer.ini"), paths::dataDir() + "/cdplayer.ini");
    m.runCommand(CdAlbumManager::ImportCdPlayerIniCommand);
    EXPECT_TRUE(treeTexts(m).contains(QStringLiteral("System Disc")));
    EXPECT_EQ(m.albumTree()->topLevelItemCount(), before + 1);
    EXPECT_TRUE(messages.empty());
}

TEST_F(CdAlbumManagerTest, ExportAllAlbumsToAChosenFileOrCdPlayerIni)
{
    storeThree();
    CdAlbumManager m("a1");
    std::string chosen;
    m.setFileChooser([&](QWidget*, const FileChoice& choice) {
        EXPECT_EQ(choice.mode, FileChoice::Save);
        EXPECT_EQ(choice.filter,
                  QStringLiteral("INI Files (*.ini)|*.ini|Text Files (*.txt)|*.txt||"));
        return chosen;
    });

    chosen = homePath("out/albums.txt");
    QDir().mkpath(QString::fromStdString(homePath("out")));
    m.runCommand(CdAlbumManager::ExportFileCommand);
    const std::string text = readFile(chosen);
    EXPECT_NE(
        text.find(
            "The Walkers\tAfternoon\t\t3:04\n1\t1:00\tWalk\ta stroll\n2\t1:30\tLovely Day\t\n"),
        std::string::npos)
        << text;
    EXPECT_EQ(messages,
              std::vector<std::string>{"The information of all albums is exported to:\n" + chosen});

    forget();
    chosen = homePath("out/albums.ini");
    m.runCommand(CdAlbumManager::ExportFileCommand);
    EXPECT_NE(readFile(chosen).find("[c3]"), std::string::npos);
    EXPECT_EQ(messages.size(), 1u);

    forget();
    chosen = homePath("out/albums.lst");
    m.runCommand(CdAlbumManager::ExportFileCommand);
    EXPECT_TRUE(readFile(chosen).empty());
    EXPECT_TRUE(messages.empty()) << "another extension writes nothing and says nothing";

    m.runCommand(CdAlbumManager::ExportCdPlayerIniCommand);
    const std::string system = paths::dataDir() + "/cdplayer.ini";
    EXPECT_NE(readFile(system).find("title=Afternoon"), std::string::npos);
    EXPECT_EQ(messages,
              std::vector<std::string>{"The information of all albums is exported to:\n" + system});
}

TEST_F(CdAlbumManagerTest, ReadFromCddbNeedsTheWholeTiming)
{
    storeCdAlbum("a1", "Gaps", "", {{"one", 60000, 150}, {"two", 0, 4650}}, 9000);
    int lookups = 0;
    CdAlbumManagerServices services;
    services.readFromCddb = [&](QWidget*, Album&) { return ++lookups; };
    CdAlbumManager m("a1", services);
    m.runCommand(CdAlbumManager::ReadFromCddbCommand);
    EXPECT_EQ(lookups, 0);
    EXPECT_EQ(messages, std::vector<std::string>{"Time information of audio CD is not sufficient.\n"
                                                 "Please insert this audio CD, and try again."});

    Album a(AlbumKindCd);
    a.AddSong("one", "", 60000, 150);
    a.AddSong("two", "", 60000, 4650);
    a.setDiscLengthMs(120000);
    a.setDiscEndFrame(9150);
    EXPECT_TRUE(HasCompleteCdTiming(a));
    a.setDiscEndFrame(4650);
    EXPECT_FALSE(HasCompleteCdTiming(a)) << "the lead-out must come after the last start";
    a.setDiscEndFrame(9150);
    a.GetSong(2)->startFrame = 150;
    EXPECT_FALSE(HasCompleteCdTiming(a)) << "starts must increase";
    a.GetSong(2)->startFrame = 4650;
    a.GetSong(1)->startFrame = 0;
    EXPECT_FALSE(HasCompleteCdTiming(a)) << "the first start is above 0";
    a.GetSong(1)->startFrame = 150;
    a.setDiscLengthMs(0);
    EXPECT_FALSE(HasCompleteCdTiming(a));
    EXPECT_FALSE(HasCompleteCdTiming(Album(AlbumKindCd)));
}

TEST_F(CdAlbumManagerTest, ReadFromCddbOnTheLoopbackServerFillsTheAlbum)
{
    FakeCddbScript script;
    script.queryReply = "200 rock " + kDiscId + " The Band / First Light\r\n";
    script.readReplies["rock " + kDiscId] = FakeCddbServer::readReply(
        "rock", kDiscId,
        {"# xmcd", "#", "# Revision: 3", "DISCID=" + kDiscId, "DTITLE=The Band / First Light",
         "TTITLE0=Dawn", "EXTD=", "EXTT0=", "PLAYORDER="});
    FakeCddbServer server(FakeCddbServer::Cddbp, script);
    SetCurrentCddbServer(server.address());
    storeCdAlbum("c8", "", "", {{"", 200000, 150}}, 15150);
    storeCdAlbum("aa", "Other", "", {{"x", 1000, 150}}, 300);

    CdAlbumManager m("c8", cddbServices());
    m.runCommand(CdAlbumManager::ReadFromCddbCommand);
    EXPECT_TRUE(messages.empty()) << messages.front();
    EXPECT_EQ(m.albumTree()->currentItem()->text(0), QStringLiteral("The Band / First Light"));
    EXPECT_EQ(songTitles(m), QStringList{"Dawn"});
    // What is stored of the record: CddbpLookup.TheCdAlbumIsStoredAndSavedOnlyOnSuccess.
    EXPECT_EQ(stored("c8").title(), "First Light");
    ASSERT_FALSE(server.requests().empty());
    EXPECT_EQ(server.requests().back(), "cddb read rock " + kDiscId);

    // From the album properties dialog: its read button closes it without storing what was
    // typed and reads the disc again.
    const size_t requests = server.requests().size();
    const NextModal modal7([](QDialog* d) {
        auto* dialog = qobject_cast<AlbumPropertiesDialog*>(d);
        ASSERT_NE(dialog, nullptr);
        dialog->titleEdit()->setText(QStringLiteral("Typed"));
        QTest::mouseClick(dialog->readButton(), Qt::LeftButton);
    });
    albumtest::focusIn(m, m.albumTree());
    m.runCommand(CdAlbumManager::PropertiesCommand);
    EXPECT_TRUE(modal7.seen());
    EXPECT_GT(server.requests().size(), requests);
    EXPECT_EQ(stored("c8").title(), "First Light");
}

TEST_F(CdAlbumManagerTest, SubmitRunsTheChecksAndTheServerListOpens)
{
    {
        Profile profile;
        profile.WriteProfileString("CD", "EMail", "me@example.org");
        profile.WriteProfileString("CD", "MailServer", "127.0.0.1:1");
        profile.sync();
    }
    storeCdAlbum("c8", "Hello, World", "Someone", {{"Dawn", 200000, 150}}, 15150, "Rock");
    CdAlbumManager m("c8", cddbServices());
    m.runCommand(CdAlbumManager::SubmitToCddbCommand);
    EXPECT_EQ(messages, std::vector<std::string>{
                            "Can't use '/' or ',' characters in Album Title or Artist."});
    EXPECT_EQ(stored("c8").revision(), 0);

    QString opened;
    const NextModal modal8([&](QDialog* d) {
        opened = QString::fromLatin1(d->metaObject()->className());
        d->reject();
    });
    m.runCommand(CdAlbumManager::EditCddbServersCommand);
    EXPECT_TRUE(modal8.seen());
    EXPECT_EQ(opened, QStringLiteral("CddbServerDialog"));
}

TEST_F(CdAlbumManagerTest, PrintingGoesThroughItsServicesAndIsOffWithout)
{
    storeThree();
    std::vector<std::string> printedKeys;
    std::string printedSelection;
    int pageSetups = 0;
    CdAlbumManagerServices services;
    services.print = [&](QWidget*, const std::vector<std::string>& keys, const std::string& sel) {
        printedKeys = keys;
        printedSelection = sel;
    };
    services.pageSetup = [&](QWidget*) { ++pageSetups; };
    CdAlbumManager m("b2", services);
    m.runCommand(CdAlbumManager::PrintCommand);
    EXPECT_EQ(printedKeys, (std::vector<std::string>{"a1", "b2", "c3"}));
    EXPECT_EQ(printedSelection, "b2");
    m.action(CdAlbumManager::PageSetupCommand)->trigger();
    EXPECT_EQ(pageSetups, 1);
    EXPECT_FALSE(m.action(CdAlbumManager::ReadFromCddbCommand)->isEnabled());

    CdAlbumManager bare;
    for (int command : {CdAlbumManager::PrintCommand, CdAlbumManager::PageSetupCommand,
                        CdAlbumManager::ReadFromCddbCommand, CdAlbumManager::SubmitToCddbCommand,
                        CdAlbumManager::EditCddbServersCommand}) {
        EXPECT_FALSE(bare.action(command)->isEnabled()) << command;
        bare.runCommand(command); // does nothing rather than calling an empty service
    }
    EXPECT_TRUE(bare.action(CdAlbumManager::FindCommand)->isEnabled());
    EXPECT_EQ(bare.action(CdAlbumManager::SubmitToCddbCommand)->toolTip(),
              QStringLiteral("Submit to CDDB Server"));
}

TEST_F(CdAlbumManagerTest, Screenshot)
{
    storeThree();
    CdAlbumManager m("b2", cddbServices());
    m.resize(780, 420);
    albumtest::focusIn(m, m.songList());
    selectSongRow(m, 1);
    albumtest::saveReviewShot(m, QStringLiteral("cd-album-manager.png"));
}
