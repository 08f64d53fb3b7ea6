// The Sound Effector panel through its buttons, spots, sliders and routed commands: what the
// engines are told (the program-wide effect and equalizer values) and what the settings keep.

#include "componenthost.h"
#include "engines/effects.h"
#include "engines/samplingservice.h"
#include "platform/strings.h"
#include "players/effectdisplay.h"
#include "players/soundeffector.h"
#include "players/spectrumdisplay.h"
#include "ui/digitdisplay.h"
#include "ui/skinslider.h"

#include <gtest/gtest.h>

#include <QTest>

using componenttest::spin;
using componenttest::TestHost;
using componenttest::waitFor;

namespace {

using ScriptedEffector = componenttest::ScriptedMenus<SoundEffector>;

class EffectorTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        setInterfaceLanguage("en");
        engines::setCurrentEffects({});
        engines::setCurrentEqualizer({});
    }
    void TearDown() override
    {
        effector.reset();
        engines::setCurrentEffects({});
        engines::setCurrentEqualizer({});
        setInterfaceLanguage("");
    }
    ScriptedEffector& make()
    {
        effector = std::make_unique<ScriptedEffector>(host, nullptr);
        effector->show();
        spin(20);
        return *effector;
    }
    void click(int command)
    {
        SkinButton* b = effector->button(command);
        ASSERT_NE(b, nullptr) << command;
        QTest::mouseClick(b, Qt::LeftButton);
        spin(20);
    }
    void command(int id) { effector->sendMessage(WM_COMMAND, static_cast<WPARAM>(id), 0); }
    void tick(int times = 1)
    {
        for (int i = 0; i < times; ++i)
            effector->sendMessage(WM_TIMER, kTickTimerId, 0);
    }
    void clickOn(QWidget* w, QPoint at)
    {
        QTest::mouseClick(w, Qt::LeftButton, {}, at);
        spin(20);
    }
    bool checked(int button) const { return effector->button(button)->IsChecked(); }
    void depth(int slider, int pos, int code = SB_THUMBPOSITION)
    {
        const LPARAM h = static_cast<LPARAM>(effector->depthSlider(slider)->handle());
        effector->sendMessage(WM_VSCROLL, slider::scrollParam(pos, code), h);
    }
    AppSettings& s() { return host.settings(); }

    TestHost host;
    std::unique_ptr<ScriptedEffector> effector;
};

} // namespace

TEST_F(EffectorTest, StoredEffectsAndEqualizerAreHeardFromTheStart)
{
    s().reverb = s().wide = s().fx = 1;
    s().reverbMode = 2;
    s().reverbDepth = 20;
    s().wideDepth = 8;
    s().fxMode = 7;
    s().equalizerMode = 1;
    make();
    EXPECT_EQ(engines::currentEffects(), (engines::EffectSettings{1, 2, 20, 0, 16, 1, 8, 1, 7}));
    EXPECT_EQ(engines::currentEqualizer(), engines::kEqualizerPresets[1]) << "the Pop preset";
    EXPECT_EQ(host.saves, 0) << "handing the stored values over changes nothing to save";
    EXPECT_TRUE(checked(cmd::ReverbOnOff));
    EXPECT_FALSE(checked(cmd::ChorusOnOff));
    EXPECT_TRUE(effector->depthSlider(0)->isEnabled());
    EXPECT_FALSE(effector->depthSlider(1)->isEnabled()) << "3D is off";
    EXPECT_EQ(effector->depthSlider(0)->GetPos(), 10);
    EXPECT_EQ(effector->depthSlider(2)->GetPos(), 4);
}

