#include "engines/filters.h"

#include "engines/dsp.h"

#include <gst/audio/gstaudiofilter.h>

#include <algorithm>
#include <mutex>
#include <new>

namespace engines {

namespace {

// Each element is a GstAudioFilter whose instance carries one C++ node: the node holds the
// settings (set from any thread) and the sound processing (run on the streaming thread), both
// under its own lock.

class ScaleNode
{
public:
    static constexpr const char* kTypeName = "KolvoScale";
    static constexpr const char* kElementName = "kolvoscale";
    static constexpr const char* kLongName = "Kolvo channel and gain";
    static constexpr const char* kDescription =
        "Plays both channels, one of them or their mix, with a gain and automatic gain control";
    enum { PropChannel = 1, PropGain, PropAgc, PropAgcGain };

    static void installProperties(GObjectClass* klass)
    {
        const auto rw = static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS);
        g_object_class_install_property(klass, PropChannel,
                                        g_param_spec_int("channel", "Channel",
                                                         "0 stereo, 1 left, 2 right, 3 mono", 0, 3,
                                                         0, rw));
        g_object_class_install_property(
            klass, PropGain, g_param_spec_float("gain", "Gain", "Output gain", 0, 4, 1, rw));
        g_object_class_install_property(
            klass, PropAgc,
            g_param_spec_boolean("agc", "AGC", "Automatic gain control", FALSE, rw));
        g_object_class_install_property(
            klass, PropAgcGain,
            g_param_spec_float(
                "agc-gain", "AGC gain", "The gain AGC applies now", 0, 1, 1,
                static_cast<GParamFlags>(G_PARAM_READABLE | G_PARAM_STATIC_STRINGS)));
    }
    void set(guint id, const GValue* v)
    {
        if (id == PropChannel)
            m_dsp.setChannel(g_value_get_int(v)), m_channel = g_value_get_int(v);
        else if (id == PropGain)
            m_dsp.setGain(g_value_get_float(v)), m_gain = g_value_get_float(v);
        else if (id == PropAgc)
            m_dsp.setAgc(g_value_get_boolean(v)), m_agc = g_value_get_boolean(v);
    }
    void get(guint id, GValue* v) const
    {
        if (id == PropChannel)
            g_value_set_int(v, m_channel);
        else if (id == PropGain)
            g_value_set_float(v, m_gain);
        else if (id == PropAgc)
            g_value_set_boolean(v, m_agc);
        else if (id == PropAgcGain)
            g_value_set_float(v, m_dsp.agcGain());
    }
    void setup(int rate) { m_dsp.configure(rate); }
    bool idle() const { return m_dsp.isIdle(); }
    void process(float* f, size_t n) { m_dsp.process(f, n); }

private:
    dsp::ChannelScaler m_dsp;
    int m_channel = 0;
    float m_gain = 1.0f;
    bool m_agc = false;
};

// 3D and wide share their two settings.
template <typename Dsp>
class DepthNode
{
public:
    enum { PropEnabled = 1, PropDepth };
    static void installProperties(GObjectClass* klass)
    {
        const auto rw = static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS);
        g_object_class_install_property(
            klass, PropEnabled, g_param_spec_boolean("enabled", "Enabled", "Effect on", FALSE, rw));
        g_object_class_install_property(
            klass, PropDepth, g_param_spec_int("depth", "Depth", "Depth 0..32", 0, 32, 16, rw));
    }
    void set(guint id, const GValue* v)
    {
        if (id == PropEnabled)
            m_enabled = g_value_get_boolean(v);
        else if (id == PropDepth)
            m_depth = g_value_get_int(v);
        m_dsp.set(m_enabled, m_depth);
    }
    void get(guint id, GValue* v) const
    {
        if (id == PropEnabled)
            g_value_set_boolean(v, m_enabled);
        else if (id == PropDepth)
            g_value_set_int(v, m_depth);
    }
    void setup(int rate)
    {
        m_dsp.configure(rate);
        m_dsp.set(m_enabled, m_depth);
    }
    bool idle() const { return m_dsp.isIdle(); }
    void process(float* f, size_t n) { m_dsp.process(f, n); }

private:
    Dsp m_dsp;
    bool m_enabled = false;
    int m_depth = 16;
};

