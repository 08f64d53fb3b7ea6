#include "engines/mediaplayer.h"

#include "engines/gstglue.h"

#include <gst/app/gstappsrc.h>
#include <gst/audio/audio.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace engines {

namespace {

std::atomic<int> g_networkTimeout{10};

// GStreamer 1.22's AIFF parser, when it pulls from the file, can push its first buffer before
// decodebin has exposed the pad, which leaves the playback stuck before its first sound. A
// queue in front makes it read in push mode, where that cannot happen.
bool isAiff(const std::string& path)
{
    char head[12] = {};
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    const size_t n = std::fread(head, 1, sizeof head, f);
    std::fclose(f);
    return n == sizeof head && std::memcmp(head, "FORM", 4) == 0 &&
           (std::memcmp(head + 8, "AIFF", 4) == 0 || std::memcmp(head + 8, "AIFC", 4) == 0);
}

bool isHttp(const std::string& location)
{
    return location.rfind("http://", 0) == 0 || location.rfind("https://", 0) == 0;
}

// decodebin's answers to autoplug-select.
constexpr int kAutoplugTry = 0;
constexpr int kAutoplugSkip = 2;

// The factory name of the first element in the pipeline, at any depth, whose factory is
// `wanted`; "" when there is none.
std::string firstFactoryName(GstElement* pipeline,
                             const std::function<bool(GstElementFactory*)>& wanted)
{
    std::string name;
    GstIterator* it = gst_bin_iterate_recurse(GST_BIN(pipeline));
    GValue item = G_VALUE_INIT;
    while (name.empty() && gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
        GstElementFactory* factory =
            gst_element_get_factory(GST_ELEMENT(g_value_get_object(&item)));
        if (factory && wanted(factory))
            name = GST_OBJECT_NAME(factory);
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(it);
    return name;
}

} // namespace

void MediaPlayer::setNetworkTimeout(int seconds)
{
    g_networkTimeout = std::max(1, seconds);
}

MediaPlayer::MediaPlayer(Options options, Callbacks callbacks)
    : m_options(std::move(options))
    , m_callbacks(std::move(callbacks))
{
    ensureGstreamer();
    m_busThread = std::thread([this] { busLoop(); });
    m_busThreadId = m_busThread.get_id();
}

MediaPlayer::~MediaPlayer()
{
    shutdown();
}

void MediaPlayer::shutdown()
{
    {
        std::lock_guard lock(m_callbackMutex);
        m_callbacksOn = false;
    }
    if (std::this_thread::get_id() == m_busThreadId)
        return; // the owner's destructor finishes the job from its own thread
    m_quit = true;
    if (m_busThread.joinable())
        m_busThread.join();
    std::lock_guard lock(m_mutex);
    teardownLocked();
    m_cv.notify_all();
}

void MediaPlayer::fire(const std::function<void()>& call)
{
    std::lock_guard lock(m_callbackMutex);
    if (m_callbacksOn && call)
        call();
}

// ---- building and tearing down ----

void MediaPlayer::teardownLocked()
{
    if (m_pipeline) {
        gst_element_set_state(m_pipeline, GST_STATE_NULL);
        gst_object_unref(m_pipeline);
        m_pipeline = nullptr;
    }
    m_appsrc = nullptr;
    m_chain.reset();
    {
        std::lock_guard link(m_linkMutex);
        if (m_chainPad)
            gst_object_unref(m_chainPad);
        m_chainPad = nullptr;
        m_audioLinked = false;
        m_head.clear();
    }
    m_saveFile.reset();
    ++m_generation;
}

bool MediaPlayer::buildLocked(size_t clip, bool play)
{
    teardownLocked();
    m_clip = clip;
    m_opening = true;
    m_opened = m_failed = m_ended = m_announced = m_buffering = false;
    m_paused = false;
    m_wantPlay = play;
    m_length = m_lastPosition = m_pcmFrames = 0;
    m_stopAt = m_pendingSeek = -1;
    m_playAfterPreroll = false;
    m_progressPosition = -1;
    m_progressSince = std::chrono::steady_clock::now();
    {
        const bool remote = !m_options.pcm && clip < m_clips.size() && isHttp(m_clips[clip]);
        m_openDeadline = std::chrono::steady_clock::now() +
                         std::chrono::seconds(remote ? g_networkTimeout.load() + 4 : 4);
    }
    m_rate = 1.0;
    m_info = StreamInfo();
    m_error.clear();

    const auto failNow = [&](const std::string& why) {
        m_error = why;
        m_opening = false;
        m_failed = true;
        m_cv.notify_all();
        return false;
    };

    std::string why;
    if (!ensureGstreamer(&why))
        return failNow(why);

    m_pipeline = gst_pipeline_new("kolvo-playback");
    gst_object_ref_sink(m_pipeline);
    m_chain = std::make_unique<OutputChain>(m_options.role, m_options.output);
    if (!m_chain->build(GST_BIN(m_pipeline), &why))
        return failNow(why);
    {
        std::lock_guard link(m_linkMutex);
        m_chainPad = GST_PAD(gst_object_ref(m_chain->sinkPad()));
    }

    if (m_options.pcm) {
        m_appsrc = makeElement("appsrc");
        const PcmFormat f = *m_options.pcm;
        GstCaps* caps = gst_caps_new_simple(
            "audio/x-raw", "format", G_TYPE_STRING, "S16LE", "layout", G_TYPE_STRING, "interleaved",
            "rate", G_TYPE_INT, f.rate, "channels", G_TYPE_INT, f.channels, nullptr);
        g_object_set(m_appsrc, "caps", caps, "format", GST_FORMAT_TIME, "block", TRUE, "max-bytes",
                     static_cast<guint64>(f.rate * f.channels * 2 / 4), nullptr);
        gst_caps_unref(caps);
        gst_bin_add(GST_BIN(m_pipeline), m_appsrc);
        GstPad* src = gst_element_get_static_pad(m_appsrc, "src");
        const bool linked = gst_pad_link(src, m_chain->sinkPad()) == GST_PAD_LINK_OK;
        gst_object_unref(src);
        if (!linked)
            return failNow("the PCM source cannot feed the output chain");
        std::lock_guard link(m_linkMutex);
        m_audioLinked = true;
    } else {
        if (clip >= m_clips.size())
            return failNow("nothing to play");
        const std::string& location = m_clips[clip];
        GstElement* source = nullptr;
        GstElement* decode = makeElement("decodebin");
        if (isHttp(location)) {
            source = makeElement("souphttpsrc");
            if (!source)
                return failNow("http streams need GStreamer's souphttpsrc");
            g_object_set(source, "location", location.c_str(), "timeout",
                         static_cast<guint>(g_networkTimeout.load()), "retries", 1, nullptr);
            g_object_set(decode, "use-buffering", TRUE, nullptr);
            if (!m_options.saveStreamTo.empty()) {
                // Plain bytes on disk: no interleaved station metadata.
                g_object_set(source, "iradio-mode", FALSE, nullptr);
                m_saveFile.reset(std::fopen(m_options.saveStreamTo.c_str(), "wb"));
            }
            if (m_saveFile || m_options.captureHead) {
                GstPad* pad = gst_element_get_static_pad(source, "src");
                gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, sourceProbe, this, nullptr);
                gst_object_unref(pad);
            }
        } else {
            source = makeElement("filesrc");
            g_object_set(source, "location", location.c_str(), nullptr);
        }
        if (!source || !decode)
            return failNow("GStreamer's decoding elements are missing");
        gst_bin_add_many(GST_BIN(m_pipeline), source, decode, nullptr);
        bool linked;
        if (!isHttp(location) && isAiff(location)) {
            GstElement* queue = makeElement("queue");
            gst_bin_add(GST_BIN(m_pipeline), queue);
            linked = gst_element_link_many(source, queue, decode, nullptr);
        } else {
            linked = gst_element_link(source, decode);
        }
        if (!linked)
            return failNow("the source cannot feed the decoder");
        g_signal_connect(decode, "pad-added", G_CALLBACK(padAdded), this);
        g_signal_connect(decode, "no-more-pads", G_CALLBACK(noMorePads), this);
        g_signal_connect(decode, "autoplug-select", G_CALLBACK(autoplugSelect), this);
    }

