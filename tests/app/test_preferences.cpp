// The preferences sheet: its pages, every control bound to its setting, OK writing back only what
// the user changed, the tray setting refused where the desktop has no tray, the hot-key page;
// and pictures of every page and of the remote control at each size for people to look at.

#include "app/configsheet.h"
#include "app/maincontroller.h"
#include "app/playerapp.h"
#include "app/remotecontrol.h"
#include "app/remotedisplay.h"
#include "platform/msgbox.h"
#include "platform/profile.h"
#include "platform/strings.h"
#include "support/testhome.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QSpinBox>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>

#include <map>

namespace {

AppSettings loadedDefaults()
{
    AppSettings s;
    LoadSettingsFrom(Profile(), s);
    return s;
}

QWidget* pageNamed(CConfigPropertySheet& sheet, const QString& name)
{
    QTabWidget* tabs = sheet.pages();
    for (int i = 0; i < tabs->count(); ++i)
        if (tabs->tabText(i) == name)
            return tabs->widget(i);
    return nullptr;
}

QCheckBox* checkNamed(QWidget* page, const QString& text)
{
    for (QCheckBox* box : page->findChildren<QCheckBox*>())
        if (box->text() == text)
            return box;
    return nullptr;
}

// The settings that differ between two sets, as "Section/Name".
std::vector<std::string> differences(const AppSettings& a, const AppSettings& b)
{
    const auto va = settingValues(a);
    const auto vb = settingValues(b);
    std::vector<std::string> out;
    for (size_t i = 0; i < va.size(); ++i)
        if (va[i].second != vb[i].second)
            out.push_back(va[i].first);
    return out;
}

void choose(QComboBox* box, int index)
{
    box->setCurrentIndex(index);
}

class PreferencesTest : public KolvoHomeTest
{
protected:
    void SetUp() override
    {
        KolvoHomeTest::SetUp();
        setInterfaceLanguage("en");
    }
    void TearDown() override
    {
        setMessageBoxHook({});
        KolvoHomeTest::TearDown();
    }
};

} // namespace

// Twelve pages, as listed; the pages are bound to the settings they show.
TEST_F(PreferencesTest, ThePagesAndTheirSettings)
{
    CConfigPropertySheet sheet(loadedDefaults());
    QStringList names;
    for (int i = 0; i < sheet.pages()->count(); ++i)
        names << sheet.pages()->tabText(i);
    EXPECT_EQ(names, QStringList({"General", "Skin", "Display", "CD Player", "Digital Audio Player",
                                  "MIDI Player", "Digital Video Player", "Remote Control",
                                  "Spectrum", "Timer Action", "Hot Keys", "MPEG Engine"}));
    EXPECT_GE(sheet.boundCount(), 55);
}

