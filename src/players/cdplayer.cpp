#include "players/cdplayer.h"

#include "albums/cdalbummanager.h"
#include "albums/reportprint.h"
#include "albums/reportsetup.h"
#include "albums/songname.h"
#include "cddb/cdalbum.h"
#include "cddb/serverdialog.h"
#include "engines/cdaudio.h"
#include "engines/cdreader.h"
#include "engines/kcdsengine.h"
#include "platform/cdrom.h"
#include "platform/log.h"
#include "platform/strings.h"
#include "ui/buttons.h"
#include "ui/displaypanel.h"
#include "ui/skin.h"
#include "ui/skinslider.h"
#include "ui/skinslots.h"

#include <QApplication>
#include <QPainter>

#include <cctype>
#include <cstdint>

namespace {

constexpr UINT kDriveInUse = 2026; // "CD drive is being used by another application.."
constexpr UINT kEnterSongInfo = 2022;
constexpr UINT kEnterAlbumInfo = 2025;
constexpr int kIdentitySize = 80;
constexpr int kAllTracks = 0xFFFF; // UM_COMMAND Play's "only when stopped"

const engines::EngineFamily kCdAudio{"MCI", "CD audio device", nullptr};

// TMSF: the track in the low byte, then minutes, seconds and frames.
int tmsfTrack(long p)
{
    return static_cast<int>(p & 0xFF);
}
int tmsfSeconds(long p)
{
    return static_cast<int>((p >> 8) & 0xFF) * 60 + static_cast<int>((p >> 16) & 0xFF);
}
int tmsfFrames(long p)
{
    return static_cast<int>((p >> 24) & 0xFF);
}

// One play of the disc. The device is the player's and stays open between plays; a session is
// the span from starting a track to stopping, so closing it stops the device (and the
// spectrum of what it sounded).
class CdTrackSession final : public engines::Session
{
public:
    CdTrackSession(CdPlayer& player, MciDevice& device, const engines::SessionContext& context)
        : Session(kCdAudio, context)
        , m_player(player)
        , m_device(device)
    {}
    ~CdTrackSession() override
    {
        if (m_device.isOpen())
            m_device.stop();
        if (KCDSEngine_IsRunning(0))
            KCDSEngine_Stop(0);
    }
    UINT notification() const override { return 0; }
    // Tracks are played by number (CdPlayer::PlayFrom), never by path.
    std::int32_t open(const std::string&, int) override { return 0; }
    // The album holds the timing read from the disc.
    bool knowsLengthAtOpen(std::int32_t) const override { return false; }
    int mode() override { return static_cast<int>(m_device.status(MCI_STATUS_MODE)); }
    bool failed() override { return m_device.status(MCI_STATUS_MODE) < 0; }
    int positionMs() override
    {
        const long p = m_device.position();
        return p < 0 ? 0 : tmsfSeconds(p) * 1000 + tmsfFrames(p) * 1000 / 75;
    }
    int lengthMs() override { return 0; }
    void pause() override { m_device.pause(); }
    // The device is played again from where it stands, over the range play calls for now.
    void resume() override
    {
        const long p = m_device.position();
        const int seconds = p < 0 ? 0 : tmsfSeconds(p);
        m_player.PlayFrom(seconds / 60, seconds % 60);
    }
    void seek(int ms, bool paused) override
    {
        const int seconds = std::max(0, ms / 1000);
        m_player.PlayFrom(seconds / 60, seconds % 60);
        if (paused)
            m_device.pause();
    }
    std::string infoText(bool) override { return {}; }

private:
    CdPlayer& m_player;
    MciDevice& m_device;
};

void addItem(std::string& line, UINT labelId, const std::string& value)
{
    const auto first = value.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return;
    const std::string v = value.substr(first, value.find_last_not_of(" \t\r\n") - first + 1);
    if (!line.empty())
        line += "        ";
    line += LoadString(labelId) + " : " + v;
}

} // namespace

std::string CdAlbumKey(const char* identity)
{
    const char* p = identity;
    while (*p == ' ' || *p == '\t')
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    std::uint32_t value = 0;
    while (std::isdigit(static_cast<unsigned char>(*p)))
        value = value * 10u + static_cast<std::uint32_t>(*p++ - '0');
    if (negative)
        value = 0u - value;
    char key[16];
    std::snprintf(key, sizeof key, "%x", value);
    return key;
}

