#include "albums/albumwindow.h"

#include "albums/albumdialogs.h"
#include "albums/quickselect.h"
#include "platform/msgbox.h"
#include "platform/placement.h"
#include "platform/profile.h"
#include "platform/strings.h"

#include <QAction>
#include <QDialog>
#include <QHeaderView>
#include <QMenu>
#include <QSplitter>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace albumwindow {

namespace {

constexpr const char* kPlacementSection = "MakeAlbum";

constexpr UINT IDS_ALBUM_MANAGEMENT = 5121;
constexpr UINT IDS_NO_SELECTED_ALBUM = 39230;
constexpr UINT IDS_DELETE_ALBUM = 39231;
constexpr UINT IDS_STRING_NOT_FOUND = 39232;
constexpr UINT IDS_ALBUM_DATABASE_UNWRITABLE = 9302;

constexpr int kKeyRole = Qt::UserRole;

} // namespace

void setUpWindow(QDialog& window)
{
    window.setWindowTitle(LoadQString(IDS_ALBUM_MANAGEMENT));
    window.setWindowFlag(Qt::WindowMaximizeButtonHint, true);
    window.setSizeGripEnabled(true);
}

QTreeWidget* newAlbumTree(QDialog& window, TreeHandlers handlers)
{
    auto* tree = new QTreeWidget(&window);
    tree->setColumnCount(1);
    tree->header()->hide();
    tree->setRootIsDecorated(false);
    tree->setSelectionMode(QAbstractItemView::SingleSelection);
    tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tree->setContextMenuPolicy(Qt::CustomContextMenu);
    tree->setUniformRowHeights(true);
    tree->installEventFilter(&window);
    QObject::connect(
        tree, &QTreeWidget::currentItemChanged, &window,
        [run = std::move(handlers.currentChanged)](QTreeWidgetItem* current) { run(current); });
    QObject::connect(tree, &QTreeWidget::itemDoubleClicked, &window,
                     [run = std::move(handlers.doubleClicked)] { run(); });
    QObject::connect(tree, &QWidget::customContextMenuRequested, &window,
                     [run = std::move(handlers.contextMenu)](const QPoint& pos) { run(pos); });
    return tree;
}

void layOut(QDialog& window, QToolBar* toolBar, QWidget* tree, QWidget* songs, int treeStretch)
{
    auto* splitter = new QSplitter(&window);
    splitter->addWidget(tree);
    splitter->addWidget(songs);
    splitter->setStretchFactor(0, treeStretch);
    splitter->setStretchFactor(1, 3);
    splitter->setChildrenCollapsible(false);
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(toolBar);
    layout->addWidget(splitter, 1);
}

void Placement::restore(QWidget& window)
{
    if (m_placed)
        return;
    m_placed = true;
    const QRect place =
        QuickSelectPlacement(ReadWindowRect(Profile(), kPlacementSection), DesktopWorkArea());
    if (!place.isEmpty())
        window.setGeometry(place);
}

void Placement::keep(const QWidget& window) const
{
    // A window that never showed has no place worth keeping.
    if (!m_placed)
        return;
    Profile profile;
    WriteWindowRect(profile, kPlacementSection, window.geometry());
    profile.sync();
}

QToolBar* newToolBar(QWidget& window)
{
    auto* toolBar = new QToolBar(&window);
    toolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    toolBar->setIconSize(QSize(20, 20));
    return toolBar;
}

QAction* addCommand(QWidget& window, CommandActions& actions, int command, const QIcon& icon,
                    const QKeySequence& key, std::function<void(int)> run)
{
    const QString text = LoadQString(static_cast<UINT>(command));
    auto* a = new QAction(icon, text, &window);
    a->setToolTip(QString(text).remove(QLatin1Char('&')));
    a->setObjectName(QString::number(command));
    if (!key.isEmpty()) {
        a->setShortcut(key);
        a->setShortcutContext(Qt::WindowShortcut);
    }
    QObject::connect(a, &QAction::triggered, &window,
                     [run = std::move(run), command] { run(command); });
    window.addAction(a);
    actions.emplace_back(command, a);
    return a;
}

QAction* commandAction(const CommandActions& actions, int command)
{
    for (const auto& [id, a] : actions) {
        if (id == command)
            return a;
    }
    return nullptr;
}

