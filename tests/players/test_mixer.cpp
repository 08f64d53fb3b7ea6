// The Mixer's arithmetic and its panel over a fake device: volume and balance to channel values
// and back without drift, the attenuator, the master volume commands, pages of six columns,
// mono lines, mute and the recording select list, Reset, lines that go away while shown, and
// a mixer without a sound server.

#include "componenthost.h"
#include "platform/strings.h"
#include "players/mixer.h"
#include "ui/skinslider.h"

#include <gtest/gtest.h>

#include <QTest>

using componenttest::spin;
using componenttest::TestHost;

namespace {

using mixer::Line;
using mixer::LineKind;
using mixer::Snapshot;

Line line(const char* name, int left, int right, LineKind kind = LineKind::PlaybackStream)
{
    Line l;
    l.kind = kind;
    l.shortName = l.longName = l.name = name;
    l.left = left;
    l.right = right;
    return l;
}

// A device that keeps what it was told and lets the test change the lines.
class FakeDevice : public mixer::MixerDevice
{
public:
    struct VolumeCall
    {
        std::string line;
        int left, right;
    };
    Snapshot state;
    std::vector<VolumeCall> volumes;
    std::vector<std::pair<std::string, bool>> mutes;
    std::vector<std::uint32_t> selects;
    HWND notify = 0;

    void setNotifyWindow(HWND window) override { notify = window; }
    Snapshot snapshot() const override { return state; }
    void setVolume(const Line& l, int left, int right) override
    {
        volumes.push_back({l.name, left, right});
        // A real server answers with the values; the fake keeps them.
        for (auto& view : state.views)
            for (Line& x : view.lines)
                if (x.name == l.name && x.kind == l.kind) {
                    x.left = left;
                    x.right = right;
                }
    }
    void setMute(const Line& l, bool muted) override { mutes.emplace_back(l.name, muted); }
    void setSelect(int, int, std::uint32_t mask) override { selects.push_back(mask); }
    // As the server's change notice does.
    void changed() { Wnd::postTo(notify, MM_MIXM_CONTROL_CHANGE, 0, 0); }
};

Snapshot typicalServer()
{
    Snapshot s;
    s.state = Snapshot::State::Connected;
    mixer::View& play = s.views[0];
    play.destinations.push_back({});
    play.lines.push_back(line("Speakers", 17, 17, LineKind::Sink));
    Line mono = line("Mono radio", 20, 20);
    mono.channels = 1;
    play.lines.push_back(mono);
    Line fixed = line("No volume", 0, 0);
    fixed.hasVolume = false;
    play.lines.push_back(fixed);
    Line neither = line("Nothing to set", 0, 0);
    neither.hasVolume = neither.hasMute = false;
    play.lines.push_back(neither);
    for (int i = 0; i < 6; ++i)
        play.lines.push_back(line(("Stream " + std::to_string(i)).c_str(), 10 + i, 10 + i));

    mixer::View& rec = s.views[1];
    mixer::Destination d;
    d.hasSelect = true;
    d.selectMask = 1u << 1;
    rec.destinations.push_back(d);
    rec.lines.push_back(line("Recording", 24, 24, LineKind::Source));
    for (int i = 0; i < 3; ++i) {
        Line src = line(("Input " + std::to_string(i)).c_str(), 16, 16, LineKind::Source);
        src.hasMute = false;
        src.selectBit = i;
        rec.lines.push_back(src);
    }
    return s;
}

class MixerPanel : public ::testing::Test
{
protected:
    void SetUp() override { setInterfaceLanguage("en"); }
    void TearDown() override
    {
        panel.reset();
        setInterfaceLanguage("");
    }
    Mixer& make(Snapshot s = typicalServer())
    {
        auto d = std::make_unique<FakeDevice>();
        d->state = std::move(s);
        device = d.get();
        panel = std::make_unique<Mixer>(host, nullptr, std::move(d));
        panel->show();
        spin(10);
        return *panel;
    }
    LRESULT command(int id, int value = 0)
    {
        return panel->sendMessage(
            UM_COMMAND, ComponentMixer,
            MAKELPARAM(static_cast<std::uint16_t>(id), static_cast<std::uint16_t>(value)));
    }
    void click(SkinButton* b)
    {
        ASSERT_NE(b, nullptr);
        QTest::mouseClick(b, Qt::LeftButton);
        spin(20);
    }
    std::vector<std::string> columnNames() const
    {
        std::vector<std::string> names;
        const auto& view = panel->lines().views[panel->view()];
        for (const auto& c : panel->columns())
            if (c.line >= 0)
                names.push_back(view.lines[c.line].shortName);
        return names;
    }

