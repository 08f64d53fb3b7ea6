#include "app/remotecontrol.h"

#include "albums/quickselect.h"
#include "app/remotedisplay.h"
#include "platform/log.h"
#include "platform/msgbox.h"
#include "platform/placement.h"
#include "platform/profile.h"
#include "platform/strings.h"
#include "players/playerframe.h"
#include "players/spectrumdisplay.h"
#include "players/spectrumviewer.h"
#include "ui/buttons.h"
#include "ui/skin.h"
#include "ui/skinbutton.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QMenu>
#include <QPainter>
#include <QSystemTrayIcon>

#include <algorithm>
#include <cstdio>

namespace {

constexpr const char* kSection = "Remocon";
constexpr UINT kCaption = 2056;       // "Kolvo Remote Control"
constexpr UINT kTrackWord = 2033;     // "Track"
constexpr UINT kAlwaysOnTop = 39500;  // the window menu's "A&lways on Top"
constexpr UINT kHotKeysTaken = 39514; // "These hot keys are held by another program ..."
constexpr int kMenuGlyph = 57;
constexpr int kDigitRowTop = 162;

// The rows sizes 2 and 3 leave out.
constexpr int kSeekRow[] = {cmd::Rewind, cmd::FastForward, cmd::Previous, cmd::Next};
constexpr int kExtraRow[] = {cmd::VideoCdMode, cmd::ViewerSize, cmd::Att, cmd::PlayList};

// Commands the remote passes to its target as they are.
constexpr int kTargetCommands[] = {cmd::Open,     cmd::Stop,   cmd::Pause,
                                   cmd::Record,   cmd::Rewind, cmd::FastForward,
                                   cmd::Previous, cmd::Next,   cmd::PlayList};

const ButtonDescriptor kMenuButton{
    cmd::Menu, 0,  skin::kRemoteBackground, kMenuGlyph,       0, 0, 82, 6,
    13,        13, skin::kFace13Up,         skin::kFace13Down};

bool isTargetIndex(int index)
{
    return index >= ComponentCd && index <= ComponentVideo;
}

// The figure of a digit button (5300-5309), drawn over the button's face.
bool drawDigitFace(QPainter& p, int state, bool checked, bool disabled, bool,
                   const ButtonDescriptor& d)
{
    if (d.commandId < cmd::FirstDigit || d.commandId > cmd::FirstDigit + 9)
        return false;
    SkinButton::paintButton(p, d, state, checked, disabled);
    QFont f = QApplication::font();
    f.setPixelSize(11);
    f.setBold(true);
    p.setFont(f);
    p.setPen(Skin::instance().TextColor(d.upFace >= 0 ? d.upFace : d.background));
    const QRect r(state == SkinButton::kPressed ? 1 : 0, state == SkinButton::kPressed ? 1 : 0,
                  d.width, d.height);
    p.drawText(r, Qt::AlignCenter, QString::number(d.commandId - cmd::FirstDigit));
    return true;
}

} // namespace

int RemoteControl::heightOf(int size)
{
    static const int heights[kSizes] = {160, 224, 120, 140};
    return heights[size >= 0 && size < kSizes ? size : 0];
}

QPoint RemoteControl::initialPosition(const QRect& saved, const QRect& area)
{
    const int left = area.right() + 1 - 109;
    const int top = area.bottom() + 1 - 264;
    const QRect fallback(left, top, kWidth, 224);
    if (!saved.isValid())
        return fallback.topLeft();
    const QRect overlap = saved.intersected(area);
    if (overlap.width() < 10 || overlap.height() < 10)
        return fallback.topLeft();
    return saved.topLeft();
}

