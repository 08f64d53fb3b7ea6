#include "app/maincontroller.h"

#include "albums/playlist.h"
#include "app/aboutbox.h"
#include "app/cdmediawatcher.h"
#include "app/commandline.h"
#include "app/configsheet.h"
#include "app/playerapp.h"
#include "app/remotecontrol.h"
#include "app/splashwnd.h"
#include "platform/mediachange.h"
#include "platform/msgbox.h"
#include "platform/placement.h"
#include "platform/power.h"
#include "platform/profile.h"
#include "platform/strings.h"
#include "platform/trace.h"
#include "players/audioplayer.h"
#include "players/cdplayer.h"
#include "players/midiplayer.h"
#include "players/mixer.h"
#include "players/playerframe.h"
#include "players/soundeffector.h"
#include "players/videoplayer.h"
#include "ui/skin.h"
#include "ui/skinslots.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QSystemTrayIcon>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

constexpr int kDefaultHeight = 100;
constexpr UINT kNoTrayText = 39515; // the desktop has no tray to hide behind

} // namespace

MainController::ComponentFactory MainController::defaultFactory()
{
    return [](int index, PlayerHost& host, QWidget* parent) -> ComponentWnd* {
        switch (index) {
        case ComponentEffector:
            return new SoundEffector(host, parent);
        case ComponentMixer:
            return new Mixer(host, parent);
        case ComponentCd:
            return new CdPlayer(host, parent);
        case ComponentAudio:
            return new AudioPlayer(host, parent);
        case ComponentVideo:
            return new VideoPlayer(host, parent);
        case ComponentMidi:
            return new MidiPlayer(host, parent);
        case ComponentRemote: {
            const auto* app = dynamic_cast<PlayerApp*>(&host);
            return new RemoteControl(host, static_cast<Wnd*>(parent),
                                     app ? app->hotKeys : hotkeys::DefaultTable());
        }
        default:
            return nullptr; // not built yet: its slot stays empty
        }
    };
}

MainController::MainController(PlayerApp& app, ComponentFactory factory)
    : SkinPanel(skin::kMainBackground, false, nullptr, Qt::Window | Qt::FramelessWindowHint)
    , m_app(app)
{
    // The designed title ends in a blank, which names the running instance; people see it
    // without.
    setWindowTitle(QString::fromStdString(app.title).trimmed());
    setWindowIcon(Skin::instance().WindowIcon(skin::res::kMainIcon));
    setCursor(Qt::ArrowCursor);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAcceptDrops(false);
    setGeometry(
        initialRect(ReadWindowRect(Profile(), "MainController", kPosXYX2Y2), DesktopWorkArea()));

    // WM_CREATE, in its order.
    if (app.splashFlag)
        new SplashWnd(this);
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    setTimer(kTickTimerId, kTickMilliseconds);
    // The components get their first tick at once rather than half a second later, so that
    // what the command line asks for starts without waiting.
    postMessage(WM_TIMER, kTickTimerId, 0);
    Skin::instance().LoadSkin(app.settings().colorScheme);
    createButtons(buttons::kMainController);
    for (int i = 0; i < ComponentCount; ++i)
        m_components[i] = factory ? factory(i, app, this) : nullptr;
    const int startMode = app.cmdInfo.startMode;
    if (!app.ApplyStartMode([this](int i) { return m_components[i] != nullptr; }))
        reportNoPlayer(startMode, app.cmdInfo.fileName);
    LayOut(true);
    ShowRemote();
    CarryOutStartCommands(app.cmdInfo.startCommands);
    m_watcher = std::make_unique<CdMediaWatcher>(app.settings().cdDrive);
    auto handleOf = [this](int i) { return m_components[i] ? m_components[i]->handle() : HWND(0); };
    m_watcher->Start(handleOf(ComponentCd), handleOf(ComponentVideo));
    m_mediaChange = new MediaChangeMonitor([this](bool arrival) { OnDeviceChange(arrival); }, this);
    m_mediaChange->setDrive(app.settings().cdDrive);

    const AppSettings& s = app.settings();
    if (s.mainVisible) {
        show();
    } else if (!hidesToTray()) {
        showMinimized();
        if (s.mainTrayOnly)
            tellNoTray();
    }
    // Otherwise the window starts hidden and only the tray icon stands for it.
}

