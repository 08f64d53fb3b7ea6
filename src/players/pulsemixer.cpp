// The Mixer's device over PulseAudio (and PipeWire's PulseAudio service, which speaks the same
// protocol). libpulse runs in its own thread (a threaded main loop): the server's change
// events make it read the devices and streams again, build a snapshot of the three views and
// post MM_MIXM_CONTROL_CHANGE to the panel. The panel's changes are sent from the
// user-interface thread under the loop's lock. A server that is not there, or goes away, is
// tried again after half a second, then less and less often (at most every 5 s).
//
// The views: 0 is the default sink (the master, line 0) and the streams playing on it; 1 is
// the default source, the select list of every source (the one selected is the default
// source) and the streams recording from the default source; 2 is every other sink and every
// other source, each followed by its streams.

#include "platform/log.h"
#include "platform/strings.h"
#include "platform/vocabulary.h"
#include "platform/wnd.h"
#include "players/mixerdevice.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>

namespace mixer {
namespace {

constexpr UINT kRecordName = 2058;   // "Record"
constexpr UINT kMonitorName = 39432; // "Mon. %s"
constexpr int kFirstRetryMs = 500;
constexpr int kLongestRetryMs = 5000;

bool isLeft(pa_channel_position_t p)
{
    switch (p) {
    case PA_CHANNEL_POSITION_FRONT_LEFT:
    case PA_CHANNEL_POSITION_REAR_LEFT:
    case PA_CHANNEL_POSITION_FRONT_LEFT_OF_CENTER:
    case PA_CHANNEL_POSITION_SIDE_LEFT:
    case PA_CHANNEL_POSITION_TOP_FRONT_LEFT:
    case PA_CHANNEL_POSITION_TOP_REAR_LEFT:
        return true;
    default:
        return false;
    }
}

bool isRight(pa_channel_position_t p)
{
    switch (p) {
    case PA_CHANNEL_POSITION_FRONT_RIGHT:
    case PA_CHANNEL_POSITION_REAR_RIGHT:
    case PA_CHANNEL_POSITION_FRONT_RIGHT_OF_CENTER:
    case PA_CHANNEL_POSITION_SIDE_RIGHT:
    case PA_CHANNEL_POSITION_TOP_FRONT_RIGHT:
    case PA_CHANNEL_POSITION_TOP_REAR_RIGHT:
        return true;
    default:
        return false;
    }
}

struct RawVolume
{
    pa_cvolume volume{};
    pa_channel_map map{};
};

struct RawDevice
{
    std::uint32_t index = PA_INVALID_INDEX;
    std::string name, description;
    RawVolume v;
    bool mute = false;
    std::uint32_t monitorOf = PA_INVALID_INDEX; // a source that is a sink's monitor
};

struct RawStream
{
    std::uint32_t index = PA_INVALID_INDEX;
    std::uint32_t device = PA_INVALID_INDEX;
    std::string application, media;
    RawVolume v;
    bool mute = false;
    bool hasVolume = true;
};

struct RawState
{
    std::string defaultSink, defaultSource;
    std::vector<RawDevice> sinks, sources;
    std::vector<RawStream> playback, recording;
};

// A line's two sides from its channels: the loudest channel of each side; a channel that is
// neither left nor right (mono, centre, LFE) counts for both.
void readVolume(const RawVolume& raw, Line& line)
{
    int left = -1, right = -1, both = 0;
    bool anyLeft = false, anyRight = false;
    for (unsigned c = 0; c < raw.volume.channels; ++c) {
        const int v = toScale(raw.volume.values[c], PA_VOLUME_MUTED, PA_VOLUME_NORM);
        const pa_channel_position_t p =
            c < raw.map.channels ? raw.map.map[c] : PA_CHANNEL_POSITION_MONO;
        if (isLeft(p)) {
            anyLeft = true;
            left = std::max(left, v);
        } else if (isRight(p)) {
            anyRight = true;
            right = std::max(right, v);
        } else {
            both = std::max(both, v);
        }
    }
    line.channels = anyLeft && anyRight ? 2 : 1;
    if (line.channels == 1) {
        line.left = line.right = std::max({left, right, both, 0});
    } else {
        line.left = std::max(left, both);
        line.right = std::max(right, both);
    }
}

pa_cvolume volumeFor(const RawVolume& raw, int left, int right)
{
    pa_cvolume out = raw.volume;
    const auto value = [](int v) {
        return static_cast<pa_volume_t>(fromScale(v, PA_VOLUME_MUTED, PA_VOLUME_NORM));
    };
    for (unsigned c = 0; c < out.channels; ++c) {
        const pa_channel_position_t p =
            c < raw.map.channels ? raw.map.map[c] : PA_CHANNEL_POSITION_MONO;
        out.values[c] = value(isLeft(p) ? left : isRight(p) ? right : std::max(left, right));
    }
    return out;
}

Line deviceLine(const RawDevice& d, LineKind kind, int destination)
{
    Line line;
    line.kind = kind;
    line.index = d.index;
    line.name = d.name;
    line.shortName = d.description.empty() ? d.name : d.description;
    line.longName = line.shortName;
    line.muted = d.mute;
    line.destination = destination;
    readVolume(d.v, line);
    return line;
}

Line streamLine(const RawStream& s, LineKind kind, int destination)
{
    Line line;
    line.kind = kind;
    line.index = s.index;
    line.shortName = s.application.empty() ? s.media : s.application;
    line.longName = s.application.empty() || s.media.empty() || s.media == s.application
                        ? line.shortName
                        : s.application + " - " + s.media;
    line.hasVolume = s.hasVolume;
    line.muted = s.mute;
    line.destination = destination;
    readVolume(s.v, line);
    return line;
}

// The device named `name`, or the first one when there is no such device.
const RawDevice* defaultOf(const std::vector<RawDevice>& devices, const std::string& name)
{
    for (const RawDevice& d : devices)
        if (d.name == name)
            return &d;
    return devices.empty() ? nullptr : &devices.front();
}

// A monitor's column says which sink it hears ("Mon. Speakers"); "Monitor of Speakers" would
// not fit.
void nameMonitors(const RawState& r, std::vector<Line>& lines, size_t from)
{
    for (size_t i = from; i < lines.size(); ++i) {
        Line& line = lines[i];
        if (line.kind != LineKind::Source)
            continue;
        for (const RawDevice& src : r.sources) {
            if (src.index != line.index || src.monitorOf == PA_INVALID_INDEX)
                continue;
            for (const RawDevice& sink : r.sinks)
                if (sink.index == src.monitorOf) {
                    const std::string sinkName =
                        sink.description.empty() ? sink.name : sink.description;
                    char text[256];
                    std::snprintf(text, sizeof text, LoadString(kMonitorName).c_str(),
                                  sinkName.c_str());
                    line.shortName = text;
                }
        }
    }
}

Snapshot buildSnapshot(const RawState& r)
{
    Snapshot s;
    s.state = Snapshot::State::Connected;
    const RawDevice* sink = defaultOf(r.sinks, r.defaultSink);
    const RawDevice* source = defaultOf(r.sources, r.defaultSource);

    const auto addStreams = [](View& view, const std::vector<RawStream>& streams,
                               std::uint32_t device, LineKind kind, int destination) {
        for (const RawStream& st : streams)
            if (st.device == device)
                view.lines.push_back(streamLine(st, kind, destination));
    };

    View& playback = s.views[0];
    if (sink) {
        playback.destinations.push_back({});
        playback.lines.push_back(deviceLine(*sink, LineKind::Sink, 0));
        addStreams(playback, r.playback, sink->index, LineKind::PlaybackStream, 0);
    }

    View& recording = s.views[1];
    if (source) {
        Destination d;
        d.hasSelect = true;
        // The device recorded from; which one it is, the select list shows.
        Line device = deviceLine(*source, LineKind::Source, 0);
        device.shortName = LoadString(kRecordName);
        recording.lines.push_back(device);
        int bit = 0;
        for (const RawDevice& src : r.sources) {
            if (bit >= 32)
                break;
            Line line = deviceLine(src, LineKind::Source, 0);
            line.hasMute = false; // its switch selects it
            line.selectBit = bit;
            if (&src == source)
                d.selectMask |= 1u << bit;
            recording.lines.push_back(line);
            ++bit;
        }
        recording.destinations.push_back(d);
        addStreams(recording, r.recording, source->index, LineKind::RecordingStream, 0);
    }

    View& other = s.views[2];
    const auto addOthers = [&](const std::vector<RawDevice>& devices, const RawDevice* skip,
                               LineKind kind, const std::vector<RawStream>& streams,
                               LineKind streamKind) {
        for (const RawDevice& d : devices) {
            if (&d == skip)
                continue;
            const int destination = static_cast<int>(other.destinations.size());
            other.destinations.push_back({});
            other.lines.push_back(deviceLine(d, kind, destination));
            addStreams(other, streams, d.index, streamKind, destination);
        }
    };
    addOthers(r.sinks, sink, LineKind::Sink, r.playback, LineKind::PlaybackStream);
    addOthers(r.sources, source, LineKind::Source, r.recording, LineKind::RecordingStream);
    nameMonitors(r, recording.lines, 1); // line 0 is "Record"
    nameMonitors(r, other.lines, 0);
    return s;
}

std::string property(pa_proplist* list, const char* key)
{
    const char* v = list ? pa_proplist_gets(list, key) : nullptr;
    return v ? v : "";
}

// What a sink's or a source's info has in common.
template <typename Info>
RawDevice rawDevice(const Info& i)
{
    RawDevice d;
    d.index = i.index;
    d.name = i.name ? i.name : "";
    d.description = i.description ? i.description : "";
    d.v = {i.volume, i.channel_map};
    d.mute = i.mute != 0;
    return d;
}

// What a sink input's or a source output's info has in common; device: the sink or source.
template <typename Info>
RawStream rawStream(const Info& i, std::uint32_t device)
{
    RawStream s;
    s.index = i.index;
    s.device = device;
    s.application = property(i.proplist, PA_PROP_APPLICATION_NAME);
    s.media = i.name ? i.name : "";
    s.v = {i.volume, i.channel_map};
    s.mute = i.mute != 0;
    s.hasVolume = i.has_volume && i.volume_writable;
    return s;
}

// A setter of a device's or a stream's volume or mute, by index; Value is the volume or the
// mute flag.
template <typename Value>
using Setter = pa_operation* (*)(pa_context*, std::uint32_t, Value, pa_context_success_cb_t, void*);

// Sends value to the line with the setter of its kind; the reply is not waited for.
template <typename Value>
void setOnLine(pa_context* c, const Line& line, Value value, Setter<Value> sink,
               Setter<Value> source, Setter<Value> playback, Setter<Value> recording)
{
    Setter<Value> set = nullptr;
    switch (line.kind) {
    case LineKind::Sink:
        set = sink;
        break;
    case LineKind::Source:
        set = source;
        break;
    case LineKind::PlaybackStream:
        set = playback;
        break;
    case LineKind::RecordingStream:
        set = recording;
        break;
    }
    if (!set)
        return;
    if (pa_operation* op = set(c, line.index, value, nullptr, nullptr))
        pa_operation_unref(op);
}

class PulseMixer final : public MixerDevice
{
public:
    PulseMixer()
    {
        m_loop = pa_threaded_mainloop_new();
        if (!m_loop) {
            publish(noServer());
            return;
        }
        m_api = pa_threaded_mainloop_get_api(m_loop);
        pa_threaded_mainloop_set_name(m_loop, "kolvo-mixer");
        pa_threaded_mainloop_lock(m_loop);
        if (pa_threaded_mainloop_start(m_loop) < 0) {
            pa_threaded_mainloop_unlock(m_loop);
            pa_threaded_mainloop_free(m_loop);
            m_loop = nullptr;
            publish(noServer());
            return;
        }
        connect();
        pa_threaded_mainloop_unlock(m_loop);
    }

