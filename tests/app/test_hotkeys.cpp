// The global hot keys: the fixed table with its defaults and key texts, and the X11 key grabs
// (run under Xvfb by CTest): a combination another X client holds is reported, the others are
// taken with every lock-modifier variant and given back when hot keys are turned off.

#include "app/remotecontrol.h"
#include "platform/hotkeys.h"
#include "platform/msgbox.h"
#include "platform/strings.h"
#include "support/testhome.h"
#include "support/testhost.h"

#include <QCoreApplication>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>

#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <cstdlib>

namespace {

bool haveDisplay()
{
    const char* d = std::getenv("DISPLAY");
    return d && *d;
}

// Another X client holding Ctrl+Shift+P (in its plain form, as a program without lock
// handling would) for as long as it lives.
class OtherProgram
{
public:
    OtherProgram()
    {
        m_display = XOpenDisplay(nullptr);
        if (!m_display)
            return;
        const KeyCode p = XKeysymToKeycode(m_display, XK_p);
        XGrabKey(m_display, p, ControlMask | ShiftMask, DefaultRootWindow(m_display), False,
                 GrabModeAsync, GrabModeAsync);
        XSync(m_display, False);
    }
    ~OtherProgram()
    {
        if (m_display)
            XCloseDisplay(m_display);
    }
    bool ok() const { return m_display != nullptr; }

private:
    Display* m_display = nullptr;
};

} // namespace

// The table is the designed one at every start: 9 component commands, 11 playback commands and
// 7 other commands, each shown as its keys (their names: the preferences page and the portal).
TEST(HotKeyTable, DefaultsAndTheirTexts)
{
    setInterfaceLanguage("en");
    const hotkeys::Table t = hotkeys::DefaultTable();
    std::vector<size_t> sizes;
    for (int group = 0; group < 5; ++group)
        sizes.push_back(hotkeys::GroupEntries(t, group).size());
    EXPECT_EQ(sizes, (std::vector<size_t>{9, 11, 7, 0, 0}));
    const std::pair<int, const char*> expected[] = {
        {0, "Ctrl+Alt+X"},     {4, "Ctrl+Alt+V"},     {5, "Ctrl+Shift+C"},   {8, "Ctrl+Shift+V"},
        {100, "Ctrl+Shift+O"}, {102, "Ctrl+Shift+P"}, {104, "Ctrl+Shift+B"}, {108, "Ctrl+Shift+W"},
        {110, "Ctrl+Shift+A"}, {200, "Ctrl+Alt+R"},   {203, "Ctrl+Alt+A"},   {206, "Ctrl+Alt+H"}};
    for (const auto& [id, text] : expected)
        EXPECT_EQ(hotkeys::KeyText(t[static_cast<size_t>(hotkeys::indexOf(id))]), text) << id;
    // Named keys and the rest.
    EXPECT_EQ(hotkeys::KeyText(hotkeys::entry(hotkeys::kShift | hotkeys::kAlt, 0x21)),
              "Alt+Shift+Page Up");
    EXPECT_EQ(hotkeys::KeyText(hotkeys::entry(hotkeys::kControl, 0x7B)), "Ctrl+F12");
    EXPECT_EQ(hotkeys::KeyText(hotkeys::entry(0, 0x6E)), "Num Del");
    EXPECT_EQ(hotkeys::KeyText(hotkeys::entry(hotkeys::kAlt, 0x63)), "Alt+Num 3");
    EXPECT_EQ(hotkeys::KeyText(hotkeys::entry(hotkeys::kControl, '7')), "Ctrl+7");
    EXPECT_EQ(hotkeys::indexOf(300), 60) << "group 3 is in the table, empty";
    EXPECT_EQ(hotkeys::indexOf(520), -1) << "ids beyond the table";
    EXPECT_EQ(hotkeys::indexOf(120), -1);
}

TEST(GlobalHotKeys, WithoutADisplayRegistrationIsUnavailableAndSaysWhy)
{
    const QByteArray saved = qgetenv("DISPLAY");
    qunsetenv("DISPLAY");
    const auto restore = qScopeGuard([&saved] {
        if (!saved.isEmpty())
            qputenv("DISPLAY", saved);
    });
    GlobalHotKeys keys;
    EXPECT_EQ(keys.backend(), GlobalHotKeys::Backend::NoBackend);
    EXPECT_FALSE(keys.unavailableReason().isEmpty());
    EXPECT_EQ(keys.registerKey(102, hotkeys::DefaultTable()[20 + 2]),
              GlobalHotKeys::Result::Unavailable);
}

