#include "players/playerframe.h"

#include "albums/filealbumeditor.h"
#include "albums/mediakind.h"
#include "albums/playlist.h"
#include "albums/programdialog.h"
#include "albums/quickselect.h"
#include "albums/songname.h"
#include "engines/engineapi.h"
#include "platform/drives.h"
#include "platform/log.h"
#include "platform/msgbox.h"
#include "platform/strings.h"
#include "platform/trace.h"
#include "players/lyricviewer.h"
#include "ui/displaypanel.h"
#include "ui/skin.h"
#include "ui/skinslots.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kOtherPlayers[] = {ComponentCd, ComponentAudio, ComponentMidi, ComponentVideo};
constexpr int kSeekStepMs = 10000;
constexpr int kRestartAfterSeconds = 5;
const char* const kItemGap = "        "; // eight blanks between the items of the line

int g_modalDepth = 0;

std::string trimmed(const std::string& s)
{
    const auto first = s.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    const auto last = s.find_last_not_of(" \t\r\n");
    return s.substr(first, last - first + 1);
}

// One item of the information line: "label : value", the value alone without a label, nothing
// for an empty value.
void addItem(std::string& line, UINT labelId, const std::string& value)
{
    const std::string v = trimmed(value);
    if (v.empty())
        return;
    if (!line.empty())
        line += kItemGap;
    if (labelId)
        line += LoadString(labelId) + " : ";
    line += v;
}

std::string fileName(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The string table's formats are ours and their specifiers are checked against English, so a
// text fills like the program's own printf.
std::string format(UINT id, int number, const std::string& text)
{
    const std::string f = LoadString(id);
    const int size = std::snprintf(nullptr, 0, f.c_str(), number, text.c_str());
    std::string out(static_cast<size_t>(std::max(size, 0)), '\0');
    std::snprintf(out.data(), out.size() + 1, f.c_str(), number, text.c_str());
    return out;
}

} // namespace

ModalGuard::ModalGuard()
    : m_entered(g_modalDepth == 0)
{
    ++g_modalDepth;
}

ModalGuard::~ModalGuard()
{
    --g_modalDepth;
}

PlayerFrame::PlayerFrame(int index, AlbumKind kind, PlayerHost& host, QWidget* parent,
                         const ButtonDescriptor* buttons, bool hasLyricViewer)
    : ComponentWnd(index, host, parent, skin::kPanelBackground)
    , m_album(kind)
{
    setAcceptDrops(true);
    createButtons(buttons);
    m_panel = new DisplayPanel(index, QRect(QPoint(40, 4), DisplayPanel::kDefaultSize), this);
    if (hasLyricViewer)
        m_lyric = std::make_unique<LyricViewer>(index);
    if (m_lyric) {
        connect(m_lyric.get(), &LyricViewer::dismissed, this, [this] {
            if (SkinButton* toggle = button(cmd::Lyric); toggle && toggle->IsChecked())
                OnCommand(cmd::Lyric);
            else
                ClearLyric();
        });
    }
    // A click on the panel gives it the keyboard, so the keys reach the player clicked last.
    setFocusPolicy(Qt::ClickFocus);
    UpdateIndicators();
}

// Each player stops itself in its own destructor, while its own hooks (recording, the CD
// device) still run; the session, if one is left, closes with the frame.
PlayerFrame::~PlayerFrame()
{
    deleteButtons();
}

ComponentRecord& PlayerFrame::record() const
{
    return host().settings().components[componentIndex()];
}

int PlayerFrame::nextCookie()
{
    m_cookie = (m_cookie + 1) & 0xFFFF;
    return m_cookie;
}

engines::SessionContext PlayerFrame::sessionContext()
{
    engines::SessionContext context;
    context.window = handle();
    context.settings = &host().settings();
    return context;
}

void PlayerFrame::StopOtherPlayers()
{
    for (int other : kOtherPlayers)
        if (other != componentIndex() && StopsBeforePlaying(other))
            sendToComponent(other, UM_COMMAND, MAKELPARAM(cmd::Stop, 1));
}