// Each control changes its one setting, and OK writes back exactly the settings changed on the
// pages: the live values of everything else, shown on a page or not, stay as they are.
TEST_F(PreferencesTest, OkWritesBackOnlyWhatChanged)
{
    const AppSettings start = loadedDefaults();
    CConfigPropertySheet sheet(start);
    EXPECT_TRUE(differences(start, sheet.edited()).empty()) << "nothing changed yet";

    checkNamed(pageNamed(sheet, "Display"), "Song title")->setChecked(false);
    checkNamed(pageNamed(sheet, "Hot Keys"), "Use the hot keys")->setChecked(true);
    QWidget* remote = pageNamed(sheet, "Remote Control");
    choose(remote->findChildren<QComboBox*>()[0], 1); // size: everything, with digits
    QWidget* timer = pageNamed(sheet, "Timer Action");
    timer->findChildren<QSpinBox*>()[0]->setValue(2); // two hours
    choose(timer->findChildren<QComboBox*>()[0], 2);  // suspend
    QWidget* spectrum = pageNamed(sheet, "Spectrum");
    checkNamed(spectrum, "Linear Amplitude")->setChecked(true); // the effector's, first
    QWidget* mpeg = pageNamed(sheet, "MPEG Engine");
    choose(mpeg->findChildren<QComboBox*>()[0], 3); // mono
    mpeg->findChildren<QSpinBox*>()[0]->setValue(25);

    std::vector<std::string> changed = differences(start, sheet.edited());
    std::sort(changed.begin(), changed.end());
    const std::vector<std::string> expected{"General/Timer",          "General/TimerAction",
                                            "MP3/BufferCount",        "MP3/Channel",
                                            "Panel/ViewSpectrumMode", "Panel/ViewTitle",
                                            "Remocon/RemoconSize",    "Remocon/UseHotKey"};
    EXPECT_EQ(changed, expected);
    EXPECT_EQ(sheet.edited().timer, 20000);
    EXPECT_EQ(sheet.edited().viewSpectrumMode, start.viewSpectrumMode | 0x10000);

    // Meanwhile the program went on: the sleep timer, the remote's player, a folder.
    AppSettings live = start;
    live.timer = 13000;
    live.remoconComponent = ComponentMidi;
    live.components[ComponentAudio].initialDir = "/music";
    live.spectrumMode = 2;
    live.viewId3Tag = 0;
    AppSettings expectedLive = live;
    sheet.applyTo(live);
    EXPECT_EQ(live.viewTitle, 0);
    EXPECT_EQ(live.useHotKey, 1);
    EXPECT_EQ(live.remoconSize, 1);
    EXPECT_EQ(live.timerAction, 2);
    EXPECT_EQ(live.mp3Channel, 3);
    EXPECT_EQ(live.mp3BufferCount, 25);
    EXPECT_EQ(live.timer, 20000) << "changed on its page: the page's value";
    EXPECT_EQ(live.remoconComponent, ComponentMidi) << "shown, not changed: the live value";
    EXPECT_EQ(live.components[ComponentAudio].initialDir, "/music");
    EXPECT_EQ(live.spectrumMode, 2);
    EXPECT_EQ(live.viewId3Tag, 0);
    std::vector<std::string> written = differences(expectedLive, live);
    std::sort(written.begin(), written.end());
    EXPECT_EQ(written, expected);

    // A control moved and moved back changes nothing.
    CConfigPropertySheet again(start);
    QCheckBox* title = checkNamed(pageNamed(again, "Display"), "Song title");
    title->setChecked(false);
    title->setChecked(true);
    AppSettings untouched = live;
    again.applyTo(untouched);
    EXPECT_TRUE(differences(live, untouched).empty());
}

// Where the desktop has no tray (the offscreen platform has none) "keep only the tray icon" is
// refused at once with the reason, rather than hiding the window with no way back.
TEST_F(PreferencesTest, KeepingOnlyTheTrayIconIsRefusedWithoutATray)
{
    ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable());
    QStringList said;
    setMessageBoxHook([&](const QString&, const QString& text, MessageIcon, MessageButtons) {
        said << text;
        return IDOK;
    });
    AppSettings start = loadedDefaults();
    CConfigPropertySheet sheet(start);
    QCheckBox* trayOnly =
        checkNamed(pageNamed(sheet, "General"), "Keep only the tray icon when Kolvo is hidden");
    ASSERT_NE(trayOnly, nullptr);
    trayOnly->setChecked(true);
    EXPECT_FALSE(trayOnly->isChecked());
    EXPECT_EQ(sheet.edited().mainTrayOnly, 0);
    ASSERT_EQ(said.size(), 1);
    EXPECT_TRUE(said[0].contains(QStringLiteral("no notification area"))) << said[0].toStdString();

    // Stored from elsewhere, the setting does not hide the window at start either: it starts
    // minimised, and the user is told once.
    said.clear();
    {
        Profile profile;
        profile.WriteProfileInt("General", "MainVisible", 0);
        profile.WriteProfileInt("General", "MainTrayOnly", 1);
        profile.sync();
    }
    PlayerApp app;
    app.LoadSettings();
    {
        MainController window(app);
        QCoreApplication::processEvents();
        EXPECT_TRUE(window.isVisible());
        EXPECT_TRUE(window.isMinimized());
        window.sendMessage(WM_COMMAND, cmd::MinimizeRestore, 0);
        window.sendMessage(WM_COMMAND, cmd::MinimizeRestore, 0);
        QCoreApplication::processEvents();
        EXPECT_TRUE(window.isVisible());
        EXPECT_EQ(said.size(), 1) << "told once, not at every minimise";
        window.destroyWindow();
    }
}

