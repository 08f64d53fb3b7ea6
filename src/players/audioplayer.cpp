#include "players/audioplayer.h"

#include "albums/mediakind.h"
#include "albums/playlist.h"
#include "engines/engineapi.h"
#include "engines/kamengine.h"
#include "engines/kmpengine.h"
#include "engines/kraengine.h"
#include "engines/outputconfig.h"
#include "platform/paths.h"
#include "platform/strings.h"
#include "players/lyricviewer.h"
#include "ui/buttons.h"
#include "ui/displaypanel.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

#include <cstring>

namespace {

constexpr int kGeneralInstance = 0;
constexpr int kInfoSize = 1024;
constexpr int kFolderBuffer = 256;

void copyToBuffer(char (&buffer)[kFolderBuffer], const std::string& text)
{
    std::memset(buffer, 0, sizeof buffer);
    std::strncpy(buffer, text.c_str(), sizeof buffer - 1);
}

} // namespace

AudioPlayer::AudioPlayer(PlayerHost& host, QWidget* parent)
    : PlayerFrame(ComponentAudio, AlbumKindAudio, host, parent, buttons::kAudioPlayer,
                  DisplayPanel::kAudioPlayer, true)
{
    if (SkinButton* b = button(cmd::SaveStream))
        b->SetChecked(host.settings().saveStream != 0);
    if (SkinButton* b = button(cmd::Lyric))
        b->SetChecked(host.settings().displayLyric != 0);
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

std::int32_t AudioPlayer::OpenEngines(const std::string& path)
{
    const MediaKind type = MediaKindOf(AlbumKindAudio, path);
    const AppSettings& s = host().settings();
    std::int32_t result = kMciFailed;
    if (type == MediaKindMpegAudio && s.mpaUseInternal) {
        result = OpenMpeg(path);
        if (result > 0)
            return result;
        return OpenMci(path);
    }
    if (type == MediaKindRealAudio) {
        result = KRAEngine_Play(handle(), path.c_str(), nextCookie());
        if (result > 0) {
            m_engine = Engine::RealAudio;
            return result;
        }
        return OpenMci(path);
    }
    const bool general = type == MediaKindAiff || type == MediaKindAu ||
                         (type == MediaKindWave && s.wavUseDirectShow) ||
                         (type == MediaKindMpegAudio && !s.mpaUseInternal);
    if (general) {
        result = OpenGeneral(path);
        if (result > 0 || type == MediaKindAu)
            return result;
    }
    return OpenMci(path);
}

std::int32_t AudioPlayer::OpenMpeg(const std::string& path)
{
    AppSettings& s = host().settings();
    KMPEngine_SetChannel(s.mp3Channel);
    KMPEngine_SetQuality(s.mp3Quality);
    KMPEngine_SetOutputOptions(s.mp3OutputType, s.mp3BufferCount, s.mp3Priority, s.saveStream);
    KMPEngine_SetEngine(s.mp3Engine);
    KMPEngine_SetScale(s.outScaleAgc, s.outScaleValue);
    char wavDir[kFolderBuffer];
    char streamDir[kFolderBuffer];
    copyToBuffer(wavDir, s.wavOutputDir);
    copyToBuffer(streamDir, s.streamOutputDir);
    const std::int32_t result = KMPEngine_Play(handle(), path.c_str(), nextCookie(), wavDir,
                                               s.wavOutputAutomaticNaming, streamDir);
    if (result <= 0)
        return result;
    m_engine = Engine::Mpeg;
    s.wavOutputDir = wavDir;
    s.streamOutputDir = streamDir;
    if (result != kResultMpegLater) {
        m_engineInfo = EngineInfoText();
        if (SongEntry* song = m_album.GetSong(m_album.currentSong()))
            song->lengthMs = std::max(0, KMPEngine_GetLength());
    }
    ApplyEffects();
    m_panel->SetEffectActive(true);
    return result;
}

std::int32_t AudioPlayer::OpenGeneral(const std::string& path)
{
    std::int32_t result =
        KAMEngine_Open(kGeneralInstance, handle(), path.c_str(), nextCookie(), nullptr, 0);
    if (result <= 0)
        return result;
    m_engine = Engine::General;
    if (result != kResultAmLater) {
        const std::int32_t played = KAMEngine_Play(kGeneralInstance);
        if (played <= 0) {
            KAMEngine_Close(kGeneralInstance);
            m_engine = Engine::None;
            return played;
        }
        if (host().settings().viewFileInfo)
            m_engineInfo = EngineInfoText();
        if (SongEntry* song = m_album.GetSong(m_album.currentSong()))
            song->lengthMs = std::max(0, KAMEngine_GetLength(kGeneralInstance));
    }
    ApplyEffects();
    return result;
}

std::int32_t AudioPlayer::OpenMci(const std::string& path)
{
    nextCookie();
    std::int32_t result = m_mci.openElement(path.c_str());
    if (result <= 0)
        return result;
    m_mci.setTimeFormat(MCI_FORMAT_MILLISECONDS);
    result = m_mci.play(0, -1);
    if (result <= 0) {
        m_mci.close();
        return result;
    }
    m_engine = Engine::Mci;
    m_engineInfo = m_mci.informationText();
    if (SongEntry* song = m_album.GetSong(m_album.currentSong()))
        song->lengthMs = std::max(0L, m_mci.length());
    return result;
}

void AudioPlayer::ApplyEffects()
{
    const AppSettings& s = host().settings();
    if (m_engine == Engine::Mpeg)
        KMPEngine_SetEffect(s.reverb, s.reverbMode, s.reverbDepth, s.chorus, s.chorusDepth, s.wide,
                            s.wideDepth, s.fx, s.fxMode);
    else if (m_engine == Engine::General)
        KAMEngine_SetEffect(kGeneralInstance, s.reverb, s.reverbMode, s.reverbDepth, s.chorus,
                            s.chorusDepth, s.wide, s.wideDepth, s.fx, s.fxMode);
}

int AudioPlayer::EngineMode()
{
    switch (m_engine) {
    case Engine::Mpeg:
        return KMPEngine_GetMode();
    case Engine::RealAudio:
        return KRAEngine_GetMode();
    case Engine::General:
        return KAMEngine_GetMode(kGeneralInstance);
    case Engine::Mci:
        return static_cast<int>(m_mci.status(MCI_STATUS_MODE));
    case Engine::None:
        break;
    }
    return 0;
}

int AudioPlayer::EnginePositionMs()
{
    switch (m_engine) {
    case Engine::Mpeg:
        return KMPEngine_GetPosition();
    case Engine::RealAudio:
        return KRAEngine_GetPosition();
    case Engine::General:
        return KAMEngine_GetPosition(kGeneralInstance);
    case Engine::Mci:
        return static_cast<int>(m_mci.position());
    case Engine::None:
        break;
    }
    return 0;
}

int AudioPlayer::EngineLengthMs()
{
    switch (m_engine) {
    case Engine::Mpeg:
        return KMPEngine_GetLength();
    case Engine::RealAudio:
        return KRAEngine_GetLength();
    case Engine::General:
        return KAMEngine_GetLength(kGeneralInstance);
    case Engine::Mci:
        return static_cast<int>(m_mci.length());
    case Engine::None:
        break;
    }
    return 0;
}

void AudioPlayer::EnginePause()
{
    switch (m_engine) {
    case Engine::Mpeg:
        KMPEngine_Pause();
        break;
    case Engine::RealAudio:
        KRAEngine_Pause();
        break;
    case Engine::General:
        KAMEngine_Pause(kGeneralInstance);
        break;
    case Engine::Mci:
        m_mci.pause();
        break;
    case Engine::None:
        break;
    }
}

void AudioPlayer::EngineResume()
{
    switch (m_engine) {
    case Engine::Mpeg:
        KMPEngine_Resume();
        break;
    case Engine::RealAudio:
        KRAEngine_Resume();
        break;
    case Engine::General:
        KAMEngine_Resume(kGeneralInstance);
        break;
    case Engine::Mci:
        m_mci.play();
        break;
    case Engine::None:
        break;
    }
}

void AudioPlayer::EngineSeek(int ms)
{
    switch (m_engine) {
    case Engine::Mpeg:
        KMPEngine_Seek(ms);
        break;
    case Engine::RealAudio:
        KRAEngine_Seek(ms);
        KRAEngine_Resume();
        break;
    case Engine::General:
        KAMEngine_Seek(kGeneralInstance, ms);
        break;
    case Engine::Mci:
        m_mci.seek(ms);
        m_mci.play();
        break;
    case Engine::None:
        return;
    }
    // A paused song stays paused where it was moved to.
    if (m_state == kStatePaused && m_engine != Engine::General)
        EnginePause();
}

void AudioPlayer::CloseEngines()
{
    switch (m_engine) {
    case Engine::Mpeg:
        KMPEngine_Stop();
        break;
    case Engine::RealAudio:
        KRAEngine_Stop();
        break;
    case Engine::General:
        KAMEngine_Stop(kGeneralInstance);
        KAMEngine_Close(kGeneralInstance);
        break;
    case Engine::Mci:
        m_mci.stop();
        m_mci.close();
        break;
    case Engine::None:
        break;
    }
    m_engine = Engine::None;
    m_panel->SetEffectActive(false);
}

std::string AudioPlayer::EngineInfoText()
{
    char buffer[kInfoSize] = {};
    const AppSettings& s = host().settings();
    switch (m_engine) {
    case Engine::Mpeg: {
        const int id3[6] = {s.viewId3TagTitle, s.viewId3TagArtist,  s.viewId3TagAlbum,
                            s.viewId3TagYear,  s.viewId3TagComment, s.viewId3TagGenre};
        KMPEngine_GetFileInfo(buffer, kInfoSize, s.viewFileInfo, s.viewId3Tag ? id3 : nullptr);
        break;
    }
    case Engine::RealAudio:
        KRAEngine_GetFileInfo(buffer, kInfoSize);
        break;
    case Engine::General:
        KAMEngine_GetFileInfo(kGeneralInstance, buffer, kInfoSize);
        break;
    case Engine::Mci:
        return m_mci.informationText();
    case Engine::None:
        break;
    }
    return buffer;
}

bool AudioPlayer::GotoNextClip()
{
    return m_engine == Engine::RealAudio && KRAEngine_GotoNextClip() > 0;
}

bool AudioPlayer::GotoPrevClip()
{
    return m_engine == Engine::RealAudio && KRAEngine_GotoPrevClip() > 0;
}

bool AudioPlayer::IsEngineNotification(UINT msg) const
{
    return msg == kNotifyMpeg || msg == kNotifyRealAudio || msg == kNotifyDirectShow;
}

bool AudioPlayer::OnEngineReady(UINT msg, int mode)
{
    // A general-engine file that opened later is ready now and starts here.
    if (msg == kNotifyDirectShow && mode == kModeOpening)
        return KAMEngine_Play(kGeneralInstance) > 0;
    return true;
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
        ShowNotAvailableYet();
        return true;
    default:
        return false;
    }
}

