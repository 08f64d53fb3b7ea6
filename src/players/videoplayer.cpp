#include "players/videoplayer.h"

#include "albums/mediakind.h"
#include "albums/playlist.h"
#include "engines/engineapi.h"
#include "engines/vcdsource.h"
#include "platform/log.h"
#include "platform/strings.h"
#include "platform/trace.h"
#include "players/videoviewer.h"
#include "ui/buttons.h"
#include "ui/digitdisplay.h"
#include "ui/displaypanel.h"
#include "ui/skinbitmap.h"

#include <QCursor>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <sys/stat.h>

namespace {

constexpr UINT kCantPlayDisc = 39461; // "Can't play disc in %s drive."
constexpr int kSpeeds[] = {400, 300, 200, 150, 100, 75, 50, 25};
constexpr int kMaxSpeed = 400;
constexpr int kMinSpeed = 25;

// The results for which the player tries the same path on the other drives.
bool retriesOtherDrive(std::int32_t result)
{
    return result == kMciFailed || result == kMciNotFound || result == kAmNotFound ||
           result == kRvNotFound || result == kCdReaderNotFound;
}

} // namespace

int FasterSpeed(int percent)
{
    return std::min(kMaxSpeed, percent + (percent < 200 ? 25 : 50));
}

int SlowerSpeed(int percent)
{
    return std::max(kMinSpeed, percent - (percent <= 200 ? 25 : 50));
}

VideoPlayer::VideoPlayer(PlayerHost& host, QWidget* parent)
    : PlayerFrame(ComponentVideo, AlbumKindVideo, host, parent, buttons::kVideoPlayer, false)
    , m_viewer(std::make_unique<VideoViewer>(handle()))
{
    m_sizeMode = std::clamp(host.settings().dgvAutoSize, 0, 3);
    m_viewer->SetSizeMode(m_sizeMode);
    m_panel->SetViewerSize(m_sizeMode);
    // Left of the Fast and Slow buttons.
    m_speedDisplay = new DigitDisplay(3, QRect(458, 30, 26, 14), this, cmd::SpeedDisplay);
    m_speedDisplay->SetDigits(3, false);
    m_speedDisplay->SetValue(100);
    m_speedDisplay->SetLit(false);
    m_speedDisplay->setToolTip(tr("Speed (%)"));
    LoadStartAlbum();
}

VideoPlayer::~VideoPlayer()
{
    if (m_vcd)
        m_vcd->close();
    m_album.ResetPlay();
    StopPlayer(true);
    m_viewer->SaveRect();
}

// ---- opening a film ----

std::int32_t VideoPlayer::OpenTrack(int n)
{
    if (ReaderActive())
        return m_vcd->command(n) > 0 && session() ? 1 : 0;
    const std::vector<std::string> candidates = SongPaths(n);
    return candidates.empty() ? 0 : OpenFilm(candidates, candidates.front());
}

std::int32_t VideoPlayer::OpenFilm(const std::vector<std::string>& candidates,
                                   const std::string& kindName)
{
    const std::string& path = candidates.front();
    m_viewer->Reset();
    m_speed = 100;
    m_speedDisplay->SetValue(100);
    m_speedDisplay->SetLit(false);
    engines::SessionContext context = sessionContext();
    context.window = m_viewer->child()->handle();
    context.instance = 1;
    context.sizeMode = m_sizeMode;
    const engines::EngineOrder order = EnginesFor(kindName);
    engines::OpenOutcome outcome;
    for (const std::string& candidate : candidates) {
        outcome = engines::openFirst(order, context, candidate, [this] {
            const int cookie = nextCookie();
            m_viewer->SetCookie(cookie);
            return cookie;
        });
        if (outcome.session) {
            m_playingPath = candidate;
            adoptSession(std::move(outcome.session), outcome.result);
            m_speedDisplay->SetLit(true);
            if (!m_viewer->isVisible()) {
                m_viewer->show();
                m_viewer->raise();
            }
            ApplySizeMode();
            return outcome.result;
        }
        if (!retriesOtherDrive(outcome.result))
            break;
    }
    if (!outcome.why.empty())
        KLOG_WARNING("players", "cannot play %s: %s", path.c_str(), outcome.why.c_str());
    return outcome.result;
}