CdTiming CdTimingOf(const std::vector<long>& trackPositionsMs, long discLengthMs)
{
    CdTiming t;
    const size_t n = trackPositionsMs.size();
    for (long ms : trackPositionsMs)
        t.startFrames.push_back(static_cast<std::int32_t>(ms * 0.075));
    t.leadOutFrame =
        (n ? t.startFrames[0] : 0) + static_cast<std::int32_t>(discLengthMs * 0.075) + 1;
    t.discLengthMs = (t.leadOutFrame / 75) * 1000;
    for (size_t i = 0; i < n; ++i) {
        if (i + 1 < n)
            t.lengthsMs.push_back((t.startFrames[i + 1] / 75 - t.startFrames[i] / 75) * 1000);
        else
            t.lengthsMs.push_back(n > 1 ? t.discLengthMs - (t.startFrames[i] / 75) * 1000
                                        : t.discLengthMs);
    }
    return t;
}

CdPlayer::CdPlayer(PlayerHost& host, QWidget* parent)
    : PlayerFrame(ComponentCd, AlbumKindCd, host, parent, buttons::kCdPlayer, false)
    , m_drive(host.settings().cdDrive)
    , m_discPresent(cdrom::IsDiscReadable(host.settings().cdDrive))
{
    setAcceptDrops(false); // a CD album is the disc's: files are not dropped on it
    engines::registerCdAudioDriver();
}

CdPlayer::~CdPlayer()
{
    m_album.ResetPlay();
    StopPlayer(true);
    CloseSession();
}

std::string CdPlayer::TrackName(int n) const
{
    const SongEntry* song = m_album.GetSong(n);
    return song ? song->title : std::string();
}

bool CdPlayer::playsOneTrack() const
{
    const ComponentRecord& r = record();
    return r.playMode != PlayMethodNormal || r.repeat == RepeatModeRepeatThisSong || m_singleTrack;
}

void CdPlayer::PlayFrom(int minutes, int seconds)
{
    const int track = m_album.currentSong();
    const long from = track | (minutes << 8) | (seconds << 16);
    if (track < m_album.songCount() && playsOneTrack())
        m_device.play(from, track + 1, handle());
    else
        m_device.play(from, -1, handle());
}

void CdPlayer::PlayTrack(int n, bool singleTrack)
{
    m_singleTrack = singleTrack;
    OpenAndPlay(n);
}

bool CdPlayer::StopsBeforePlaying(int otherIndex) const
{
    // A single track is played for the audio player, which records it.
    return !(m_singleTrack && otherIndex == ComponentAudio);
}

int CdPlayer::StateAfterStop() const
{
    return m_album.songCount() > 0 ? kModeStopped : m_state;
}

std::int32_t CdPlayer::OpenTrack(int n)
{
    const int count = m_album.songCount();
    if (!m_device.isOpen() || count == 0)
        return 0;
    int t = std::clamp(n, 1, count);
    while (!m_device.isAudioTrack(t)) {
        if (++t > count)
            return 0; // nothing plays beyond the last audio track
    }
    m_album.setCurrentSong(t);
    auto session = std::make_unique<CdTrackSession>(*this, m_device, sessionContext());
    PlayFrom(0, 0);
    adoptSession(std::move(session), 1);
    if (!m_singleTrack && host().settings().spectrumCd)
        KCDSEngine_Run(0);
    return 1;
}

bool CdPlayer::OpenDevice()
{
    if (m_device.openByType(MCI_DEVTYPE_CD_AUDIO, m_drive.empty() ? nullptr : m_drive.c_str()) <=
            0 &&
        m_device.openByType(MCI_DEVTYPE_CD_AUDIO) <= 0) {
        KLOG_INFO("players", "the CD device for \"%s\" cannot be opened: %s", m_drive.c_str(),
                  m_device.lastErrorText().c_str());
        return false;
    }
    m_device.setTimeFormat(MCI_FORMAT_TMSF);
    m_device.stop();
    return true;
}