MainController::~MainController()
{
    if (!m_destroyed)
        destroyWindow();
}

QRect MainController::initialRect(const QRect& saved, const QRect& area)
{
    const int left = (area.right() + 1 - area.left() - kMainWidth) / 2;
    return FitToWorkArea(saved, area, QRect(left, 0, kMainWidth, kDefaultHeight));
}

ComponentWnd* MainController::component(int index) const
{
    return index >= 0 && index < ComponentCount ? m_components[index] : nullptr;
}

bool MainController::enabled(int index) const
{
    return m_app.settings().components[index].enable != 0;
}

void MainController::LayOut(bool fromBottom)
{
    // The order only decides which panels move first: a growing stack moves its lower panels
    // first, a shrinking one its upper panels.
    auto place = [this](int i) {
        ComponentWnd* c = m_components[i];
        if (c && i != ComponentRemote) {
            if (enabled(i)) {
                int y = kStripHeight;
                for (int k = 0; k < i; ++k)
                    if (m_components[k] && k != ComponentRemote && enabled(k))
                        y += m_components[k]->height();
                c->move(0, y);
                c->show();
            } else {
                c->hide();
            }
        }
        if (SkinButton* b = button(cmd::FirstToggle + i))
            b->SetChecked(enabled(i));
    };
    if (fromBottom) {
        for (int i = ComponentCount - 1; i >= 0; --i)
            place(i);
    } else {
        for (int i = 0; i < ComponentCount; ++i)
            place(i);
    }
    int height = kStripHeight;
    for (int i = 0; i < ComponentRemote; ++i)
        if (m_components[i] && enabled(i))
            height += m_components[i]->height();
    setFixedSize(kMainWidth, height);
}

void MainController::SyncToggleButtons()
{
    for (int i = 0; i < ComponentCount; ++i)
        if (SkinButton* b = button(cmd::FirstToggle + i))
            b->SetChecked(enabled(i));
}

void MainController::ShowRemote()
{
    ComponentWnd* remote = m_components[ComponentRemote];
    if (remote)
        remote->setVisible(enabled(ComponentRemote));
    if (SkinButton* b = button(cmd::FirstToggle + ComponentRemote))
        b->SetChecked(enabled(ComponentRemote));
}

void MainController::SwitchComponent(int index, int action)
{
    ComponentWnd* c = component(index);
    if (!c)
        return;
    int& enable = m_app.settings().components[index].enable;
    if ((action == 0 || action == 2) && enable)
        c->sendMessage(UM_COMMAND, static_cast<WPARAM>(index), kStopFromOtherPlayer);
    if (action == 1) {
        if (enable)
            return;
        enable = 1;
    } else if (action == 2) {
        if (!enable)
            return;
        enable = 0;
    } else {
        enable = enable ? 0 : 1;
    }
    if (index == ComponentRemote)
        ShowRemote();
    else
        LayOut(enable != 0);
}

void MainController::OnDeviceChange(bool arrival)
{
    for (int i : {ComponentCd, ComponentVideo})
        if (ComponentWnd* c = component(i))
            c->postMessage(UM_DISC_CHANGE, arrival ? 1 : 0, 0);
    m_deviceChangeFlags |= arrival ? 1 : 2;
    if (m_deviceChangeFlags == 3 && m_watcher)
        m_watcher->Pause();
}

void MainController::CarryOutStartCommands(const std::array<std::uint32_t, 10>& commands)
{
    for (std::uint32_t word : commands) {
        const std::uint32_t kind = word >> 16;
        const std::uint32_t value = word & 0xFFFF;
        if (kind == 0)
            break;
        if (kind == kStartCommandVolume) {
            if (ComponentWnd* mixer = component(ComponentMixer))
                mixer->sendMessage(UM_COMMAND, 0, static_cast<LPARAM>((value << 16) | cmd::Volume));
        } else if (kind == kStartCommandTimer) {
            if (ComponentWnd* effector = component(ComponentEffector))
                effector->sendMessage(UM_COMMAND, value, cmd::Timer);
        }
    }
}