    GstBus* bus = gst_element_get_bus(m_pipeline);
    gst_bus_set_sync_handler(bus, syncHandler, this, nullptr);
    gst_object_unref(bus);

    // A failure here leaves its reason on the bus, where the bus thread reports it.
    gst_element_set_state(m_pipeline, play ? GST_STATE_PLAYING : GST_STATE_PAUSED);
    return true;
}

void MediaPlayer::open(std::vector<std::string> clips, size_t first, bool play)
{
    std::lock_guard lock(m_mutex);
    m_clips = std::move(clips);
    buildLocked(m_options.pcm ? 0 : first, play);
}

MediaPlayer::OpenState MediaPlayer::waitOpened(int ms)
{
    std::unique_lock lock(m_mutex);
    m_cv.wait_for(lock, std::chrono::milliseconds(ms), [this] { return !m_opening; });
    if (m_failed)
        return OpenState::Failed;
    return m_opening ? OpenState::Opening : OpenState::Opened;
}

// ---- streaming-thread callbacks ----

void MediaPlayer::padAdded(GstElement*, GstPad* pad, gpointer selfPtr)
{
    auto* self = static_cast<MediaPlayer*>(selfPtr);
    GstCaps* caps = gst_pad_get_current_caps(pad);
    if (!caps)
        caps = gst_pad_query_caps(pad, nullptr);
    const bool audio =
        caps &&
        g_str_has_prefix(gst_structure_get_name(gst_caps_get_structure(caps, 0)), "audio/x-raw");
    if (caps)
        gst_caps_unref(caps);
    {
        std::lock_guard link(self->m_linkMutex);
        if (audio && !self->m_audioLinked && self->m_chainPad) {
            if (gst_pad_link(pad, self->m_chainPad) == GST_PAD_LINK_OK)
                self->m_audioLinked = true;
            return;
        }
    }
    // A second audio stream or a picture: consumed quietly so the demuxer is not stopped by
    // an unlinked stream.
    GstElement* decode = gst_pad_get_parent_element(pad);
    GstObject* bin = decode ? gst_object_get_parent(GST_OBJECT(decode)) : nullptr;
    if (decode)
        gst_object_unref(decode);
    if (!bin)
        return;
    GstElement* sink = makeElement("fakesink");
    g_object_set(sink, "sync", FALSE, "async", FALSE, nullptr);
    gst_bin_add(GST_BIN(bin), sink);
    gst_element_sync_state_with_parent(sink);
    GstPad* sinkPad = gst_element_get_static_pad(sink, "sink");
    gst_pad_link(pad, sinkPad);
    gst_object_unref(sinkPad);
    gst_object_unref(bin);
}