// ---- the viewer's geometry ----

void VideoPlayer::SetSizeMode(int mode)
{
    m_sizeMode = std::clamp(mode, 0, 3);
    host().settings().dgvAutoSize = m_sizeMode;
    m_panel->SetViewerSize(m_sizeMode);
    m_viewer->SetSizeMode(m_sizeMode);
    ApplySizeMode();
}

void VideoPlayer::CycleSizeMode()
{
    SetSizeMode((m_sizeMode + 1) % 4);
}

void VideoPlayer::ApplySizeMode()
{
    engines::Session* open = session();
    if (m_sizeMode == 3) {
        if (!open || !open->showFullScreen(true))
            m_viewer->SetFullScreen(true);
    } else if (m_viewer->isFullScreenMode()) {
        if (!open || !open->showFullScreen(false))
            m_viewer->SetFullScreen(false);
    }
    FitViewer();
    PlaceMovie();
}

void VideoPlayer::FitViewer()
{
    engines::Session* open = session();
    // A RealVideo film keeps the window as it is.
    if (!open || &open->family() == &engines::kRealVideoEngine)
        return;
    RECT source;
    if (open->sourceRect(source))
        m_viewer->FitPicture(QSize(source.right - source.left, source.bottom - source.top));
}

void VideoPlayer::PlaceMovie()
{
    if (engines::Session* open = session()) {
        const QSize client = m_viewer->child()->size();
        open->setMovieRect(RECT{0, 0, client.width(), client.height()});
    }
}

// ---- speed, stepping, capture ----

bool VideoPlayer::SetSpeed(int percent)
{
    if (!Playing() || !session() || (ReaderActive() && !m_vcd->sequenceUnit()))
        return false;
    percent = std::clamp(percent, kMinSpeed, kMaxSpeed);
    if (!session()->setSpeed(percent * 10))
        return false;
    m_speed = percent;
    m_speedDisplay->SetValue(percent);
    return true;
}

void VideoPlayer::ShowSpeedMenu()
{
    QMenu menu(this);
    for (size_t i = 0; i < std::size(kSpeeds); ++i) {
        if (i == 4 || i == 5)
            menu.addSeparator();
        QAction* item = menu.addAction(LoadQString(cmd::FirstSpeedMenu + static_cast<int>(i)));
        item->setData(cmd::FirstSpeedMenu + static_cast<int>(i));
    }
    int chosen = 0;
    if (popUpSpeedMenu) {
        chosen = popUpSpeedMenu(menu, QCursor::pos());
    } else if (QAction* a = menu.exec(QCursor::pos())) {
        chosen = a->data().toInt();
    }
    const int index = chosen - cmd::FirstSpeedMenu;
    if (index >= 0 && index < static_cast<int>(std::size(kSpeeds)))
        SetSpeed(kSpeeds[index]);
}

void VideoPlayer::FrameStep(bool backward)
{
    if ((m_state != kModePlaying && m_state != kModePaused) || !session() ||
        (ReaderActive() && !m_vcd->sequenceUnit()))
        return;
    if (m_state == kModePlaying)
        Pause();
    session()->step(backward);
    if (session())
        m_position = session()->positionMs() / 1000;
    RedrawDisplay();
}

