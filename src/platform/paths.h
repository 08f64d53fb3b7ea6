#pragma once
// Where Kolvo keeps things. KOLVO_HOME=<dir> relocates everything (config in <dir>/config,
// data in <dir>/data, temporary files in <dir>/tmp) for tests and portable use; otherwise the
// XDG base directories are used. All paths are UTF-8.

#include <string>
#include <vector>

namespace paths {

// Organisation and application names that place the settings file.
inline constexpr const char* kOrganization = "Quorvane System, Inc.";
inline constexpr const char* kApplication = "Kolvo";

std::string configDir();    // the folder holding the organisation folder of the settings file
std::string settingsFile(); // <configDir>/Quorvane System, Inc./Kolvo.conf
std::string registryFile(); // values kept outside the program's own settings key
std::string dataDir();      // album databases, "$$TEMP$$.M3U", "cdplayer.ini"
std::string tempDir();      // scratch files of recording and copying
std::vector<std::string> skinDirs(); // in lookup order: the user's, the installed, the build tree's
// The demo songs a first start puts in the "Default" album; "" when they are not installed.
std::string demoDir();

// Creates the folder and its parents; false when it cannot be made.
bool ensureDir(const std::string& dir);

} // namespace paths