    ~PulseMixer() override
    {
        if (!m_loop)
            return;
        pa_threaded_mainloop_lock(m_loop);
        m_notify = 0;
        if (m_retry)
            m_api->time_free(m_retry);
        m_retry = nullptr;
        dropContext();
        pa_threaded_mainloop_unlock(m_loop);
        pa_threaded_mainloop_stop(m_loop);
        pa_threaded_mainloop_free(m_loop);
    }

    void setNotifyWindow(HWND window) override { m_notify = window; }

    Snapshot snapshot() const override
    {
        std::lock_guard lock(m_snapshotLock);
        return m_snapshot;
    }

    void setVolume(const Line& line, int left, int right) override
    {
        withContext([&](pa_context* c) {
            const RawVolume* raw = rawVolume(line);
            if (!raw)
                return;
            const pa_cvolume v = volumeFor(*raw, left, line.channels < 2 ? left : right);
            setOnLine<const pa_cvolume*>(c, line, &v, pa_context_set_sink_volume_by_index,
                                         pa_context_set_source_volume_by_index,
                                         pa_context_set_sink_input_volume,
                                         pa_context_set_source_output_volume);
        });
    }

    void setMute(const Line& line, bool muted) override
    {
        withContext([&](pa_context* c) {
            setOnLine<int>(c, line, muted ? 1 : 0, pa_context_set_sink_mute_by_index,
                           pa_context_set_source_mute_by_index, pa_context_set_sink_input_mute,
                           pa_context_set_source_output_mute);
        });
    }