bool VideoPlayer::Capture()
{
    if (!session() || (m_state != kModePlaying && m_state != kModePaused))
        return false;
    ModalGuard guard;
    if (!guard.entered())
        return false;
    const bool wasPlaying = Playing();
    if (wasPlaying)
        Pause();
    bool written = false;
    const std::vector<std::uint8_t> dib =
        session() ? session()->capture() : std::vector<std::uint8_t>();
    if (!dib.empty()) {
        ComponentRecord& r = record();
        const QString suggested =
            QDir(QString::fromStdString(r.initialDir))
                .filePath(QFileInfo(QString::fromStdString(m_playingPath)).completeBaseName() +
                          QStringLiteral(".bmp"));
        std::string file =
            chooseCaptureFile
                ? chooseCaptureFile(suggested.toStdString())
                : QFileDialog::getSaveFileName(this, LoadQString(cmd::Capture), suggested,
                                               tr("Bitmap Files (*.bmp);;All Files (*)"))
                      .toStdString();
        if (!file.empty()) {
            if (QFileInfo(QString::fromStdString(file)).suffix().isEmpty())
                file += ".bmp";
            written = CDib::SaveBmp(file, dib.data(), dib.size());
            if (!written)
                KLOG_WARNING("players", "the picture could not be written to %s", file.c_str());
            r.initialDir = QFileInfo(QString::fromStdString(file)).absolutePath().toStdString();
        }
    }
    if (wasPlaying && m_state == kModePaused)
        PlayPause();
    return written;
}

void VideoPlayer::Configure()
{
    ModalGuard guard;
    if (!guard.entered())
        return;
    if (engines::Session* open = session())
        open->configure(handle());
}

// ---- Video CD mode ----

std::vector<std::string> VideoPlayer::VideoCdDatFiles(const std::string& discFolder)
{
    std::vector<std::string> files;
    if (discFolder.empty())
        return files;
    const QDir disc(QString::fromStdString(discFolder));
    for (const QString& sub : disc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (sub.compare(QLatin1String("mpegav"), Qt::CaseInsensitive) != 0)
            continue;
        const QDir mpegav(disc.filePath(sub));
        for (const QString& name : mpegav.entryList(QDir::Files, QDir::Name | QDir::IgnoreCase)) {
            if (name.endsWith(QLatin1String(".dat"), Qt::CaseInsensitive))
                files.push_back(mpegav.filePath(name).toStdString());
        }
    }
    return files;
}

std::string VideoPlayer::DiscFolder(const std::string& drive)
{
    if (drive.empty())
        return {};
    if (QFileInfo(QString::fromStdString(drive)).isDir())
        return drive;
    // A device: where the system has mounted it.
    QFile mounts(QStringLiteral("/proc/self/mounts"));
    if (!mounts.open(QIODevice::ReadOnly))
        return {};
    QTextStream in(&mounts);
    const QString device = QFileInfo(QString::fromStdString(drive)).canonicalFilePath();
    while (!in.atEnd()) {
        const QStringList fields = in.readLine().split(QLatin1Char(' '));
        if (fields.size() >= 2 && !device.isEmpty() &&
            QFileInfo(fields[0]).canonicalFilePath() == device)
            return QString(fields[1])
                .replace(QLatin1String("\\040"), QLatin1String(" "))
                .toStdString();
    }
    return {};
}

void VideoPlayer::LoadAlbum()
{
    if (m_vcd)
        m_vcd->close();
    if (m_loadSource == kLoadVideoCd) {
        m_album.Close();
        const std::string drive = host().settings().cdDrive;
        if (!m_vcd)
            m_vcd = std::make_unique<VcdReader>(static_cast<VcdPlayback&>(*this));
        if (m_vcd->open(drive, m_album, host().settings().dgvUseVcd2Mode != 0)) {
            UpdateIndicators();
            return;
        }
        KLOG_INFO("players", "%s is not read as a Video CD: %s", drive.c_str(),
                  m_vcd->failureText().c_str());
        // The disc's MPEGAV files, played as films: off the disc or image itself, else from
        // where a device is mounted.
        std::vector<std::string> files = engines::vcdDatLocations(drive);
        if (files.empty())
            files = VideoCdDatFiles(DiscFolder(drive));
        for (const std::string& file : files)
            m_album.AddSong(file);
        if (m_album.songCount() == 0)
            m_message = formatString(kCantPlayDisc, drive);
    } else {
        const std::string recent = m_album.GetRecentAlbum();
        m_album.Open(!recent.empty() && m_album.Exists(recent) ? recent : "Default", 0);
    }
    UpdateIndicators();
}