int PlayerFrame::OpenAndPlay(int n)
{
    StopOtherPlayers();
    n = std::clamp(n, 1, std::max(1, m_album.songCount()));
    ClearLyric();
    CloseSession();
    m_album.setCurrentSong(n);
    m_message.clear();
    m_playingPath.clear();
    const std::int32_t result = OpenTrack(n);
    if (result > 0 && m_session) {
        trace("play component=%d song=%d path=%s", componentIndex(), n, m_playingPath.c_str());
        if (host().settings().displayLyric && !m_playingPath.empty())
            ShowLyricFor(m_playingPath);
        const int mode = m_session->mode();
        SetState(mode > 0 ? mode : kModePlaying);
        return 1;
    }
    CloseSession();
    FailedToPlay(n, engines::describeResult(result));
    return 0;
}

std::vector<std::string> PlayerFrame::SongPaths(int n) const
{
    const SongEntry* song = m_album.GetSong(n);
    if (!song || song->title.empty())
        return {};
    std::vector<std::string> candidates{song->title};
    for (std::string& alternative : drives::AlternatePaths(song->title))
        candidates.push_back(std::move(alternative));
    return candidates;
}

std::int32_t PlayerFrame::OpenTrack(int n)
{
    const std::vector<std::string> candidates = SongPaths(n);
    if (candidates.empty())
        return 0;
    const std::string& path = candidates.front();
    const engines::EngineOrder order = EnginesFor(path);
    engines::OpenOutcome outcome;
    for (const std::string& candidate : candidates) {
        outcome =
            engines::openFirst(order, sessionContext(), candidate, [this] { return nextCookie(); });
        if (outcome.session) {
            m_playingPath = candidate;
            adoptSession(std::move(outcome.session), outcome.result);
            return outcome.result;
        }
        if (!IsFileNotReachable(outcome.result))
            break;
    }
    if (!outcome.why.empty())
        KLOG_WARNING("players", "cannot play %s: %s", path.c_str(), outcome.why.c_str());
    if (outcome.failure == engines::OpenFailure::SoundOutput && !host().soundOutputProblemTold) {
        host().soundOutputProblemTold = true;
        // After the open has unwound: the box is modal and the tick goes on under it.
        QTimer::singleShot(0, this, [this, why = outcome.why] { TellSoundOutputProblem(why); });
    }
    return outcome.result;
}

void PlayerFrame::TellSoundOutputProblem(const std::string& why)
{
    KolvoMessageBox(this,
                    tr("Kolvo cannot open the sound output, so nothing can be played.\n"
                       "Is the sound server (PulseAudio or PipeWire) running?\n\n%1")
                        .arg(QString::fromStdString(why)),
                    MessageIcon::Warning);
}

engines::EngineOrder PlayerFrame::EnginesFor(const std::string& path) const
{
    const AlbumKind kind = m_album.kind();
    return engines::engineOrder(kind, MediaKindOf(kind, path), host().settings());
}

std::string PlayerFrame::TrackName(int n) const
{
    const SongEntry* song = m_album.GetSong(n);
    return song ? SongDisplayName(song->title, false) : std::string();
}

void PlayerFrame::adoptSession(std::unique_ptr<engines::Session> session, std::int32_t result)
{
    m_session = std::move(session);
    m_engineInfo.clear();
    if (m_session->knowsLengthAtOpen(result)) {
        m_engineInfo = m_session->infoText(true);
        if (SongEntry* song = m_album.GetSong(m_album.currentSong()))
            song->lengthMs = std::max(0, m_session->lengthMs());
    }
    m_panel->SetEffectActive(m_session->runsInternalEffects());
}

void PlayerFrame::CloseSession()
{
    m_session.reset();
    m_engineInfo.clear();
    m_panel->SetEffectActive(false);
}

void PlayerFrame::FailedToPlay(int n, const std::string& why)
{
    KLOG_INFO("players", "track %d of component %d failed: %s", n, componentIndex(), why.c_str());
    m_message = format(playertext::CantPlay, n, TrackName(n));
    m_playingPath.clear();
    SetState(kModeStopped);
}

void PlayerFrame::SetState(int state)
{
    if (state != m_state)
        trace("state component=%d state=%d song=%d path=%s", componentIndex(), state,
              m_album.currentSong(), m_playingPath.c_str());
    m_state = state;
    m_panel->SetState(state);
    switch (state) {
    case kModePlaying:
        m_info = BuildInfoText();
        m_panel->SetInfoText(m_info);
        break;
    case kModeStopped:
        m_info = BuildInfoText();
        m_panel->SetInfoText(m_info);
        break;
    case kModeRecording:
        m_info = formatString(playertext::RecordingTo, SongDisplayName(RecordingPath(), false)) +
                 kItemGap;
        m_panel->SetInfoText(m_info);
        break;
    case kModeOpening:
        m_info = OpeningText();
        m_panel->SetInfoText(m_info);
        break;
    default:
        break;
    }
    RedrawDisplay();
}

