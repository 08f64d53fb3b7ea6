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
// The folders holding what is installed with the program (skins, demo songs, banks), in lookup
// order: <prefix>/share/kolvo beside the running program's bin/ (the build tree is laid out
// the same way), then kolvo/ in each XDG data directory ($XDG_DATA_HOME, $XDG_DATA_DIRS).
// Only folders that exist are listed. No path is compiled in, so an installed tree can move.
std::vector<std::string> installedDataDirs();
// The first installed file or folder of that relative name ("uib/GoldEn.uib"); "" when none.
std::string findInstalledData(const std::string& relative);
std::vector<std::string> skinDirs(); // in lookup order: the user's, then each installed uib/
// The demo songs a first start puts in the "Default" album; "" when they are not installed.
std::string demoDir();

// Creates the folder and its parents; false when it cannot be made.
bool ensureDir(const std::string& dir);

} // namespace paths
