// The Remote Control window: digit entry, following the active player, the commands it routes,
// its sizes, the tray icon's pictures and tip, and the players it drives in the real main
// window. Time is the main controller's tick: the tests send ticks instead of waiting.

#include "app/maincontroller.h"
#include "app/playerapp.h"
#include "app/remotecontrol.h"
#include "app/remotedisplay.h"
#include "engines/samplingservice.h"
#include "platform/profile.h"
#include "players/spectrumviewer.h"
#include "support/testhome.h"
#include "support/testhost.h"
#include "ui/skin.h"
#include "ui/skinbutton.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QMenu>
#include <QPainter>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>

#include <map>

namespace {

struct Routed
{
    UINT msg;
    WPARAM component;
    int command;
    int argument;
};

// The main controller as the remote sees it: it answers the status and titles of each
// component from what the test set, and keeps every routed message.
class FakeController : public Wnd
{
public:
    std::map<int, ComponentStatus> status; // components that exist
    std::vector<std::string> titles;
    std::vector<Routed> routed;
    std::vector<std::pair<UINT, WPARAM>> posted;
    int attenuated = 0;

    std::vector<Routed> commandsTo(int component) const
    {
        std::vector<Routed> out;
        for (const Routed& r : routed)
            if (r.msg == UM_COMMAND && static_cast<int>(r.component) == component &&
                !(r.argument == 1 && (r.command == cmd::Att || r.command == cmd::VideoCdMode)))
                out.push_back(r);
        return out;
    }

protected:
    LRESULT onMessage(UINT msg, WPARAM w, LPARAM l) override
    {
        if (msg == UM_GET_STATUS) {
            const auto it = status.find(static_cast<int>(w));
            if (it == status.end())
                return 0;
            *reinterpret_cast<ComponentStatus*>(l) = it->second;
            return 1;
        }
        if (msg == UM_GET_TITLES) {
            *reinterpret_cast<std::vector<std::string>*>(l) = titles;
            return 1;
        }
        if (msg == UM_COMMAND) {
            const int command = static_cast<int>(l & 0xFFFF);
            const int argument = static_cast<int>((static_cast<std::uint32_t>(l) >> 16) & 0xFFFF);
            routed.push_back({msg, w, command, argument});
            if (command == cmd::Att && w == ComponentMixer)
                return argument == 1 ? attenuated : (attenuated = !attenuated);
            return status.count(static_cast<int>(w)) ? 1 : 0;
        }
        if (msg == UM_COMPONENT_OFF || msg == WM_COMMAND || msg == UM_SELECT_ALBUM) {
            posted.push_back({msg, w});
            return 0;
        }
        return Wnd::onMessage(msg, w, l);
    }
};

std::vector<int> commandsOf(const std::vector<Routed>& routed)
{
    std::vector<int> out;
    for (const Routed& r : routed)
        out.push_back(r.command);
    return out;
}

using Plays = std::vector<std::pair<int, int>>; // command and argument
Plays withArguments(const std::vector<Routed>& routed)
{
    Plays out;
    for (const Routed& r : routed)
        out.emplace_back(r.command, r.argument);
    return out;
}

ComponentStatus withState(int state, int song = 0, int count = 3, const char* name = "")
{
    ComponentStatus s;
    s.state = state;
    s.currentSong = song;
    s.songCount = count;
    s.playingName = name;
    return s;
}

class RemoteTest : public KolvoHomeTest
{
protected:
    void SetUp() override
    {
        KolvoHomeTest::SetUp();
        host.settings().remoconComponent = ComponentCd;
        host.settings().remoconAlwaysOnTop = 1;
        controller.status[ComponentCd] = withState(kModeStopped);
        controller.status[ComponentAudio] = withState(kModeStopped);
        controller.status[ComponentMixer] = withState(0);
    }
    void TearDown() override
    {
        remote.reset();
        KolvoHomeTest::TearDown();
    }
    void create()
    {
        remote = std::make_unique<RemoteControl>(host, &controller, hotkeys::DefaultTable());
    }
    void tick(int n = 1)
    {
        for (int i = 0; i < n; ++i)
            remote->sendMessage(WM_TIMER, kTickTimerId, 0);
    }
    void press(int id) { remote->sendMessage(WM_COMMAND, static_cast<WPARAM>(id), 0); }

