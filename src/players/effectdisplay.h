#pragma once
// The Sound Effector's effect display (control 5202): a black box with a sunken 3-D frame that
// holds the spectrum display, under it the equalizer curve being heard, to its right the four
// reverb room spots and the F/X spot, and along the bottom the seven equalizer preset spots.
// The spots light for what is on; a click on a spot tells the panel:
//   UM_REVERB_SPOT (0x6CC, wParam = room), UM_FX_SPOT (0x6CE), UM_EQUALIZER_SPOT (0x6CD,
//   wParam = preset).

#include "engines/effects.h"
#include "platform/wnd.h"

#include <QRect>

class SpectrumDisplay;

class EffectDisplay : public Wnd
{
    Q_OBJECT
public:
    static constexpr int kId = 5202;
    static constexpr int kSpectrumId = 5207;
    static constexpr int kPresets = 7;
    // Where the box sits on the panel, and its parts in the box.
    static QRect panelRect() { return QRect(40, 6, 275, 76); }
    static QRect spectrumRect() { return QRect(1, 2, 242, 50); }
    static QRect reverbSpot(int mode) { return QRect(244, 4 + 12 * mode, 28, 8); }
    static QRect fxSpot() { return QRect(244, 52, 28, 8); }
    static QRect presetSpot(int preset) { return QRect(4 + 39 * preset, 64, 34, 8); }
    static QRect curveArea() { return QRect(1, 53, 242, 10); }

    // The spectrum display is created here, in slot 0, with the given mode word.
    EffectDisplay(Wnd* panel, int spectrumMode);

    SpectrumDisplay* spectrum() const { return m_spectrum; }

    struct State
    {
        engines::EffectSettings effects;
        int preset = 0; // the equalizer's Mode
        bool equalizerOn = true;
        engines::EqualizerCurve curve{}; // what the equalizer does now
        bool switchedOn = true;
    };
    void SetState(const State& state);
    const State& state() const { return m_state; }

    // The spot under a point of the box: 0-3 reverb rooms, 4 F/X, 10-16 presets; -1 none.
    static int spotAt(QPoint point);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;

private:
    SpectrumDisplay* m_spectrum;
    State m_state;
};
