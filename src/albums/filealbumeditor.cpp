#include "albums/filealbumeditor.h"

#include "albums/filealbumeditoricons.h"
#include "albums/filealbumeditorpaths.h"

#include "albums/id3dialog.h"
#include "albums/playlist.h"
#include "albums/quickselect.h"
#include "platform/msgbox.h"
#include "platform/strings.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QInputDialog>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QProgressDialog>
#include <QSplitter>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <numeric>
#include <optional>
#include <sys/stat.h>
#include <thread>
#include <unordered_map>

using namespace editorpaths;

namespace {

constexpr UINT IDS_NUMBER = 2034;
constexpr UINT IDS_FILE = 2029;
constexpr UINT IDS_DESCRIPTION = 2047;
constexpr UINT IDS_FOLDER = 2048;
constexpr UINT IDS_CONFIRM = 2032;
constexpr UINT IDS_ERROR = 2038;
constexpr UINT IDS_CANT_WRITE_FILE = 2064;
constexpr UINT IDS_ENCODE_MENU = 1067;
constexpr UINT IDS_NO_SELECTED_SONG = 39217;
constexpr UINT IDS_NOT_AVAILABLE_YET = 39218;
constexpr UINT IDS_ALBUM_EXISTS = 39240;
constexpr UINT IDS_LAST_ALBUM = 39241;
constexpr UINT IDS_INVALID_FILE_NAMES = 39242;
constexpr UINT IDS_ALBUM_EXPORTED = 39243;
constexpr UINT IDS_IMPORT_FILTER = 39244;
constexpr UINT IDS_EXPORT_FILTER = 39245;
constexpr UINT IDS_AUDIO_FILTER = 39246;
constexpr UINT IDS_MIDI_FILTER = 39247;
constexpr UINT IDS_VIDEO_FILTER = 39248;
constexpr UINT IDS_LOOKING_FOR_FILES = 39256;
constexpr UINT IDS_NOT_ADDED = 39257;
constexpr UINT IDS_NAME_NOT_STORABLE = 39258;
constexpr UINT IDS_AND_MORE = 39259;
constexpr UINT IDS_ALBUM_DATABASE_UNWRITABLE = 9302;

// The longest path Linux takes; a longer dropped name is no file.
constexpr size_t kMaxPathBytes = 4095;
// Lines of a "not added" message before the rest is only counted.
constexpr size_t kProblemLines = 20;

enum SongColumn { NumberColumn, FileColumn, DescriptionColumn, FolderColumn, ColumnCount };

QString fromUtf8(std::string_view s)
{
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

QString withPath(UINT id, const std::string& path)
{
    return LoadQString(id).replace(QLatin1String("%s"), fromUtf8(path));
}

AlbumProperties propertiesOf(const Album& album)
{
    return {album.title(), album.artist(), album.extendedInfo(), album.genre()};
}

// The texts of the properties besides the name, which is the album's key.
void setTexts(Album& album, const AlbumProperties& values)
{
    album.setArtist(values.artist);
    album.setExtendedInfo(values.description);
    album.setGenre(values.genre);
}

// Names the album; a name the database cannot take is told.
bool setKeyOrTell(QWidget* parent, Album& album, const std::string& key)
{
    if (album.setKey(key))
        return true;
    KolvoMessageBox(parent, fromUtf8(album.lastError()), MessageIcon::Error);
    return false;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// The song list's model: the editor's rows, four columns.

class SongRowsModel : public QAbstractTableModel
{
public:
    SongRowsModel(const std::vector<EditorSong>& rows, QObject* parent)
        : QAbstractTableModel(parent)
        , m_rows(rows)
    {}

    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : ColumnCount;
    }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid() || index.row() >= rowCount())
            return {};
        const EditorSong& song = m_rows[static_cast<size_t>(index.row())];
        if (role == Qt::DisplayRole) {
            switch (index.column()) {
            case NumberColumn:
                return QStringLiteral("[%1]").arg(index.row() + 1);
            case FileColumn:
                return fromUtf8(SplitSongPath(song.path).name);
            case DescriptionColumn:
                return fromUtf8(song.description).replace(QLatin1Char('\r'), QLatin1Char(' '));
            case FolderColumn:
                return fromUtf8(SplitSongPath(song.path).folder);
            default:
                return {};
            }
        }
        if (role == Qt::ToolTipRole && index.column() != NumberColumn)
            return fromUtf8(song.path);
        if (role == Qt::TextAlignmentRole && index.column() == NumberColumn)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return {};
        static constexpr UINT ids[ColumnCount] = {IDS_NUMBER, IDS_FILE, IDS_DESCRIPTION,
                                                  IDS_FOLDER};
        return section >= 0 && section < ColumnCount ? LoadQString(ids[section]) : QVariant();
    }
    void reset()
    {
        beginResetModel();
        endResetModel();
    }

private:
    const std::vector<EditorSong>& m_rows;
};

// ---------------------------------------------------------------------------------------------

SplitPath SplitSongPath(std::string_view path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string_view::npos)
        return {{}, std::string(path)};
    return {std::string(path.substr(0, slash + 1)), std::string(path.substr(slash + 1))};
}