int CdPlayer::DeviceMode()
{
    if (m_discPresent) {
        m_doorOpen = false;
        const int mode = static_cast<int>(m_device.status(MCI_STATUS_MODE));
        if (mode == kModeOpening)
            m_discPresent = false;
        return mode;
    }
    m_doorOpen = true;
    return kModeOpening;
}

void CdPlayer::OnTick()
{
    if (!record().enable) {
        if (m_device.isOpen() || m_state != kModeNotReady) {
            CloseSession();
            m_device.close();
            SetState(kModeOpening);
            m_album.Close();
            SetState(kModeNotReady);
        }
        return;
    }
    ForwardTickToPanel();
    if (!m_device.isOpen() && !OpenDevice()) {
        SetState(kModeNotReady);
        m_panel->SetInfoText(LoadString(kDriveInUse));
        return;
    }
    const int mode = DeviceMode();
    if ((mode == kModeStopped && (m_state == kModeOpening || m_state == kModeNotReady)) ||
        m_reload) {
        LoadDisc(mode);
    } else if (mode == kModeOpening && m_state != kModeOpening) {
        // The disc is gone.
        m_album.ResetPlay();
        StopPlayer(false);
        SetState(kModeOpening);
        m_album.Close();
    } else if (mode == kModeStopped && m_state == kModePlaying) {
        // The device ran out while playing.
        EndOfOneTrack();
    } else if (mode != m_state) {
        if (mode == kModePlaying) {
            SetState(kModePlaying);
            m_singleTrack = false;
        } else if (mode == kModePaused) {
            SetState(kModePaused);
        }
    }
    if (m_state == kModePlaying)
        FollowDevice();
}

void CdPlayer::EndOfOneTrack()
{
    if (m_singleTrack) {
        m_album.ResetPlay();
        StopPlayer(false);
    } else {
        Next(false);
    }
}

void CdPlayer::FollowDevice()
{
    const long p = m_device.position();
    if (p < 0)
        return;
    m_position = tmsfSeconds(p);
    const int track = tmsfTrack(p);
    if (track > m_album.songCount())
        return;
    const int current = m_album.currentSong();
    if (track != current) {
        if (!playsOneTrack() || track != current + 1) {
            m_album.setCurrentSong(track);
            SetState(kModePlaying); // the line names the new track
        } else {
            EndOfOneTrack(); // the one track has ended
            return;
        }
    }
    RedrawDisplay();
}

void CdPlayer::LoadDisc(int mode)
{
    m_reload = false;
    const int before = m_state;
    const int n = static_cast<int>(m_device.status(MCI_STATUS_NUMBER_OF_TRACKS));
    bool audio = false;
    for (int t = 1; t <= n && !audio; ++t)
        audio = m_device.isAudioTrack(t);
    if (!audio) {
        m_discPresent = false; // a data disc is no disc for this player
        return;
    }
    char identity[kIdentitySize] = {};
    m_device.info(MCI_INFO_MEDIA_IDENTITY, identity, sizeof identity);
    m_album.Open(CdAlbumKey(identity), n);
    // A disc seen blank is looked up in the CD database even when its CD-Text gave titles: the
    // database knows more (years, genres, extended texts).
    const bool blank = m_album.IsBlank();
    m_fromCdText = blank && FillFromCdText();

    m_device.setTimeFormat(MCI_FORMAT_MILLISECONDS);
    std::vector<long> positions;
    for (int t = 1; t <= n; ++t)
        positions.push_back(m_device.position(t));
    const CdTiming timing = CdTimingOf(positions, m_device.length());
    m_device.setTimeFormat(MCI_FORMAT_TMSF);
    for (int t = 1; t <= n; ++t)
        if (SongEntry* song = m_album.GetSong(t)) {
            song->startFrame = timing.startFrames[static_cast<size_t>(t - 1)];
            song->lengthMs = timing.lengthsMs[static_cast<size_t>(t - 1)];
        }
    m_album.setDiscEndFrame(timing.leadOutFrame);
    m_album.setDiscLengthMs(timing.discLengthMs);
    if (!m_album.Save())
        KLOG_WARNING("players", "the CD album %s cannot be saved: %s", m_album.key().c_str(),
                     m_album.lastError().c_str());
    UpdateIndicators(); // a program the album lacks falls back to Normal
    SetState(mode);

    const bool autoRun = before == kModeOpening && host().settings().autoRun;
    if (autoRun || (before == kModeNotReady && OwnsStartMode(host().startMode()))) {
        PlayPause();
        host().startMode() = StartModeNone;
    }
    if (host().settings().cddbConnect && blank && CddbLookup(this, "", m_album) == 1) {
        m_fromCdText = false;
        SetState(m_state);
    }
}

