#include "synthfixtures.h"

#include "enginetest.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
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

std::map<std::string, std::string> openmptInfo(const std::string& path)
{
    std::map<std::string, std::string> fields;
    const std::string command = "openmpt123 --info '" + path + "' 2>/dev/null";
    std::unique_ptr<FILE, int (*)(FILE*)> out(popen(command.c_str(), "r"), pclose);
    if (!out)
        return fields;
    char line[1024];
    while (std::fgets(line, sizeof line, out.get())) {
        // "Duration...: 00:03.960": the name, dots to align the values, ": " and the value.
        std::string text(line);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        const size_t colon = text.find(": ");
        if (colon == std::string::npos)
            continue;
        std::string name = text.substr(0, colon);
        while (!name.empty() && name.back() == '.')
            name.pop_back();
        fields[name] = text.substr(colon + 2);
    }
    return fields;
}

long durationMs(const std::string& text)
{
    double seconds = 0;
    size_t from = 0;
    while (from <= text.size()) {
        const size_t colon = text.find(':', from);
        const std::string part =
            text.substr(from, colon == std::string::npos ? colon : colon - from);
        if (part.empty() || part.find_first_not_of("0123456789.") != std::string::npos)
            return -1;
        seconds = seconds * 60 + std::stod(part);
        if (colon == std::string::npos)
            return static_cast<long>(seconds * 1000 + 0.5);
        from = colon + 1;
    }
    return -1;
}

} // namespace synthtest