std::string PlayerFrame::BuildInfoText() const
{
    const AppSettings& s = host().settings();
    std::string line;
    if (const SongEntry* song = m_album.GetSong(m_album.currentSong())) {
        if (s.viewTitle)
            addItem(line, 2029, fileName(song->title));
        if (s.viewDescription)
            addItem(line, 2047, song->extendedInfo);
        if (s.viewFileInfo || s.viewId3Tag)
            addItem(line, 0, m_engineInfo);
        addItem(line, 2038, m_message);
        return line;
    }
    if (s.viewAlbumTitle)
        addItem(line, 2023, m_album.title());
    if (s.viewAlbumSinger)
        addItem(line, 2024, m_album.artist());
    if (s.viewAlbumDescription)
        addItem(line, 2047, m_album.extendedInfo());
    if (s.viewAlbumGenre)
        addItem(line, 2075, m_album.genre());
    addItem(line, 2038, m_message);
    if (m_album.songCount() == 0)
        addItem(line, 0, LoadString(EmptyAlbumHintId()));
    return line;
}

void PlayerFrame::RedrawDisplay()
{
    AlbumView view;
    view.songCount = m_album.songCount();
    view.currentSong = m_album.currentSong();
    long long total = 0;
    view.tracks.resize(static_cast<size_t>(view.songCount));
    for (int i = 1; i <= view.songCount; ++i) {
        const SongEntry* song = m_album.GetSong(i);
        total += song->lengthMs;
        TrackCell& cell = view.tracks[static_cast<size_t>(i - 1)];
        cell.programmed = m_album.IsInProgram(i);
        cell.played = m_album.randomPicker().isDrawn(i - 1);
        cell.playable = m_album.MediaKindOf(song->title) != MediaKindNone;
    }
    if (const SongEntry* current = m_album.GetSong(view.currentSong))
        view.currentSongLengthMs = current->lengthMs;
    view.totalLengthSeconds = static_cast<int>(total / 1000);
    m_panel->Update(view, m_position, record().timeMode, true);
}

void PlayerFrame::UpdateIndicators()
{
    ComponentRecord& r = record();
    if (r.playMode == PlayMethodProgram && m_album.programCount() == 0)
        r.playMode = PlayMethodNormal;
    m_panel->SetRepeat(r.repeat);
    m_panel->SetPlayMethod(r.playMode);
    // The buttons tell what they are set to.
    auto tip = [this](int commandId, UINT textId, int value) {
        if (SkinButton* b = button(commandId))
            b->setToolTip(LoadQString(textId) + LoadQString(textId + 1 + value));
    };
    tip(cmd::Repeat, playertext::RepeatTip, std::clamp(r.repeat, 0, 2));
    tip(cmd::PlayMethod, playertext::PlayMethodTip, std::clamp(r.playMode, 0, 3));
    tip(cmd::TimeDisplay, playertext::TimeDisplayTip, std::clamp(r.timeMode, 0, 1));
}

bool PlayerFrame::isRecording() const
{
    return m_state == kModeRecording || (m_state == kModePaused && m_recordingPaused);
}

void PlayerFrame::BeginRecordingState()
{
    m_recordingPaused = false;
    SetState(kModeRecording);
}

void PlayerFrame::Next(bool user)
{
    if (isRecording())
        return;
    const ComponentRecord& r = record();
    const auto method = static_cast<PlayMethod>(r.playMode);
    const auto repeat = static_cast<RepeatMode>(r.repeat);
    if (m_state == kModeStopped) {
        m_album.Next(method, repeat, user);
        m_message.clear();
        SetState(kModeStopped);
        return;
    }
    if (m_session && m_session->nextClip())
        return;
    const int n = m_album.Next(method, repeat, user);
    if (n > 0)
        OpenAndPlay(n);
    else
        StopPlayer(false);
}

void PlayerFrame::ShowNotAvailableYet()
{
    ModalGuard guard;
    if (guard.entered())
        KolvoMessageBox(this, LoadQString(playertext::NotAvailableYet), MessageIcon::Information);
}