bool CdPlayer::FillFromCdText()
{
    const std::optional<engines::CdText> text = engines::readCdText(m_drive);
    if (!text || text->empty())
        return false;
    m_album.setTitle(text->albumTitle);
    m_album.setArtist(text->albumArtist);
    for (size_t i = 0; i < text->trackTitles.size(); ++i)
        if (SongEntry* song = m_album.GetSong(static_cast<int>(i) + 1))
            song->title = text->trackTitles[i];
    KLOG_INFO("players", "the titles of CD album %s come from its CD-Text", m_album.key().c_str());
    return true;
}

void CdPlayer::ToggleDoor()
{
    if (!m_device.isOpen())
        return;
    if (m_doorOpen) {
        m_device.setDoor(false);
        m_doorOpen = false;
    } else {
        m_device.setDoor(true);
        m_doorOpen = true;
    }
}

void CdPlayer::CheckDrive()
{
    m_discPresent = cdrom::IsDiscReadable(m_drive);
    m_reload = true;
}

void CdPlayer::EditAlbum()
{
    if (!m_device.isOpen() || m_state == kModeOpening || m_album.songCount() == 0)
        return;
    ModalGuard guard;
    if (!guard.entered())
        return;
    AppSettings& settings = host().settings();
    CdAlbumManagerServices services;
    services.readFromCddb = [](QWidget* parent, Album& album) {
        return CddbLookup(parent, std::string(), album);
    };
    services.submitToCddb = [&settings](QWidget* parent, Album& album) {
        // The e-mail dialog may ask for the address on the way: the settings in memory must
        // take it over, or the values saved at exit would undo it.
        return CddbSubmit(parent, album,
                          [&settings](const std::string& email, const std::string& mailServer) {
                              settings.email = email;
                              settings.mailServer = mailServer;
                          });
    };
    services.editCddbServers = [](QWidget* parent) { RunCddbServerDialog(parent); };
    services.print = [&settings](QWidget* parent, const std::vector<std::string>& keys,
                                 const std::string& selected) {
        PrintAlbumReport(parent, settings, keys, selected);
    };
    services.pageSetup = [this, &settings](QWidget* parent) {
        if (EditPageSetup(parent, settings))
            host().saveSettings();
    };
    CdAlbumManager manager(m_album.key(), services, this);
    manager.exec();
    // The manager saved its changes into the database: the album and the disc's timing are
    // read again on the next tick.
    m_reload = true;
}

void CdPlayer::CycleWithContinuity(void (CdPlayer::*cycle)())
{
    const bool oneTrack = playsOneTrack();
    (this->*cycle)();
    // The running play was started for the old range; start it again for the new one.
    if (oneTrack != playsOneTrack() && m_state == kModePlaying) {
        Pause();
        Pause();
    }
}

void CdPlayer::DriveChanged()
{
    StopPlayer(true);
    CloseSession();
    m_device.close();
    m_drive = host().settings().cdDrive;
    m_discPresent = cdrom::IsDiscReadable(m_drive);
    m_reload = true;
}

bool CdPlayer::OnPlayerCommand(int id)
{
    switch (id) {
    case cmd::Open:
        ToggleDoor();
        return true;
    case cmd::Repeat:
        CycleWithContinuity(&CdPlayer::CycleRepeat);
        return true;
    case cmd::PlayMethod:
        CycleWithContinuity(&CdPlayer::CyclePlayMethod);
        return true;
    case cmd::PlayList:
        if (m_device.isOpen() && m_state != kModeOpening)
            EditProgram();
        return true;
    case cmd::EditSongInformations:
        EditAlbum();
        return true;
    case cmd::CheckCdDrive:
        CheckDrive();
        return true;
    default:
        return false;
    }
}

