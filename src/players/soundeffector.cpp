#include "players/soundeffector.h"

#include "engines/kamengine.h"
#include "engines/kmpengine.h"
#include "platform/log.h"
#include "platform/strings.h"
#include "players/effectdisplay.h"
#include "players/spectrumdisplay.h"
#include "ui/buttons.h"
#include "ui/digitdisplay.h"
#include "ui/skin.h"
#include "ui/skinslider.h"

#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QPainter>

#include <algorithm>

namespace {

constexpr int kFxModes = 11;
constexpr UINT kFxModeNames = 1300; // + mode
// The timer menu's texts: 39410 + (command - 33314).
constexpr UINT kTimerMenuTexts = 39410;

const std::array<int, 3> kToggleOfSlider{cmd::ReverbOnOff, cmd::ChorusOnOff, cmd::WideOnOff};

} // namespace

SoundEffector::SoundEffector(PlayerHost& host, QWidget* parent)
    : ComponentWnd(ComponentEffector, host, parent, skin::kPanelBackground, kHeight)
{
    createButtons(buttons::kSoundEffector);
    m_display = new EffectDisplay(this, host.settings().viewSpectrumMode);
    m_display->show();
    m_display->spectrum()->setModeListener(
        [this](int mode) { this->host().settings().viewSpectrumMode = mode; });
    for (int i = 0; i < 3; ++i) {
        m_sliders[i] = new SkinSlider(slider::Kind::SmallVertical, QRect(326 + 27 * i, 18, 17, 35),
                                      this, cmd::ReverbDepth + i);
        m_sliders[i]->setToolTip(LoadQString(static_cast<UINT>(cmd::ReverbDepth + i)));
        m_sliders[i]->show();
    }
    m_timerDisplay = new DigitDisplay(3, QRect(428, 12, 56, 14), this, cmd::TimerDisplay);
    m_timerDisplay->SetDigits(6, false);
    m_timerDisplay->SetSeparators({4, 2});
    m_timerDisplay->SetFrame(true);
    m_timerDisplay->setToolTip(LoadQString(cmd::TimerDisplay));
    m_timer.setValue(SleepTimer::clampStored(host.settings().timer));
    showTimer();

    // What was set before the last exit is heard from the first song on.
    ApplyEffects();
    ApplyEqualizer(false);
    if (record().enable)
        switchOn();
    else
        switchOff();
}

SoundEffector::~SoundEffector() = default;

ComponentRecord& SoundEffector::record() const
{
    return host().settings().components[ComponentEffector];
}

SpectrumDisplay* SoundEffector::spectrum() const
{
    return m_display->spectrum();
}

void SoundEffector::ApplyEffects()
{
    const AppSettings& s = host().settings();
    KMPEngine_SetEffect(s.reverb, s.reverbMode, s.reverbDepth, s.chorus, s.chorusDepth, s.wide,
                        s.wideDepth, s.fx, s.fxMode);
    for (int inst : {1, 0})
        KAMEngine_SetEffect(inst, s.reverb, s.reverbMode, s.reverbDepth, s.chorus, s.chorusDepth,
                            s.wide, s.wideDepth, s.fx, s.fxMode);
    KLOG_DEBUG("players", "effects: reverb %d/%d/%d, 3D %d/%d, wide %d/%d, F/X %d/%d", s.reverb,
               s.reverbMode, s.reverbDepth, s.chorus, s.chorusDepth, s.wide, s.wideDepth, s.fx,
               s.fxMode);
}

engines::EqualizerCurve SoundEffector::EqualizerValues(const AppSettings& s)
{
    engines::EqualizerCurve values{};
    if (s.equalizerEnable != 1)
        return values;
    if (s.equalizerMode >= 0 &&
        s.equalizerMode < static_cast<int>(engines::kEqualizerPresets.size()))
        return engines::kEqualizerPresets[static_cast<size_t>(s.equalizerMode)];
    std::copy(s.equalizer.begin(), s.equalizer.end(), values.begin());
    return values;
}

