#include "cdtest.h"

#include "enginetest.h"

#include <fstream>
#include <sys/stat.h>

namespace cdtest {

std::string folder()
{
    return enginetest::fixtureDir();
}

std::string disc(const std::string& name, const std::string& arguments)
{
    const std::string cue = folder() + "/" + name + ".cue";
    struct stat st
    {};
    if (::stat(cue.c_str(), &st) == 0)
        return cue;
    const std::string tool = std::string(KOLVO_SOURCE_DIR) + "/tools/make-test-disc";
    if (!enginetest::sh(tool + " audio '" + cue + "' " + arguments))
        return {};
    return cue;
}

bool writeBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    return static_cast<bool>(out.flush());
}

} // namespace cdtest