    TestHost host;
    FakeController controller;
    std::unique_ptr<RemoteControl> remote;
};

} // namespace

// Three figures at most are kept: 1, 2, 3, 4 leaves 234, which Enter Number plays.
TEST_F(RemoteTest, DigitsTypeATrackNumberThatEnterPlays)
{
    create();
    tick();
    for (int d : {1, 2, 3, 4})
        press(cmd::FirstDigit + d);
    EXPECT_TRUE(remote->numberActive());
    EXPECT_EQ(remote->number(), 234);
    EXPECT_EQ(remote->display()->shownTrack(), 234) << "the display shows what is typed";
    press(cmd::EnterNumber);
    EXPECT_EQ(withArguments(controller.commandsTo(ComponentCd)), (Plays{{cmd::Play, 234}}));
    EXPECT_FALSE(remote->numberActive());
    EXPECT_EQ(remote->display()->shownTrack(), 3) << "back to the target's own number";

    // Play/Pause ends an entry the same way; without one it is a plain Play/Pause.
    press(cmd::FirstDigit + 0);
    press(cmd::FirstDigit + 7);
    press(cmd::Play);
    press(cmd::Play);
    const Plays played{{cmd::Play, 234}, {cmd::Play, 7}, {cmd::Play, 0}};
    EXPECT_EQ(withArguments(controller.commandsTo(ComponentCd)), played);

    // Clear drops the entry, and so does leaving it alone for more than eight ticks.
    press(cmd::FirstDigit + 5);
    press(cmd::ClearNumber);
    EXPECT_FALSE(remote->numberActive());
    press(cmd::FirstDigit + 9);
    tick(8);
    EXPECT_TRUE(remote->numberActive()) << "four seconds is not yet enough";
    tick(1);
    EXPECT_FALSE(remote->numberActive());
    press(cmd::EnterNumber);
    EXPECT_EQ(withArguments(controller.commandsTo(ComponentCd)), played) << "nothing left to play";
}

// A target left stopped for five seconds gives way to a player that is sounding; the last
// active one counts, and a CD Player without a disc (opening) is not active.
TEST_F(RemoteTest, FollowsTheActivePlayerAfterFiveIdleSeconds)
{
    controller.status[ComponentMidi] = withState(kModePlaying, 1);
    create();
    ASSERT_EQ(remote->target(), ComponentCd);
    tick(9);
    EXPECT_EQ(remote->target(), ComponentCd) << "four and a half seconds";
    tick(1);
    EXPECT_EQ(remote->target(), ComponentMidi);
    EXPECT_EQ(host.settings().remoconComponent, ComponentMidi) << "and it is kept";

    // An active target is kept however long the others sound.
    controller.status[ComponentVideo] = withState(kModePlaying, 1);
    tick(30);
    EXPECT_EQ(remote->target(), ComponentMidi);

    // Once it stops, the last active one of the others wins.
    controller.status[ComponentMidi] = withState(kModeStopped);
    controller.status[ComponentAudio] = withState(kModePaused, 2);
    controller.status[ComponentCd] = withState(kModeOpening);
    tick(10);
    EXPECT_EQ(remote->target(), ComponentVideo);

    // Nothing active: the target stays, and the count starts again.
    controller.status[ComponentVideo] = withState(kModeStopped);
    controller.status[ComponentAudio] = withState(kModeStopped);
    tick(25);
    EXPECT_EQ(remote->target(), ComponentVideo);
}