void SoundEffector::ApplyEqualizer(bool save)
{
    const engines::EqualizerCurve values = EqualizerValues(host().settings());
    KMPEngine_SetEqualizer(values.data());
    if (save)
        host().saveSettings();
    updateDisplayState();
}

void SoundEffector::updateDisplayState()
{
    const AppSettings& s = host().settings();
    EffectDisplay::State state;
    state.effects = {s.reverb, s.reverbMode, s.reverbDepth, s.chorus, s.chorusDepth,
                     s.wide,   s.wideDepth,  s.fx,          s.fxMode};
    state.preset = s.equalizerMode;
    state.equalizerOn = s.equalizerEnable == 1;
    state.curve = EqualizerValues(s);
    state.switchedOn = m_on;
    m_display->SetState(state);
    update(fxBoxRect());
}

void SoundEffector::Refresh()
{
    const AppSettings& s = host().settings();
    const std::array<int, 4> flags{s.reverb, s.chorus, s.wide, s.fx};
    for (int i = 0; i < 4; ++i)
        if (SkinButton* b = button(cmd::ReverbOnOff + i)) {
            b->setEnabled(m_on);
            b->SetChecked(m_on && flags[i] != 0);
        }
    const std::array<int, 3> depths{s.reverbDepth, s.chorusDepth, s.wideDepth};
    for (int i = 0; i < 3; ++i) {
        m_sliders[i]->setEnabled(m_on && flags[i] != 0);
        m_sliders[i]->SetPos(depths[i] / 2);
        m_sliders[i]->update();
    }
    updateDisplayState();
}

void SoundEffector::switchOn()
{
    m_on = true;
    Refresh();
    m_display->spectrum()->Enable(true);
}

void SoundEffector::switchOff()
{
    // The settings themselves stay as they are.
    m_on = false;
    m_display->spectrum()->Enable(false);
    Refresh();
}

void SoundEffector::showEvent(QShowEvent* event)
{
    // Switched on again by the main controller's button.
    if (record().enable && !m_on)
        switchOn();
    ComponentWnd::showEvent(event);
}

void SoundEffector::showTimer()
{
    m_timerDisplay->SetValue(m_timer.value());
    m_timerDisplay->SetLit(m_timer.enabled());
    if (SkinButton* b = button(cmd::TimerOnOff))
        b->SetChecked(m_timer.enabled());
    if (SkinButton* b = button(cmd::TimerStartPause))
        b->SetChecked(m_timer.running());
}

void SoundEffector::toggleTimer()
{
    if (m_timer.enabled())
        m_timer.disable();
    else
        m_timer.enable(host().settings().timer);
    showTimer();
}

void SoundEffector::startOrStopTimer()
{
    if (m_timer.running()) {
        m_timer.stop();
    } else {
        const int duration = m_timer.start();
        if (duration >= 0)
            host().settings().timer = duration;
    }
    showTimer();
}

void SoundEffector::fillTimerMenu(QMenu& menu)
{
    // Longest first.
    std::array<SleepTimer::MenuEntry, SleepTimer::kMenu.size()> entries = SleepTimer::kMenu;
    std::stable_sort(entries.begin(), entries.end(),
                     [](const auto& a, const auto& b) { return a.value > b.value; });
    for (const auto& e : entries) {
        QAction* a = menu.addAction(
            LoadQString(kTimerMenuTexts + static_cast<UINT>(e.command - cmd::FirstTimerMenu)));
        a->setData(e.command);
    }
}

QAction* SoundEffector::popUpMenu(QMenu& menu, const QPoint& globalPos)
{
    return menu.exec(globalPos);
}

void SoundEffector::showTimerMenu()
{
    QMenu menu(this);
    fillTimerMenu(menu);
    if (const QAction* chosen = popUpMenu(menu, QCursor::pos()))
        sendMessage(WM_COMMAND, static_cast<WPARAM>(chosen->data().toInt()), 0);
}

