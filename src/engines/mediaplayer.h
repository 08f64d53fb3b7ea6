#pragma once
// One playback for an engine: a source (a local file, an http address, or PCM an engine pushes
// itself), GStreamer's decoding, and an output chain. It is driven from any thread; a thread of
// its own watches the pipeline and reports through callbacks. After shutdown() returns, no
// callback runs and none will, so an engine that starts a new playback never hears the old one.
//
// A playback holds a list of clips (the entries of a RealAudio .ram list, or one file) and
// moves to the next clip by itself when one ends or cannot be played.
//
// A playback with `video` set also shows pictures: the first picture stream goes, converted to
// BGRx, to an appsink whose frames are handed to the surface of `videoWindow` (or to the sink
// KOLVO_VIDEO_SINK describes). Its sound chain sits in a bin of its own, taken out when the
// file turns out to have no sound, so a film without a sound track plays too.
//
// A seek that breaks the pipeline before the new place is reached is made again, up to three
// times, on a pipeline built afresh for the same clip; the callers see the playback go on from
// there (no second `opened`, no `failed`), and a picture wait spans the rebuilding.

#include "engines/gstglue.h"
#include "engines/mpegvideo.h"
#include "engines/outputchain.h"
#include "engines/pipelinerunner.h"
#include "engines/videooutput.h"

#include <gst/gst.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace engines {

// What the pipeline tells about the stream being played.
struct StreamInfo
{
    std::string container;
    std::string codec;
    std::string videoCodec;
    int rate = 0;
    int channels = 0;
    int bits = 0;           // of the decoded samples, when the stream is PCM
    int bitrate = 0;        // bits per second, 0 when unknown
    bool mpegAudio = false; // MPEG-1/2 audio (Layer 1-3), as GStreamer typed the stream
    std::string title, artist, album, copyright, comment, genre;
};

// PCM an engine pushes: signed 16-bit interleaved samples.
struct PcmFormat
{
    int rate = 44100;
    int channels = 2;
};

class MediaPlayer
{
public:
    struct Callbacks
    {
        std::function<void()> opened;             // ready to play (length known)
        std::function<void(size_t clip)> playing; // sound started, once per clip
        std::function<void()> ended;              // the last clip played to its end
        std::function<void(const std::string& why)> failed;
    };
    struct Options
    {
        ChainRole role = ChainRole::DigitalAudio;
        OutputOptions output;
        int decoder = 0;          // MPEG audio: 0 mpg123, 1 libav
        int priority = 1;         // streaming threads: 0 below normal, 1 normal, 2 above normal
        std::string saveStreamTo; // http: the bytes received are also written there
        size_t captureHead = 0;   // http: keep this many first bytes for headBytes()
        std::optional<PcmFormat> pcm;
        bool video = false;   // show the pictures of the file (else they are dropped)
        HWND videoWindow = 0; // where they are shown (0: kept for capture only)
        // Tests: called with the pipeline as each seek is made, where they post the error a
        // decoder that breaks on the seek would.
        std::function<void(GstElement* pipeline)> seekMade;
    };

    MediaPlayer(Options options, Callbacks callbacks);
    ~MediaPlayer();
    MediaPlayer(const MediaPlayer&) = delete;
    MediaPlayer& operator=(const MediaPlayer&) = delete;

    // Starts opening clip `first` of `clips` (ignored for PCM). With `play` the sound starts as
    // soon as it can; otherwise the playback waits, ready, for play().
    void open(std::vector<std::string> clips, size_t first, bool play);
    enum class OpenState { Opening, Opened, Failed };
    // Waits up to `ms` for the open to finish. Never call it from a callback.
    OpenState waitOpened(int ms);

    bool play();
    bool pause();
    bool resume();
    // Stops at the start of the clip, ready to play again.
    bool stopAtStart();
    // stopMs < 0: to the end.
    bool seek(std::int64_t ms, std::int64_t stopMs = -1);
    // Playback speed (1.0 normal, 0.25..4).
    bool setRate(double rate);
    bool gotoClip(size_t index);
    size_t clipIndex() const;
    size_t clipCount() const;

