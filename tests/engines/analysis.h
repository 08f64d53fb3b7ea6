#pragma once
// Small measurements of recorded sound for the engine tests: level, the strength of one
// frequency (Goertzel), the dominant frequency, and seams (clicks and gaps).

#include <cstddef>
#include <string>
#include <vector>

namespace analysis {

struct Stereo
{
    int rate = 0;
    std::vector<float> left, right; // -1..1
    size_t size() const { return left.size(); }
    double seconds() const { return rate ? static_cast<double>(left.size()) / rate : 0; }
};

// Reads a 16-bit PCM WAVE file (mono or stereo; mono is copied to both sides). A header that
// claims more data than the file holds (an interrupted recording) is read up to the end.
bool readWav(const std::string& path, Stereo& out);

// Writes 16-bit stereo PCM (to look at a failing recording).
bool writeWav(const std::string& path, const Stereo& s);
// The part from `fromSeconds`, `seconds` long (clipped to what there is).
Stereo slice(const Stereo& s, double fromSeconds, double seconds);

double rms(const std::vector<float>& x);
double peak(const std::vector<float>& x);
std::vector<float> difference(const Stereo& s); // left - right
std::vector<float> mix(const Stereo& s);        // (left + right) / 2

// Amplitude of the component at `hz` (a sine of amplitude A gives about A).
double toneAmplitude(const std::vector<float>& x, int rate, double hz);
// The strongest frequency between lo and hi Hz, searched in steps of `step` Hz and refined.
double dominantFrequency(const std::vector<float>& x, int rate, double lo = 50, double hi = 5000);

// Where the sound first rises above / last falls below `threshold` (seconds; -1 when never).
double firstAbove(const std::vector<float>& x, int rate, double threshold);
double lastAbove(const std::vector<float>& x, int rate, double threshold);

// The tones heard one after another, whatever the gaps between them: the dominant frequency of
// each loud window of `windowSeconds`, with a change counted once it holds for two windows.
std::vector<double> toneSequence(const std::vector<float>& x, int rate, double windowSeconds = 0.1,
                                 double threshold = 0.05);

// The largest second difference |x[n] - 2x[n-1] + x[n-2]|: a smooth tone of frequency f and
// amplitude A stays below A (2 pi f / rate)^2; a seam shows as a much larger value.
double worstSeam(const std::vector<float>& x, double* atSeconds = nullptr, int rate = 44100);
// The deepest dip: the smallest ratio of a window's RMS to that of the `contextMs` around it.
// A gap or a fade shows as a small ratio; an effect that changes the level slowly does not.
double deepestDip(const std::vector<float>& x, int rate, double windowMs, double contextMs,
                  double* atSeconds = nullptr);

} // namespace analysis
