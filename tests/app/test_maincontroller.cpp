#include "app/aboutbox.h"
#include "app/cdmediawatcher.h"
#include "app/commandline.h"
#include "app/configsheet.h"
#include "app/maincontroller.h"
#include "app/playerapp.h"
#include "platform/mediachange.h"
#include "platform/msgbox.h"
#include "platform/paths.h"
#include "players/audioplayer.h"
#include "support/testhome.h"
#include "ui/skin.h"

#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QListWidget>
#include <QMenu>
#include <QSettings>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>

#include <atomic>

namespace {

// A panel for a component that is not built yet, so the strip's layout can be seen with it;
// it counts the commands it is sent.
class PlainPanel : public ComponentWnd
{
public:
    PlainPanel(int index, PlayerHost& host, QWidget* parent, int height)
        : ComponentWnd(index, host, parent, 1, height)
    {}
    std::vector<LPARAM> commands;
    std::vector<WPARAM> targets; // the wParam of each command
    std::vector<WPARAM> discChanges;
    int settingsChanged = 0;

protected:
    LRESULT onMessage(UINT msg, WPARAM w, LPARAM l) override
    {
        if (msg == UM_DISC_CHANGE)
            discChanges.push_back(w);
        if (msg == UM_SETTINGS_CHANGED)
            ++settingsChanged;
        if (msg == UM_COMMAND) {
            commands.push_back(l);
            targets.push_back(w);
            return 1;
        }
        if (msg == UM_GET_STATUS)
            return 7;
        return ComponentWnd::onMessage(msg, w, l);
    }
};

class MainControllerTest : public KolvoHomeTest
{
protected:
    void SetUp() override
    {
        KolvoHomeTest::SetUp();
        app = std::make_unique<PlayerApp>();
        app->LoadSettings();
    }
    void TearDown() override
    {
        setMessageBoxHook({});
        window.reset();
        app.reset();
        KolvoHomeTest::TearDown();
    }
    // Mixer 120 high, CD Player 130 high, the real Digital Audio Player.
    void create()
    {
        window = std::make_unique<MainController>(
            *app, [this](int index, PlayerHost& host, QWidget* parent) -> ComponentWnd* {
                if (index == ComponentMixer)
                    return mixer = new PlainPanel(index, host, parent, 120);
                if (index == ComponentCd)
                    return cd = new PlainPanel(index, host, parent, 130);
                if (index == ComponentAudio)
                    return new AudioPlayer(host, parent);
                return nullptr;
            });
    }
    // A stand-in for every component but the Remote Control, 60 pixels high each.
    void createStandIns()
    {
        window = std::make_unique<MainController>(
            *app, [this](int index, PlayerHost& host, QWidget* parent) -> ComponentWnd* {
                if (index == ComponentRemote)
                    return nullptr;
                return panels[index] = new PlainPanel(index, host, parent, 60);
            });
        mixer = panels[ComponentMixer];
        cd = panels[ComponentCd];
    }
    // A second start handing over its start mode and file name.
    void handOver(int startMode, const std::string& file)
    {
        AppCommandLineInfo info;
        info.startMode = startMode;
        info.fileName = file;
        const std::vector<std::uint8_t> block = BuildHandoverRecord(info);
        COPYDATASTRUCT cds;
        cds.dwData = kHandoverDataId;
        cds.cbData = static_cast<std::uint32_t>(block.size());
        cds.lpData = block.data();
        EXPECT_EQ(window->sendMessage(WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds)), 0);
        QCoreApplication::processEvents(); // the posted commands
    }
    void clearCommands()
    {
        for (PlainPanel* p : panels)
            if (p) {
                p->commands.clear();
                p->targets.clear();
            }
    }
    bool checked(int index) { return window->button(5800 + index)->IsChecked(); }
    std::vector<int> enables() const
    {
        std::vector<int> out;
        for (const ComponentRecord& r : app->settings().components)
            out.push_back(r.enable);
        return out;
    }
    void click(int command)
    {
        QTest::mouseClick(window->button(command), Qt::LeftButton);
        QCoreApplication::processEvents(); // the button posts its command
    }