void PlayerFrame::Previous(bool user)
{
    if (isRecording())
        return;
    const ComponentRecord& r = record();
    const auto method = static_cast<PlayMethod>(r.playMode);
    const auto repeat = static_cast<RepeatMode>(r.repeat);
    if (m_state == kModeStopped) {
        m_album.Previous(method, repeat, user);
        SetState(kModeStopped);
        return;
    }
    // Only a song that is heard restarts; a paused one gives way to the one before it.
    if (m_state == kModePlaying && m_position > kRestartAfterSeconds) {
        OpenAndPlay(m_album.currentSong());
        return;
    }
    if (m_session && m_session->prevClip())
        return;
    const int n = m_album.Previous(method, repeat, user);
    if (n > 0)
        OpenAndPlay(n);
    else
        StopPlayer(false);
}

void PlayerFrame::StopPlayer(bool user)
{
    if (isRecording()) {
        EndRecording(user);
        m_recordingPaused = false;
    } else if (m_state == kModePlaying || m_state == kModePaused || m_state == kModeOpening) {
        CloseSession();
        m_position = 0;
    } else if (m_state == kModeStopped) {
        m_album.ResetPlay();
    }
    m_message.clear();
    m_info.clear();
    m_engineInfo.clear();
    m_playingPath.clear();
    m_panel->SetEffectActive(false);
    SetState(StateAfterStop());
    ClearLyric();
}

void PlayerFrame::Pause()
{
    switch (m_state) {
    case kModePlaying:
        if (m_session)
            m_session->pause();
        SetState(kModePaused);
        break;
    case kModePaused:
        if (m_recordingPaused) {
            m_recordingPaused = false;
            ResumeRecording();
            SetState(kModeRecording);
        } else {
            PlayPause();
        }
        break;
    case kModeRecording:
        m_recordingPaused = true;
        PauseRecording();
        SetState(kModePaused);
        break;
    default:
        break;
    }
}

void PlayerFrame::PlayPause()
{
    switch (m_state) {
    case kModeStopped: {
        const int n = m_album.Current(static_cast<PlayMethod>(record().playMode));
        OpenAndPlay(n ? n : 1);
        break;
    }
    case kModePlaying:
        Pause();
        break;
    case kModePaused:
        if (m_recordingPaused)
            break;
        if (m_session)
            m_session->resume();
        SetState(kModePlaying);
        break;
    default:
        break;
    }
}

std::string PlayerFrame::OpeningText() const
{
    return LoadString(playertext::ContactingHost);
}

void PlayerFrame::SeekTo(int ms, bool keepPause)
{
    if (m_session)
        m_session->seek(ms, keepPause && m_state == kModePaused);
}

void PlayerFrame::FastForward()
{
    if ((m_state != kModePlaying && m_state != kModePaused) || !m_session)
        return;
    const int target = m_session->positionMs() + kSeekStepMs;
    const SongEntry* song = m_album.GetSong(m_album.currentSong());
    const int engineLength = m_session->lengthMs();
    const int length = engineLength > 0 ? engineLength : (song ? song->lengthMs : 0);
    if (length > 0 && target >= length) {
        Next(true);
        return;
    }
    SeekTo(target, FastSeekKeepsPause());
}

void PlayerFrame::Rewind()
{
    if ((m_state != kModePlaying && m_state != kModePaused) || !m_session)
        return;
    const int target = m_session->positionMs() - kSeekStepMs;
    SeekTo(target < 1 ? 0 : target, FastSeekKeepsPause());
}

void PlayerFrame::SeekSlider(int seconds)
{
    if (m_state != kModePlaying && m_state != kModePaused)
        return;
    SeekTo(seconds * 1000, true);
    m_position = seconds;
    RedrawDisplay();
}

void PlayerFrame::CycleRepeat()
{
    ComponentRecord& r = record();
    r.repeat = (r.repeat + 1) % 3;
    UpdateIndicators();
}

void PlayerFrame::CyclePlayMethod()
{
    ComponentRecord& r = record();
    r.playMode = (r.playMode + 1) % 4;
    if (r.playMode == PlayMethodProgram && m_album.programCount() == 0)
        r.playMode = PlayMethodThisTrackOnly;
    UpdateIndicators();
    RedrawDisplay();
}