    void setSelect(int view, int destination, std::uint32_t mask) override
    {
        // Only the recording view has a select list here, and it is a mux: the lowest bit set
        // names the source to record from.
        if (view != 1 || destination != 0 || mask == 0)
            return;
        int bit = 0;
        while (!((mask >> bit) & 1u))
            ++bit;
        const Snapshot s = snapshot();
        for (const Line& line : s.views[1].lines) {
            if (line.selectBit != bit)
                continue;
            const std::string name = line.name;
            withContext([&](pa_context* c) {
                if (pa_operation* op =
                        pa_context_set_default_source(c, name.c_str(), nullptr, nullptr))
                    pa_operation_unref(op);
            });
            return;
        }
    }

private:
    static Snapshot noServer()
    {
        Snapshot s;
        s.state = Snapshot::State::NoServer;
        return s;
    }

    template <typename F>
    void withContext(F&& f)
    {
        if (!m_loop)
            return;
        pa_threaded_mainloop_lock(m_loop);
        if (m_context && pa_context_get_state(m_context) == PA_CONTEXT_READY)
            f(m_context);
        pa_threaded_mainloop_unlock(m_loop);
    }

    // Under the loop's lock.
    const RawVolume* rawVolume(const Line& line) const
    {
        const auto in = [&](const auto& list) -> const RawVolume* {
            for (const auto& item : list)
                if (item.index == line.index)
                    return &item.v;
            return nullptr;
        };
        switch (line.kind) {
        case LineKind::Sink:
            return in(m_current.sinks);
        case LineKind::Source:
            return in(m_current.sources);
        case LineKind::PlaybackStream:
            return in(m_current.playback);
        case LineKind::RecordingStream:
            return in(m_current.recording);
        }
        return nullptr;
    }

