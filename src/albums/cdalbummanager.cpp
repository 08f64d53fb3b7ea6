#include "albums/cdalbummanager.h"

#include "albums/cdtext.h"
#include "albums/drawnicon.h"
#include "albums/profilefile.h"
#include "platform/msgbox.h"
#include "platform/paths.h"
#include "platform/strings.h"

#include <QApplication>
#include <QFocusEvent>
#include <QHeaderView>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QSplitter>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr UINT IDS_TITLE = 2021;
constexpr UINT IDS_TIME = 2017;
constexpr UINT IDS_NUMBER = 2034;
constexpr UINT IDS_NO_SELECTED_SONG = 39217;
constexpr UINT IDS_TIMING_INSUFFICIENT = 39233;
constexpr UINT IDS_ALL_ALBUMS_EXPORTED = 39234;
constexpr UINT IDS_IMPORT_FILTER = 39238;
constexpr UINT IDS_EXPORT_FILTER = 39239;

enum SongColumn { NumberColumn, TitleColumn, TimeColumn };
// A song row keeps the song's extended information beside its title.
constexpr int kExtendedInfoRole = Qt::UserRole;

std::string cdPlayerIni()
{
    return paths::dataDir() + "/cdplayer.ini";
}

std::string extensionOf(const std::string& file)
{
    const size_t slash = file.find_last_of('/');
    const size_t dot = file.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    return lowerAscii(file.substr(dot + 1));
}

using drawn::kAccent;
using drawn::kInk;

void drawDisc(QPainter& p)
{
    p.setPen(QPen(kInk, 1));
    QRadialGradient shine(QPointF(8, 8), 8);
    shine.setColorAt(0, QColor(0xf4, 0xf4, 0xf8));
    shine.setColorAt(0.6, QColor(0xc8, 0xd4, 0xe4));
    shine.setColorAt(1, QColor(0xe8, 0xdc, 0xf0));
    p.setBrush(shine);
    p.drawEllipse(QPointF(8, 10), 7.5, 7.5);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(8, 10), 2, 2);
}

// A fat arrow in the accent colour at the right, pointing down (into the album) or up.
void drawArrow(QPainter& p, bool down)
{
    QPolygonF arrow;
    if (down)
        arrow << QPointF(14, 3) << QPointF(18, 3) << QPointF(18, 10) << QPointF(20, 10)
              << QPointF(16, 15) << QPointF(12, 10) << QPointF(14, 10);
    else
        arrow << QPointF(14, 15) << QPointF(18, 15) << QPointF(18, 8) << QPointF(20, 8)
              << QPointF(16, 3) << QPointF(12, 8) << QPointF(14, 8);
    drawn::drawArrowShape(p, arrow);
}