// Under X11: the keys are grabbed (a second grab of ours would be refused if they were not
// ours), a taken one is reported, Num Lock and Caps Lock do not change which key a press is.
TEST(GlobalHotKeys, X11GrabsAndTheKeysAnotherProgramHolds)
{
    if (!haveDisplay())
        GTEST_SKIP() << "no X display (CTest runs this under xvfb-run)";
    OtherProgram other;
    ASSERT_TRUE(other.ok());
    GlobalHotKeys keys;
    ASSERT_EQ(keys.backend(), GlobalHotKeys::Backend::X11)
        << keys.unavailableReason().toStdString();
    const hotkeys::Table t = hotkeys::DefaultTable();
    auto at = [&t](int id) { return t[static_cast<size_t>(hotkeys::indexOf(id))]; };
    EXPECT_EQ(keys.registerKey(102, at(102)), GlobalHotKeys::Result::Taken);
    EXPECT_FALSE(keys.isRegistered(102));
    EXPECT_EQ(keys.registerKey(101, at(101)), GlobalHotKeys::Result::Registered);
    EXPECT_TRUE(keys.isRegistered(101));

    // What a press of Ctrl+Shift+S means, whatever lock is lit; without Shift it is no hot key.
    Display* d = XOpenDisplay(nullptr);
    ASSERT_NE(d, nullptr);
    const unsigned s = XKeysymToKeycode(d, XK_s);
    EXPECT_EQ(keys.idForKeyPress(s, ControlMask | ShiftMask), 101);
    EXPECT_EQ(keys.idForKeyPress(s, ControlMask | ShiftMask | LockMask), 101);
    EXPECT_EQ(keys.idForKeyPress(s, ControlMask | ShiftMask | Mod2Mask), 101);
    EXPECT_EQ(keys.idForKeyPress(s, ControlMask), -1);

    // The grab is really ours: another client cannot take it now, and can once it is given back.
    auto grabFails = [d](unsigned keycode, unsigned modifiers) {
        static int error = 0;
        error = 0;
        XErrorHandler previous = XSetErrorHandler([](Display*, XErrorEvent* e) {
            error = e->error_code;
            return 0;
        });
        XGrabKey(d, static_cast<int>(keycode), modifiers, DefaultRootWindow(d), False,
                 GrabModeAsync, GrabModeAsync);
        XSync(d, False);
        XUngrabKey(d, static_cast<int>(keycode), modifiers, DefaultRootWindow(d));
        XSync(d, False);
        XSetErrorHandler(previous);
        return error == BadAccess;
    };
    EXPECT_TRUE(grabFails(s, ControlMask | ShiftMask));
    EXPECT_TRUE(grabFails(s, ControlMask | ShiftMask | LockMask)) << "the Caps Lock variant too";
    keys.unregisterKey(101);
    EXPECT_FALSE(grabFails(s, ControlMask | ShiftMask));
    XCloseDisplay(d);

    // The remote control registers the whole table when "UseHotKey" is turned on, names the keys
    // another program holds in one message, and gives every key back when it is turned off.
    setInterfaceLanguage("en");
    TestHost host;
    host.settings().useHotKey = 0;
    Wnd controller;
    QString said;
    setMessageBoxHook([&](const QString&, const QString& text, MessageIcon, MessageButtons) {
        said = text;
        return IDOK;
    });
    {
        RemoteControl remote(host, &controller, hotkeys::DefaultTable());
        EXPECT_FALSE(remote.hotKeysApplied());
        host.settings().useHotKey = 1;
        remote.sendMessage(UM_SETTINGS_CHANGED, 0, 0);
        EXPECT_TRUE(remote.hotKeysApplied());
        ASSERT_EQ(remote.takenHotKeys(), std::vector<int>{102});
        EXPECT_TRUE(said.contains("Ctrl+Shift+P (Play/Pause)")) << said.toStdString();
        EXPECT_TRUE(said.contains("held by another program"));
        host.settings().useHotKey = 0;
        remote.sendMessage(UM_SETTINGS_CHANGED, 0, 0);
        EXPECT_FALSE(remote.hotKeysApplied());
    }
    setMessageBoxHook({});
    // Every key is free again (Ctrl+Alt+R among them).
    GlobalHotKeys again;
    EXPECT_EQ(again.registerKey(200, hotkeys::DefaultTable()[40]),
              GlobalHotKeys::Result::Registered);
}