// Every transport button reaches the target through the main controller's routed command,
// whichever player that is (the MIDI and video players included, which are routed alike);
// volume and attenuation go to the mixer, the display's marks to the target.
TEST_F(RemoteTest, RoutesItsButtonsToTheTargetAndTheMixer)
{
    controller.status[ComponentMidi] = withState(kModeStopped);
    controller.status[ComponentVideo] = withState(kModeStopped);
    create();
    const std::vector<int> transport{cmd::Open,     cmd::Stop,   cmd::Play,
                                     cmd::Record,   cmd::Rewind, cmd::FastForward,
                                     cmd::Previous, cmd::Next,   cmd::PlayList};
    std::vector<int> expected = transport;
    expected.insert(expected.end(), {cmd::Repeat, cmd::PlayMethod, cmd::TimeDisplay});
    for (int target : {ComponentCd, ComponentAudio, ComponentMidi, ComponentVideo}) {
        remote->sendMessage(UM_REMOTE_SELECT, static_cast<WPARAM>(target), 0);
        ASSERT_EQ(remote->target(), target);
        controller.routed.clear();
        for (int id : transport)
            press(id);
        remote->sendMessage(UM_CYCLE_REPEAT, 0, 0);
        remote->sendMessage(UM_CYCLE_PLAY_METHOD, 0, 0);
        remote->sendMessage(UM_CYCLE_TIME_DISPLAY, 0, 0);
        EXPECT_EQ(commandsOf(controller.commandsTo(target)), expected) << target;
    }
    controller.routed.clear();
    press(cmd::VolumeUp);
    press(cmd::VolumeDown);
    press(cmd::Att);
    EXPECT_EQ(commandsOf(controller.commandsTo(ComponentMixer)),
              (std::vector<int>{cmd::VolumeUp, cmd::VolumeDown, cmd::Att}));
    EXPECT_TRUE(remote->button(cmd::Att)->IsChecked()) << "the mixer said it attenuates";

    // An index outside the players makes the CD Player the target.
    remote->sendMessage(UM_REMOTE_SELECT, 9, 0);
    EXPECT_EQ(remote->target(), ComponentCd);
    // Power and select: the hot key's Power goes to the component, which becomes the target.
    controller.routed.clear();
    remote->OnHotKey(3);
    EXPECT_EQ(remote->target(), ComponentMidi);
    EXPECT_EQ(commandsOf(controller.commandsTo(ComponentMidi)), std::vector<int>{cmd::Power});
    remote->OnHotKey(0);
    EXPECT_EQ(controller.commandsTo(ComponentEffector).size(), 1u) << "the effector is switched";
    EXPECT_EQ(remote->target(), ComponentMidi) << "but a player stays the target";
    remote->OnHotKey(6);
    EXPECT_EQ(remote->target(), ComponentAudio);
    remote->OnHotKey(102);
    EXPECT_EQ(controller.commandsTo(ComponentAudio).back().command, cmd::Play);

    // While a modal dialog is open nothing is sent.
    controller.routed.clear();
    QTimer::singleShot(0, [&] {
        press(cmd::Stop);
        QApplication::activeModalWidget()->close();
    });
    QDialog dialog;
    dialog.exec();
    EXPECT_TRUE(controller.commandsTo(ComponentAudio).empty());
}

// Quick track selection lists the target's titles and plays the chosen one.
TEST_F(RemoteTest, QuickTrackSelectPlaysTheChosenSong)
{
    controller.titles = {"One", "Two", "Three"};
    create();
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        auto* list = dialog->findChild<QAbstractItemView*>();
        ASSERT_NE(list, nullptr);
        list->setCurrentIndex(list->model()->index(1, 0));
        QTest::keyClick(list, Qt::Key_Return);
    });
    remote->sendMessage(UM_REMOTE_QUICK_TRACK, 0, 0);
    EXPECT_EQ(withArguments(controller.commandsTo(ComponentCd)), (Plays{{cmd::Play, 2}}));
}