LRESULT MainController::onMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_COMMAND:
        onCommand(LOWORD(wParam));
        return 0;
    case WM_TIMER:
        if (wParam == kTickTimerId) {
            for (ComponentWnd* c : m_components)
                if (c)
                    c->sendMessage(WM_TIMER, kTickTimerId, 0);
        }
        return 0;
    case WM_COPYDATA:
        return onCopyData(reinterpret_cast<const COPYDATASTRUCT*>(lParam));
    case WM_ENDSESSION:
        m_app.SaveSettings();
        return 0;
    case UM_COMPONENT_OFF:
        if (wParam < ComponentCount) {
            m_app.settings().components[wParam].enable = static_cast<int>(lParam);
            if (wParam == ComponentRemote)
                ShowRemote();
            else
                LayOut(false);
        }
        return 0;
    case UM_COMMAND:
        if (LOWORD(lParam) == cmd::Power) {
            const int high = HIWORD(lParam);
            SwitchComponent(static_cast<int>(wParam), high == 1 ? 1 : high == 2 ? 2 : 0);
            return 0;
        }
        [[fallthrough]];
    case UM_GET_STATUS:
    case UM_GET_TITLES:
    case UM_SELECT_ALBUM:
        if (ComponentWnd* c = component(static_cast<int>(wParam)))
            return c->sendMessage(msg, wParam, lParam);
        return 0;
    default:
        return SkinPanel::onMessage(msg, wParam, lParam);
    }
}

void MainController::onCommand(int id)
{
    switch (id) {
    case cmd::Exit:
        exitProgram();
        break;
    case cmd::MinimizeRestore:
        minimizeOrRestore();
        break;
    case cmd::Preferences:
        openPreferences();
        break;
    case cmd::About:
        showAbout();
        break;
    case cmd::ControlPanel:
        if (!shell::OpenSoundSettings())
            KolvoMessageBox(this,
                            tr("No sound settings program was found. Install pavucontrol, or "
                               "use your desktop's sound settings."),
                            MessageIcon::Information);
        break;
    case cmd::ExitAndShutDown:
        exitProgram();
        power::PowerOff();
        break;
    case cmd::ExitAndSuspend:
        exitProgram();
        power::Suspend();
        break;
    default:
        if (id >= cmd::FirstToggle && id < cmd::FirstToggle + ComponentRemote) {
            SwitchComponent(id - cmd::FirstToggle, 0);
            // A toggle button flips itself when clicked, also for a slot that stays empty or a
            // switch that changed nothing: the flags decide what the buttons show.
            SyncToggleButtons();
        } else if (id == cmd::FirstToggle + ComponentRemote) {
            int& enable = m_app.settings().components[ComponentRemote].enable;
            enable = enable ? 0 : 1;
            ShowRemote();
        }
        break;
    }
}