RemoteControl::RemoteControl(PlayerHost& host, Wnd* controller, const hotkeys::Table& table,
                             std::unique_ptr<GlobalHotKeys> hotKeys,
                             engines::SpectrumService* service)
    : ComponentWnd(ComponentRemote, host, nullptr, skin::kRemoteBackground, 224)
    , m_controller(controller)
    , m_controllerHandle(controller ? controller->handle() : HWND(0))
    , m_table(table)
    , m_hotKeys(std::move(hotKeys))
    , m_service(service)
{
    // Not a panel of the strip: a top-level tool window owned by no other window, so it stays
    // while the main window is minimised or hidden.
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
    setWindowTitle(LoadQString(kCaption));
    setWindowIcon(Skin::instance().WindowIcon(skin::res::kRemoteIcon));
    setCursor(Qt::ArrowCursor);
    if (!m_hotKeys)
        m_hotKeys = std::make_unique<GlobalHotKeys>();
    m_hotKeys->onPressed = [this](int id) {
        KLOG_DEBUG("hotkeys", "hot key %d pressed", id);
        OnHotKey(id);
    };

    AppSettings& s = host.settings();
    m_target = isTargetIndex(s.remoconComponent) ? s.remoconComponent : ComponentCd;

    // Creation, in its order.
    m_display = new RemoteDisplay(this);
    m_display->SetComponent(m_target);
    createButtons(buttons::kRemoteControl, drawDigitFace);
    m_tray = new QSystemTrayIcon(this);
    // The main controller looks for a shown tray icon before it hides behind it.
    if (controller)
        m_tray->setParent(controller);
    buildTrayMenu();
    m_tray->setContextMenu(m_trayMenu.get());
    connect(m_tray, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::DoubleClick)
                    onCommand(cmd::ShowHideRemote);
            });
    m_trayIndex = (m_target - ComponentCd) * kIconsPerPlayer;
    m_tray->setIcon(QIcon(QPixmap::fromImage(Skin::instance().TrayIcons().image(m_trayIndex))));
    m_trayTip = LoadQString(kCaption);
    m_tray->setToolTip(m_trayTip);
    m_tray->show();
    SetAlwaysOnTop(s.remoconAlwaysOnTop != 0);
    SetSize(s.remoconSize);
    if (s.spectrumEnabled)
        openSpectrum();
    auto* menuButton = new SkinButton(kMenuButton, this);
    menuButton->setToolTip(LoadQString(cmd::Menu));
    menuButton->show();
    ApplyHotKeys(false);

    Profile profile;
    move(initialPosition(ReadWindowRect(profile, kSection, kPosXYX2Y2), DesktopWorkArea()));
}

RemoteControl::~RemoteControl()
{
    savePosition();
    if (m_viewer)
        delete m_viewer.data();
    if (m_hotKeys)
        m_hotKeys->unregisterAll();
    delete m_tray;
}

SpectrumViewer* RemoteControl::spectrumViewer() const
{
    return m_viewer.data();
}

void RemoteControl::savePosition()
{
    Profile profile;
    WriteWindowRect(profile, kSection, geometry(), kPosXYX2Y2);
    profile.sync();
}

bool RemoteControl::dialogOpen() const
{
    return QApplication::activeModalWidget() != nullptr;
}

LRESULT RemoteControl::sendCommand(int component, int command, int argument)
{
    if (dialogOpen())
        return 0;
    const LPARAM lParam =
        static_cast<LPARAM>((static_cast<std::uint32_t>(argument & 0xFFFF) << 16) |
                            static_cast<std::uint32_t>(command));
    return Wnd::sendTo(m_controllerHandle, UM_COMMAND, static_cast<WPARAM>(component), lParam);
}

void RemoteControl::SetSize(int size)
{
    m_size = size >= 0 && size < kSizes ? size : 0;
    host().settings().remoconSize = m_size;
    setFixedSize(kWidth, heightOf(m_size));
    const bool seekRow = m_size != 2;
    const bool extraRow = m_size == 0 || m_size == 1;
    for (int id : kSeekRow)
        if (SkinButton* b = button(id))
            b->setVisible(seekRow);
    for (int id : kExtraRow)
        if (SkinButton* b = button(id))
            b->setVisible(extraRow);
    for (SkinButton* b : buttons())
        if (b->descriptor().y >= kDigitRowTop)
            b->setVisible(m_size == 1);
    update();
}

