#include "engines/mediatags.h"

#include "engines/gstglue.h"
#include "platform/log.h"

#include <gst/pbutils/pbutils.h>
#include <gst/tag/tag.h>

#include <memory>

namespace engines {
namespace {

struct DiscovererInfoUnref
{
    void operator()(GstDiscovererInfo* info) const { gst_discoverer_info_unref(info); }
};

std::string tagString(const GstTagList* tags, const char* name)
{
    gchar* value = nullptr;
    if (!gst_tag_list_get_string(tags, name, &value) || !value)
        return {};
    std::string s(value);
    g_free(value);
    return s;
}

// The front cover when the file names one, else the first picture of any kind.
void takeImage(const GstTagList* tags, MediaTags& out)
{
    const char* names[] = {GST_TAG_IMAGE, GST_TAG_PREVIEW_IMAGE};
    for (const char* name : names) {
        const guint count = gst_tag_list_get_tag_size(tags, name);
        GstSample* chosen = nullptr;
        for (guint i = 0; i < count; ++i) {
            GstSample* sample = nullptr;
            if (!gst_tag_list_get_sample_index(tags, name, i, &sample))
                continue;
            int type = GST_TAG_IMAGE_TYPE_UNDEFINED;
            if (const GstStructure* info = gst_sample_get_info(sample))
                gst_structure_get_enum(info, "image-type", GST_TYPE_TAG_IMAGE_TYPE, &type);
            if (!chosen || type == GST_TAG_IMAGE_TYPE_FRONT_COVER) {
                if (chosen)
                    gst_sample_unref(chosen);
                chosen = sample;
                if (type == GST_TAG_IMAGE_TYPE_FRONT_COVER)
                    break;
            } else {
                gst_sample_unref(sample);
            }
        }
        if (!chosen)
            continue;
        GstBuffer* buffer = gst_sample_get_buffer(chosen);
        GstMapInfo map;
        if (buffer && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
            out.image.assign(map.data, map.data + map.size);
            gst_buffer_unmap(buffer, &map);
            if (const GstCaps* caps = gst_sample_get_caps(chosen); caps && !gst_caps_is_empty(caps))
                out.imageType = gst_structure_get_name(gst_caps_get_structure(caps, 0));
        }
        gst_sample_unref(chosen);
        if (!out.image.empty())
            return;
    }
}

} // namespace

MediaTags readMediaTags(const std::string& path, int timeoutMs)
{
    MediaTags out;
    std::string why;
    if (!ensureGstreamer(&why))
        return out;
    GError* error = nullptr;
    GstRef<GstDiscoverer> discoverer(
        gst_discoverer_new(static_cast<GstClockTime>(timeoutMs) * GST_MSECOND, &error));
    if (!discoverer) {
        if (error)
            g_error_free(error);
        return out;
    }
    gchar* uri = gst_filename_to_uri(path.c_str(), &error);
    if (!uri) {
        if (error)
            g_error_free(error);
        return out;
    }
    std::unique_ptr<GstDiscovererInfo, DiscovererInfoUnref> info(
        gst_discoverer_discover_uri(discoverer.get(), uri, &error));
    g_free(uri);
    if (error) {
        KLOG_DEBUG("engines", "no tags from %s: %s", path.c_str(), error->message);
        g_error_free(error);
    }
    if (!info || gst_discoverer_info_get_result(info.get()) != GST_DISCOVERER_OK)
        return out;
    const GstClockTime duration = gst_discoverer_info_get_duration(info.get());
    if (GST_CLOCK_TIME_IS_VALID(duration))
        out.lengthMs = static_cast<std::int64_t>(duration / GST_MSECOND);
    const GstTagList* tags = gst_discoverer_info_get_tags(info.get());
    if (!tags)
        return out;
    out.title = tagString(tags, GST_TAG_TITLE);
    out.artist = tagString(tags, GST_TAG_ARTIST);
    out.album = tagString(tags, GST_TAG_ALBUM);
    guint track = 0;
    if (gst_tag_list_get_uint(tags, GST_TAG_TRACK_NUMBER, &track))
        out.trackNumber = static_cast<int>(track);
    takeImage(tags, out);
    return out;
}

std::string imageExtension(const std::string& mimeType)
{
    if (mimeType == "image/jpeg" || mimeType == "image/jpg")
        return "jpg";
    if (mimeType == "image/png")
        return "png";
    if (mimeType == "image/gif")
        return "gif";
    if (mimeType == "image/bmp")
        return "bmp";
    if (mimeType == "image/webp")
        return "webp";
    return "img";
}

} // namespace engines
