#pragma once
// What the two album windows (the CD album manager and the file album editor) have in common:
// the window's frame and its place kept under "MakeAlbum", the album tree beside the song
// list, the command actions, and the messages and steps of saving, deleting and finding that
// read the same in both. Each window keeps its own song list and commands; this base builds,
// fills and reads what is alike, so the two windows cannot drift apart where they do the same
// thing.

#include "albums/album.h"
#include "albums/albumsearch.h"

#include <QDialog>
#include <QKeySequence>
#include <QStyle>

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class QAction;
class QIcon;
class QMenu;
class QToolBar;
class QTreeView;
class QTreeWidget;
class QTreeWidgetItem;

class AlbumWindow : public QDialog
{
    Q_OBJECT
public:
    // Whether two album keys name the same album (the CD and file databases compare
    // differently).
    using SameKey = bool (*)(std::string_view a, std::string_view b);

    ~AlbumWindow() override;

    // Runs a command as its button or menu item does.
    virtual void runCommand(int command) = 0;
    QAction* action(int command) const;

    QTreeWidget* albumTree() const { return m_tree; }
    const Album& album() const { return m_album; }
    // The keys of the tree's albums, in tree order.
    std::vector<std::string> albumKeys() const;
    std::string selectedKey() const;
    const std::string& searchText() const { return m_searchText; }

protected:
    // The frame (title, maximise button, size grip), the album tree with its handlers and an
    // empty toolbar of pictures only. treeIcon: the picture of every album in the tree.
    AlbumWindow(AlbumKind kind, QStyle::StandardPixmap treeIcon, SameKey sameKey, QWidget* parent);

    void showEvent(QShowEvent* event) override;

    // The tree's current album changed (nullptr: there is none); the window opens it.
    virtual void onCurrentAlbumChanged(QTreeWidgetItem* current) = 0;
    // An album was double-clicked; a song was double-clicked; the song list's context menu.
    virtual void albumProperties() = 0;
    virtual void songProperties() = 0;
    virtual void showSongMenu(const QPoint& pos) = 0;
    // Find Next starts after this song of the current album (1-based; 0: the album itself).
    virtual int findStartSong() const = 0;
    // Find Next found song (1-based; 0: the album's own texts) of the album now current: the
    // window shows it and takes the focus there.
    virtual void showFoundSong(int song) = 0;

    // The song list's behaviour in both windows: flat rows chosen several at a time, read
    // only, a context menu of its own, a double-click opening the song's properties; its focus
    // events go through the window's event filter.
    void setUpSongList(QTreeView* songs);
    // The toolbar above, the tree and the song list side by side below (the list wider).
    void layOut(QWidget* songs, int treeStretch);
    // A command's action: the command's text, its tooltip without the '&', the id as object
    // name, the key as a shortcut of the whole window; triggering it runs the command.
    QAction* addCommand(int command, const QIcon& icon, const QKeySequence& key);
    // The Delete key, only while widget has the focus.
    void addDeleteKey(QWidget& widget, std::function<void()> run);

    // The album key a tree item carries.
    static std::string itemKey(const QTreeWidgetItem* item);
    // Fills the tree with the albums and makes selectKey (else the first album) current; the
    // window then opens it.
    void fillTree(const std::string& selectKey);
    // The current item's text after the album's title or artist changed.
    void renewTreeText();
    void showAlbumMenu(const QPoint& pos);

    void information(const QString& text);
    // Whether an album is selected and open; when not, the user is told.
    bool haveSelectedAlbum();
    // Says the album could not be saved, with the database's path and the reason where known.
    void tellNotSaved();
    // The selected album's tree item; nullptr, with the user told, when there is none.
    QTreeWidgetItem* selectedAlbumItem();
    // Asks whether to delete the selected album.
    bool confirmDeleteAlbum();
    // Makes the album the one of item, which is to be deleted.
    void loadForDeleting(const QTreeWidgetItem* item);

    // Asks for the text to find, offering the last one, and finds it.
    void find();
    // Finds the text again after the selected song or album: the album found becomes current;
    // when nothing is found the user is told.
    void findNext();

    Album m_album;
    QTreeWidget* m_tree = nullptr;
    QToolBar* m_toolBar = nullptr;
    QMenu* m_albumMenu = nullptr;
    QMenu* m_songMenu = nullptr;
    std::string m_searchText;

private:
    void tellNoAlbumSelected();

    QTreeView* m_songList = nullptr;
    QStyle::StandardPixmap m_treeIcon;
    SameKey m_sameKey;
    std::vector<std::pair<int, QAction*>> m_actions;
    bool m_placed = false;
};