void AudioPlayer::OpenFiles()
{
    ModalGuard guard;
    if (!guard.entered())
        return;
    ComponentRecord& r = record();
    const QStringList files = QFileDialog::getOpenFileNames(
        this, LoadQString(cmd::Open), QString::fromStdString(r.initialDir),
        tr("Audio files (*.wav *.aif *.aifc *.aiff *.au *.snd *.mp1 *.m1s *.mp2 *.m2s *.mp3 "
           "*.mpa *.ra *.ram *.rm);;Play lists (*.m3u *.pls);;All files (*)"));
    if (files.isEmpty())
        return;
    r.initialDir = QFileInfo(files.first()).absolutePath().toStdString();
    std::vector<std::string> paths;
    for (const QString& f : files)
        paths.push_back(f.toStdString());
    const std::string list = WriteTempPlayList(paths);
    if (list.empty())
        return;
    host().pendingFile() = list;
    host().pendingFileIsTemporary() = true;
    PlayPendingFile();
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
    if (s.displayLyric && (m_state == kStatePlaying || m_state == kStatePaused))
        ShowLyricFor(m_playingPath);
    else
        ClearLyric();
}

void AudioPlayer::Configure()
{
    ModalGuard guard;
    if (!guard.entered())
        return;
    if (m_mci.isOpen()) {
        // The device plays through the same sound output as the file engine, so that output
        // is what there is to configure; the song holds still meanwhile.
        m_mci.pause();
        engines::runOutputConfigDialog(handle());
        m_mci.play();
    } else if (m_engine == Engine::General) {
        KAMEngine_Pause(kGeneralInstance);
        KAMEngine_Config(kGeneralInstance, handle());
        KAMEngine_Play(kGeneralInstance);
    }
}