void MediaPlayer::noMorePads(GstElement* decode, gpointer selfPtr)
{
    auto* self = static_cast<MediaPlayer*>(selfPtr);
    bool linked;
    {
        std::lock_guard link(self->m_linkMutex);
        linked = self->m_audioLinked;
    }
    if (!linked) {
        GError* err = g_error_new_literal(GST_STREAM_ERROR, GST_STREAM_ERROR_WRONG_TYPE,
                                          "the file holds no sound");
        gst_element_post_message(decode, gst_message_new_error(GST_OBJECT(decode), err, nullptr));
        g_error_free(err);
    }
}

int MediaPlayer::autoplugSelect(GstElement*, GstPad*, GstCaps*, GstElementFactory* factory,
                                gpointer selfPtr)
{
    auto* self = static_cast<MediaPlayer*>(selfPtr);
    const std::string name = GST_OBJECT_NAME(factory);
    const bool mpg123 = name == "mpg123audiodec";
    const bool libavMpeg = name.rfind("avdec_mp", 0) == 0;
    if (self->m_options.decoder == 1 && mpg123)
        return kAutoplugSkip;
    if (self->m_options.decoder == 0 && libavMpeg)
        return kAutoplugSkip;
    return kAutoplugTry;
}

GstBusSyncReply MediaPlayer::syncHandler(GstBus*, GstMessage* message, gpointer selfPtr)
{
    auto* self = static_cast<MediaPlayer*>(selfPtr);
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_STREAM_STATUS) {
        GstStreamStatusType type;
        GstElement* owner = nullptr;
        gst_message_parse_stream_status(message, &type, &owner);
        if (type == GST_STREAM_STATUS_TYPE_ENTER) {
            // Runs on the thread being started. Raising needs privileges; without them the
            // thread simply stays at normal priority.
            const int nice = self->m_options.priority <= 0   ? 5
                             : self->m_options.priority >= 2 ? -5
                                                             : 0;
            if (nice != 0)
                setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), nice);
        }
    }
    return GST_BUS_PASS;
}