class ThreeDNode : public DepthNode<dsp::ThreeD>
{
public:
    static constexpr const char* kTypeName = "KolvoThreeD";
    static constexpr const char* kElementName = "kolvo3d";
    static constexpr const char* kLongName = "Kolvo 3D";
    static constexpr const char* kDescription = "Spreads the sound beyond the speakers";
};

class WideNode : public DepthNode<dsp::StereoWidener>
{
public:
    static constexpr const char* kTypeName = "KolvoWide";
    static constexpr const char* kElementName = "kolvowide";
    static constexpr const char* kLongName = "Kolvo wide stereo";
    static constexpr const char* kDescription = "Widens the stereo image";
};

class FxNode
{
public:
    static constexpr const char* kTypeName = "KolvoFx";
    static constexpr const char* kElementName = "kolvofx";
    static constexpr const char* kLongName = "Kolvo F/X";
    static constexpr const char* kDescription = "Flange, inverse flange and the robot voices";
    enum { PropEnabled = 1, PropMode };

    static void installProperties(GObjectClass* klass)
    {
        const auto rw = static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS);
        g_object_class_install_property(
            klass, PropEnabled, g_param_spec_boolean("enabled", "Enabled", "F/X on", FALSE, rw));
        g_object_class_install_property(
            klass, PropMode, g_param_spec_int("mode", "Mode", "F/X mode 0..10", 0, 10, 0, rw));
    }
    void set(guint id, const GValue* v)
    {
        if (id == PropEnabled)
            m_enabled = g_value_get_boolean(v);
        else if (id == PropMode)
            m_mode = g_value_get_int(v);
        m_dsp.set(m_enabled, m_mode);
    }
    void get(guint id, GValue* v) const
    {
        if (id == PropEnabled)
            g_value_set_boolean(v, m_enabled);
        else if (id == PropMode)
            g_value_set_int(v, m_mode);
    }
    void setup(int rate)
    {
        m_dsp.configure(rate);
        m_dsp.set(m_enabled, m_mode);
    }
    bool idle() const { return m_dsp.isIdle(); }
    void process(float* f, size_t n) { m_dsp.process(f, n); }

private:
    dsp::FxUnit m_dsp;
    bool m_enabled = false;
    int m_mode = 0;
};

class FadeNode
{
public:
    static constexpr const char* kTypeName = "KolvoFade";
    static constexpr const char* kElementName = "kolvofade";
    static constexpr const char* kLongName = "Kolvo fader";
    static constexpr const char* kDescription = "Fades the sound out and in again";
    enum { PropTarget = 1, PropDuration, PropSilent };

    static void installProperties(GObjectClass* klass)
    {
        const auto rw = static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS);
        g_object_class_install_property(
            klass, PropTarget,
            g_param_spec_float("target", "Target", "Gain to fade to", 0, 1, 1, rw));
        g_object_class_install_property(
            klass, PropDuration,
            g_param_spec_int("duration", "Duration", "Fade time in ms", 1, 1000, 10, rw));
        g_object_class_install_property(
            klass, PropSilent,
            g_param_spec_boolean(
                "silent", "Silent", "Faded out completely", FALSE,
                static_cast<GParamFlags>(G_PARAM_READABLE | G_PARAM_STATIC_STRINGS)));
    }
    void set(guint id, const GValue* v)
    {
        if (id == PropTarget) {
            m_target = g_value_get_float(v);
            m_dsp.fadeTo(m_target, m_duration);
        } else if (id == PropDuration) {
            m_duration = g_value_get_int(v);
        }
    }
    void get(guint id, GValue* v) const
    {
        if (id == PropTarget)
            g_value_set_float(v, m_target);
        else if (id == PropDuration)
            g_value_set_int(v, m_duration);
        else if (id == PropSilent)
            g_value_set_boolean(v, m_dsp.isSilent());
    }
    void setup(int rate) { m_dsp.configure(rate); }
    bool idle() const { return m_dsp.isIdle(); }
    void process(float* f, size_t n) { m_dsp.process(f, n); }

