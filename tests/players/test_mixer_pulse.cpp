// The Mixer against the tests' private PulseAudio, checked with pactl from the other side.

#include "app/maincontroller.h"
#include "app/playerapp.h"
#include "componenthost.h"
#include "platform/strings.h"
#include "players/mixer.h"
#include "ui/skinslider.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

using componenttest::spin;
using componenttest::TestHost;
using componenttest::waitFor;

namespace {

const char* testSink()
{
    const char* name = std::getenv("KOLVO_TEST_SINK");
    return name ? name : "kolvo_test";
}

// Runs pactl; its standard output, or "" when it failed.
QString pactl(const QStringList& args)
{
    QProcess p;
    p.start("pactl", args);
    if (!p.waitForFinished(5000) || p.exitCode() != 0)
        return {};
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

// The raw channel values pactl reports for a sink ("front-left: 40960 / ...").
std::vector<int> sinkVolume(const QString& sink)
{
    const QString out = pactl({"get-sink-volume", sink});
    std::vector<int> values;
    static const QRegularExpression re(":\\s*(\\d+)\\s*/");
    auto it = re.globalMatch(out.section(QLatin1Char('\n'), 0, 0));
    while (it.hasNext())
        values.push_back(it.next().captured(1).toInt());
    return values;
}

bool sinkMuted(const QString& sink)
{
    return pactl({"get-sink-mute", sink}).contains("yes");
}
// Whether pactl reports these channel values for the sink within 3 s.
bool sinkReaches(const QString& sink, const std::vector<int>& values)
{
    return waitFor([&] { return sinkVolume(sink) == values; }, 3000);
}

int lineIndex(const mixer::View& view, const std::string& name)
{
    for (int i = 0; i < static_cast<int>(view.lines.size()); ++i)
        if (view.lines[i].name == name)
            return i;
    return -1;
}

class MixerPulse : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (pactl({"info"}).isEmpty())
            GTEST_SKIP() << "no test PulseAudio";
        setInterfaceLanguage("en");
        sink = QString::fromLatin1(testSink());
        restore();
        panel = std::make_unique<Mixer>(host, nullptr);
        panel->show();
        ASSERT_TRUE(waitFor([&] { return panel->MasterVolume() == 32; }, 3000))
            << "the panel shows the test sink at 100 %";
    }
    void TearDown() override
    {
        panel.reset();
        for (const QString& module : modules)
            pactl({"unload-module", module});
        restore();
        setInterfaceLanguage("");
    }
    void restore()
    {
        pactl({"set-sink-volume", sink, "100%"});
        pactl({"set-sink-mute", sink, "0"});
        pactl({"set-default-sink", sink});
        pactl({"set-default-source", sink + ".monitor"});
    }
    QString loadSink(const QString& name)
    {
        const QString module = pactl({"load-module", "module-null-sink", "sink_name=" + name,
                                      "sink_properties=device.description=" + name});
        if (!module.isEmpty())
            modules.push_back(module);
        return module;
    }
    const mixer::View& view(int v) const { return panel->lines().views[v]; }
    void click(SkinButton* b)
    {
        ASSERT_NE(b, nullptr);
        QTest::mouseClick(b, Qt::LeftButton);
        spin(20);
    }

    TestHost host;
    QString sink;
    std::unique_ptr<Mixer> panel;
    std::vector<QString> modules;
};

} // namespace

TEST_F(MixerPulse, TheDefaultSinkIsTheMasterAndItsMonitorIsRecorded)
{
    ASSERT_FALSE(view(0).lines.empty());
    const mixer::Line& master = view(0).lines[0];
    EXPECT_EQ(std::tuple(master.name, master.kind, master.channels),
              std::tuple(sink.toStdString(), mixer::LineKind::Sink, 2));
    ASSERT_FALSE(view(1).lines.empty());
    // Line 0 is the recording device, the monitor; the select list follows it.
    EXPECT_EQ(view(1).lines[0].name, sink.toStdString() + ".monitor");
    int selected = 0;
    for (const auto& line : view(1).lines)
        if (line.selectBit >= 0 && ((view(1).destinations[0].selectMask >> line.selectBit) & 1))
            ++selected;
    EXPECT_EQ(selected, 1);
}

TEST_F(MixerPulse, VolumesChangedWithPactlShowOnThePanel)
{
    pactl({"set-sink-volume", sink, "50%"});
    ASSERT_TRUE(waitFor([&] { return panel->MasterVolume() == 16; }, 3000));
    EXPECT_EQ(panel->volumeSlider(0)->GetPos(), 16);
    EXPECT_EQ(panel->balanceSlider(0)->GetPos(), 0);
    // Left at 50 %, right at 25 %: volume 16, balance -4.
    pactl({"set-sink-volume", sink, "32768", "16384"});
    ASSERT_TRUE(waitFor([&] { return panel->balanceSlider(0)->GetPos() == -4; }, 3000));
    EXPECT_EQ(panel->volumeSlider(0)->GetPos(), 16);
}

