#include "engines/mediaplayer.h"

#include "platform/log.h"

#include "engines/audioheaders.h"
#include "engines/decoderthreads.h"
#include "engines/enginesupport.h"
#include "engines/gstglue.h"

#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/audio/audio.h>
#include <gst/pbutils/pbutils.h>
#include <gst/video/video.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace engines {

namespace {

std::atomic<int> g_networkTimeout{10};

// A playback that should be moving is looked at this often, and failed once its position has
// stood still for kStall.
constexpr auto kProgressCheck = std::chrono::milliseconds(500);
constexpr auto kStall = std::chrono::seconds(5);
// How many times a seek that broke the pipeline is made again on a new one, and how soon after
// the seek an error counts as its breaking (it comes as the decoder starts at the new place).
constexpr int kSeekRetries = 3;
constexpr auto kSeekBreakTime = std::chrono::seconds(3);
// m_serialAtSeek while a seek waits to be made again on a reopened pipeline: no picture is
// the seek's until then.
constexpr std::uint64_t kReopenedSeekAwaited = std::numeric_limits<std::uint64_t>::max();

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
    , m_videoWindow(m_options.videoWindow)
    , m_runner(m_mutex, {.message = [this](GstMessage* message) { return handle(message); },
                         .deadline = [this](int deadline) { return deadlineDue(deadline); }})
{
    ensureGstreamer();
}

MediaPlayer::~MediaPlayer()
{
    shutdown();
}

void MediaPlayer::shutdown()
{
    m_runner.shutdown();
    std::lock_guard lock(m_mutex);
    teardownLocked();
    m_cv.notify_all();
}

// ---- the state ----

void MediaPlayer::setStateLocked(State state)
{
    m_state = state;
    m_cv.notify_all();
    updateWatchdogLocked();
}

// Whether the pipeline reaching PLAYING is the sound the user asked for.
bool MediaPlayer::wantsSoundLocked() const
{
    return m_state == State::Playing ||
           (m_state == State::Opening && m_afterOpen == State::Playing);
}

// Whether the clip has been opened and can be seeked in, played and paused.
bool MediaPlayer::openedLocked() const
{
    return m_state == State::Ready || m_state == State::Playing || m_state == State::Paused ||
           m_state == State::Ended;
}

void MediaPlayer::updateWatchdogLocked()
{
    // PCM waits for its engine's frames for as long as that takes.
    const bool moving =
        m_state == State::Playing && !m_buffering && !m_options.pcm && m_pipeline != nullptr;
    if (moving == m_watching)
        return;
    m_watching = moving;
    if (moving) {
        m_progressPosition = -1;
        m_progressSince = std::chrono::steady_clock::now();
        m_runner.setDeadline(ProgressCheck, m_progressSince + kProgressCheck);
    } else {
        m_runner.cancelDeadline(ProgressCheck);
    }
}

// ---- building and tearing down ----

void MediaPlayer::teardownLocked()
{
    // From here on the runner drops what the old pipeline still says, and its deadlines.
    m_runner.unwatch();
    m_watching = false;
    if (m_pipeline) {
        gst_element_set_state(m_pipeline.get(), GST_STATE_NULL);
        m_pipeline.reset();
    }
    m_appsrc = nullptr;
    m_chain.reset();
    {
        std::lock_guard link(m_linkMutex);
        m_chainPad.reset();
        m_audioLinked = false;
        m_plugged = Plugged();
        m_head.clear();
        m_audioBin.reset();
        m_videoSink = nullptr;
        m_videoLinked = m_audioRemoved = false;
        m_lastFrame.reset();
        m_frameSerial = 0;
        m_frameRate = 0;
    }
    m_saveFile.reset();
}

bool MediaPlayer::buildLocked(size_t clip, bool play)
{
    teardownLocked();
    m_clip = clip;
    m_afterOpen = play ? State::Playing : State::Ready;
    m_announced = m_buffering = m_playAfterPreroll = false;
    m_length = m_lastPosition = m_pcmFrames = 0;
    m_headerLengthMs.reset();
    m_aiffcForLibav = false;
    m_mpegVideo.reset();
    m_stopAt = m_pendingSeek = m_lastSeek = -1;
    m_seekRetries = 0;
    m_recovering = false;
    m_rate = 1.0;
    m_info = StreamInfo();
    m_error.clear();
    setStateLocked(State::Opening);

    const auto failNow = [&](const std::string& why) {
        m_error = why;
        setStateLocked(State::Failed);
        return false;
    };

    std::string why;
    if (!ensureGstreamer(&why))
        return failNow(why);

    m_pipeline.reset(GST_ELEMENT(gst_object_ref_sink(gst_pipeline_new("kolvo-playback"))));
    GstElement* const pipeline = m_pipeline.get();
    m_chain = std::make_unique<OutputChain>(m_options.role, m_options.output);
    if (m_options.video && !m_options.pcm) {
        // The sound chain in a bin of its own, which a file without sound gives up.
        GstElement* audioBin = gst_bin_new("kolvo-sound");
        gst_bin_add(GST_BIN(pipeline), audioBin);
        if (!m_chain->build(GST_BIN(audioBin), &why))
            return failNow(why);
        GstPad* ghost = gst_ghost_pad_new("sink", m_chain->sinkPad());
        gst_pad_set_active(ghost, TRUE);
        gst_element_add_pad(audioBin, ghost);
        std::lock_guard link(m_linkMutex);
        m_audioBin.reset(GST_ELEMENT(gst_object_ref(audioBin)));
        m_chainPad.reset(GST_PAD(gst_object_ref(ghost)));
    } else {
        if (!m_chain->build(GST_BIN(pipeline), &why))
            return failNow(why);
        std::lock_guard link(m_linkMutex);
        m_chainPad.reset(GST_PAD(gst_object_ref(m_chain->sinkPad())));
    }

    if (m_options.pcm) {
        m_appsrc = makeElement("appsrc");
        const PcmFormat f = *m_options.pcm;
        const CapsRef caps(gst_caps_new_simple(
            "audio/x-raw", "format", G_TYPE_STRING, "S16LE", "layout", G_TYPE_STRING, "interleaved",
            "rate", G_TYPE_INT, f.rate, "channels", G_TYPE_INT, f.channels, nullptr));
        g_object_set(m_appsrc, "caps", caps.get(), "format", GST_FORMAT_TIME, "block", TRUE,
                     "max-bytes", static_cast<guint64>(f.rate * f.channels * 2 / 4), nullptr);
        gst_bin_add(GST_BIN(pipeline), m_appsrc);
        const GstRef<GstPad> src(gst_element_get_static_pad(m_appsrc, "src"));
        if (gst_pad_link(src.get(), m_chain->sinkPad()) != GST_PAD_LINK_OK)
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
                const GstRef<GstPad> pad(gst_element_get_static_pad(source, "src"));
                gst_pad_add_probe(pad.get(), GST_PAD_PROBE_TYPE_BUFFER, sourceProbe, this, nullptr);
            }
        } else if (isVcdAddress(location)) {
            // A file of a Video CD: the kolvovcdsrc element reads it off the disc.
            source = gst_element_make_from_uri(GST_URI_SRC, location.c_str(), nullptr, nullptr);
        } else {
            source = makeElement("filesrc");
            g_object_set(source, "location", location.c_str(), nullptr);
            const AudioHeaderFacts facts = readAudioHeaderFacts(location);
            m_headerLengthMs = facts.waveLengthMs;
            m_aiffcForLibav = facts.aiffcForLibav;
        }
        if (!source || !decode)
            return failNow("GStreamer's decoding elements are missing");
        gst_bin_add_many(GST_BIN(pipeline), source, decode, nullptr);
        bool linked;
        if (!isHttp(location) && isAiff(location)) {
            GstElement* queue = makeElement("queue");
            gst_bin_add(GST_BIN(pipeline), queue);
            linked = gst_element_link_many(source, queue, decode, nullptr);
        } else {
            linked = gst_element_link(source, decode);
        }
        if (!linked)
            return failNow("the source cannot feed the decoder");
        g_signal_connect(decode, "pad-added", G_CALLBACK(padAdded), this);
        g_signal_connect(decode, "no-more-pads", G_CALLBACK(noMorePads), this);
        g_signal_connect(decode, "autoplug-select", G_CALLBACK(autoplugSelect), this);
        g_signal_connect(decode, "deep-element-added",
                         G_CALLBACK(+[](GstBin*, GstBin*, GstElement* element, gpointer) {
                             limitDecoderThreads(element);
                         }),
                         nullptr);
    }

    const GstRef<GstBus> bus(gst_element_get_bus(pipeline));
    gst_bus_set_sync_handler(bus.get(), syncHandler, this, nullptr);
    m_runner.watch(pipeline);
    // An open that neither finishes nor fails (decodebin can lose an element's error while it
    // is still plugging elements together) is failed after this long.
    if (!m_options.pcm) {
        const bool remote = isHttp(m_clips[clip]);
        m_runner.setDeadline(OpenTimeout,
                             std::chrono::steady_clock::now() +
                                 std::chrono::seconds(remote ? g_networkTimeout.load() + 4 : 4));
    }

    // A failure here leaves its reason on the bus, where the bus thread reports it.
    if (play)
        setPipelinePlayingLocked();
    else
        gst_element_set_state(pipeline, GST_STATE_PAUSED);
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
    m_cv.wait_for(lock, std::chrono::milliseconds(ms),
                  [this] { return m_state != State::Opening; });
    if (m_state == State::Failed)
        return OpenState::Failed;
    return m_state == State::Opening ? OpenState::Opening : OpenState::Opened;
}

