#include "engines/versioninfo.h"

#include <QtGlobal>

#include <gst/gst.h>

#ifndef KOLVO_VERSION
#error "KOLVO_VERSION comes from the build: the project's version"
#endif

namespace engines {

std::string programVersion()
{
    return KOLVO_VERSION;
}

std::string libraryVersions()
{
    std::string text = std::string("Qt ") + qVersion();
    if (std::string(qVersion()) != QT_VERSION_STR)
        text += std::string(" (built with ") + QT_VERSION_STR + ")";
    guint major = 0, minor = 0, micro = 0, nano = 0;
    gst_version(&major, &minor, &micro, &nano);
    text += "\nGStreamer " + std::to_string(major) + "." + std::to_string(minor) + "." +
            std::to_string(micro);
    return text;
}

std::string licenceNote()
{
    return "Kolvo comes with ABSOLUTELY NO WARRANTY.\n"
           "It uses Qt and GStreamer, both under the GNU Lesser General Public License;\n"
           "their sources are available from the Qt and GStreamer projects.";
}

std::string versionReport(const std::string& programName)
{
    return programName + " " + programVersion() + "\n" + libraryVersions() + "\n\n" +
           licenceNote() + "\n";
}

} // namespace engines
