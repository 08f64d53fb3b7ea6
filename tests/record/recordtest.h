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

// What ffprobe reads of a file: its first audio stream and its title.
struct Probe
{
    std::string codec;
    int rate = 0;
    int channels = 0;
    double seconds = -1;
    std::string title;
    std::string author;
};
Probe probe(const std::string& path);
// The file decoded by ffmpeg (or, with `gstreamer`, by GStreamer's uridecodebin) to 16-bit PCM
// of its own rate and channels, through a scratch WAVE file; empty when decoding failed.
// `elements` gets what gst-launch -v said (the elements it used).
std::vector<std::int16_t> decoded(const std::string& path, const std::string& scratch,
                                  std::uint32_t& rate, bool gstreamer = false,
                                  std::string* elements = nullptr);
// The strongest frequency of mono samples between `from` and `to` Hz, in steps of 2 Hz.
double strongestHz(const std::vector<std::int16_t>& samples, std::uint32_t rate, double from,
                   double to);

} // namespace recordtest
