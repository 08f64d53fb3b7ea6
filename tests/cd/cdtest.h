#pragma once
// What the CD tests share: disc images made once per test program by tools/make-test-disc,
// and small file helpers.

#include <string>

namespace cdtest {

// An audio disc image `name`.cue (with its .bin) made with the tool's arguments after
// "audio OUT.cue", in this program's fixture folder; "" when the tool fails.
std::string disc(const std::string& name, const std::string& arguments);
// The folder of the fixtures.
std::string folder();
// A file's bytes; "" when it cannot be read.
std::string bytesOf(const std::string& path);
bool writeBytes(const std::string& path, const std::string& bytes);

} // namespace cdtest