TEST_F(MixerPulse, VolumesChangedOnThePanelShowInPactl)
{
    EXPECT_EQ(panel->SetMasterVolume(20), 20);
    ASSERT_TRUE(sinkReaches(sink, {40960, 40960})) << "20 / 32 of 65536";
    const LPARAM balance = static_cast<LPARAM>(panel->balanceSlider(0)->handle());
    panel->sendMessage(WM_HSCROLL, slider::scrollParam(-4, SB_THUMBPOSITION), balance);
    ASSERT_TRUE(sinkReaches(sink, {40960, 20480}));
    // Read back by the panel, nothing drifts.
    spin(200);
    EXPECT_EQ(panel->MasterVolume(), 20);
    EXPECT_EQ(panel->balanceSlider(0)->GetPos(), -4);
    // ATT and back, through the routed command the remote control uses.
    panel->sendMessage(UM_COMMAND, ComponentMixer, cmd::Att);
    ASSERT_TRUE(sinkReaches(sink, {8192, 4096})) << "20 / 5 = 4, balance kept";
    panel->sendMessage(UM_COMMAND, ComponentMixer, cmd::Att);
    ASSERT_TRUE(sinkReaches(sink, {40960, 20480}));
}

TEST_F(MixerPulse, MuteBothWays)
{
    pactl({"set-sink-mute", sink, "1"});
    ASSERT_TRUE(waitFor([&] { return !panel->columnSwitch(0)->IsChecked(); }, 3000));
    click(panel->columnSwitch(0));
    ASSERT_TRUE(waitFor([&] { return !sinkMuted(sink); }, 3000));
    click(panel->columnSwitch(0));
    ASSERT_TRUE(waitFor([&] { return sinkMuted(sink); }, 3000));
    spin(200);
    EXPECT_FALSE(panel->columnSwitch(0)->IsChecked());
}

TEST_F(MixerPulse, ASecondSinkAppearsAndGoesWhileShown)
{
    click(panel->button(cmd::ViewPlaybackMixer + 2));
    ASSERT_EQ(panel->view(), 2);
    ASSERT_FALSE(loadSink("kolvo_second").isEmpty());
    ASSERT_TRUE(waitFor([&] { return lineIndex(view(2), "kolvo_second") >= 0; }, 3000));
    const int line = lineIndex(view(2), "kolvo_second");
    EXPECT_EQ(view(2).lines[line].kind, mixer::LineKind::Sink);
    EXPECT_GE(lineIndex(view(2), "kolvo_second.monitor"), 0) << "and its monitor";
    EXPECT_EQ(lineIndex(view(0), "kolvo_second"), -1) << "not the default sink";
    bool shown = false;
    for (const auto& c : panel->columns())
        shown = shown || c.line == line;
    EXPECT_TRUE(shown);
    // Changed on the panel: only that sink.
    panel->SetLineVolume(line, 8);
    ASSERT_TRUE(sinkReaches("kolvo_second", {16384, 16384}));
    EXPECT_EQ(sinkVolume(sink), (std::vector<int>{65536, 65536}));

    // Removed while shown: the columns go, the panel goes on working.
    pactl({"unload-module", modules.back()});
    modules.pop_back();
    ASSERT_TRUE(waitFor([&] { return lineIndex(view(2), "kolvo_second") < 0; }, 3000));
    for (const auto& c : panel->columns())
        EXPECT_LT(c.line, static_cast<int>(view(2).lines.size()));
    click(panel->button(cmd::ViewPlaybackMixer));
    EXPECT_EQ(panel->sendMessage(UM_COMMAND, ComponentMixer, MAKELPARAM(cmd::Volume, 24)), 24);
    ASSERT_TRUE(sinkReaches(sink, {49152, 49152}));
}

TEST_F(MixerPulse, TheRecordingSelectListSetsTheDefaultSource)
{
    ASSERT_FALSE(loadSink("kolvo_third").isEmpty());
    const std::string monitor = "kolvo_third.monitor";
    ASSERT_TRUE(waitFor([&] { return lineIndex(view(1), monitor) >= 0; }, 3000));
    click(panel->button(cmd::ViewPlaybackMixer + 1));
    // Find its column (the list may run onto the next page).
    int column = -1;
    for (int page = 0; page < 4 && column < 0; ++page) {
        for (int k = 0; k < mixer::kColumns; ++k) {
            const int l = panel->columns()[k].line;
            if (l >= 0 && view(1).lines[l].name == monitor && view(1).lines[l].selectBit >= 0)
                column = k;
        }
        if (column < 0)
            click(panel->button(cmd::MixerNext));
    }
    ASSERT_GE(column, 0);
    EXPECT_FALSE(panel->columnSwitch(column)->IsChecked());
    click(panel->columnSwitch(column));
    ASSERT_TRUE(waitFor(
        [&] { return pactl({"get-default-source"}) == QString::fromStdString(monitor); }, 3000));
    ASSERT_TRUE(waitFor([&] { return view(1).lines[0].name == monitor; }, 3000))
        << "the recording device is now that source";
}