void RemoteControl::SetAlwaysOnTop(bool onTop)
{
    host().settings().remoconAlwaysOnTop = onTop ? 1 : 0;
    if (windowFlags().testFlag(Qt::WindowStaysOnTopHint) == onTop)
        return;
    const bool visible = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
    if (visible)
        show();
}

void RemoteControl::setTargetShown(int index)
{
    m_target = index;
    host().settings().remoconComponent = index;
    m_idleTicks = 0;
    m_display->SetComponent(index);
    ComponentStatus status;
    Wnd::sendTo(m_controllerHandle, UM_GET_STATUS, static_cast<WPARAM>(index),
                reinterpret_cast<LPARAM>(&status));
    showStatus(status);
}

void RemoteControl::SelectTarget(int index)
{
    if (index == m_target)
        return;
    setTargetShown(isTargetIndex(index) ? index : ComponentCd);
}

void RemoteControl::PowerAndSelect(int index)
{
    const int component = index >= 0 && index < ComponentCount ? index : ComponentCd;
    // The effector and the mixer are switched but are no target: the target stays a player.
    sendCommand(component, cmd::Power);
    setTargetShown(isTargetIndex(component) ? component : m_target);
}

bool RemoteControl::isActive(int component, const ComponentStatus& status) const
{
    if (status.state == kModeStopped || status.state == kModeNotReady)
        return false;
    return !(status.state == kModeOpening && component == ComponentCd);
}

void RemoteControl::followActivePlayer(const ComponentStatus& status)
{
    // Counted in idle ticks seen, so ten of them are five seconds.
    if (isActive(m_target, status)) {
        m_idleTicks = 0;
        return;
    }
    if (++m_idleTicks < kIdleTicksBeforeFollowing)
        return;
    int found = -1;
    for (int c = ComponentCd; c <= ComponentVideo; ++c) {
        if (c == m_target)
            continue;
        ComponentStatus other;
        other.state = kModeNotReady;
        if (!Wnd::sendTo(m_controllerHandle, UM_GET_STATUS, static_cast<WPARAM>(c),
                         reinterpret_cast<LPARAM>(&other)))
            continue;
        if (isActive(c, other))
            found = c; // the last active one wins
    }
    if (found >= 0)
        setTargetShown(found);
    m_idleTicks = 0;
}

void RemoteControl::showStatus(const ComponentStatus& status)
{
    m_lastStatus = status;
    m_display->SetStatus(status);
    QString tip;
    if (status.currentSong > 0 && !status.playingName.empty()) {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%s [%d] : ", LoadString(kTrackWord).c_str(),
                      status.currentSong);
        tip = QString::fromUtf8(buffer) + QString::fromStdString(status.playingName);
    } else {
        QStringList parts;
        if (!status.albumTitle.empty())
            parts << QString::fromStdString(status.albumTitle);
        if (!status.albumArtist.empty())
            parts << QString::fromStdString(status.albumArtist);
        tip = parts.join(QStringLiteral(" - "));
    }
    if (tip.isEmpty())
        tip = LoadQString(kCaption);
    if (tip != m_trayTip) {
        m_trayTip = tip;
        m_tray->setToolTip(tip);
    }
    if (m_viewer)
        m_viewer->SetTitle(tip);

    // The target's six icons: stopped, opening, (unused), paused, and the two beats of playing.
    int k = 0;
    switch (status.state) {
    case kModePaused:
        k = 3;
        break;
    case kModePlaying:
    case kModeRecording:
        k = (m_blink % 2) == 0 ? 4 : 5;
        break;
    case kModeOpening:
        k = m_target == ComponentCd ? 0 : 1; // the CD Player opening has no disc
        break;
    default:
        k = 0;
        break;
    }
    const int index = (m_target - ComponentCd) * kIconsPerPlayer + k;
    if (index != m_trayIndex) {
        m_trayIndex = index;
        m_tray->setIcon(QIcon(QPixmap::fromImage(Skin::instance().TrayIcons().image(index))));
    }
}

