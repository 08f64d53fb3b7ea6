#include "players/audioplayer.h"

#include "albums/mediakind.h"
#include "albums/playlist.h"
#include "platform/msgbox.h"
#include "platform/paths.h"
#include "platform/strings.h"
#include "players/levelmeters.h"
#include "players/lyricviewer.h"
#include "ui/buttons.h"
#include "ui/displaypanel.h"

#include <QContextMenuEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>

AudioPlayer::AudioPlayer(PlayerHost& host, QWidget* parent)
    : PlayerFrame(ComponentAudio, AlbumKindAudio, host, parent, buttons::kAudioPlayer, true)
{
    if (SkinButton* b = button(cmd::SaveStream))
        b->SetChecked(host.settings().saveStream != 0);
    if (SkinButton* b = button(cmd::Lyric))
        b->SetChecked(host.settings().displayLyric != 0);
    // Over the display panel's position slider, which has nothing to show while recording.
    m_meters = new LevelMeters(this);
    m_meters->setGeometry(44, 54, 266, 9);
    m_meters->hide();
    SeedDefaultAlbum(paths::demoDir());
    LoadStartAlbum();
}

AudioPlayer::~AudioPlayer()
{
    m_album.ResetPlay();
    StopPlayer(true);
}

bool AudioPlayer::SeedDefaultAlbum(const std::string& demoDir)
{
    if (demoDir.empty() ||
        QFileInfo::exists(QString::fromStdString(Album::DatabasePath(AlbumKindAudio))))
        return false;
    Album album(AlbumKindAudio);
    album.Open("Default", 0);
    const QStringList files =
        QDir(QString::fromStdString(demoDir)).entryList(QDir::Files, QDir::Name);
    for (const QString& f : files) {
        const std::string path =
            (QString::fromStdString(demoDir) + QLatin1Char('/') + f).toStdString();
        if (album.MediaKindOf(path) != MediaKindNone)
            album.AddSong(path);
    }
    return album.songCount() > 0 && album.Save();
}

bool AudioPlayer::OnPlayerCommand(int id)
{
    switch (id) {
    case cmd::Open:
        OpenFiles();
        return true;
    case cmd::SaveStream:
        ToggleSaveStream();
        return true;
    case cmd::Lyric:
        ToggleLyric();
        return true;
    case cmd::Configure:
        Configure();
        return true;
    case cmd::Record:
        Record();
        return true;
    default:
        return false;
    }
}

QString AudioPlayer::OpenFilter()
{
    return tr("Audio files (*.wav *.aif *.aifc *.aiff *.au *.snd *.mp1 *.m1s *.mp2 *.m2s *.mp3 "
              "*.mpa *.ra *.ram *.rm *.ogg *.oga *.flac *.opus *.m4a *.aac *.wma *.wv *.m3u "
              "*.pls);;"
              "Ogg, FLAC and Opus (*.ogg *.oga *.flac *.opus);;"
              "MPEG-4, Windows Media and WavPack audio (*.m4a *.aac *.wma *.wv);;"
              "Play lists (*.m3u *.pls);;All files (*)");
}

void AudioPlayer::OpenFolder()
{
    ModalGuard guard;
    if (!guard.entered())
        return;
    ComponentRecord& r = record();
    const QString folder = QFileDialog::getExistingDirectory(this, tr("Open Folder"),
                                                             QString::fromStdString(r.initialDir));
    if (folder.isEmpty())
        return;
    r.initialDir = folder.toStdString();
    const std::vector<std::string> songs =
        CollectPlayableFiles(AlbumKindAudio, {folder.toStdString()});
    if (songs.empty()) {
        KolvoMessageBox(this, tr("There is nothing Kolvo can play in %1.").arg(folder),
                        MessageIcon::Information);
        return;
    }
    PlayTemporaryList(songs);
}

void AudioPlayer::AddOwnMenuEntries(QMenu& menu)
{
    menu.addAction(tr("Open Files..."), this, [this] { OpenFiles(); });
    menu.addAction(tr("Open Folder..."), this, [this] { OpenFolder(); });
}

void AudioPlayer::ToggleSaveStream()
{
    AppSettings& s = host().settings();
    s.saveStream = s.saveStream ? 0 : 1;
    host().saveSettings();
    if (SkinButton* b = button(cmd::SaveStream))
        b->SetChecked(s.saveStream != 0);
}

void AudioPlayer::ToggleLyric()
{
    AppSettings& s = host().settings();
    s.displayLyric = s.displayLyric ? 0 : 1;
    if (SkinButton* b = button(cmd::Lyric))
        b->SetChecked(s.displayLyric != 0);
    if (s.displayLyric && (m_state == kModePlaying || m_state == kModePaused))
        ShowLyricFor(m_playingPath);
    else
        ClearLyric();
}

void AudioPlayer::Configure()
{
    ModalGuard guard;
    if (!guard.entered())
        return;
    if (engines::Session* open = session())
        open->configure(handle());
}

// ---------------------------------------------------------------------------------------------
// Recording

