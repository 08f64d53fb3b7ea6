// The command line comes from the desktop, from file managers and from scripts: file names of
// any length and bytes, and flags in any case with any numbers after them. The input is the
// arguments, each ended by a NUL (an argument cannot hold one). Whatever they are, the start
// commands stay within their count and ranges, the start mode resolves to one a player takes,
// and the hand-over record built from the result reads back the same.
#include "app/commandline.h"
#include "fuzzcheck.h"

#include <QString>
#include <QStringList>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

namespace {} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    QStringList arguments;
    size_t flags = 0;
    for (size_t pos = 0; pos < size;) {
        const char* start = reinterpret_cast<const char*>(data) + pos;
        const size_t length = strnlen(start, size - pos);
        // As the program receives its arguments: decoded from the locale's UTF-8.
        arguments << QString::fromUtf8(start, static_cast<qsizetype>(length));
        const std::string decoded = arguments.back().toStdString();
        flags += decoded.rfind("-volume:", 0) == 0 || decoded.rfind("/volume:", 0) == 0 ||
                 decoded.rfind("-timer:", 0) == 0 || decoded.rfind("/timer:", 0) == 0;
        pos += length + 1;
    }

    AppCommandLineInfo info;
    info.ParseCommandLine(arguments);
    FUZZ_CHECK(info.commandCount >= 0 && info.commandCount <= kMaxStartCommands);
    FUZZ_CHECK(static_cast<size_t>(info.commandCount) <= flags);
    for (int i = 0; i < kMaxStartCommands; ++i) {
        const std::uint32_t word = info.startCommands[i];
        if (i >= info.commandCount) {
            FUZZ_CHECK(word == 0);
            continue;
        }
        const std::uint32_t kind = word >> 16;
        const std::uint32_t value = word & 0xFFFF;
        FUZZ_CHECK(kind == kStartCommandVolume || kind == kStartCommandTimer);
        if (kind == kStartCommandTimer)
            FUZZ_CHECK(value >= 1 && value <= kTimerMinutesMax);
    }
    FUZZ_CHECK(info.fileName.find('\0') == std::string::npos);
    // A name is refused beyond the limit; one made absolute names a file that exists.
    FUZZ_CHECK(info.fileName.size() <= kMaxFileNameBytes + 1);

    // A folder named stands for all its songs: resolving it would read this machine's file
    // system (all of it for "/"), which is the folder scan's own tests' business.
    std::error_code folderCheck;
    if (std::filesystem::is_directory(info.fileName, folderCheck))
        return 0;
    ResolveStartMode(info, "");
    FUZZ_CHECK(info.startMode == StartModeNone ||
               (info.startMode >= StartModeAudioCd && info.startMode <= StartModeVideo));
    if (info.startMode != StartModeNone)
        FUZZ_CHECK(!info.showSplash);

    const std::vector<std::uint8_t> record = BuildHandoverRecord(info);
    HandoverRecord back;
    FUZZ_CHECK(ParseHandoverRecord(record.data(), record.size(), back));
    FUZZ_CHECK(back.startCommands == info.startCommands && back.startMode == info.startMode &&
               back.fileName == info.fileName);
    return 0;
}