LRESULT CdPlayer::OnComponentCommand(LPARAM lParam)
{
    const int id = LOWORD(lParam);
    const int arg = HIWORD(lParam);
    if (!record().enable && id != cmd::Power && id != cmd::Open)
        return 0;
    const bool isTrack = arg >= 1 && arg <= m_album.songCount();
    if (id == cmd::Play && isTrack) {
        PlayTrack(arg, false);
        return 1;
    }
    if (id == cmd::Play && arg == kAllTracks) {
        if (m_state == kModeStopped)
            PlayPause();
        return 1;
    }
    if (id == cmd::PlayCdTrack && isTrack) {
        PlayTrack(arg, true);
        return 1;
    }
    if (id == cmd::Stop && arg == 1 && m_state == kModeStopped)
        return 1;
    sendMessage(WM_COMMAND, static_cast<WPARAM>(id), 0);
    return 1;
}

bool CdPlayer::OnPlayerMessage(UINT msg, WPARAM wParam, LPARAM, LRESULT& result)
{
    switch (msg) {
    case UM_DISC_CHANGE:
        m_discPresent = wParam != 0;
        result = 0;
        return true;
    case MM_MCINOTIFY:
        // The end of a one-track play.
        if (wParam == MCI_NOTIFY_SUCCESSFUL && m_state == kModePlaying &&
            m_device.status(MCI_STATUS_MODE) == kModeStopped)
            EndOfOneTrack();
        result = 0;
        return true;
    case UM_SETTINGS_CHANGED:
        if (host().settings().cdDrive != m_drive)
            DriveChanged();
        return false; // the frame refreshes the line
    default:
        return false;
    }
}

std::string CdPlayer::BuildInfoText() const
{
    const AppSettings& s = host().settings();
    std::string line;
    if (m_fromCdText)
        line = LoadString(playertext::TitlesFromCdText);
    if (const SongEntry* song = m_album.GetSong(m_album.currentSong())) {
        if (s.viewTitle)
            addItem(line, 2021, song->title);
        if (s.viewDescription)
            addItem(line, 2047, song->extendedInfo);
        if (line.empty() && s.viewTitle && s.viewDescription && !m_fromCdText)
            line = LoadString(kEnterSongInfo);
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
    if (line.empty() && s.viewAlbumTitle && s.viewAlbumSinger && s.viewAlbumDescription &&
        s.viewAlbumGenre && !m_fromCdText)
        line = LoadString(kEnterAlbumInfo);
    return line;
}

void CdPlayer::FillStatus(ComponentStatus& status) const
{
    PlayerFrame::FillStatus(status);
    const SongEntry* song = m_album.GetSong(m_album.currentSong());
    status.positionSeconds = song ? m_position : m_album.discLengthMs() / 1000;
    status.lengthSeconds = song ? song->lengthMs / 1000 : 0;
    status.playingName = song ? song->title : std::string();
}

void CdPlayer::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    paintBackground(p);
    const Skin& skin = Skin::instance();
    const SkinBitmap& logo = skin.Builtin(skin::res::kCdLogo);
    logo.DrawTransparent(p, 498 - logo.width(), 98 - logo.height());
    skin.Builtin(skin::res::kCdBadge).DrawTransparent(p, 4, 62);
    QFont f = QApplication::font();
    f.setPixelSize(10);
    p.setFont(f);
    p.setPen(skin.TextColor(skin::kPanelBackground));
    const std::pair<UINT, int> labels[] = {{2016, 70}, {2020, 140}, {2017, 210}, {2018, 280}};
    // The labels' tops stand at y 84 under their buttons, as on the other players' panels.
    const int top = 84;
    for (const auto& [id, x] : labels) {
        const QString text = LoadQString(id);
        p.drawText(x - p.fontMetrics().horizontalAdvance(text) / 2, top + p.fontMetrics().ascent(),
                   text);
    }
    p.drawText(360, 38 + p.fontMetrics().ascent(), LoadQString(2019));
}
