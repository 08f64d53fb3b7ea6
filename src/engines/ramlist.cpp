#include "engines/ramlist.h"

#include "platform/text.h"

#include <algorithm>
#include <cctype>
#include <sstream>
#include <string_view>

namespace engines {

namespace {

bool isPlayableAddress(const std::string& location)
{
    return location.rfind("http://", 0) == 0 || location.rfind("https://", 0) == 0;
}

} // namespace

std::string pathFromFileAddress(const std::string& address)
{
    constexpr std::string_view scheme = "file://";
    if (address.size() < scheme.size() || address.compare(0, scheme.size(), scheme) != 0 ||
        address.find('\0') != std::string::npos)
        return {};
    std::string rest = address.substr(scheme.size());
    if (rest.rfind("localhost/", 0) == 0)
        rest.erase(0, 9);
    if (rest.empty() || rest[0] != '/')
        return {}; // another host's file
    const size_t end = rest.find_first_of("?#");
    if (end != std::string::npos)
        rest.erase(end);
    std::string path;
    path.reserve(rest.size());
    for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] != '%') {
            path += rest[i];
            continue;
        }
        const int high = i + 2 < rest.size() ? text::hexDigitValue(rest[i + 1]) : -1;
        const int low = high >= 0 ? text::hexDigitValue(rest[i + 2]) : -1;
        if (low < 0)
            return {};
        const char c = static_cast<char>(high * 16 + low);
        // An escaped slash would join two names into one; a NUL would cut the path short.
        if (c == '\0' || c == '/')
            return {};
        path += c;
        i += 2;
    }
    return path;
}

std::vector<std::string> parseRamList(const std::string& content, const std::string& folder)
{
    std::vector<std::string> clips;
    std::istringstream in(content);
    std::string line;
    while (std::getline(in, line)) {
        const auto notSpace = [](unsigned char c) { return !std::isspace(c); };
        line.erase(line.begin(), std::find_if(line.begin(), line.end(), notSpace));
        line.erase(std::find_if(line.rbegin(), line.rend(), notSpace).base(), line.end());
        // A NUL cannot be in a path or an address.
        if (line.empty() || line[0] == '#' || line.find('\0') != std::string::npos)
            continue;
        if (line == "--stop--")
            break;
        if (line.rfind("file:", 0) == 0) {
            std::string path = pathFromFileAddress(line);
            if (!path.empty())
                clips.push_back(std::move(path));
            continue;
        }
        if (line.find("://") != std::string::npos) {
            if (isPlayableAddress(line))
                clips.push_back(line);
            continue;
        }
        clips.push_back(line[0] == '/' || folder.empty() ? line : folder + "/" + line);
    }
    return clips;
}

} // namespace engines