void PlayerFrame::CycleTimeDisplay()
{
    ComponentRecord& r = record();
    r.timeMode = r.timeMode ? 0 : 1;
    UpdateIndicators();
    SetState(m_state);
}

void PlayerFrame::OnTick()
{
    if (!record().enable) {
        if (m_state != kModeNotReady)
            SetState(kModeNotReady);
        return;
    }
    if (m_state == kModeNotReady) {
        SetState(kModeStopped);
        if (OwnsStartMode(host().startMode())) {
            host().startMode() = StartModeNone;
            PlayPause();
        }
    }
    ForwardTickToPanel();
    if (isRecording()) {
        OnRecordingTick();
        OnPlayerTick();
        return;
    }
    const int mode = m_session ? m_session->mode() : 0;
    if (mode > 0) {
        if (mode == kModeStopped && m_state == kModePlaying) {
            Next(false);
            return;
        }
        if (mode != m_state)
            SetState(mode);
    }
    if (m_state == kModePlaying && m_session) {
        m_position = m_session->positionMs() / 1000;
        RedrawDisplay();
    }
    OnPlayerTick();
}

void PlayerFrame::ForwardTickToPanel()
{
    m_panel->sendMessage(WM_TIMER, kTickTimerId, 0);
}

void PlayerFrame::OnEngineNotification(WPARAM wParam, LPARAM lParam)
{
    if ((m_state != kModePlaying && m_state != kModeOpening) || HIWORD(wParam) != m_cookie ||
        !m_session)
        return;
    const int event = LOWORD(wParam);
    const int mode = static_cast<int>(lParam);
    if (event == kEventMode && (mode == kModeOpening || mode == kModePlaying)) {
        if (!m_session->ready(mode)) {
            CloseSession();
            FailedToPlay(m_album.currentSong(), "it could not start once it was ready");
            return;
        }
        if (host().settings().viewFileInfo)
            m_engineInfo = m_session->infoText();
        if (SongEntry* song = m_album.GetSong(m_album.currentSong()))
            song->lengthMs = std::max(0, m_session->lengthMs());
        m_message.clear();
        trace("sound component=%d song=%d", componentIndex(), m_album.currentSong());
        SetState(kModePlaying);
    } else if (event == kEventFailed) {
        // The engine has logged what went wrong; the player's line says which track.
        CloseSession();
        FailedToPlay(m_album.currentSong(), engines::describeResult(static_cast<int>(lParam)));
    }
    // Event 1 with 525, the end of the song, is the tick's to act on: it moves to the next
    // song under the play method, which a notification must not do twice.
}

bool PlayerFrame::OnPlayerCommand(int)
{
    return false;
}

bool PlayerFrame::OnPlayerMessage(UINT, WPARAM, LPARAM, LRESULT&)
{
    return false;
}

bool PlayerFrame::HandleKey(int key)
{
    switch (key) {
    case Qt::Key_Space:
        OnCommand(cmd::Play);
        return true;
    case Qt::Key_Left:
        OnCommand(cmd::Rewind);
        return true;
    case Qt::Key_Right:
        OnCommand(cmd::FastForward);
        return true;
    case Qt::Key_Up:
    case Qt::Key_PageUp:
        OnCommand(cmd::Previous);
        return true;
    case Qt::Key_Down:
    case Qt::Key_PageDown:
        OnCommand(cmd::Next);
        return true;
    case Qt::Key_Plus:
    case Qt::Key_Equal: // "+" without Shift on most layouts
        postToController(UM_COMMAND, ComponentMixer, cmd::VolumeUp);
        return true;
    case Qt::Key_Minus:
        postToController(UM_COMMAND, ComponentMixer, cmd::VolumeDown);
        return true;
    default:
        return false;
    }
}

void PlayerFrame::keyPressEvent(QKeyEvent* e)
{
    if (e->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier) ||
        !HandleKey(e->key()))
        ComponentWnd::keyPressEvent(e);
}

void PlayerFrame::contextMenuEvent(QContextMenuEvent* e)
{
    QMenu menu(this);
    AddOwnMenuEntries(menu);
    if (!menu.isEmpty())
        menu.addSeparator();
    const auto add = [&](int id) {
        menu.addAction(LoadQString(id), this, [this, id] { OnCommand(id); });
    };
    for (int id : {cmd::Play, cmd::Stop, cmd::Previous, cmd::Next})
        add(id);
    menu.addSeparator();
    for (int id : {cmd::QuickAlbumSelect, cmd::QuickTrackSelect, cmd::AlbumManagement})
        add(id);
    menu.exec(e->globalPos());
}