    TestHost host;
    FakeDevice* device = nullptr;
    std::unique_ptr<Mixer> panel;
};

} // namespace

TEST(MixerArithmetic, ChannelValuesRoundTripWithoutDrift)
{
    // Every 0..32 value through a raw range and back, for PulseAudio's range and an odd one.
    for (const auto& [lo, hi] :
         {std::pair<std::int64_t, std::int64_t>{0, 65536}, {0, 65535}, {-6000, 0}, {0, 100}}) {
        for (int v = 0; v <= 32; ++v)
            EXPECT_EQ(mixer::toScale(mixer::fromScale(v, lo, hi), lo, hi), v) << lo << ".." << hi;
    }
    EXPECT_EQ(mixer::fromScale(16, 0, 65536), 32768);
    EXPECT_EQ(mixer::fromScale(32, 0, 65536), 65536);
    EXPECT_EQ(mixer::toScale(32768, 0, 65536), 16);
    EXPECT_EQ(mixer::toScale(100000, 0, 65536), 32) << "louder than 100 % reads as the top";
    EXPECT_EQ(mixer::toScale(1023, 0, 65536), 0);
    EXPECT_EQ(mixer::toScale(1024, 0, 65536), 1) << "half a step rounds up";
}

TEST(MixerArithmetic, VolumeAndBalanceAsDesigned)
{
    // Left 32, right 16 reads as volume 32, balance -4; volume 20, balance -4 writes 20 and 10.
    Line l = line("x", 32, 16);
    EXPECT_EQ(l.volume(), 32);
    EXPECT_EQ(l.balance(), -4);
    EXPECT_EQ(mixer::channelsFor(20, -4), (mixer::Channels{20, 10}));
    EXPECT_EQ(mixer::channelsFor(20, 4), (mixer::Channels{10, 20}));
    EXPECT_EQ(mixer::channelsFor(20, 0), (mixer::Channels{20, 20}));
    EXPECT_EQ(mixer::channelsFor(20, -3), (mixer::Channels{20, 13})) << "12.5 rounds away";
    EXPECT_EQ(mixer::channelsFor(32, 8), (mixer::Channels{0, 32}));
    EXPECT_EQ(mixer::balanceOf(0, 32), 8);
    EXPECT_EQ(mixer::balanceOf(20, 13), -3);
    EXPECT_EQ(mixer::roundHalfAway(-2.5), -3);
    EXPECT_EQ(mixer::roundHalfAway(2.5), 3);
    // The volume always survives; the balance does from volume 8 up (below, the channels are
    // too coarse to hold it).
    for (int v = 0; v <= 32; ++v)
        for (int b = -8; b <= 8; ++b) {
            const mixer::Channels c = mixer::channelsFor(v, b);
            Line back = line("x", c.left, c.right);
            EXPECT_EQ(back.volume(), v) << v << " " << b;
            if (v >= 8) {
                EXPECT_EQ(back.balance(), b) << v << " " << b;
            }
        }
    Line mono = line("m", 20, 20);
    mono.channels = 1;
    EXPECT_EQ(mono.balance(), 0);
    mixer::Destination mux, list;
    mux.selectMask = 0b101;
    list.multiple = true;
    list.selectMask = 0b101;
    EXPECT_EQ(mixer::selectMaskAfter(mux, 1, true), 0b010u);
    EXPECT_EQ(mixer::selectMaskAfter(mux, 0, false), 0b001u) << "a mux keeps exactly one";
    EXPECT_EQ(mixer::selectMaskAfter(list, 1, true), 0b111u);
    EXPECT_EQ(mixer::selectMaskAfter(list, 2, false), 0b001u);
}

