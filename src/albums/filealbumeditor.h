#pragma once
// The file album editor ("Make Album"): the window in which the user builds albums of media
// files for the Digital Audio, MIDI and Digital Video Players. One window works on one album
// kind (audio, MIDI or video): a tree of that kind's albums on the left, the songs of the
// selected one on the right (number, file name, description, folder).
//
// It promises:
// - the song list is the editing copy of the album: every command changes the list and then
//   commits it (CommitList), so the database always holds what the window shows; a commit that
//   cannot be written says so and the list keeps what was done;
// - a song is added once: a path already in the list is not added again, nor one that differs
//   only in letter case when both name the same file (a folder on a file system that ignores
//   case); two files whose names differ only in case are two songs;
// - adding files, folders, folder trees, addresses, play lists, dropped files and dropped
//   folders takes only what the album kind plays, and tells what it could not take (folders it
//   cannot read, dangling links to songs, names an album cannot keep);
// - a folder scan runs beside the window: after a moment it shows its progress and can be
//   cancelled, keeping nothing it found;
// - the last album of a kind cannot be deleted, and renaming an album leaves nothing under its
//   old name;
// - the window keeps its rectangle in the settings ("MakeAlbum") when it has been shown.
//
// The file encoder belongs to the recording layer above the albums: it comes in as a service,
// and without it the Encode command says the feature is not there yet. The file and folder
// dialogs and the folder scan go through seams tests replace.

#include "albums/album.h"
#include "albums/albumdialogs.h"
#include "albums/albumwindow.h"
#include "albums/folderscan.h"

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QTreeView;
class QTreeWidgetItem;
class SongRowsModel;

struct FileAlbumEditorServices
{
    // Encodes the files (in list order) to MPEG Layer 3 with its settings sheet and progress
    // dialog; the files it produced.
    std::function<std::vector<std::string>(QWidget* parent, const std::vector<std::string>& files)>
        encode;
};

// A row of the song list: a song of the album being edited. The length and start frame a
// player stored travel with the song when rows move.
struct EditorSong
{
    std::string path; // full path or address
    std::string description;
    int32_t lengthMs = 0;
    int32_t startFrame = 0;
};

// The multi-selection open dialog of Add Files: the chosen paths, none when cancelled.
using FilesChooser = std::function<std::vector<std::string>(QWidget* parent, const QString& filter,
                                                            const QString& defaultSuffix,
                                                            const std::string& startFolder)>;
// The folder browser: the folder chosen, "" when cancelled.
using FolderChooser = std::function<std::string(QWidget* parent, const std::string& startFolder)>;
// Scans one folder; runs on a thread of its own and must return soon after control is
// cancelled.
using FolderScanner = std::function<FolderScanResult(const std::string& folder, bool recurse,
                                                     FolderScanControl& control)>;

std::vector<std::string> ChooseFilesWithDialog(QWidget* parent, const QString& filter,
                                               const QString& defaultSuffix,
                                               const std::string& startFolder);
std::string ChooseFolderWithDialog(QWidget* parent, const std::string& startFolder);

// The add-files dialog's filter of an album kind, and its default extension.
QString AddFilesFilter(AlbumKind kind);
QString AddFilesDefaultSuffix(AlbumKind kind);

// A song path split for the list: the folder up to and including its last "/", and the rest.
// A path without "/" is all file name.
struct SplitPath
{
    std::string folder;
    std::string name;
};
SplitPath SplitSongPath(std::string_view path);

class FileAlbumEditor : public AlbumWindow
{
    Q_OBJECT
public:
    // The designed command ids (each is also the string of the command's tooltip).
    enum Command {
        NewCommand = 33152,
        SaveAsCommand = 1011,
        PropertiesCommand = 33240,
        DeleteCommand = 1009,
        CloseCommand = 33126,
        AddFilesCommand = 33237,
        AddFolderCommand = 33238,
        AddFolderTreeCommand = 33239,
        AddUrlCommand = 33367,
        ImportCommand = 33124,
        ExportCommand = 33125,
        ShuffleCommand = 1137,
        SortByFileNameCommand = 33261,
        SortByExtensionCommand = 33262,
        SortByFolderCommand = 33263,
        SortByDescriptionCommand = 33264,
        Id3TagEditCommand = 1057,
        CutCommand = 33258,
        CopyCommand = 33259,
        PasteCommand = 33260,
        FindCommand = 33285,
        FindNextCommand = 33286,
        CheckFileCommand = 33328,
        EncodeCommand = 33420,
        SelectAllCommand = 1211,
        SelectNoneCommand = 33382,
    };
    // Where the keyboard focus was last, which decides what Properties and Delete work on.
    enum FocusMode { TreeFocus = 1, SongListFocus = 2 };

