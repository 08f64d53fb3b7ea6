#pragma once
// The digital copy of CD tracks without its window: RecordJob (what to copy and how to name
// it), the designed output names ("A-B-07-Blue.wav"), and CdCopier, which drives the CD reading
// engine block by block (300 frames at most), hands each block to the encoder on a worker
// thread in chunks of 44100 bytes and tells a listener what the copy window shows. The copy
// window and kolvo-cli cd copy both run it, on a thread with a Qt event loop.
//
// It promises: outputs are WAVE files in the recording format (through CAcmWaveWriter), MP3
// files (through the MP3 encoder engine, tagged with the album's texts) or RealAudio files
// (through the RealAudio encoder engine, with the clip texts, or the track's title and the
// artist when none were given); a cancel, a read
// error or a write error finishes the output being written, so every file it names is a valid
// one; the temporary "$$rec$$.wav" is gone when the copier is.

#include "record/acmwavewriter.h"
#include "record/kmpencengine.h"
#include "record/kreengine.h"
#include "record/waveformat.h"

#include <QObject>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace record {

struct RecordJob
{
    bool firstWrite = true;
    int recordType = 0; // 0 WAVE, 1 MPEG Layer 3, 2 RealAudio
    int cdMethod = 1;   // 1 digital copy
    WAVEFORMATEX recordFormat = MakePcmFormat(44100, 16, 2);
    std::string directory;
    bool recordFromCd = true;
    bool useTitleInfo = true;
    bool useSongInfo = true;
    bool useSongInfoAlbumTitle = true;
    bool useSongInfoSinger = true;
    bool useSongInfoTrackNumber = true;
    std::vector<std::uint32_t> selectedTracks; // still to copy, in order
    std::vector<std::string> trackTitles;      // [track - 1]
    std::string albumTitle;
    std::string artist;
    std::string clipTitle, clipAuthor, clipCopyright;
    // MP3: the profile ("RecordMPEGProfile"), or a bit rate in kbps when above 0.
    int mpegProfile = 0;
    int mpegBitRate = 0;
    // RealAudio: the profile ("RecordRAProfile").
    int raProfile = 0;
    // The "Drive" setting.
    std::string drive;
};

// The output path of track n as the job names it (not taking the track from the job).
std::string cdOutputPath(const RecordJob& job, std::uint32_t track);

// The designed texts of the copy.
constexpr unsigned kMsgCantStartCdReading = 2045;
constexpr unsigned kMsgCantInitAcm = 1066;
constexpr unsigned kMsgCantWrite = 2064;
constexpr unsigned kMsgReadError = 1065;

class CdCopier : public QObject
{
    Q_OBJECT
public:
    enum class RowIcon { Waiting = 2, Done = 3, Reading = 5, Encoding = 6 };

    struct Listener
    {
        virtual ~Listener() = default;
        virtual void rowIcon(int row, RowIcon icon) = 0;
        virtual void rowFile(int row, const std::string& path) = 0;
        virtual void rowStatus(int row, const std::string& text) = 0;
        // Both bars: the track's percent and the overall position (row * 100 + percent).
        virtual void bars(int percent, int overall) = 0;
        virtual void message(const std::string& text) = 0;
        // The copy has ended: all done (the button becomes Close) or not (the window closes).
        virtual void ended(bool allDone) = 0;
    };

    // The job is the caller's and is changed as designed (tracks taken, first-write flag).
    CdCopier(RecordJob& job, Listener& listener, QObject* parent = nullptr);
    ~CdCopier() override;

    // The start command: opens the disc and starts the first track.
    void start();
    // The Cancel button: while busy it asks for a stop; otherwise it cancels.
    void cancel();

    bool busy() const { return m_busy; }
    bool cancelled() const { return m_cancelled; }
    bool stopRequested() const { return m_stop; }
    const std::vector<std::string>& producedFiles() const { return m_produced; }
    const std::string& temporaryPath() const { return m_tempPath; }
    int currentTrack() const { return m_track; }

    // Called between the slices of the wait for a block's encoding (tests press Cancel there).
    std::function<void()> onEncodingSlice;

private:
    void onNotify(int event, int value);
    void startTrack();
    void blockComplete();
    void showProgress(int value);
    bool openOutput();
    void finishOutput();
    void fail(unsigned message, bool withTrack = false);
    void close();

    RecordJob& m_job;
    Listener& m_listener;
    std::vector<std::string> m_produced;
    bool m_busy = false;
    std::atomic<bool> m_stop{false};
    bool m_cancelled = false;
    bool m_ended = false;
    bool m_outputOpen = false;
    int m_row = -1;
    int m_track = 0;
    int m_trackFrames = 0;
    int m_trackSeconds = 0;
    int m_position = 0;
    int m_lastPercent = -1;
    int m_lastSecond = -1;
    int m_blockFrames = 0;
    int m_overallBase = 0;
    std::string m_outputPath;
    std::string m_tempPath;
    CAcmWaveWriter m_writer;
    std::shared_ptr<MpegEncoder> m_mpeg;
    std::shared_ptr<RealAudioEncoder> m_realAudio;
};

} // namespace record
