// The file album editor on databases and folders made here, every command through runCommand,
// with the dialogs it opens answered by the test.
#include "albumtesting.h"

#include "albums/filealbumeditor.h"

#include <QInputDialog>
#include <QMimeData>
#include <QProgressDialog>
#include <QTreeView>

#include <condition_variable>
#include <mutex>

namespace {

void storeAlbum(AlbumKind kind, const std::string& key, const std::vector<std::string>& songs,
                const std::string& artist = {}, const std::vector<std::string>& descriptions = {})
{
    Album a(kind);
    ASSERT_TRUE(a.Open(key, 0));
    a.setArtist(artist);
    for (size_t i = 0; i < songs.size(); ++i)
        a.AddSong(songs[i], i < descriptions.size() ? descriptions[i] : std::string());
    ASSERT_TRUE(a.Save());
}

Album stored(const std::string& key, AlbumKind kind = AlbumKindAudio)
{
    Album a(kind);
    EXPECT_TRUE(a.LoadForReading(key)) << key;
    return a;
}

std::vector<std::string> storedSongs(const std::string& key)
{
    return albumtest::songTitles(stored(key));
}

std::vector<std::string> sortedKeys()
{
    std::vector<std::string> keys = Album(AlbumKindAudio).ListAlbumKeys();
    std::sort(keys.begin(), keys.end());
    return keys;
}

std::vector<std::string> paths(const FileAlbumEditor& e)
{
    std::vector<std::string> out;
    for (const EditorSong& row : e.rows())
        out.push_back(row.path);
    return out;
}

std::vector<std::string> names(const FileAlbumEditor& e)
{
    std::vector<std::string> out;
    for (const EditorSong& row : e.rows())
        out.push_back(SplitSongPath(row.path).name);
    return out;
}

QString cell(const FileAlbumEditor& e, int row, int column)
{
    QAbstractItemModel* m = e.songList()->model();
    return m->data(m->index(row, column)).toString();
}

// The four columns of a row, joined by '|'.
QString rowText(const FileAlbumEditor& e, int row)
{
    QStringList cells;
    for (int column = 0; column < 4; ++column)
        cells << cell(e, row, column);
    return cells.join(QLatin1Char('|'));
}

using albumtest::NextModal;

class FileAlbumEditorTest : public albumtest::ToldTest
{
protected:
    std::string touch(const std::string& relative) { return writeFile(relative, "x"); }

    // The folder browser answers with this folder.
    void chooseFolder(FileAlbumEditor& e, const std::string& folder)
    {
        e.setFolderChooser([folder](QWidget*, const std::string&) { return folder; });
    }
};

} // namespace

TEST_F(FileAlbumEditorTest, OpensOnThePlayersAlbumWithItsSongsInFourColumns)
{
    storeAlbum(AlbumKindAudio, "Morning", {"/music/a/Sunrise.mp3", "/music/b/Coffee.wav"});
    storeAlbum(AlbumKindAudio, "Radio", {"http://radio.example:8000/live.mp3", "bare.wav"},
               "Stations", {"the live\rstream"});
    storeAlbum(AlbumKindMidi, "Tunes", {"/midi/x.mid"});
    FileAlbumEditor e(AlbumKindAudio, "RADIO");
    EXPECT_EQ(e.windowTitle(), QStringLiteral("Album Management"));
    EXPECT_EQ(e.albumKeys(), (std::vector<std::string>{"Radio", "Morning"}))
        << "the database's order: shorter names first";
    EXPECT_EQ(e.albumTree()->topLevelItem(0)->text(0), QStringLiteral("Stations / Radio"));
    EXPECT_EQ(e.selectedKey(), "Radio");
    EXPECT_EQ(rowText(e, 0),
              QStringLiteral("[1]|live.mp3|the live stream|http://radio.example:8000/"));
    EXPECT_EQ(rowText(e, 1), QStringLiteral("[2]|bare.wav||"))
        << "a path without a folder is all file name";
    QAbstractItemModel* m = e.songList()->model();
    EXPECT_EQ(m->headerData(3, Qt::Horizontal).toString(), QStringLiteral("Folder"));

    e.albumTree()->setCurrentItem(e.albumTree()->topLevelItem(1));
    EXPECT_EQ(e.album().key(), "Morning");
    EXPECT_EQ(rowText(e, 1), QStringLiteral("[2]|Coffee.wav||/music/b/"));

    FileAlbumEditor midi(AlbumKindMidi);
    EXPECT_EQ(midi.albumKeys(), std::vector<std::string>{"Tunes"});
    EXPECT_EQ(AddFilesDefaultSuffix(AlbumKindMidi), QStringLiteral("mid"));
    EXPECT_TRUE(AddFilesFilter(AlbumKindMidi)
                    .startsWith(QStringLiteral("All Music Files|*.mid;*.rmi;*.kar;*.ims;")));
    EXPECT_TRUE(
        AddFilesFilter(AlbumKindMidi)
            .contains(QStringLiteral("|MIDI Files (*.mid;*.rmi;*.kar)|*.mid;*.rmi;*.kar|")));
    EXPECT_TRUE(AddFilesFilter(AlbumKindAudio).endsWith(QStringLiteral("All Files (*.*)|*.*||")));
}

