// The Sound Effector panel through its buttons, spots, sliders and routed commands: what the
// engines are told (the program-wide effect and equalizer values), what is kept in the
// settings, the sleep timer on the forwarded tick, switching off, and the stored values
// handed over when the panel is created.

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

#include <QMenu>
#include <QTest>

using componenttest::spin;
using componenttest::TestHost;
using componenttest::waitFor;

namespace {

// The effector with its menus answered by the test: the entry whose data is `choice`.
class ScriptedEffector : public SoundEffector
{
public:
    using SoundEffector::SoundEffector;
    int choice = -1;
    QStringList lastMenu;

protected:
    QAction* popUpMenu(QMenu& menu, const QPoint&) override
    {
        lastMenu.clear();
        QAction* chosen = nullptr;
        for (QAction* a : menu.actions()) {
            if (a->isSeparator())
                continue;
            lastMenu << a->text();
            if (a->data().toInt() == choice)
                chosen = a;
        }
        return chosen;
    }
};

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
    void tick() { effector->sendMessage(WM_TIMER, kTickTimerId, 0); }
    AppSettings& s() { return host.settings(); }

    TestHost host;
    std::unique_ptr<ScriptedEffector> effector;
};

} // namespace

TEST_F(EffectorTest, StoredEffectsAndEqualizerAreHeardFromTheStart)
{
    s().reverb = 1;
    s().reverbMode = 2;
    s().reverbDepth = 20;
    s().wide = 1;
    s().wideDepth = 8;
    s().fx = 1;
    s().fxMode = 7;
    s().equalizerMode = 1;
    make();
    const engines::EffectSettings fx = engines::currentEffects();
    EXPECT_EQ(fx.reverb, 1);
    EXPECT_EQ(fx.reverbMode, 2);
    EXPECT_EQ(fx.reverbDepth, 20);
    EXPECT_EQ(fx.wide, 1);
    EXPECT_EQ(fx.wideDepth, 8);
    EXPECT_EQ(fx.fx, 1);
    EXPECT_EQ(fx.fxMode, 7);
    EXPECT_EQ(engines::currentEqualizer(), engines::kEqualizerPresets[1]) << "the Pop preset";
    EXPECT_EQ(host.saves, 0) << "handing the stored values over changes nothing to save";
    EXPECT_TRUE(effector->button(cmd::ReverbOnOff)->IsChecked());
    EXPECT_FALSE(effector->button(cmd::ChorusOnOff)->IsChecked());
    EXPECT_TRUE(effector->depthSlider(0)->isEnabled());
    EXPECT_FALSE(effector->depthSlider(1)->isEnabled()) << "3D is off";
    EXPECT_EQ(effector->depthSlider(0)->GetPos(), 10);
    EXPECT_EQ(effector->depthSlider(2)->GetPos(), 4);
}