void VideoPlayer::ToggleVideoCdMode()
{
    if (isRecording())
        return;
    m_album.ResetPlay();
    StopPlayer(true);
    m_loadSource = m_loadSource == kLoadVideoCd ? kLoadAlbum : kLoadVideoCd;
    LoadAlbum();
    if (SkinButton* b = button(cmd::VideoCdMode))
        b->SetChecked(videoCdMode());
    RedrawDisplay();
    SetState(kModeStopped);
    if (ReaderActive())
        ReaderCommand(0);
    else if (videoCdMode() && m_album.songCount() > 0)
        OpenAndPlay(1);
}

void VideoPlayer::LeaveVideoCd()
{
    if (videoCdMode())
        ToggleVideoCdMode();
}

void VideoPlayer::StartVideoCd()
{
    if (!videoCdMode())
        ToggleVideoCdMode();
    else if (m_state == kModeStopped && ReaderActive())
        ReaderCommand(0);
    else if (m_state == kModeStopped && m_album.songCount() > 0)
        OpenAndPlay(1);
}

// ---- the Video CD reader ----

int VideoPlayer::ReaderCommand(int n)
{
    if (isRecording())
        return 0;
    if (!session()) {
        // Only one player sounds at a time.
        for (int other : {ComponentCd, ComponentAudio, ComponentMidi})
            sendToComponent(other, UM_COMMAND, MAKELPARAM(cmd::Stop, 1));
    }
    const int done = m_vcd->command(n);
    if (session()) {
        if (done) {
            m_message.clear();
            if (host().settings().viewFileInfo)
                m_engineInfo = m_vcd->infoText();
            m_position = 0;
            SetState(kModePlaying);
        }
        RedrawDisplay();
        return done;
    }
    // Nothing is open: the play sequence has ended, or what it led to cannot be played.
    if (done && m_vcd->ended()) {
        // An end list: the disc is done with, and the player goes back to its album.
        LeaveVideoCd();
        return done;
    }
    m_position = 0;
    m_playingPath.clear();
    m_engineInfo.clear();
    SetState(kModeStopped);
    if (!done) {
        KLOG_WARNING("players", "the Video CD stops: %s", m_vcd->failureText().c_str());
        m_message = formatString(kCantPlayDisc, host().settings().cdDrive);
    }
    RedrawDisplay();
    return done;
}

void VideoPlayer::ReaderPlayPause()
{
    if (m_state == kModePlaying && m_vcd->pause())
        SetState(kModePaused);
    else if (m_state == kModePaused && m_vcd->resume())
        SetState(kModePlaying);
    else if (!session() || m_state == kModeStopped)
        ReaderCommand(0);
    else
        ReaderCommand(VcdReader::kSelectDefault);
}

bool VideoPlayer::playUnit(const VcdUnit& unit, std::string* info)
{
    CloseSession();
    m_unitStopped = false;
    // The engines tell the kind by the file's name on the disc.
    if (OpenFilm({unit.uri}, unit.file) <= 0 || !session())
        return false;
    if (unit.startMs > 0)
        session()->seek(static_cast<int>(unit.startMs), false);
    if (info)
        *info = session()->infoText(true);
    return true;
}

void VideoPlayer::stopUnit()
{
    // The last picture stays.
    if (session())
        session()->pause();
    m_unitStopped = true;
}

void VideoPlayer::closeUnit()
{
    CloseSession();
    m_playingPath.clear();
    m_unitStopped = false;
}

void VideoPlayer::pauseUnit()
{
    if (session())
        session()->pause();
}

void VideoPlayer::resumeUnit()
{
    if (session())
        session()->resume();
}

int VideoPlayer::unitMode()
{
    if (!session() || m_unitStopped)
        return kModeStopped;
    const int mode = session()->mode();
    return mode > 0 ? mode : kModeOpening;
}

std::int64_t VideoPlayer::unitPositionMs()
{
    return session() ? session()->positionMs() : 0;
}

void VideoPlayer::setHotAreas(const std::vector<VcdHotArea>& areas)
{
    m_viewer->SetHotAreas(areas);
}

// ---- commands and messages ----

QString VideoPlayer::OpenFilesFilter() const
{
    return tr("Video files (*.avi *.mov *.qt *.mpe *.mpeg *.m1v *.m2v *.mpg *.dat *.vob *.rm "
              "*.ram *.rmvb *.swf *.m3u *.pls);;All files (*)");
}

