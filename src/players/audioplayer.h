#pragma once
// The Digital Audio Player: albums of WAVE, AIFF, AU, MPEG audio and RealAudio files, and of the
// Ogg, FLAC, Opus, MPEG-4, Windows Media and WavPack audio GStreamer decodes, played through the
// MPEG, RealAudio and general file engines, with the MCI device as the last resort (the engine
// order's audio rows); stream saving and lyrics; recording from the sound card (Record) into a
// file of the current album, through the recording its host makes, with level meters, or of
// the CD's tracks one by one while the CD Player plays each alone.

#include "players/playerframe.h"

class LevelMeters;

class AudioPlayer : public PlayerFrame
{
    Q_OBJECT
public:
    AudioPlayer(PlayerHost& host, QWidget* parent);
    ~AudioPlayer() override;

    // Puts the demo songs into a new "Default" album when the album database does not exist
    // yet (the very first start). True when it did.
    static bool SeedDefaultAlbum(const std::string& demoDir);
    // The Open dialog's file types: every kind the player plays, and play lists, first.
    static QString OpenFilter();
    // The recording level meters under the display panel, shown while recording.
    const LevelMeters* levelMeters() const { return m_meters; }

protected:
    bool OwnsStartMode(int startMode) const override { return startMode == StartModeAudio; }
    UINT EmptyAlbumHintId() const override { return playertext::AddAudioFiles; }
    bool OnPlayerCommand(int id) override;
    // Open Files and Open Folder, on top of the window's right-click menu.
    void AddOwnMenuEntries(QMenu& menu) override;
    void PauseRecording() override;
    void ResumeRecording() override;
    void EndRecording(bool user) override;
    std::string RecordingPath() const override { return m_recordingPath; }
    void OnRecordingTick() override;
    void FillStatus(ComponentStatus& status) const override;

    QString OpenFilesFilter() const override { return OpenFilter(); }

private:
    // Every song the player plays in a folder and its sub-folders, in name order.
    void OpenFolder();
    void ToggleSaveStream();
    void ToggleLyric();
    void Configure();
    // Record: resumes a paused recording; while stopped, the options and the start.
    void Record();
    // The recording file becomes the album's current song and the CD Player is told to play
    // its track when it records one.
    void RecordingStarted(const std::string& path, std::uint32_t cdTrack);
    // While recording the CD's tracks: true when the CD Player finished the track and the
    // recording went on to the next one or stopped.
    bool CdTrackEnded();
    // After the recording stopped: the album follows what became of the file (the MP3 made of a
    // CD track's recording takes its song's place; a dropped file leaves the album).
    void KeepStoppedFile();

    std::unique_ptr<PlayerRecording> m_recording;
    std::string m_recordingPath;
    LevelMeters* m_meters = nullptr;
    // Recording the CD's tracks: the track the CD Player plays, and whether it has been seen
    // playing it (its stop then ends the track's file).
    std::uint32_t m_cdTrack = 0;
    bool m_cdTrackPlaying = false;
    // While a CD track's file is finished (its MP3 may be encoded in a window of its own, whose
    // event loop delivers ticks and commands), and whether Stop came meanwhile.
    bool m_finishingCdTrack = false;
    bool m_stopAfterCdTrack = false;
};