TEST_F(EffectorTest, ReverbSpotsTogglesSlidersAndFxModes)
{
    make();
    // The hall spot with reverb off: on in hall; again: off; the room spot: on in room.
    effector->sendMessage(UM_REVERB_SPOT, 0, 0);
    EXPECT_EQ(s().reverb, 1);
    EXPECT_EQ(s().reverbMode, 0);
    EXPECT_EQ(engines::currentEffects().reverb, 1);
    EXPECT_TRUE(effector->button(cmd::ReverbOnOff)->IsChecked());
    effector->sendMessage(UM_REVERB_SPOT, 0, 0);
    EXPECT_EQ(s().reverb, 0) << "hall clicked while hall is on switches reverb off";
    EXPECT_EQ(engines::currentEffects().reverb, 0);
    effector->sendMessage(UM_REVERB_SPOT, 1, 0);
    EXPECT_EQ(s().reverb, 1);
    EXPECT_EQ(s().reverbMode, 1);
    effector->sendMessage(UM_REVERB_SPOT, 3, 0);
    EXPECT_EQ(s().reverbMode, 3) << "another room while on moves to that room";
    EXPECT_EQ(engines::currentEffects().reverbMode, 3);

    // A real click on a spot of the effect display.
    EffectDisplay* box = effector->effectDisplay();
    QTest::mouseClick(box, Qt::LeftButton, {}, EffectDisplay::reverbSpot(2).center());
    spin(20);
    EXPECT_EQ(s().reverbMode, 2);
    QTest::mouseClick(box, Qt::LeftButton, {}, EffectDisplay::fxSpot().center());
    spin(20);
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
    const LPARAM slider = static_cast<LPARAM>(effector->depthSlider(1)->handle());
    effector->sendMessage(WM_VSCROLL, slider::scrollParam(5, SB_THUMBTRACK), slider);
    EXPECT_EQ(s().chorusDepth, 16) << "code 5 is ignored";
    effector->sendMessage(WM_VSCROLL, slider::scrollParam(5, SB_THUMBPOSITION), slider);
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
    for (int i = 0; i < 20; ++i)
        s().equalizer[i] = i % 5 - 2;
    effector->sendMessage(UM_EQUALIZER_SPOT, 6, 0);
    EXPECT_EQ(engines::currentEqualizer()[4], 2);
    EXPECT_EQ(engines::currentEqualizer()[0], -2);
    s().equalizerMode = 9;
    effector->ApplyEqualizer();
    EXPECT_EQ(engines::currentEqualizer()[3], 1);

    // Disabled: twenty zeros whatever Mode holds; a spot click enables it again.
    s().equalizerEnable = 0;
    for (int mode : {0, 3, 6, 9}) {
        s().equalizerMode = mode;
        effector->ApplyEqualizer();
        EXPECT_EQ(engines::currentEqualizer(), engines::EqualizerCurve{}) << mode;
    }
    QTest::mouseClick(effector->effectDisplay(), Qt::LeftButton, {},
                      EffectDisplay::presetSpot(4).center());
    spin(20);
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
    EXPECT_FALSE(display->isLit());

    click(cmd::TimerOnOff);
    EXPECT_TRUE(effector->sleepTimer().enabled());
    EXPECT_TRUE(display->isLit());
    EXPECT_EQ(display->value(), 4500) << "enabling shows the stored duration";
    EXPECT_FALSE(effector->sleepTimer().running());
    EXPECT_TRUE(effector->button(cmd::TimerOnOff)->IsChecked());
    EXPECT_FALSE(effector->button(cmd::TimerStartPause)->IsChecked());

    // The menu of the display (a click on it) sets the value; the arrows step minutes.
    effector->choice = 33322;
    QTest::mouseClick(display, Qt::LeftButton);
    spin(20);
    ASSERT_EQ(effector->lastMenu.size(), 18);
    EXPECT_EQ(effector->lastMenu.front(), "24 Hours");
    EXPECT_EQ(effector->lastMenu.back(), "10 Minutes");
    EXPECT_EQ(display->value(), 13000);
    command(cmd::TimeDecrement);
    EXPECT_EQ(display->value(), 12900);
    command(cmd::TimeIncrement);
    command(cmd::TimeIncrement);
    EXPECT_EQ(display->value(), 13100);
    for (int i = 0; i < 200; ++i)
        command(cmd::TimeDecrement);
    EXPECT_EQ(display->value(), 0);

    // Started with nothing on it: a one-minute countdown, stored as the duration.
    click(cmd::TimerStartPause);
    EXPECT_TRUE(effector->sleepTimer().running());
    EXPECT_EQ(s().timer, 100);
    EXPECT_EQ(display->value(), 100);
    EXPECT_TRUE(effector->button(cmd::TimerStartPause)->IsChecked());
    tick();
    tick();
    EXPECT_EQ(display->value(), 59);
    command(cmd::TimerPause);
    EXPECT_FALSE(effector->sleepTimer().running());
    EXPECT_FALSE(effector->button(cmd::TimerStartPause)->IsChecked());
    for (int i = 0; i < 10; ++i)
        tick();
    EXPECT_EQ(display->value(), 59) << "paused";
    // Going on is a start too: 0:00:59 is raised to a minute.
    command(cmd::TimerStartPause);
    EXPECT_EQ(display->value(), 100);
    for (int i = 0; i < 300; ++i)
        tick();
    spin(30);
    EXPECT_EQ(display->value(), 0);
    EXPECT_EQ(host.controllerWindow().commands(cmd::ExitAndSuspend), 1)
        << "the action is posted to the main controller exactly once";
    EXPECT_EQ(host.controllerWindow().commands(cmd::Exit), 0);
    EXPECT_EQ(s().timer, 100) << "what was started last is stored, not the remainder";

    // Switching the timer off darkens it and stops it.
    click(cmd::TimerOnOff);
    EXPECT_FALSE(effector->sleepTimer().enabled());
    EXPECT_FALSE(display->isLit());
    EXPECT_FALSE(effector->button(cmd::TimerStartPause)->IsChecked());
    click(cmd::TimerStartPause);
    EXPECT_FALSE(effector->sleepTimer().running()) << "a dark timer does not start";
    EXPECT_FALSE(effector->button(cmd::TimerStartPause)->IsChecked());
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

    // Routed commands reach the panel as its own commands...
    effector->sendMessage(UM_COMMAND, 0, cmd::FxModeLower);
    EXPECT_EQ(s().fxMode, 1);
    // ...but not while it is switched off, except Power; the start-up option still works.
    s().components[ComponentEffector].enable = 0;
    EXPECT_EQ(effector->sendMessage(UM_COMMAND, 0, cmd::FxModeLower), 0);
    EXPECT_EQ(s().fxMode, 1);
    EXPECT_EQ(effector->sendMessage(UM_COMMAND, 1, cmd::Timer), 1);
    EXPECT_EQ(effector->timerDisplay()->value(), 100);
    for (int i = 0; i < 130; ++i)
        tick();
    spin(30);
    EXPECT_EQ(host.controllerWindow().commands(cmd::Exit), 1);
}