TEST_F(FileAlbumEditorTest, AddFilesTakesEachFileOnceAndNoPlayLists)
{
    storeAlbum(AlbumKindAudio, "Mix", {});
    const std::string a = touch("m/a.wav"), upperA = touch("m/A.wav"), b = touch("m/b.mp3");
    const std::string c = touch("m/c.wav");
    // Another spelling of c.wav: on a file system that ignores case it would be the same file;
    // a link stands in for that here.
    ASSERT_EQ(::symlink(c.c_str(), homePath("m/C.WAV").c_str()), 0);
    const std::string list = writeFile("m/list.m3u", a + "\n");
    const std::string text = touch("m/notes.txt");
    FileAlbumEditor e(AlbumKindAudio, "Mix");
    std::vector<std::string> chosen{a, b, a, list, text, upperA, c, homePath("m/C.WAV")};
    QString filterAsked;
    e.setFilesChooser(
        [&](QWidget*, const QString& filter, const QString& suffix, const std::string& start) {
            filterAsked = filter;
            EXPECT_EQ(suffix, QStringLiteral("wav"));
            EXPECT_EQ(start, e.lastFolder());
            return chosen;
        });
    e.runCommand(FileAlbumEditor::AddFilesCommand);
    EXPECT_TRUE(filterAsked.startsWith(QStringLiteral("All Sounds|*.wav;*.au;")));
    EXPECT_EQ(paths(e), (std::vector<std::string>{a, b, upperA, c}))
        << "a.wav and A.wav are two files; C.WAV is c.wav again";
    EXPECT_EQ(storedSongs("Mix"), paths(e)) << "committed at once";
    EXPECT_EQ(e.lastFolder(), homePath("m"));
    EXPECT_TRUE(told.empty());

    // Again: nothing new, nothing written.
    e.runCommand(FileAlbumEditor::AddFilesCommand);
    EXPECT_EQ(e.rows().size(), 4u);
    chosen.clear(); // cancelled
    e.runCommand(FileAlbumEditor::AddFilesCommand);
    EXPECT_EQ(e.rows().size(), 4u);
}

TEST_F(FileAlbumEditorTest, AddFolderAndFolderTreeKeepTheFoldersOrderAndTellWhatWasLeft)
{
    storeAlbum(AlbumKindAudio, "Mix", {});
    for (const char* f :
         {"t/b.wav", "t/a.wav", "t/sub/x.mp3", "t/z.wav", "t/.hidden.wav", "t/cover.jpg"})
        touch(f);
    ASSERT_EQ(::symlink(homePath("t").c_str(), homePath("t/sub/loop").c_str()), 0);
    ASSERT_EQ(::symlink(homePath("nowhere.wav").c_str(), homePath("t/sub/gone.wav").c_str()), 0);
    FileAlbumEditor e(AlbumKindAudio, "Mix");
    chooseFolder(e, homePath("t"));
    e.runCommand(FileAlbumEditor::AddFolderCommand);
    EXPECT_EQ(names(e), (std::vector<std::string>{"a.wav", "b.wav", "z.wav"}));
    EXPECT_TRUE(told.empty());
    EXPECT_EQ(e.lastFolder(), homePath("t"));

    e.runCommand(FileAlbumEditor::AddFolderTreeCommand);
    EXPECT_EQ(names(e), (std::vector<std::string>{"a.wav", "b.wav", "z.wav", "x.mp3"}))
        << "only the new file is added, after the others";
    EXPECT_EQ(storedSongs("Mix").size(), 4u);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].text, "These files and folders were not added:\n" +
                                homePath("t/sub/gone.wav") + " (No such file or directory)");

    // In a fresh album the sub-folder's file comes where the sub-folder is.
    storeAlbum(AlbumKindAudio, "Fresh", {});
    FileAlbumEditor fresh(AlbumKindAudio, "Fresh");
    chooseFolder(fresh, homePath("t"));
    fresh.runCommand(FileAlbumEditor::AddFolderTreeCommand);
    EXPECT_EQ(names(fresh), (std::vector<std::string>{"a.wav", "b.wav", "x.mp3", "z.wav"}));
}

