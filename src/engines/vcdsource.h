#pragma once
// The source element that feeds a GStreamer pipeline with a file of a Video CD: "kolvovcdsrc",
// a GstBaseSrc registered with Kolvo's own elements (ensureGstreamer registers it). It gives
// the file's payload (see vcddisc.h) as a random-access byte stream of known size, so a demuxer
// can pull from it and seek; it opens the disc itself when it starts and closes it when it
// stops.
//
// It is named either by its properties "drive" (what the "Drive" setting holds: a device, an
// image or a folder) and "file" (the path on the disc, "MPEGAV/AVSEQ01.DAT"), or by a URI of
// the scheme "kolvovcd" (from vcdSourceUri), so a `playbin` or `uridecodebin` finds it by
// itself. A file that is missing or a disc that cannot be opened fails the start with a
// resource error saying which.

#include <gst/gst.h>

#include <string>
#include <vector>

namespace engines {

constexpr const char* kVcdSourceElement = "kolvovcdsrc";
constexpr const char* kVcdUriScheme = "kolvovcd";

// Registers the element with a plugin (nullptr: as a static element of the process).
bool registerVcdSource(GstPlugin* plugin);

// "kolvovcd:///abs/path/disc.cue?file=MPEGAV/AVSEQ01.DAT": the URI of a file on a disc; a
// relative drive is made absolute.
std::string vcdSourceUri(const std::string& drive, const std::string& file);
// The drive and file of such a URI; false when it is not one.
bool parseVcdSourceUri(const std::string& uri, std::string* drive, std::string* file);

// The "*.dat" files of a disc's MPEGAV folder as a pipeline opens them, for the album a disc
// gets when it cannot be read as a Video CD 2.0: paths in the folder of a copied disc,
// kolvovcd: URIs on a drive or an image (whose files are not in the file system). Empty when
// the disc cannot be opened or has none.
std::vector<std::string> vcdDatLocations(const std::string& drive);

} // namespace engines