void PlayerFrame::OnCommand(int id)
{
    if (OnPlayerCommand(id))
        return;
    switch (id) {
    case cmd::Power:
        m_album.ResetPlay();
        StopPlayer(true);
        postToController(UM_COMPONENT_OFF, static_cast<WPARAM>(componentIndex()), 0);
        break;
    case cmd::Play:
        PlayPause();
        break;
    case cmd::Stop:
        StopPlayer(true);
        break;
    case cmd::Pause:
        Pause();
        break;
    case cmd::Repeat:
        CycleRepeat();
        break;
    case cmd::PlayMethod:
        CyclePlayMethod();
        break;
    case cmd::TimeDisplay:
        CycleTimeDisplay();
        break;
    case cmd::PlayList:
        EditProgram();
        break;
    case cmd::Rewind:
        Rewind();
        break;
    case cmd::FastForward:
        FastForward();
        break;
    case cmd::Previous:
        Previous(true);
        break;
    case cmd::Next:
        Next(true);
        break;
    case cmd::QuickAlbumSelect:
        QuickAlbumSelect();
        break;
    case cmd::AlbumManagement:
        AlbumManagement();
        break;
    case cmd::QuickTrackSelect:
        QuickTrackSelect();
        break;
    case cmd::PlayPending:
        PlayPendingFile();
        break;
    default:
        break;
    }
}

LRESULT PlayerFrame::OnComponentCommand(LPARAM lParam)
{
    const int id = LOWORD(lParam);
    const int arg = HIWORD(lParam);
    if (!record().enable && id != cmd::Power)
        return 0;
    if (id == cmd::Play && arg >= 1 && arg <= m_album.songCount()) {
        OpenAndPlay(arg);
        return 1;
    }
    if (id == cmd::Stop && arg == 1 && m_state == kModeStopped)
        return 1;
    OnCommand(id);
    return 1;
}

void PlayerFrame::FillStatus(ComponentStatus& status) const
{
    const ComponentRecord& r = record();
    status.state = m_state;
    status.songCount = m_album.songCount();
    status.currentSong = m_album.currentSong();
    status.timeDisplay = r.timeMode;
    status.playMethod = r.playMode;
    status.repeat = r.repeat;
    status.positionSeconds = m_position;
    const SongEntry* song = m_album.GetSong(m_album.currentSong());
    status.lengthSeconds = song ? song->lengthMs / 1000 : 0;
    if (!m_playingPath.empty())
        status.playingName = SongDisplayName(m_playingPath, host().settings().viewId3Tag != 0);
    else if (m_session)
        status.playingName = TrackName(m_album.currentSong());
    status.albumTitle = m_album.title();
    status.albumArtist = m_album.artist();
}

LRESULT PlayerFrame::onMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (isEngineNotification(msg)) {
        // Another family's message is an old session's: the one open now has its own.
        if (m_session && msg == m_session->notification())
            OnEngineNotification(wParam, lParam);
        return 0;
    }
    LRESULT result = 0;
    if (OnPlayerMessage(msg, wParam, lParam, result))
        return result;
    switch (msg) {
    case WM_TIMER:
        if (wParam == kTickTimerId)
            OnTick();
        return 0;
    case WM_COMMAND:
        OnCommand(LOWORD(wParam));
        return 0;
    case UM_COMMAND:
        return OnComponentCommand(lParam);
    case UM_GET_STATUS:
        if (lParam)
            FillStatus(*reinterpret_cast<ComponentStatus*>(lParam));
        return 1;
    case UM_GET_TITLES:
        if (lParam) {
            auto* titles = reinterpret_cast<std::vector<std::string>*>(lParam);
            titles->clear();
            const bool tags = host().settings().viewInfoQuickTrack != 0;
            for (const SongEntry& song : m_album.songs())
                titles->push_back(SongDisplayName(song.title, tags));
        }
        return 1;
    case UM_SELECT_ALBUM:
        if (!record().enable)
            return 0;
        QuickAlbumSelect();
        return 1;
    case UM_SETTINGS_CHANGED: {
        const AppSettings& s = host().settings();
        if ((m_state == kModePlaying || m_state == kModePaused) &&
            (s.viewFileInfo || s.viewId3Tag) && m_session)
            m_engineInfo = m_session->infoText();
        SetState(m_state);
        update();
        return 0;
    }
    case UM_PLAY_SONG:
        OpenAndPlay(static_cast<int>(wParam));
        return 0;
    case UM_CYCLE_REPEAT:
        CycleRepeat();
        return 0;
    case UM_CYCLE_PLAY_METHOD:
        CyclePlayMethod();
        return 0;
    case UM_CYCLE_TIME_DISPLAY:
        CycleTimeDisplay();
        return 0;
    case WM_HSCROLL:
        if (LOWORD(wParam) == SB_THUMBPOSITION)
            SeekSlider(HIWORD(wParam));
        return 0;
    default:
        return ComponentWnd::onMessage(msg, wParam, lParam);
    }
}

