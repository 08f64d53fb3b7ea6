#include "players/mixer.h"

#include "platform/log.h"
#include "platform/strings.h"
#include "ui/buttons.h"
#include "ui/skin.h"
#include "ui/skinslider.h"

#include <QApplication>
#include <QPainter>

#include <algorithm>

namespace {

constexpr UINT kNoServerText = 39430;
constexpr UINT kConnectingText = 39431;
constexpr UINT kSelectTip = 2060;
constexpr UINT kMuteTip = 2061;
constexpr UINT kVolumeTip = 2121;
constexpr UINT kPanningTip = 2122;

int columnX(int k)
{
    return 45 + 60 * k;
}

} // namespace

Mixer::Mixer(PlayerHost& host, QWidget* parent, std::unique_ptr<mixer::MixerDevice> device)
    : ComponentWnd(ComponentMixer, host, parent, skin::kPanelBackground, kHeight)
    , m_device(device ? std::move(device) : mixer::createPulseMixer())
{
    createButtons(buttons::kMixer);
    for (int k = 0; k < mixer::kColumns; ++k) {
        m_volume[k] = new SkinSlider(slider::Kind::Volume, QRect(columnX(k), 20, 27, 58), this,
                                     cmd::MixerFirstVolume + k);
        m_balance[k] = new SkinSlider(slider::Kind::Balance, QRect(columnX(k) - 4, 81, 34, 13),
                                      this, cmd::MixerFirstBalance + k);
        m_balance[k]->setToolTip(LoadQString(kPanningTip));
        if (SkinButton* b = columnSwitch(k))
            b->setToolTip(LoadQString(kMuteTip));
    }
    m_device->setNotifyWindow(handle());
    takeSnapshot();
}

Mixer::~Mixer()
{
    m_device->setNotifyWindow(0);
}

SkinButton* Mixer::columnSwitch(int column) const
{
    return button(cmd::MixerFirstSwitch + column);
}

int Mixer::MasterVolume() const
{
    const mixer::View& playback = m_snapshot.views[0];
    if (playback.lines.empty() || !playback.lines[0].hasVolume)
        return 0;
    return playback.lines[0].volume();
}

void Mixer::setChannels(int view, int line, int volume, int balance)
{
    mixer::View& v = m_snapshot.views[view];
    if (line < 0 || line >= static_cast<int>(v.lines.size()))
        return;
    mixer::Line& l = v.lines[line];
    if (!l.hasVolume)
        return;
    const mixer::Channels c =
        l.channels < 2 ? mixer::Channels{volume, volume} : mixer::channelsFor(volume, balance);
    // Kept here at once, so that a second change before the server's answer builds on it.
    l.left = std::clamp(c.left, 0, mixer::kScale);
    l.right = std::clamp(c.right, 0, mixer::kScale);
    m_device->setVolume(l, l.left, l.right);
}

void Mixer::SetLineVolume(int line, int volume)
{
    const mixer::View& v = currentView();
    if (line < 0 || line >= static_cast<int>(v.lines.size()))
        return;
    setChannels(m_view, line, volume, v.lines[line].balance());
    if (m_view == 0)
        cancelAttenuator();
    rebuildColumns();
}

void Mixer::SetLineBalance(int line, int balance)
{
    const mixer::View& v = currentView();
    if (line < 0 || line >= static_cast<int>(v.lines.size()))
        return;
    setChannels(m_view, line, v.lines[line].volume(), balance);
    rebuildColumns();
}

int Mixer::SetMasterVolume(int volume)
{
    const int v = std::clamp(volume, 0, mixer::kScale);
    if (m_snapshot.state == mixer::Snapshot::State::Connecting) {
        // The start-up option comes before the server has answered: kept until it has.
        m_pendingMaster = v;
        return v;
    }
    const mixer::View& playback = m_snapshot.views[0];
    if (playback.lines.empty() || !playback.lines[0].hasVolume)
        return 0;
    setChannels(0, 0, v, playback.lines[0].balance());
    cancelAttenuator();
    rebuildColumns();
    return v;
}

void Mixer::cancelAttenuator()
{
    m_savedMaster = -1;
    if (SkinButton* b = button(cmd::Att))
        b->SetChecked(false);
}

void Mixer::ToggleAttenuator()
{
    const mixer::View& playback = m_snapshot.views[0];
    const bool master = !playback.lines.empty() && playback.lines[0].hasVolume;
    if (m_savedMaster >= 0) {
        if (master)
            setChannels(0, 0, m_savedMaster, playback.lines[0].balance());
        m_savedMaster = -1;
    } else if (master) {
        m_savedMaster = playback.lines[0].volume();
        setChannels(0, 0, m_savedMaster / 5, playback.lines[0].balance());
    }
    if (SkinButton* b = button(cmd::Att))
        b->SetChecked(m_savedMaster >= 0);
    rebuildColumns();
}

