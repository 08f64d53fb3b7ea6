// The preferences sheet: its pages, every control bound to its setting, OK writing back only what
// the user changed, the tray setting refused where the desktop has no tray, the hot-key page.

#include "app/configsheet.h"
#include "app/maincontroller.h"
#include "app/playerapp.h"
#include "platform/msgbox.h"
#include "platform/profile.h"
#include "platform/strings.h"
#include "support/testhome.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QSpinBox>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTreeWidget>

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
    EXPECT_EQ(settingValues(sheet.edited()), settingValues(start)) << "nothing changed yet";

    checkNamed(pageNamed(sheet, "Display"), "Song title")->setChecked(false);
    checkNamed(pageNamed(sheet, "Hot Keys"), "Use the hot keys")->setChecked(true);
    QWidget* remote = pageNamed(sheet, "Remote Control");
    remote->findChildren<QComboBox*>()[0]->setCurrentIndex(1);
    remote->findChildren<QComboBox*>()[1]->setCurrentIndex(3); // drives the Video Player
    QWidget* timer = pageNamed(sheet, "Timer Action");
    timer->findChildren<QSpinBox*>()[0]->setValue(2);         // two hours
    timer->findChildren<QComboBox*>()[0]->setCurrentIndex(2); // suspend
    // The effector's "Linear Amplitude" and drawing mode come first on the page.
    checkNamed(pageNamed(sheet, "Spectrum"), "Linear Amplitude")->setChecked(true);
    pageNamed(sheet, "Spectrum")->findChildren<QComboBox*>()[0]->setCurrentIndex(2);
    QWidget* mpeg = pageNamed(sheet, "MPEG Engine");
    mpeg->findChildren<QComboBox*>()[0]->setCurrentIndex(3); // mono
    mpeg->findChildren<QSpinBox*>()[0]->setValue(25);
    const auto withTheChanges = [](AppSettings s) {
        s.viewTitle = 0;
        s.useHotKey = 1;
        s.remoconSize = 1;
        s.remoconComponent = ComponentVideo;
        s.timer = 20000;
        s.timerAction = 2;
        s.viewSpectrumMode = (s.viewSpectrumMode & ~0xFF) | 0x10000 | 2;
        s.mp3Channel = 3;
        s.mp3BufferCount = 25;
        return settingValues(s);
    };
    EXPECT_EQ(settingValues(sheet.edited()), withTheChanges(start));

    // Meanwhile the program went on: the sleep timer, the remote's player, a folder. What was
    // changed on a page takes the page's value, what was only shown keeps the live one.
    AppSettings live = start;
    live.timer = 13000;
    live.remoconComponent = ComponentMidi;
    live.remoconAlwaysOnTop = !start.remoconAlwaysOnTop;
    live.components[ComponentAudio].initialDir = "/music";
    live.spectrumMode = 2;
    live.viewId3Tag = 0;
    const auto expectedLive = withTheChanges(live);
    sheet.applyTo(live);
    EXPECT_EQ(settingValues(live), expectedLive);

    // A control moved and moved back changes nothing.
    CConfigPropertySheet again(start);
    QCheckBox* title = checkNamed(pageNamed(again, "Display"), "Song title");
    title->setChecked(false);
    title->setChecked(true);
    AppSettings untouched = live;
    again.applyTo(untouched);
    EXPECT_EQ(settingValues(untouched), expectedLive);
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
    EXPECT_TRUE(said[0].contains("no notification area")) << said[0].toStdString();

    // Stored from elsewhere, the setting does not hide the window at start either: it starts
    // minimised, and the user is told once.
    said.clear();
    PlayerApp app;
    app.LoadSettings();
    app.settings().mainVisible = 0;
    app.settings().mainTrayOnly = 1;
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
    EXPECT_EQ(groups->itemText(1), "Playback Commands");
    EXPECT_EQ(list->headerItem()->text(0), "Description");
    EXPECT_EQ(list->headerItem()->text(1), "HotKey");
    ASSERT_EQ(list->topLevelItemCount(), 9);
    EXPECT_EQ(list->topLevelItem(0)->text(0), "DSP Component On/Off");
    EXPECT_EQ(list->topLevelItem(0)->text(1), "Ctrl+Alt+X");
    EXPECT_FALSE(list->isEnabled()) << "hot keys are off by default";
    checkNamed(page, "Use the hot keys")->setChecked(true);
    EXPECT_TRUE(list->isEnabled());
    groups->setCurrentIndex(1);
    ASSERT_EQ(list->topLevelItemCount(), 11);
    EXPECT_EQ(list->topLevelItem(2)->text(0), "Play/Pause");
    EXPECT_EQ(list->topLevelItem(2)->text(1), "Ctrl+Shift+P (held by another program)");
    groups->setCurrentIndex(2);
    EXPECT_EQ(list->topLevelItemCount(), 7);

    HotKeyPageInfo none;
    none.unavailableReason = "Global hot keys need an X11 session.";
    CConfigPropertySheet without(loadedDefaults(), nullptr, none);
    bool said = false;
    for (QLabel* l : pageNamed(without, "Hot Keys")->findChildren<QLabel*>())
        said = said || l->text() == none.unavailableReason;
    EXPECT_TRUE(said);
}