void PlayerFrame::ClearLyric()
{
    if (m_lyric)
        m_lyric->clearLyric();
}

void PlayerFrame::ShowLyricFor(const std::string& path)
{
    if (m_lyric)
        m_lyric->showLyric(path);
}

void PlayerFrame::SaveAlbum()
{
    m_album.Save();
}

int PlayerFrame::AddFiles(const std::vector<std::string>& paths)
{
    int added = 0;
    for (const std::string& path : paths) {
        const int listKind = PlayListKind(path);
        if (listKind == PlayListKindPls || listKind == PlayListKindM3u) {
            added += m_album.Import(path, true);
        } else if (m_album.kind() != AlbumKindCd &&
                   QFileInfo(QString::fromStdString(path)).isDir()) {
            // A dropped folder gives its songs, sub-folders included, in name order.
            for (const std::string& song : CollectPlayableFiles(m_album.kind(), {path})) {
                if (!m_album.FindSong(song)) {
                    m_album.AddSong(song);
                    ++added;
                }
            }
        } else if (m_album.MediaKindOf(path) != MediaKindNone && !m_album.FindSong(path)) {
            m_album.AddSong(path);
            ++added;
        }
    }
    if (added > 0) {
        RedrawDisplay();
        SaveAlbum();
    }
    return added;
}

void PlayerFrame::PlayPendingFile()
{
    if (isRecording())
        return;
    m_album.ResetPlay();
    StopPlayer(true);
    std::string& pending = host().pendingFile();
    const std::string file = pending;
    // The album the pending file makes has no name and is never saved.
    m_album.Close();
    if (PlayListKind(file) >= 0)
        m_album.Import(file, true);
    else if (!file.empty())
        m_album.AddSong(file);
    if (host().pendingFileIsTemporary()) {
        QFile::remove(QString::fromStdString(file));
        host().pendingFileIsTemporary() = false;
    }
    UpdateIndicators();
    SetState(kModeStopped);
    PlayPause();
}

void PlayerFrame::OpenFiles()
{
    ModalGuard guard;
    if (!guard.entered())
        return;
    ComponentRecord& r = record();
    const QStringList files = QFileDialog::getOpenFileNames(
        this, LoadQString(cmd::Open), QString::fromStdString(r.initialDir), OpenFilesFilter());
    if (files.isEmpty())
        return;
    r.initialDir = QFileInfo(files.first()).absolutePath().toStdString();
    if (OpensOneListAsItIs() && files.size() == 1 &&
        PlayListKind(files.first().toStdString()) >= 0) {
        host().pendingFile() = files.first().toStdString();
        host().pendingFileIsTemporary() = false;
        BeforePlayingOpenedFiles();
        PlayPendingFile();
        return;
    }
    std::vector<std::string> paths;
    for (const QString& f : files)
        paths.push_back(f.toStdString());
    PlayTemporaryList(CollectPlayableFiles(m_album.kind(), paths));
}

void PlayerFrame::PlayTemporaryList(const std::vector<std::string>& paths)
{
    const std::string list = WriteTempPlayList(paths);
    if (list.empty())
        return;
    host().pendingFile() = list;
    host().pendingFileIsTemporary() = true;
    BeforePlayingOpenedFiles();
    PlayPendingFile();
}

QString PlayerFrame::OpenFilesFilter() const
{
    return tr("All files (*)");
}