    void setChannel(int channel);
    void setScale(bool agc, int value);

    int mode() const; // 525, 526, 529 or 530
    std::int64_t positionMs();
    std::int64_t lengthMs() const;
    bool isFailed() const;
    StreamInfo info() const;
    std::string error() const;
    std::chrono::steady_clock::time_point firstBufferAt() const;
    std::string headBytes();
    bool hasReverb() const;
    bool hasPitch() const;
    // The factory of the audio decoder autoplugging chose ("" when none is in the pipeline).
    std::string decoderName() const;
    // The sink's buffer in microseconds (0 without a sound card sink).
    std::int64_t sinkBufferUs() const;

    // Pictures (video playbacks).
    bool hasVideo() const;
    // The stream's picture size in display pixels (0 x 0 before the first picture).
    int videoWidth() const;
    int videoHeight() const;
    // Frames a second, 0 when the stream does not say.
    double frameRate() const;
    // The picture shown last (null before the first, and while a broken seek is made again).
    FramePtr currentFrame() const;
    void setVideoWindow(HWND window);
    // Pauses and shows the next or the previous picture.
    bool stepFrame(bool backward);
    // Pauses and shows the picture at `ms` at once (a plain seek while paused waits for play).
    bool showAt(std::int64_t ms);
    // Waits up to `ms` for a picture at or after the last seek; false when none came.
    bool waitFrame(int ms);

    // PCM playbacks: blocks while a quarter second is queued; false once stopped.
    bool pushPcm(const std::int16_t* frames, size_t count);
    void endPcm();

    // Stops everything; no callback runs after this returns. Never call it from a callback.
    void shutdown();

    // How long an http source waits for an answer (seconds).
    static void setNetworkTimeout(int seconds);

private:
    // Where the playback is. Idle before the first open; Opening until the pipeline has
    // prerolled (then m_afterOpen); Ready is stopped with the clip open (not started, or sent
    // back to its start); Ended holds until play() or seek(), Failed until another clip opens.
    enum class State { Idle, Opening, Ready, Playing, Paused, Ended, Failed };
    // What the runner wakes the bus thread for.
    enum Deadline : int { OpenTimeout, ProgressCheck };

    void setStateLocked(State state);
    bool wantsSoundLocked() const;
    bool openedLocked() const;
    void updateWatchdogLocked();
    PipelineRunner::Notice handle(GstMessage* message);
    PipelineRunner::Notice deadlineDue(int deadline);
    bool buildLocked(size_t clip, bool play);
    void teardownLocked();
    void advanceOrFinishLocked(bool failed, PipelineRunner::Notice& after);
    void readInfoLocked();
    void mergeTags(GstTagList* tags);
    bool seekNowLocked(std::int64_t ms, std::int64_t stopMs);
    bool seekPipelineLocked(double rate, std::int64_t startNs, std::int64_t stopNs);
    bool reopenAfterFailedSeekLocked();
    gint64 openEndLocked();
    void startPlayingLocked();
    void setPipelinePlayingLocked();
    static void padAdded(GstElement*, GstPad* pad, gpointer self);
    static void noMorePads(GstElement*, gpointer self);
    // Called by autoplugging for every stream it finds an element for.
    void notePlugged(GstCaps* caps);
    static int autoplugSelect(GstElement*, GstPad*, GstCaps*, GstElementFactory*, gpointer self);
    static GstBusSyncReply syncHandler(GstBus*, GstMessage*, gpointer self);
    static GstPadProbeReturn sourceProbe(GstPad*, GstPadProbeInfo*, gpointer self);
    bool linkVideo(GstPad* pad, GstElement* bin);
    bool seekPictureLocked(std::int64_t ns);
    void holdStillLocked();
    void takeFrame(GstSample* sample);
    static GstFlowReturn newSample(GstElement* sink, gpointer self);
    static GstFlowReturn newPreroll(GstElement* sink, gpointer self);