TEST_F(FileAlbumEditorTest, DropsTakeFilesFoldersAndPlayListsAndTellBadNames)
{
    storeAlbum(AlbumKindAudio, "Mix", {});
    const std::string a = touch("d/a.wav");
    touch("d/folder/f1.wav");
    touch("d/folder/f2.au");
    const std::string pls =
        writeFile("d/lists/list.pls", "[playlist]\nNumberOfEntries=3\nFile1=p.mp3\nFile2=skip."
                                      "txt\nFile3=" +
                                          a + "\n");
    const std::string m3u = writeFile("d/lists/list.m3u", "q.wav\n#EXTM3U\n");
    FileAlbumEditor e(AlbumKindAudio, "Mix");
    e.dropFiles(
        {a, homePath("d/folder"), pls, m3u, homePath("d/readme.txt"), homePath("d/bad\xff.wav")});
    EXPECT_EQ(paths(e),
              (std::vector<std::string>{a, homePath("d/folder/f1.wav"), homePath("d/folder/f2.au"),
                                        homePath("d/lists/p.mp3"), homePath("d/lists/q.wav")}));
    EXPECT_EQ(storedSongs("Mix"), paths(e));
    ASSERT_EQ(told.size(), 1u);
    EXPECT_NE(told[0].text.find("bad\xef\xbf\xbd.wav (the name is not text an album can keep)"),
              std::string::npos)
        << told[0].text;

    // A drop as the window system delivers it: file URLs, the name's bytes percent-encoded.
    forget();
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(homePath("d/url.wav"))),
                  QUrl(QStringLiteral("file://") + QString::fromStdString(homePath("d/")) +
                       QStringLiteral("raw%FF.wav"))});
    e.show();
    QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&e, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&e, &drop);
    QTest::qWait(20);
    EXPECT_EQ(e.rows().back().path, homePath("d/url.wav"));
    ASSERT_EQ(told.size(), 1u) << "the name with a byte that is not UTF-8 is not another name";
    EXPECT_NE(told[0].text.find("raw\xef\xbf\xbd.wav"), std::string::npos);
}

TEST_F(FileAlbumEditorTest, TwentyThousandDroppedFilesAreTakenAtOnce)
{
    storeAlbum(AlbumKindAudio, "Big", {homePath("big/00001.mp3")});
    std::vector<std::string> dropped;
    for (int i = 1; i <= 20000; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "big/%05d.mp3", i);
        dropped.push_back(homePath(name));
    }
    FileAlbumEditor e(AlbumKindAudio, "Big");
    e.dropFiles(dropped);
    EXPECT_EQ(e.rows().size(), 20000u);
    EXPECT_EQ(stored("Big").songCount(), 20000);
    EXPECT_EQ(cell(e, 19999, 0), QStringLiteral("[20000]"));
    // Delete and Cut of all of them, then nothing is left.
    e.runCommand(FileAlbumEditor::SelectAllCommand);
    EXPECT_EQ(e.selectedRows().size(), 20000u);
    e.runCommand(FileAlbumEditor::CutCommand);
    EXPECT_TRUE(e.rows().empty());
    EXPECT_EQ(e.songClipboard().size(), 20000u);
    EXPECT_EQ(stored("Big").songCount(), 0);
}

TEST_F(FileAlbumEditorTest, ShuffleDrawsPermutations)
{
    std::vector<std::string> thirty;
    for (int i = 0; i < 30; ++i)
        thirty.push_back("/m/" + std::to_string(100 + i) + ".wav");
    storeAlbum(AlbumKindAudio, "Thirty", thirty);
    FileAlbumEditor e(AlbumKindAudio, "Thirty");
    e.runCommand(FileAlbumEditor::ShuffleCommand);
    std::vector<std::string> shuffled = paths(e);
    EXPECT_EQ(storedSongs("Thirty"), shuffled);
    EXPECT_NE(shuffled, thirty);
    std::sort(shuffled.begin(), shuffled.end());
    EXPECT_EQ(shuffled, thirty) << "each song once";
}

