#pragma once
// What `--version` and the About box say: the program's version, the Qt and GStreamer versions
// it runs on, and the licence note. One text for the player and kolvo-cli, so both always agree.

#include <string>

namespace engines {

// The program's own version, "MAJOR.MINOR.PATCH", as the build was configured.
std::string programVersion();

// "Qt 6.x.y" (with the version built against when it differs) and "GStreamer 1.x.y" on one
// line each; GStreamer's own version answers without initialising it.
std::string libraryVersions();

// The licence note, plain text on several lines.
std::string licenceNote();

// programName and version, the library versions and the licence note: the whole `--version`.
std::string versionReport(const std::string& programName);

} // namespace engines