QIcon commandIcon(QStyle* style, int command)
{
    switch (command) {
    case CdAlbumManager::PropertiesCommand:
        return style->standardIcon(QStyle::SP_FileDialogInfoView);
    case CdAlbumManager::DeleteCommand:
        return style->standardIcon(QStyle::SP_TrashIcon);
    case CdAlbumManager::ImportCommand:
        return style->standardIcon(QStyle::SP_DialogOpenButton);
    case CdAlbumManager::ExportCommand:
        return style->standardIcon(QStyle::SP_DialogSaveButton);
    case CdAlbumManager::CloseCommand:
        return style->standardIcon(QStyle::SP_DialogCloseButton);
    case CdAlbumManager::FindCommand:
        return drawn::findIcon();
    case CdAlbumManager::FindNextCommand:
        return drawn::findNextIcon();
    case CdAlbumManager::ReadFromCddbCommand:
        return drawnIcon([](QPainter& p) {
            drawDisc(p);
            drawArrow(p, true);
        });
    case CdAlbumManager::SubmitToCddbCommand:
        return drawnIcon([](QPainter& p) {
            drawDisc(p);
            drawArrow(p, false);
        });
    case CdAlbumManager::EditCddbServersCommand:
        return drawnIcon([](QPainter& p) {
            drawn::drawGlobe(p, 10, 10, 8, 3.5);
            p.drawLine(QPointF(3.5, 6), QPointF(16.5, 6));
            p.drawLine(QPointF(3.5, 14), QPointF(16.5, 14));
        });
    case CdAlbumManager::PrintCommand:
        return drawnIcon([](QPainter& p) {
            p.setPen(QPen(kInk, 1));
            p.setBrush(Qt::white);
            p.drawRect(QRectF(5.5, 1.5, 9, 6));
            p.setBrush(QColor(0xb8, 0xc0, 0xcc));
            p.drawRoundedRect(QRectF(1.5, 7.5, 17, 7), 1.5, 1.5);
            p.setBrush(Qt::white);
            p.drawRect(QRectF(5.5, 12.5, 9, 6));
            p.drawLine(QPointF(7, 15), QPointF(13, 15));
            p.drawLine(QPointF(7, 17), QPointF(11, 17));
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(0x40, 0xb0, 0x40));
            p.drawEllipse(QPointF(15.5, 10), 1, 1);
        });
    case CdAlbumManager::PageSetupCommand:
        return drawnIcon([](QPainter& p) {
            p.setPen(QPen(kInk, 1));
            p.setBrush(Qt::white);
            p.drawRect(QRectF(3.5, 1.5, 13, 17));
            p.setPen(QPen(kAccent, 0.8, Qt::DashLine));
            p.setBrush(Qt::NoBrush);
            p.drawRect(QRectF(6, 4, 8, 12));
            p.setPen(QPen(kInk, 0.8));
            for (qreal y = 6; y < 15; y += 2)
                p.drawLine(QPointF(7, y), QPointF(13, y));
        });
    default:
        return {};
    }
}

QString withPath(UINT id, const std::string& path)
{
    return LoadQString(id).replace(QLatin1String("%s"), QString::fromStdString(path));
}

} // namespace

bool HasCompleteCdTiming(const Album& album)
{
    if (album.discLengthMs() < 1 || album.discEndFrame() < 1 || album.songCount() < 1)
        return false;
    int32_t previousStart = 0;
    for (const SongEntry& song : album.songs()) {
        if (song.lengthMs < 1 || song.startFrame <= previousStart)
            return false;
        previousStart = song.startFrame;
    }
    return album.discEndFrame() > previousStart;
}

CdAlbumManager::CdAlbumManager(const std::string& currentAlbumKey, CdAlbumManagerServices services,
                               QWidget* parent)
    : AlbumWindow(AlbumKindCd, QStyle::SP_DriveCDIcon, equalsNoCase, parent)
    , m_services(std::move(services))
    , m_chooseFile(ChooseFileWithDialog)
{
    m_songs = new QTreeWidget(this);
    setUpSongList(m_songs);
    m_songs->setColumnCount(3);
    m_songs->setHeaderLabels(
        {LoadQString(IDS_NUMBER), LoadQString(IDS_TITLE), LoadQString(IDS_TIME)});
    m_songs->header()->setStretchLastSection(false);
    m_songs->header()->setSectionResizeMode(TitleColumn, QHeaderView::Stretch);
    m_songs->setColumnWidth(NumberColumn, 56);
    m_songs->setColumnWidth(TimeColumn, 64);

    buildCommands();
    layOut(m_songs, 2);
    resize(760, 460);
    fillTree(currentAlbumKey);
    m_tree->setFocus();
}

CdAlbumManager::~CdAlbumManager() = default;

bool CdAlbumManager::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusIn) {
        if (watched == m_tree)
            m_focusMode = TreeFocus;
        else if (watched == m_songs)
            m_focusMode = SongListFocus;
    } else if (event->type() == QEvent::FocusOut && watched == m_tree) {
        // A menu opening or the window going to the background leaves the focus where it was.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason &&
            reason != Qt::MenuBarFocusReason)
            m_focusMode = NoFocus;
    }
    return AlbumWindow::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------------------------
// Commands

