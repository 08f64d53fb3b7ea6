#include "engines/renderedplayback.h"

#include "engines/engineapi.h"
#include "engines/pcmoutput.h"

#include <vector>

namespace engines {
namespace {

// A piece of rendering: about 23 ms at 44.1 kHz, so a tempo or key change is heard soon.
constexpr size_t kPieceFrames = 1024;
// Marks kept: more than the chain and the sink ever hold.
constexpr size_t kMaxMarks = 1024;

} // namespace

RenderedPlayback::RenderedPlayback(std::unique_ptr<PcmRenderer> renderer, PcmFormat format,
                                   Callbacks callbacks)
    : m_renderer(std::move(renderer))
    , m_format(format)
    , m_callbacks(std::move(callbacks))
{}

RenderedPlayback::~RenderedPlayback()
{
    std::lock_guard lock(m_mutex);
    stopOutputLocked();
}

void RenderedPlayback::start()
{
    std::lock_guard lock(m_mutex);
    std::int64_t from;
    {
        std::lock_guard render(m_renderMutex);
        from = m_renderer->songMs();
    }
    startOutputLocked(from);
}

void RenderedPlayback::startOutputLocked(std::int64_t fromSongMs)
{
    m_cancel = false;
    m_ended = false;
    m_failed = false;
    {
        std::lock_guard marks(m_markMutex);
        m_marks.clear();
        m_startSongMs = fromSongMs;
    }
    const unsigned generation = ++m_generation;
    MediaPlayer::Callbacks callbacks;
    callbacks.ended = [this, generation] {
        if (generation != m_generation || m_cancel)
            return;
        m_ended = true;
        if (m_callbacks.ended)
            m_callbacks.ended();
    };
    callbacks.failed = [this, generation](const std::string& why) {
        if (generation != m_generation || m_cancel)
            return;
        m_failed = true;
        m_ended = true;
        if (m_callbacks.failed)
            m_callbacks.failed(why);
    };
    m_out = std::make_unique<PcmOutput>(ChainRole::Midi, m_format, OutputOptions{},
                                        std::move(callbacks));
    m_out->start();
    if (m_paused)
        m_out->pause();
    m_worker = std::thread([this, generation] { feed(generation); });
}

void RenderedPlayback::stopOutputLocked()
{
    m_cancel = true;
    if (m_out)
        m_out->stop();
    if (m_worker.joinable())
        m_worker.join();
    m_out.reset();
}

void RenderedPlayback::feed(unsigned generation)
{
    std::vector<std::int16_t> pcm(kPieceFrames * static_cast<size_t>(m_format.channels));
    std::int64_t framesOut = 0;
    PcmOutput* out = m_out.get();
    while (!m_cancel) {
        size_t frames;
        std::int64_t song;
        {
            std::lock_guard render(m_renderMutex);
            frames = m_renderer->render(pcm.data(), kPieceFrames);
            song = m_renderer->songMs();
        }
        if (frames == 0) {
            out->finish();
            return;
        }
        if (!out->write(pcm.data(), frames))
            return;
        framesOut += static_cast<std::int64_t>(frames);
        std::lock_guard marks(m_markMutex);
        if (generation != m_generation)
            return;
        m_marks.push_back({framesOut * 1000 / m_format.rate, song});
        if (m_marks.size() > kMaxMarks)
            m_marks.pop_front();
    }
}

bool RenderedPlayback::pause()
{
    std::lock_guard lock(m_mutex);
    m_paused = true;
    return m_out && m_out->pause();
}

bool RenderedPlayback::resume()
{
    std::lock_guard lock(m_mutex);
    m_paused = false;
    return m_out && m_out->resume();
}

void RenderedPlayback::seek(std::int64_t ms)
{
    std::lock_guard lock(m_mutex);
    stopOutputLocked();
    std::int64_t from;
    {
        std::lock_guard render(m_renderMutex);
        m_renderer->seek(ms < 0 ? 0 : ms);
        from = m_renderer->songMs();
    }
    startOutputLocked(from);
}

int RenderedPlayback::mode() const
{
    std::lock_guard lock(m_mutex);
    if (!m_out || m_ended)
        return kModeStopped;
    const int mode = m_out->mode();
    // Before its first sound a paused output still reports opening.
    if (m_paused && mode != kModeStopped)
        return kModePaused;
    return mode;
}

std::int64_t RenderedPlayback::positionMs()
{
    std::int64_t heard = 0;
    {
        std::lock_guard lock(m_mutex);
        if (m_out)
            heard = m_out->positionMs();
    }
    std::lock_guard marks(m_markMutex);
    // Once the end has been heard, the song stands at the end of what was rendered.
    if (m_ended && !m_marks.empty())
        return m_marks.back().songMs;
    // Between the mark before what is heard and the one after, song time runs evenly.
    Mark before{0, m_startSongMs};
    for (const Mark& m : m_marks) {
        if (m.outMs >= heard) {
            if (m.outMs == before.outMs)
                return m.songMs;
            return before.songMs +
                   (heard - before.outMs) * (m.songMs - before.songMs) / (m.outMs - before.outMs);
        }
        before = m;
    }
    return before.songMs;
}

void RenderedPlayback::withRenderer(const std::function<void(PcmRenderer&)>& change)
{
    std::lock_guard render(m_renderMutex);
    change(*m_renderer);
}

} // namespace engines