bool VideoPlayer::OnPlayerCommand(int id)
{
    // A Video CD's play sequence takes the transport commands (track mode: Stop stays Stop).
    if (ReaderActive() && !isRecording()) {
        switch (id) {
        case cmd::Play:
            ReaderPlayPause();
            return true;
        case cmd::Pause:
            if (m_state == kModePlaying && m_vcd->pause())
                SetState(kModePaused);
            else if (m_state == kModePaused && m_vcd->resume())
                SetState(kModePlaying);
            return true;
        case cmd::Next:
            ReaderCommand(VcdReader::kNextList);
            return true;
        case cmd::Previous:
            ReaderCommand(VcdReader::kPreviousList);
            return true;
        case cmd::Stop:
            if (m_vcd->mode() == VcdReader::ModeTracks)
                break;
            ReaderCommand(VcdReader::kReturn);
            return true;
        default:
            break;
        }
    }
    switch (id) {
    case cmd::Open:
        OpenFiles();
        return true;
    case cmd::Power:
        // Switched off, the player has no ticks to put the viewer away: it goes with the film.
        m_album.ResetPlay();
        StopPlayer(true);
        HideViewer();
        return false; // the frame switches the component off
    case cmd::PlayPending:
        m_loadSource = kLoadPendingFile;
        if (SkinButton* b = button(cmd::VideoCdMode))
            b->SetChecked(false);
        return false; // the frame plays it
    case cmd::ViewerSize:
        CycleSizeMode();
        return true;
    case cmd::Fast:
        SetSpeed(FasterSpeed(m_speed));
        return true;
    case cmd::Slow:
        SetSpeed(SlowerSpeed(m_speed));
        return true;
    case cmd::FrameForward:
        FrameStep(false);
        return true;
    case cmd::FrameBackward:
        FrameStep(true);
        return true;
    case cmd::Capture:
        Capture();
        return true;
    case cmd::DriverConfiguration:
        Configure();
        return true;
    case cmd::VideoCdMode:
        ToggleVideoCdMode();
        return true;
    case cmd::VideoCdPlay:
        StartVideoCd();
        return true;
    default:
        return false;
    }
}

void VideoPlayer::OnViewerInput(WPARAM kind, LPARAM value)
{
    if (ReaderActive() && kind == 1 && value >= -4 && value <= -1) {
        constexpr int kCommands[] = {cmd::Previous, cmd::Next, cmd::Stop, cmd::Play};
        // Only Stop in track mode is left to the frame.
        if (!OnPlayerCommand(kCommands[value + 4]))
            StopPlayer(true);
        return;
    }
    if (ReaderActive() && kind == 1 && value >= 1) {
        ReaderCommand(static_cast<int>(value));
        return;
    }
    if (kind == 1) {
        switch (value) {
        case -5:
            Pause();
            break;
        case -4:
            Previous(true);
            break;
        case -3:
            Next(true);
            break;
        case -2:
            StopPlayer(true);
            break;
        case -1:
            PlayPause();
            break;
        default:
            if (value >= 1 && value <= m_album.songCount())
                OpenAndPlay(static_cast<int>(value));
            break;
        }
    } else if (kind == 33) {
        if (value == 0x1B) {
            if (videoCdMode())
                ToggleVideoCdMode();
            else
                StopPlayer(true);
            return;
        }
        // 1-9 on the main keyboard and on the keypad.
        int n = 0;
        if (value >= 0x31 && value <= 0x39)
            n = static_cast<int>(value) - 0x30;
        else if (value >= 0x61 && value <= 0x69)
            n = static_cast<int>(value) - 0x60;
        if (n >= 1 && ReaderActive())
            ReaderCommand(n);
        else if (n >= 1 && n <= m_album.songCount())
            OpenAndPlay(n);
    }
}

