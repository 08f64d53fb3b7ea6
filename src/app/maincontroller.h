#pragma once
// The main window: a borderless strip 500 pixels wide, a 50-pixel control strip on top and the
// component panels stacked under it. It creates the components, switches them on and off,
// routes the component messages to them by index, ticks them every 500 ms, takes the hand-over
// of a second start, watches the CD drive and carries out exit, shutdown and suspend.

#include "players/component.h"
#include "ui/skinpanel.h"

#include <QRect>

#include <array>
#include <functional>
#include <memory>
#include <string>

class CdMediaWatcher;
class MediaChangeMonitor;
class PlayerApp;

constexpr int kMainWidth = 500;
constexpr int kStripHeight = 50;

class MainController : public SkinPanel
{
    Q_OBJECT
public:
    // Makes the component of an index, or null when it does not exist (yet).
    using ComponentFactory = std::function<ComponentWnd*(int index, PlayerHost&, QWidget*)>;
    static ComponentFactory defaultFactory();

    explicit MainController(PlayerApp& app, ComponentFactory factory = defaultFactory());
    ~MainController() override;

    // The saved rectangle limited to the work area; the centred default at the top of the
    // screen when less than 20 pixels of it would show in either direction.
    static QRect initialRect(const QRect& saved, const QRect& workArea);

    // Runs the destruction sequence once (stops the watcher, destroys the components, saves
    // the rectangle) and ends the program.
    void destroyWindow();

    // action: 0 toggle, 1 on, 2 off. An index out of range or a missing component: nothing.
    void SwitchComponent(int index, int action);
    void LayOut(bool fromBottom);
    void ShowRemote();
    // Every component's toggle button shows its Enable flag.
    void SyncToggleButtons();
    void CarryOutStartCommands(const std::array<std::uint32_t, 10>& commands);

    ComponentWnd* component(int index) const;
    // A disc came into (arrival) or left the CD drive, as the system reports it. Once both have
    // been seen, the system's reports alone are trusted and the polling watcher is paused.
    void OnDeviceChange(bool arrival);
    int deviceChangeFlags() const { return m_deviceChangeFlags; }
    CdMediaWatcher* watcher() const { return m_watcher.get(); }

protected:
    LRESULT onMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    // The window's own menu: "About Kolvo", greyed while a dialog is open.
    void contextMenuEvent(QContextMenuEvent* e) override;
    void showEvent(QShowEvent* e) override;
    // Keys no panel took: they go to the player that is playing or paused, else to the
    // first player that is on.
    void keyPressEvent(QKeyEvent* e) override;

private:
    void onCommand(int id);
    LRESULT onCopyData(const COPYDATASTRUCT* cds);
    void exitProgram();
    void minimizeOrRestore();
    // Whether hiding leaves the tray icon to stand for the window (see the definition).
    bool hidesToTray() const;
    // "Keep only the tray icon" asked for on a desktop without a tray: said once a session.
    void tellNoTray();
    void openPreferences();
    void showAbout();
    void saveRect();
    // Says on stderr and in a message box that the player a start mode needs is not there,
    // so that what was asked for cannot be played.
    void reportNoPlayer(int startMode, const std::string& file);
    void bringToFront();
    bool enabled(int index) const;

    PlayerApp& m_app;
    std::array<ComponentWnd*, ComponentCount> m_components{};
    std::unique_ptr<CdMediaWatcher> m_watcher;
    MediaChangeMonitor* m_mediaChange = nullptr;
    int m_deviceChangeFlags = 0;
    int m_preferencesOpen = 0;
    bool m_destroyed = false;
    bool m_shownOnce = false;
    bool m_toldNoTray = false;
};