    std::unique_ptr<PlayerApp> app;
    std::unique_ptr<MainController> window;
    PlainPanel* mixer = nullptr;
    PlainPanel* cd = nullptr;
    std::array<PlainPanel*, ComponentCount> panels{};
};

} // namespace

TEST_F(MainControllerTest, PanelsStackUnderTheStripAndItsButtonsShowTheFlags)
{
    for (auto& c : app->settings().components)
        c.enable = 0;
    app->settings().components[ComponentMixer].enable = 1;
    app->settings().components[ComponentCd].enable = 1;
    create(); // no Sound Effector, MIDI Player or Digital Video Player yet
    EXPECT_EQ(window->size(), QSize(500, 50 + 120 + 130));
    EXPECT_EQ(mixer->pos(), QPoint(0, 50));
    EXPECT_EQ(cd->pos(), QPoint(0, 170)) << "the mixer above the CD Player";

    // A click on the strip's button switches the audio player on, stacked below the others.
    click(5803);
    EXPECT_EQ(window->height(), 400);
    EXPECT_EQ(window->component(ComponentAudio)->pos(), QPoint(0, 300));
    EXPECT_TRUE(window->component(ComponentAudio)->isVisible());
    // Switching the mixer off moves everything up.
    click(5801);
    EXPECT_EQ(window->height(), 280);
    EXPECT_EQ(cd->pos(), QPoint(0, 50));
    EXPECT_FALSE(mixer->isVisible());
    // The button flips itself under the mouse, but it shows the flag: a component that does not
    // exist stays off.
    click(5805);
    click(5800);
    window->SwitchComponent(ComponentVideo, 1);
    std::vector<int> enables, shown;
    for (int i = 0; i < ComponentRemote; ++i) {
        enables.push_back(app->settings().components[i].enable);
        shown.push_back(checked(i));
    }
    EXPECT_EQ(enables, (std::vector<int>{0, 0, 1, 1, 0, 0}));
    EXPECT_EQ(shown, enables);
}

// The Power command's high word: 1 switches on (a second time changes nothing), 2 switches off,
// any other value toggles.
TEST_F(MainControllerTest, PowerSwitchesByItsHighWord)
{
    app->settings().components[ComponentAudio].enable = 0;
    create();
    const int off = window->height();
    for (const auto& [command, on] : {std::pair{0x11644, 1}, std::pair{0x11644, 1},
                                      std::pair{0x21644, 0}, std::pair{0x01644, 1}}) {
        EXPECT_EQ(window->sendMessage(UM_COMMAND, 3, command), 0);
        EXPECT_EQ(app->settings().components[ComponentAudio].enable, on) << std::hex << command;
        EXPECT_EQ(window->height(), off + 100 * on) << std::hex << command;
    }
}

TEST_F(MainControllerTest, SwitchingOffStopsFirstAndMessagesAreRoutedByIndex)
{
    create();
    // Stop with high word 1 before it goes; none when already off, nor when switched on.
    window->SwitchComponent(ComponentMixer, 2);
    window->SwitchComponent(ComponentMixer, 2);
    window->SwitchComponent(ComponentMixer, 1);
    EXPECT_EQ(mixer->commands, std::vector<LPARAM>{0x113EE});

    ComponentStatus status;
    EXPECT_EQ(window->sendMessage(UM_GET_STATUS, ComponentAudio, reinterpret_cast<LPARAM>(&status)),
              1);
    EXPECT_EQ(status.state, 524) << "not ready until the first tick";
    window->sendMessage(WM_TIMER, 300, 0);
    window->sendMessage(UM_GET_STATUS, ComponentAudio, reinterpret_cast<LPARAM>(&status));
    EXPECT_EQ(status.state, 525);
    EXPECT_EQ(window->sendMessage(UM_GET_STATUS, ComponentCd, 0), 7);
    EXPECT_EQ(window->sendMessage(UM_GET_STATUS, ComponentVideo, 0), 0) << "a missing component";
    EXPECT_EQ(window->sendMessage(UM_GET_STATUS, 9, 0), 0) << "an index out of range";
    window->sendMessage(UM_COMMAND, ComponentCd, 5104);
    EXPECT_EQ(cd->commands.back(), 5104);

    // A component that switches itself off is taken off the strip.
    window->sendMessage(UM_COMPONENT_OFF, ComponentCd, 0);
    EXPECT_FALSE(cd->isVisible());
    EXPECT_FALSE(checked(ComponentCd));
}