void RemoteControl::onTick()
{
    const bool attenuated = sendCommand(ComponentMixer, cmd::Att, 1) != 0;
    if (SkinButton* b = button(cmd::Att))
        b->SetChecked(attenuated);
    const bool videoCd = sendCommand(ComponentVideo, cmd::VideoCdMode, 1) != 0;
    if (SkinButton* b = button(cmd::VideoCdMode)) {
        if (b->IsChecked() != videoCd) {
            b->SetChecked(videoCd);
            updateVideoCdTooltips();
        }
    }
    m_display->SetSwitchedOn(host().settings().components[m_target].enable != 0);
    ComponentStatus status;
    status.state = kModeNotReady;
    Wnd::sendTo(m_controllerHandle, UM_GET_STATUS, static_cast<WPARAM>(m_target),
                reinterpret_cast<LPARAM>(&status));
    showStatus(status);
    followActivePlayer(status);
    if (m_numberActive && ++m_numberTicks > kNumberEntryTicks) {
        m_numberActive = false;
        m_display->ClearNumber();
    }
    m_display->Tick();
    ++m_blink;
}

void RemoteControl::digit(int d)
{
    if (!m_numberActive)
        m_number = 0;
    m_number = (m_number % 100) * 10 + d;
    m_numberActive = true;
    m_numberTicks = 0;
    m_display->ShowNumber(m_number);
}

void RemoteControl::endNumberEntry(bool play)
{
    if (!m_numberActive)
        return;
    m_numberActive = false;
    m_display->ClearNumber();
    if (play)
        sendCommand(m_target, cmd::Play, m_number);
}

void RemoteControl::quickTrackSelect()
{
    if (dialogOpen())
        return;
    std::vector<std::string> titles;
    Wnd::sendTo(m_controllerHandle, UM_GET_TITLES, static_cast<WPARAM>(m_target),
                reinterpret_cast<LPARAM>(&titles));
    if (titles.empty())
        return;
    ModalGuard guard;
    if (!guard.entered())
        return;
    QuickTrackSelect dialog(titles, this);
    if (dialog.exec() != QDialog::Accepted || dialog.chosenSong() <= 0)
        return;
    const int chosen = dialog.chosenSong();
    // The guard is still held: the command goes straight to the controller.
    Wnd::sendTo(m_controllerHandle, UM_COMMAND, static_cast<WPARAM>(m_target),
                static_cast<LPARAM>((static_cast<std::uint32_t>(chosen) << 16) | cmd::Play));
}

void RemoteControl::openSpectrum()
{
    if (m_viewer)
        return;
    m_viewer = new SpectrumViewer(host(), handle(), m_service);
    m_viewer->SetTitle(m_trayTip);
    m_viewer->show();
    host().settings().spectrumEnabled = 1;
    if (SkinButton* b = button(cmd::SpectrumWindow))
        b->SetChecked(true);
}

void RemoteControl::toggleSpectrum()
{
    if (m_viewer) {
        m_viewer->Close();
        m_viewer = nullptr;
        host().settings().spectrumEnabled = 0;
        if (SkinButton* b = button(cmd::SpectrumWindow))
            b->SetChecked(false);
    } else {
        openSpectrum();
    }
}

void RemoteControl::updateVideoCdTooltips()
{
    const SkinButton* mode = button(cmd::VideoCdMode);
    const bool videoCd = mode && mode->IsChecked();
    const std::pair<int, UINT> tips[] = {
        {cmd::Stop, 1063}, {cmd::Play, 1062}, {cmd::Previous, 1056}, {cmd::Next, 1055}};
    for (const auto& [id, videoTip] : tips)
        if (SkinButton* b = button(id))
            b->setToolTip(LoadQString(videoCd ? videoTip : static_cast<UINT>(id)));
}

QAction* RemoteControl::popUpMenu(QMenu& menu, const QPoint& globalPos)
{
    return menu.exec(globalPos);
}