    // kind: audio, MIDI or video albums. currentAlbumKey: the player's album, selected when the
    // window opens (the first album when it is empty or not in the database).
    explicit FileAlbumEditor(AlbumKind kind, const std::string& currentAlbumKey = {},
                             FileAlbumEditorServices services = {}, QWidget* parent = nullptr);
    ~FileAlbumEditor() override;

    void runCommand(int command) override;

    // --- the designed operations ---
    // Appends every path not yet in the list; whether anything was added. Nothing is committed.
    bool AddFiles(const std::vector<std::string>& paths);
    // Writes the list into the album and saves it; false (the user told) when it could not be
    // written.
    bool CommitList();
    // Files, folders and play lists dropped on the window (paths as the file system spells
    // them): media files of the kind are added, folders scanned with their sub-folders, PLS and
    // M3U lists expanded; then the list is committed.
    void dropFiles(const std::vector<std::string>& paths);

    // Seams for tests.
    void setFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }
    void setFilesChooser(FilesChooser chooser) { m_chooseFiles = std::move(chooser); }
    void setFolderChooser(FolderChooser chooser) { m_chooseFolder = std::move(chooser); }
    void setFolderScanner(FolderScanner scanner) { m_scanFolder = std::move(scanner); }
    // How long a scan runs before its progress dialog shows.
    void setProgressDelay(int ms) { m_progressDelayMs = ms; }

    AlbumKind kind() const { return m_kind; }
    QTreeView* songList() const { return m_songs; }
    FocusMode focusMode() const { return m_focusMode; }
    const std::vector<EditorSong>& rows() const { return m_rows; }
    // The 0-based rows selected, in list order.
    std::vector<int> selectedRows() const;
    void selectRows(const std::vector<int>& rows);
    // The album the user chose: the one selected when the window closed.
    std::string chosenKey() const { return selectedKey(); }
    const std::string& lastFolder() const { return m_lastFolder; }
    const std::vector<std::pair<std::string, std::string>>& songClipboard() const
    {
        return m_clipboard;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void onCurrentAlbumChanged(QTreeWidgetItem* current) override;
    void albumProperties() override;
    void songProperties() override;
    void showSongMenu(const QPoint& pos) override;
    int findStartSong() const override;
    void showFoundSong(int song) override;

private:
    void buildCommands();
    void rowsFromAlbum();
    void resetRows();
    void tellProblems(const std::vector<FolderScanProblem>& problems);
    bool albumInTree(const std::string& name, std::string* storedKey = nullptr) const;
    // Scans folders beside the window; the files found, nothing when cancelled.
    std::vector<std::string> scanFolders(const std::vector<std::string>& folders, bool recurse,
                                         std::vector<FolderScanProblem>& problems);
    void addAndCommit(const std::vector<std::string>& paths);

    // The album properties dialog over shown; nothing when cancelled.
    std::optional<AlbumProperties> askAlbumProperties(const AlbumProperties& shown);
    // Whether the album may take the name: no album has it, or the user agrees to write over
    // the one that has (its key in storedKey).
    bool mayTakeName(const std::string& name, std::string* storedKey = nullptr);
    // The play list to import or export; "" when no album is selected or the user cancels.
    std::string chooseListFile(FileChoice::Mode mode);

    void newAlbum();
    void saveAs();
    void properties();
    void deleteCommand();
    void deleteAlbum();
    void deleteSongs();
    void addFiles();
    void addFolder(bool recurse);
    void addUrl();
    void importList();
    void exportList();
    void shuffle();
    void sortRows(int command);
    void id3TagEdit();
    void copySongs();
    void cutSongs();
    void pasteSongs();
    void checkFiles();
    void encode();

    AlbumKind m_kind;
    FileAlbumEditorServices m_services;
    FileChooser m_chooseFile;
    FilesChooser m_chooseFiles;
    FolderChooser m_chooseFolder;
    FolderScanner m_scanFolder;
    int m_progressDelayMs = 400;
    std::vector<EditorSong> m_rows;
    SongRowsModel* m_model = nullptr;
    QTreeView* m_songs = nullptr;
    FocusMode m_focusMode = TreeFocus;
    std::string m_lastFolder;
    std::vector<std::pair<std::string, std::string>> m_clipboard;
    std::array<bool, 4> m_sortDescending{};
    bool m_busy = false;
};