QString AddFilesFilter(AlbumKind kind)
{
    switch (kind) {
    case AlbumKindAudio:
        return LoadQString(IDS_AUDIO_FILTER);
    case AlbumKindMidi:
        return LoadQString(IDS_MIDI_FILTER);
    case AlbumKindVideo:
        return LoadQString(IDS_VIDEO_FILTER);
    default:
        return {};
    }
}

QString AddFilesDefaultSuffix(AlbumKind kind)
{
    switch (kind) {
    case AlbumKindAudio:
        return QStringLiteral("wav");
    case AlbumKindMidi:
        return QStringLiteral("mid");
    case AlbumKindVideo:
        return QStringLiteral("avi");
    default:
        return {};
    }
}

std::vector<std::string> ChooseFilesWithDialog(QWidget* parent, const QString& filter,
                                               const QString& defaultSuffix,
                                               const std::string& startFolder)
{
    QFileDialog dialog(parent, QString(), QString::fromStdString(startFolder));
    dialog.setNameFilters(FileDialogFilters(filter));
    dialog.setDefaultSuffix(defaultSuffix);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    std::vector<std::string> paths;
    if (dialog.exec() != QDialog::Accepted)
        return paths;
    for (const QString& file : dialog.selectedFiles())
        paths.push_back(QFile::encodeName(file).toStdString());
    return paths;
}

std::string ChooseFolderWithDialog(QWidget* parent, const std::string& startFolder)
{
    const QString folder =
        QFileDialog::getExistingDirectory(parent, QString(), QString::fromStdString(startFolder));
    return folder.isEmpty() ? std::string() : QFile::encodeName(folder).toStdString();
}

// ---------------------------------------------------------------------------------------------

FileAlbumEditor::FileAlbumEditor(AlbumKind kind, const std::string& currentAlbumKey,
                                 FileAlbumEditorServices services, QWidget* parent)
    : AlbumWindow(kind, QStyle::SP_DirIcon, sameName, parent)
    , m_kind(kind)
    , m_services(std::move(services))
    , m_chooseFile(ChooseFileWithDialog)
    , m_chooseFiles(ChooseFilesWithDialog)
    , m_chooseFolder(ChooseFolderWithDialog)
    , m_scanFolder([kind](const std::string& folder, bool recurse, FolderScanControl& control) {
        return ScanFolder(kind, folder, recurse, &control);
    })
{
    setAcceptDrops(true);

    m_model = new SongRowsModel(m_rows, this);
    m_songs = new QTreeView(this);
    m_songs->setModel(m_model);
    setUpSongList(m_songs);
    m_songs->setItemsExpandable(false);
    m_songs->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_songs->setAlternatingRowColors(true);
    m_songs->header()->setStretchLastSection(true);
    m_songs->setColumnWidth(NumberColumn, 56);
    m_songs->setColumnWidth(FileColumn, 220);
    m_songs->setColumnWidth(DescriptionColumn, 150);

    buildCommands();
    layOut(m_songs, 1);
    resize(820, 480);
    fillTree(currentAlbumKey);
}

FileAlbumEditor::~FileAlbumEditor()
{
    // The rows go before the widgets do: the list must not read them while it is torn down.
    m_songs->setModel(nullptr);
}

bool FileAlbumEditor::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusIn) {
        if (watched == m_tree)
            m_focusMode = TreeFocus;
        else if (watched == m_songs)
            m_focusMode = SongListFocus;
    }
    return AlbumWindow::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------------------------
// Commands