void RemoteControl::showWindowMenu()
{
    QMenu menu(this);
    QAction* top = menu.addAction(LoadQString(kAlwaysOnTop));
    top->setCheckable(true);
    top->setChecked(host().settings().remoconAlwaysOnTop != 0);
    top->setData(cmd::RemoteAlwaysOnTop);
    QAction* about = menu.addAction(LoadQString(cmd::About));
    about->setData(cmd::About);
    about->setEnabled(!dialogOpen());
    const QWidget* b = button(cmd::Menu) ? static_cast<QWidget*>(button(cmd::Menu)) : this;
    const QAction* chosen = popUpMenu(menu, b->mapToGlobal(QPoint(0, b->height())));
    if (chosen)
        onCommand(chosen->data().toInt());
}

void RemoteControl::buildTrayMenu()
{
    m_trayMenu = std::make_unique<QMenu>();
    QMenu* menu = m_trayMenu.get();
    auto add = [this, menu](int id, UINT text) {
        QAction* a = menu->addAction(LoadQString(text));
        a->setData(id);
        connect(a, &QAction::triggered, this, [this, id] { onCommand(id); });
        m_trayActions[id] = a;
        return a;
    };
    auto* targets = new QActionGroup(menu);
    for (int c = ComponentCd; c <= ComponentVideo; ++c) {
        QAction* a = add(cmd::FirstTargetMenu + c - ComponentCd,
                         static_cast<UINT>(cmd::FirstTargetMenu + c - ComponentCd));
        a->setCheckable(true);
        targets->addAction(a);
    }
    menu->addSeparator();
    add(cmd::Open, 1080);
    add(cmd::Stop, 39501);
    add(cmd::Play, 39502);
    add(cmd::Record, 39503);
    menu->addSeparator();
    add(cmd::Previous, 39504);
    add(cmd::Next, 39505);
    menu->addSeparator();
    add(cmd::Att, 39506);
    menu->addSeparator();
    add(cmd::ShowHideRemote, static_cast<UINT>(cmd::ShowHideRemote));
    add(cmd::RemoteAlwaysOnTop, static_cast<UINT>(cmd::RemoteAlwaysOnTop))->setCheckable(true);
    add(cmd::SpectrumWindow, 39507);
    add(cmd::VideoCdMode, 39508);
    menu->addSeparator();
    add(cmd::Preferences, 39509);
    add(cmd::QuickAlbumSelect, 39510);
    add(cmd::QuickTrackSelect, 39511);
    menu->addSeparator();
    add(cmd::MinimizeRestore, 39512);
    add(cmd::About, static_cast<UINT>(cmd::About));
    add(cmd::Exit, 39513);
    connect(menu, &QMenu::aboutToShow, this, &RemoteControl::updateTrayMenu);
    updateTrayMenu();
}

void RemoteControl::updateTrayMenu()
{
    for (int c = ComponentCd; c <= ComponentVideo; ++c)
        m_trayActions[cmd::FirstTargetMenu + c - ComponentCd]->setChecked(c == m_target);
    m_trayActions[cmd::RemoteAlwaysOnTop]->setChecked(host().settings().remoconAlwaysOnTop != 0);
    const bool dialog = dialogOpen();
    m_trayActions[cmd::About]->setEnabled(!dialog);
    m_trayActions[cmd::Exit]->setEnabled(!dialog);
}

QString RemoteControl::hotKeysUnavailableReason() const
{
    return m_hotKeys ? m_hotKeys->unavailableReason() : QString();
}

QString RemoteControl::hotKeysNote() const
{
    return m_hotKeys ? m_hotKeys->note() : QString();
}

