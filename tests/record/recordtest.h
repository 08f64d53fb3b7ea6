#pragma once
// What the recording tests share: tones as PCM, files, and peer programs run with their output.

#include "record/waveformat.h"

#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace recordtest {

// A sine tone as interleaved 16-bit PCM, the same in every channel (or, with `right` given, that
// amplitude in the second).
std::vector<std::uint8_t> tone(double hz, double seconds, std::uint32_t rate, int channels,
                               double amplitude = 0.5, double right = -1);
// Runs a shell command; its stdout (and stderr when asked) and exit status.
struct RunResult
{
    int status = -1;
    std::string output;
};
RunResult run(const std::string& command, bool withStderr = false);
// Single-quoted for the shell.
std::string quoted(const std::string& text);
// kolvo-cli with these arguments (quoted by the caller), its stderr with its stdout.
RunResult kolvoCli(const std::string& args);
// What python3 prints running the script, stderr included.
std::string python(const std::string& script);
// sox's statistics of a file's sound after `effects` (by default mixed to one channel); -1 for
// what sox did not report.
struct SoxStat
{
    double seconds = -1, hz = -1, rms = -1;
    std::string text;
};
SoxStat soxStat(const std::string& path, const std::string& effects = "remix -");
// mpg123's decoding of an MP3 to a scratch WAVE file, and its length in seconds by sox; -1 when
// it does not decode.
double decodedSeconds(const std::string& mp3, const std::string& scratch);
// Runs `body` while no file may grow past `bytes`: writes beyond fail as on a full disk.
void withFileSizeLimit(std::uint64_t bytes, const std::function<void()>& body);
// 44.1 kHz stereo PCM written to `wav` and played into the private PulseAudio's test sink by a
// thread of its own, which ends with the sound.
std::thread playIntoTestSink(const std::string& wav, const std::vector<std::uint8_t>& pcm);
std::string readBytes(const std::string& path);
void writeBytes(const std::string& path, const std::string& bytes);
// A minimal RIFF WAVE file of the given format and sample bytes, written by the test itself.
std::string waveBytes(const record::WAVEFORMATEX& format, const std::vector<std::uint8_t>& data);
std::uint32_t le32(const std::string& bytes, size_t at);

// What ffprobe reads of a file: its first audio stream and its title.
struct Probe
{
    std::string codec;
    int rate = 0;
    int channels = 0;
    double seconds = -1;
    std::string title;
    std::string author;
    // Codec, rate, channels, title and author in one line.
    std::string summary() const;
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
// The strongest frequency (100 to 3000 Hz) of samples [from, to) of a file as ffmpeg decodes it,
// negative positions counted from the end; -1 when it decodes to fewer samples.
double decodedTone(const std::string& path, const std::string& scratch, long from, long to);

} // namespace recordtest