void FileAlbumEditor::buildCommands()
{
    const auto add = [this](int command, const QKeySequence& key = {}) {
        return addCommand(command, FileAlbumEditorIcon(style(), command), key);
    };
    QAction* newAlbum = add(NewCommand);
    QAction* saveAs = add(SaveAsCommand);
    QAction* properties = add(PropertiesCommand, QKeySequence(Qt::ALT | Qt::Key_Return));
    QAction* remove = add(DeleteCommand);
    QAction* closeAction = add(CloseCommand);
    QAction* addFiles = add(AddFilesCommand, QKeySequence(Qt::Key_Insert));
    QAction* addFolder = add(AddFolderCommand);
    QAction* addTree = add(AddFolderTreeCommand);
    QAction* addUrl = add(AddUrlCommand);
    QAction* importAction = add(ImportCommand);
    QAction* exportAction = add(ExportCommand);
    QAction* shuffleAction = add(ShuffleCommand);
    QAction* byName = add(SortByFileNameCommand);
    QAction* byExtension = add(SortByExtensionCommand);
    QAction* byFolder = add(SortByFolderCommand);
    QAction* byDescription = add(SortByDescriptionCommand);
    QAction* tag = add(Id3TagEditCommand);
    QAction* cut = add(CutCommand, QKeySequence::Cut);
    QAction* copy = add(CopyCommand, QKeySequence::Copy);
    QAction* paste = add(PasteCommand, QKeySequence::Paste);
    QAction* findAction = add(FindCommand, QKeySequence::Find);
    QAction* findNextAction = add(FindNextCommand, QKeySequence::FindNext);
    QAction* check = add(CheckFileCommand);
    QAction* encodeAction = add(EncodeCommand);
    QAction* selectAll = add(SelectAllCommand, QKeySequence::SelectAll);
    QAction* selectNone = add(SelectNoneCommand);
    // The menu item of Encode is "Enco&de...".
    encodeAction->setText(LoadQString(IDS_ENCODE_MENU));

    auto* addMenu = new QMenu(this);
    addMenu->addActions({addFiles, addFolder, addTree, addUrl});
    auto* sortMenu = new QMenu(this);
    sortMenu->addActions({byName, byExtension, byFolder, byDescription});

    m_toolBar->addAction(newAlbum);
    m_toolBar->addAction(saveAs);
    m_toolBar->addAction(properties);
    m_toolBar->addAction(remove);
    m_toolBar->addSeparator();
    m_toolBar->addAction(addFiles);
    m_toolBar->addAction(addFolder);
    m_toolBar->addAction(addTree);
    m_toolBar->addAction(addUrl);
    m_toolBar->addSeparator();
    m_toolBar->addAction(importAction);
    m_toolBar->addAction(exportAction);
    m_toolBar->addSeparator();
    m_toolBar->addAction(cut);
    m_toolBar->addAction(copy);
    m_toolBar->addAction(paste);
    m_toolBar->addSeparator();
    m_toolBar->addAction(shuffleAction);
    m_toolBar->addAction(byName);
    m_toolBar->addSeparator();
    m_toolBar->addAction(findAction);
    m_toolBar->addAction(findNextAction);
    m_toolBar->addSeparator();
    m_toolBar->addAction(tag);
    m_toolBar->addAction(check);
    m_toolBar->addAction(encodeAction);
    m_toolBar->addSeparator();
    m_toolBar->addAction(closeAction);
    // The first sort button carries the four sorts on its arrow.
    if (auto* tool = qobject_cast<QToolButton*>(m_toolBar->widgetForAction(byName))) {
        tool->setMenu(sortMenu);
        tool->setPopupMode(QToolButton::MenuButtonPopup);
    }

    // The Delete key deletes the album in the tree and the songs in the list.
    addDeleteKey(*m_tree, [this] { deleteAlbum(); });
    addDeleteKey(*m_songs, [this] { deleteSongs(); });

    // The context menus act on what was clicked, wherever the focus was.
    m_albumMenu = new QMenu(this);
    m_albumMenu->addAction(newAlbum);
    m_albumMenu->addAction(saveAs);
    m_albumMenu->addSeparator();
    m_albumMenu->addAction(properties->text(), this, [this] { albumProperties(); });
    m_albumMenu->addAction(remove->text(), this, [this] { deleteAlbum(); });
    m_albumMenu->addSeparator();
    m_albumMenu->addAction(importAction);
    m_albumMenu->addAction(exportAction);

    m_songMenu = new QMenu(this);
    m_songMenu->addMenu(addMenu)->setText(addFiles->text());
    m_songMenu->addSeparator();
    m_songMenu->addActions({cut, copy, paste});
    m_songMenu->addAction(remove->text(), this, [this] { deleteSongs(); });
    m_songMenu->addSeparator();
    m_songMenu->addAction(properties->text(), this, [this] { songProperties(); });
    m_songMenu->addAction(tag);
    m_songMenu->addSeparator();
    m_songMenu->addAction(shuffleAction);
    m_songMenu->addMenu(sortMenu)->setText(byName->text());
    m_songMenu->addSeparator();
    m_songMenu->addActions({selectAll, selectNone});
    m_songMenu->addSeparator();
    // "Enco&de..." goes before Check File, with a separator after it.
    m_songMenu->addAction(encodeAction);
    m_songMenu->addSeparator();
    m_songMenu->addAction(check);
}

void FileAlbumEditor::runCommand(int command)
{
    if (m_busy)
        return;
    switch (command) {
    case NewCommand:
        newAlbum();
        break;
    case SaveAsCommand:
        saveAs();
        break;
    case PropertiesCommand:
        properties();
        break;
    case DeleteCommand:
        deleteCommand();
        break;
    case CloseCommand:
        accept();
        break;
    case AddFilesCommand:
        addFiles();
        break;
    case AddFolderCommand:
        addFolder(false);
        break;
    case AddFolderTreeCommand:
        addFolder(true);
        break;
    case AddUrlCommand:
        addUrl();
        break;
    case ImportCommand:
        importList();
        break;
    case ExportCommand:
        exportList();
        break;
    case ShuffleCommand:
        shuffle();
        break;
    case SortByFileNameCommand:
    case SortByExtensionCommand:
    case SortByFolderCommand:
    case SortByDescriptionCommand:
        sortRows(command);
        break;
    case Id3TagEditCommand:
        id3TagEdit();
        break;
    case CutCommand:
        cutSongs();
        break;
    case CopyCommand:
        copySongs();
        break;
    case PasteCommand:
        pasteSongs();
        break;
    case FindCommand:
        find();
        break;
    case FindNextCommand:
        findNext();
        break;
    case CheckFileCommand:
        checkFiles();
        break;
    case EncodeCommand:
        encode();
        break;
    case SelectAllCommand:
        m_songs->selectAll();
        break;
    case SelectNoneCommand:
        m_songs->clearSelection();
        break;
    default:
        break;
    }
}