TEST_F(MixerPanel, TheAttenuatorAndTheMasterVolumeCommands)
{
    make();
    EXPECT_EQ(panel->MasterVolume(), 17);
    EXPECT_EQ(command(cmd::Att, 1), 0);
    click(panel->button(cmd::Att));
    EXPECT_EQ(panel->MasterVolume(), 3) << "17 / 5";
    EXPECT_TRUE(panel->isAttenuated());
    EXPECT_TRUE(panel->button(cmd::Att)->IsChecked());
    EXPECT_EQ(command(cmd::Att, 1), 1);
    ASSERT_FALSE(device->volumes.empty());
    EXPECT_EQ(device->volumes.back().line, "Speakers");
    EXPECT_EQ(device->volumes.back().left, 3);
    EXPECT_EQ(device->volumes.back().right, 3);
    command(cmd::Att, 0); // as the remote control's ATT
    EXPECT_EQ(panel->MasterVolume(), 17) << "restored on the second press";
    EXPECT_FALSE(panel->isAttenuated());
    EXPECT_FALSE(panel->button(cmd::Att)->IsChecked());

    // Volume Up while attenuated: 4, and 17 is forgotten.
    command(cmd::Att, 0);
    EXPECT_EQ(command(cmd::VolumeUp), 4);
    EXPECT_FALSE(panel->isAttenuated());
    EXPECT_FALSE(panel->button(cmd::Att)->IsChecked());
    command(cmd::Att, 0);
    EXPECT_EQ(panel->MasterVolume(), 0) << "4 / 5";
    command(cmd::Att, 0);
    EXPECT_EQ(panel->MasterVolume(), 4);

    EXPECT_EQ(command(cmd::VolumeDown), 3);
    EXPECT_EQ(command(cmd::Volume, 31), 31);
    EXPECT_EQ(command(cmd::VolumeUp), 32);
    EXPECT_EQ(command(cmd::VolumeUp), 32) << "at most 32";
    EXPECT_EQ(command(cmd::Volume, 40), 32);
    EXPECT_EQ(command(cmd::Volume, -5), 0) << "volume:-5";
    EXPECT_EQ(command(cmd::VolumeDown), 0) << "at least 0";
    EXPECT_EQ(panel->volumeSlider(0)->GetPos(), 0) << "the master's column follows";

    // Moving the master's slider cancels the attenuator too.
    command(cmd::Volume, 20);
    command(cmd::Att, 0);
    ASSERT_TRUE(panel->isAttenuated());
    const LPARAM slider = static_cast<LPARAM>(panel->volumeSlider(0)->handle());
    panel->sendMessage(WM_VSCROLL, slider::scrollParam(10, SB_THUMBTRACK), slider);
    EXPECT_FALSE(panel->isAttenuated());
    EXPECT_EQ(panel->MasterVolume(), 10);
}

TEST_F(MixerPanel, ColumnsPagesMonoLinesAndReset)
{
    make();
    // "Nothing to set" has neither control: never shown. Ten lines, nine shown.
    EXPECT_EQ(columnNames(), (std::vector<std::string>{"Speakers", "Mono radio", "No volume",
                                                       "Stream 0", "Stream 1", "Stream 2"}));
    EXPECT_FALSE(panel->button(cmd::MixerPrevious)->isEnabled());
    EXPECT_TRUE(panel->button(cmd::MixerNext)->isEnabled());
    EXPECT_TRUE(panel->button(cmd::ViewPlaybackMixer)->IsChecked());
    // A mono line: balance at 0, disabled; a line without volume: slider at 16, disabled.
    EXPECT_FALSE(panel->balanceSlider(1)->isEnabled());
    EXPECT_EQ(panel->balanceSlider(1)->GetPos(), 0);
    EXPECT_TRUE(panel->volumeSlider(1)->isEnabled());
    EXPECT_FALSE(panel->volumeSlider(2)->isEnabled());
    EXPECT_EQ(panel->volumeSlider(2)->GetPos(), 16);
    EXPECT_TRUE(panel->columnSwitch(2)->isEnabled()) << "it can still be muted";
    EXPECT_TRUE(panel->columnSwitch(2)->IsChecked()) << "checked: sound on";

    click(panel->button(cmd::MixerNext));
    EXPECT_EQ(panel->firstLine(), 6);
    EXPECT_EQ(columnNames(), (std::vector<std::string>{"Stream 3", "Stream 4", "Stream 5"}));
    EXPECT_FALSE(panel->volumeSlider(3)->isVisible()) << "empty columns hide their controls";
    EXPECT_FALSE(panel->columnSwitch(5)->isVisible());
    EXPECT_FALSE(panel->button(cmd::MixerNext)->isEnabled());
    panel->sendMessage(WM_COMMAND, cmd::MixerNext, 0);
    EXPECT_EQ(panel->firstLine(), 6) << "no page after the last";
    click(panel->button(cmd::MixerPrevious));
    EXPECT_EQ(panel->firstLine(), 0);

    // The balance slider of a stereo stream writes the designed channel values.
    const LPARAM balance = static_cast<LPARAM>(panel->balanceSlider(3)->handle());
    panel->sendMessage(WM_HSCROLL, slider::scrollParam(-4, SB_THUMBPOSITION), balance);
    EXPECT_EQ(device->volumes.back().line, "Stream 0");
    EXPECT_EQ(device->volumes.back().left, 10);
    EXPECT_EQ(device->volumes.back().right, 5);
    // The mono line's volume goes to both sides.
    const LPARAM monoVolume = static_cast<LPARAM>(panel->volumeSlider(1)->handle());
    panel->sendMessage(WM_VSCROLL, slider::scrollParam(25, SB_THUMBPOSITION), monoVolume);
    EXPECT_EQ(device->volumes.back().line, "Mono radio");
    EXPECT_EQ(device->volumes.back().left, 25);
    EXPECT_EQ(device->volumes.back().right, 25);

    // Reset: every line of the view with a volume gets 16 and balance 0.
    device->volumes.clear();
    click(panel->button(cmd::Reset));
    EXPECT_EQ(device->volumes.size(), 8u) << "the two lines without a volume are left alone";
    for (const auto& v : device->volumes) {
        EXPECT_EQ(v.left, 16) << v.line;
        EXPECT_EQ(v.right, 16) << v.line;
    }
    EXPECT_EQ(panel->balanceSlider(3)->GetPos(), 0);
}

