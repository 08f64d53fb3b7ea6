#pragma once
// The Sound Effector, the first component of the strip (500 x 88). It keeps the sound-effect
// settings every playback follows (reverb in four rooms, 3D, wide stereo, eleven F/X modes
// and the 20-band equalizer with its presets) and the sleep timer. It plays nothing itself:
// the effect values it hands to the engines are program-wide, so every chain, playing or not
// yet opened, follows them at once. When it is created it hands over the stored effects and
// the stored equalizer, so what was set before the last exit is heard again.
//
// The sleep timer counts down on the main controller's forwarded tick and, at 0, posts the
// exit, exit-and-power-off or exit-and-suspend command to the main controller once.

#include "engines/effects.h"
#include "players/component.h"
#include "players/sleeptimer.h"

#include <QPoint>

class DigitDisplay;
class EffectDisplay;
class QAction;
class QMenu;
class SkinSlider;
class SpectrumDisplay;

class SoundEffector : public ComponentWnd
{
    Q_OBJECT
public:
    static constexpr int kHeight = 88;

    SoundEffector(PlayerHost& host, QWidget* parent);
    ~SoundEffector() override;

    // The designed operations, as the commands use them.
    void ApplyEffects();
    // Builds the 20 values (the preset of Mode, the user curve for any other mode, or zeros
    // when the equalizer is off), gives them to the engines, shows them, and saves the
    // settings unless told not to (at creation nothing has changed).
    void ApplyEqualizer(bool save = true);
    // The 20 values ApplyEqualizer would hand over now.
    static engines::EqualizerCurve EqualizerValues(const AppSettings& settings);
    void Refresh();

    const SleepTimer& sleepTimer() const { return m_timer; }
    bool isSwitchedOn() const { return m_on; }
    EffectDisplay* effectDisplay() const { return m_display; }
    SpectrumDisplay* spectrum() const;
    DigitDisplay* timerDisplay() const { return m_timerDisplay; }
    SkinSlider* depthSlider(int which) const { return m_sliders[which]; }
    // The F/X text box's rectangle on the panel.
    static QRect fxBoxRect() { return QRect(428, 53, 57, 16); }

    // The timer menu (470): its entries carry their commands as data.
    static void fillTimerMenu(QMenu& menu);

protected:
    // Shows a pop-up menu and returns what the user chose (null: nothing). Tests replace it.
    virtual QAction* popUpMenu(QMenu& menu, const QPoint& globalPos);

    LRESULT onMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void onCommand(int id);
    LRESULT onComponentCommand(WPARAM wParam, LPARAM lParam);
    void onDepthSlider(LPARAM sliderHandle, int code, int position);
    void switchOn();
    void switchOff();
    void toggleTimer();
    void startOrStopTimer();
    void showTimer();
    void showTimerMenu();
    void showSpectrumMenu();
    void updateDisplayState();
    ComponentRecord& record() const;

    EffectDisplay* m_display = nullptr;
    DigitDisplay* m_timerDisplay = nullptr;
    std::array<SkinSlider*, 3> m_sliders{};
    SleepTimer m_timer;
    bool m_on = false;
};