// ---------------------------------------------------------------------------------------------
// The tree and the song list

bool FileAlbumEditor::albumInTree(const std::string& name, std::string* storedKey) const
{
    for (const std::string& key : albumKeys()) {
        if (sameName(key, name)) {
            if (storedKey)
                *storedKey = key;
            return true;
        }
    }
    return false;
}

void FileAlbumEditor::onCurrentAlbumChanged(QTreeWidgetItem* current)
{
    if (!current) {
        m_album.Close();
        rowsFromAlbum();
        return;
    }
    current->setSelected(true);
    m_album.Open(itemKey(current), 0);
    rowsFromAlbum();
}

void FileAlbumEditor::rowsFromAlbum()
{
    m_rows.clear();
    m_rows.reserve(static_cast<size_t>(m_album.songCount()));
    for (const SongEntry& song : m_album.songs())
        m_rows.push_back({song.title, song.extendedInfo, song.lengthMs, song.startFrame});
    resetRows();
}

void FileAlbumEditor::resetRows()
{
    m_model->reset();
}

std::vector<int> FileAlbumEditor::selectedRows() const
{
    std::vector<int> rows;
    for (const QModelIndex& index : m_songs->selectionModel()->selectedRows())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void FileAlbumEditor::selectRows(const std::vector<int>& rows)
{
    QItemSelection selection;
    const int last = m_model->rowCount() - 1;
    for (size_t i = 0; i < rows.size();) {
        size_t j = i;
        while (j + 1 < rows.size() && rows[j + 1] == rows[j] + 1)
            ++j;
        if (rows[i] >= 0 && rows[j] <= last)
            selection.select(m_model->index(rows[i], 0), m_model->index(rows[j], ColumnCount - 1));
        i = j + 1;
    }
    m_songs->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    if (!rows.empty() && rows.front() >= 0 && rows.front() <= last) {
        m_songs->selectionModel()->setCurrentIndex(m_model->index(rows.front(), 0),
                                                   QItemSelectionModel::NoUpdate);
        m_songs->scrollTo(m_model->index(rows.front(), 0));
    }
}

void FileAlbumEditor::showSongMenu(const QPoint& pos)
{
    m_songMenu->exec(m_songs->viewport()->mapToGlobal(pos));
}

// ---------------------------------------------------------------------------------------------
// Adding and committing

bool FileAlbumEditor::AddFiles(const std::vector<std::string>& paths)
{
    SongPathIndex index(m_rows);
    bool added = false;
    for (const std::string& path : paths) {
        if (path.empty() || index.contains(path))
            continue;
        index.insert(path);
        m_rows.push_back({path, {}, 0, 0});
        added = true;
    }
    if (added)
        resetRows();
    return added;
}

bool FileAlbumEditor::CommitList()
{
    if (m_album.key().empty())
        return false;
    for (size_t i = 0; i < m_rows.size(); ++i) {
        const EditorSong& row = m_rows[i];
        if (SongEntry* song = m_album.GetSong(static_cast<int>(i + 1))) {
            song->title = row.path;
            song->extendedInfo = row.description;
            song->lengthMs = row.lengthMs;
            song->startFrame = row.startFrame;
        } else {
            m_album.AddSong(row.path, row.description, row.lengthMs, row.startFrame);
        }
    }
    const int rows = static_cast<int>(m_rows.size());
    if (m_album.songCount() > rows)
        m_album.RemoveSongs(rows + 1, m_album.songCount() - rows);
    m_album.CleanProgram();
    if (m_album.Save())
        return true;
    tellNotSaved();
    return false;
}

void FileAlbumEditor::addAndCommit(const std::vector<std::string>& paths)
{
    if (AddFiles(paths))
        CommitList();
}

void FileAlbumEditor::tellProblems(const std::vector<FolderScanProblem>& problems)
{
    if (problems.empty())
        return;
    QStringList lines{LoadQString(IDS_NOT_ADDED)};
    for (size_t i = 0; i < problems.size() && i < kProblemLines; ++i)
        lines.push_back(fromUtf8(problems[i].path) + QStringLiteral(" (") +
                        fromUtf8(problems[i].reason) + QLatin1Char(')'));
    if (problems.size() > kProblemLines)
        lines.push_back(
            LoadQString(IDS_AND_MORE)
                .replace(QLatin1String("%d"), QString::number(problems.size() - kProblemLines)));
    information(lines.join(QLatin1Char('\n')));
}

namespace {

// A scan beside the window: the worker owns nothing of the window, so a window closed (or a
// scan given up) while a folder hangs leaves the worker to finish on its own.
struct ScanJob
{
    FolderScanControl control;
    std::atomic<bool> done{false};
    std::vector<FolderScanResult> results; // one per folder, written before done
    std::mutex mutex;
    std::condition_variable finished;
};

} // namespace

std::vector<std::string> FileAlbumEditor::scanFolders(const std::vector<std::string>& folders,
                                                      bool recurse,
                                                      std::vector<FolderScanProblem>& problems)
{
    auto job = std::make_shared<ScanJob>();
    std::thread([job, scanner = m_scanFolder, folders, recurse] {
        std::vector<FolderScanResult> results;
        for (const std::string& folder : folders) {
            if (job->control.cancelled())
                break;
            results.push_back(scanner(folder, recurse, job->control));
        }
        job->results = std::move(results);
        {
            const std::lock_guard lock(job->mutex);
            job->done.store(true, std::memory_order_release);
        }
        job->finished.notify_all();
    }).detach();

    m_busy = true;
    const auto done = [&job] { return job->done.load(std::memory_order_acquire); };
    // Until the progress dialog shows, the window takes no input (a click would start a command
    // in the middle of this one) but goes on painting; a quick scan is taken the moment it ends.
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < m_progressDelayMs) {
        {
            std::unique_lock lock(job->mutex);
            job->finished.wait_for(lock, std::chrono::milliseconds(10), done);
        }
        if (!done())
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(15);
    bool cancelled = false;
    if (!job->done.load(std::memory_order_acquire)) {
        QProgressDialog progress(this);
        progress.setWindowTitle(
            LoadQString(static_cast<UINT>(recurse ? AddFolderTreeCommand : AddFolderCommand)));
        progress.setRange(0, 0);
        progress.setMinimumDuration(0);
        progress.setAutoClose(false);
        progress.setAutoReset(false);
        progress.setWindowModality(Qt::WindowModal);
        const auto label = [&job] {
            return LoadQString(IDS_LOOKING_FOR_FILES)
                .replace(QLatin1String("%d"), QString::number(job->control.found()));
        };
        progress.setLabelText(label());
        QElapsedTimer sinceCancel;
        connect(&poll, &QTimer::timeout, &loop, [&] {
            if (!cancelled && progress.wasCanceled()) {
                cancelled = true;
                job->control.cancel();
                sinceCancel.start();
            }
            if (job->done.load(std::memory_order_acquire))
                loop.quit();
            else if (cancelled && sinceCancel.elapsed() > 1000)
                loop.quit(); // a folder that hangs is left to its worker
            else if (!cancelled)
                progress.setLabelText(label());
        });
        progress.show();
        poll.start();
        loop.exec();
    }
    m_busy = false;
    if (cancelled || !job->done.load(std::memory_order_acquire))
        return {};
    std::vector<std::string> files;
    for (FolderScanResult& r : job->results) {
        if (r.cancelled)
            return {};
        files.insert(files.end(), std::make_move_iterator(r.files.begin()),
                     std::make_move_iterator(r.files.end()));
        problems.insert(problems.end(), r.problems.begin(), r.problems.end());
    }
    return files;
}

void FileAlbumEditor::dropFiles(const std::vector<std::string>& paths)
{
    if (m_busy || !haveSelectedAlbum())
        return;
    std::vector<FolderScanProblem> problems;
    // Each dropped name, in order: a media file, a folder (its files take its place) or a list.
    struct Item
    {
        std::vector<std::string> files;
        int folder = -1;
    };
    std::vector<Item> items;
    std::vector<std::string> folders;
    for (const std::string& path : paths) {
        if (path.size() > kMaxPathBytes) {
            problems.push_back({path.substr(0, 64) + "...", std::strerror(ENAMETOOLONG)});
            continue;
        }
        if (!IsStorableSongPath(path)) {
            problems.push_back({path, LoadString(IDS_NAME_NOT_STORABLE)});
            continue;
        }
        struct stat st;
        if (!isAddress(path) && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            items.push_back({{}, static_cast<int>(folders.size())});
            folders.push_back(path);
        } else if (m_album.MediaKindOf(path) != MediaKindNone) {
            items.push_back({{path}, -1});
        } else if (const int list = PlayListKind(path);
                   list == PlayListKindPls || list == PlayListKindM3u) {
            std::vector<std::string> entries;
            ExpandPlayList(path, entries);
            Item item;
            for (std::string& entry : entries) {
                if (m_album.MediaKindOf(entry) != MediaKindNone && IsStorableSongPath(entry))
                    item.files.push_back(std::move(entry));
            }
            items.push_back(std::move(item));
        }
    }
    std::vector<std::vector<std::string>> folderFiles(folders.size());
    if (!folders.empty()) {
        // One scan per folder keeps each folder's files at its place among the dropped names.
        for (size_t i = 0; i < folders.size(); ++i) {
            std::vector<FolderScanProblem> found;
            folderFiles[i] = scanFolders({folders[i]}, true, found);
            problems.insert(problems.end(), found.begin(), found.end());
        }
    }
    std::vector<std::string> all;
    for (Item& item : items) {
        std::vector<std::string>& files =
            item.folder >= 0 ? folderFiles[static_cast<size_t>(item.folder)] : item.files;
        all.insert(all.end(), std::make_move_iterator(files.begin()),
                   std::make_move_iterator(files.end()));
    }
    addAndCommit(all);
    tellProblems(problems);
}

void FileAlbumEditor::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls() && !m_busy)
        event->acceptProposedAction();
}