// ---- streaming-thread callbacks ----

void MediaPlayer::padAdded(GstElement*, GstPad* pad, gpointer selfPtr)
{
    auto* self = static_cast<MediaPlayer*>(selfPtr);
    CapsRef caps(gst_pad_get_current_caps(pad));
    if (!caps)
        caps.reset(gst_pad_query_caps(pad, nullptr));
    const char* media = caps ? gst_structure_get_name(gst_caps_get_structure(caps.get(), 0)) : "";
    const bool audio = g_str_has_prefix(media, "audio/x-raw");
    const bool video = g_str_has_prefix(media, "video/x-raw");
    const GstRef<GstElement> decode(gst_pad_get_parent_element(pad));
    const GstRef<GstObject> bin(decode ? gst_object_get_parent(GST_OBJECT(decode.get())) : nullptr);
    {
        std::lock_guard link(self->m_linkMutex);
        if (audio && !self->m_audioLinked && self->m_chainPad) {
            if (gst_pad_link(pad, self->m_chainPad.get()) == GST_PAD_LINK_OK)
                self->m_audioLinked = true;
            return;
        }
        if (video && self->m_options.video && !self->m_videoLinked && bin) {
            if (self->linkVideo(pad, GST_ELEMENT(bin.get())))
                return;
        }
    }
    // A second stream, or pictures nobody shows: consumed quietly so the demuxer is not
    // stopped by an unlinked stream.
    if (!bin)
        return;
    GstElement* sink = makeElement("fakesink");
    g_object_set(sink, "sync", FALSE, "async", FALSE, nullptr);
    gst_bin_add(GST_BIN(bin.get()), sink);
    gst_element_sync_state_with_parent(sink);
    const GstRef<GstPad> sinkPad(gst_element_get_static_pad(sink, "sink"));
    gst_pad_link(pad, sinkPad.get());
}

