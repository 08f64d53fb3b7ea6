#pragma once
// Playing a song an engine synthesizes itself (AdLib songs, tracker modules): a worker thread
// asks a renderer for PCM a little at a time and pushes it into the output chain in the MIDI
// role, so effects, equalizer and spectrum apply. The position is the song's time of what is
// heard, not of what was rendered: the chain holds a quarter second and more, and the tempo may
// change between two pieces. A seek starts a new output from the new place, so no tail of the
// old one is heard; changes to the renderer (tempo, key) are made between two pieces.

#include "engines/mediaplayer.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace engines {

class PcmOutput;

class PcmRenderer
{
public:
    virtual ~PcmRenderer() = default;
    // Fills up to `frames` frames of interleaved signed 16-bit PCM; 0 at the end of the song.
    virtual size_t render(std::int16_t* pcm, size_t frames) = 0;
    // The song's time reached by what has been rendered (ms).
    virtual std::int64_t songMs() = 0;
    // Goes on rendering from `ms` of the song.
    virtual void seek(std::int64_t ms) = 0;
};

class RenderedPlayback
{
public:
    struct Callbacks
    {
        std::function<void()> ended; // everything rendered has been heard
        std::function<void(const std::string& why)> failed;
    };
    RenderedPlayback(std::unique_ptr<PcmRenderer> renderer, PcmFormat format, Callbacks callbacks);
    ~RenderedPlayback();
    RenderedPlayback(const RenderedPlayback&) = delete;
    RenderedPlayback& operator=(const RenderedPlayback&) = delete;

    void start();
    bool pause();
    bool resume();
    // Moves to `ms`; a paused playback stays paused there.
    void seek(std::int64_t ms);
    // 530 until the sound starts, 526, 529, or 525 once the end was heard or it failed.
    int mode() const;
    bool failed() const { return m_failed; }
    std::int64_t positionMs();
    // Runs `change` on the renderer between two pieces of rendering.
    void withRenderer(const std::function<void(PcmRenderer&)>& change);

private:
    struct Mark
    {
        std::int64_t outMs;
        std::int64_t songMs;
    };
    void startOutputLocked(std::int64_t fromSongMs);
    void stopOutputLocked();
    void feed(unsigned generation);

    std::unique_ptr<PcmRenderer> m_renderer;
    PcmFormat m_format;
    Callbacks m_callbacks;

    // m_mutex guards the output and the thread; m_renderMutex the renderer; m_markMutex marks.
    mutable std::mutex m_mutex;
    std::unique_ptr<PcmOutput> m_out;
    std::thread m_worker;
    std::atomic<bool> m_cancel{false};
    std::atomic<bool> m_ended{false};
    std::atomic<bool> m_failed{false};
    std::atomic<unsigned> m_generation{0};
    bool m_paused = false;

    std::mutex m_renderMutex;
    std::mutex m_markMutex;
    std::deque<Mark> m_marks;
    std::int64_t m_startSongMs = 0;
};

} // namespace engines