void Mixer::takeSnapshot()
{
    m_snapshot = m_device->snapshot();
    rebuildColumns();
    if (m_pendingMaster >= 0 && m_snapshot.state == mixer::Snapshot::State::Connected) {
        const int pending = m_pendingMaster;
        m_pendingMaster = -1;
        SetMasterVolume(pending);
    }
}

void Mixer::rebuildColumns()
{
    const mixer::View& view = currentView();
    const int shown = static_cast<int>(mixer::shownLines(view).size());
    // Lines that went away (a device unplugged) may leave the page past the end.
    if (m_first >= shown)
        m_first = shown > 0 ? ((shown - 1) / mixer::kColumns) * mixer::kColumns : 0;
    m_columns = mixer::buildColumns(view, m_first);
    for (int k = 0; k < mixer::kColumns; ++k) {
        const mixer::Column& c = m_columns[k];
        SkinButton* sw = columnSwitch(k);
        const bool used = c.line >= 0;
        m_volume[k]->setVisible(used);
        m_balance[k]->setVisible(used);
        if (sw)
            sw->setVisible(used);
        if (!used)
            continue;
        const mixer::Line& line = view.lines[c.line];
        m_volume[k]->setEnabled(c.volumeEnabled);
        // The slider the user holds is not pulled back by an answer to an earlier change.
        if (!m_volume[k]->isDragging())
            m_volume[k]->SetPos(c.volume);
        m_volume[k]->setToolTip(LoadQString(kVolumeTip) + QStringLiteral(" - ") +
                                QString::fromStdString(line.longName));
        m_balance[k]->setEnabled(c.balanceEnabled);
        if (!m_balance[k]->isDragging())
            m_balance[k]->SetPos(c.balance);
        if (sw) {
            sw->setEnabled(c.switchKind != mixer::Column::Switch::None);
            sw->SetChecked(c.switchOn);
            sw->setToolTip(
                LoadQString(c.switchKind == mixer::Column::Switch::Select ? kSelectTip : kMuteTip));
        }
    }
    if (SkinButton* b = button(cmd::MixerPrevious))
        b->setEnabled(m_first > 0);
    if (SkinButton* b = button(cmd::MixerNext))
        b->setEnabled(mixer::hasMore(view, m_first));
    for (int v = 0; v < mixer::kViews; ++v)
        if (SkinButton* b = button(cmd::ViewPlaybackMixer + v))
            b->SetChecked(v == m_view);
    update();
}

void Mixer::onSwitch(int column)
{
    if (column < 0 || column >= mixer::kColumns)
        return;
    const mixer::Column c = m_columns[column];
    mixer::View& view = currentView();
    if (c.line < 0 || c.line >= static_cast<int>(view.lines.size()))
        return;
    mixer::Line& line = view.lines[c.line];
    // The switch's new state is the opposite of what the column showed when it was clicked.
    // It is taken from the lines rather than from the button, because a change from the
    // server may have set the button again between the click and this command.
    if (c.switchKind == mixer::Column::Switch::Mute) {
        line.muted = !line.muted;
        m_device->setMute(line, line.muted);
    } else if (c.switchKind == mixer::Column::Switch::Select &&
               line.destination < static_cast<int>(view.destinations.size())) {
        mixer::Destination& d = view.destinations[line.destination];
        const bool on = !((d.selectMask >> line.selectBit) & 1u);
        d.selectMask = mixer::selectMaskAfter(d, line.selectBit, on);
        m_device->setSelect(m_view, line.destination, d.selectMask);
    }
    rebuildColumns();
}

void Mixer::onSlider(UINT msg, WPARAM wParam, LPARAM lParam)
{
    const int code = LOWORD(wParam);
    if (code != SB_THUMBPOSITION && code != SB_THUMBTRACK)
        return;
    const int position = static_cast<std::int16_t>(HIWORD(wParam));
    const HWND from = static_cast<HWND>(lParam);
    for (int k = 0; k < mixer::kColumns; ++k) {
        const int line = m_columns[k].line;
        if (msg == WM_VSCROLL && m_volume[k]->handle() == from)
            SetLineVolume(line, position);
        else if (msg == WM_HSCROLL && m_balance[k]->handle() == from)
            SetLineBalance(line, position);
    }
}