    void publish(Snapshot s)
    {
        {
            std::lock_guard lock(m_snapshotLock);
            m_snapshot = std::move(s);
        }
        if (const HWND w = m_notify.load())
            Wnd::postTo(w, MM_MIXM_CONTROL_CHANGE, 0, 0);
    }

    // --- on the loop's thread (or under its lock) ---

    void connect()
    {
        m_context = pa_context_new(m_api, "Kolvo");
        if (!m_context) {
            scheduleRetry();
            return;
        }
        pa_context_set_state_callback(m_context, &PulseMixer::onState, this);
        if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
            KLOG_DEBUG("players", "mixer: no sound server: %s",
                       pa_strerror(pa_context_errno(m_context)));
            lost();
        }
    }

    void dropContext()
    {
        if (!m_context)
            return;
        pa_context_set_state_callback(m_context, nullptr, nullptr);
        pa_context_set_subscribe_callback(m_context, nullptr, nullptr);
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
        m_context = nullptr;
    }

    void lost()
    {
        if (m_wasConnected)
            KLOG_WARNING("players", "mixer: the sound server went away; trying again");
        m_wasConnected = false;
        m_refreshing = false;
        m_again = false;
        m_current = {};
        publish(noServer());
        scheduleRetry();
    }

    void scheduleRetry()
    {
        if (m_retry)
            return;
        timeval tv;
        pa_gettimeofday(&tv);
        pa_timeval_add(&tv, static_cast<pa_usec_t>(m_retryMs) * PA_USEC_PER_MSEC);
        m_retry = m_api->time_new(m_api, &tv, &PulseMixer::onRetry, this);
        m_retryMs = std::min(m_retryMs * 2, kLongestRetryMs);
    }

    static void onRetry(pa_mainloop_api* api, pa_time_event* e, const timeval*, void* self)
    {
        auto* m = static_cast<PulseMixer*>(self);
        api->time_free(e);
        m->m_retry = nullptr;
        // Out of the old context's own callbacks, it can go now.
        m->dropContext();
        m->connect();
    }

