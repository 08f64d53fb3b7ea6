#include "engines/vcdsource.h"

#include "engines/vcddisc.h"

#include <gst/base/gstbasesrc.h>

#include <climits>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <new>
#include <unistd.h>

namespace engines {
namespace {

struct SourceState
{
    std::mutex lock; // the properties, against a change while the element starts
    std::string drive;
    std::string file;
    std::unique_ptr<VcdDisc> disc;
    std::unique_ptr<VcdStream> stream;
};

struct VcdSrc
{
    GstBaseSrc base;
    alignas(SourceState) unsigned char storage[sizeof(SourceState)];
    SourceState& state() { return *std::launder(reinterpret_cast<SourceState*>(storage)); }
};

struct VcdSrcClass
{
    GstBaseSrcClass base;
};

enum { PROP_0, PROP_DRIVE, PROP_FILE };

GstBaseSrcClass* g_parentClass = nullptr;

VcdSrc* self(gpointer object)
{
    return reinterpret_cast<VcdSrc*>(object);
}

void setProperty(GObject* object, guint id, const GValue* value, GParamSpec* spec)
{
    SourceState& s = self(object)->state();
    std::lock_guard<std::mutex> guard(s.lock);
    const gchar* text = g_value_get_string(value);
    switch (id) {
    case PROP_DRIVE:
        s.drive = text ? text : "";
        break;
    case PROP_FILE:
        s.file = text ? text : "";
        break;
    default:
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, spec);
    }
}

void getProperty(GObject* object, guint id, GValue* value, GParamSpec* spec)
{
    SourceState& s = self(object)->state();
    std::lock_guard<std::mutex> guard(s.lock);
    switch (id) {
    case PROP_DRIVE:
        g_value_set_string(value, s.drive.c_str());
        break;
    case PROP_FILE:
        g_value_set_string(value, s.file.c_str());
        break;
    default:
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, spec);
    }
}

void finalize(GObject* object)
{
    self(object)->state().~SourceState();
    G_OBJECT_CLASS(g_parentClass)->finalize(object);
}

gboolean start(GstBaseSrc* base)
{
    SourceState& s = self(base)->state();
    std::string drive, file;
    {
        std::lock_guard<std::mutex> guard(s.lock);
        drive = s.drive;
        file = s.file;
    }
    auto disc = std::make_unique<VcdDisc>();
    if (!disc->open(drive)) {
        GST_ELEMENT_ERROR(base, RESOURCE, NOT_FOUND, ("%s", disc->failureText().c_str()),
                          (nullptr));
        return FALSE;
    }
    auto stream = disc->openStream(file);
    if (!stream) {
        GST_ELEMENT_ERROR(base, RESOURCE, NOT_FOUND, ("%s", disc->failureText().c_str()),
                          (nullptr));
        return FALSE;
    }
    s.disc = std::move(disc);
    s.stream = std::move(stream);
    return TRUE;
}

gboolean stop(GstBaseSrc* base)
{
    SourceState& s = self(base)->state();
    s.stream.reset();
    s.disc.reset();
    return TRUE;
}

gboolean getSize(GstBaseSrc* base, guint64* size)
{
    SourceState& s = self(base)->state();
    if (!s.stream)
        return FALSE;
    *size = static_cast<guint64>(s.stream->size());
    return TRUE;
}

gboolean isSeekable(GstBaseSrc*)
{
    return TRUE;
}

GstFlowReturn fill(GstBaseSrc* base, guint64 offset, guint length, GstBuffer* buffer)
{
    SourceState& s = self(base)->state();
    if (!s.stream)
        return GST_FLOW_ERROR;
    const auto total = static_cast<guint64>(s.stream->size());
    if (offset >= total)
        return GST_FLOW_EOS;
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_WRITE))
        return GST_FLOW_ERROR;
    const std::int64_t want = static_cast<std::int64_t>(std::min<guint64>(length, total - offset));
    const std::int64_t got =
        s.stream->read(static_cast<std::int64_t>(offset), map.data,
                       std::min<std::int64_t>(want, static_cast<std::int64_t>(map.size)));
    gst_buffer_unmap(buffer, &map);
    if (got <= 0) {
        GST_ELEMENT_ERROR(
            base, RESOURCE, READ,
            ("the disc cannot be read at byte %llu", static_cast<unsigned long long>(offset)),
            (nullptr));
        return GST_FLOW_ERROR;
    }
    gst_buffer_set_size(buffer, static_cast<gsize>(got));
    GST_BUFFER_OFFSET(buffer) = offset;
    GST_BUFFER_OFFSET_END(buffer) = offset + static_cast<guint64>(got);
    return GST_FLOW_OK;
}

void classInit(gpointer klass, gpointer)
{
    g_parentClass = GST_BASE_SRC_CLASS(g_type_class_peek_parent(klass));
    auto* gobjectClass = G_OBJECT_CLASS(klass);
    gobjectClass->set_property = setProperty;
    gobjectClass->get_property = getProperty;
    gobjectClass->finalize = finalize;
    g_object_class_install_property(
        gobjectClass, PROP_DRIVE,
        g_param_spec_string("drive", "Drive", "A CD drive, a disc image or a folder", "",
                            static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS)));
    g_object_class_install_property(
        gobjectClass, PROP_FILE,
        g_param_spec_string("file", "File", "The file on the disc (MPEGAV/AVSEQ01.DAT)", "",
                            static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS)));

    auto* elementClass = GST_ELEMENT_CLASS(klass);
    gst_element_class_set_static_metadata(elementClass, "Kolvo Video CD source", "Source/File",
                                          "The payload of a file on a Video CD", "Kolvo");
    static GstStaticPadTemplate srcTemplate =
        GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS_ANY);
    gst_element_class_add_static_pad_template(elementClass, &srcTemplate);

    auto* baseClass = GST_BASE_SRC_CLASS(klass);
    baseClass->start = start;
    baseClass->stop = stop;
    baseClass->get_size = getSize;
    baseClass->is_seekable = isSeekable;
    baseClass->fill = fill;
}