// The four sizes: 99 pixels wide; the digit rows only in the tall size, the seek and extra rows
// left out of the two short ones.
TEST_F(RemoteTest, FourSizesShowTheirRows)
{
    create();
    const struct
    {
        int height;
        bool seek, extra, digits;
    } expected[] = {{160, true, true, false},
                    {224, true, true, true},
                    {120, false, false, false},
                    {140, true, false, false}};
    for (int size = 0; size < 4; ++size) {
        press(cmd::ChangeSize);
        const int now = (size + 1) % 4;
        ASSERT_EQ(remote->sizeIndex(), now);
        EXPECT_EQ(host.settings().remoconSize, now);
        EXPECT_EQ(remote->size(), QSize(99, expected[now].height)) << now;
        EXPECT_EQ(remote->button(cmd::Next)->isVisibleTo(remote.get()), expected[now].seek);
        EXPECT_EQ(remote->button(cmd::Att)->isVisibleTo(remote.get()), expected[now].extra);
        EXPECT_EQ(remote->button(cmd::FirstDigit + 5)->isVisibleTo(remote.get()),
                  expected[now].digits);
        for (SkinButton* b : remote->buttons()) {
            if (b->isVisibleTo(remote.get())) {
                EXPECT_LE(b->geometry().bottom(), remote->height()) << b->commandId();
            }
        }
    }

    // A digit button shows its own figure, in the skin's text colour, over the bare face.
    press(cmd::ChangeSize); // the size with digits
    const ButtonDescriptor& d = remote->button(cmd::FirstDigit + 1)->descriptor();
    const QRgb ink = Skin::instance().TextColor(d.upFace >= 0 ? d.upFace : d.background).rgb();
    QImage bare(d.width, d.height, QImage::Format_RGB32);
    bare.fill(~ink);
    QPainter painter(&bare);
    SkinButton::paintButton(painter, d, remote->button(cmd::FirstDigit + 1)->drawState(), false,
                            false);
    painter.end();
    const auto inked = [ink](const QImage& img) {
        int n = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                n += (img.pixel(x, y) & 0xFFFFFF) == (ink & 0xFFFFFF);
        return n;
    };
    const QImage one = remote->button(cmd::FirstDigit + 1)->grab().toImage();
    EXPECT_GT(inked(one), inked(bare) + 3);
    EXPECT_NE(one, remote->button(cmd::FirstDigit + 7)->grab().toImage());
}

// The tray icon: the target's six pictures (stopped, paused, the two beats of playing), the
// tip naming the song, and the tray menu with the target checked.
TEST_F(RemoteTest, TheTrayIconFollowsTheTarget)
{
    controller.status[ComponentMidi] = withState(kModeStopped);
    create();
    tick();
    EXPECT_EQ(remote->trayIconIndex(), 0);
    controller.status[ComponentCd] = withState(kModePlaying, 2, 3, "Song Two");
    tick();
    const int first = remote->trayIconIndex();
    tick();
    const int second = remote->trayIconIndex();
    EXPECT_TRUE((first == 4 && second == 5) || (first == 5 && second == 4)) << first << second;
    EXPECT_EQ(remote->trayTip(), "Track [2] : Song Two");
    controller.status[ComponentCd] = withState(kModePaused, 2);
    tick();
    EXPECT_EQ(remote->trayIconIndex(), 3);
    remote->SelectTarget(ComponentMidi);
    tick();
    EXPECT_EQ(remote->trayIconIndex(), 12) << "the MIDI Player's stopped picture";
    ComponentStatus album = withState(kModeStopped, 0);
    album.albumTitle = "Blue";
    album.albumArtist = "Band";
    controller.status[ComponentMidi] = album;
    tick();
    EXPECT_EQ(remote->trayTip(), "Blue - Band");

    // The menu: the target radio-checked; its entries carry out the remote's commands.
    QMenu* menu = remote->trayMenu();
    ASSERT_NE(menu, nullptr);
    emit menu->aboutToShow();
    QStringList checked;
    std::map<int, QAction*> byCommand;
    for (QAction* a : menu->actions()) {
        if (a->isChecked())
            checked << a->text();
        byCommand[a->data().toInt()] = a;
    }
    EXPECT_TRUE(checked.contains("&MIDI Player"));
    EXPECT_TRUE(checked.contains("A&lways on Top Remocon"));
    ASSERT_TRUE(byCommand.count(cmd::FirstTargetMenu + 1) && byCommand.count(cmd::Exit));
    byCommand[cmd::FirstTargetMenu + 1]->trigger();
    EXPECT_EQ(remote->target(), ComponentAudio);
    EXPECT_TRUE(byCommand[cmd::Exit]->isEnabled());
    byCommand[cmd::Exit]->trigger();
    QCoreApplication::processEvents();
    ASSERT_FALSE(controller.posted.empty());
    EXPECT_EQ(controller.posted.back().first, static_cast<UINT>(WM_COMMAND));
    EXPECT_EQ(controller.posted.back().second, static_cast<WPARAM>(cmd::Exit));
}