void RemoteControl::ApplyHotKeys(bool tell)
{
    const bool wanted = host().settings().useHotKey != 0;
    if (wanted == m_hotKeysApplied)
        return;
    m_hotKeysApplied = wanted;
    m_taken.clear();
    if (!wanted) {
        for (int i = 0; i < hotkeys::kEntries; ++i)
            if (m_table[static_cast<size_t>(i)] != 0)
                m_hotKeys->unregisterKey(hotkeys::idAt(i));
        return;
    }
    QStringList taken;
    for (int g = 0; g < hotkeys::kGroups; ++g) {
        for (const auto& [id, e] : hotkeys::GroupEntries(m_table, g)) {
            const GlobalHotKeys::Result result = m_hotKeys->registerKey(id, e);
            if (result == GlobalHotKeys::Result::Unavailable) {
                KLOG_WARNING("hotkeys", "%s", hotKeysUnavailableReason().toUtf8().constData());
                return;
            }
            if (result == GlobalHotKeys::Result::Taken) {
                m_taken.push_back(id);
                taken << QStringLiteral("%1 (%2)").arg(
                    QString::fromStdString(hotkeys::KeyText(e)),
                    LoadQString(hotkeys::kFirstCommandName + static_cast<UINT>(id)));
            }
        }
    }
    if (taken.isEmpty())
        return;
    QString text = LoadQString(kHotKeysTaken);
    text.replace(QStringLiteral("%s"), taken.join(QLatin1Char('\n')));
    KLOG_WARNING("hotkeys", "%s", text.toUtf8().constData());
    if (tell)
        KolvoMessageBox(this, text, MessageIcon::Warning);
}

void RemoteControl::OnHotKey(int id)
{
    if (id >= 0 && id <= 4) {
        static const int components[] = {ComponentEffector, ComponentCd, ComponentAudio,
                                         ComponentMidi, ComponentVideo};
        PowerAndSelect(components[id]);
        return;
    }
    if (id >= 5 && id <= 8) {
        SelectTarget(ComponentCd + id - 5);
        return;
    }
    static const std::pair<int, int> actions[] = {
        {100, cmd::Open},
        {101, cmd::Stop},
        {102, cmd::Play},
        {103, cmd::Record},
        {104, cmd::Rewind},
        {105, cmd::FastForward},
        {106, cmd::Previous},
        {107, cmd::Next},
        {108, cmd::VolumeDown},
        {109, cmd::VolumeUp},
        {110, cmd::Att},
        {200, cmd::ShowHideRemote},
        {201, cmd::SpectrumWindow},
        {202, cmd::VideoCdMode},
        {203, cmd::QuickAlbumSelect},
        {204, cmd::QuickTrackSelect},
        {205, cmd::Preferences},
        {206, cmd::MinimizeRestore},
    };
    for (const auto& [hotKey, command] : actions)
        if (hotKey == id) {
            onCommand(command);
            return;
        }
}

void RemoteControl::onCommand(int id)
{
    if (id >= cmd::FirstDigit && id <= cmd::FirstDigit + 9) {
        digit(id - cmd::FirstDigit);
        return;
    }
    if (std::find(std::begin(kTargetCommands), std::end(kTargetCommands), id) !=
        std::end(kTargetCommands)) {
        sendCommand(m_target, id);
        return;
    }
    if (id >= cmd::FirstTargetMenu && id < cmd::FirstTargetMenu + 4) {
        SelectTarget(id - cmd::FirstTargetMenu + ComponentCd);
        return;
    }
    switch (id) {
    case cmd::Power:
        Wnd::postTo(m_controllerHandle, UM_COMPONENT_OFF, ComponentRemote, 0);
        break;
    case cmd::ChangeSize:
        SetSize((m_size + 1) % kSizes);
        break;
    case cmd::SpectrumWindow:
        toggleSpectrum();
        break;
    case cmd::Exit:
    case cmd::Preferences:
        if (!dialogOpen())
            Wnd::postTo(m_controllerHandle, WM_COMMAND, static_cast<WPARAM>(id), 0);
        break;
    case cmd::MinimizeRestore:
        Wnd::postTo(m_controllerHandle, WM_COMMAND, static_cast<WPARAM>(id), 0);
        break;
    case cmd::QuickAlbumSelect:
        if (!dialogOpen())
            Wnd::sendTo(m_controllerHandle, UM_SELECT_ALBUM, static_cast<WPARAM>(m_target),
                        static_cast<LPARAM>(handle()));
        break;
    case cmd::QuickTrackSelect:
        quickTrackSelect();
        break;
    case cmd::Play:
        if (m_numberActive)
            endNumberEntry(true);
        else
            sendCommand(m_target, cmd::Play);
        break;
    case cmd::VolumeDown:
    case cmd::VolumeUp:
        sendCommand(ComponentMixer, id);
        break;
    case cmd::Att: {
        sendCommand(ComponentMixer, cmd::Att);
        const bool attenuated = sendCommand(ComponentMixer, cmd::Att, 1) != 0;
        if (SkinButton* b = button(cmd::Att))
            b->SetChecked(attenuated);
        break;
    }
    case cmd::ViewerSize:
    case cmd::VideoCdMode:
        sendCommand(ComponentVideo, id);
        if (id == cmd::VideoCdMode)
            updateVideoCdTooltips();
        break;
    case cmd::EnterNumber:
        endNumberEntry(true);
        break;
    case cmd::ClearNumber:
        endNumberEntry(false);
        break;
    case cmd::Menu:
        showWindowMenu();
        break;
    case cmd::ShowHideRemote:
        Wnd::postTo(m_controllerHandle, UM_COMPONENT_OFF, ComponentRemote,
                    host().settings().components[ComponentRemote].enable ? 0 : 1);
        break;
    case cmd::RemoteAlwaysOnTop:
        SetAlwaysOnTop(host().settings().remoconAlwaysOnTop == 0);
        break;
    case cmd::About:
        if (!dialogOpen())
            Wnd::postTo(m_controllerHandle, WM_COMMAND, static_cast<WPARAM>(cmd::About), 0);
        break;
    default:
        break;
    }
}