bool VideoPlayer::OnPlayerMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    switch (msg) {
    case UM_CYCLE_VIEWER_SIZE:
        CycleSizeMode();
        result = 0;
        return true;
    case UM_CONTROL_CLICK:
        if (static_cast<int>(wParam) != cmd::SpeedDisplay)
            return false;
        ShowSpeedMenu();
        result = 0;
        return true;
    case UM_VIEWER_INPUT:
        OnViewerInput(wParam, lParam);
        result = 0;
        return true;
    case UM_DISC_CHANGE:
        m_discPresent = wParam != 0;
        if (videoCdMode()) {
            // Another disc (or none): its album.
            m_album.ResetPlay();
            StopPlayer(true);
            LoadAlbum();
            RedrawDisplay();
        } else if (m_discPresent && record().enable && host().settings().autoRun == 1 &&
                   (!engines::vcdDatLocations(host().settings().cdDrive).empty() ||
                    !VideoCdDatFiles(DiscFolder(host().settings().cdDrive)).empty())) {
            StartVideoCd();
        }
        result = 0;
        return true;
    default:
        return false;
    }
}

LRESULT VideoPlayer::onMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (isEngineNotification(msg)) {
        const int event = LOWORD(wParam);
        // Event 3 with bit 1, from the viewer: the picture was clicked in full screen.
        if (event == 3) {
            if (HIWORD(wParam) == cookie() && (lParam & 2))
                SetSizeMode(1);
            return 0;
        }
        const LRESULT r = PlayerFrame::onMessage(msg, wParam, lParam);
        // The film is ready or playing: the viewer fits its picture.
        if (event == kEventMode && (lParam == kModeOpening || lParam == kModePlaying) && session())
            ApplySizeMode();
        return r;
    }
    return PlayerFrame::onMessage(msg, wParam, lParam);
}

LRESULT VideoPlayer::OnComponentCommand(LPARAM lParam)
{
    const int id = LOWORD(lParam);
    const int arg = HIWORD(lParam);
    if (!record().enable && id != cmd::Power)
        return 0;
    if (id == cmd::Play && arg >= 1 && arg <= m_album.songCount()) {
        if (ReaderActive())
            ReaderCommand(arg);
        else
            OpenAndPlay(arg);
        return 1;
    }
    if (id == cmd::VideoCdPlay && arg == 0xFFFF) {
        if (!videoCdMode())
            StartVideoCd();
        return 1;
    }
    if (id == cmd::Stop && arg == 1) {
        if (m_state == kModeStopped && !videoCdMode())
            return 1;
        if (videoCdMode()) {
            ToggleVideoCdMode();
            return 1;
        }
    }
    if (id == cmd::VideoCdMode && arg == 1)
        return videoCdMode() ? 1 : 0;
    sendMessage(WM_COMMAND, static_cast<WPARAM>(id), 0);
    return 1;
}

void VideoPlayer::OnTick()
{
    if (!ReaderActive() || !record().enable || m_state == kModeNotReady || isRecording()) {
        PlayerFrame::OnTick();
        return;
    }
    // The reader's poll gives the position and the end of its unit (after the unit's wait).
    ForwardTickToPanel();
    if (m_state == kModePlaying || m_state == kModePaused) {
        m_vcd->poll();
        m_position = static_cast<int>(m_vcd->positionMs() / 1000);
        if (m_state == kModePlaying && m_vcd->state() == kModeStopped &&
            !ReaderCommand(VcdReader::kNextItem) && session()) {
            // Nothing follows the unit: the play sequence is over, and so is Video CD mode.
            LeaveVideoCd();
        }
        RedrawDisplay();
    }
    OnPlayerTick();
}

void VideoPlayer::OnPlayerTick()
{
    // The viewer shows while a film is open and goes when it has ended or stopped.
    const bool open =
        session() && (m_state == kModePlaying || m_state == kModePaused || m_state == kModeOpening);
    if (!open && m_viewer->isVisible())
        HideViewer();
}

void VideoPlayer::HideViewer()
{
    if (!m_viewer->isVisible())
        return;
    m_viewer->SaveRect();
    if (m_viewer->isFullScreenMode())
        m_viewer->SetFullScreen(false);
    m_viewer->hide();
    m_viewer->Reset();
    m_speedDisplay->SetLit(false);
}
