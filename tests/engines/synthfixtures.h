#pragma once
// Songs for the IMS and module engine tests, written by tools/make-test-music into the test
// program's fixture folder: IMS songs, one-timbre AdLib banks (a sine at `multiple` times the
// note's frequency, so the bank a song played with can be heard), MOD, XM, S3M and IT modules;
// and what openmpt123, the peer, says of a module.

#include <map>
#include <string>

namespace synthtest {

// `args` are the tool's options; the file is made once per name.
std::string music(const std::string& kind, const std::string& name, const std::string& args = "");
// A folder of its own under the fixture folder, for songs that need their own neighbours.
std::string folder(const std::string& name);
// The bytes of a file; writes bytes to a file.
std::string bytesOf(const std::string& path);
void writeBytes(const std::string& path, const std::string& bytes);

// The fields `openmpt123 --info` prints ("Duration", "Subsongs", "Channels"...), by name; empty
// when openmpt123 is missing or refuses the file.
std::map<std::string, std::string> openmptInfo(const std::string& path);
// A "Duration" field ([[h:]m]m:ss.fff) in ms; -1 when it is none.
long durationMs(const std::string& text);

} // namespace synthtest