    Options m_options;
    Callbacks m_callbacks;

    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    GstRef<GstElement> m_pipeline;
    GstElement* m_appsrc = nullptr; // the pipeline's
    std::unique_ptr<OutputChain> m_chain;
    std::vector<std::string> m_clips;
    size_t m_clip = 0;
    State m_state = State::Idle;
    // While Opening: Ready, Playing or Paused, as open(), play(), pause() and the rest asked.
    State m_afterOpen = State::Ready;
    // Network buffering holds the pipeline paused while the playback stays Playing for its
    // users (mode 526); it comes and goes on its own, whatever the state, so it is a flag.
    bool m_buffering = false;
    // The playing callback has been made for this run of the clip. Sound starts some time
    // after the state becomes Playing (and again after a pause), so the state cannot tell.
    bool m_announced = false;
    // A seek made while starting to play: the pipeline is set playing once it has prerolled at
    // the new place. A step still to take, not a state.
    bool m_playAfterPreroll = false;
    // The sink's count of moves (OutputChain::sinkMoves) when the pipeline was last set playing.
    std::uint64_t m_sinkMovesAtPlay = 0;
    std::int64_t m_length = 0;
    // The clip's MPEG video length read from its bytes (mpegvideo.h), once GStreamer has given
    // none; an elementary stream's stays, as GStreamer only guesses one later.
    std::optional<MpegVideoLength> m_mpegVideo;
    std::int64_t m_lastPosition = 0;
    std::int64_t m_stopAt = -1; // the end of the played range, -1 for the clip's end
    // A seek asked for while not playing is made when playing starts again: an audio sink that
    // is flushed while paused keeps its clock (and so the position) standing for a while.
    std::int64_t m_pendingSeek = -1;
    // The place and time of the last seek the pipeline took (-1: none). GStreamer's messages
    // do not say which seek they follow, so an error soon after it is taken as the seek's.
    std::int64_t m_lastSeek = -1;
    std::chrono::steady_clock::time_point m_lastSeekAt{};
    int m_seekRetries = 0;     // pipelines rebuilt for the last seek
    bool m_recovering = false; // opening again after a failed seek, unannounced
    // A playback that should be moving and has not for a long time has failed somewhere in
    // GStreamer without saying so; it is ended with a failure rather than left hanging. The
    // position is looked at only while it should move (ProgressCheck is set only then).
    bool m_watching = false;
    std::int64_t m_progressPosition = -1;
    std::chrono::steady_clock::time_point m_progressSince{};
    std::int64_t m_pcmFrames = 0;
    double m_rate = 1.0;
    StreamInfo m_info;
    std::string m_error;

    // Pad linking runs on streaming threads and must never wait for m_mutex, which is held
    // while pipelines are stopped.
    mutable std::mutex m_linkMutex;
    GstRef<GstPad> m_chainPad;
    bool m_audioLinked = false;
    // Video playbacks: the sound chain's own bin (kept alive after it is taken out), the
    // picture sink, and the last picture.
    GstRef<GstElement> m_audioBin;
    GstElement* m_videoSink = nullptr; // the pipeline's
    bool m_videoLinked = false;
    bool m_audioRemoved = false;
    FramePtr m_lastFrame;
    std::uint64_t m_frameSerial = 0;
    std::uint64_t m_serialAtSeek = 0; // m_frameSerial when the last picture seek was made
    // Where the picture shown after a frame step starts, -1 when the last move was no step.
    // Decoders clip a picture's time to the seek's start, so a picture's own time would let
    // steps drift off the frame grid.
    std::int64_t m_stepBaseNs = -1;
    double m_frameRate = 0;
    std::atomic<HWND> m_videoWindow{0};
    std::condition_variable m_frameCv;
    // The container and the compressed audio autoplugging found, under m_linkMutex.
    struct Plugged
    {
        std::string container, codec;
        bool mpegAudio = false;
    } m_plugged;
    // What a local file's header says where GStreamer reads it otherwise (audioheaders.h): the
    // length of a compressed WAVE, and an AIFF-C for libav's reader. Set before the pipeline runs.
    std::optional<std::int64_t> m_headerLengthMs;
    std::atomic<bool> m_aiffcForLibav{false};
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> m_saveFile{nullptr, std::fclose};
    std::string m_head;

    // Last, so that it goes first: its thread uses everything above.
    PipelineRunner m_runner;
};

} // namespace engines