void Mixer::onCommand(int id)
{
    switch (id) {
    case cmd::ViewPlaybackMixer:
    case cmd::ViewPlaybackMixer + 1:
    case cmd::ViewPlaybackMixer + 2:
        if (m_view != id - cmd::ViewPlaybackMixer) {
            m_view = id - cmd::ViewPlaybackMixer;
            m_first = 0;
        }
        rebuildColumns();
        break;
    case cmd::MixerNext:
        if (mixer::hasMore(currentView(), m_first)) {
            m_first += mixer::kColumns;
            rebuildColumns();
        }
        break;
    case cmd::MixerPrevious:
        if (m_first >= 1) {
            m_first = std::max(0, m_first - mixer::kColumns);
            rebuildColumns();
        }
        break;
    case cmd::Reset: {
        mixer::View& view = currentView();
        for (int i = 0; i < static_cast<int>(view.lines.size()); ++i)
            if (view.lines[i].hasVolume)
                setChannels(m_view, i, 16, 0);
        if (m_view == 0)
            cancelAttenuator();
        rebuildColumns();
        break;
    }
    case cmd::Att:
        ToggleAttenuator();
        break;
    case cmd::Power:
        postToController(UM_COMPONENT_OFF, ComponentMixer, 0);
        break;
    default:
        if (id >= cmd::MixerFirstSwitch && id < cmd::MixerFirstSwitch + mixer::kColumns)
            onSwitch(id - cmd::MixerFirstSwitch);
        break;
    }
}

LRESULT Mixer::onComponentCommand(LPARAM lParam)
{
    const int id = LOWORD(lParam);
    const int value = static_cast<std::int16_t>(HIWORD(lParam));
    switch (id) {
    case cmd::VolumeUp:
        return SetMasterVolume(std::min(MasterVolume() + 1, mixer::kScale));
    case cmd::VolumeDown:
        return SetMasterVolume(std::max(MasterVolume() - 1, 0));
    case cmd::Volume:
        return SetMasterVolume(value);
    case cmd::Att:
        if (value == 1)
            return isAttenuated() ? 1 : 0;
        ToggleAttenuator();
        return isAttenuated() ? 1 : 0;
    default:
        sendMessage(WM_COMMAND, static_cast<WPARAM>(id), 0);
        return 1;
    }
}

LRESULT Mixer::onMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_COMMAND:
        onCommand(LOWORD(wParam));
        return 0;
    case WM_VSCROLL:
    case WM_HSCROLL:
        onSlider(msg, wParam, lParam);
        return 0;
    case MM_MIXM_CONTROL_CHANGE:
    case MM_MIXM_LINE_CHANGE:
        takeSnapshot();
        return 0;
    case UM_COMMAND:
        return onComponentCommand(lParam);
    case UM_GET_STATUS:
        return 0;
    default:
        return ComponentWnd::onMessage(msg, wParam, lParam);
    }
}

void Mixer::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    paintBackground(p);
    // The groove between the columns and the view buttons.
    p.fillRect(415, 4, 1, 92, QColor(0x808080));
    p.fillRect(416, 4, 2, 92, QColor(0xC0C0C0));

    const Skin& skin = Skin::instance();
    QFont f = QApplication::font();
    f.setPixelSize(10);
    p.setFont(f);
    p.setPen(skin.TextColor(skin::kPanelBackground));
    for (const auto& [id, y] : {std::pair<UINT, int>{2057, 23}, {2058, 43}, {2059, 63}})
        p.drawText(450, y + p.fontMetrics().ascent(), LoadQString(id));

    // The names over the columns, a little smaller so that neighbours stay apart.
    f.setPixelSize(9);
    p.setFont(f);
    const QFontMetrics fm = p.fontMetrics();
    const mixer::View& view = currentView();
    for (int k = 0; k < mixer::kColumns; ++k) {
        const int line = m_columns[k].line;
        if (line < 0)
            continue;
        const QString name =
            fm.elidedText(QString::fromStdString(view.lines[line].shortName), Qt::ElideRight, 56);
        const int centre = columnX(k) + 13;
        p.drawText(centre - fm.horizontalAdvance(name) / 2, 20 - fm.descent() - 1, name);
    }

    if (m_snapshot.state != mixer::Snapshot::State::Connected) {
        const UINT text =
            m_snapshot.state == mixer::Snapshot::State::NoServer ? kNoServerText : kConnectingText;
        p.drawText(QRect(40, 24, 340, 52), Qt::AlignCenter | Qt::TextWordWrap, LoadQString(text));
    }
}