TEST_F(MixerPulse, AServerThatGoesAwayAndComesBackIsFoundAgain)
{
    const QString fixture = QStringLiteral(KOLVO_SOURCE_DIR "/tests/harness/pulse-fixture");
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    ASSERT_FALSE(runtime.isEmpty());
    ASSERT_EQ(QProcess::execute(fixture, {"stop", runtime}), 0);
    ASSERT_TRUE(
        waitFor([&] { return panel->lines().state == mixer::Snapshot::State::NoServer; }, 5000));
    EXPECT_EQ(panel->sendMessage(UM_COMMAND, ComponentMixer, cmd::VolumeUp), 0);
    EXPECT_FALSE(panel->volumeSlider(0)->isVisible());
    const QImage without = panel->grab().toImage();

    ASSERT_EQ(QProcess::execute(fixture, {"start", runtime}), 0);
    ASSERT_TRUE(waitFor(
        [&] {
            return panel->lines().state == mixer::Snapshot::State::Connected &&
                   !view(0).lines.empty();
        },
        8000));
    EXPECT_EQ(view(0).lines[0].name, sink.toStdString());
    EXPECT_TRUE(panel->volumeSlider(0)->isVisible());
    EXPECT_NE(panel->grab().toImage(), without);
    EXPECT_EQ(panel->sendMessage(UM_COMMAND, ComponentMixer, MAKELPARAM(cmd::Volume, 16)), 16);
    ASSERT_TRUE(sinkReaches(sink, {32768, 32768}));
}

TEST_F(MixerPulse, Pictures)
{
    const QString dir = QStringLiteral(KOLVO_BIN_DIR "/../test-screenshots");
    QDir().mkpath(dir);
    // A stream playing on the test sink, and a second sink for the other view.
    const QString tone = QDir::tempPath() + "/kolvo-mixer-tone.wav";
    ASSERT_EQ(
        QProcess::execute(
            "sox", QString("-n -r 44100 -c 2 %1 synth 6 sine 440 vol 0.1").arg(tone).split(' ')),
        0);
    QProcess player;
    player.start("paplay", {"--device=" + sink, "--client-name=Tone Player", tone});
    ASSERT_TRUE(loadSink("kolvo_second").size());
    ASSERT_TRUE(waitFor([&] { return view(0).lines.size() >= 2; }, 3000));
    pactl({"set-sink-volume", sink, "65536", "40000"});
    panel->SetLineVolume(1, 22);
    spin(300);
    panel->grab().save(dir + "/mixer-playback.png");
    click(panel->button(cmd::ViewPlaybackMixer + 1));
    panel->grab().save(dir + "/mixer-recording.png");
    click(panel->button(cmd::ViewPlaybackMixer + 2));
    ASSERT_TRUE(waitFor([&] { return lineIndex(view(2), "kolvo_second") >= 0; }, 3000));
    spin(100);
    panel->grab().save(dir + "/mixer-other.png");
    player.kill();
    player.waitForFinished(2000);
    QFile::remove(tone);
}

TEST_F(MixerPulse, TheVolumeOptionAndTheRemoteControlsCommandsThroughTheMainWindow)
{
    panel.reset();
    PlayerApp app;
    app.settings().components[ComponentMixer].enable = 1;
    app.cmdInfo.ParseCommandLine({"/volume:20"});
    MainController window(app, [](int index, PlayerHost& host, QWidget* parent) -> ComponentWnd* {
        return index == ComponentMixer ? new Mixer(host, parent) : nullptr;
    });
    auto* mixerPanel = static_cast<Mixer*>(window.component(ComponentMixer));
    ASSERT_NE(mixerPanel, nullptr);
    // The option arrives before the server has answered; it is carried out once it has.
    EXPECT_EQ(mixerPanel->lines().state, mixer::Snapshot::State::Connecting);
    ASSERT_TRUE(sinkReaches(sink, {40960, 40960}));
    EXPECT_EQ(mixerPanel->MasterVolume(), 20);
    // Given again by a second start (a hand-over), at once.
    app.cmdInfo.ParseCommandLine({"/volume:12"});
    window.CarryOutStartCommands(app.cmdInfo.startCommands);
    EXPECT_EQ(mixerPanel->MasterVolume(), 12);
    ASSERT_TRUE(sinkReaches(sink, {24576, 24576}));
    EXPECT_EQ(window.sendMessage(UM_COMMAND, ComponentMixer, MAKELPARAM(cmd::Volume, 20)), 20);
    // What the remote control sends, routed by the main controller.
    EXPECT_EQ(window.sendMessage(UM_COMMAND, ComponentMixer, cmd::VolumeUp), 21);
    EXPECT_EQ(window.sendMessage(UM_COMMAND, ComponentMixer, cmd::VolumeDown), 20);
    EXPECT_EQ(window.sendMessage(UM_COMMAND, ComponentMixer, MAKELPARAM(cmd::Att, 0)), 1);
    EXPECT_EQ(window.sendMessage(UM_COMMAND, ComponentMixer, MAKELPARAM(cmd::Att, 1)), 1);
    ASSERT_TRUE(sinkReaches(sink, {8192, 8192}));
    window.destroyWindow();
}