void CdAlbumManager::buildCommands()
{
    const auto add = [this](int command, const QKeySequence& key = {}) {
        return addCommand(command, commandIcon(style(), command), key);
    };
    QAction* properties = add(PropertiesCommand, QKeySequence(Qt::ALT | Qt::Key_Return));
    QAction* remove = add(DeleteCommand);
    QAction* importAction = add(ImportCommand);
    QAction* exportAction = add(ExportCommand);
    QAction* findAction = add(FindCommand, QKeySequence::Find);
    QAction* findNextAction = add(FindNextCommand, QKeySequence::FindNext);
    QAction* read = add(ReadFromCddbCommand);
    QAction* submit = add(SubmitToCddbCommand);
    QAction* servers = add(EditCddbServersCommand);
    QAction* printAction = add(PrintCommand, QKeySequence::Print);
    QAction* pageSetup = add(PageSetupCommand);
    QAction* closeAction = add(CloseCommand);

    m_importMenu = new QMenu(this);
    m_importMenu->addAction(add(ImportCdPlayerIniCommand));
    m_importMenu->addAction(add(ImportFileCommand));
    m_exportMenu = new QMenu(this);
    m_exportMenu->addAction(add(ExportCdPlayerIniCommand));
    m_exportMenu->addAction(add(ExportFileCommand));

    read->setEnabled(bool(m_services.readFromCddb));
    submit->setEnabled(bool(m_services.submitToCddb));
    servers->setEnabled(bool(m_services.editCddbServers));
    printAction->setEnabled(bool(m_services.print));
    pageSetup->setEnabled(bool(m_services.pageSetup));

    m_toolBar->addAction(properties);
    m_toolBar->addAction(remove);
    m_toolBar->addSeparator();
    m_toolBar->addAction(importAction);
    m_toolBar->addAction(exportAction);
    m_toolBar->addSeparator();
    m_toolBar->addAction(findAction);
    m_toolBar->addAction(findNextAction);
    m_toolBar->addSeparator();
    m_toolBar->addAction(read);
    m_toolBar->addAction(submit);
    m_toolBar->addAction(servers);
    m_toolBar->addSeparator();
    m_toolBar->addAction(printAction);
    m_toolBar->addAction(pageSetup);
    m_toolBar->addSeparator();
    m_toolBar->addAction(closeAction);
    // Import and Export are pop-up menus of their two commands.
    for (const auto& [button, menu] : {std::pair<QAction*, QMenu*>{importAction, m_importMenu},
                                       std::pair<QAction*, QMenu*>{exportAction, m_exportMenu}}) {
        if (auto* tool = qobject_cast<QToolButton*>(m_toolBar->widgetForAction(button))) {
            tool->setMenu(menu);
            tool->setPopupMode(QToolButton::InstantPopup);
        }
    }

    // The Delete key in the tree deletes the album.
    addDeleteKey(*m_tree, [this] { deleteAlbum(); });

    // The context menus act on what was clicked, wherever the focus was.
    m_albumMenu = new QMenu(this);
    m_albumMenu->addAction(properties->text(), this, [this] { albumProperties(); });
    m_albumMenu->addAction(remove);
    m_albumMenu->addSeparator();
    m_albumMenu->addAction(read);
    m_albumMenu->addAction(submit);
    m_albumMenu->addSeparator();
    m_albumMenu->addAction(printAction);
    m_songMenu = new QMenu(this);
    m_songMenu->addAction(properties->text(), this, [this] { songProperties(); });
}

void CdAlbumManager::runCommand(int command)
{
    if (QAction* a = action(command); a && !a->isEnabled())
        return;
    switch (command) {
    case PropertiesCommand:
        properties();
        break;
    case DeleteCommand:
        deleteAlbum();
        break;
    case CloseCommand:
        reject();
        break;
    case ImportCdPlayerIniCommand:
        importCdPlayerIni();
        break;
    case ImportFileCommand:
        importFile();
        break;
    case ExportCdPlayerIniCommand:
        exportCdPlayerIni();
        break;
    case ExportFileCommand:
        exportFile();
        break;
    case FindCommand:
        find();
        break;
    case FindNextCommand:
        findNext();
        break;
    case ReadFromCddbCommand:
        readFromCddb();
        break;
    case SubmitToCddbCommand:
        submitToCddb();
        break;
    case EditCddbServersCommand:
        m_services.editCddbServers(this);
        break;
    case PrintCommand:
        print();
        break;
    case PageSetupCommand:
        m_services.pageSetup(this);
        break;
    default:
        break;
    }
}