void FileAlbumEditor::dropEvent(QDropEvent* event)
{
    std::vector<std::string> paths;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile()) {
            // The path's own bytes: a name that is not UTF-8 must not turn into another name.
            paths.push_back(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1())
                                .toStdString());
        } else {
            paths.push_back(url.toString().toStdString());
        }
    }
    event->acceptProposedAction();
    // The drop ends before the work starts, so the dragging program is not held up.
    QTimer::singleShot(0, this, [this, paths] { dropFiles(paths); });
}

void FileAlbumEditor::addFiles()
{
    if (!haveSelectedAlbum())
        return;
    const std::vector<std::string> chosen =
        m_chooseFiles(this, AddFilesFilter(m_kind), AddFilesDefaultSuffix(m_kind), m_lastFolder);
    if (chosen.empty())
        return;
    m_lastFolder = SplitSongPath(chosen.front()).folder;
    if (m_lastFolder.size() > 1)
        m_lastFolder.pop_back();
    // A play list offered by the filter is no song.
    std::vector<std::string> files;
    std::vector<FolderScanProblem> problems;
    for (const std::string& path : chosen) {
        if (m_album.MediaKindOf(path) == MediaKindNone)
            continue;
        if (IsStorableSongPath(path))
            files.push_back(path);
        else
            problems.push_back({path, LoadString(IDS_NAME_NOT_STORABLE)});
    }
    addAndCommit(files);
    tellProblems(problems);
}