GstPadProbeReturn MediaPlayer::sourceProbe(GstPad*, GstPadProbeInfo* info, gpointer selfPtr)
{
    auto* self = static_cast<MediaPlayer*>(selfPtr);
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    GstMapInfo map;
    if (!buffer || !gst_buffer_map(buffer, &map, GST_MAP_READ))
        return GST_PAD_PROBE_OK;
    if (self->m_saveFile)
        std::fwrite(map.data, 1, map.size, self->m_saveFile.get());
    {
        std::lock_guard link(self->m_linkMutex);
        if (self->m_head.size() < self->m_options.captureHead) {
            const size_t take =
                std::min(map.size, self->m_options.captureHead - self->m_head.size());
            self->m_head.append(reinterpret_cast<const char*>(map.data), take);
        }
    }
    gst_buffer_unmap(buffer, &map);
    return GST_PAD_PROBE_OK;
}

std::string MediaPlayer::headBytes()
{
    std::lock_guard link(m_linkMutex);
    return m_head;
}

// ---- the bus thread ----

void MediaPlayer::busLoop()
{
    while (!m_quit) {
        GstBus* bus = nullptr;
        unsigned generation = 0;
        {
            std::lock_guard lock(m_mutex);
            if (m_pipeline)
                bus = gst_element_get_bus(m_pipeline);
            generation = m_generation;
        }
        if (!bus) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            continue;
        }
        GstMessage* message = gst_bus_timed_pop(bus, 30 * GST_MSECOND);
        gst_object_unref(bus);
        if (message) {
            handle(message, generation);
            gst_message_unref(message);
        }
        checkOpenTimeout(generation);
    }
}

void MediaPlayer::checkOpenTimeout(unsigned generation)
{
    using Clock = std::chrono::steady_clock;
    constexpr auto kStall = std::chrono::seconds(5);
    std::function<void()> after;
    {
        std::lock_guard lock(m_mutex);
        // PCM waits for its engine's frames for as long as that takes.
        if (generation != m_generation || !m_pipeline || m_options.pcm || m_failed)
            return;
        const auto now = Clock::now();
        if (m_opening) {
            if (now < m_openDeadline)
                return;
            m_error = "the file did not open in time";
            advanceOrFinishLocked(true, after);
        } else {
            if (now - m_progressChecked < std::chrono::milliseconds(200))
                return;
            m_progressChecked = now;
            gint64 position = -1;
            const bool moving = m_wantPlay && !m_paused && !m_ended && !m_buffering;
            if (moving)
                gst_element_query_position(m_pipeline, GST_FORMAT_TIME, &position);
            if (!moving || position != m_progressPosition) {
                m_progressPosition = moving ? position : -1;
                m_progressSince = now;
            } else if (now - m_progressSince > kStall) {
                m_error = "the playback stopped moving";
                advanceOrFinishLocked(true, after);
            }
        }
    }
    if (after)
        fire(after);
}