TEST_F(FileAlbumEditorTest, SortsAlternateAscendingAndDescending)
{
    storeAlbum(AlbumKindAudio, "Mix",
               {"/m/b/Song.MP3", "/m/a/zeta.wav", "/m/a b/alpha.au", "/m/a/x/Track 10.wav",
                "/m/a/x/track 2.wav", "/m/noext"},
               {}, {"delta", "Alpha", "charlie", "", "Bravo", "echo"});
    FileAlbumEditor e(AlbumKindAudio, "Mix");
    e.runCommand(FileAlbumEditor::SortByExtensionCommand);
    EXPECT_EQ(names(e), (std::vector<std::string>{"noext", "alpha.au", "Song.MP3", "zeta.wav",
                                                  "Track 10.wav", "track 2.wav"}))
        << "no extension sorts as a blank; equal keys keep their order";
    e.runCommand(FileAlbumEditor::SortByExtensionCommand);
    EXPECT_EQ(names(e), (std::vector<std::string>{"zeta.wav", "Track 10.wav", "track 2.wav",
                                                  "Song.MP3", "alpha.au", "noext"}));
    EXPECT_EQ(storedSongs("Mix").front(), "/m/a/zeta.wav");

    e.runCommand(FileAlbumEditor::SortByFileNameCommand);
    EXPECT_EQ(names(e), (std::vector<std::string>{"alpha.au", "noext", "Song.MP3", "track 2.wav",
                                                  "Track 10.wav", "zeta.wav"}));
    e.runCommand(FileAlbumEditor::SortByFileNameCommand);
    EXPECT_EQ(names(e).front(), "zeta.wav");

    e.runCommand(FileAlbumEditor::SortByFolderCommand);
    EXPECT_EQ(paths(e),
              (std::vector<std::string>{"/m/noext", "/m/a/zeta.wav", "/m/a/x/track 2.wav",
                                        "/m/a/x/Track 10.wav", "/m/a b/alpha.au", "/m/b/Song.MP3"}))
        << "a folder, then its sub-folders, then the names that start like it";
    e.runCommand(FileAlbumEditor::SortByFolderCommand);
    EXPECT_EQ(paths(e).front(), "/m/b/Song.MP3");

    e.runCommand(FileAlbumEditor::SortByDescriptionCommand);
    std::vector<std::string> descriptions;
    for (const EditorSong& row : e.rows())
        descriptions.push_back(row.description);
    EXPECT_EQ(descriptions,
              (std::vector<std::string>{"", "Alpha", "Bravo", "charlie", "delta", "echo"}));
    const Album a = stored("Mix");
    EXPECT_EQ(a.GetSong(2)->title, "/m/a/zeta.wav");
    EXPECT_EQ(a.GetSong(2)->extendedInfo, "Alpha") << "descriptions travel with their songs";
}

TEST_F(FileAlbumEditorTest, TheSongClipboardPastesEachSongOnceAndSurvivesAlbums)
{
    storeAlbum(AlbumKindAudio, "A", {"/m/1.wav", "/m/2.wav", "/m/3.wav"}, {},
               {"one", "two", "three"});
    storeAlbum(AlbumKindAudio, "B", {"/m/2.wav"});
    FileAlbumEditor e(AlbumKindAudio, "A");
    e.selectRows({0, 1});
    e.runCommand(FileAlbumEditor::CopyCommand);
    e.albumTree()->setCurrentItem(e.albumTree()->topLevelItem(1));
    ASSERT_EQ(e.album().key(), "B");
    e.runCommand(FileAlbumEditor::PasteCommand);
    e.runCommand(FileAlbumEditor::PasteCommand);
    EXPECT_EQ(paths(e), (std::vector<std::string>{"/m/2.wav", "/m/1.wav"}))
        << "pasted once; the song already there stays as it is";
    EXPECT_EQ(stored("B").GetSong(2)->extendedInfo, "one");
    EXPECT_EQ(e.songClipboard().size(), 2u) << "pasting keeps the clipboard";

    e.albumTree()->setCurrentItem(e.albumTree()->topLevelItem(0));
    e.selectRows({2});
    e.runCommand(FileAlbumEditor::CutCommand);
    EXPECT_EQ(storedSongs("A"), (std::vector<std::string>{"/m/1.wav", "/m/2.wav"}));
    ASSERT_EQ(e.songClipboard().size(), 1u);
    EXPECT_EQ(e.songClipboard()[0], (std::pair<std::string, std::string>{"/m/3.wav", "three"}));
    e.runCommand(FileAlbumEditor::PasteCommand);
    EXPECT_EQ(storedSongs("A").back(), "/m/3.wav");
}

