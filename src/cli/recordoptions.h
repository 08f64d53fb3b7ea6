#pragma once
// What the commands that write sound files (record, cd copy) share: the reading of their
// --type and --bitrate options, and the status line they keep on a terminal's stderr.

#include <string>

struct RecordOptions
{
    int type = 0;    // 0 WAVE, 1 MP3, 2 RealAudio
    int bitRate = 0; // MP3 kbit/s; 0 for the stored choice
};

// Whether option is one of the shared ones (it then takes a value).
bool isRecordOption(const std::string& option);
// Reads a shared option's value into options: kCliOk, or the exit status after saying what is
// wrong. bitRateUsage: what the command says of a bit rate it cannot use.
int readRecordOption(const std::string& option, const std::string& value, RecordOptions& options,
                     const std::string& bitRateUsage);

// A line on stderr rewritten in place, drawn only when stderr is a terminal.
class StatusLine
{
public:
    StatusLine();
    bool terminal() const { return m_terminal; }
    void show(const std::string& text);
    // Wipes the line, when one is drawn, so that other output starts on a clean line.
    void clear();

private:
    bool m_terminal;
    bool m_drawn = false;
};