void instanceInit(GTypeInstance* instance, gpointer)
{
    new (self(instance)->storage) SourceState();
    // A run of whole payloads per buffer.
    gst_base_src_set_blocksize(GST_BASE_SRC(instance), 16 * kVcdForm2Payload);
}

// The URI handler: "kolvovcd:" URIs name a drive and a file.
GstURIType uriType(GType)
{
    return GST_URI_SRC;
}

const gchar* const* uriProtocols(GType)
{
    static const gchar* protocols[] = {kVcdUriScheme, nullptr};
    return protocols;
}

gchar* getUri(GstURIHandler* handler)
{
    SourceState& s = self(handler)->state();
    std::lock_guard<std::mutex> guard(s.lock);
    if (s.drive.empty())
        return nullptr;
    return g_strdup(vcdSourceUri(s.drive, s.file).c_str());
}

gboolean setUri(GstURIHandler* handler, const gchar* uri, GError** error)
{
    std::string drive, file;
    if (!uri || !parseVcdSourceUri(uri, &drive, &file)) {
        g_set_error(error, GST_URI_ERROR, GST_URI_ERROR_BAD_URI, "not a Video CD file URI: %s",
                    uri ? uri : "(none)");
        return FALSE;
    }
    SourceState& s = self(handler)->state();
    std::lock_guard<std::mutex> guard(s.lock);
    s.drive = drive;
    s.file = file;
    return TRUE;
}

void uriHandlerInit(gpointer iface, gpointer)
{
    auto* i = static_cast<GstURIHandlerInterface*>(iface);
    i->get_type = uriType;
    i->get_protocols = uriProtocols;
    i->get_uri = getUri;
    i->set_uri = setUri;
}

GType sourceType()
{
    static const GType type = [] {
        const GType t = g_type_register_static_simple(
            GST_TYPE_BASE_SRC, "KolvoVcdSrc", sizeof(VcdSrcClass), classInit, sizeof(VcdSrc),
            instanceInit, static_cast<GTypeFlags>(0));
        static const GInterfaceInfo uriInfo = {uriHandlerInit, nullptr, nullptr};
        g_type_add_interface_static(t, GST_TYPE_URI_HANDLER, &uriInfo);
        return t;
    }();
    return type;
}

} // namespace

bool registerVcdSource(GstPlugin* plugin)
{
    return gst_element_register(plugin, kVcdSourceElement, GST_RANK_PRIMARY, sourceType());
}

std::string vcdSourceUri(const std::string& drive, const std::string& file)
{
    std::string path = drive;
    if (!path.empty() && path[0] != '/') {
        char cwd[PATH_MAX];
        if (::getcwd(cwd, sizeof cwd))
            path = std::string(cwd) + "/" + path;
    }
    // GLib's escaping needs no GStreamer: the reader makes these before any pipeline exists.
    gchar* escapedPath = g_uri_escape_string(path.c_str(), "/", FALSE);
    gchar* escapedFile = g_uri_escape_string(file.c_str(), "/", FALSE);
    std::string out = std::string(kVcdUriScheme) + "://" + escapedPath + "?file=" + escapedFile;
    g_free(escapedPath);
    g_free(escapedFile);
    return out;
}

bool parseVcdSourceUri(const std::string& text, std::string* drive, std::string* file)
{
    const std::string prefix = std::string(kVcdUriScheme) + "://";
    if (g_ascii_strncasecmp(text.c_str(), prefix.c_str(), prefix.size()) != 0)
        return false;
    const size_t query = text.find("?file=", prefix.size());
    if (query == std::string::npos)
        return false;
    const std::string rawPath = text.substr(prefix.size(), query - prefix.size());
    const std::string rawFile = text.substr(query + 6);
    gchar* path = g_uri_unescape_string(rawPath.c_str(), nullptr);
    gchar* name = g_uri_unescape_string(rawFile.c_str(), nullptr);
    const bool ok = path && name && path[0] == '/' && name[0] != '\0';
    if (ok) {
        *drive = path;
        *file = name;
    }
    g_free(path);
    g_free(name);
    return ok;
}

std::vector<std::string> vcdDatLocations(const std::string& drive)
{
    std::vector<std::string> out;
    VcdDisc disc;
    if (!disc.open(drive))
        return out;
    for (const std::string& file : disc.listFiles("MPEGAV", ".DAT")) {
        if (disc.kind() == VcdDisc::Kind::Folder) {
            std::string base = drive;
            while (base.size() > 1 && base.back() == '/')
                base.pop_back();
            out.push_back(base + "/" + file);
        } else {
            out.push_back(vcdSourceUri(drive, file));
        }
    }
    return out;
}

} // namespace engines