TEST_F(FileAlbumEditorTest, DeleteWorksOnWhatHasTheFocusAndKeepsTheLastAlbum)
{
    storeAlbum(AlbumKindAudio, "A", {"/m/1.wav", "/m/2.wav", "/m/3.wav"});
    storeAlbum(AlbumKindAudio, "B", {});
    FileAlbumEditor e(AlbumKindAudio, "A");
    albumtest::focusIn(e, e.songList());
    ASSERT_EQ(e.focusMode(), FileAlbumEditor::SongListFocus);
    e.runCommand(FileAlbumEditor::DeleteCommand);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].text, "There is no selected Song.");
    EXPECT_EQ(told[0].caption, "Error");
    e.selectRows({0, 2});
    e.runCommand(FileAlbumEditor::DeleteCommand);
    EXPECT_EQ(storedSongs("A"), std::vector<std::string>{"/m/2.wav"});
    EXPECT_EQ(cell(e, 0, 0), QStringLiteral("[1]")) << "numbers renewed";

    forget();
    albumtest::focusIn(e, e.albumTree());
    answer = IDNO;
    e.runCommand(FileAlbumEditor::DeleteCommand);
    EXPECT_EQ(messages, std::vector<std::string>{"Delete this album ?"});
    answer = IDYES;
    QTest::keyClick(e.albumTree(), Qt::Key_Delete);
    EXPECT_EQ(Album(AlbumKindAudio).ListAlbumKeys(), std::vector<std::string>{"B"});
    EXPECT_EQ(e.album().key(), "B") << "the neighbour opens";
    forget();
    e.runCommand(FileAlbumEditor::DeleteCommand);
    EXPECT_EQ(messages, std::vector<std::string>{"Can not delete the last album."});
    EXPECT_EQ(Album(AlbumKindAudio).ListAlbumKeys(), std::vector<std::string>{"B"});
}

TEST_F(FileAlbumEditorTest, RenamingThroughPropertiesLeavesNothingUnderTheOldName)
{
    storeAlbum(AlbumKindAudio, "Old Name", {"/m/1.wav", "/m/2.wav"});
    storeAlbum(AlbumKindAudio, "Other", {"/m/9.wav"});
    {
        Album a(AlbumKindAudio);
        a.Open("Old Name", 0);
        a.setProgram({2, 1});
        a.GetSong(1)->lengthMs = 61000;
        ASSERT_TRUE(a.Save());
    }
    FileAlbumEditor e(AlbumKindAudio, "Old Name");
    albumtest::focusIn(e, e.albumTree());
    const std::string name32 = "A Name of Exactly Thirty-Two Ch.";
    ASSERT_EQ(name32.size(), 32u);
    const NextModal modal([&](QDialog* d) {
        auto* dialog = qobject_cast<AlbumPropertiesDialog*>(d);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->titleEdit()->text(), QStringLiteral("Old Name"));
        dialog->titleEdit()->setText(QString::fromStdString(name32 + "x"));
        dialog->accept();
        EXPECT_TRUE(dialog->isVisible()) << "33 characters are refused";
        dialog->titleEdit()->setText(QString::fromStdString(name32));
        dialog->artistEdit()->setText(QStringLiteral("Someone"));
        dialog->genreBox()->setCurrentText(QStringLiteral("Jazz"));
        dialog->accept();
    });
    e.runCommand(FileAlbumEditor::PropertiesCommand);
    ASSERT_TRUE(modal.seen());
    EXPECT_EQ(messages,
              std::vector<std::string>{"Please enter no more than 32 characters in Album Title."});
    EXPECT_EQ(sortedKeys(), (std::vector<std::string>{name32, "Other"}));
    EXPECT_EQ(albumtest::albumText(stored(name32)),
              name32 + "|Someone|Jazz||play 2 1\n1|/m/1.wav||61000|0\n2|/m/2.wav||0|0\n");
    EXPECT_EQ(e.selectedKey(), name32);
    EXPECT_EQ(e.albumTree()->currentItem()->text(0), QString::fromStdString("Someone / " + name32));
    // Nothing of the old name is left among the database's elements.
    auto cf = cfb::CompoundFile::open(Album::DatabasePath(AlbumKindAudio),
                                      cfb::CompoundFile::Mode::Read, nullptr);
    ASSERT_TRUE(cf);
    for (const cfb::Element& el : cf->children(cfb::kRootEntry))
        EXPECT_NE(el.name, "Old Name");
    cf.reset();

    // A change of case only.
    const NextModal modal2([](QDialog* d) {
        static_cast<AlbumPropertiesDialog*>(d)->titleEdit()->setText(QStringLiteral("OTHER"));
        d->accept();
    });
    e.albumTree()->setCurrentItem(e.albumTree()->topLevelItem(0));
    ASSERT_EQ(e.album().key(), "Other");
    e.runCommand(FileAlbumEditor::PropertiesCommand);
    EXPECT_EQ(sortedKeys(), (std::vector<std::string>{name32, "OTHER"}));
    EXPECT_EQ(storedSongs("OTHER"), std::vector<std::string>{"/m/9.wav"});
}

