#pragma once
// The program's levelled log: one line per event on stderr, by domain ("engines", "players",
// "cddb", ...) and level. It is where the reasons behind what the user sees end up: a song the
// player calls "Can't play Track 3" says here which engine refused it and why. There is no log
// file; the user reads the terminal or the desktop's journal.
//
// KOLVO_LOG chooses what is written: a level for every domain ("debug"), levels per domain
// ("engines:debug,cddb:info"), or both ("info,engines:debug"). Without it, warnings and
// errors are written. Whatever is written, the last lines of each domain are kept in memory
// for callers that report a reason themselves (kolvo-cli).

#include <string>
#include <vector>

namespace klog {

enum class Level { Error = 0, Warning = 1, Info = 2, Debug = 3 };

// Whether a line of that domain and level would be written (to skip building costly text).
bool enabled(const char* domain, Level level);

void write(const char* domain, Level level, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// The last line logged for a domain at Info or more severe, whether written or not
// ("" when none); cleared by clearLast.
std::string last(const char* domain);
void clearLast(const char* domain);

// Re-reads KOLVO_LOG (tests change it between cases).
void configure(const std::string& setting);

} // namespace klog

#define KLOG_ERROR(domain, ...) ::klog::write(domain, ::klog::Level::Error, __VA_ARGS__)
#define KLOG_WARNING(domain, ...) ::klog::write(domain, ::klog::Level::Warning, __VA_ARGS__)
#define KLOG_INFO(domain, ...) ::klog::write(domain, ::klog::Level::Info, __VA_ARGS__)
#define KLOG_DEBUG(domain, ...)                                                                    \
    do {                                                                                           \
        if (::klog::enabled(domain, ::klog::Level::Debug))                                         \
            ::klog::write(domain, ::klog::Level::Debug, __VA_ARGS__);                              \
    } while (0)
