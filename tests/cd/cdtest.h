#pragma once
// What the CD tests share: disc images made once per test program by tools/make-test-disc,
// and writing a file (reading one is readFile of the test support).

#include "support/testhome.h"

#include <string>

namespace cdtest {

// An audio disc image `name`.cue (with its .bin) made with the tool's arguments after
// "audio OUT.cue", in this program's fixture folder; "" when the tool fails.
std::string disc(const std::string& name, const std::string& arguments);
// The folder of the fixtures.
std::string folder();
bool writeBytes(const std::string& path, const std::string& bytes);

} // namespace cdtest