TEST_F(MainControllerTest, StartCommandsGoToTheMixerAndTheEffector)
{
    createStandIns();
    clearCommands();
    window->CarryOutStartCommands({0x10046, 0x20005, 0x30001, 0x10010, 0, 0x10001, 0x20009});
    EXPECT_EQ(mixer->commands, (std::vector<LPARAM>{(0x46 << 16) | 5180, (0x10 << 16) | 5180}))
        << "a zero word ends the list";
    EXPECT_EQ(mixer->targets, (std::vector<WPARAM>{0, 0}));
    // An unknown kind is skipped, not sent; the minutes travel in wParam.
    EXPECT_EQ(panels[ComponentEffector]->commands, std::vector<LPARAM>{5181});
    EXPECT_EQ(panels[ComponentEffector]->targets, std::vector<WPARAM>{5});
    for (int i : {ComponentCd, ComponentAudio, ComponentMidi, ComponentVideo})
        EXPECT_TRUE(panels[i]->commands.empty()) << i;
}

// Each mode adds its player to what is on, switches nothing off and posts it one command.
TEST_F(MainControllerTest, AHandOverSwitchesOnThePlayerOfItsModeAndTellsItWhatToPlay)
{
    for (auto& c : app->settings().components)
        c.enable = 0;
    app->settings().components[ComponentMixer].enable = 1;
    app->settings().components[ComponentCd].enable = 1;
    createStandIns();
    const struct
    {
        int mode;
        int component;
        LPARAM command;
    } cases[] = {{3, ComponentAudio, 5173},
                 {1, ComponentCd, static_cast<LPARAM>(0xFFFF13F0u)},
                 {2, ComponentVideo, static_cast<LPARAM>(0xFFFF1431u)},
                 {4, ComponentMidi, 5173},
                 {5, ComponentVideo, 5173}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        app->settings().components[c.component].enable = 0;
        window->LayOut(false);
        clearCommands();
        std::vector<int> expected = enables();
        expected[c.component] = 1;
        handOver(c.mode, "/media/" + std::to_string(c.mode));
        EXPECT_EQ(app->cmdInfo.fileName, "/media/" + std::to_string(c.mode));
        EXPECT_EQ(enables(), expected);
        EXPECT_EQ(window->height(), 50 + 60 * std::count(expected.begin(), expected.end() - 1, 1));
        EXPECT_TRUE(checked(c.component));
        EXPECT_TRUE(panels[c.component]->isVisibleTo(window.get()));
        for (int i = 0; i < ComponentRemote; ++i)
            EXPECT_EQ(panels[i]->commands,
                      i == c.component ? std::vector<LPARAM>{c.command} : std::vector<LPARAM>{})
                << "sent to " << i;
        EXPECT_EQ(panels[c.component]->targets, std::vector<WPARAM>{WPARAM(c.component)});
    }

    // A mode without a player switches nothing on and sends nothing; the name is still taken.
    app->settings().components[ComponentMidi].enable = 0;
    window->LayOut(false);
    clearCommands();
    const std::vector<int> before = enables();
    handOver(6, "/media/y");
    EXPECT_EQ(app->cmdInfo.fileName, "/media/y");
    EXPECT_EQ(enables(), before);
    for (int i = 0; i < ComponentRemote; ++i)
        EXPECT_TRUE(panels[i]->commands.empty()) << i;
    // A record of another kind is not a hand-over.
    COPYDATASTRUCT other;
    other.dwData = 0x1234;
    EXPECT_EQ(window->sendMessage(WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&other)), 0);
}