void FileAlbumEditor::addFolder(bool recurse)
{
    if (!haveSelectedAlbum())
        return;
    const std::string folder = m_chooseFolder(this, m_lastFolder);
    if (folder.empty())
        return;
    m_lastFolder = folder;
    std::vector<FolderScanProblem> problems;
    const std::vector<std::string> files = scanFolders({folder}, recurse, problems);
    addAndCommit(files);
    tellProblems(problems);
}

void FileAlbumEditor::addUrl()
{
    if (!haveSelectedAlbum())
        return;
    QInputDialog dialog(this);
    dialog.setWindowTitle(LoadQString(AddUrlCommand));
    dialog.setLabelText(LoadQString(AddUrlCommand) + QLatin1Char(':'));
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setTextValue(QStringLiteral("http://"));
    dialog.resize(420, dialog.sizeHint().height());
    if (dialog.exec() != QDialog::Accepted)
        return;
    const std::string address = dialog.textValue().trimmed().toStdString();
    if (address.empty() || address == "http://")
        return;
    addAndCommit({address});
}

// ---------------------------------------------------------------------------------------------
// Albums: New, Save As, Properties, Delete

std::optional<AlbumProperties> FileAlbumEditor::askAlbumProperties(const AlbumProperties& shown)
{
    AlbumPropertiesDialog dialog(AlbumForm::File, shown, {}, this);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.values();
}

bool FileAlbumEditor::mayTakeName(const std::string& name, std::string* storedKey)
{
    return !albumInTree(name, storedKey) ||
           KolvoMessageBox(this, LoadQString(IDS_ALBUM_EXISTS), MessageIcon::Question,
                           MessageButtons::YesNo, LoadQString(IDS_CONFIRM)) == IDYES;
}

void FileAlbumEditor::newAlbum()
{
    const std::optional<AlbumProperties> values = askAlbumProperties({});
    if (!values || values->title.empty())
        return;
    std::string existing;
    if (!mayTakeName(values->title, &existing))
        return;
    Album fresh(m_kind);
    if (!setKeyOrTell(this, fresh, existing.empty() ? values->title : existing))
        return;
    setTexts(fresh, *values);
    const Album before = m_album;
    const std::vector<EditorSong> rowsBefore = m_rows;
    m_album = fresh;
    m_rows.clear();
    resetRows();
    if (!CommitList()) {
        m_album = before;
        m_rows = rowsBefore;
        resetRows();
        return;
    }
    fillTree(m_album.key());
}

void FileAlbumEditor::saveAs()
{
    if (!haveSelectedAlbum())
        return;
    const std::optional<AlbumProperties> values = askAlbumProperties(propertiesOf(m_album));
    if (!values || values->title.empty())
        return;
    std::string existing;
    if (!mayTakeName(values->title, &existing))
        return;
    const Album before = m_album;
    // Over an album of that name, its spelling stays.
    if (!setKeyOrTell(this, m_album, existing.empty() ? values->title : existing))
        return;
    setTexts(m_album, *values);
    if (!CommitList()) {
        m_album = before;
        return;
    }
    fillTree(m_album.key());
}

void FileAlbumEditor::properties()
{
    if (m_focusMode == SongListFocus)
        songProperties();
    else
        albumProperties();
}