void AudioPlayer::Record()
{
    if (state() == kModePaused && isRecording()) {
        Pause(); // a paused recording goes on
        return;
    }
    if (state() != kModeStopped && state() != kModeNotReady)
        return;
    ModalGuard guard;
    if (!guard.entered())
        return;
    std::unique_ptr<PlayerRecording> recording = host().makeRecording();
    if (!recording) {
        ShowNotAvailableYet();
        return;
    }
    // The CD Player's disc, whose tracks the options may choose to copy.
    PlayerRecording::CdDisc disc;
    ComponentStatus cd;
    if (sendToComponent(ComponentCd, UM_GET_STATUS, reinterpret_cast<LPARAM>(&cd))) {
        disc.albumTitle = cd.albumTitle;
        disc.artist = cd.albumArtist;
        sendToComponent(ComponentCd, UM_GET_TITLES, reinterpret_cast<LPARAM>(&disc.trackTitles));
    }
    // Nothing else plays over the recording (the CD Player plays only the tracks it records).
    recording->onOptionsAccepted = [this] { StopOtherPlayers(); };
    const PlayerRecording::Started started = recording->Start(this, disc);
    if (!started.copied.empty()) {
        // The copied files join the album.
        bool added = false;
        for (const std::string& file : started.copied) {
            if (!album().FindSong(file)) {
                album().AddSong(file);
                added = true;
            }
        }
        if (added) {
            RedrawDisplay();
            SaveAlbum();
        }
    }
    const std::string& path = started.path;
    if (path.empty())
        return;
    m_recording = std::move(recording);
    m_recording->setLevelsListener(
        [this](int left, int right) { m_meters->setLevels(left, right); });
    m_position = 0;
    m_meters->setLevels(0, 0);
    m_meters->show();
    RecordingStarted(path, started.cdTrack);
    BeginRecordingState();
    RedrawDisplay();
}

void AudioPlayer::RecordingStarted(const std::string& path, std::uint32_t cdTrack)
{
    m_recordingPath = path;
    // The file becomes a song of the album, and the current one.
    int position = 0;
    if (!album().FindSong(path, &position)) {
        album().AddSong(path);
        position = album().songCount();
    }
    album().setCurrentSong(position);
    SaveAlbum();
    m_cdTrack = cdTrack;
    m_cdTrackPlaying = false;
    if (cdTrack > 0)
        sendToComponent(ComponentCd, UM_COMMAND,
                        MAKELPARAM(cmd::PlayCdTrack, static_cast<int>(cdTrack)));
}

void AudioPlayer::PauseRecording()
{
    if (m_recording)
        m_recording->Pause();
    m_meters->setLevels(0, 0);
}

void AudioPlayer::ResumeRecording()
{
    if (m_recording)
        m_recording->Resume();
}

void AudioPlayer::EndRecording(bool user)
{
    if (m_recording)
        m_recording->Stop(user);
    if (m_finishingCdTrack) {
        // The track's file is being finished (its MP3 encoded) further up: that ends it.
        m_stopAfterCdTrack = true;
    } else {
        KeepStoppedFile();
        m_recording.reset();
    }
    if (user && m_cdTrack > 0)
        sendToComponent(ComponentCd, UM_COMMAND, MAKELPARAM(cmd::Stop, 0));
    m_cdTrack = 0;
    m_meters->setLevels(0, 0);
    m_meters->hide();
}

void AudioPlayer::KeepStoppedFile()
{
    if (!m_recording)
        return;
    const PlayerRecording::StoppedFile stopped = m_recording->Stopped();
    int position = 0;
    if (stopped.kept || !album().FindSong(m_recordingPath, &position))
        return;
    if (stopped.mp3.empty())
        album().RemoveSongs(position, 1);
    else if (SongEntry* song = album().GetSong(position))
        song->title = stopped.mp3;
    SaveAlbum();
    RedrawDisplay();
}

void AudioPlayer::OnRecordingTick()
{
    // Ticks come in while a track's MP3 is encoded in its window: that track is ending.
    if (!m_recording || m_finishingCdTrack)
        return;
    if (m_recording->failed()) {
        StopPlayer(false);
        return;
    }
    if (m_cdTrack > 0 && CdTrackEnded())
        return;
    // The time display counts the recorded seconds.
    const int seconds = m_recording->elapsedSeconds();
    if (seconds != m_position) {
        m_position = seconds;
        RedrawDisplay();
    }
}

bool AudioPlayer::CdTrackEnded()
{
    ComponentStatus cd;
    if (!sendToComponent(ComponentCd, UM_GET_STATUS, reinterpret_cast<LPARAM>(&cd)))
        return false;
    if (cd.state == kModePlaying)
        m_cdTrackPlaying = true;
    if (!m_cdTrackPlaying || cd.state != kModeStopped || state() != kModeRecording)
        return false;
    // The track has been played: its file is finished (an MPEG type's MP3 made from it) and
    // the next chosen track follows.
    m_finishingCdTrack = true;
    m_recording->Stop(false);
    m_finishingCdTrack = false;
    KeepStoppedFile();
    if (m_stopAfterCdTrack) {
        // Stopped by hand meanwhile: the player has stopped already.
        m_stopAfterCdTrack = false;
        m_recording.reset();
        return true;
    }
    const PlayerRecording::Started next = m_recording->NextCdTrack();
    if (next.path.empty()) {
        m_cdTrack = 0;
        StopPlayer(false);
        return true;
    }
    m_position = 0;
    RecordingStarted(next.path, next.cdTrack);
    BeginRecordingState();
    return true;
}

void AudioPlayer::FillStatus(ComponentStatus& status) const
{
    PlayerFrame::FillStatus(status);
    if (m_recording)
        status.recordedSeconds = m_recording->elapsedSeconds();
}