// ---------------------------------------------------------------------------------------------
// The tree and the song list

void CdAlbumManager::onCurrentAlbumChanged(QTreeWidgetItem* current)
{
    if (!current) {
        m_album.Close();
        m_songs->clear();
        return;
    }
    current->setSelected(true);
    m_album.Open(itemKey(current), 0);
    fillSongs();
}

void CdAlbumManager::fillSongs()
{
    m_songs->clear();
    QList<QTreeWidgetItem*> rows;
    for (int n = 1; n <= m_album.songCount(); ++n) {
        const SongEntry* song = m_album.GetSong(n);
        auto* row = new QTreeWidgetItem({QString::number(n), QString::fromStdString(song->title),
                                         QString::fromStdString(CdTimeText(song->lengthMs))});
        row->setData(TitleColumn, kExtendedInfoRole, QString::fromStdString(song->extendedInfo));
        row->setTextAlignment(NumberColumn, Qt::AlignRight | Qt::AlignVCenter);
        row->setTextAlignment(TimeColumn, Qt::AlignRight | Qt::AlignVCenter);
        rows.push_back(row);
    }
    m_songs->addTopLevelItems(rows);
}

// Each song takes its texts from its row, then the album is saved; a failed save is told.
void CdAlbumManager::commitAlbum()
{
    for (int i = 0; i < m_songs->topLevelItemCount(); ++i) {
        SongEntry* song = m_album.GetSong(i + 1);
        if (!song)
            break;
        const QTreeWidgetItem* row = m_songs->topLevelItem(i);
        song->title = row->text(TitleColumn).toStdString();
        song->extendedInfo = row->data(TitleColumn, kExtendedInfoRole).toString().toStdString();
    }
    m_album.CleanProgram();
    if (!m_album.Save())
        tellNotSaved();
}

void CdAlbumManager::showSongMenu(const QPoint& pos)
{
    if (!m_songs->itemAt(pos))
        return;
    m_songMenu->exec(m_songs->viewport()->mapToGlobal(pos));
}

// ---------------------------------------------------------------------------------------------
// Properties and Delete

void CdAlbumManager::properties()
{
    if (m_focusMode == TreeFocus)
        albumProperties();
    else if (m_focusMode == SongListFocus)
        songProperties();
}

void CdAlbumManager::albumProperties()
{
    if (!haveSelectedAlbum())
        return;
    const AlbumProperties before{m_album.title(), m_album.artist(), m_album.extendedInfo(),
                                 m_album.genre()};
    AlbumPropertiesDialog dialog(AlbumForm::Cd, before, m_services.editCddbServers, this);
    dialog.readButton()->setEnabled(bool(m_services.readFromCddb));
    const int result = dialog.exec();
    if (result == AlbumPropertiesDialog::ReadFromCddb) {
        readFromCddb();
        return;
    }
    if (result != QDialog::Accepted)
        return;
    const AlbumProperties after = dialog.values();
    m_album.setTitle(after.title);
    m_album.setArtist(after.artist);
    m_album.setExtendedInfo(after.description);
    m_album.setGenre(after.genre);
    renewTreeText();
    commitAlbum();
}

void CdAlbumManager::songProperties()
{
    int row = -1;
    for (QTreeWidgetItem* item : m_songs->selectedItems()) {
        const int r = m_songs->indexOfTopLevelItem(item);
        row = row < 0 ? r : std::min(row, r);
    }
    if (row < 0) {
        information(LoadQString(IDS_NO_SELECTED_SONG));
        return;
    }
    SongPropertiesDialog dialog(AlbumForm::Cd, m_album, row + 1, this);
    dialog.exec();
    fillSongs();
    if (QTreeWidgetItem* item = m_songs->topLevelItem(dialog.song() - 1)) {
        m_songs->setCurrentItem(item, 0, QItemSelectionModel::ClearAndSelect);
        m_songs->scrollToItem(item);
    }
    commitAlbum();
}