// The hot-key page: the setting, the three groups and their keys; the keys another program holds
// and a session without global keys are said on the page.
TEST_F(PreferencesTest, TheHotKeyPageListsTheTable)
{
    HotKeyPageInfo info;
    info.taken = {102};
    CConfigPropertySheet sheet(loadedDefaults(), nullptr, info);
    QWidget* page = pageNamed(sheet, "Hot Keys");
    auto* list = page->findChild<QTreeWidget*>();
    auto* groups = page->findChild<QComboBox*>();
    ASSERT_NE(list, nullptr);
    ASSERT_NE(groups, nullptr);
    EXPECT_EQ(groups->count(), 3);
    EXPECT_EQ(groups->itemText(1), QStringLiteral("Playback Commands"));
    EXPECT_EQ(list->headerItem()->text(0), QStringLiteral("Description"));
    EXPECT_EQ(list->headerItem()->text(1), QStringLiteral("HotKey"));
    ASSERT_EQ(list->topLevelItemCount(), 9);
    EXPECT_EQ(list->topLevelItem(0)->text(0), QStringLiteral("DSP Component On/Off"));
    EXPECT_EQ(list->topLevelItem(0)->text(1), QStringLiteral("Ctrl+Alt+X"));
    EXPECT_FALSE(list->isEnabled()) << "hot keys are off by default";
    checkNamed(page, "Use the hot keys")->setChecked(true);
    EXPECT_TRUE(list->isEnabled());
    groups->setCurrentIndex(1);
    ASSERT_EQ(list->topLevelItemCount(), 11);
    EXPECT_EQ(list->topLevelItem(2)->text(0), QStringLiteral("Play/Pause"));
    EXPECT_EQ(list->topLevelItem(2)->text(1),
              QStringLiteral("Ctrl+Shift+P (held by another program)"));
    groups->setCurrentIndex(2);
    EXPECT_EQ(list->topLevelItemCount(), 7);

    HotKeyPageInfo none;
    none.unavailableReason = QStringLiteral("Global hot keys need an X11 session.");
    CConfigPropertySheet without(loadedDefaults(), nullptr, none);
    bool said = false;
    for (QLabel* l : pageNamed(without, "Hot Keys")->findChildren<QLabel*>())
        said = said || l->text() == none.unavailableReason;
    EXPECT_TRUE(said);
}

// Pictures for people to look at: every page of the sheet and the remote at its four sizes.
TEST_F(PreferencesTest, Pictures)
{
    const QString dir = QStringLiteral(KOLVO_BIN_DIR "/../test-screenshots");
    QDir().mkpath(dir);
    HotKeyPageInfo info;
    info.taken = {102};
    CConfigPropertySheet sheet(loadedDefaults(), nullptr, info);
    sheet.resize(560, 520);
    sheet.show();
    for (int i = 0; i < sheet.pages()->count(); ++i) {
        sheet.pages()->setCurrentIndex(i);
        QCoreApplication::processEvents();
        const QImage img = sheet.grab().toImage();
        EXPECT_FALSE(img.isNull());
        img.save(dir + QStringLiteral("/preferences-%1.png").arg(i + 1, 2, 10, QLatin1Char('0')));
    }
    sheet.hide();

    PlayerApp app;
    app.LoadSettings();
    app.settings().spectrumEnabled = 0;
    MainController window(app);
    auto* remote = dynamic_cast<RemoteControl*>(window.component(ComponentRemote));
    ASSERT_NE(remote, nullptr);
    remote->sendMessage(WM_TIMER, kTickTimerId, 0);
    for (int size = 0; size < RemoteControl::kSizes; ++size) {
        remote->SetSize(size);
        QCoreApplication::processEvents();
        const QImage img = remote->grab().toImage();
        EXPECT_EQ(img.size(), QSize(99, RemoteControl::heightOf(size)));
        img.save(dir + QStringLiteral("/remote-size%1.png").arg(size));
    }
    // Its display while a song plays: track 112 of an album, in its second minute, the name
    // scrolling.
    ComponentStatus playing;
    playing.state = kModePlaying;
    playing.songCount = 140;
    playing.currentSong = 112;
    playing.positionSeconds = 83;
    playing.lengthSeconds = 245;
    playing.repeat = 2;
    playing.playMethod = 1;
    playing.playingName = "A Song With a Name Too Long for the Remote";
    remote->SetSize(1);
    remote->display()->SetComponent(ComponentAudio);
    remote->display()->SetStatus(playing);
    remote->display()->Tick();
    QCoreApplication::processEvents();
    EXPECT_EQ(remote->display()->shownTrack(), 112);
    EXPECT_EQ(remote->display()->shownTime(), 123) << "0:01:23";
    EXPECT_EQ(remote->display()->playImage(), 9);
    remote->grab().toImage().save(dir + QStringLiteral("/remote-playing.png"));
    window.destroyWindow();
}