void SoundEffector::showSpectrumMenu()
{
    QMenu menu(this);
    spectrum()->addModeActions(menu);
    QPoint at(26, 19);
    if (SkinButton* b = button(cmd::SpectrumModeSelect))
        at = b->geometry().bottomLeft() + QPoint(0, 1);
    spectrum()->chooseModeAction(popUpMenu(menu, mapToGlobal(at)));
}

void SoundEffector::onCommand(int id)
{
    AppSettings& s = host().settings();
    const auto checked = [this](int command) {
        const SkinButton* b = button(command);
        return b && b->IsChecked() ? 1 : 0;
    };
    switch (id) {
    case cmd::ReverbOnOff:
        s.reverb = checked(id);
        break;
    case cmd::ChorusOnOff:
        s.chorus = checked(id);
        break;
    case cmd::WideOnOff:
        s.wide = checked(id);
        break;
    case cmd::FxOnOff:
        s.fx = checked(id);
        break;
    case cmd::FxModeUpper:
        s.fxMode = s.fxMode - 1 < 0 ? kFxModes - 1 : s.fxMode - 1;
        updateDisplayState();
        ApplyEffects();
        return;
    case cmd::FxModeLower:
        s.fxMode = s.fxMode + 1 >= kFxModes ? 0 : s.fxMode + 1;
        updateDisplayState();
        ApplyEffects();
        return;
    case cmd::TimerOnOff:
        toggleTimer();
        return;
    case cmd::TimerStartPause:
        startOrStopTimer();
        return;
    case cmd::TimerPause:
        m_timer.stop();
        showTimer();
        return;
    case cmd::TimeIncrement:
        m_timer.setValue(SleepTimer::addMinute(m_timer.value()));
        showTimer();
        return;
    case cmd::TimeDecrement:
        m_timer.setValue(SleepTimer::removeMinute(m_timer.value()));
        showTimer();
        return;
    case cmd::SpectrumModeSelect:
        showSpectrumMenu();
        return;
    case cmd::Power:
        switchOff();
        postToController(UM_COMPONENT_OFF, ComponentEffector, 0);
        return;
    default:
        if (const int value = SleepTimer::menuValue(id); value >= 0) {
            m_timer.setValue(value);
            showTimer();
        }
        return;
    }
    // The four toggles.
    Refresh();
    ApplyEffects();
}

void SoundEffector::onDepthSlider(LPARAM sliderHandle, int code, int position)
{
    if (code != SB_THUMBPOSITION)
        return;
    AppSettings& s = host().settings();
    std::array<int*, 3> depths{&s.reverbDepth, &s.chorusDepth, &s.wideDepth};
    for (int i = 0; i < 3; ++i)
        if (m_sliders[i]->handle() == static_cast<HWND>(sliderHandle)) {
            *depths[i] = position * 2;
            ApplyEffects();
        }
}

LRESULT SoundEffector::onComponentCommand(WPARAM wParam, LPARAM lParam)
{
    const int id = LOWORD(lParam);
    // The start-up option "timer:" is carried out even while the panel is switched off: the
    // user asked for it on the command line, and the countdown runs on the tick either way.
    if (id == cmd::Timer) {
        m_timer.enable(host().settings().timer);
        m_timer.setValue(SleepTimer::fromMinutes(static_cast<int>(wParam)));
        const int duration = m_timer.start();
        if (duration >= 0)
            host().settings().timer = duration;
        showTimer();
        return 1;
    }
    if (!record().enable && id != cmd::Power)
        return 0;
    sendMessage(WM_COMMAND, static_cast<WPARAM>(id), 0);
    return 1;
}