// The start mode switches its player on and the other players off, but only when that player
// could be made: a file no player handles yet must not leave the strip empty, start after start.
TEST_F(MainControllerTest, AStartModeSwitchesThePlayersOnlyWhenItsPlayerExists)
{
    std::vector<QString> shown;
    setMessageBoxHook([&](const QString&, const QString& text, MessageIcon, MessageButtons) {
        shown.push_back(text);
        return IDOK;
    });
    for (auto& c : app->settings().components)
        c.enable = 1;
    app->cmdInfo.startMode = StartModeMidi;
    app->cmdInfo.fileName = "/music/tune.mid";
    create(); // no MIDI Player yet
    const std::vector<int> allOn(ComponentCount, 1);
    EXPECT_EQ(enables(), allOn);
    EXPECT_EQ(app->cmdInfo.startMode, StartModeNone) << "no player is left to act on it";
    EXPECT_TRUE(window->component(ComponentAudio)->isVisibleTo(window.get()));
    EXPECT_TRUE(checked(ComponentAudio));
    EXPECT_TRUE(shown.empty()) << "the box waits until the window is up";
    QCoreApplication::processEvents();
    auto expectShown = [&](std::initializer_list<const char*> parts) {
        ASSERT_EQ(shown.size(), 1u);
        for (const char* part : parts)
            EXPECT_TRUE(shown[0].contains(QString::fromUtf8(part))) << shown[0].toStdString();
        shown.clear();
    };
    expectShown({"/music/tune.mid", "MIDI Player"});

    // Handed over by a second start: nothing switched either, and the user is told.
    handOver(StartModeVideo, "/films/clip.mpg");
    EXPECT_EQ(enables(), allOn);
    expectShown({"/films/clip.mpg", "Digital Video Player"});
    handOver(StartModeVideoCd, "");
    expectShown({"Video CD"});

    // A player that exists is switched on and the other players off; the rest stay as they are.
    window.reset();
    app->cmdInfo.startMode = StartModeAudio;
    app->cmdInfo.fileName = "/music/song.wav";
    create();
    EXPECT_EQ(enables(), (std::vector<int>{1, 1, 0, 1, 0, 0, 1}));
    EXPECT_EQ(app->cmdInfo.startMode, StartModeAudio) << "left for the player to act on";
    EXPECT_FALSE(cd->isVisibleTo(window.get()));
    EXPECT_EQ(window->height(), 50 + 120 + window->component(ComponentAudio)->height());
    QCoreApplication::processEvents();
    EXPECT_TRUE(shown.empty());
}

// Keeping only the tray icon needs a tray icon the desktop shows: without one the window would
// be gone with no way back, so it is minimised instead.
TEST_F(MainControllerTest, MinimizeKeepsAWayBackWhateverTheTraySetting)
{
    create();
    ASSERT_TRUE(window->isVisible());
    app->settings().mainTrayOnly = 1;
    window->sendMessage(WM_COMMAND, 5701, 0);
    EXPECT_TRUE(window->isVisible()) << "no tray icon: not hidden";
    EXPECT_TRUE(window->isMinimized());
    window->sendMessage(WM_COMMAND, 5701, 0);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->isMinimized()) << "and restored again";

    // A tray icon hides the window only where the desktop has a tray to show it in.
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::red);
    QSystemTrayIcon icon(QIcon(pixmap), window.get());
    icon.show();
    window->sendMessage(WM_COMMAND, 5701, 0);
    EXPECT_EQ(window->isVisible(), !QSystemTrayIcon::isSystemTrayAvailable());
    window->sendMessage(WM_COMMAND, 5701, 0);
    EXPECT_TRUE(window->isVisible());
    icon.hide();

    app->settings().mainTrayOnly = 0;
    window->sendMessage(WM_COMMAND, 5701, 0);
    EXPECT_TRUE(window->isMinimized());
}