TEST_F(EffectorTest, ReverbSpotsTogglesSlidersAndFxModes)
{
    make();
    // The hall spot with reverb off: on in hall; again: off; the room spot: on in room; another
    // room while on moves to that room.
    const auto spot = [&](int room) {
        effector->sendMessage(UM_REVERB_SPOT, static_cast<WPARAM>(room), 0);
        return std::pair(s().reverb, s().reverbMode);
    };
    EXPECT_EQ(spot(0), std::pair(1, 0));
    EXPECT_EQ(engines::currentEffects().reverb, 1);
    EXPECT_TRUE(checked(cmd::ReverbOnOff));
    EXPECT_EQ(spot(0).first, 0) << "hall clicked while hall is on switches reverb off";
    EXPECT_EQ(engines::currentEffects().reverb, 0);
    EXPECT_EQ(spot(1), std::pair(1, 1));
    EXPECT_EQ(spot(3), std::pair(1, 3));
    EXPECT_EQ(engines::currentEffects().reverbMode, 3);

    // A real click on a spot of the effect display.
    clickOn(effector->effectDisplay(), EffectDisplay::reverbSpot(2).center());
    EXPECT_EQ(s().reverbMode, 2);
    clickOn(effector->effectDisplay(), EffectDisplay::fxSpot().center());
    EXPECT_EQ(s().fx, 1);
    EXPECT_EQ(engines::currentEffects().fx, 1);
    effector->sendMessage(UM_FX_SPOT, 0, 0);
    EXPECT_EQ(s().fx, 0);

    // The 3D toggle clicked: on, and its slider wakes up; the slider sets depth = position x 2
    // when released (code 4), not while it moves (code 5).
    EXPECT_FALSE(effector->depthSlider(1)->isEnabled());
    click(cmd::ChorusOnOff);
    EXPECT_EQ(s().chorus, 1);
    EXPECT_EQ(engines::currentEffects().chorus, 1);
    EXPECT_TRUE(effector->depthSlider(1)->isEnabled());
    depth(1, 5, SB_THUMBTRACK);
    EXPECT_EQ(s().chorusDepth, 16) << "code 5 is ignored";
    depth(1, 5);
    EXPECT_EQ(s().chorusDepth, 10);
    EXPECT_EQ(engines::currentEffects().chorusDepth, 10);
    click(cmd::ChorusOnOff);
    EXPECT_EQ(s().chorus, 0);
    EXPECT_FALSE(effector->depthSlider(1)->isEnabled());
    EXPECT_EQ(s().chorusDepth, 10) << "switching off keeps the depth";

    // F/X modes wrap both ways: the upper button at 0 goes to 10 ("DRY"), the lower at 10 to 0.
    ASSERT_EQ(s().fxMode, 0);
    click(cmd::FxModeUpper);
    EXPECT_EQ(s().fxMode, 10);
    EXPECT_EQ(engines::currentEffects().fxMode, 10);
    EXPECT_EQ(LoadString(1300 + static_cast<UINT>(s().fxMode)), "DRY");
    command(cmd::FxModeLower);
    EXPECT_EQ(s().fxMode, 0);
    command(cmd::FxModeLower);
    EXPECT_EQ(s().fxMode, 1);
}

TEST_F(EffectorTest, EqualizerPresetsAndTheDisabledEqualizer)
{
    make();
    for (int preset = 0; preset < 6; ++preset) {
        const int savesBefore = host.saves;
        effector->sendMessage(UM_EQUALIZER_SPOT, static_cast<WPARAM>(preset), 0);
        EXPECT_EQ(s().equalizerMode, preset);
        EXPECT_EQ(engines::currentEqualizer(), engines::kEqualizerPresets[preset]) << preset;
        EXPECT_EQ(effector->effectDisplay()->state().curve, engines::kEqualizerPresets[preset]);
        EXPECT_EQ(host.saves, savesBefore + 1) << "an equalizer change is saved at once";
    }
    // The user curve for mode 6, and for a mode no preset has.
    engines::EqualizerCurve user{};
    for (int i = 0; i < 20; ++i)
        user[i] = s().equalizer[i] = i % 5 - 2;
    effector->sendMessage(UM_EQUALIZER_SPOT, 6, 0);
    EXPECT_EQ(engines::currentEqualizer(), user);
    s().equalizerMode = 9;
    effector->ApplyEqualizer();
    EXPECT_EQ(engines::currentEqualizer(), user);

    // Disabled: twenty zeros whatever Mode holds; a spot click enables it again.
    s().equalizerEnable = 0;
    for (int mode : {0, 3, 6, 9}) {
        s().equalizerMode = mode;
        effector->ApplyEqualizer();
        EXPECT_EQ(engines::currentEqualizer(), engines::EqualizerCurve{}) << mode;
    }
    clickOn(effector->effectDisplay(), EffectDisplay::presetSpot(4).center());
    EXPECT_EQ(s().equalizerEnable, 1);
    EXPECT_EQ(s().equalizerMode, 4);
    EXPECT_EQ(engines::currentEqualizer(), engines::kEqualizerPresets[4]);
    EXPECT_EQ(effector->sendMessage(UM_EQUALIZER_SPOT, 7, 0), 0);
    EXPECT_EQ(s().equalizerMode, 4) << "no eighth preset";
}