TEST_F(FileAlbumEditorTest, SaveAsCopiesOrReplacesAndNewStartsEmpty)
{
    storeAlbum(AlbumKindAudio, "Mine", {"/m/1.wav", "/m/2.wav"});
    storeAlbum(AlbumKindAudio, "Theirs", {"/t/1.wav"});
    FileAlbumEditor e(AlbumKindAudio, "Mine");
    // Runs the command with `name` typed into the album dialog it opens.
    const auto runNamed = [&e](int command, const char* name) {
        const NextModal modal([name](QDialog* d) {
            static_cast<AlbumPropertiesDialog*>(d)->titleEdit()->setText(QString::fromUtf8(name));
            d->accept();
        });
        e.runCommand(command);
    };
    runNamed(FileAlbumEditor::SaveAsCommand, "Copy");
    EXPECT_EQ(storedSongs("Copy"), storedSongs("Mine")) << "the old album stays as it was";
    EXPECT_EQ(e.selectedKey(), "Copy");

    answer = IDNO;
    runNamed(FileAlbumEditor::SaveAsCommand, "theirs");
    EXPECT_EQ(messages, std::vector<std::string>{
                            "The album already exists. Do you want to replace the old one ?"});
    EXPECT_EQ(told.back().caption, "Confirm");
    EXPECT_EQ(storedSongs("Theirs"), std::vector<std::string>{"/t/1.wav"});
    answer = IDYES;
    runNamed(FileAlbumEditor::SaveAsCommand, "theirs");
    EXPECT_EQ(storedSongs("Theirs"), (std::vector<std::string>{"/m/1.wav", "/m/2.wav"}));
    EXPECT_EQ(e.selectedKey(), "Theirs");
    EXPECT_EQ(Album(AlbumKindAudio).ListAlbumKeys().size(), 3u);

    runNamed(FileAlbumEditor::NewCommand, "Brand New");
    EXPECT_EQ(e.selectedKey(), "Brand New");
    EXPECT_TRUE(e.rows().empty());
    EXPECT_EQ(stored("Brand New").songCount(), 0) << "stored at once, empty";
    const NextModal cancelled([](QDialog* d) { d->reject(); });
    e.runCommand(FileAlbumEditor::NewCommand);
    EXPECT_EQ(Album(AlbumKindAudio).ListAlbumKeys().size(), 4u);
}

TEST_F(FileAlbumEditorTest, SongPropertiesAddUrlAndSelection)
{
    storeAlbum(AlbumKindAudio, "A", {"/m/1.wav", "/m/2.wav"});
    FileAlbumEditor e(AlbumKindAudio, "A");
    albumtest::focusIn(e, e.songList());
    e.selectRows({1});
    const NextModal modal([](QDialog* d) {
        auto* dialog = qobject_cast<SongPropertiesDialog*>(d);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->song(), 2);
        dialog->descriptionEdit()->setPlainText(QStringLiteral("second\nsong"));
        dialog->accept();
    });
    e.runCommand(FileAlbumEditor::PropertiesCommand);
    ASSERT_TRUE(modal.seen());
    EXPECT_EQ(e.rows()[1].description, "second\rsong");
    EXPECT_EQ(stored("A").GetSong(2)->extendedInfo, "second\rsong");

    const NextModal url([](QDialog* d) {
        auto* dialog = qobject_cast<QInputDialog*>(d);
        ASSERT_NE(dialog, nullptr);
        dialog->setTextValue(QStringLiteral("  http://radio.example/stream  "));
        dialog->accept();
    });
    e.runCommand(FileAlbumEditor::AddUrlCommand);
    ASSERT_TRUE(url.seen());
    EXPECT_EQ(storedSongs("A").back(), "http://radio.example/stream");

    e.runCommand(FileAlbumEditor::SelectAllCommand);
    EXPECT_EQ(e.selectedRows(), (std::vector<int>{0, 1, 2}));
    e.runCommand(FileAlbumEditor::SelectNoneCommand);
    EXPECT_TRUE(e.selectedRows().empty());
    forget();
    e.runCommand(FileAlbumEditor::Id3TagEditCommand);
    EXPECT_EQ(messages, std::vector<std::string>{"There is no selected Song."});
    e.selectRows({2});
    e.runCommand(FileAlbumEditor::Id3TagEditCommand);
    EXPECT_EQ(messages.back(), "Can't edit remote file.");
}

TEST_F(FileAlbumEditorTest, ImportMergesAndExportTellsWhere)
{
    storeAlbum(AlbumKindAudio, "A", {"/m/1.wav"});
    const std::string m3u = writeFile("in/list.m3u", "/m/1.wav\n/m/2.mp3\nnotes.txt\n3.au\n");
    FileAlbumEditor e(AlbumKindAudio, "A");
    std::string chosen = m3u;
    std::vector<FileChoice> asked;
    e.setFileChooser([&](QWidget*, const FileChoice& choice) {
        asked.push_back(choice);
        return chosen;
    });
    e.runCommand(FileAlbumEditor::ImportCommand);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].defaultSuffix, QStringLiteral("pls"));
    EXPECT_TRUE(asked[0].filter.startsWith(QStringLiteral("All List Files (*.m3u;*.pls;*.ini)|")));
    EXPECT_EQ(paths(e), (std::vector<std::string>{"/m/1.wav", "/m/2.mp3", homePath("in/3.au")}));
    EXPECT_EQ(storedSongs("A"), paths(e));

    chosen = homePath("in/out.pls");
    e.runCommand(FileAlbumEditor::ExportCommand);
    EXPECT_EQ(asked[1].mode, FileChoice::Save);
    EXPECT_NE(readFile(chosen).find("File2=/m/2.mp3"), std::string::npos) << readFile(chosen);
    EXPECT_EQ(messages, std::vector<std::string>{
                            "The information of current album is exported to:\n" + chosen});
}