LRESULT RemoteControl::onMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_COMMAND:
        onCommand(LOWORD(wParam));
        return 0;
    case WM_TIMER:
        if (wParam == kTickTimerId)
            onTick();
        return 0;
    case UM_CYCLE_PLAY_METHOD:
        sendCommand(m_target, cmd::PlayMethod);
        return 0;
    case UM_CYCLE_REPEAT:
        sendCommand(m_target, cmd::Repeat);
        return 0;
    case UM_CYCLE_TIME_DISPLAY:
        sendCommand(m_target, cmd::TimeDisplay);
        return 0;
    case UM_REMOTE_QUICK_TRACK:
        quickTrackSelect();
        return 0;
    case UM_REMOTE_SELECT:
        SelectTarget(static_cast<int>(wParam));
        return 0;
    case UM_REMOTE_POWER_SELECT:
        PowerAndSelect(static_cast<int>(wParam));
        return 0;
    case UM_SPECTRUM_VIEWER_CLOSED:
        m_viewer = nullptr;
        if (SkinButton* b = button(cmd::SpectrumWindow))
            b->SetChecked(false);
        return 0;
    case UM_SETTINGS_CHANGED: {
        // What the preferences sheet may have changed.
        const AppSettings& s = host().settings();
        ApplyHotKeys(true);
        if (s.remoconSize != m_size)
            SetSize(s.remoconSize);
        SetAlwaysOnTop(s.remoconAlwaysOnTop != 0);
        if (s.remoconComponent != m_target)
            SelectTarget(s.remoconComponent);
        if ((s.spectrumEnabled != 0) != static_cast<bool>(m_viewer))
            toggleSpectrum();
        if (m_viewer) {
            if (m_viewer->sizeIndex() != s.spectrumSize)
                m_viewer->SetSize(s.spectrumSize);
            m_viewer->SetAlwaysOnTop(s.spectrumAlwaysOnTop != 0);
            if (m_viewer->display() && m_viewer->display()->modeWord() != s.spectrumMode)
                m_viewer->display()->SetMode(s.spectrumMode);
        }
        update();
        return 0;
    }
    case UM_GET_STATUS:
    case UM_COMMAND:
        return 0;
    default:
        return ComponentWnd::onMessage(msg, wParam, lParam);
    }
}

void RemoteControl::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    paintBackground(p);
}

void RemoteControl::closeEvent(QCloseEvent* event)
{
    // Closed by the desktop: hidden, as its Power button does; the program goes on.
    event->ignore();
    onCommand(cmd::Power);
}