void MediaPlayer::mergeTags(GstTagList* tags)
{
    const auto text = [&](const char* tag, std::string& into) {
        gchar* value = nullptr;
        if (gst_tag_list_get_string(tags, tag, &value) && value) {
            into = value;
            g_free(value);
        }
    };
    text(GST_TAG_CONTAINER_FORMAT, m_info.container);
    text(GST_TAG_AUDIO_CODEC, m_info.codec);
    text(GST_TAG_TITLE, m_info.title);
    text(GST_TAG_ARTIST, m_info.artist);
    text(GST_TAG_ALBUM, m_info.album);
    text(GST_TAG_COPYRIGHT, m_info.copyright);
    text(GST_TAG_COMMENT, m_info.comment);
    text(GST_TAG_GENRE, m_info.genre);
    guint bitrate = 0;
    if (gst_tag_list_get_uint(tags, GST_TAG_NOMINAL_BITRATE, &bitrate) && bitrate)
        m_info.bitrate = static_cast<int>(bitrate);
    else if (!m_info.bitrate && gst_tag_list_get_uint(tags, GST_TAG_BITRATE, &bitrate) && bitrate)
        m_info.bitrate = static_cast<int>(bitrate);
}

void MediaPlayer::readInfoLocked()
{
    gint64 duration = -1;
    if (gst_element_query_duration(m_pipeline, GST_FORMAT_TIME, &duration) && duration > 0)
        m_length = duration / GST_MSECOND;
    GstPad* pad = m_chain ? m_chain->sinkPad() : nullptr;
    if (GstCaps* caps = pad ? gst_pad_get_current_caps(pad) : nullptr) {
        GstAudioInfo ai;
        if (gst_audio_info_from_caps(&ai, caps)) {
            m_info.rate = GST_AUDIO_INFO_RATE(&ai);
            m_info.channels = GST_AUDIO_INFO_CHANNELS(&ai);
            m_info.bits = GST_AUDIO_INFO_WIDTH(&ai);
        }
        gst_caps_unref(caps);
    }
}

void MediaPlayer::advanceOrFinishLocked(bool failed, std::function<void()>& after)
{
    if (!m_options.pcm && m_clip + 1 < m_clips.size()) {
        buildLocked(m_clip + 1, true);
        return;
    }
    if (m_chain)
        m_chain->setSounding(false);
    if (failed) {
        m_failed = true;
        m_opening = false;
        const std::string why = m_error;
        after = [this, why] {
            if (m_callbacks.failed)
                m_callbacks.failed(why);
        };
        if (m_pipeline)
            gst_element_set_state(m_pipeline, GST_STATE_NULL);
    } else {
        m_ended = true;
        m_lastPosition = m_stopAt >= 0 ? m_stopAt : m_length;
        after = [this] {
            if (m_callbacks.ended)
                m_callbacks.ended();
        };
    }
    m_cv.notify_all();
}