TEST_F(FileAlbumEditorTest, FindGoesThroughTheKindsAlbumsAndCheckFileMarksTheMissing)
{
    const std::string here = touch("m/here.wav");
    storeAlbum(AlbumKindAudio, "A", {here, homePath("m/gone.wav"), "http://x.example/a.mp3"});
    storeAlbum(AlbumKindAudio, "B", {"/m/Lovely Day.wav"}, {}, {""});
    storeAlbum(AlbumKindMidi, "Lovely MIDI", {"/midi/lovely.mid"});
    FileAlbumEditor e(AlbumKindAudio, "A");
    albumtest::focusIn(e, e.albumTree());
    const NextModal modal([](QDialog* d) {
        qobject_cast<FindTextDialog*>(d)->edit()->setText(QStringLiteral("lovely"));
        d->accept();
    });
    e.runCommand(FileAlbumEditor::FindCommand);
    ASSERT_TRUE(modal.seen());
    EXPECT_EQ(e.selectedKey(), "B");
    EXPECT_EQ(e.selectedRows(), std::vector<int>{0});
    EXPECT_EQ(e.focusMode(), FileAlbumEditor::SongListFocus);
    e.runCommand(FileAlbumEditor::FindNextCommand);
    EXPECT_EQ(messages, std::vector<std::string>{"Can't find the string."})
        << "the MIDI album is not this window's";

    forget();
    e.albumTree()->setCurrentItem(e.albumTree()->topLevelItem(0));
    e.selectRows({0, 2});
    e.runCommand(FileAlbumEditor::CheckFileCommand);
    EXPECT_EQ(e.selectedRows(), std::vector<int>{1}) << "addresses and files that are there: not";
    EXPECT_EQ(messages, std::vector<std::string>{"Selected items have invalid file name."});
    forget();
    ASSERT_EQ(::rename(here.c_str(), homePath("m/gone.wav").c_str()), 0);
    touch("m/here.wav");
    e.runCommand(FileAlbumEditor::CheckFileCommand);
    EXPECT_TRUE(e.selectedRows().empty());
    EXPECT_TRUE(told.empty());
}

TEST_F(FileAlbumEditorTest, EncodeHandsTheSelectionToItsServiceOrSaysItIsNotThere)
{
    storeAlbum(AlbumKindAudio, "A", {"/m/1.wav", "/m/2.wav", "/m/3.wav"});
    FileAlbumEditor bare(AlbumKindAudio, "A");
    bare.runCommand(FileAlbumEditor::EncodeCommand);
    EXPECT_TRUE(told.empty()) << "nothing selected, nothing to say";
    bare.selectRows({0});
    bare.runCommand(FileAlbumEditor::EncodeCommand);
    EXPECT_EQ(messages, std::vector<std::string>{
                            "This feature is not available in this version of Kolvo yet."});
    EXPECT_EQ(bare.action(FileAlbumEditor::EncodeCommand)->text(), QStringLiteral("Enco&de..."));

    std::vector<std::string> handed;
    FileAlbumEditorServices services;
    services.encode = [&](QWidget*, const std::vector<std::string>& files) {
        handed = files;
        return std::vector<std::string>{"/m/1.mp3", "/m/3.mp3"};
    };
    FileAlbumEditor e(AlbumKindAudio, "A", services);
    e.selectRows({2, 0});
    e.runCommand(FileAlbumEditor::EncodeCommand);
    EXPECT_EQ(handed, (std::vector<std::string>{"/m/1.wav", "/m/3.wav"})) << "in list order";
    EXPECT_EQ(storedSongs("A"), (std::vector<std::string>{"/m/1.wav", "/m/2.wav", "/m/3.wav",
                                                          "/m/1.mp3", "/m/3.mp3"}));
}