TEST_F(EffectorTest, AStoredDisabledEqualizerIsHeardFlat)
{
    engines::setCurrentEqualizer(engines::kEqualizerPresets[0]);
    s().equalizerEnable = 0;
    s().equalizerMode = 2;
    make();
    EXPECT_EQ(engines::currentEqualizer(), engines::EqualizerCurve{});
}

TEST_F(EffectorTest, TheSleepTimerOnItsButtonsMenuAndTick)
{
    s().timer = 4500;
    s().timerAction = 2;
    make();
    DigitDisplay* display = effector->timerDisplay();
    const SleepTimer& timer = effector->sleepTimer();
    EXPECT_FALSE(display->isLit());
    click(cmd::TimerOnOff);
    EXPECT_TRUE(timer.enabled());
    EXPECT_TRUE(display->isLit());
    EXPECT_EQ(display->value(), 4500) << "enabling shows the stored duration";
    EXPECT_FALSE(timer.running());
    EXPECT_TRUE(checked(cmd::TimerOnOff));
    EXPECT_FALSE(checked(cmd::TimerStartPause));

    // The menu of the display (a click on it) sets the value; the arrows step minutes.
    effector->choice = 33322;
    clickOn(display, display->rect().center());
    ASSERT_EQ(effector->entries.size(), 18);
    EXPECT_EQ(effector->entries.front(), "24 Hours");
    EXPECT_EQ(effector->entries.back(), "10 Minutes");
    std::vector<int> values{display->value()};
    for (int id : {cmd::TimeDecrement, cmd::TimeIncrement, cmd::TimeIncrement}) {
        command(id);
        values.push_back(display->value());
    }
    EXPECT_EQ(values, (std::vector<int>{13000, 12900, 13000, 13100}));
    for (int i = 0; i < 200; ++i)
        command(cmd::TimeDecrement);
    EXPECT_EQ(display->value(), 0);

    // Started with nothing on it: a one-minute countdown, stored as the duration.
    click(cmd::TimerStartPause);
    EXPECT_TRUE(timer.running());
    EXPECT_EQ(s().timer, 100);
    EXPECT_EQ(display->value(), 100);
    EXPECT_TRUE(checked(cmd::TimerStartPause));
    tick(2);
    EXPECT_EQ(display->value(), 59);
    command(cmd::TimerPause);
    EXPECT_FALSE(timer.running());
    EXPECT_FALSE(checked(cmd::TimerStartPause));
    tick(10);
    EXPECT_EQ(display->value(), 59) << "paused";
    // Going on is a start too: 0:00:59 is raised to a minute.
    command(cmd::TimerStartPause);
    EXPECT_EQ(display->value(), 100);
    tick(300);
    spin(30);
    EXPECT_EQ(display->value(), 0);
    EXPECT_EQ(host.controllerWindow().commands(cmd::ExitAndSuspend), 1)
        << "the action is posted to the main controller exactly once";
    EXPECT_EQ(host.controllerWindow().commands(cmd::Exit), 0);
    EXPECT_EQ(s().timer, 100) << "what was started last is stored, not the remainder";

    // Switching the timer off darkens it and stops it; a dark timer does not start.
    click(cmd::TimerOnOff);
    EXPECT_FALSE(timer.enabled());
    EXPECT_FALSE(display->isLit());
    EXPECT_FALSE(checked(cmd::TimerStartPause));
    click(cmd::TimerStartPause);
    EXPECT_FALSE(timer.running());
    EXPECT_FALSE(checked(cmd::TimerStartPause));
}

TEST_F(EffectorTest, TheStartUpTimerOptionAndTheRoutedCommands)
{
    s().timerAction = 0;
    make();
    // "timer:90" arrives as command 5181 with the minutes in wParam.
    EXPECT_EQ(effector->sendMessage(UM_COMMAND, 90, cmd::Timer), 1);
    EXPECT_TRUE(effector->sleepTimer().enabled());
    EXPECT_TRUE(effector->sleepTimer().running());
    EXPECT_EQ(effector->timerDisplay()->value(), 13000);
    EXPECT_EQ(s().timer, 13000);
    // Routed commands reach the panel as its own commands, but not while it is switched off,
    // except Power; the start-up option still works.
    effector->sendMessage(UM_COMMAND, 0, cmd::FxModeLower);
    EXPECT_EQ(s().fxMode, 1);
    s().components[ComponentEffector].enable = 0;
    EXPECT_EQ(effector->sendMessage(UM_COMMAND, 0, cmd::FxModeLower), 0);
    EXPECT_EQ(s().fxMode, 1);
    EXPECT_EQ(effector->sendMessage(UM_COMMAND, 1, cmd::Timer), 1);
    EXPECT_EQ(effector->timerDisplay()->value(), 100);
    tick(130);
    spin(30);
    EXPECT_EQ(host.controllerWindow().commands(cmd::Exit), 1);
}