void FileAlbumEditor::albumProperties()
{
    if (!haveSelectedAlbum())
        return;
    const std::optional<AlbumProperties> asked = askAlbumProperties(propertiesOf(m_album));
    if (!asked)
        return;
    const AlbumProperties& values = *asked;
    const std::string oldKey = m_album.key();
    const bool renamed = values.title != oldKey;
    if (renamed && !sameName(values.title, oldKey) && !mayTakeName(values.title))
        return;
    const Album before = m_album;
    if (renamed && !setKeyOrTell(this, m_album, values.title))
        return;
    setTexts(m_album, values);
    if (!renamed) {
        renewTreeText();
        CommitList();
        return;
    }
    // A new name: the album is written under it before the old one goes, so a failed write
    // loses nothing. Only a change of case must go the other way round, as the database finds
    // names without regard to case.
    Album old = before;
    if (sameName(values.title, oldKey)) {
        if (!old.DeleteAlbum() || !CommitList()) {
            m_album = before;
            m_album.Save();
            return;
        }
    } else {
        if (!CommitList()) {
            m_album = before;
            return;
        }
        old.DeleteAlbum();
    }
    fillTree(m_album.key());
}

void FileAlbumEditor::songProperties()
{
    const std::vector<int> rows = selectedRows();
    if (rows.empty()) {
        information(LoadQString(IDS_NO_SELECTED_SONG));
        return;
    }
    SongPropertiesDialog dialog(AlbumForm::File, m_album, rows.front() + 1, this);
    dialog.exec();
    rowsFromAlbum();
    selectRows({dialog.song() - 1});
    CommitList();
}

void FileAlbumEditor::deleteCommand()
{
    if (m_focusMode == SongListFocus)
        deleteSongs();
    else
        deleteAlbum();
}

void FileAlbumEditor::deleteAlbum()
{
    QTreeWidgetItem* item = selectedAlbumItem();
    if (!item)
        return;
    if (m_tree->topLevelItemCount() <= 1) {
        information(LoadQString(IDS_LAST_ALBUM));
        return;
    }
    if (!confirmDeleteAlbum())
        return;
    loadForDeleting(item);
    if (!m_album.DeleteAlbum()) {
        QString text = withPath(IDS_ALBUM_DATABASE_UNWRITABLE, Album::DatabasePath(m_kind));
        if (!m_album.lastError().empty())
            text += QLatin1Char('\n') + fromUtf8(m_album.lastError());
        KolvoMessageBox(this, text, MessageIcon::Error);
        return;
    }
    m_album.Close();
    // The tree moves on to a neighbour, which opens.
    delete item;
}

void FileAlbumEditor::deleteSongs()
{
    const std::vector<int> rows = selectedRows();
    if (rows.empty()) {
        KolvoMessageBox(this, LoadQString(IDS_NO_SELECTED_SONG), MessageIcon::Information,
                        MessageButtons::Ok, LoadQString(IDS_ERROR));
        return;
    }
    std::vector<bool> gone(m_rows.size(), false);
    for (int r : rows)
        gone[static_cast<size_t>(r)] = true;
    size_t i = 0;
    m_rows.erase(
        std::remove_if(m_rows.begin(), m_rows.end(), [&](const EditorSong&) { return gone[i++]; }),
        m_rows.end());
    resetRows();
    CommitList();
}

// ---------------------------------------------------------------------------------------------
// Import and Export

std::string FileAlbumEditor::chooseListFile(FileChoice::Mode mode)
{
    if (!haveSelectedAlbum())
        return {};
    const UINT filter = mode == FileChoice::Open ? IDS_IMPORT_FILTER : IDS_EXPORT_FILTER;
    return m_chooseFile(this, {mode, LoadQString(filter), QStringLiteral("pls")});
}

void FileAlbumEditor::importList()
{
    const std::string file = chooseListFile(FileChoice::Open);
    if (file.empty())
        return;
    // The rows are the album: what the list holds now is in the album, the import adds to it.
    m_album.Import(file, true);
    rowsFromAlbum();
    CommitList();
}

void FileAlbumEditor::exportList()
{
    const std::string file = chooseListFile(FileChoice::Save);
    if (file.empty())
        return;
    if (!m_album.Export(file)) {
        KolvoMessageBox(this, LoadQString(IDS_CANT_WRITE_FILE) + QLatin1Char('\n') + fromUtf8(file),
                        MessageIcon::Error);
        return;
    }
    information(withPath(IDS_ALBUM_EXPORTED, file));
}

// ---------------------------------------------------------------------------------------------
// Order: Shuffle and the sorts

void FileAlbumEditor::shuffle()
{
    if (!haveSelectedAlbum() || m_rows.empty())
        return;
    const int count = static_cast<int>(m_rows.size());
    RandomPicker picker;
    picker.resize(count);
    picker.clear();
    std::vector<EditorSong> shuffled;
    shuffled.reserve(m_rows.size());
    for (int i = 0; i < count; ++i) {
        const int drawn = picker.draw(count);
        if (drawn < 0)
            break;
        shuffled.push_back(std::move(m_rows[static_cast<size_t>(drawn)]));
    }
    m_rows = std::move(shuffled);
    resetRows();
    CommitList();
}

