#include "engines/gstglue.h"

#include "engines/filters.h"

#include <mutex>

namespace engines {

namespace {

gboolean registerOurElements(GstPlugin* plugin)
{
    return registerKolvoElements(plugin) ? TRUE : FALSE;
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
    if (err)
        g_error_free(err);
    return text;
}

} // namespace engines