void MediaPlayer::noMorePads(GstElement* decode, gpointer selfPtr)
{
    auto* self = static_cast<MediaPlayer*>(selfPtr);
    bool linked;
    {
        std::lock_guard link(self->m_linkMutex);
        linked = self->m_audioLinked || self->m_videoLinked;
        if (!self->m_audioLinked && self->m_videoLinked && self->m_audioBin &&
            !self->m_audioRemoved) {
            // Pictures without sound: the sound chain would wait for ever for its first
            // buffer, so it leaves the pipeline (kept alive for the chain's own pointers).
            GstElement* audioBin = self->m_audioBin.get();
            gst_element_set_locked_state(audioBin, TRUE);
            gst_element_set_state(audioBin, GST_STATE_NULL);
            const GstRef<GstObject> parent(gst_object_get_parent(GST_OBJECT(audioBin)));
            if (parent)
                gst_bin_remove(GST_BIN(parent.get()), audioBin);
            self->m_audioRemoved = true;
        }
    }
    if (!linked) {
        GError* err = g_error_new_literal(GST_STREAM_ERROR, GST_STREAM_ERROR_WRONG_TYPE,
                                          "the file holds no sound");
        gst_element_post_message(decode, gst_message_new_error(GST_OBJECT(decode), err, nullptr));
        g_error_free(err);
    }
}