TEST_F(EffectorTest, PowerSwitchesThePanelOffAndKeepsTheSettings)
{
    s().reverb = s().fx = 1;
    make();
    SpectrumDisplay* spectrum = effector->spectrum();
    EXPECT_TRUE(spectrum->isEnabled());
    EXPECT_TRUE(spectrum->isRegistered()) << "shown and switched on";
    click(cmd::Power);
    ASSERT_FALSE(host.controllerWindow().messages.empty());
    const auto& last = host.controllerWindow().messages.back();
    EXPECT_EQ(std::tuple(last.msg, last.wParam, last.lParam),
              std::tuple(UINT(UM_COMPONENT_OFF), WPARAM(0), LPARAM(0)));
    EXPECT_FALSE(effector->isSwitchedOn());
    for (int id : {cmd::ReverbOnOff, cmd::ChorusOnOff, cmd::WideOnOff, cmd::FxOnOff}) {
        EXPECT_FALSE(effector->button(id)->isEnabled()) << id;
        EXPECT_FALSE(checked(id)) << id;
    }
    EXPECT_FALSE(effector->depthSlider(0)->isEnabled());
    EXPECT_FALSE(spectrum->isEnabled());
    EXPECT_FALSE(spectrum->isRegistered());
    EXPECT_EQ(spectrum->levels(), (std::array<int, 20>{})) << "an all-zero picture";
    EXPECT_EQ(std::pair(s().reverb, s().fx), std::pair(1, 1));
    // The main controller hides it and, switched on again, shows it.
    s().components[ComponentEffector].enable = 0;
    effector->hide();
    s().components[ComponentEffector].enable = 1;
    effector->show();
    spin(20);
    EXPECT_TRUE(effector->isSwitchedOn());
    EXPECT_TRUE(checked(cmd::ReverbOnOff));
    EXPECT_TRUE(spectrum->isRegistered());
}

TEST_F(EffectorTest, TheSpectrumRegistersOnlyWhileShownAndKeepsItsMode)
{
    s().viewSpectrumMode = 2 | SpectrumDisplay::kLinearFlag;
    make();
    SpectrumDisplay* spectrum = effector->spectrum();
    EXPECT_EQ(spectrum->modeWord(), 2 | SpectrumDisplay::kLinearFlag);
    EXPECT_TRUE(spectrum->isRegistered());
    EXPECT_FALSE(engines::SpectrumService::instance().isHeld());
    effector->hide();
    EXPECT_FALSE(spectrum->isRegistered());
    EXPECT_TRUE(engines::SpectrumService::instance().isHeld())
        << "nothing shown: the sampling worker is held";
    effector->show();
    spin(10);

    // A click steps the drawing mode; the menu picks one or flips the linear flag.
    QTest::mouseClick(spectrum, Qt::LeftButton);
    EXPECT_EQ(s().viewSpectrumMode, 3 | SpectrumDisplay::kLinearFlag);
    QTest::mouseClick(spectrum, Qt::LeftButton);
    EXPECT_EQ(s().viewSpectrumMode, 0 | SpectrumDisplay::kLinearFlag);
    effector->choice = 1;
    command(cmd::SpectrumModeSelect);
    EXPECT_EQ(effector->entries.size(), 5);
    EXPECT_EQ(s().viewSpectrumMode, 1 | SpectrumDisplay::kLinearFlag);
    effector->choice = SpectrumDisplay::kLinearFlag;
    command(cmd::SpectrumModeSelect);
    EXPECT_EQ(s().viewSpectrumMode, 1);
    EXPECT_EQ(spectrum->modeWord(), 1);
    effector->choice = -1;
    command(cmd::SpectrumModeSelect);
    EXPECT_EQ(s().viewSpectrumMode, 1) << "a menu closed without a choice changes nothing";

    // A drawing chosen in the preferences is taken when the settings change.
    s().viewSpectrumMode = 2 | SpectrumDisplay::kLinearFlag;
    effector->sendMessage(UM_SETTINGS_CHANGED, 0, 0);
    EXPECT_EQ(spectrum->modeWord(), 2 | SpectrumDisplay::kLinearFlag);
}