// The window's own menu leads to the About box, which names the version the build was given
// and the libraries the program runs on.
TEST_F(MainControllerTest, TheWindowMenuOpensTheAboutBox)
{
    app->title = "Kolvo "; // the designed title, which names the running instance
    create();
    QStringList offered;
    QString said;
    bool greyedInside = false;
    const auto rightClick = [this] {
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5),
                                window->mapToGlobal(QPoint(5, 5)));
        QCoreApplication::sendEvent(window.get(), &event);
    };
    // The menu and then the box run their own event loops: each is looked at and closed from
    // inside them.
    QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr) << "no menu on a right click";
        for (QAction* a : menu->actions())
            offered << a->text();
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<AboutBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr) << "the About box is not open";
            said = box->text();
            // While it is open, the menu offers it greyed.
            QTimer::singleShot(0, [&] {
                auto* second = qobject_cast<QMenu*>(QApplication::activePopupWidget());
                if (second) {
                    greyedInside = !second->actions().front()->isEnabled();
                    second->close();
                }
            });
            rightClick();
            box->accept();
        });
        menu->actions().front()->trigger();
        menu->close();
    });
    rightClick();
    QCoreApplication::processEvents();

    EXPECT_EQ(offered, QStringList{"About &Kolvo..."});
    EXPECT_EQ(window->windowTitle(), "Kolvo") << "shown without the blank";
    EXPECT_TRUE(said.startsWith(QStringLiteral("Kolvo " KOLVO_PROJECT_VERSION "\n")))
        << said.toStdString();
    EXPECT_TRUE(said.contains("Qt " + QString::fromLatin1(qVersion())));
    EXPECT_TRUE(said.contains("\nGStreamer 1.")) << said.toStdString();
    EXPECT_TRUE(said.contains("Lesser General Public License"));
    EXPECT_TRUE(greyedInside) << "About is greyed while a dialog is open";
}

TEST(CdMediaWatcher, PostsChangesUntilPausedOrStopped)
{
    struct Receiver : Wnd
    {
        std::vector<std::pair<UINT, WPARAM>> got;
        LRESULT onMessage(UINT msg, WPARAM w, LPARAM) override
        {
            got.emplace_back(msg, w);
            return 0;
        }
    } cd, video;
    std::atomic<bool> disc{false};
    CdMediaWatcher watcher(
        "/dev/sr-test", [&](const std::string&) { return disc.load(); }, 20);
    watcher.Start(cd.handle(), video.handle());
    disc = true;
    QTRY_COMPARE_WITH_TIMEOUT(video.got.size(), size_t(1), 2000);
    ASSERT_EQ(cd.got.size(), 1u);
    EXPECT_EQ(cd.got[0], std::make_pair(UM_DISC_CHANGE, WPARAM(1)));
    disc = false;
    QTRY_COMPARE_WITH_TIMEOUT(cd.got.size(), size_t(2), 2000);
    EXPECT_EQ(cd.got[1].second, 0u);

    // A new drive takes its state silently.
    watcher.SetDrive("/dev/sr-other");
    watcher.Pause();
    disc = true;
    QTest::qWait(150);
    EXPECT_EQ(cd.got.size(), 2u) << "paused: the system's notifications speak now";
    QElapsedTimer t;
    t.start();
    watcher.Stop();
    EXPECT_LT(t.elapsed(), 500) << "Stop wakes the worker rather than waiting out its sleep";
}