void MediaPlayer::handle(GstMessage* message, unsigned generation)
{
    std::function<void()> after;
    {
        std::lock_guard lock(m_mutex);
        if (generation != m_generation || !m_pipeline)
            return;
        const bool fromPipeline = GST_MESSAGE_SRC(message) == GST_OBJECT(m_pipeline);
        switch (GST_MESSAGE_TYPE(message)) {
        case GST_MESSAGE_ERROR:
            m_error = describeError(message);
            if (const char* trace = std::getenv("KOLVO_TRACE"); trace && *trace == '1')
                std::fprintf(stdout, "kolvo: playback of %s failed: %s\n",
                             m_clip < m_clips.size() ? m_clips[m_clip].c_str() : "PCM",
                             m_error.c_str());
            advanceOrFinishLocked(true, after);
            break;
        case GST_MESSAGE_EOS: {
            // A file that ends before any sound came out of it held none that could be
            // decoded: that is a failure, not a song of no length.
            const bool silent = !m_options.pcm && m_chain &&
                                m_chain->firstBufferAt() == std::chrono::steady_clock::time_point{};
            if (silent)
                m_error = "the file holds no sound that can be decoded";
            advanceOrFinishLocked(silent, after);
            break;
        }
        case GST_MESSAGE_ASYNC_DONE:
            readInfoLocked();
            if (m_playAfterPreroll) {
                m_playAfterPreroll = false;
                if (m_wantPlay && !m_paused && !m_buffering && !m_ended)
                    gst_element_set_state(m_pipeline, GST_STATE_PLAYING);
            }
            if (m_opening) {
                m_opening = false;
                m_opened = true;
                m_cv.notify_all();
                // play() may have come while the open was still going on.
                if (m_wantPlay && !m_paused && !m_buffering)
                    startPlayingLocked();
                after = [this] {
                    if (m_callbacks.opened)
                        m_callbacks.opened();
                };
            }
            break;
        case GST_MESSAGE_STATE_CHANGED:
            if (fromPipeline) {
                GstState oldState, newState, pending;
                gst_message_parse_state_changed(message, &oldState, &newState, &pending);
                if (m_chain)
                    m_chain->setSounding(newState == GST_STATE_PLAYING);
                if (newState == GST_STATE_PLAYING && !m_announced && m_wantPlay) {
                    m_announced = true;
                    const size_t clip = m_clip;
                    after = [this, clip] {
                        if (m_callbacks.playing)
                            m_callbacks.playing(clip);
                    };
                }
            }
            break;
        case GST_MESSAGE_DURATION_CHANGED:
            readInfoLocked();
            break;
        case GST_MESSAGE_TAG: {
            GstTagList* tags = nullptr;
            gst_message_parse_tag(message, &tags);
            mergeTags(tags);
            gst_tag_list_unref(tags);
            break;
        }
        case GST_MESSAGE_BUFFERING: {
            gint percent = 100;
            gst_message_parse_buffering(message, &percent);
            if (percent < 100 && !m_buffering && m_wantPlay && !m_paused && m_opened) {
                m_buffering = true;
                gst_element_set_state(m_pipeline, GST_STATE_PAUSED);
            } else if (percent >= 100 && m_buffering) {
                m_buffering = false;
                if (m_wantPlay && !m_paused)
                    gst_element_set_state(m_pipeline, GST_STATE_PLAYING);
            }
            break;
        }
        case GST_MESSAGE_ELEMENT:
            if (m_chain)
                m_chain->handleElementMessage(message);
            break;
        default:
            break;
        }
    }
    if (after)
        fire(after);
}

// ---- control ----

bool MediaPlayer::play()
{
    std::lock_guard lock(m_mutex);
    if (!m_pipeline || m_failed)
        return false;
    m_wantPlay = true;
    m_paused = false;
    if (m_ended) {
        m_ended = false;
        m_announced = false;
        if (m_pendingSeek < 0) {
            m_pendingSeek = 0;
            m_stopAt = -1;
        }
    }
    if (!m_opening)
        startPlayingLocked();
    return true;
}

void MediaPlayer::startPlayingLocked()
{
    // A seek waiting for play is made first; the pipeline prerolls at the new place and is set
    // playing once that is done (ASYNC_DONE), never while the flush is still going through.
    if (m_pendingSeek >= 0) {
        const std::int64_t target = m_pendingSeek;
        m_pendingSeek = -1;
        if (seekNowLocked(target, m_stopAt)) {
            m_playAfterPreroll = true;
            return;
        }
    }
    gst_element_set_state(m_pipeline, GST_STATE_PLAYING);
}

bool MediaPlayer::pause()
{
    std::lock_guard lock(m_mutex);
    if (!m_pipeline || m_failed || m_ended)
        return false;
    m_paused = true;
    m_playAfterPreroll = false;
    if (m_chain)
        m_chain->setSounding(false);
    gst_element_set_state(m_pipeline, GST_STATE_PAUSED);
    return true;
}

bool MediaPlayer::resume()
{
    std::lock_guard lock(m_mutex);
    if (!m_pipeline || m_failed || m_ended)
        return false;
    m_paused = false;
    m_wantPlay = true;
    if (!m_opening && !m_buffering)
        startPlayingLocked();
    return true;
}

bool MediaPlayer::stopAtStart()
{
    std::lock_guard lock(m_mutex);
    if (!m_pipeline || m_failed)
        return false;
    m_wantPlay = m_paused = m_ended = m_announced = m_playAfterPreroll = false;
    if (m_chain)
        m_chain->setSounding(false);
    gst_element_set_state(m_pipeline, GST_STATE_PAUSED);
    m_pendingSeek = 0;
    m_stopAt = -1;
    m_lastPosition = 0;
    return true;
}

