// The command line from desktops, file managers and scripts, as arguments each ended by a NUL:
// the start commands stay within their count and ranges, the start mode is one a player takes,
// and the hand-over record built from the result reads back the same.
#include "app/commandline.h"
#include "fuzzcheck.h"

#include <QStringList>

#include <filesystem>

FUZZ_TARGET
{
    QStringList arguments;
    size_t flags = 0;
    for (size_t pos = 0; pos < size;) {
        const char* start = reinterpret_cast<const char*>(data) + pos;
        const size_t length = strnlen(start, size - pos);
        // As the program receives its arguments: decoded from the locale's UTF-8.
        arguments << QString::fromUtf8(start, static_cast<qsizetype>(length));
        const std::string decoded = arguments.back().toStdString();
        for (const char* flag : {"-volume:", "/volume:", "-timer:", "/timer:"})
            flags += decoded.rfind(flag, 0) == 0;
        pos += length + 1;
    }

    AppCommandLineInfo info;
    info.ParseCommandLine(arguments);
    FUZZ_CHECK(info.commandCount >= 0 && info.commandCount <= kMaxStartCommands);
    FUZZ_CHECK(static_cast<size_t>(info.commandCount) <= flags);
    for (int i = 0; i < kMaxStartCommands; ++i) {
        const std::uint32_t word = info.startCommands[i], kind = word >> 16, value = word & 0xFFFF;
        if (i >= info.commandCount)
            FUZZ_CHECK(word == 0);
        else
            FUZZ_CHECK(kind == kStartCommandVolume ||
                       (kind == kStartCommandTimer && value >= 1 && value <= kTimerMinutesMax));
    }
    // A name is refused beyond the limit; one made absolute names a file that exists.
    FUZZ_CHECK(info.fileName.find('\0') == std::string::npos &&
               info.fileName.size() <= kMaxFileNameBytes + 1);

    // A folder named stands for all its songs: resolving it would read this machine's file
    // system (all of it for "/"), which is the folder scan's own tests' business.
    std::error_code folderCheck;
    if (std::filesystem::is_directory(info.fileName, folderCheck))
        return;
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
}
