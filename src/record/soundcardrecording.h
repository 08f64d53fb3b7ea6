#pragma once
// Recording from the sound card into a file, as the Digital Audio Player's Record does it: the
// recording options sheet (CRecordPropertySheet: the file, the type, the sound format), the
// capture through CWave into a WAVE file through CAcmWaveWriter or a RealAudio file through
// the RealAudio encoder engine, the levels and the elapsed time; the CD's chosen tracks, one
// file each, while the CD Player plays them (with the MPEG type each track is recorded as a
// WAVE file of CD sound that the encoding window turns into an MP3 when the track ends). The
// player keeps the state, the album and the CD Player's part; this keeps the sound.
//
// It promises: Start returns the file only when recording really began, having said why
// otherwise (2063, 1066, 2064); the options chosen are stored in the settings; a write that
// fails is told once (2064) and leaves the file as written so far, finished at Stop.

#include "platform/settings.h"
#include "record/acmwavewriter.h"
#include "record/cdcopy.h"
#include "record/kreengine.h"
#include "record/wave.h"

#include <QDialog>

#include <functional>
#include <string>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;

namespace record {

struct RecordingOptions
{
    std::string path;
    int type = 0; // 0 WAVE, 1 MPEG Layer 3 (recorded as WAVE outside CD recording), 2 RealAudio
    WAVEFORMATEX format = MakePcmFormat(44100, 16, 2);
    // Copy tracks of the CD digitally instead ("RecordCDRecord" with method 1).
    bool copyCd = false;
    // Record the CD's tracks through the sound card instead, each while the CD Player plays it
    // ("RecordCDRecord" with method 0).
    bool recordCd = false;
    std::vector<std::uint32_t> tracks; // chosen, from 1
    // Written into a RealAudio file; the title is the file's base name when empty.
    std::string clipTitle, clipAuthor, clipCopyright;
};

// The disc in the CD Player: its album's texts (no titles: no disc).
struct CdDiscTitles
{
    std::string albumTitle;
    std::string artist;
    std::vector<std::string> trackTitles;
};

// "KLV-YYYYMMDD-HHMM" with the type's extension in the folder (the temporary folder when empty).
std::string proposedRecordingPath(const std::string& folder, int type);

class CRecordPropertySheet : public QDialog
{
    Q_OBJECT
public:
    CRecordPropertySheet(const RecordingOptions& options, const CdDiscTitles& disc = {},
                         QWidget* parent = nullptr);
    RecordingOptions options() const;
    QCheckBox* copyCdBox() const { return m_copyCd; }
    QCheckBox* recordCdBox() const { return m_recordCd; }
    QListWidget* trackList() const { return m_tracks; }

    QLineEdit* pathEdit() const { return m_path; }
    QComboBox* typeList() const { return m_type; }
    QComboBox* rateList() const { return m_rate; }
    QComboBox* bitsList() const { return m_bits; }
    QComboBox* channelList() const { return m_channels; }
    // The RealAudio clip's texts, open to editing with the RealAudio type only.
    QLineEdit* clipTitleEdit() const { return m_clipTitle; }
    QLineEdit* clipAuthorEdit() const { return m_clipAuthor; }
    QLineEdit* clipCopyrightEdit() const { return m_clipCopyright; }

private:
    QLineEdit* m_path = nullptr;
    QComboBox* m_type = nullptr;
    QComboBox* m_rate = nullptr;
    QComboBox* m_bits = nullptr;
    QComboBox* m_channels = nullptr;
    QLineEdit* m_clipTitle = nullptr;
    QLineEdit* m_clipAuthor = nullptr;
    QLineEdit* m_clipCopyright = nullptr;
    QCheckBox* m_copyCd = nullptr;
    QCheckBox* m_recordCd = nullptr;
    QListWidget* m_tracks = nullptr;
};

class SoundCardRecording : private WaveReceiver
{
public:
    // The settings are the application's; saveSettings writes them.
    SoundCardRecording(AppSettings& settings, std::function<void()> saveSettings);
    ~SoundCardRecording() override;

    // The options sheet, then the start; the file, or "" (cancelled, or told why not). When the
    // options choose to copy CD tracks, the copy window runs instead and `copied` gets the files
    // it made (the designed naming, in "RecordDir", in a sub-folder "artist-album" when
    // "RecordCDUseTitleInfo" is on).
    std::string Start(QWidget* parent, const CdDiscTitles& disc = {},
                      std::vector<std::string>* copied = nullptr);
    // Recording the CD's tracks through the sound card: the chosen track whose file is being
    // recorded (from 1; 0 outside it), which the CD Player is to play now.
    std::uint32_t cdTrack() const { return m_cdTrack; }
    // After a CD track ended (Stop(false)): starts the file of the next chosen track, named
    // like the digital copy names it; "" when none is left or it could not start.
    std::string StartNextCdTrack();
    // Starts with these options without asking (kolvo-cli and tests).
    std::string StartWith(const RecordingOptions& options, QWidget* parent);
    void Pause();
    void Resume();
    void Stop(bool user);
    // What became of the file recorded until the last Stop (see PlayerRecording::Stopped).
    struct StoppedFile
    {
        bool kept = true;
        std::string mp3;
    };
    const StoppedFile& stoppedFile() const { return m_stopped; }
    bool failed() const { return m_failed; }
    int elapsedSeconds() const;
    std::pair<int, int> levels() const { return {m_left, m_right}; }
    // Told the levels as each captured buffer is written, and 0, 0 on pause, stop and failure.
    void setLevelsListener(std::function<void(int left, int right)> listener)
    {
        m_levelsListener = std::move(listener);
    }
    // Called by Start once the options were accepted (and stored), before the recording or the
    // copy starts.
    void setOptionsAccepted(std::function<void()> accepted)
    {
        m_optionsAccepted = std::move(accepted);
    }

    // The sheet's window while it is up, for tests that answer it; likewise the copy window.
    static CRecordPropertySheet* openSheet();
    static class CdCopyDialog* openCopyWindow();
    // The encoding window that makes a CD track's MP3, while it is up.
    static class FileEncodingDialog* openEncodingWindow();

private:
    void setLevels(int left, int right);
    // Finishes the file being recorded (WAVE or RealAudio).
    void finishFile();
    // The recorded track's WAVE file to MP3 in the encoding window; the MP3, or "".
    std::string encodeTrack();
    RecordJob makeCdJob(const RecordingOptions& options, const CdDiscTitles& disc) const;
    std::vector<std::string> CopyCdTracks(const RecordingOptions& options, const CdDiscTitles& disc,
                                          QWidget* parent);
    void DataRecorded(CWave& wave, const std::uint8_t* bytes, size_t count, int zero) override;
    void RecordingFailed(CWave& wave, const std::string& why) override;

    AppSettings& m_settings;
    std::function<void()> m_save;
    std::function<void(int, int)> m_levelsListener;
    std::function<void()> m_optionsAccepted;
    QWidget* m_parent = nullptr;
    CWave m_wave;
    CAcmWaveWriter m_writer;
    std::shared_ptr<RealAudioEncoder> m_realAudio = makeRealAudioEncoder();
    int m_type = 0;     // of the file being recorded
    std::string m_path; // the file being recorded
    StoppedFile m_stopped;
    WAVEFORMATEX m_pcm;
    bool m_firstWrite = true;
    bool m_recording = false;
    bool m_paused = false;
    bool m_failed = false;
    int m_left = 0;
    int m_right = 0;
    RecordJob m_cdJob; // the tracks still to record through the sound card
    std::uint32_t m_cdTrack = 0;
};

} // namespace record
