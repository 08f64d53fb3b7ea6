#pragma once
// RealAudio .ram lists: plain text naming the clips to play in turn. Kept apart from the engine,
// with nothing but the standard library, so that the fuzzer can take it on its own.

#include <string>
#include <vector>

namespace engines {

// The clips of a .ram list: one location per line; blank lines and "#" comments are skipped,
// "--stop--" ends the list, file: addresses become paths, relative paths are taken from the
// list's folder. Addresses of protocols we cannot play (rtsp:, pnm:) are left out, and so are
// file: addresses that name no local path.
std::vector<std::string> parseRamList(const std::string& content, const std::string& folder);

// The local path of a file: address ("file:///a%20b" or "file://localhost/a%20b"); "" when it
// names another host or cannot be a path (a bad escape, a NUL, an escaped slash).
std::string pathFromFileAddress(const std::string& address);

} // namespace engines