    static void onState(pa_context* c, void* self)
    {
        auto* m = static_cast<PulseMixer*>(self);
        switch (pa_context_get_state(c)) {
        case PA_CONTEXT_READY:
            m->m_retryMs = kFirstRetryMs;
            if (!m->m_wasConnected)
                KLOG_INFO("players", "mixer: connected to %s", pa_context_get_server(c));
            m->m_wasConnected = true;
            pa_context_set_subscribe_callback(c, &PulseMixer::onEvent, m);
            if (pa_operation* op = pa_context_subscribe(
                    c,
                    static_cast<pa_subscription_mask_t>(
                        PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SOURCE |
                        PA_SUBSCRIPTION_MASK_SINK_INPUT | PA_SUBSCRIPTION_MASK_SOURCE_OUTPUT |
                        PA_SUBSCRIPTION_MASK_SERVER),
                    nullptr, nullptr))
                pa_operation_unref(op);
            m->refresh();
            break;
        case PA_CONTEXT_FAILED:
        case PA_CONTEXT_TERMINATED:
            m->lost();
            break;
        default:
            break;
        }
    }

    static void onEvent(pa_context*, pa_subscription_event_type_t, std::uint32_t, void* self)
    {
        static_cast<PulseMixer*>(self)->refresh();
    }

    // Reads everything again; a change arriving meanwhile reads once more afterwards.
    void refresh()
    {
        if (m_refreshing) {
            m_again = true;
            return;
        }
        m_refreshing = true;
        m_again = false;
        m_building = {};
        m_outstanding = 0;
        const auto track = [this](pa_operation* op) {
            if (op) {
                ++m_outstanding;
                pa_operation_unref(op);
            }
        };
        track(pa_context_get_server_info(m_context, &PulseMixer::onServer, this));
        track(pa_context_get_sink_info_list(m_context, &PulseMixer::onSink, this));
        track(pa_context_get_source_info_list(m_context, &PulseMixer::onSource, this));
        track(pa_context_get_sink_input_info_list(m_context, &PulseMixer::onSinkInput, this));
        track(pa_context_get_source_output_info_list(m_context, &PulseMixer::onSourceOutput, this));
        if (m_outstanding == 0)
            m_refreshing = false;
    }

    void partDone()
    {
        if (--m_outstanding > 0)
            return;
        m_refreshing = false;
        m_current = std::move(m_building);
        m_building = {};
        publish(buildSnapshot(m_current));
        if (m_again)
            refresh();
    }

    static void onServer(pa_context*, const pa_server_info* i, void* self)
    {
        auto* m = static_cast<PulseMixer*>(self);
        if (i) {
            m->m_building.defaultSink = i->default_sink_name ? i->default_sink_name : "";
            m->m_building.defaultSource = i->default_source_name ? i->default_source_name : "";
        }
        m->partDone();
    }

    // An item of a list the server sends goes into the reading; the list's end (or its
    // failure) completes that part.
    template <typename Add>
    static void listed(void* self, int eol, Add add)
    {
        auto* m = static_cast<PulseMixer*>(self);
        if (eol != 0) {
            m->partDone();
            return;
        }
        add(m->m_building);
    }

    static void onSink(pa_context*, const pa_sink_info* i, int eol, void* self)
    {
        listed(self, eol, [i](RawState& r) { r.sinks.push_back(rawDevice(*i)); });
    }

    static void onSource(pa_context*, const pa_source_info* i, int eol, void* self)
    {
        listed(self, eol, [i](RawState& r) {
            RawDevice d = rawDevice(*i);
            d.monitorOf = i->monitor_of_sink;
            r.sources.push_back(std::move(d));
        });
    }

    static void onSinkInput(pa_context*, const pa_sink_input_info* i, int eol, void* self)
    {
        listed(self, eol, [i](RawState& r) { r.playback.push_back(rawStream(*i, i->sink)); });
    }

    static void onSourceOutput(pa_context*, const pa_source_output_info* i, int eol, void* self)
    {
        listed(self, eol, [i](RawState& r) { r.recording.push_back(rawStream(*i, i->source)); });
    }

    pa_threaded_mainloop* m_loop = nullptr;
    pa_mainloop_api* m_api = nullptr;
    pa_context* m_context = nullptr;
    pa_time_event* m_retry = nullptr;
    int m_retryMs = kFirstRetryMs;
    bool m_wasConnected = false;
    // The reading in progress and the last one complete (loop thread, or under its lock).
    RawState m_building, m_current;
    int m_outstanding = 0;
    bool m_refreshing = false;
    bool m_again = false;

    mutable std::mutex m_snapshotLock;
    Snapshot m_snapshot;
    std::atomic<HWND> m_notify{0};
};

} // namespace

std::unique_ptr<MixerDevice> createPulseMixer()
{
    return std::make_unique<PulseMixer>();
}

} // namespace mixer
