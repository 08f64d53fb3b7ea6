#include "platform/log.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string_view>

namespace klog {
namespace {

struct Config
{
    Level all = Level::Warning;
    std::map<std::string, Level, std::less<>> domains;
};

struct State
{
    std::mutex mutex;
    Config config;
    bool configured = false;
    std::map<std::string, std::string, std::less<>> last;
};

State& state()
{
    static State s;
    return s;
}

bool parseLevel(std::string_view word, Level& level)
{
    static const std::pair<std::string_view, Level> names[] = {
        {"error", Level::Error}, {"warning", Level::Warning}, {"warn", Level::Warning},
        {"info", Level::Info},   {"debug", Level::Debug},
    };
    for (const auto& [name, value] : names)
        if (word == name) {
            level = value;
            return true;
        }
    return false;
}

// "info,engines:debug": words without a domain set every domain; unknown words are passed
// over with a line saying so, since a typo should not silence the log.
Config parse(std::string_view setting)
{
    Config config;
    while (!setting.empty()) {
        const size_t comma = setting.find(',');
        const std::string_view item = setting.substr(0, comma);
        setting = comma == std::string_view::npos ? std::string_view() : setting.substr(comma + 1);
        if (item.empty())
            continue;
        const size_t colon = item.find(':');
        Level level{};
        if (colon == std::string_view::npos) {
            if (parseLevel(item, level))
                config.all = level;
            else
                std::fprintf(stderr, "kolvo: KOLVO_LOG: unknown level \"%.*s\"\n",
                             static_cast<int>(item.size()), item.data());
        } else if (parseLevel(item.substr(colon + 1), level)) {
            config.domains[std::string(item.substr(0, colon))] = level;
        } else {
            std::fprintf(stderr, "kolvo: KOLVO_LOG: unknown level in \"%.*s\"\n",
                         static_cast<int>(item.size()), item.data());
        }
    }
    return config;
}

const Config& configLocked(State& s)
{
    if (!s.configured) {
        const char* env = std::getenv("KOLVO_LOG");
        s.config = parse(env ? env : "");
        s.configured = true;
    }
    return s.config;
}

bool enabledLocked(State& s, std::string_view domain, Level level)
{
    const Config& c = configLocked(s);
    const auto it = c.domains.find(domain);
    return level <= (it != c.domains.end() ? it->second : c.all);
}

const char* levelName(Level level)
{
    switch (level) {
    case Level::Error:
        return "error";
    case Level::Warning:
        return "warning";
    case Level::Info:
        return "info";
    case Level::Debug:
        return "debug";
    }
    return "";
}

} // namespace

bool enabled(const char* domain, Level level)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    return enabledLocked(s, domain, level);
}

void write(const char* domain, Level level, const char* format, ...)
{
    char text[2048];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (level <= Level::Info)
        s.last[domain] = text;
    if (enabledLocked(s, domain, level))
        std::fprintf(stderr, "kolvo: %s %s: %s\n", domain, levelName(level), text);
}

std::string last(const char* domain)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    const auto it = s.last.find(std::string_view(domain));
    return it == s.last.end() ? std::string() : it->second;
}

void clearLast(const char* domain)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.last.erase(std::string(domain));
}

void configure(const std::string& setting)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.config = parse(setting);
    s.configured = true;
}

} // namespace klog
