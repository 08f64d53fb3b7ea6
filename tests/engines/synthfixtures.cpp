#include "synthfixtures.h"

#include "enginetest.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace synthtest {

std::string music(const std::string& kind, const std::string& name, const std::string& args)
{
    const std::string path = enginetest::fixtureDir() + "/" + name;
    if (!std::filesystem::exists(path)) {
        const std::string command = "/usr/bin/python3 '" + std::string(KOLVO_SOURCE_DIR) +
                                    "/tools/make-test-music' " + kind + " '" + path + "' " + args;
        if (!enginetest::sh(command))
            return {};
    }
    return path;
}

std::string folder(const std::string& name)
{
    const std::string dir = enginetest::fixtureDir() + "/" + name;
    std::filesystem::create_directories(dir);
    return dir;
}

std::string bytesOf(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void writeBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

} // namespace synthtest
