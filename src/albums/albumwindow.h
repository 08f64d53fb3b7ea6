#pragma once
// The parts the two album windows (the CD album manager and the file album editor) have in
// common: the window's frame and its place kept under "MakeAlbum", the album tree beside the
// song list, the command actions, and the messages and steps of saving, deleting and finding
// that read the same in both. Each window keeps its own song list and commands; these pieces
// build, fill and read what is alike, so the two windows cannot drift apart where they do the
// same thing.

#include "albums/album.h"
#include "albums/albumsearch.h"

#include <QKeySequence>

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class QAction;
class QDialog;
class QIcon;
class QMenu;
class QPoint;
class QString;
class QToolBar;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

namespace albumwindow {

// A window's commands by id, in the order they were made.
using CommandActions = std::vector<std::pair<int, QAction*>>;
// Whether two album keys name the same album (the CD and file databases compare differently).
using SameKey = bool (*)(std::string_view a, std::string_view b);

// What the album tree reports to its window.
struct TreeHandlers
{
    std::function<void(QTreeWidgetItem* current)> currentChanged;
    std::function<void()> doubleClicked;
    std::function<void(const QPoint& pos)> contextMenu;
};

// The window's title, maximise button and size grip.
void setUpWindow(QDialog& window);
// The album tree: one column without a header, one album at a time, read only, a context menu
// of its own; its focus events go through the window's event filter.
QTreeWidget* newAlbumTree(QDialog& window, TreeHandlers handlers);
// The toolbar above, the tree and the song list side by side below (the list wider).
void layOut(QDialog& window, QToolBar* toolBar, QWidget* tree, QWidget* songs, int treeStretch);

// The window's rectangle in the settings: taken when it first shows, kept when it closes only
// if it has shown.
class Placement
{
public:
    void restore(QWidget& window);
    void keep(const QWidget& window) const;

private:
    bool m_placed = false;
};

// A toolbar of pictures only: each button tells its command in its tooltip.
QToolBar* newToolBar(QWidget& window);
// A command's action: the command's text, its tooltip without the '&', the id as object name,
// the key as a shortcut of the whole window; triggering it runs run(command).
QAction* addCommand(QWidget& window, CommandActions& actions, int command, const QIcon& icon,
                    const QKeySequence& key, std::function<void(int)> run);
QAction* commandAction(const CommandActions& actions, int command);
// The Delete key, only while widget has the focus.
void addDeleteKey(QWidget& window, QWidget& widget, std::function<void()> run);

// The album key a tree item carries.
std::string itemKey(const QTreeWidgetItem* item);
std::vector<std::string> albumKeys(const QTreeWidget& tree);
std::string selectedKey(const QTreeWidget& tree);
// Fills the tree with the albums and makes selectKey (else the first album) current without
// telling the window; the current item, which the window then opens.
QTreeWidgetItem* fillTree(QTreeWidget& tree, const std::vector<AlbumListEntry>& albums,
                          const QIcon& icon, const std::string& selectKey, SameKey sameKey);
// The current item's text after the album's title or artist changed.
void renewTreeText(QTreeWidget& tree, const Album& album);
void showAlbumMenu(QTreeWidget& tree, QMenu& menu, const QPoint& pos);

void information(QWidget* parent, const QString& text);
void tellNoAlbumSelected(QWidget* parent);
// Whether an album is selected and open; when not, the user is told.
bool haveSelectedAlbum(QWidget* parent, const QTreeWidget& tree, const Album& album);
// Says an album could not be saved, with the database's path and the reason where known.
void tellNotSaved(QWidget* parent, const Album& album);
// Asks whether to delete the selected album.
bool confirmDeleteAlbum(QWidget* parent);

// Asks for the text to find, offering the last one; false when cancelled.
bool askSearchText(QWidget* parent, std::string& searchText);
// Searches the tree's albums after (startSong of) the current one and makes the album found
// current; when nothing is found the user is told and the hit says so.
AlbumSearchHit findNextAlbum(QWidget* parent, QTreeWidget& tree, AlbumKind kind, int startSong,
                             const std::string& text);

} // namespace albumwindow