private:
    dsp::Fader m_dsp;
    float m_target = 1.0f;
    int m_duration = 10;
};

// ---- the GObject side, one type per node ----

template <typename Node>
struct Instance
{
    GstAudioFilter parent;
    alignas(Node) unsigned char storage[sizeof(Node)];
    alignas(std::mutex) unsigned char lockStorage[sizeof(std::mutex)];

    Node& node() { return *std::launder(reinterpret_cast<Node*>(storage)); }
    std::mutex& lock() { return *std::launder(reinterpret_cast<std::mutex*>(lockStorage)); }
};

template <typename Node>
struct Class
{
    GstAudioFilterClass parent;
};

template <typename Node>
Instance<Node>* self(gpointer object)
{
    return reinterpret_cast<Instance<Node>*>(object);
}

template <typename Node>
void setProperty(GObject* object, guint id, const GValue* value, GParamSpec*)
{
    auto* s = self<Node>(object);
    {
        std::lock_guard lock(s->lock());
        s->node().set(id, value);
    }
    // Let the next buffer be processed (and made writable) whatever the new settings are; the
    // streaming thread returns to passing through once the node is idle again.
    gst_base_transform_set_passthrough(GST_BASE_TRANSFORM(object), FALSE);
}

template <typename Node>
void getProperty(GObject* object, guint id, GValue* value, GParamSpec*)
{
    auto* s = self<Node>(object);
    std::lock_guard lock(s->lock());
    s->node().get(id, value);
}

template <typename Node>
GstElementClass*& parentClassSlot()
{
    static GstElementClass* klass = nullptr;
    return klass;
}

template <typename Node>
void finalize(GObject* object)
{
    auto* s = self<Node>(object);
    s->node().~Node();
    s->lock().~mutex();
    G_OBJECT_CLASS(parentClassSlot<Node>())->finalize(object);
}

template <typename Node>
gboolean setup(GstAudioFilter* filter, const GstAudioInfo* info)
{
    auto* s = self<Node>(filter);
    std::lock_guard lock(s->lock());
    s->node().setup(GST_AUDIO_INFO_RATE(info));
    return TRUE;
}

template <typename Node>
GstFlowReturn transformInPlace(GstBaseTransform* base, GstBuffer* buffer)
{
    auto* s = self<Node>(base);
    std::lock_guard lock(s->lock());
    const bool idle = s->node().idle();
    if (gst_base_transform_is_passthrough(base)) {
        // This buffer may be shared and must stay as it is; leave passing through for the next.
        if (!idle)
            gst_base_transform_set_passthrough(base, FALSE);
        return GST_FLOW_OK;
    }
    if (idle) {
        gst_base_transform_set_passthrough(base, TRUE);
        return GST_FLOW_OK;
    }
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READWRITE))
        return GST_FLOW_ERROR;
    s->node().process(reinterpret_cast<float*>(map.data), map.size / (2 * sizeof(float)));
    gst_buffer_unmap(buffer, &map);
    return GST_FLOW_OK;
}

