// The Mixer's arithmetic, and its panel over a fake device and without a sound server.

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
    void changed()
    {
        Wnd::postTo(notify, MM_MIXM_CONTROL_CHANGE, 0, 0);
        spin(20);
    }
    // The last volume set, as "line left right".
    std::string lastVolume() const
    {
        if (volumes.empty())
            return "";
        const VolumeCall& v = volumes.back();
        return v.line + " " + std::to_string(v.left) + " " + std::to_string(v.right);
    }
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
    // Whether the attenuator is on, by the panel and by its button.
    std::pair<bool, bool> att() const
    {
        return {panel->isAttenuated(), panel->button(cmd::Att)->IsChecked()};
    }
    // A volume (or balance) slider of a column moved to `pos`.
    void scroll(bool volume, int column, int pos, int code = SB_THUMBPOSITION)
    {
        SkinSlider* s = volume ? panel->volumeSlider(column) : panel->balanceSlider(column);
        panel->sendMessage(volume ? WM_VSCROLL : WM_HSCROLL, slider::scrollParam(pos, code),
                           static_cast<LPARAM>(s->handle()));
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
    const std::pair<bool, bool> on{true, true}, off{false, false};
    EXPECT_EQ(panel->MasterVolume(), 17);
    EXPECT_EQ(command(cmd::Att, 1), 0);
    click(panel->button(cmd::Att));
    EXPECT_EQ(panel->MasterVolume(), 3) << "17 / 5";
    EXPECT_EQ(att(), on);
    EXPECT_EQ(command(cmd::Att, 1), 1);
    EXPECT_EQ(device->lastVolume(), "Speakers 3 3");
    command(cmd::Att, 0); // as the remote control's ATT
    EXPECT_EQ(panel->MasterVolume(), 17) << "restored on the second press";
    EXPECT_EQ(att(), off);
    // Volume Up while attenuated: 4, and 17 is forgotten.
    command(cmd::Att, 0);
    EXPECT_EQ(command(cmd::VolumeUp), 4);
    EXPECT_EQ(att(), off);
    command(cmd::Att, 0);
    EXPECT_EQ(panel->MasterVolume(), 0) << "4 / 5";
    command(cmd::Att, 0);
    EXPECT_EQ(panel->MasterVolume(), 4);
    // Down, set, up to at most 32, set beyond, negative, down to at least 0.
    std::vector<LRESULT> answers;
    for (const auto& [id, value] : {std::pair{cmd::VolumeDown, 0},
                                    {cmd::Volume, 31},
                                    {cmd::VolumeUp, 0},
                                    {cmd::VolumeUp, 0},
                                    {cmd::Volume, 40},
                                    {cmd::Volume, -5},
                                    {cmd::VolumeDown, 0}})
        answers.push_back(command(id, value));
    EXPECT_EQ(answers, (std::vector<LRESULT>{3, 31, 32, 32, 32, 0, 0}));
    EXPECT_EQ(panel->volumeSlider(0)->GetPos(), 0) << "the master's column follows";
    // Moving the master's slider cancels the attenuator too.
    command(cmd::Volume, 20);
    command(cmd::Att, 0);
    ASSERT_TRUE(panel->isAttenuated());
    scroll(true, 0, 10, SB_THUMBTRACK);
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
    // A mono line: balance at 0, disabled; a line without volume: slider at 16, disabled, but
    // it can still be muted (checked: sound on).
    EXPECT_FALSE(panel->balanceSlider(1)->isEnabled());
    EXPECT_EQ(panel->balanceSlider(1)->GetPos(), 0);
    EXPECT_TRUE(panel->volumeSlider(1)->isEnabled());
    EXPECT_FALSE(panel->volumeSlider(2)->isEnabled());
    EXPECT_EQ(panel->volumeSlider(2)->GetPos(), 16);
    EXPECT_TRUE(panel->columnSwitch(2)->isEnabled());
    EXPECT_TRUE(panel->columnSwitch(2)->IsChecked());

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

    // The balance slider of a stereo stream writes the designed channel values; the mono
    // line's volume goes to both sides.
    scroll(false, 3, -4);
    EXPECT_EQ(device->lastVolume(), "Stream 0 10 5");
    scroll(true, 1, 25);
    EXPECT_EQ(device->lastVolume(), "Mono radio 25 25");

    // Reset: every line of the view with a volume gets 16 and balance 0.
    device->volumes.clear();
    click(panel->button(cmd::Reset));
    EXPECT_EQ(device->volumes.size(), 8u) << "the two lines without a volume are left alone";
    for (const auto& v : device->volumes)
        EXPECT_EQ(std::pair(v.left, v.right), std::pair(16, 16)) << v.line;
    EXPECT_EQ(panel->balanceSlider(3)->GetPos(), 0);
}

