#include "platform/trace.h"

#include <QElapsedTimer>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
QElapsedTimer g_clock;
}

void traceStartClock()
{
    g_clock.start();
}

long residentKiB()
{
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f)
        return 0;
    char line[256];
    long kib = 0;
    while (std::fgets(line, sizeof line, f)) {
        if (std::strncmp(line, "VmRSS:", 6) == 0) {
            kib = std::strtol(line + 6, nullptr, 10);
            break;
        }
    }
    std::fclose(f);
    return kib;
}

void trace(const char* format, ...)
{
    static const bool enabled = std::getenv("KOLVO_TRACE") != nullptr;
    if (!enabled)
        return;
    char text[4096];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    std::printf("kolvo: %s ms=%lld rss_kib=%ld\n", text,
                g_clock.isValid() ? static_cast<long long>(g_clock.elapsed()) : -1LL,
                residentKiB());
    std::fflush(stdout);
}