TEST_F(MixerPanel, MuteAndTheRecordingSelectList)
{
    make();
    click(panel->columnSwitch(0));
    ASSERT_EQ(device->mutes.size(), 1u);
    EXPECT_EQ(device->mutes[0], (std::pair<std::string, bool>{"Speakers", true}));
    EXPECT_FALSE(panel->columnSwitch(0)->IsChecked());
    click(panel->columnSwitch(0));
    EXPECT_EQ(device->mutes[1], (std::pair<std::string, bool>{"Speakers", false}));

    click(panel->button(cmd::ViewPlaybackMixer + 1));
    EXPECT_EQ(panel->view(), 1);
    EXPECT_TRUE(panel->button(cmd::ViewPlaybackMixer + 1)->IsChecked());
    EXPECT_FALSE(panel->button(cmd::ViewPlaybackMixer)->IsChecked());
    EXPECT_EQ(columnNames(),
              (std::vector<std::string>{"Recording", "Input 0", "Input 1", "Input 2"}));
    const auto onSwitches = [&] {
        std::vector<int> on;
        for (int k = 1; k <= 3; ++k)
            if (panel->columnSwitch(k)->IsChecked())
                on.push_back(k);
        return on;
    };
    EXPECT_EQ(onSwitches(), std::vector<int>{2}) << "exactly the selected source";
    click(panel->columnSwitch(3));
    EXPECT_EQ(onSwitches(), std::vector<int>{3});
    EXPECT_EQ(device->selects.back(), 1u << 2);
    click(panel->columnSwitch(3)); // clicking the one selected keeps it selected
    EXPECT_EQ(onSwitches(), std::vector<int>{3});
    EXPECT_EQ(device->selects.back(), 1u << 2);
    EXPECT_EQ(panel->columnSwitch(1)->toolTip(), "Select");
    EXPECT_EQ(panel->columnSwitch(0)->toolTip(), "Mute");

    // View buttons switch back, first line again 0; the same view again changes nothing.
    click(panel->button(cmd::ViewPlaybackMixer));
    EXPECT_EQ(panel->view(), 0);
    click(panel->button(cmd::MixerNext));
    click(panel->button(cmd::ViewPlaybackMixer));
    EXPECT_EQ(panel->firstLine(), 6);
    EXPECT_TRUE(panel->button(cmd::ViewPlaybackMixer)->IsChecked());
}

TEST_F(MixerPanel, AClickMeansWhatTheUserSawEvenIfTheServerSpokeMeanwhile)
{
    make();
    ASSERT_TRUE(panel->columnSwitch(0)->IsChecked());
    // A notice of an earlier change is still queued when the user clicks to mute.
    device->changed();
    QTest::mouseClick(panel->columnSwitch(0), Qt::LeftButton);
    spin(20);
    ASSERT_FALSE(device->mutes.empty());
    EXPECT_EQ(device->mutes.back(), (std::pair<std::string, bool>{"Speakers", true}));
}