TEST_F(MixerPanel, MuteAndTheRecordingSelectList)
{
    make();
    click(panel->columnSwitch(0));
    EXPECT_FALSE(panel->columnSwitch(0)->IsChecked());
    click(panel->columnSwitch(0));
    EXPECT_EQ(device->mutes,
              (std::vector<std::pair<std::string, bool>>{{"Speakers", true}, {"Speakers", false}}));

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
    for (int i = 0; i < 2; ++i) { // clicking the one selected keeps it selected
        click(panel->columnSwitch(3));
        EXPECT_EQ(onSwitches(), std::vector<int>{3});
        EXPECT_EQ(device->selects.back(), 1u << 2);
    }
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
    Wnd::postTo(device->notify, MM_MIXM_CONTROL_CHANGE, 0, 0);
    click(panel->columnSwitch(0));
    ASSERT_FALSE(device->mutes.empty());
    EXPECT_EQ(device->mutes.back(), (std::pair<std::string, bool>{"Speakers", true}));
}

TEST_F(MixerPanel, LinesThatGoAwayWhileShownAndNoServer)
{
    make();
    click(panel->button(cmd::MixerNext));
    ASSERT_EQ(panel->firstLine(), 6);
    device->state.views[0].lines.resize(6); // the streams of the second page end
    device->changed();
    EXPECT_EQ(panel->firstLine(), 0) << "back on a page that has lines";
    EXPECT_EQ(columnNames().size(), 5u);

    // The server goes away: empty columns, the master functions answer 0.
    device->state = Snapshot{};
    device->state.state = Snapshot::State::NoServer;
    device->changed();
    EXPECT_TRUE(columnNames().empty());
    for (int k = 0; k < mixer::kColumns; ++k)
        EXPECT_FALSE(panel->volumeSlider(k)->isVisible());
    EXPECT_EQ(command(cmd::VolumeUp) + command(cmd::Volume, 20) + command(cmd::Att, 0), 0);
    EXPECT_EQ(att(), (std::pair{false, false}));
    EXPECT_TRUE(device->volumes.empty());
    // And comes back.
    device->state = typicalServer();
    device->changed();
    EXPECT_EQ(panel->MasterVolume(), 17);
}

TEST_F(MixerPanel, TheVolumeOptionWaitsForTheDevicesFirstAnswer)
{
    make(Snapshot{}); // still connecting
    EXPECT_EQ(command(cmd::Volume, 20), 20);
    EXPECT_TRUE(device->volumes.empty());
    device->state = typicalServer();
    device->changed();
    EXPECT_EQ(device->lastVolume(), "Speakers 20 20");
    EXPECT_EQ(panel->MasterVolume(), 20);
    device->changed();
    EXPECT_EQ(device->volumes.size(), 1u) << "carried out once";
}

TEST_F(MixerPanel, PowerAsksTheMainControllerToSwitchItOff)
{
    make();
    click(panel->button(cmd::Power));
    ASSERT_FALSE(host.controllerWindow().messages.empty());
    const auto& m = host.controllerWindow().messages.back();
    EXPECT_EQ(std::tuple(m.msg, m.wParam, m.lParam),
              std::tuple(UINT(UM_COMPONENT_OFF), WPARAM(ComponentMixer), LPARAM(0)));
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
