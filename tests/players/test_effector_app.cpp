// The sleep timer inside the real main window: "timer:" runs down on the main tick and at 0
// the program ends with its power request (a dry run here), once.

#include "app/maincontroller.h"
#include "app/playerapp.h"
#include "componenthost.h"
#include "platform/strings.h"
#include "players/soundeffector.h"
#include "support/testhome.h"
#include "ui/digitdisplay.h"

#include <QSettings>

using componenttest::spin;

namespace {

// The application as the components' host, with the main window made here as the controller
// (the application object knows its own main window only when it made it itself).
class WindowHost : public PlayerHost
{
public:
    explicit WindowHost(PlayerApp& app)
        : m_app(app)
    {}
    AppSettings& settings() override { return m_app.settings(); }
    void saveSettings() override { m_app.saveSettings(); }
    int& startMode() override { return m_app.startMode(); }
    std::string& pendingFile() override { return m_app.pendingFile(); }
    bool& pendingFileIsTemporary() override { return m_app.pendingFileIsTemporary(); }
    HWND controller() const override { return window ? window->handle() : 0; }
    MainController* window = nullptr;

private:
    PlayerApp& m_app;
};

class SleepTimerApp : public KolvoHomeTest
{
protected:
    void SetUp() override
    {
        KolvoHomeTest::SetUp();
        setInterfaceLanguage("en");
        setenv("KOLVO_POWER_DRYRUN", "1", 1);
    }
    void TearDown() override
    {
        unsetenv("KOLVO_POWER_DRYRUN");
        setInterfaceLanguage("");
        KolvoHomeTest::TearDown();
    }
    static MainController::ComponentFactory effectorOnly(WindowHost& host)
    {
        return [&host](int index, PlayerHost&, QWidget* parent) -> ComponentWnd* {
            return index == ComponentEffector ? new SoundEffector(host, parent) : nullptr;
        };
    }
};

} // namespace

TEST_F(SleepTimerApp, TheTimerOptionRunsDownAndEndsTheProgramWithItsAction)
{
    for (const auto& [action, said] : {std::pair<int, const char*>{1, "power off requested"},
                                       std::pair<int, const char*>{2, "suspend requested"}}) {
        PlayerApp app;
        app.LoadSettings();
        app.settings().timerAction = action;
        app.cmdInfo.ParseCommandLine({QStringLiteral("/timer:1")});
        WindowHost host(app);
        MainController window(app, effectorOnly(host));
        host.window = &window;
        window.show();
        auto* effector = static_cast<SoundEffector*>(window.component(ComponentEffector));
        ASSERT_NE(effector, nullptr);
        spin(50);
        EXPECT_TRUE(effector->sleepTimer().running()) << "timer:1 starts it";
        EXPECT_EQ(effector->timerDisplay()->value(), 100);

        testing::internal::CaptureStderr();
        for (int i = 0; i < 118; ++i)
            window.sendMessage(WM_TIMER, kTickTimerId, 0);
        spin(30);
        EXPECT_TRUE(window.isVisible()) << "one second is left";
        EXPECT_EQ(effector->timerDisplay()->value(), 1);
        for (int i = 0; i < 2; ++i)
            window.sendMessage(WM_TIMER, kTickTimerId, 0);
        spin(100);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_FALSE(window.isVisible()) << "the program has ended";
        EXPECT_EQ(window.component(ComponentEffector), nullptr);
        size_t count = 0;
        for (size_t at = err.find(said); at != std::string::npos; at = err.find(said, at + 1))
            ++count;
        EXPECT_EQ(count, 1u) << err;
    }
}

TEST_F(SleepTimerApp, ATimerStoredBeyondTheClampShowsTheLongestAllowed)
{
    {
        PlayerApp app;
        app.LoadSettings();
        app.SaveSettings();
    }
    {
        QSettings file(QString::fromStdString(homePath("config/Quorvane System, Inc./Kolvo.conf")),
                       QSettings::IniFormat);
        ASSERT_TRUE(file.contains(QStringLiteral("General/Timer")));
        file.setValue(QStringLiteral("General/Timer"), 1500000);
    }
    PlayerApp app;
    app.LoadSettings();
    WindowHost host(app);
    MainController window(app, effectorOnly(host));
    auto* effector = static_cast<SoundEffector*>(window.component(ComponentEffector));
    effector->sendMessage(WM_COMMAND, cmd::TimerOnOff, 0);
    EXPECT_EQ(effector->timerDisplay()->value(), 990000);
    effector->sendMessage(WM_COMMAND, cmd::TimeIncrement, 0);
    EXPECT_EQ(effector->timerDisplay()->value(), 990100);
    window.destroyWindow();
}