bool MediaPlayer::seek(std::int64_t ms, std::int64_t stopMs)
{
    std::lock_guard lock(m_mutex);
    if (!m_pipeline || !m_opened || m_failed || m_options.pcm)
        return false;
    ms = std::max<std::int64_t>(0, ms);
    if (m_length > 0)
        ms = std::min(ms, m_length);
    if (m_chain)
        m_chain->flushAnalysis();
    if (m_ended) {
        // After the end the playback goes on from the new place.
        m_ended = false;
        m_wantPlay = true;
        if (!m_paused) {
            m_pendingSeek = ms;
            m_stopAt = stopMs;
            m_lastPosition = ms;
            startPlayingLocked();
            return true;
        }
    }
    if (m_paused || !m_wantPlay) {
        m_pendingSeek = ms;
        m_stopAt = stopMs;
        m_lastPosition = ms;
        return true;
    }
    return seekNowLocked(ms, stopMs);
}

gint64 MediaPlayer::openEndLocked()
{
    // GStreamer 1.22's AU parser, after a seek, turns an open end into an end at 0 when it
    // converts its segment to time, so the playback ends at once. It is given the clip's end
    // instead.
    const bool auParser = !firstFactoryName(m_pipeline, [](GstElementFactory* factory) {
                               return std::strcmp(GST_OBJECT_NAME(factory), "auparse") == 0;
                           }).empty();
    gint64 duration = -1;
    if (auParser && gst_element_query_duration(m_pipeline, GST_FORMAT_TIME, &duration) &&
        duration > 0)
        return duration;
    return static_cast<gint64>(GST_CLOCK_TIME_NONE);
}

bool MediaPlayer::seekNowLocked(std::int64_t ms, std::int64_t stopMs)
{
    const gint64 stop = stopMs >= 0 ? stopMs * GST_MSECOND : openEndLocked();
    const bool ok =
        gst_element_seek(m_pipeline, m_rate, GST_FORMAT_TIME,
                         static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                         GST_SEEK_TYPE_SET, ms * GST_MSECOND, GST_SEEK_TYPE_SET, stop);
    if (ok) {
        m_lastPosition = ms;
        m_stopAt = stopMs;
    }
    return ok;
}

bool MediaPlayer::setRate(double rate)
{
    std::lock_guard lock(m_mutex);
    if (!m_pipeline || !m_opened || m_failed || m_options.pcm || !(rate >= 0.25 && rate <= 4.0))
        return false;
    gint64 pos = 0;
    gst_element_query_position(m_pipeline, GST_FORMAT_TIME, &pos);
    const gint64 end = m_stopAt >= 0 ? m_stopAt * GST_MSECOND : openEndLocked();
    const bool ok = gst_element_seek(
        m_pipeline, rate, GST_FORMAT_TIME,
        static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE), GST_SEEK_TYPE_SET,
        pos, end >= 0 ? GST_SEEK_TYPE_SET : GST_SEEK_TYPE_NONE, end >= 0 ? end : 0);
    if (ok)
        m_rate = rate;
    return ok;
}

bool MediaPlayer::gotoClip(size_t index)
{
    std::lock_guard lock(m_mutex);
    if (m_options.pcm || index >= m_clips.size())
        return false;
    return buildLocked(index, true);
}

size_t MediaPlayer::clipIndex() const
{
    std::lock_guard lock(m_mutex);
    return m_clip;
}

size_t MediaPlayer::clipCount() const
{
    std::lock_guard lock(m_mutex);
    return m_clips.size();
}

void MediaPlayer::setChannel(int channel)
{
    std::lock_guard lock(m_mutex);
    m_options.output.channel = channel;
    if (m_chain)
        m_chain->setChannel(channel);
}

void MediaPlayer::setScale(bool agc, int value)
{
    std::lock_guard lock(m_mutex);
    m_options.output.agc = agc;
    m_options.output.scaleValue = value;
    if (m_chain)
        m_chain->setScale(agc, value);
}

