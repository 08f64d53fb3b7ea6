#pragma once
// The application object: start-up, the settings, the command line, the one-instance rule
// and the orderly exit.

#include "app/commandline.h"
#include "platform/hotkeys.h"
#include "platform/settings.h"
#include "players/component.h"

#include <QObject>

#include <functional>
#include <memory>
#include <string>

class MainController;
class MprisService;
class SingleInstance;

class PlayerApp : public QObject, public PlayerHost
{
    Q_OBJECT
public:
    PlayerApp();
    ~PlayerApp() override;

    // False when this instance is not to run (it handed over to a running one, or could not
    // start); exitCode() then says how it ends.
    bool InitInstance(const QStringList& arguments);
    int ExitInstance();
    int exitCode() const { return m_exitCode; }

    void LoadSettings();
    void SaveSettings();

    // Switches the players on or off for the start mode once the components are made; exists
    // says whether the component of an index was. When the player the mode switches on is
    // missing, no flag changes (they are saved at exit, and switching the other players off
    // would leave later starts with an empty strip), the start mode is dropped and the result
    // is false.
    bool ApplyStartMode(const std::function<bool(int index)>& exists);

    MainController* mainWindow() const { return m_mainWindow.get(); }

    // What the components reach through their host.
    AppSettings& settings() override { return appSettings; }
    void saveSettings() override { SaveSettings(); }
    int& startMode() override { return cmdInfo.startMode; }
    std::string& pendingFile() override { return cmdInfo.fileName; }
    bool& pendingFileIsTemporary() override { return pendingIsTemporary; }
    HWND controller() const override;

    std::string title;
    AppSettings appSettings;
    AppCommandLineInfo cmdInfo;
    bool pendingIsTemporary = false;
    bool splashFlag = false;
    // The global hot keys: set to the defaults at every start, never stored.
    hotkeys::Table hotKeys = hotkeys::DefaultTable();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool handOverToRunningInstance();

    std::unique_ptr<SingleInstance> m_instance;
    std::unique_ptr<MainController> m_mainWindow;
    // Kolvo on the session bus for the desktop's media controls; null without a bus.
    std::unique_ptr<MprisService> m_mpris;
    int m_exitCode = 0;
    bool m_saveFailureReported = false;
};