LRESULT MainController::onCopyData(const COPYDATASTRUCT* cds)
{
    if (!cds || cds->dwData != kHandoverDataId)
        return 0;
    HandoverRecord record;
    if (!ParseHandoverRecord(static_cast<const std::uint8_t*>(cds->lpData), cds->cbData, record))
        return 0;
    trace("handover mode=%d file=%s commands=%08x", record.startMode, record.fileName.c_str(),
          record.startCommands[0]);
    bringToFront();
    CarryOutStartCommands(record.startCommands);
    m_app.cmdInfo.fileName = record.fileName;
    // Several files come as the temporary play list the sender wrote; it goes once read.
    m_app.pendingIsTemporary = !record.fileName.empty() && record.fileName == TempPlayListPath();
    const int player = StartModeComponent(record.startMode);
    if (player >= 0 && !component(player)) {
        reportNoPlayer(record.startMode, record.fileName);
        return 0;
    }
    switch (record.startMode) {
    case StartModeAudioCd:
        SwitchComponent(ComponentCd, 1);
        if (ComponentWnd* c = component(ComponentCd))
            c->postMessage(UM_COMMAND, ComponentCd, static_cast<LPARAM>(0xFFFF13F0u));
        break;
    case StartModeVideoCd:
        SwitchComponent(ComponentVideo, 1);
        if (ComponentWnd* c = component(ComponentVideo))
            c->postMessage(UM_COMMAND, ComponentVideo, static_cast<LPARAM>(0xFFFF1431u));
        break;
    case StartModeAudio:
    case StartModeMidi:
    case StartModeVideo:
        SwitchComponent(record.startMode, 1);
        if (ComponentWnd* c = component(record.startMode))
            c->postMessage(UM_COMMAND, static_cast<WPARAM>(record.startMode), cmd::PlayPending);
        break;
    default:
        break;
    }
    return 0;
}

void MainController::reportNoPlayer(int startMode, const std::string& file)
{
    const int player = StartModeComponent(startMode);
    const QString name = LoadQString(cmd::FirstToggle + player);
    const QString what = !file.empty() ? QStringLiteral("\"%1\"").arg(QString::fromStdString(file))
                         : startMode == StartModeVideoCd ? tr("The Video CD")
                                                         : tr("The disc");
    const QString text =
        tr("%1 cannot be played yet: this version of Kolvo has no %2.").arg(what, name);
    std::fprintf(stderr, "Kolvo: %s\n", text.toUtf8().constData());
    // Queued, so that neither the start-up nor a second start waiting for its hand-over to be
    // taken is held up by the box.
    QMetaObject::invokeMethod(
        this, [this, text] { KolvoMessageBox(this, text, MessageIcon::Information); },
        Qt::QueuedConnection);
}

void MainController::bringToFront()
{
    if (!isVisible())
        return;
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
}

void MainController::exitProgram()
{
    m_app.settings().mainVisible = (isVisible() && !isMinimized()) ? 1 : 0;
    for (int i : {ComponentCd, ComponentAudio, ComponentMidi, ComponentVideo})
        if (ComponentWnd* c = component(i))
            c->sendMessage(UM_COMMAND, 0, kStopFromOtherPlayer);
    destroyWindow();
}

void MainController::minimizeOrRestore()
{
    if (isVisible() && !isMinimized()) {
        if (hidesToTray()) {
            hide();
        } else {
            showMinimized();
            if (m_app.settings().mainTrayOnly)
                tellNoTray();
        }
    } else {
        showNormal();
        raise();
    }
}

// "Keep only the tray icon" is honoured only while a tray icon of this window is shown on a
// desktop that has a tray: a window hidden without one could never be brought back. Until the
// program has its tray icon the setting is therefore ignored and the window is minimised.
bool MainController::hidesToTray() const
{
    if (m_app.settings().mainTrayOnly == 0 || !QSystemTrayIcon::isSystemTrayAvailable())
        return false;
    const QList<QSystemTrayIcon*> icons = findChildren<QSystemTrayIcon*>();
    return std::any_of(icons.begin(), icons.end(),
                       [](const QSystemTrayIcon* icon) { return icon->isVisible(); });
}

void MainController::tellNoTray()
{
    // Only where the desktop has no tray at all, and once a session.
    if (m_toldNoTray || QSystemTrayIcon::isSystemTrayAvailable())
        return;
    m_toldNoTray = true;
    const QString text = LoadQString(kNoTrayText);
    std::fprintf(stderr, "Kolvo: %s\n", text.toUtf8().constData());
    QMetaObject::invokeMethod(
        this, [this, text] { KolvoMessageBox(this, text, MessageIcon::Information); },
        Qt::QueuedConnection);
}

void MainController::showAbout()
{
    if (m_preferencesOpen)
        return;
    ++m_preferencesOpen;
    AboutBox box(this);
    box.exec();
    --m_preferencesOpen;
}

