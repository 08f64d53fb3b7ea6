#pragma once
// What the recording tests share: tones as PCM, files, and peer programs run with their output.

#include "record/waveformat.h"

#include <cstdint>
#include <string>
#include <vector>

namespace recordtest {

// A sine tone as interleaved 16-bit PCM, the same in every channel.
std::vector<std::uint8_t> tone(double hz, double seconds, std::uint32_t rate, int channels,
                               double amplitude = 0.5);
// Runs a shell command; its stdout (and stderr when asked) and exit status.
struct RunResult
{
    int status = -1;
    std::string output;
};
RunResult run(const std::string& command, bool withStderr = false);
// Single-quoted for the shell.
std::string quoted(const std::string& text);
std::string readBytes(const std::string& path);
void writeBytes(const std::string& path, const std::string& bytes);
// A minimal RIFF WAVE file of the given format and sample bytes, written by the test itself.
std::string waveBytes(const record::WAVEFORMATEX& format, const std::vector<std::uint8_t>& data);
std::uint32_t le32(const std::string& bytes, size_t at);
std::uint16_t le16(const std::string& bytes, size_t at);

} // namespace recordtest