TEST_F(FileAlbumEditorTest, ALongScanShowsProgressAndCancelKeepsNothing)
{
    storeAlbum(AlbumKindAudio, "A", {});
    FileAlbumEditor e(AlbumKindAudio, "A");
    e.show();
    chooseFolder(e, "/anywhere");
    e.setProgressDelay(0);
    // A scan that finds songs until it is cancelled, as a slow disc would.
    e.setFolderScanner([](const std::string& folder, bool, FolderScanControl& control) {
        FolderScanResult r;
        while (!control.cancelled()) {
            r.files.push_back(folder + "/" + std::to_string(r.files.size()) + ".wav");
            control.addFound();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        r.cancelled = true;
        return r;
    });
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(10);
    QString label;
    const NextModal modal([&](QDialog* d) {
        auto* progress = qobject_cast<QProgressDialog*>(d);
        ASSERT_NE(progress, nullptr);
        QTest::qWait(150);
        label = progress->labelText();
        progress->cancel();
    });
    e.runCommand(FileAlbumEditor::AddFolderTreeCommand);
    ASSERT_TRUE(modal.seen());
    EXPECT_TRUE(label.startsWith(QStringLiteral("Looking for files... "))) << label.toStdString();
    EXPECT_FALSE(label.endsWith(QStringLiteral(" 0 found")));
    EXPECT_GT(ticks, 5) << "the window's events ran while it scanned";
    EXPECT_TRUE(e.rows().empty());
    EXPECT_EQ(stored("A").songCount(), 0);

    // A quick scan shows nothing and adds what it found.
    e.setProgressDelay(400);
    e.setFolderScanner([](const std::string& folder, bool, FolderScanControl&) {
        FolderScanResult r;
        r.files = {folder + "/1.wav", folder + "/2.wav"};
        return r;
    });
    e.runCommand(FileAlbumEditor::AddFolderCommand);
    EXPECT_EQ(paths(e), (std::vector<std::string>{"/anywhere/1.wav", "/anywhere/2.wav"}));
}

TEST_F(FileAlbumEditorTest, ADatabaseThatCannotBeWrittenIsToldAndTheListKept)
{
    storeAlbum(AlbumKindAudio, "A", {"/m/1.wav"});
    const std::string database = Album::DatabasePath(AlbumKindAudio);
    ASSERT_EQ(::chmod(database.c_str(), 0444), 0);
    {
        const albumtest::AsNobody nobody(database, home());
        FileAlbumEditor e(AlbumKindAudio, "A");
        ASSERT_EQ(e.rows().size(), 1u) << "a read-only database is read";
        e.dropFiles({"/m/2.wav"});
        EXPECT_EQ(paths(e), (std::vector<std::string>{"/m/1.wav", "/m/2.wav"}))
            << "the list keeps what was done";
        ASSERT_EQ(told.size(), 1u);
        EXPECT_EQ(told[0].text.rfind("Can't write the album database " + database, 0), 0u)
            << told[0].text;
    }
    EXPECT_EQ(storedSongs("A"), std::vector<std::string>{"/m/1.wav"}) << "nothing lost";
}

TEST_F(FileAlbumEditorTest, TheWindowRemembersWhereItWas)
{
    storeAlbum(AlbumKindAudio, "A", {});
    const QRect area = DesktopWorkArea();
    const QRect place(area.left() + 40, area.top() + 30, 700, 420);
    {
        FileAlbumEditor hidden(AlbumKindAudio);
        hidden.setGeometry(place.translated(5, 5));
    }
    EXPECT_TRUE(ReadWindowRect(Profile(), "MakeAlbum").isEmpty()) << "never shown, not kept";
    {
        FileAlbumEditor e(AlbumKindAudio);
        e.show();
        e.setGeometry(place);
    }
    EXPECT_EQ(ReadWindowRect(Profile(), "MakeAlbum"), place);
    FileAlbumEditor again(AlbumKindVideo);
    again.show();
    EXPECT_EQ(again.geometry(), place);
}

TEST_F(FileAlbumEditorTest, Screenshot)
{
    const char* titles[] = {"Blue in Green", "So What", "All Blues", "Milestones", "Naima"};
    std::vector<std::string> songs, descriptions;
    for (int i = 0; i < 30; ++i) {
        songs.push_back("/home/me/Music/" + std::string(i < 12 ? "Kind of Cool" : "Late Set") +
                        "/" + std::to_string(i + 1) + " - " + titles[i % 5] +
                        (i % 3 == 0 ? ".mp3" : ".wav"));
        descriptions.push_back(i % 4 == 0 ? "live take" : "");
    }
    storeAlbum(AlbumKindAudio, "Evening Jazz", songs, "Various", descriptions);
    storeAlbum(AlbumKindAudio, "Road Trip", {});
    FileAlbumEditor e(AlbumKindAudio, "Evening Jazz");
    e.resize(900, 560);
    albumtest::focusIn(e, e.songList());
    e.selectRows({3, 4, 5});
    albumtest::saveReviewShot(e, QStringLiteral("file-album-editor.png"));
}