void PlayerFrame::LoadStartAlbum()
{
    const std::string& file = host().pendingFile();
    if (OwnsStartMode(host().startMode()) && !file.empty()) {
        if (Album::IsValidKey(file) && m_album.Exists(file)) {
            m_album.Open(file, 0);
        } else {
            // A file or play list from the command line: the first tick plays it.
            m_album.Close();
            if (PlayListKind(file) >= 0)
                m_album.Import(file, true);
            else
                m_album.AddSong(file);
        }
    } else {
        const std::string recent = m_album.GetRecentAlbum();
        m_album.Open(!recent.empty() && m_album.Exists(recent) ? recent : "Default", 0);
    }
    UpdateIndicators();
    RedrawDisplay();
}

void PlayerFrame::EditProgram()
{
    if (m_album.songCount() == 0)
        return;
    ModalGuard guard;
    if (!guard.entered())
        return;
    ProgramDialog dialog(m_album, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    record().playMode = m_album.programCount() > 0 ? PlayMethodProgram : PlayMethodNormal;
    UpdateIndicators();
    RedrawDisplay();
}

void PlayerFrame::QuickAlbumSelect()
{
    ModalGuard guard;
    if (!guard.entered())
        return;
    ::QuickAlbumSelect dialog(m_album.ListAlbumKeys(), this);
    if (dialog.exec() != QDialog::Accepted || dialog.chosenKey().empty())
        return;
    StopPlayer(true);
    m_album.Open(dialog.chosenKey(), 0);
    UpdateIndicators();
    SetState(kModeStopped);
}

void PlayerFrame::AlbumManagement()
{
    // The CD Player's albums have a manager of their own; a recording appends to the album.
    if (m_album.kind() == AlbumKindCd || isRecording())
        return;
    ModalGuard guard;
    if (!guard.entered())
        return;
    const bool active =
        m_state == kModePlaying || m_state == kModePaused || m_state == kModeOpening;
    if (!active)
        StopPlayer(true);
    const int current = m_album.currentSong();
    const int programPosition = m_album.programPosition();
    const SongEntry* song = m_album.GetSong(current);
    const std::string path = song ? song->title : std::string();
    std::string chosen;
    {
        FileAlbumEditor editor(m_album.kind(), m_album.key(), host().albumEditorServices(), this);
        editor.exec();
        chosen = editor.chosenKey();
    }
    // No album to choose (an empty database): the player keeps the one it has.
    if (chosen.empty())
        return;
    m_album.Open(chosen, 0);
    m_album.setCurrentSong(current);
    if (programPosition <= m_album.programCount())
        m_album.setProgramPosition(programPosition);
    const SongEntry* now = m_album.GetSong(current);
    if (active && (!now || path.empty() || now->title != path))
        StopPlayer(true);
    UpdateIndicators();
    RedrawDisplay();
    SetState(m_state);
}

void PlayerFrame::QuickTrackSelect()
{
    ModalGuard guard;
    if (!guard.entered())
        return;
    std::vector<std::string> names;
    const bool tags = host().settings().viewId3Tag != 0;
    for (const SongEntry& song : m_album.songs())
        names.push_back(SongDisplayName(song.title, tags));
    ::QuickTrackSelect dialog(names, this);
    if (dialog.exec() == QDialog::Accepted && dialog.chosenSong() > 0)
        OpenAndPlay(dialog.chosenSong());
}

void PlayerFrame::paintEvent(QPaintEvent*)
{
    // The labels under the player settings buttons, as every player panel carries them.
    QPainter p(this);
    paintBackground(p);
    QFont f = QApplication::font();
    f.setPixelSize(10);
    p.setFont(f);
    p.setPen(Skin::instance().TextColor(skin::kPanelBackground));
    const std::pair<UINT, int> labels[] = {{2016, 70}, {2020, 140}, {2017, 210}, {2018, 280}};
    for (const auto& [id, x] : labels) {
        const QString text = LoadQString(id);
        p.drawText(x - p.fontMetrics().horizontalAdvance(text) / 2, 94, text);
    }
}

void PlayerFrame::dragEnterEvent(QDragEnterEvent* e)
{
    if (e->mimeData()->hasUrls())
        e->acceptProposedAction();
}

void PlayerFrame::dropEvent(QDropEvent* e)
{
    std::vector<std::string> paths;
    for (const QUrl& url : e->mimeData()->urls())
        paths.push_back(url.isLocalFile() ? url.toLocalFile().toStdString()
                                          : url.toString().toStdString());
    AddFiles(paths);
    e->acceptProposedAction();
}
