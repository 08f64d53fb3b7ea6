#pragma once
// GStreamer for the engines: started once per process with Kolvo's own elements registered,
// and small owners that release GStreamer references.

#include <gst/gst.h>

#include <memory>
#include <string>

namespace engines {

// Initialises GStreamer (once) and registers our elements (kolvoscale, kolvo3d, kolvowide,
// kolvofx, kolvofade, and the Video CD source kolvovcdsrc). False, with the reason, when GStreamer
// cannot start.
bool ensureGstreamer(std::string* error = nullptr);

struct GstObjectUnref
{
    void operator()(gpointer object) const
    {
        if (object)
            gst_object_unref(object);
    }
};
template <typename T>
using GstRef = std::unique_ptr<T, GstObjectUnref>;

struct GstMiniObjectUnref
{
    void operator()(gpointer object) const
    {
        if (object)
            gst_mini_object_unref(GST_MINI_OBJECT_CAST(object));
    }
};
using MessageRef = std::unique_ptr<GstMessage, GstMiniObjectUnref>;
using CapsRef = std::unique_ptr<GstCaps, GstMiniObjectUnref>;

struct GFreeDeleter
{
    void operator()(gpointer p) const { g_free(p); }
};
using GString_ = std::unique_ptr<gchar, GFreeDeleter>;

// Makes an element of a factory; nullptr when the factory is missing.
GstElement* makeElement(const char* factory, const char* name = nullptr);

// The message of an error or warning message, as one line, led by the cause it shows
// (failureText: the sound output, a missing, damaged or unplayable file) when it shows one.
std::string describeError(GstMessage* message);

} // namespace engines
