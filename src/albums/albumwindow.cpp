#include "albums/albumwindow.h"

#include "albums/albumdialogs.h"
#include "albums/quickselect.h"
#include "platform/msgbox.h"
#include "platform/placement.h"
#include "platform/profile.h"
#include "platform/strings.h"

#include <QAction>
#include <QHeaderView>
#include <QMenu>
#include <QSplitter>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr const char* kPlacementSection = "MakeAlbum";

constexpr UINT IDS_ALBUM_MANAGEMENT = 5121;
constexpr UINT IDS_NO_SELECTED_ALBUM = 39230;
constexpr UINT IDS_DELETE_ALBUM = 39231;
constexpr UINT IDS_STRING_NOT_FOUND = 39232;
constexpr UINT IDS_ALBUM_DATABASE_UNWRITABLE = 9302;

constexpr int kKeyRole = Qt::UserRole;

} // namespace

AlbumWindow::AlbumWindow(AlbumKind kind, QStyle::StandardPixmap treeIcon, SameKey sameKey,
                         QWidget* parent)
    : QDialog(parent)
    , m_album(kind)
    , m_treeIcon(treeIcon)
    , m_sameKey(sameKey)
{
    setWindowTitle(LoadQString(IDS_ALBUM_MANAGEMENT));
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);
    setSizeGripEnabled(true);

    m_tree = new QTreeWidget(this);
    m_tree->setColumnCount(1);
    m_tree->header()->hide();
    m_tree->setRootIsDecorated(false);
    m_tree->setSelectionMode(QAbstractItemView::SingleSelection);
    m_tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_tree->setContextMenuPolicy(Qt::CustomContextMenu);
    m_tree->setUniformRowHeights(true);
    m_tree->installEventFilter(this);
    connect(m_tree, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current) { onCurrentAlbumChanged(current); });
    connect(m_tree, &QTreeWidget::itemDoubleClicked, this, [this] { albumProperties(); });
    connect(m_tree, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { showAlbumMenu(pos); });

    // Pictures only: each button tells its command in its tooltip.
    m_toolBar = new QToolBar(this);
    m_toolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    m_toolBar->setIconSize(QSize(20, 20));
}

AlbumWindow::~AlbumWindow()
{
    // The window's own part is gone by now: the lists, torn down later, must not call into it.
    m_tree->disconnect(this);
    if (m_songList)
        m_songList->disconnect(this);
    // A window that never showed has no place worth keeping.
    if (!m_placed)
        return;
    Profile profile;
    WriteWindowRect(profile, kPlacementSection, geometry());
    profile.sync();
}

void AlbumWindow::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (m_placed)
        return;
    m_placed = true;
    const QRect place =
        QuickSelectPlacement(ReadWindowRect(Profile(), kPlacementSection), DesktopWorkArea());
    if (!place.isEmpty())
        setGeometry(place);
}

void AlbumWindow::setUpSongList(QTreeView* songs)
{
    songs->setRootIsDecorated(false);
    songs->setSelectionMode(QAbstractItemView::ExtendedSelection);
    songs->setEditTriggers(QAbstractItemView::NoEditTriggers);
    songs->setContextMenuPolicy(Qt::CustomContextMenu);
    songs->setUniformRowHeights(true);
    songs->setAllColumnsShowFocus(true);
    songs->installEventFilter(this);
    m_songList = songs;
    connect(songs, &QAbstractItemView::doubleClicked, this, [this] { songProperties(); });
    connect(songs, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { showSongMenu(pos); });
}

void AlbumWindow::layOut(QWidget* songs, int treeStretch)
{
    auto* splitter = new QSplitter(this);
    splitter->addWidget(m_tree);
    splitter->addWidget(songs);
    splitter->setStretchFactor(0, treeStretch);
    splitter->setStretchFactor(1, 3);
    splitter->setChildrenCollapsible(false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_toolBar);
    layout->addWidget(splitter, 1);
}

QAction* AlbumWindow::addCommand(int command, const QIcon& icon, const QKeySequence& key)
{
    const QString text = LoadQString(static_cast<UINT>(command));
    auto* a = new QAction(icon, text, this);
    a->setToolTip(QString(text).remove(QLatin1Char('&')));
    a->setObjectName(QString::number(command));
    if (!key.isEmpty()) {
        a->setShortcut(key);
        a->setShortcutContext(Qt::WindowShortcut);
    }
    connect(a, &QAction::triggered, this, [this, command] { runCommand(command); });
    addAction(a);
    m_actions.emplace_back(command, a);
    return a;
}

QAction* AlbumWindow::action(int command) const
{
    for (const auto& [id, a] : m_actions) {
        if (id == command)
            return a;
    }
    return nullptr;
}