int MediaPlayer::mode() const
{
    std::lock_guard lock(m_mutex);
    if (!m_pipeline || m_failed || m_ended)
        return 525;
    if (m_opening)
        return 530;
    if (m_paused)
        return 529;
    return m_wantPlay ? 526 : 525;
}

std::int64_t MediaPlayer::positionMs()
{
    std::lock_guard lock(m_mutex);
    if (!m_pipeline || m_opening)
        return 0;
    if (m_ended || m_pendingSeek >= 0)
        return m_lastPosition;
    gint64 pos = -1;
    if (gst_element_query_position(m_pipeline, GST_FORMAT_TIME, &pos) && pos >= 0) {
        m_lastPosition = pos / GST_MSECOND;
        if (m_length > 0)
            m_lastPosition = std::min(m_lastPosition, m_length);
    }
    return m_lastPosition;
}

std::int64_t MediaPlayer::lengthMs() const
{
    std::lock_guard lock(m_mutex);
    return m_length;
}

bool MediaPlayer::isFailed() const
{
    std::lock_guard lock(m_mutex);
    return m_failed;
}

StreamInfo MediaPlayer::info() const
{
    std::lock_guard lock(m_mutex);
    return m_info;
}

std::string MediaPlayer::error() const
{
    std::lock_guard lock(m_mutex);
    return m_error;
}

std::chrono::steady_clock::time_point MediaPlayer::firstBufferAt() const
{
    std::lock_guard lock(m_mutex);
    return m_chain ? m_chain->firstBufferAt() : std::chrono::steady_clock::time_point{};
}

bool MediaPlayer::hasReverb() const
{
    std::lock_guard lock(m_mutex);
    return m_chain && m_chain->hasReverb();
}

bool MediaPlayer::hasPitch() const
{
    std::lock_guard lock(m_mutex);
    return m_chain && m_chain->hasPitch();
}

std::string MediaPlayer::decoderName() const
{
    std::lock_guard lock(m_mutex);
    if (!m_pipeline)
        return {};
    return firstFactoryName(m_pipeline, [](GstElementFactory* factory) {
        return gst_element_factory_list_is_type(factory, GST_ELEMENT_FACTORY_TYPE_DECODER |
                                                             GST_ELEMENT_FACTORY_TYPE_MEDIA_AUDIO);
    });
}

std::int64_t MediaPlayer::sinkBufferUs() const
{
    std::lock_guard lock(m_mutex);
    return m_chain ? m_chain->sinkBufferUs() : 0;
}

bool MediaPlayer::pushPcm(const std::int16_t* frames, size_t count)
{
    GstElement* src = nullptr;
    GstBuffer* buffer = nullptr;
    {
        std::lock_guard lock(m_mutex);
        if (!m_appsrc || m_failed || !frames)
            return false;
        const PcmFormat f = *m_options.pcm;
        const size_t bytes = count * static_cast<size_t>(f.channels) * 2;
        buffer = gst_buffer_new_allocate(nullptr, bytes, nullptr);
        gst_buffer_fill(buffer, 0, frames, bytes);
        GST_BUFFER_PTS(buffer) = gst_util_uint64_scale(m_pcmFrames, GST_SECOND, f.rate);
        GST_BUFFER_DURATION(buffer) = gst_util_uint64_scale(count, GST_SECOND, f.rate);
        m_pcmFrames += static_cast<std::int64_t>(count);
        src = GST_ELEMENT(gst_object_ref(m_appsrc));
    }
    // Outside the lock: the push waits while the queue is full, and stopping must not wait
    // for it.
    const GstFlowReturn r = gst_app_src_push_buffer(GST_APP_SRC(src), buffer);
    gst_object_unref(src);
    return r == GST_FLOW_OK;
}

void MediaPlayer::endPcm()
{
    std::lock_guard lock(m_mutex);
    if (m_appsrc)
        gst_app_src_end_of_stream(GST_APP_SRC(m_appsrc));
}

} // namespace engines
