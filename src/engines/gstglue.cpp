#include "engines/gstglue.h"

#include "engines/filters.h"
#include "engines/session.h"
#include "engines/vcdsource.h"

#include <gst/pbutils/pbutils.h>

#include <cstring>
#include <mutex>

namespace engines {

namespace {

gboolean registerOurElements(GstPlugin* plugin)
{
    return registerKolvoElements(plugin) && registerVcdSource(plugin) ? TRUE : FALSE;
}

} // namespace

bool ensureGstreamer(std::string* error)
{
    static std::once_flag once;
    static bool ok = false;
    static std::string failure;
    std::call_once(once, [] {
        GError* err = nullptr;
        if (!gst_init_check(nullptr, nullptr, &err)) {
            failure = err ? err->message : "GStreamer could not be initialised";
            if (err)
                g_error_free(err);
            return;
        }
        if (!gst_plugin_register_static(GST_VERSION_MAJOR, GST_VERSION_MINOR, "kolvo",
                                        "Kolvo's own sound effects", registerOurElements, "1.0",
                                        "unknown", "kolvo", "kolvo", "https://kolvo.invalid/")) {
            failure = "Kolvo's effect elements could not be registered";
            return;
        }
        // The descriptions of containers and codecs the information texts use.
        gst_pb_utils_init();
        ok = true;
    });
    if (!ok && error)
        *error = failure;
    return ok;
}

GstElement* makeElement(const char* factory, const char* name)
{
    return gst_element_factory_make(factory, name);
}

std::string describeError(GstMessage* message)
{
    GError* err = nullptr;
    gchar* debug = nullptr;
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR)
        gst_message_parse_error(message, &err, &debug);
    else if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_WARNING)
        gst_message_parse_warning(message, &err, &debug);
    const GString_ owned(debug);
    // The debug text names source files of GStreamer itself; only the message is for people.
    std::string text = err ? err->message : "unknown error";
    OpenFailure cause = OpenFailure::Other;
    if (err) {
        // A sink that fails cannot reach the sound server (none running, or refused): the file
        // may be fine. Then what GStreamer's error codes say of the file itself.
        GstObject* source = GST_MESSAGE_SRC(message);
        GstElementFactory* factory = source && GST_IS_ELEMENT(source)
                                         ? gst_element_get_factory(GST_ELEMENT(source))
                                         : nullptr;
        const char* klass =
            factory ? gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_KLASS)
                    : nullptr;
        const int code = err->code;
        if (klass && std::strstr(klass, "Sink"))
            cause = OpenFailure::SoundOutput;
        else if (err->domain == GST_RESOURCE_ERROR && code == GST_RESOURCE_ERROR_NOT_FOUND)
            cause = OpenFailure::Missing;
        else if ((err->domain == GST_STREAM_ERROR && (code == GST_STREAM_ERROR_TYPE_NOT_FOUND ||
                                                      code == GST_STREAM_ERROR_CODEC_NOT_FOUND ||
                                                      code == GST_STREAM_ERROR_WRONG_TYPE ||
                                                      code == GST_STREAM_ERROR_NOT_IMPLEMENTED)) ||
                 (err->domain == GST_CORE_ERROR && code == GST_CORE_ERROR_MISSING_PLUGIN))
            cause = OpenFailure::NotPlayable;
        else if (err->domain == GST_STREAM_ERROR &&
                 (code == GST_STREAM_ERROR_DECODE || code == GST_STREAM_ERROR_DEMUX ||
                  code == GST_STREAM_ERROR_FORMAT))
            cause = OpenFailure::Damaged;
        g_error_free(err);
    }
    if (cause != OpenFailure::Other)
        text = std::string(failureText(cause)) + ": " + text;
    return text;
}

} // namespace engines