void AlbumWindow::addDeleteKey(QWidget& widget, std::function<void()> run)
{
    auto* key = new QAction(this);
    key->setShortcut(QKeySequence::Delete);
    key->setShortcutContext(Qt::WidgetShortcut);
    connect(key, &QAction::triggered, this, [run = std::move(run)] { run(); });
    widget.addAction(key);
}

std::string AlbumWindow::itemKey(const QTreeWidgetItem* item)
{
    return item ? item->data(0, kKeyRole).toString().toStdString() : std::string();
}

std::vector<std::string> AlbumWindow::albumKeys() const
{
    std::vector<std::string> keys;
    for (int i = 0; i < m_tree->topLevelItemCount(); ++i)
        keys.push_back(itemKey(m_tree->topLevelItem(i)));
    return keys;
}

std::string AlbumWindow::selectedKey() const
{
    return itemKey(m_tree->currentItem());
}

void AlbumWindow::fillTree(const std::string& selectKey)
{
    QTreeWidgetItem* select = nullptr;
    {
        const QSignalBlocker blocker(m_tree);
        m_tree->clear();
        const QIcon icon = style()->standardIcon(m_treeIcon);
        for (const AlbumListEntry& entry : m_album.ListAlbums()) {
            auto* item = new QTreeWidgetItem(m_tree, {AlbumTreeText(entry.title, entry.artist)});
            item->setData(0, kKeyRole, QString::fromStdString(entry.key));
            item->setIcon(0, icon);
            if (!select && !selectKey.empty() && m_sameKey(entry.key, selectKey))
                select = item;
        }
        if (!select)
            select = m_tree->topLevelItem(0);
        if (select)
            m_tree->setCurrentItem(select);
    }
    if (select)
        m_tree->scrollToItem(select);
    onCurrentAlbumChanged(select);
}

void AlbumWindow::renewTreeText()
{
    if (QTreeWidgetItem* item = m_tree->currentItem())
        item->setText(0, AlbumTreeText(m_album.title(), m_album.artist()));
}

void AlbumWindow::showAlbumMenu(const QPoint& pos)
{
    QTreeWidgetItem* item = m_tree->itemAt(pos);
    if (!item)
        return;
    m_tree->setCurrentItem(item);
    m_albumMenu->exec(m_tree->viewport()->mapToGlobal(pos));
}

void AlbumWindow::information(const QString& text)
{
    KolvoMessageBox(this, text, MessageIcon::Information);
}

void AlbumWindow::tellNoAlbumSelected()
{
    information(LoadQString(IDS_NO_SELECTED_ALBUM));
}

bool AlbumWindow::haveSelectedAlbum()
{
    if (m_tree->currentItem() && !m_album.key().empty())
        return true;
    tellNoAlbumSelected();
    return false;
}

void AlbumWindow::tellNotSaved()
{
    QString text = LoadQString(IDS_ALBUM_DATABASE_UNWRITABLE)
                       .replace(QLatin1String("%s"),
                                QString::fromStdString(Album::DatabasePath(m_album.kind())));
    const QString why = QString::fromStdString(m_album.lastError());
    if (why.startsWith(text))
        text = why;
    else if (!why.isEmpty())
        text += QLatin1Char('\n') + why;
    KolvoMessageBox(this, text, MessageIcon::Error);
}

QTreeWidgetItem* AlbumWindow::selectedAlbumItem()
{
    QTreeWidgetItem* item = m_tree->currentItem();
    if (!item)
        tellNoAlbumSelected();
    return item;
}

void AlbumWindow::loadForDeleting(const QTreeWidgetItem* item)
{
    const std::string key = itemKey(item);
    if (!m_sameKey(m_album.key(), key))
        m_album.LoadForReading(key);
}

bool AlbumWindow::confirmDeleteAlbum()
{
    return KolvoMessageBox(this, LoadQString(IDS_DELETE_ALBUM), MessageIcon::Question,
                           MessageButtons::YesNo) == IDYES;
}

void AlbumWindow::find()
{
    FindTextDialog dialog(m_searchText, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    m_searchText = dialog.text();
    findNext();
}

void AlbumWindow::findNext()
{
    if (m_searchText.empty()) {
        find();
        return;
    }
    const int startAlbum = m_tree->indexOfTopLevelItem(m_tree->currentItem());
    const AlbumSearchHit hit =
        FindNextInAlbums(m_album.kind(), albumKeys(), startAlbum, findStartSong(), m_searchText);
    if (!hit.found()) {
        information(LoadQString(IDS_STRING_NOT_FOUND));
        return;
    }
    QTreeWidgetItem* album = m_tree->topLevelItem(hit.album);
    if (album != m_tree->currentItem())
        m_tree->setCurrentItem(album);
    m_tree->scrollToItem(album);
    showFoundSong(hit.song);
}