template <typename Node>
void classInit(gpointer klassPtr, gpointer)
{
    parentClassSlot<Node>() = GST_ELEMENT_CLASS(g_type_class_peek_parent(klassPtr));
    auto* gobjectClass = G_OBJECT_CLASS(klassPtr);
    gobjectClass->set_property = setProperty<Node>;
    gobjectClass->get_property = getProperty<Node>;
    gobjectClass->finalize = finalize<Node>;
    Node::installProperties(gobjectClass);

    auto* elementClass = GST_ELEMENT_CLASS(klassPtr);
    gst_element_class_set_static_metadata(elementClass, Node::kLongName, "Filter/Effect/Audio",
                                          Node::kDescription, "Kolvo");
    GstCaps* caps = gst_caps_from_string("audio/x-raw, format=(string)" GST_AUDIO_NE(
        F32) ", layout=(string)interleaved, channels=(int)2, "
             "rate=(int)[1, MAX]");
    gst_audio_filter_class_add_pad_templates(GST_AUDIO_FILTER_CLASS(klassPtr), caps);
    gst_caps_unref(caps);

    auto* transformClass = GST_BASE_TRANSFORM_CLASS(klassPtr);
    transformClass->transform_ip = transformInPlace<Node>;
    transformClass->transform_ip_on_passthrough = TRUE;
    GST_AUDIO_FILTER_CLASS(klassPtr)->setup = setup<Node>;
}

template <typename Node>
void instanceInit(GTypeInstance* instance, gpointer)
{
    auto* s = reinterpret_cast<Instance<Node>*>(instance);
    new (s->storage) Node();
    new (s->lockStorage) std::mutex();
    gst_base_transform_set_in_place(GST_BASE_TRANSFORM(instance), TRUE);
    // Start passing through: until a setting asks for work the element costs nothing.
    gst_base_transform_set_passthrough(GST_BASE_TRANSFORM(instance), TRUE);
}

template <typename Node>
GType elementType()
{
    static const GType type = g_type_register_static_simple(
        GST_TYPE_AUDIO_FILTER, Node::kTypeName, sizeof(Class<Node>), classInit<Node>,
        sizeof(Instance<Node>), instanceInit<Node>, static_cast<GTypeFlags>(0));
    return type;
}

template <typename Node>
bool registerOne(GstPlugin* plugin)
{
    return gst_element_register(plugin, Node::kElementName, GST_RANK_NONE, elementType<Node>());
}

// ---- kolvostereo: mono made stereo by copying each sample to both sides ----
//
// What audioconvert would do with its general channel mixer, at a fraction of the cost; stereo
// passes through untouched.

struct StereoInstance
{
    GstBaseTransform parent;
    int inChannels;
};

struct StereoClass
{
    GstBaseTransformClass parent;
};

#define KOLVO_STEREO_CAPS(channels)                                                                \
    "audio/x-raw, format=(string)" GST_AUDIO_NE(F32) ", layout=(string)interleaved, "              \
                                                     "channels=(int)" channels                     \
                                                     ", rate=(int)[1, MAX]"

GstCaps* stereoTransformCaps(GstBaseTransform*, GstPadDirection direction, GstCaps* caps,
                             GstCaps* filter)
{
    GstCaps* out = gst_caps_copy(caps);
    for (guint i = 0; i < gst_caps_get_size(out); ++i) {
        GstStructure* st = gst_caps_get_structure(out, i);
        int channels = 0;
        if (direction == GST_PAD_SINK) {
            if (gst_structure_get_int(st, "channels", &channels) && channels == 2)
                continue;
            gst_structure_remove_field(st, "channel-mask");
            gst_structure_set(st, "channels", G_TYPE_INT, 2, nullptr);
        } else {
            gst_structure_remove_field(st, "channel-mask");
            gst_structure_set(st, "channels", GST_TYPE_INT_RANGE, 1, 2, nullptr);
        }
    }
    if (filter) {
        GstCaps* both = gst_caps_intersect_full(filter, out, GST_CAPS_INTERSECT_FIRST);
        gst_caps_unref(out);
        out = both;
    }
    return out;
}