void addDeleteKey(QWidget& window, QWidget& widget, std::function<void()> run)
{
    auto* key = new QAction(&window);
    key->setShortcut(QKeySequence::Delete);
    key->setShortcutContext(Qt::WidgetShortcut);
    QObject::connect(key, &QAction::triggered, &window, [run = std::move(run)] { run(); });
    widget.addAction(key);
}

std::string itemKey(const QTreeWidgetItem* item)
{
    return item ? item->data(0, kKeyRole).toString().toStdString() : std::string();
}

std::vector<std::string> albumKeys(const QTreeWidget& tree)
{
    std::vector<std::string> keys;
    for (int i = 0; i < tree.topLevelItemCount(); ++i)
        keys.push_back(itemKey(tree.topLevelItem(i)));
    return keys;
}

std::string selectedKey(const QTreeWidget& tree)
{
    return itemKey(tree.currentItem());
}

QTreeWidgetItem* fillTree(QTreeWidget& tree, const std::vector<AlbumListEntry>& albums,
                          const QIcon& icon, const std::string& selectKey, SameKey sameKey)
{
    QTreeWidgetItem* select = nullptr;
    {
        const QSignalBlocker blocker(&tree);
        tree.clear();
        for (const AlbumListEntry& entry : albums) {
            auto* item = new QTreeWidgetItem(&tree, {AlbumTreeText(entry.title, entry.artist)});
            item->setData(0, kKeyRole, QString::fromStdString(entry.key));
            item->setIcon(0, icon);
            if (!select && !selectKey.empty() && sameKey(entry.key, selectKey))
                select = item;
        }
        if (!select)
            select = tree.topLevelItem(0);
        if (select)
            tree.setCurrentItem(select);
    }
    if (select)
        tree.scrollToItem(select);
    return select;
}

void renewTreeText(QTreeWidget& tree, const Album& album)
{
    if (QTreeWidgetItem* item = tree.currentItem())
        item->setText(0, AlbumTreeText(album.title(), album.artist()));
}

void showAlbumMenu(QTreeWidget& tree, QMenu& menu, const QPoint& pos)
{
    QTreeWidgetItem* item = tree.itemAt(pos);
    if (!item)
        return;
    tree.setCurrentItem(item);
    menu.exec(tree.viewport()->mapToGlobal(pos));
}

void information(QWidget* parent, const QString& text)
{
    KolvoMessageBox(parent, text, MessageIcon::Information);
}

void tellNoAlbumSelected(QWidget* parent)
{
    information(parent, LoadQString(IDS_NO_SELECTED_ALBUM));
}

bool haveSelectedAlbum(QWidget* parent, const QTreeWidget& tree, const Album& album)
{
    if (tree.currentItem() && !album.key().empty())
        return true;
    tellNoAlbumSelected(parent);
    return false;
}

void tellNotSaved(QWidget* parent, const Album& album)
{
    QString text = LoadQString(IDS_ALBUM_DATABASE_UNWRITABLE)
                       .replace(QLatin1String("%s"),
                                QString::fromStdString(Album::DatabasePath(album.kind())));
    const QString why = QString::fromStdString(album.lastError());
    if (why.startsWith(text))
        text = why;
    else if (!why.isEmpty())
        text += QLatin1Char('\n') + why;
    KolvoMessageBox(parent, text, MessageIcon::Error);
}

bool confirmDeleteAlbum(QWidget* parent)
{
    return KolvoMessageBox(parent, LoadQString(IDS_DELETE_ALBUM), MessageIcon::Question,
                           MessageButtons::YesNo) == IDYES;
}

bool askSearchText(QWidget* parent, std::string& searchText)
{
    FindTextDialog dialog(searchText, parent);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    searchText = dialog.text();
    return true;
}

AlbumSearchHit findNextAlbum(QWidget* parent, QTreeWidget& tree, AlbumKind kind, int startSong,
                             const std::string& text)
{
    const int startAlbum = tree.indexOfTopLevelItem(tree.currentItem());
    const AlbumSearchHit hit = FindNextInAlbums(kind, albumKeys(tree), startAlbum, startSong, text);
    if (!hit.found()) {
        information(parent, LoadQString(IDS_STRING_NOT_FOUND));
        return hit;
    }
    QTreeWidgetItem* album = tree.topLevelItem(hit.album);
    if (album != tree.currentItem())
        tree.setCurrentItem(album);
    tree.scrollToItem(album);
    return hit;
}

} // namespace albumwindow