namespace {

// A private session bus with the stand-in portal on it, for the length of a test.
class PortalBus
{
public:
    PortalBus()
    {
        m_bus.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        if (!m_bus.waitForReadyRead(5000))
            return;
        m_address = QString::fromUtf8(m_bus.readLine()).trimmed();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DBUS_SESSION_BUS_ADDRESS", m_address);
        m_portal.setProcessEnvironment(env);
        m_portal.start(QStringLiteral(KOLVO_SOURCE_DIR "/tests/app/fake-portal"), {});
        ready = waitForLine("ready");
    }
    ~PortalBus()
    {
        for (QProcess* p : {&m_portal, &m_bus}) {
            p->terminate();
            if (!p->waitForFinished(3000))
                p->kill();
        }
    }
    const QString& address() const { return m_address; }
    void stopPortal()
    {
        m_portal.terminate();
        m_portal.waitForFinished(3000);
    }
    // Waits (running the event loop) for a line starting with text; true when it came.
    bool waitForLine(const QString& text, int ms = 5000)
    {
        return QTest::qWaitFor(
            [&] {
                while (m_portal.canReadLine()) {
                    lines << QString::fromUtf8(m_portal.readLine()).trimmed();
                    if (lines.back().startsWith(text))
                        return true;
                }
                m_portal.waitForReadyRead(20);
                return false;
            },
            ms);
    }
    bool ready = false;
    QStringList lines;

private:
    QProcess m_bus;
    QProcess m_portal;
    QString m_address;
};

} // namespace

// On Wayland the keys go to the desktop portal's global shortcuts: offered in one bind with
// their names and preferred triggers, pressed through its Activated signal, and offered anew
// without a key that was given back.
TEST(GlobalHotKeys, OnWaylandThePortalBindsTheKeys)
{
    setInterfaceLanguage("en");
    PortalBus bus;
    ASSERT_TRUE(bus.ready) << "the private bus and the stand-in portal";
    qputenv("DBUS_SESSION_BUS_ADDRESS", bus.address().toUtf8());
    // A Wayland session for as long as the test runs, however it ends.
    qputenv("XDG_SESSION_TYPE", "wayland");
    qputenv("WAYLAND_DISPLAY", "kolvo-test");
    const auto restore = qScopeGuard([] {
        qunsetenv("WAYLAND_DISPLAY");
        qunsetenv("XDG_SESSION_TYPE");
    });
    {
        GlobalHotKeys keys;
        ASSERT_EQ(keys.backend(), GlobalHotKeys::Backend::Portal)
            << keys.unavailableReason().toStdString();
        EXPECT_TRUE(keys.note().contains("Wayland"));
        std::vector<int> pressed;
        keys.onPressed = [&pressed](int id) { pressed.push_back(id); };
        const hotkeys::Table t = hotkeys::DefaultTable();
        EXPECT_EQ(keys.registerKey(101, t[21]), GlobalHotKeys::Result::Registered);
        EXPECT_EQ(keys.registerKey(102, t[22]), GlobalHotKeys::Result::Registered);
        EXPECT_EQ(keys.registerKey(206, t[46]), GlobalHotKeys::Result::Registered);
        ASSERT_TRUE(bus.waitForLine("bind kolvo-206"));
        EXPECT_TRUE(bus.lines.contains("bind kolvo-101 CTRL+SHIFT+s Stop"));
        EXPECT_TRUE(bus.lines.contains("bind kolvo-102 CTRL+SHIFT+p Play/Pause"));
        EXPECT_TRUE(bus.lines.contains("bind kolvo-206 CTRL+ALT+h Minimize/Restore Kolvo"));
        EXPECT_EQ(bus.lines.filter("session ").size(), 1) << "one session, one bind";
        EXPECT_TRUE(QTest::qWaitFor([&pressed] { return !pressed.empty(); }, 3000));
        EXPECT_EQ(pressed, std::vector<int>{102}) << "the portal's Activated is the key pressed";

        // Giving a key back closes the session and binds the rest in a new one.
        keys.unregisterKey(102);
        EXPECT_FALSE(keys.isRegistered(102));
        ASSERT_TRUE(bus.waitForLine("closed "));
        bus.lines.clear();
        ASSERT_TRUE(bus.waitForLine("bind kolvo-206"));
        EXPECT_TRUE(bus.lines.contains("bind kolvo-101 CTRL+SHIFT+s Stop"));
        EXPECT_TRUE(bus.lines.filter("kolvo-102").isEmpty());
    }

    // A Wayland session whose portal lacks global shortcuts: unavailable, and the reason says so.
    bus.stopPortal();
    GlobalHotKeys none;
    EXPECT_EQ(none.backend(), GlobalHotKeys::Backend::NoBackend);
    EXPECT_TRUE(none.unavailableReason().contains("X11"));
}
