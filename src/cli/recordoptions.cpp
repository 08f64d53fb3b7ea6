#include "cli/recordoptions.h"

#include "cli/commands.h"
#include "record/kmpencengine.h"

#include <cstdio>
#include <unistd.h>

bool isRecordOption(const std::string& option)
{
    return option == "--type" || option == "--bitrate";
}

int readRecordOption(const std::string& option, const std::string& value, RecordOptions& options,
                     const std::string& bitRateUsage)
{
    if (option == "--type") {
        if (value == "wav")
            options.type = 0;
        else if (value == "mp3")
            options.type = 1;
        else if (value == "ra")
            options.type = 2;
        else
            return cliUsage("--type is wav, mp3 or ra");
        return kCliOk;
    }
    try {
        options.bitRate = std::stoi(value);
    } catch (...) {
        options.bitRate = -1;
    }
    if (!record::isMpegBitRate(options.bitRate))
        return cliUsage(bitRateUsage);
    return kCliOk;
}

StatusLine::StatusLine()
    : m_terminal(::isatty(STDERR_FILENO) == 1)
{}

void StatusLine::show(const std::string& text)
{
    if (!m_terminal)
        return;
    std::fprintf(stderr, "\r\033[K%s", text.c_str());
    std::fflush(stderr);
    m_drawn = true;
}

void StatusLine::clear()
{
    if (m_drawn)
        std::fputs("\r\033[K", stderr);
    m_drawn = false;
}