TEST_F(EffectorTest, PowerSwitchesThePanelOffAndKeepsTheSettings)
{
    s().reverb = 1;
    s().fx = 1;
    make();
    SpectrumDisplay* spectrum = effector->spectrum();
    EXPECT_TRUE(spectrum->isEnabled());
    EXPECT_TRUE(spectrum->isRegistered()) << "shown and switched on";
    click(cmd::Power);
    spin(20);
    ASSERT_FALSE(host.controllerWindow().messages.empty());
    const auto& last = host.controllerWindow().messages.back();
    EXPECT_EQ(last.msg, UM_COMPONENT_OFF);
    EXPECT_EQ(last.wParam, 0u);
    EXPECT_EQ(last.lParam, 0);
    EXPECT_FALSE(effector->isSwitchedOn());
    for (int id : {cmd::ReverbOnOff, cmd::ChorusOnOff, cmd::WideOnOff, cmd::FxOnOff}) {
        EXPECT_FALSE(effector->button(id)->isEnabled()) << id;
        EXPECT_FALSE(effector->button(id)->IsChecked()) << id;
    }
    EXPECT_FALSE(effector->depthSlider(0)->isEnabled());
    EXPECT_FALSE(spectrum->isEnabled());
    EXPECT_FALSE(spectrum->isRegistered());
    EXPECT_EQ(spectrum->levels(), (std::array<int, 20>{})) << "an all-zero picture";
    EXPECT_EQ(s().reverb, 1);
    EXPECT_EQ(s().fx, 1);

    // The main controller hides it and, switched on again, shows it.
    s().components[ComponentEffector].enable = 0;
    effector->hide();
    s().components[ComponentEffector].enable = 1;
    effector->show();
    spin(20);
    EXPECT_TRUE(effector->isSwitchedOn());
    EXPECT_TRUE(effector->button(cmd::ReverbOnOff)->IsChecked());
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
    EXPECT_EQ(effector->lastMenu.size(), 5);
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