TEST_F(MainControllerTest, TheSystemsDiscReportsPauseThePollingOnceBothWereSeen)
{
    create();
    window->OnDeviceChange(true);
    EXPECT_EQ(window->deviceChangeFlags(), 1);
    window->OnDeviceChange(true);
    EXPECT_EQ(window->deviceChangeFlags(), 1) << "arrivals alone do not prove removals are told";
    EXPECT_FALSE(window->watcher()->paused());
    window->OnDeviceChange(false);
    EXPECT_EQ(window->deviceChangeFlags(), 3);
    EXPECT_TRUE(window->watcher()->paused());
    QTRY_COMPARE_WITH_TIMEOUT(cd->discChanges.size(), size_t(3), 1000);
    EXPECT_EQ(cd->discChanges, (std::vector<WPARAM>{1, 1, 0}));
    // The events udev sends for a drive, and what they mean.
    EXPECT_EQ(MediaChangeMonitor::Classify("change", "1", "1", nullptr), 1);
    EXPECT_EQ(MediaChangeMonitor::Classify("change", "1", nullptr, nullptr), 0);
    EXPECT_EQ(MediaChangeMonitor::Classify("change", "1", "0", nullptr), 0);
    EXPECT_EQ(MediaChangeMonitor::Classify("change", nullptr, nullptr, "1"), 0);
    EXPECT_EQ(MediaChangeMonitor::Classify("change", nullptr, "1", nullptr), -1);
    EXPECT_EQ(MediaChangeMonitor::Classify("add", "1", "1", nullptr), -1);
    EXPECT_EQ(MediaChangeMonitor::Classify(nullptr, "1", "1", nullptr), -1);
}

// The sheet is modal, but the players, the timer and the remote go on meanwhile: OK takes over
// what the pages show and nothing else, every component hears of it, the skin is reloaded at
// once and the settings are saved.
TEST_F(MainControllerTest, PreferencesOkTakesTheSheetOverKeepsTheRestReloadsTheSkinAndSaves)
{
    create();
    AppSettings& live = app->settings();
    const std::string before = live.colorScheme;
    live.viewTitle = 1;
    live.timer = 0;
    AppSettings expected;
    QTimer::singleShot(0, [&] {
        auto* sheet = qobject_cast<CConfigPropertySheet*>(QApplication::activeModalWidget());
        ASSERT_NE(sheet, nullptr);
        auto* skins = sheet->findChild<QListWidget*>();
        ASSERT_NE(skins, nullptr);
        for (int i = 0; i < skins->count(); ++i)
            if (skins->item(i)->text().contains("Nightfall"))
                skins->setCurrentRow(i);
        for (QCheckBox* box : sheet->findChildren<QCheckBox*>())
            if (box->text() == "Song title")
                box->setChecked(false);
        live.timer = 13000; // a sleep timer set from the effector
        live.reverb = 7;
        live.equalizer[4] = -3;
        live.remoconComponent = ComponentMidi;
        live.components[ComponentAudio].playMode = 2;
        live.recordDir = "/records";
        expected = live;
        expected.viewTitle = 0;
        expected.colorScheme = sheet->edited().colorScheme;
        sheet->accept();
    });
    window->sendMessage(WM_COMMAND, 5142, 0);
    EXPECT_NE(expected.colorScheme, before);
    EXPECT_EQ(settingValues(live), settingValues(expected));
    EXPECT_EQ(mixer->settingsChanged, 1) << "every component hears of the new settings";
    EXPECT_EQ(cd->settingsChanged, 1);
    EXPECT_NE(Skin::instance().loadedPath().find("Nightfall"), std::string::npos)
        << "the new skin is loaded at once";
    QSettings file(QString::fromStdString(paths::settingsFile()), QSettings::IniFormat);
    EXPECT_EQ(file.value("General/ColorScheme").toString().toStdString(), live.colorScheme);
    EXPECT_EQ(file.value("General/Timer").toInt(), 13000) << "and saved so";

    // Cancel leaves everything as it was.
    QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); });
    window->sendMessage(WM_COMMAND, 5142, 0);
    EXPECT_EQ(settingValues(live), settingValues(expected));
    EXPECT_EQ(mixer->settingsChanged, 1) << "not after Cancel";
    Skin::instance().LoadSkin(before);
}
