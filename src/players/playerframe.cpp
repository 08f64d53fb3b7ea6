#include "players/playerframe.h"

#include "albums/mediakind.h"
#include "albums/programdialog.h"
#include "albums/quickselect.h"
#include "albums/songname.h"
#include "engines/engineapi.h"
#include "platform/drives.h"
#include "platform/msgbox.h"
#include "platform/strings.h"
#include "platform/trace.h"
#include "players/lyricviewer.h"
#include "ui/displaypanel.h"
#include "ui/skin.h"
#include "ui/skinslots.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QPainter>
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
                         const ButtonDescriptor* buttons, int panelKind, bool hasLyricViewer)
    : ComponentWnd(index, host, parent, skin::kPanelBackground)
    , m_album(kind)
{
    setAcceptDrops(true);
    createButtons(buttons);
    m_panel = new DisplayPanel(panelKind, QRect(QPoint(40, 4), DisplayPanel::kDefaultSize), this);
    if (hasLyricViewer)
        m_lyric = std::make_unique<LyricViewer>(index);
    UpdateIndicators();
}

// Each player stops itself in its own destructor: by the time this one runs, the engines of
// the player are gone.
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

int PlayerFrame::OpenAndPlay(int n)
{
    // Only one player sounds at a time.
    for (int other : kOtherPlayers)
        if (other != componentIndex())
            sendToComponent(other, UM_COMMAND, MAKELPARAM(cmd::Stop, 1));
    n = std::clamp(n, 1, std::max(1, m_album.songCount()));
    ClearLyric();
    CloseEngines();
    m_engineInfo.clear();
    m_album.setCurrentSong(n);
    m_message.clear();
    const SongEntry* song = m_album.GetSong(n);
    const std::string path = song ? song->title : std::string();

    std::vector<std::string> candidates{path};
    for (std::string& alternative : drives::AlternatePaths(path))
        candidates.push_back(std::move(alternative));
    for (const std::string& candidate : candidates) {
        if (candidate.empty())
            break;
        const std::int32_t result = OpenEngines(candidate);
        if (result > 0) {
            trace("play component=%d song=%d path=%s", componentIndex(), n, candidate.c_str());
            m_message.clear();
            m_playingPath = candidate;
            if (host().settings().displayLyric)
                ShowLyricFor(candidate);
            const int mode = EngineMode();
            SetState(mode ? mode : kStatePlaying);
            return 1;
        }
        CloseEngines();
        if (!IsFileNotReachable(result))
            break;
    }
    FailedToPlay(n, path);
    return 0;
}

void PlayerFrame::FailedToPlay(int n, const std::string& path)
{
    m_message = format(playertext::CantPlay, n, SongDisplayName(path, false));
    m_playingPath.clear();
    SetState(kStateStopped);
}

