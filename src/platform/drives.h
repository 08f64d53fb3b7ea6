#pragma once
// Songs on removable media remember the folder the medium was mounted at. When that medium
// shows up at another mount point (another drive, another label, another user), the players
// try the same path below each other removable mount point.

#include <string>
#include <vector>

namespace drives {

// Mount points of removable media: /media/<user>/<label>, /run/media/<user>/<label> and
// /mnt/<name>, in the order the system lists them. KOLVO_MOUNTS (colon-separated) replaces
// the system's list, for tests and unusual setups.
std::vector<std::string> RemovableMountPoints();

// The path with its removable mount point replaced by each other one, in order; empty when
// the path lies on no such mount point.
std::vector<std::string> AlternatePaths(const std::string& path,
                                        const std::vector<std::string>& mountPoints);
std::vector<std::string> AlternatePaths(const std::string& path);

} // namespace drives