int MediaPlayer::autoplugSelect(GstElement*, GstPad*, GstCaps* caps, GstElementFactory* factory,
                                gpointer selfPtr)
{
    auto* self = static_cast<MediaPlayer*>(selfPtr);
    self->notePlugged(caps);
    const std::string name = GST_OBJECT_NAME(factory);
    const bool mpg123 = name == "mpg123audiodec";
    // libav's MPEG audio decoders only: its MPEG-4 and MPEG video decoders share the prefix.
    const bool libavMpeg =
        name.rfind("avdec_mp", 0) == 0 &&
        gst_element_factory_list_is_type(factory, GST_ELEMENT_FACTORY_TYPE_DECODER |
                                                      GST_ELEMENT_FACTORY_TYPE_MEDIA_AUDIO);
    if (self->m_options.decoder == 1 && mpg123)
        return kAutoplugSkip;
    if (self->m_options.decoder == 0 && libavMpeg)
        return kAutoplugSkip;
    // GStreamer's AIFF reader calls compressed AIFF-C damaged; libav's reader comes next.
    if (self->m_aiffcForLibav && name == "aiffparse")
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

PipelineRunner::Notice MediaPlayer::deadlineDue(int deadline)
{
    using Clock = std::chrono::steady_clock;
    PipelineRunner::Notice after;
    if (!m_pipeline)
        return after;
    const auto now = Clock::now();
    if (deadline == OpenTimeout) {
        if (m_state == State::Opening) {
            m_error = "the file did not open in time";
            advanceOrFinishLocked(true, after);
        }
    } else if (deadline == ProgressCheck && m_watching) {
        gint64 position = -1;
        gst_element_query_position(m_pipeline.get(), GST_FORMAT_TIME, &position);
        if (position != m_progressPosition) {
            m_progressPosition = position;
            m_progressSince = now;
        } else if (now - m_progressSince > kStall) {
            m_error = "the playback stopped moving";
            advanceOrFinishLocked(true, after);
            return after;
        }
        m_runner.setDeadline(ProgressCheck, now + kProgressCheck);
    }
    return after;
}

void MediaPlayer::mergeTags(GstTagList* tags)
{
    const auto text = [&](const char* tag, std::string& into) {
        gchar* value = nullptr;
        const bool found = gst_tag_list_get_string(tags, tag, &value);
        const GString_ owned(value);
        if (found && owned)
            into = owned.get();
    };
    text(GST_TAG_CONTAINER_FORMAT, m_info.container);
    text(GST_TAG_AUDIO_CODEC, m_info.codec);
    text(GST_TAG_VIDEO_CODEC, m_info.videoCodec);
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

void MediaPlayer::notePlugged(GstCaps* caps)
{
    if (!caps || gst_caps_is_empty(caps) || gst_caps_is_any(caps))
        return;
    const GstStructure* s = gst_caps_get_structure(caps, 0);
    const std::string name = gst_structure_get_name(s);
    const GstPbUtilsCapsDescriptionFlags flags = gst_pb_utils_get_caps_description_flags(caps);
    gchar* described = gst_pb_utils_get_codec_description(caps);
    const GString_ description(described);
    std::lock_guard link(m_linkMutex);
    if ((flags & GST_PBUTILS_CAPS_DESCRIPTION_FLAG_CONTAINER) && m_plugged.container.empty()) {
        if (description)
            m_plugged.container = description.get();
    } else if ((flags & GST_PBUTILS_CAPS_DESCRIPTION_FLAG_AUDIO) && name != "audio/x-raw") {
        // Parsers and decoders are offered the same stream; the last caps say most.
        if (description)
            m_plugged.codec = description.get();
        gint version = 0;
        m_plugged.mpegAudio = name == "audio/mpeg" &&
                              gst_structure_get_int(s, "mpegversion", &version) && version == 1;
    }
}

void MediaPlayer::readInfoLocked()
{
    {
        std::lock_guard link(m_linkMutex);
        if (m_videoSink) {
            const GstRef<GstPad> pad(gst_element_get_static_pad(m_videoSink, "sink"));
            const CapsRef caps{pad ? gst_pad_get_current_caps(pad.get()) : nullptr};
            GstVideoInfo vi;
            if (caps && gst_video_info_from_caps(&vi, caps.get()) && GST_VIDEO_INFO_FPS_N(&vi) > 0)
                m_frameRate =
                    static_cast<double>(GST_VIDEO_INFO_FPS_N(&vi)) / GST_VIDEO_INFO_FPS_D(&vi);
        }
    }
    gint64 duration = -1;
    const bool known =
        gst_element_query_duration(m_pipeline.get(), GST_FORMAT_TIME, &duration) && duration > 0;
    if (known)
        m_length = duration / GST_MSECOND;
    if (m_headerLengthMs)
        m_length = *m_headerLengthMs;
    // GStreamer gives no length for some MPEG program streams, and for elementary MPEG video
    // only a guess from the bit rate (later, and often wrong): the file's own times say it.
    if ((!known || m_mpegVideo) && !m_headerLengthMs && !m_options.pcm && m_clip < m_clips.size() &&
        !isHttp(m_clips[m_clip]) && !isVcdAddress(m_clips[m_clip])) {
        if (!m_mpegVideo)
            m_mpegVideo = mpegVideoFileLength(m_clips[m_clip]);
        if (m_mpegVideo->ms > 0 && (!known || m_mpegVideo->kind == MpegVideoKind::ElementaryStream))
            m_length = m_mpegVideo->ms;
    }
    GstPad* pad = m_chain ? m_chain->sinkPad() : nullptr;
    if (const CapsRef caps{pad ? gst_pad_get_current_caps(pad) : nullptr}) {
        GstAudioInfo ai;
        if (gst_audio_info_from_caps(&ai, caps.get())) {
            m_info.rate = GST_AUDIO_INFO_RATE(&ai);
            m_info.channels = GST_AUDIO_INFO_CHANNELS(&ai);
            m_info.bits = GST_AUDIO_INFO_WIDTH(&ai);
        }
        std::lock_guard link(m_linkMutex);
        // What the demuxer and decoder were chosen for fills in what no tag said. Without a
        // decoder the file's samples are the decoded ones, and their caps name the codec.
        if (m_info.container.empty())
            m_info.container = m_plugged.container;
        m_info.mpegAudio = m_plugged.mpegAudio;
        if (m_info.codec.empty() && !m_plugged.codec.empty()) {
            m_info.codec = m_plugged.codec;
        } else if (m_info.codec.empty() && !m_options.pcm) {
            const GString_ raw(gst_pb_utils_get_codec_description(caps.get()));
            if (raw)
                m_info.codec = raw.get();
        }
    }
}

void MediaPlayer::advanceOrFinishLocked(bool failed, PipelineRunner::Notice& after)
{
    if (!m_options.pcm && m_clip + 1 < m_clips.size()) {
        buildLocked(m_clip + 1, true);
        return;
    }
    if (m_chain)
        m_chain->setSounding(false);
    if (failed) {
        setStateLocked(State::Failed);
        const std::string why = m_error;
        after = [this, why] {
            if (m_callbacks.failed)
                m_callbacks.failed(why);
        };
        if (m_pipeline)
            gst_element_set_state(m_pipeline.get(), GST_STATE_NULL);
    } else {
        setStateLocked(State::Ended);
        m_lastPosition = m_stopAt >= 0 ? m_stopAt : m_length;
        after = [this] {
            if (m_callbacks.ended)
                m_callbacks.ended();
        };
    }
}

PipelineRunner::Notice MediaPlayer::handle(GstMessage* message)
{
    PipelineRunner::Notice after;
    if (!m_pipeline)
        return after;
    const bool fromPipeline = GST_MESSAGE_SRC(message) == GST_OBJECT(m_pipeline.get());
    switch (GST_MESSAGE_TYPE(message)) {
    case GST_MESSAGE_ERROR:
        m_error = describeError(message);
        KLOG_DEBUG("engines", "GStreamer: %s failed: %s",
                   m_clip < m_clips.size() ? m_clips[m_clip].c_str() : "PCM", m_error.c_str());
        if (m_lastSeek >= 0 && m_seekRetries < kSeekRetries &&
            (m_recovering || std::chrono::steady_clock::now() - m_lastSeekAt < kSeekBreakTime) &&
            reopenAfterFailedSeekLocked())
            break;
        advanceOrFinishLocked(true, after);
        break;
    case GST_MESSAGE_EOS: {
        // A file that ends before any sound came out of it held none that could be decoded:
        // that is a failure, not a song of no length.
        bool pictures;
        {
            std::lock_guard link(m_linkMutex);
            pictures = m_frameSerial > 0;
        }
        const bool silent = !m_options.pcm && m_chain && !pictures &&
                            m_chain->firstBufferAt() == std::chrono::steady_clock::time_point{};
        if (silent)
            m_error = m_options.video
                          ? "the file is damaged: it holds no sound or picture that can be decoded"
                          : "the file is damaged: it holds no sound that can be decoded";
        advanceOrFinishLocked(silent, after);
        break;
    }
    case GST_MESSAGE_ASYNC_DONE:
        readInfoLocked();
        if (m_playAfterPreroll) {
            m_playAfterPreroll = false;
            if (m_state == State::Playing && !m_buffering)
                setPipelinePlayingLocked();
        }
        if (m_state == State::Opening) {
            m_runner.cancelDeadline(OpenTimeout);
            const bool reopened = m_recovering;
            setStateLocked(m_afterOpen);
            if (reopened) {
                std::lock_guard link(m_linkMutex);
                m_serialAtSeek = m_frameSerial;
            }
            // play() may have come while the open was still going on. The seek a reopened
            // pipeline is for is made here, or waits for play like any seek held still.
            if (m_state == State::Playing && !m_buffering)
                startPlayingLocked();
            else if (reopened && m_options.video && m_pendingSeek >= 0)
                seekPictureLocked(m_pendingSeek * GST_MSECOND);
            m_recovering = false;
            if (!reopened)
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
            if (newState == GST_STATE_PLAYING && !m_announced && wantsSoundLocked()) {
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
        const std::unique_ptr<GstTagList, GstMiniObjectUnref> owned(tags);
        mergeTags(tags);
        break;
    }
    case GST_MESSAGE_BUFFERING: {
        gint percent = 100;
        gst_message_parse_buffering(message, &percent);
        if (percent < 100 && !m_buffering && m_state == State::Playing) {
            m_buffering = true;
            updateWatchdogLocked();
            gst_element_set_state(m_pipeline.get(), GST_STATE_PAUSED);
        } else if (percent >= 100 && m_buffering) {
            m_buffering = false;
            updateWatchdogLocked();
            if (m_state == State::Playing)
                setPipelinePlayingLocked();
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
    return after;
}

// ---- control ----

bool MediaPlayer::play()
{
    std::lock_guard lock(m_mutex);
    if (!m_pipeline || m_state == State::Failed)
        return false;
    if (m_state == State::Opening) {
        m_afterOpen = State::Playing;
        return true;
    }
    if (m_state == State::Ended) {
        m_announced = false;
        if (m_pendingSeek < 0) {
            m_pendingSeek = 0;
            m_stopAt = -1;
        }
    }
    setStateLocked(State::Playing);
    startPlayingLocked();
    return true;
}

void MediaPlayer::startPlayingLocked()
{
    m_stepBaseNs = -1;
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
    setPipelinePlayingLocked();
}

void MediaPlayer::setPipelinePlayingLocked()
{
    if (m_chain)
        m_sinkMovesAtPlay = m_chain->sinkMoves();
    gst_element_set_state(m_pipeline.get(), GST_STATE_PLAYING);
}

bool MediaPlayer::pause()
{
    std::lock_guard lock(m_mutex);
    if (!m_pipeline || m_state == State::Failed || m_state == State::Ended)
        return false;
    // A sink set playing that has not yet taken anything since may be about to leave its
    // preroll: GStreamer's base sink, paused in that moment, believes itself prerolled while its
    // streaming thread runs on, so the rest of the clip goes through it during the pause and
    // the end, held back by the pipeline until it plays again, comes at once on resume. The
    // sink is flushed back to the place of the pause, where it prerolls as it should.
    const bool sinkMayRunOn = wantsSoundLocked() && !m_buffering && !m_playAfterPreroll &&
                              !m_options.pcm && m_chain &&
                              m_chain->sinkMoves() == m_sinkMovesAtPlay;
    if (m_state == State::Opening)
        m_afterOpen = State::Paused;
    else
        setStateLocked(State::Paused);
    m_playAfterPreroll = false;
    if (m_chain)
        m_chain->setSounding(false);
    gint64 pos = -1;
    const bool placeKnown = sinkMayRunOn && m_state == State::Paused && m_pendingSeek < 0 &&
                            gst_element_query_position(m_pipeline.get(), GST_FORMAT_TIME, &pos) &&
                            pos >= 0;
    gst_element_set_state(m_pipeline.get(), GST_STATE_PAUSED);
    if (placeKnown) {
        const std::int64_t ms = pos / GST_MSECOND;
        seekNowLocked(m_length > 0 ? std::min(ms, m_length) : ms, m_stopAt);
    }
    return true;
}

bool MediaPlayer::resume()
{
    std::lock_guard lock(m_mutex);
    if (!m_pipeline || m_state == State::Failed || m_state == State::Ended)
        return false;
    if (m_state == State::Opening) {
        m_afterOpen = State::Playing;
        return true;
    }
    setStateLocked(State::Playing);
    if (!m_buffering)
        startPlayingLocked();
    return true;
}

bool MediaPlayer::stopAtStart()
{
    std::lock_guard lock(m_mutex);
    if (!m_pipeline || m_state == State::Failed)
        return false;
    if (m_state == State::Opening)
        m_afterOpen = State::Ready;
    else
        setStateLocked(State::Ready);
    m_announced = m_playAfterPreroll = false;
    if (m_chain)
        m_chain->setSounding(false);
    gst_element_set_state(m_pipeline.get(), GST_STATE_PAUSED);
    m_pendingSeek = 0;
    m_stopAt = -1;
    m_lastPosition = 0;
    return true;
}

bool MediaPlayer::seek(std::int64_t ms, std::int64_t stopMs)
{
    std::lock_guard lock(m_mutex);
    if (!m_pipeline || !openedLocked() || m_options.pcm)
        return false;
    ms = std::max<std::int64_t>(0, ms);
    if (m_length > 0)
        ms = std::min(ms, m_length);
    if (m_chain)
        m_chain->flushAnalysis();
    if (m_state == State::Playing)
        return seekNowLocked(ms, stopMs);
    if (m_options.video && (m_state == State::Paused || m_state == State::Ready)) {
        // A film held still shows the picture of the new place at once.
        m_stopAt = stopMs;
        return seekPictureLocked(ms * GST_MSECOND);
    }
    m_pendingSeek = ms;
    m_stopAt = stopMs;
    m_lastPosition = ms;
    if (m_state == State::Ended) {
        // After the end the playback goes on from the new place.
        setStateLocked(State::Playing);
        startPlayingLocked();
    }
    return true;
}

gint64 MediaPlayer::openEndLocked()
{
    // GStreamer 1.22's AU parser, after a seek, turns an open end into an end at 0 when it
    // converts its segment to time, so the playback ends at once. It is given the clip's end
    // instead.
    const bool auParser = !firstFactoryName(m_pipeline.get(), [](GstElementFactory* factory) {
                               return std::strcmp(GST_OBJECT_NAME(factory), "auparse") == 0;
                           }).empty();
    gint64 duration = -1;
    if (auParser && gst_element_query_duration(m_pipeline.get(), GST_FORMAT_TIME, &duration) &&
        duration > 0)
        return duration;
    return static_cast<gint64>(GST_CLOCK_TIME_NONE);
}

bool MediaPlayer::seekNowLocked(std::int64_t ms, std::int64_t stopMs)
{
    m_stepBaseNs = -1;
    const gint64 stop = stopMs >= 0 ? stopMs * GST_MSECOND : openEndLocked();
    const bool ok = seekPipelineLocked(m_rate, ms * GST_MSECOND, stop);
    if (ok) {
        m_lastPosition = ms;
        m_stopAt = stopMs;
    }
    return ok;
}

// Every seek of the pipeline: flushing and accurate, to `stopNs` (< 0: the end).
bool MediaPlayer::seekPipelineLocked(double rate, std::int64_t startNs, std::int64_t stopNs)
{
    if (m_options.seekMade)
        m_options.seekMade(m_pipeline.get());
    const bool ok = gst_element_seek(
        m_pipeline.get(), rate, GST_FORMAT_TIME,
        static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE), GST_SEEK_TYPE_SET,
        startNs, stopNs >= 0 ? GST_SEEK_TYPE_SET : GST_SEEK_TYPE_NONE, stopNs >= 0 ? stopNs : 0);
    if (ok) {
        // A seek made again after a break counts on; any other starts afresh.
        if (!m_recovering)
            m_seekRetries = 0;
        m_lastSeek = startNs / GST_MSECOND;
        m_lastSeekAt = std::chrono::steady_clock::now();
    }
    return ok;
}

// GStreamer 1.22's MPEG video parser now and then breaks on a flushing seek in an elementary
// stream ("gst_base_parse_finish_frame: assertion 'size > 0 || frame->out_buffer' failed", then
// "Internal data stream error"), the more often the busier the machine. A new pipeline has a
// new parser: the clip is opened again, paused, and the seek made there once it has prerolled,
// with the state, speed, range and picture wait of before.
bool MediaPlayer::reopenAfterFailedSeekLocked()
{
    // A stream is not fetched again: its saved copy would start over.
    const bool held = m_state == State::Paused || m_state == State::Ready;
    if (m_options.pcm || isHttp(m_clips[m_clip]) ||
        !(held || m_state == State::Playing || m_recovering))
        return false;
    const State resumeAs = m_state == State::Opening ? m_afterOpen : m_state;
    const std::int64_t place = m_lastSeek, stopAt = m_stopAt, length = m_length;
    const int retries = m_seekRetries + 1;
    const double rate = m_rate;
    const bool announced = m_announced;
    const StreamInfo info = m_info;
    const std::optional<MpegVideoLength> mpegVideo = m_mpegVideo;
    FramePtr shown;
    {
        std::lock_guard link(m_linkMutex);
        shown = m_lastFrame;
    }
    KLOG_WARNING("engines", "a seek broke the playback of %s (%s); opening it again (%d of %d)",
                 m_clips[m_clip].c_str(), m_error.c_str(), retries, kSeekRetries);
    if (!buildLocked(m_clip, false))
        return false;
    m_afterOpen = resumeAs;
    m_recovering = true;
    m_seekRetries = retries;
    m_lastSeek = m_pendingSeek = m_lastPosition = place;
    m_stopAt = stopAt;
    m_length = length;
    m_rate = rate;
    m_announced = announced;
    m_info = info;
    m_mpegVideo = mpegVideo;
    // The viewer keeps the picture it had. A caller waiting for the seek's picture waits on
    // through the rebuilding, and nothing is captured until it has come: the new pipeline's
    // first picture is the clip's start.
    std::lock_guard link(m_linkMutex);
    m_lastFrame = shown;
    m_serialAtSeek = kReopenedSeekAwaited;
    return true;
}

bool MediaPlayer::setRate(double rate)
{
    std::lock_guard lock(m_mutex);
    if (!m_pipeline || !openedLocked() || m_options.pcm || !(rate >= 0.25 && rate <= 4.0))
        return false;
    gint64 pos = 0;
    gst_element_query_position(m_pipeline.get(), GST_FORMAT_TIME, &pos);
    const gint64 end = m_stopAt >= 0 ? m_stopAt * GST_MSECOND : openEndLocked();
    const bool ok = seekPipelineLocked(rate, pos, end);
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
    if (!m_pipeline)
        return 525;
    switch (m_state) {
    case State::Opening:
        // A pipeline opened again after a failed seek is, for the caller, where it was.
        if (m_recovering)
            return m_afterOpen == State::Playing ? 526 : m_afterOpen == State::Paused ? 529 : 525;
        return 530;
    case State::Playing:
        return 526;
    case State::Paused:
        return 529;
    default:
        return 525;
    }
}

std::int64_t MediaPlayer::positionMs()
{
    std::lock_guard lock(m_mutex);
    if (!m_pipeline || (m_state == State::Opening && !m_recovering))
        return 0;
    if (m_state == State::Ended || m_state == State::Opening || m_pendingSeek >= 0)
        return m_lastPosition;
    gint64 pos = -1;
    if (gst_element_query_position(m_pipeline.get(), GST_FORMAT_TIME, &pos) && pos >= 0) {
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
    return m_state == State::Failed;
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
    return firstFactoryName(m_pipeline.get(), [](GstElementFactory* factory) {
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
    GstRef<GstElement> src;
    GstBuffer* buffer = nullptr;
    {
        std::lock_guard lock(m_mutex);
        if (!m_appsrc || m_state == State::Failed || !frames)
            return false;
        const PcmFormat f = *m_options.pcm;
        const size_t bytes = count * static_cast<size_t>(f.channels) * 2;
        buffer = gst_buffer_new_allocate(nullptr, bytes, nullptr);
        gst_buffer_fill(buffer, 0, frames, bytes);
        GST_BUFFER_PTS(buffer) = gst_util_uint64_scale(m_pcmFrames, GST_SECOND, f.rate);
        GST_BUFFER_DURATION(buffer) = gst_util_uint64_scale(count, GST_SECOND, f.rate);
        m_pcmFrames += static_cast<std::int64_t>(count);
        src.reset(GST_ELEMENT(gst_object_ref(m_appsrc)));
    }
    // Outside the lock: the push waits while the queue is full, and stopping must not wait
    // for it. The push takes the buffer.
    return gst_app_src_push_buffer(GST_APP_SRC(src.get()), buffer) == GST_FLOW_OK;
}

void MediaPlayer::endPcm()
{
    std::lock_guard lock(m_mutex);
    if (m_appsrc)
        gst_app_src_end_of_stream(GST_APP_SRC(m_appsrc));
}

// ---- pictures ----

// Runs on a streaming thread with m_linkMutex held.
bool MediaPlayer::linkVideo(GstPad* pad, GstElement* bin)
{
    GstElement* convert = makeElement("videoconvert");
    GstElement* sink = nullptr;
    const char* custom = std::getenv("KOLVO_VIDEO_SINK");
    if (custom && *custom) {
        GError* err = nullptr;
        sink = gst_parse_bin_from_description(custom, TRUE, &err);
        if (err) {
            KLOG_WARNING("engines", "KOLVO_VIDEO_SINK \"%s\": %s", custom, err->message);
            g_error_free(err);
        }
    } else {
        sink = makeElement("appsink");
        if (sink) {
            const CapsRef caps(gst_caps_from_string("video/x-raw,format=BGRx"));
            // Late pictures are dropped by the decoder (qos) rather than shown late.
            g_object_set(sink, "caps", caps.get(), "sync", TRUE, "qos", TRUE, "max-buffers", 2u,
                         "enable-last-sample", FALSE, nullptr);
            GstAppSinkCallbacks callbacks{};
            callbacks.new_preroll = [](GstAppSink* s, gpointer self) {
                return newPreroll(GST_ELEMENT(s), self);
            };
            callbacks.new_sample = [](GstAppSink* s, gpointer self) {
                return newSample(GST_ELEMENT(s), self);
            };
            gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, this, nullptr);
        }
    }
    if (!convert || !sink) {
        if (convert)
            gst_object_unref(gst_object_ref_sink(convert));
        if (sink)
            gst_object_unref(gst_object_ref_sink(sink));
        KLOG_WARNING("engines", "the picture elements (videoconvert, appsink) are missing");
        return false;
    }
    gst_bin_add_many(GST_BIN(bin), convert, sink, nullptr);
    if (!gst_element_link(convert, sink))
        return false;
    gst_element_sync_state_with_parent(sink);
    gst_element_sync_state_with_parent(convert);
    const GstRef<GstPad> sinkPad(gst_element_get_static_pad(convert, "sink"));
    if (gst_pad_link(pad, sinkPad.get()) != GST_PAD_LINK_OK)
        return false;
    m_videoSink = sink;
    m_videoLinked = true;
    return true;
}

GstFlowReturn MediaPlayer::newPreroll(GstElement* sink, gpointer self)
{
    GstSample* sample = gst_app_sink_pull_preroll(GST_APP_SINK(sink));
    static_cast<MediaPlayer*>(self)->takeFrame(sample);
    if (sample)
        gst_sample_unref(sample);
    return GST_FLOW_OK;
}

GstFlowReturn MediaPlayer::newSample(GstElement* sink, gpointer self)
{
    GstSample* sample = gst_app_sink_pull_sample(GST_APP_SINK(sink));
    static_cast<MediaPlayer*>(self)->takeFrame(sample);
    if (sample)
        gst_sample_unref(sample);
    return GST_FLOW_OK;
}

void MediaPlayer::takeFrame(GstSample* sample)
{
    auto frame = std::make_shared<const VideoFrame>(sample);
    if (!frame->isValid())
        return;
    {
        std::lock_guard link(m_linkMutex);
        m_lastFrame = frame;
        ++m_frameSerial;
    }
    m_frameCv.notify_all();
    presentFrame(m_videoWindow.load(), frame);
}

bool MediaPlayer::hasVideo() const
{
    std::lock_guard link(m_linkMutex);
    return m_videoLinked;
}

int MediaPlayer::videoWidth() const
{
    std::lock_guard link(m_linkMutex);
    if (!m_lastFrame)
        return 0;
    return static_cast<int>(m_lastFrame->width() * m_lastFrame->pixelAspect() + 0.5);
}

int MediaPlayer::videoHeight() const
{
    std::lock_guard link(m_linkMutex);
    return m_lastFrame ? m_lastFrame->height() : 0;
}

double MediaPlayer::frameRate() const
{
    std::lock_guard lock(m_mutex);
    return m_frameRate;
}

FramePtr MediaPlayer::currentFrame() const
{
    std::lock_guard link(m_linkMutex);
    return m_serialAtSeek == kReopenedSeekAwaited ? nullptr : m_lastFrame;
}

void MediaPlayer::setVideoWindow(HWND window)
{
    m_videoWindow = window;
    // The new window gets the picture at once, not only with the next frame.
    if (const FramePtr frame = currentFrame())
        presentFrame(window, frame);
}

void MediaPlayer::holdStillLocked()
{
    if (m_state == State::Playing || m_state == State::Ended || m_state == State::Ready)
        setStateLocked(m_state == State::Ready ? State::Ready : State::Paused);
    m_playAfterPreroll = false;
    if (m_chain)
        m_chain->setSounding(false);
    gst_element_set_state(m_pipeline.get(), GST_STATE_PAUSED);
}

// A flushing, accurate seek made now, paused or not: the sink prerolls the picture there.
bool MediaPlayer::seekPictureLocked(std::int64_t ns)
{
    if (m_length > 0)
        ns = std::min<std::int64_t>(ns, m_length * GST_MSECOND);
    ns = std::max<std::int64_t>(0, ns);
    {
        std::lock_guard link(m_linkMutex);
        m_serialAtSeek = m_frameSerial;
    }
    m_stepBaseNs = -1;
    const gint64 end = m_stopAt >= 0 ? m_stopAt * GST_MSECOND : openEndLocked();
    const bool ok = seekPipelineLocked(m_rate, ns, end);
    if (ok) {
        m_pendingSeek = -1;
        m_lastPosition = ns / GST_MSECOND;
    }
    return ok;
}

bool MediaPlayer::stepFrame(bool backward)
{
    std::lock_guard lock(m_mutex);
    if (!m_pipeline || !openedLocked() || m_options.pcm)
        return false;
    holdStillLocked();
    const FramePtr frame = currentFrame();
    std::int64_t duration = m_frameRate > 0 ? static_cast<std::int64_t>(1e9 / m_frameRate + 0.5)
                            : frame && frame->durationNs() > 0 ? frame->durationNs()
                                                               : 40 * 1000000;
    std::int64_t now = m_stepBaseNs >= 0                     ? m_stepBaseNs
                       : frame && frame->streamTimeNs() >= 0 ? frame->streamTimeNs()
                                                             : -1;
    if (now < 0) {
        gint64 pos = 0;
        gst_element_query_position(m_pipeline.get(), GST_FORMAT_TIME, &pos);
        now = pos;
    }
    // A quarter frame into the wanted picture, so that the picture now, which ends where the
    // next begins, is clipped away and the next (or the one before) is the first shown.
    const std::int64_t target = backward ? std::max<std::int64_t>(0, now - duration + duration / 4)
                                         : now + duration + duration / 4;
    if (!backward && m_length > 0 && target >= m_length * GST_MSECOND)
        return false;
    if (!seekPictureLocked(target))
        return false;
    m_stepBaseNs = backward ? std::max<std::int64_t>(0, now - duration) : now + duration;
    return true;
}

bool MediaPlayer::showAt(std::int64_t ms)
{
    std::lock_guard lock(m_mutex);
    if (!m_pipeline || !openedLocked() || m_options.pcm)
        return false;
    holdStillLocked();
    return seekPictureLocked(ms * GST_MSECOND);
}

bool MediaPlayer::waitFrame(int ms)
{
    std::unique_lock link(m_linkMutex);
    return m_frameCv.wait_for(link, std::chrono::milliseconds(ms),
                              [this] { return m_frameSerial > m_serialAtSeek; });
}

} // namespace engines
