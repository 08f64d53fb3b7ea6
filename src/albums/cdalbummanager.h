#pragma once
// The CD album manager ("Album Management"): a window over the CD album database with every
// CD album in a tree on the left and the songs of the selected one on the right. From it the
// user edits album and track texts, deletes albums, searches all albums for a text, imports
// and exports disc information, reads a disc's titles from a CD database server, submits them
// to it and prints album reports.
//
// The window works on an album object of its own, opened for the selected tree item; every
// change is saved into the database at once. The CD database and printing belong to layers
// above the albums: the caller hands them in as services, and a command whose service is
// missing is disabled.

#include "albums/album.h"
#include "albums/albumdialogs.h"
#include "albums/albumwindow.h"

#include <functional>
#include <string>
#include <vector>

class QMenu;
class QTreeWidget;
class QTreeWidgetItem;

struct CdAlbumManagerServices
{
    // Looks the album's disc up on the current CD database server and stores what it finds
    // into the album, saved; 1 when the album was updated, 0 when not (the user has been
    // told why).
    std::function<int(QWidget* parent, Album& album)> readFromCddb;
    // Submits the album's titles to the CD database (settings, checks, confirmation and
    // outcome included); on success the album's revision grows by 1 and it is saved.
    std::function<int(QWidget* parent, Album& album)> submitToCddb;
    // The CD database server list editor.
    std::function<void(QWidget* parent)> editCddbServers;
    // Prints album reports: every album of albumKeys (in tree order), or only selectedKey
    // when the user asks for the selection ("" when no album is selected).
    std::function<void(QWidget* parent, const std::vector<std::string>& albumKeys,
                       const std::string& selectedKey)>
        print;
    // The report's page settings.
    std::function<void(QWidget* parent)> pageSetup;
};

// Whether the album's disc timing is complete enough to ask a CD database for it: a disc
// length and a lead-out, every song with a length, start frames strictly increasing from
// above 0 and the lead-out after the last of them.
bool HasCompleteCdTiming(const Album& album);

class CdAlbumManager : public AlbumWindow
{
    Q_OBJECT
public:
    // The designed command ids (each is also the string of the command's tooltip).
    enum Command {
        PropertiesCommand = 33240,
        DeleteCommand = 1009,
        CloseCommand = 33126,
        ImportCommand = 33124,
        ExportCommand = 33125,
        ImportCdPlayerIniCommand = 33362,
        ExportCdPlayerIniCommand = 33363,
        ImportFileCommand = 33364,
        ExportFileCommand = 33365,
        FindCommand = 33285,
        FindNextCommand = 33286,
        ReadFromCddbCommand = 33265,
        SubmitToCddbCommand = 33266,
        EditCddbServersCommand = 33267,
        PrintCommand = 33288,
        PageSetupCommand = 33366,
    };
    // Where the keyboard focus is, which decides what Properties and Find Next work on.
    enum FocusMode { NoFocus = 0, TreeFocus = 1, SongListFocus = 2 };

    // currentAlbumKey: the album of the disc in the drive, selected when the window opens
    // (the first album when it is empty or not in the database).
    explicit CdAlbumManager(const std::string& currentAlbumKey = {},
                            CdAlbumManagerServices services = {}, QWidget* parent = nullptr);
    ~CdAlbumManager() override;

    void runCommand(int command) override;

    // The import and export file dialogs; tests choose the file themselves.
    void setFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }

    QTreeWidget* songList() const { return m_songs; }
    FocusMode focusMode() const { return m_focusMode; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void onCurrentAlbumChanged(QTreeWidgetItem* current) override;
    void albumProperties() override;
    void songProperties() override;
    void showSongMenu(const QPoint& pos) override;
    int findStartSong() const override;
    void showFoundSong(int song) override;

private:
    void buildCommands();
    void fillSongs();
    void commitAlbum();
    void reloadAfterImport();
    void tellProblems(const std::vector<std::string>& problems);

    void properties();
    void deleteAlbum();
    void importCdPlayerIni();
    void importFile();
    void exportCdPlayerIni();
    void exportFile();
    void readFromCddb();
    void submitToCddb();
    void print();

    CdAlbumManagerServices m_services;
    FileChooser m_chooseFile;
    QTreeWidget* m_songs = nullptr;
    QMenu* m_importMenu = nullptr;
    QMenu* m_exportMenu = nullptr;
    FocusMode m_focusMode = NoFocus;
};