gboolean stereoSetCaps(GstBaseTransform* base, GstCaps* in, GstCaps*)
{
    GstAudioInfo info;
    if (!gst_audio_info_from_caps(&info, in))
        return FALSE;
    auto* self = reinterpret_cast<StereoInstance*>(base);
    self->inChannels = GST_AUDIO_INFO_CHANNELS(&info);
    gst_base_transform_set_passthrough(base, self->inChannels == 2);
    return TRUE;
}

gboolean stereoTransformSize(GstBaseTransform* base, GstPadDirection direction, GstCaps*,
                             gsize size, GstCaps*, gsize* otherSize)
{
    const auto* self = reinterpret_cast<StereoInstance*>(base);
    const gsize in = self->inChannels == 1 ? 1 : 2;
    *otherSize = direction == GST_PAD_SINK ? size / in * 2 : size / 2 * in;
    return TRUE;
}

GstFlowReturn stereoTransform(GstBaseTransform*, GstBuffer* in, GstBuffer* out)
{
    GstMapInfo from, to;
    if (!gst_buffer_map(in, &from, GST_MAP_READ))
        return GST_FLOW_ERROR;
    if (!gst_buffer_map(out, &to, GST_MAP_WRITE)) {
        gst_buffer_unmap(in, &from);
        return GST_FLOW_ERROR;
    }
    const auto* mono = reinterpret_cast<const float*>(from.data);
    auto* stereo = reinterpret_cast<float*>(to.data);
    const gsize frames = std::min(from.size / sizeof(float), to.size / (2 * sizeof(float)));
    for (gsize i = 0; i < frames; ++i)
        stereo[2 * i] = stereo[2 * i + 1] = mono[i];
    gst_buffer_unmap(out, &to);
    gst_buffer_unmap(in, &from);
    return GST_FLOW_OK;
}

void stereoClassInit(gpointer klassPtr, gpointer)
{
    auto* elementClass = GST_ELEMENT_CLASS(klassPtr);
    gst_element_class_set_static_metadata(
        elementClass, "Kolvo mono to stereo", "Filter/Converter/Audio",
        "Plays mono on both channels; stereo passes through", "Kolvo");
    GstCaps* sink = gst_caps_from_string(KOLVO_STEREO_CAPS("[1, 2]"));
    GstCaps* src = gst_caps_from_string(KOLVO_STEREO_CAPS("2"));
    gst_element_class_add_pad_template(
        elementClass, gst_pad_template_new("sink", GST_PAD_SINK, GST_PAD_ALWAYS, sink));
    gst_element_class_add_pad_template(
        elementClass, gst_pad_template_new("src", GST_PAD_SRC, GST_PAD_ALWAYS, src));
    gst_caps_unref(sink);
    gst_caps_unref(src);
    auto* transformClass = GST_BASE_TRANSFORM_CLASS(klassPtr);
    transformClass->transform_caps = stereoTransformCaps;
    transformClass->set_caps = stereoSetCaps;
    transformClass->transform_size = stereoTransformSize;
    transformClass->transform = stereoTransform;
    transformClass->passthrough_on_same_caps = FALSE;
}

void stereoInstanceInit(GTypeInstance* instance, gpointer)
{
    reinterpret_cast<StereoInstance*>(instance)->inChannels = 2;
}

GType stereoType()
{
    static const GType type = g_type_register_static_simple(
        GST_TYPE_BASE_TRANSFORM, "KolvoStereo", sizeof(StereoClass), stereoClassInit,
        sizeof(StereoInstance), stereoInstanceInit, static_cast<GTypeFlags>(0));
    return type;
}

} // namespace

bool registerKolvoElements(GstPlugin* plugin)
{
    return registerOne<ScaleNode>(plugin) && registerOne<ThreeDNode>(plugin) &&
           registerOne<WideNode>(plugin) && registerOne<FxNode>(plugin) &&
           registerOne<FadeNode>(plugin) &&
           gst_element_register(plugin, "kolvostereo", GST_RANK_NONE, stereoType());
}

} // namespace engines
