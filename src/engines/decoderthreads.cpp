#include "engines/decoderthreads.h"

namespace engines {

namespace {

constexpr int kSmallWidth = 720;
constexpr int kSmallHeight = 576;

GstPadProbeReturn capsSeen(GstPad*, GstPadProbeInfo* info, gpointer decoder)
{
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    if (!event || GST_EVENT_TYPE(event) != GST_EVENT_CAPS)
        return GST_PAD_PROBE_OK;
    GstCaps* caps = nullptr;
    gst_event_parse_caps(event, &caps);
    const GstStructure* s =
        caps && gst_caps_get_size(caps) > 0 ? gst_caps_get_structure(caps, 0) : nullptr;
    int width = 0, height = 0;
    if (s && gst_structure_get_int(s, "width", &width) &&
        gst_structure_get_int(s, "height", &height))
        g_object_set(decoder, "max-threads", decoderThreadsFor(width, height), nullptr);
    return GST_PAD_PROBE_OK;
}

} // namespace

int decoderThreadsFor(int width, int height)
{
    return width > 0 && height > 0 && width <= kSmallWidth && height <= kSmallHeight ? 1 : 0;
}

void limitDecoderThreads(GstElement* element)
{
    GstElementFactory* factory = element ? gst_element_get_factory(element) : nullptr;
    if (!factory || !g_str_has_prefix(GST_OBJECT_NAME(factory), "avdec_") ||
        !gst_element_factory_list_is_type(factory, GST_ELEMENT_FACTORY_TYPE_DECODER |
                                                       GST_ELEMENT_FACTORY_TYPE_MEDIA_VIDEO) ||
        !g_object_class_find_property(G_OBJECT_GET_CLASS(element), "max-threads"))
        return;
    GstPad* sink = gst_element_get_static_pad(element, "sink");
    if (!sink)
        return;
    // Runs before the decoder sees the caps, so it opens with the threads chosen here.
    gst_pad_add_probe(sink, GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, capsSeen, element, nullptr);
    gst_object_unref(sink);
}

} // namespace engines