void MainController::contextMenuEvent(QContextMenuEvent* e)
{
    QMenu menu(this);
    QAction* about = menu.addAction(QString::fromStdString(LoadString(cmd::About)));
    about->setEnabled(m_preferencesOpen == 0);
    connect(about, &QAction::triggered, this, [this] { onCommand(cmd::About); });
    menu.exec(e->globalPos());
}

void MainController::keyPressEvent(QKeyEvent* e)
{
    PlayerFrame* target = nullptr;
    for (ComponentWnd* c : m_components) {
        auto* frame = dynamic_cast<PlayerFrame*>(c);
        if (!frame || !frame->isVisible())
            continue;
        if (frame->state() == kModePlaying || frame->state() == kModePaused) {
            target = frame;
            break;
        }
        if (!target)
            target = frame;
    }
    const bool plain =
        !(e->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    if (!target || !plain || !target->HandleKey(e->key()))
        SkinPanel::keyPressEvent(e);
}

void MainController::openPreferences()
{
    if (m_preferencesOpen)
        return;
    ++m_preferencesOpen;
    HotKeyPageInfo hotKeys;
    hotKeys.table = m_app.hotKeys;
    if (auto* remote = dynamic_cast<RemoteControl*>(component(ComponentRemote))) {
        hotKeys.unavailableReason = remote->hotKeysUnavailableReason();
        hotKeys.note = remote->hotKeysNote();
        hotKeys.taken = remote->takenHotKeys();
    } else {
        hotKeys.unavailableReason =
            tr("The hot keys belong to the remote control, which is not there.");
    }
    CConfigPropertySheet sheet(m_app.settings(), this, hotKeys);
    const bool ok = sheet.exec() == QDialog::Accepted;
    --m_preferencesOpen;
    if (!ok)
        return;
    const std::string skinBefore = m_app.settings().colorScheme;
    sheet.applyTo(m_app.settings());
    const bool skinChanged = m_app.settings().colorScheme != skinBefore;
    if (m_watcher)
        m_watcher->SetDrive(m_app.settings().cdDrive);
    if (m_mediaChange)
        m_mediaChange->setDrive(m_app.settings().cdDrive);
    if (skinChanged) {
        Skin::instance().LoadSkin(m_app.settings().colorScheme);
        update();
        for (ComponentWnd* c : m_components)
            if (c)
                c->update();
    }
    for (ComponentWnd* c : m_components)
        if (c)
            c->sendMessage(UM_SETTINGS_CHANGED, 0, 0);
    ShowRemote();
    m_app.SaveSettings();
}

void MainController::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    Skin::instance().Slot(skin::kMainBackground).Draw(p, 0, 0);
    paintFrame(p, QRect(0, 0, width(), kStripHeight));
}

void MainController::mousePressEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton && windowHandle())
        windowHandle()->startSystemMove();
    SkinPanel::mousePressEvent(e);
}

void MainController::showEvent(QShowEvent* e)
{
    SkinPanel::showEvent(e);
    if (!m_shownOnce) {
        m_shownOnce = true;
        trace("shown");
        if (qEnvironmentVariableIsSet("KOLVO_EXIT_WHEN_SHOWN"))
            QMetaObject::invokeMethod(
                this, [this] { onCommand(cmd::Exit); }, Qt::QueuedConnection);
    }
}

void MainController::closeEvent(QCloseEvent* e)
{
    e->accept();
    exitProgram();
}

void MainController::destroyWindow()
{
    if (m_destroyed)
        return;
    m_destroyed = true;
    clearTimer(kTickTimerId);
    SplashWnd::remove();
    if (m_watcher)
        m_watcher->Stop();
    m_watcher.reset();
    deleteButtons();
    for (ComponentWnd*& c : m_components) {
        delete c;
        c = nullptr;
    }
    saveRect();
    hide();
    QCoreApplication::quit();
}

void MainController::saveRect()
{
    Profile profile;
    WriteWindowRect(profile, "MainController", geometry(), kPosXYX2Y2);
    profile.sync();
}