LRESULT SoundEffector::onMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_COMMAND:
        onCommand(LOWORD(wParam));
        return 0;
    case WM_VSCROLL:
        onDepthSlider(lParam, LOWORD(wParam), static_cast<std::int16_t>(HIWORD(wParam)));
        return 0;
    case WM_TIMER:
        if (wParam == kTickTimerId) {
            if (const int command = m_timer.tick(host().settings().timerAction)) {
                showTimer();
                KLOG_INFO("players", "the sleep timer has run down: command %d", command);
                postToController(WM_COMMAND, static_cast<WPARAM>(command), 0);
            } else if (m_timer.running()) {
                showTimer();
            }
        }
        return 0;
    case UM_REVERB_SPOT: {
        AppSettings& s = host().settings();
        const int mode = static_cast<int>(wParam);
        if (mode < 0 || mode > 3)
            return 0;
        if (s.reverb && s.reverbMode == mode) {
            s.reverb = 0;
        } else {
            s.reverb = 1;
            s.reverbMode = mode;
        }
        Refresh();
        ApplyEffects();
        return 0;
    }
    case UM_FX_SPOT: {
        AppSettings& s = host().settings();
        s.fx = s.fx ? 0 : 1;
        Refresh();
        ApplyEffects();
        return 0;
    }
    case UM_EQUALIZER_SPOT: {
        AppSettings& s = host().settings();
        if (wParam >= static_cast<WPARAM>(EffectDisplay::kPresets))
            return 0;
        s.equalizerMode = static_cast<int>(wParam);
        s.equalizerEnable = 1;
        ApplyEqualizer();
        return 0;
    }
    case UM_CONTROL_CLICK:
        if (wParam == static_cast<WPARAM>(cmd::TimerDisplay))
            showTimerMenu();
        return 0;
    case UM_COMMAND:
        return onComponentCommand(wParam, lParam);
    case UM_GET_STATUS:
        return 0;
    case UM_SETTINGS_CHANGED:
        // The preferences may have chosen another drawing of the spectrum.
        if (m_display->spectrum()->modeWord() != host().settings().viewSpectrumMode)
            m_display->spectrum()->SetMode(host().settings().viewSpectrumMode);
        Refresh();
        return 0;
    default:
        return ComponentWnd::onMessage(msg, wParam, lParam);
    }
}

void SoundEffector::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    paintBackground(p);
    const Skin& skin = Skin::instance();
    const SkinBitmap& badge = skin.Builtin(skin::res::kEffectorBadge);
    badge.DrawTransparent(p, 4, 84 - badge.height());

    QFont f = QApplication::font();
    f.setPixelSize(10);
    p.setFont(f);
    p.setPen(skin.TextColor(skin::kPanelBackground));
    const std::pair<UINT, QPoint> labels[] = {{2070, {333, 70}},
                                              {2071, {360, 70}},
                                              {2094, {388, 70}},
                                              {2114, {456, 70}},
                                              {1086, {456, 29}}};
    for (const auto& [id, at] : labels) {
        const QString text = LoadQString(id);
        p.drawText(at.x() - p.fontMetrics().horizontalAdvance(text) / 2,
                   at.y() + p.fontMetrics().ascent(), text);
    }

    // The F/X mode box.
    const QRect box = fxBoxRect();
    p.fillRect(box, Qt::black);
    p.fillRect(box.left(), box.top(), box.width(), 1, QColor(0x808080));
    p.fillRect(box.left(), box.top(), 1, box.height(), QColor(0x808080));
    p.fillRect(box.left(), box.bottom(), box.width(), 1, Qt::white);
    p.fillRect(box.right(), box.top(), 1, box.height(), Qt::white);
    const AppSettings& s = host().settings();
    QFont small = QApplication::font();
    small.setPixelSize(9);
    p.setFont(small);
    p.setPen(m_on && s.fx ? QColor(Qt::white) : QColor(0x808080));
    p.drawText(
        box, Qt::AlignCenter,
        LoadQString(kFxModeNames + static_cast<UINT>(std::clamp(s.fxMode, 0, kFxModes - 1))));
}