void CdAlbumManager::deleteAlbum()
{
    QTreeWidgetItem* item = selectedAlbumItem();
    if (!item || !confirmDeleteAlbum())
        return;
    loadForDeleting(item);
    if (!m_album.DeleteAlbum()) {
        KolvoMessageBox(this, QString::fromStdString(m_album.lastError()), MessageIcon::Error);
        return;
    }
    m_album.Close();
    // The tree moves on to a neighbour, which opens; an empty tree leaves an empty list.
    delete item;
    if (m_tree->topLevelItemCount() == 0)
        m_songs->clear();
}

// ---------------------------------------------------------------------------------------------
// Import and Export

void CdAlbumManager::reloadAfterImport()
{
    fillTree(selectedKey());
}

// Discs whose keys the database cannot hold were skipped; the user learns which.
void CdAlbumManager::tellProblems(const std::vector<std::string>& problems)
{
    QStringList lines;
    for (const std::string& problem : problems)
        lines.push_back(QString::fromStdString(problem));
    if (!lines.isEmpty())
        information(lines.join(QLatin1Char('\n')));
}

void CdAlbumManager::importCdPlayerIni()
{
    std::vector<std::string> problems;
    ImportIniFile(cdPlayerIni(), &problems);
    reloadAfterImport();
    tellProblems(problems);
}

void CdAlbumManager::importFile()
{
    const std::string file = m_chooseFile(
        this, {FileChoice::Open, LoadQString(IDS_IMPORT_FILTER), QStringLiteral("ini")});
    if (file.empty())
        return;
    std::vector<std::string> problems;
    if (ImportCdFile(file, &problems) < 0)
        return;
    reloadAfterImport();
    tellProblems(problems);
}

void CdAlbumManager::exportCdPlayerIni()
{
    const std::string file = cdPlayerIni();
    if (ExportIniFile(file))
        information(withPath(IDS_ALL_ALBUMS_EXPORTED, file));
}

void CdAlbumManager::exportFile()
{
    const std::string file = m_chooseFile(
        this, {FileChoice::Save, LoadQString(IDS_EXPORT_FILTER), QStringLiteral("ini")});
    if (file.empty())
        return;
    const std::string ext = extensionOf(file);
    bool written = false;
    if (ext == "ini")
        written = ExportIniFile(file);
    else if (ext == "txt")
        written = ExportText(file);
    else
        return;
    if (written)
        information(withPath(IDS_ALL_ALBUMS_EXPORTED, file));
}

// ---------------------------------------------------------------------------------------------
// Find

int CdAlbumManager::findStartSong() const
{
    if (m_focusMode != SongListFocus)
        return 0;
    QTreeWidgetItem* current = m_songs->currentItem();
    if (current && current->isSelected())
        return m_songs->indexOfTopLevelItem(current) + 1;
    if (!m_songs->selectedItems().isEmpty())
        return m_songs->indexOfTopLevelItem(m_songs->selectedItems().first()) + 1;
    return 0;
}

void CdAlbumManager::showFoundSong(int song)
{
    m_songs->clearSelection();
    QTreeWidgetItem* item = song > 0 ? m_songs->topLevelItem(song - 1) : nullptr;
    if (!item) {
        m_tree->setFocus();
        m_focusMode = TreeFocus;
        return;
    }
    m_songs->setCurrentItem(item, 0, QItemSelectionModel::ClearAndSelect);
    m_songs->scrollToItem(item);
    m_songs->setFocus();
    m_focusMode = SongListFocus;
}

// ---------------------------------------------------------------------------------------------
// The CD database and printing

void CdAlbumManager::readFromCddb()
{
    if (!m_services.readFromCddb || !haveSelectedAlbum())
        return;
    if (!HasCompleteCdTiming(m_album)) {
        information(LoadQString(IDS_TIMING_INSUFFICIENT));
        return;
    }
    if (m_services.readFromCddb(this, m_album) != 1)
        return;
    fillSongs();
    renewTreeText();
    commitAlbum();
}

void CdAlbumManager::submitToCddb()
{
    if (!m_services.submitToCddb || !haveSelectedAlbum())
        return;
    m_services.submitToCddb(this, m_album);
}

void CdAlbumManager::print()
{
    if (m_services.print)
        m_services.print(this, albumKeys(), selectedKey());
}