void FileAlbumEditor::sortRows(int command)
{
    if (!haveSelectedAlbum())
        return;
    const size_t which = command == SortByFileNameCommand    ? 0
                         : command == SortByExtensionCommand ? 1
                         : command == SortByFolderCommand    ? 2
                                                             : 3;
    const bool descending = m_sortDescending[which];
    m_sortDescending[which] = !descending;
    // Keys folded once; the sort is stable, so rows with equal keys keep their order.
    struct Keyed
    {
        std::string key;
        std::string second;
        size_t row;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(m_rows.size());
    for (size_t i = 0; i < m_rows.size(); ++i) {
        const SplitPath split = SplitSongPath(m_rows[i].path);
        switch (which) {
        case 0:
            keyed.push_back({folded(split.name), {}, i});
            break;
        case 1:
            keyed.push_back({folded(extensionKey(split.name)), {}, i});
            break;
        case 2:
            // A folder's songs in the order of their names.
            keyed.push_back({folded(split.folder), folded(split.name), i});
            break;
        default:
            keyed.push_back({folded(m_rows[i].description), {}, i});
            break;
        }
    }
    const auto less = [which](const Keyed& a, const Keyed& b) {
        if (which == 2) {
            if (a.key != b.key)
                return folderLess(a.key, b.key);
            return FileNameLess(a.second, b.second);
        }
        return FileNameLess(a.key, b.key);
    };
    std::stable_sort(keyed.begin(), keyed.end(), [&](const Keyed& a, const Keyed& b) {
        return descending ? less(b, a) : less(a, b);
    });
    std::vector<EditorSong> sorted;
    sorted.reserve(m_rows.size());
    for (const Keyed& k : keyed)
        sorted.push_back(std::move(m_rows[k.row]));
    m_rows = std::move(sorted);
    resetRows();
    CommitList();
}

// ---------------------------------------------------------------------------------------------
// Songs: ID3 tags, clipboard, Check File, Encode

void FileAlbumEditor::id3TagEdit()
{
    const std::vector<int> rows = selectedRows();
    if (rows.empty()) {
        information(LoadQString(IDS_NO_SELECTED_SONG));
        return;
    }
    EditId3Tag(this, m_rows[static_cast<size_t>(rows.front())].path);
}

void FileAlbumEditor::copySongs()
{
    const std::vector<int> rows = selectedRows();
    if (rows.empty())
        return;
    m_clipboard.clear();
    for (int r : rows) {
        const EditorSong& song = m_rows[static_cast<size_t>(r)];
        m_clipboard.emplace_back(song.path, song.description);
    }
}

void FileAlbumEditor::cutSongs()
{
    if (selectedRows().empty())
        return;
    copySongs();
    deleteSongs();
}

void FileAlbumEditor::pasteSongs()
{
    if (!haveSelectedAlbum() || m_clipboard.empty())
        return;
    SongPathIndex index(m_rows);
    bool added = false;
    for (const auto& [path, description] : m_clipboard) {
        if (index.contains(path))
            continue;
        index.insert(path);
        m_rows.push_back({path, description, 0, 0});
        added = true;
    }
    if (!added)
        return;
    resetRows();
    CommitList();
}

void FileAlbumEditor::checkFiles()
{
    std::vector<int> missing;
    for (size_t i = 0; i < m_rows.size(); ++i) {
        const std::string& path = m_rows[i].path;
        struct stat st;
        if (!isAddress(path) && ::stat(path.c_str(), &st) != 0)
            missing.push_back(static_cast<int>(i));
    }
    selectRows(missing);
    if (!missing.empty())
        information(LoadQString(IDS_INVALID_FILE_NAMES));
}

void FileAlbumEditor::encode()
{
    const std::vector<int> rows = selectedRows();
    if (rows.empty())
        return;
    if (!m_services.encode) {
        information(LoadQString(IDS_NOT_AVAILABLE_YET));
        return;
    }
    std::vector<std::string> files;
    for (int r : rows)
        files.push_back(m_rows[static_cast<size_t>(r)].path);
    addAndCommit(m_services.encode(this, files));
}

// ---------------------------------------------------------------------------------------------
// Find

int FileAlbumEditor::findStartSong() const
{
    if (m_focusMode != SongListFocus)
        return 0;
    const QModelIndex current = m_songs->currentIndex();
    if (current.isValid() && m_songs->selectionModel()->isRowSelected(current.row(), {}))
        return current.row() + 1;
    if (const std::vector<int> rows = selectedRows(); !rows.empty())
        return rows.front() + 1;
    return 0;
}

void FileAlbumEditor::showFoundSong(int song)
{
    m_songs->clearSelection();
    if (song <= 0 || song > static_cast<int>(m_rows.size())) {
        m_tree->setFocus();
        m_focusMode = TreeFocus;
        return;
    }
    selectRows({song - 1});
    m_songs->setFocus();
    m_focusMode = SongListFocus;
}