TEST_F(MixerPanel, LinesThatGoAwayWhileShownAndNoServer)
{
    make();
    click(panel->button(cmd::MixerNext));
    ASSERT_EQ(panel->firstLine(), 6);
    // The streams of the second page end.
    device->state.views[0].lines.resize(6);
    device->changed();
    spin(20);
    EXPECT_EQ(panel->firstLine(), 0) << "back on a page that has lines";
    EXPECT_EQ(columnNames().size(), 5u);

    // The server goes away: empty columns, the master functions answer 0.
    device->state = Snapshot{};
    device->state.state = Snapshot::State::NoServer;
    device->changed();
    spin(20);
    EXPECT_TRUE(columnNames().empty());
    for (int k = 0; k < mixer::kColumns; ++k)
        EXPECT_FALSE(panel->volumeSlider(k)->isVisible());
    EXPECT_EQ(command(cmd::VolumeUp), 0);
    EXPECT_EQ(command(cmd::Volume, 20), 0);
    EXPECT_EQ(command(cmd::Att, 0), 0);
    EXPECT_FALSE(panel->isAttenuated());
    EXPECT_FALSE(panel->button(cmd::Att)->IsChecked());
    EXPECT_TRUE(device->volumes.empty());

    // And comes back.
    device->state = typicalServer();
    device->changed();
    spin(20);
    EXPECT_EQ(panel->MasterVolume(), 17);
}

TEST_F(MixerPanel, TheVolumeOptionWaitsForTheDevicesFirstAnswer)
{
    Snapshot connecting;
    make(connecting);
    EXPECT_EQ(command(cmd::Volume, 20), 20);
    EXPECT_TRUE(device->volumes.empty());
    device->state = typicalServer();
    device->changed();
    spin(20);
    ASSERT_EQ(device->volumes.size(), 1u);
    EXPECT_EQ(device->volumes[0].line, "Speakers");
    EXPECT_EQ(device->volumes[0].left, 20);
    EXPECT_EQ(panel->MasterVolume(), 20);
    device->changed();
    spin(20);
    EXPECT_EQ(device->volumes.size(), 1u) << "carried out once";
}

TEST_F(MixerPanel, PowerAsksTheMainControllerToSwitchItOff)
{
    make();
    click(panel->button(cmd::Power));
    ASSERT_FALSE(host.controllerWindow().messages.empty());
    const auto& m = host.controllerWindow().messages.back();
    EXPECT_EQ(m.msg, UM_COMPONENT_OFF);
    EXPECT_EQ(m.wParam, static_cast<WPARAM>(ComponentMixer));
    EXPECT_EQ(m.lParam, 0);
}

TEST(MixerWithoutServer, ThePanelSaysSoAndTheMasterVolumeAnswersZero)
{
    setInterfaceLanguage("en");
    const QByteArray before = qgetenv("PULSE_SERVER");
    qputenv("PULSE_SERVER", "unix:/nonexistent/kolvo-no-server");
    {
        TestHost host;
        Mixer panel(host, nullptr);
        panel.show();
        ASSERT_TRUE(componenttest::waitFor(
            [&] { return panel.lines().state == mixer::Snapshot::State::NoServer; }, 3000));
        EXPECT_EQ(panel.sendMessage(UM_COMMAND, ComponentMixer, cmd::VolumeUp), 0);
        EXPECT_EQ(panel.sendMessage(UM_COMMAND, ComponentMixer, MAKELPARAM(cmd::Volume, 20)), 0);
        EXPECT_EQ(panel.sendMessage(UM_COMMAND, ComponentMixer, MAKELPARAM(cmd::Att, 1)), 0);
        for (int k = 0; k < mixer::kColumns; ++k)
            EXPECT_FALSE(panel.volumeSlider(k)->isVisible());
        panel.grab().save(QStringLiteral(KOLVO_BIN_DIR "/../test-screenshots/mixer-no-server.png"));
        // It keeps trying in the background, and goes away cleanly meanwhile.
        spin(700);
    }
    if (before.isNull())
        qunsetenv("PULSE_SERVER");
    else
        qputenv("PULSE_SERVER", before);
    setInterfaceLanguage("");
}