void PlayerFrame::SetState(int state)
{
    if (state != m_state)
        trace("state component=%d state=%d song=%d path=%s", componentIndex(), state,
              m_album.currentSong(), m_playingPath.c_str());
    m_state = state;
    m_panel->SetState(state);
    switch (state) {
    case kStatePlaying:
        m_info = BuildInfoText();
        m_panel->SetInfoText(m_info);
        break;
    case kStateStopped:
        m_info = BuildInfoText();
        m_panel->SetInfoText(m_info);
        break;
    case kStateOpening:
        m_info = LoadString(playertext::ContactingHost);
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

void PlayerFrame::Next(bool user)
{
    if (IsRecording())
        return;
    const ComponentRecord& r = record();
    const auto method = static_cast<PlayMethod>(r.playMode);
    const auto repeat = static_cast<RepeatMode>(r.repeat);
    if (m_state == kStateStopped) {
        m_album.Next(method, repeat, user);
        m_message.clear();
        SetState(kStateStopped);
        return;
    }
    if (GotoNextClip())
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
    if (IsRecording())
        return;
    const ComponentRecord& r = record();
    const auto method = static_cast<PlayMethod>(r.playMode);
    const auto repeat = static_cast<RepeatMode>(r.repeat);
    if (m_state == kStateStopped) {
        m_album.Previous(method, repeat, user);
        SetState(kStateStopped);
        return;
    }
    // Only a song that is heard restarts; a paused one gives way to the one before it.
    if (m_state == kStatePlaying && m_position > kRestartAfterSeconds) {
        OpenAndPlay(m_album.currentSong());
        return;
    }
    if (GotoPrevClip())
        return;
    const int n = m_album.Previous(method, repeat, user);
    if (n > 0)
        OpenAndPlay(n);
    else
        StopPlayer(false);
}

void PlayerFrame::StopPlayer(bool /*user*/)
{
    if (m_state == kStatePlaying || m_state == kStatePaused || m_state == kStateOpening) {
        CloseEngines();
        m_position = 0;
    } else if (m_state == kStateStopped) {
        m_album.ResetPlay();
    }
    m_message.clear();
    m_info.clear();
    m_engineInfo.clear();
    m_playingPath.clear();
    m_panel->SetEffectActive(false);
    if (m_state != kStateNotReady)
        SetState(kStateStopped);
    ClearLyric();
}

void PlayerFrame::Pause()
{
    switch (m_state) {
    case kStatePlaying:
        EnginePause();
        SetState(kStatePaused);
        break;
    case kStatePaused:
        PlayPause();
        break;
    default:
        break;
    }
}

void PlayerFrame::PlayPause()
{
    switch (m_state) {
    case kStateStopped: {
        const int n = m_album.Current(static_cast<PlayMethod>(record().playMode));
        OpenAndPlay(n ? n : 1);
        break;
    }
    case kStatePlaying:
        Pause();
        break;
    case kStatePaused:
        EngineResume();
        SetState(kStatePlaying);
        break;
    default:
        break;
    }
}

void PlayerFrame::FastForward()
{
    if (m_state != kStatePlaying && m_state != kStatePaused)
        return;
    const int target = EnginePositionMs() + kSeekStepMs;
    const SongEntry* song = m_album.GetSong(m_album.currentSong());
    const int length = EngineLengthMs() > 0 ? EngineLengthMs() : (song ? song->lengthMs : 0);
    if (length > 0 && target >= length) {
        Next(true);
        return;
    }
    EngineSeek(target);
}

void PlayerFrame::Rewind()
{
    if (m_state != kStatePlaying && m_state != kStatePaused)
        return;
    const int target = EnginePositionMs() - kSeekStepMs;
    EngineSeek(target < 1 ? 0 : target);
}

void PlayerFrame::SeekSlider(int seconds)
{
    if (m_state != kStatePlaying && m_state != kStatePaused)
        return;
    EngineSeek(seconds * 1000);
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
        if (m_state != kStateNotReady)
            SetState(kStateNotReady);
        return;
    }
    if (m_state == kStateNotReady) {
        SetState(kStateStopped);
        if (host().startMode() == componentIndex()) {
            host().startMode() = -1;
            PlayPause();
        }
    }
    m_panel->sendMessage(WM_TIMER, DisplayPanel::kTickTimerId, 0);
    if (IsRecording())
        return;
    const int mode = EngineMode();
    if (mode != 0) {
        if (mode == kStateStopped && m_state == kStatePlaying) {
            Next(false);
            return;
        }
        if (mode != m_state && m_state != kStateOpening)
            SetState(mode);
    }
    if (m_state == kStatePlaying) {
        m_position = EnginePositionMs() / 1000;
        RedrawDisplay();
    }
}

void PlayerFrame::OnEngineNotification(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if ((m_state != kStatePlaying && m_state != kStateOpening) || HIWORD(wParam) != m_cookie)
        return;
    const int event = LOWORD(wParam);
    if (event == 1) {
        if (!OnEngineReady(msg, static_cast<int>(lParam))) {
            CloseEngines();
            FailedToPlay(m_album.currentSong(), m_playingPath);
            return;
        }
        if (host().settings().viewFileInfo)
            m_engineInfo = EngineInfoText();
        if (SongEntry* song = m_album.GetSong(m_album.currentSong()))
            song->lengthMs = std::max(0, EngineLengthMs());
        m_message.clear();
        trace("sound component=%d song=%d", componentIndex(), m_album.currentSong());
        SetState(kStatePlaying);
    } else if (event == 2) {
        const std::string path = m_playingPath;
        CloseEngines();
        FailedToPlay(m_album.currentSong(), path);
    }
}

bool PlayerFrame::OnEngineReady(UINT, int)
{
    return true;
}

bool PlayerFrame::OnPlayerCommand(int)
{
    return false;
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
        ShowNotAvailableYet();
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
    if (id == cmd::Stop && arg == 1 && m_state == kStateStopped)
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
    status.playingName = m_playingPath.empty()
                             ? std::string()
                             : SongDisplayName(m_playingPath, host().settings().viewId3Tag != 0);
    status.albumTitle = m_album.title();
    status.albumArtist = m_album.artist();
}

LRESULT PlayerFrame::onMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (IsEngineNotification(msg)) {
        OnEngineNotification(msg, wParam, lParam);
        return 0;
    }
    switch (msg) {
    case WM_TIMER:
        if (wParam == 300)
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
        if ((m_state == kStatePlaying || m_state == kStatePaused) &&
            (s.viewFileInfo || s.viewId3Tag))
            m_engineInfo = EngineInfoText();
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
    if (IsRecording())
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
    SetState(kStateStopped);
    PlayPause();
}

void PlayerFrame::LoadStartAlbum()
{
    const std::string& file = host().pendingFile();
    if (host().startMode() == componentIndex() && !file.empty()) {
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
    SetState(kStateStopped);
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