// The remote is a top-level tool window of its own; it comes back where it was left and, off
// the work area, at the lower right of it.
TEST_F(RemoteTest, IsAToolWindowThatKeepsItsPlace)
{
    const QRect area(0, 0, 1000, 700);
    EXPECT_EQ(RemoteControl::initialPosition(QRect(), area), QPoint(891, 436));
    EXPECT_EQ(RemoteControl::initialPosition(QRect(100, 120, 99, 160), area), QPoint(100, 120));
    EXPECT_EQ(RemoteControl::initialPosition(QRect(995, 120, 99, 160), area), QPoint(891, 436))
        << "5 pixels on the work area are not enough";
    create();
    EXPECT_TRUE(remote->isWindow());
    EXPECT_EQ(remote->parentWidget(), nullptr);
    EXPECT_TRUE(remote->windowFlags().testFlag(Qt::Tool));
    EXPECT_TRUE(remote->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    press(cmd::RemoteAlwaysOnTop);
    EXPECT_FALSE(remote->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(host.settings().remoconAlwaysOnTop, 0);
    remote->move(123, 234);
    remote.reset();
    Profile profile;
    EXPECT_EQ(profile.GetProfileInt("Remocon", "PosX", 0), 123);
    EXPECT_EQ(profile.GetProfileInt("Remocon", "PosY", 0), 234);
    EXPECT_EQ(profile.GetProfileInt("Remocon", "PosX2", 0), 123 + 99);
    create();
    EXPECT_EQ(remote->pos(), QPoint(123, 234));
}

// In the real main window the remote drives the players that exist and shows what they report;
// the strip's button and the remote's own Power hide it.
using MainWindowRemoteTest = KolvoHomeTest;

TEST_F(MainWindowRemoteTest, DrivesThePlayersAndShowsWhatTheyReport)
{
    PlayerApp app;
    app.LoadSettings();
    app.settings().spectrumEnabled = 0;
    MainController window(app);
    auto* remote = dynamic_cast<RemoteControl*>(window.component(ComponentRemote));
    ASSERT_NE(remote, nullptr);
    EXPECT_TRUE(remote->isVisible()) << "switched on by default, beside the strip";
    remote->SelectTarget(ComponentCd);
    ComponentRecord& record = app.settings().components[ComponentCd];
    const int repeat = record.repeat;
    remote->sendMessage(UM_CYCLE_REPEAT, 0, 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(record.repeat, (repeat + 1) % 3);
    remote->sendMessage(WM_TIMER, kTickTimerId, 0);
    EXPECT_EQ(remote->display()->repeatImage(), 4 + record.repeat) << "and shows it";

    window.sendMessage(WM_COMMAND, 5806, 0);
    EXPECT_FALSE(remote->isVisible());
    window.sendMessage(WM_COMMAND, 5806, 0);
    EXPECT_TRUE(remote->isVisible());
    remote->sendMessage(WM_COMMAND, cmd::Power, 0);
    QCoreApplication::processEvents();
    EXPECT_FALSE(remote->isVisible());
    EXPECT_EQ(app.settings().components[ComponentRemote].enable, 0);
    window.destroyWindow();
}

// The display while a song plays: track 112 of an album, in its second minute.
TEST_F(RemoteTest, TheDisplayShowsTrackTimeAndPlay)
{
    create();
    ComponentStatus playing =
        withState(kModePlaying, 112, 140, "A Song With a Name Too Long for the Remote");
    playing.positionSeconds = 83;
    playing.lengthSeconds = 245;
    playing.repeat = 2;
    playing.playMethod = 1;
    remote->display()->SetComponent(ComponentAudio);
    remote->display()->SetStatus(playing);
    remote->display()->Tick();
    EXPECT_EQ(remote->display()->shownTrack(), 112);
    EXPECT_EQ(remote->display()->shownTime(), 123) << "0:01:23";
    EXPECT_EQ(remote->display()->playImage(), 9);
}

// What the preferences change reaches the remote when the settings are announced: its size,
// always-on-top, target and the spectrum viewer with its size. The viewer also opens from the
// remote, carries the tray's tip as its title, and closing it unchecks the remote's button.
TEST_F(RemoteTest, TakesTheNewSettingsAndOpensAndClosesTheSpectrumViewer)
{
    engines::SpectrumService service({});
    remote = std::make_unique<RemoteControl>(host, &controller, hotkeys::DefaultTable(), nullptr,
                                             &service);
    ASSERT_EQ(remote->spectrumViewer(), nullptr);
    press(cmd::SpectrumWindow);
    ASSERT_NE(remote->spectrumViewer(), nullptr);
    EXPECT_EQ(host.settings().spectrumEnabled, 1);
    EXPECT_TRUE(remote->button(cmd::SpectrumWindow)->IsChecked());
    controller.status[ComponentCd] = withState(kModePlaying, 1, 3, "Tone");
    tick();
    EXPECT_EQ(remote->spectrumViewer()->title(), "Track [1] : Tone");
    remote->spectrumViewer()->Close();
    QCoreApplication::processEvents();
    EXPECT_EQ(remote->spectrumViewer(), nullptr);
    EXPECT_FALSE(remote->button(cmd::SpectrumWindow)->IsChecked());
    EXPECT_EQ(host.settings().spectrumEnabled, 0);

    controller.status[ComponentVideo] = withState(kModeStopped);
    AppSettings& s = host.settings();
    s.remoconSize = 1;
    s.remoconAlwaysOnTop = 0;
    s.remoconComponent = ComponentVideo;
    s.spectrumEnabled = 1;
    s.spectrumSize = 2;
    remote->sendMessage(UM_SETTINGS_CHANGED, 0, 0);
    EXPECT_EQ(remote->height(), 224);
    EXPECT_FALSE(remote->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(remote->target(), ComponentVideo);
    ASSERT_NE(remote->spectrumViewer(), nullptr);
    EXPECT_EQ(remote->spectrumViewer()->sizeIndex(), 2);
    EXPECT_TRUE(remote->button(cmd::SpectrumWindow)->IsChecked());
    s.spectrumEnabled = 0;
    remote->sendMessage(UM_SETTINGS_CHANGED, 0, 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(remote->spectrumViewer(), nullptr);
    EXPECT_FALSE(remote->button(cmd::SpectrumWindow)->IsChecked());
}

// The tray icon's double click shows or hides the remote; while the video player is in its
// Video CD mode the transport buttons' tips name the Video CD keys.
TEST_F(RemoteTest, TrayDoubleClickAndVideoCdTips)
{
    create();
    emit remote->trayIcon()->activated(QSystemTrayIcon::Trigger);
    QCoreApplication::processEvents();
    EXPECT_TRUE(controller.posted.empty()) << "a single click does nothing";
    emit remote->trayIcon()->activated(QSystemTrayIcon::DoubleClick);
    QCoreApplication::processEvents();
    ASSERT_EQ(controller.posted.size(), 1u);
    EXPECT_EQ(controller.posted[0].first, UM_COMPONENT_OFF);
    EXPECT_EQ(controller.posted[0].second, static_cast<WPARAM>(ComponentRemote));

    EXPECT_EQ(remote->button(cmd::Stop)->toolTip(), "Stop");
    controller.status[ComponentVideo] = withState(kModeStopped); // answers the mode question
    tick();
    EXPECT_TRUE(remote->button(cmd::VideoCdMode)->IsChecked());
    EXPECT_EQ(remote->button(cmd::Stop)->toolTip(), "Return (BS)");
    EXPECT_EQ(remote->button(cmd::Next)->toolTip(), "Next (PageDown)");
    controller.status.erase(ComponentVideo);
    tick();
    EXPECT_EQ(remote->button(cmd::Stop)->toolTip(), "Stop");
}
