#pragma once
// Songs for the IMS and module engine tests, written by tools/make-test-music into the test
// program's fixture folder: IMS songs, one-timbre AdLib banks (a sine at `multiple` times the
// note's frequency, so the bank a song played with can be heard), MOD and XM modules.

#include <string>

namespace synthtest {

// `args` are the tool's options; the file is made once per name.
std::string music(const std::string& kind, const std::string& name, const std::string& args = "");
// A folder of its own under the fixture folder, for songs that need their own neighbours.
std::string folder(const std::string& name);
// The bytes of a file; writes bytes to a file.
std::string bytesOf(const std::string& path);
void writeBytes(const std::string& path, const std::string& bytes);

} // namespace synthtest
