#include "analysis.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>

namespace analysis {

namespace {

std::uint32_t le32(const unsigned char* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint16_t le16(const unsigned char* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

} // namespace

bool readWav(const std::string& path, Stereo& out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::vector<unsigned char> d((std::istreambuf_iterator<char>(in)),
                                 std::istreambuf_iterator<char>());
    if (d.size() < 12 || std::memcmp(d.data(), "RIFF", 4) || std::memcmp(d.data() + 8, "WAVE", 4))
        return false;
    size_t pos = 12;
    int channels = 0, bits = 0;
    out = Stereo();
    while (pos + 8 <= d.size()) {
        const std::uint32_t size = le32(&d[pos + 4]);
        const size_t body = pos + 8;
        if (!std::memcmp(&d[pos], "fmt ", 4) && body + 16 <= d.size()) {
            channels = le16(&d[body + 2]);
            out.rate = static_cast<int>(le32(&d[body + 4]));
            bits = le16(&d[body + 14]);
        } else if (!std::memcmp(&d[pos], "data", 4)) {
            if (bits != 16 || channels < 1)
                return false;
            const size_t end = std::min<size_t>(d.size(), body + size);
            const size_t frameBytes = 2 * static_cast<size_t>(channels);
            for (size_t p = body; p + frameBytes <= end; p += frameBytes) {
                const auto l = static_cast<std::int16_t>(le16(&d[p]));
                const auto r = channels > 1 ? static_cast<std::int16_t>(le16(&d[p + 2])) : l;
                out.left.push_back(l / 32768.0f);
                out.right.push_back(r / 32768.0f);
            }
            return true;
        }
        pos = body + size + (size & 1);
    }
    return false;
}

bool writeWav(const std::string& path, const Stereo& s)
{
    std::ofstream out(path, std::ios::binary);
    const auto le = [&](std::uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out.put(static_cast<char>(v >> (8 * i)));
    };
    const auto data = static_cast<std::uint32_t>(s.size() * 4), rate = std::uint32_t(s.rate);
    out.write("RIFF", 4);
    le(36 + data, 4);
    out.write("WAVEfmt ", 8);
    // PCM, two channels, the rate, bytes a second and a frame, 16 bits.
    for (const auto& [value, bytes] :
         {std::pair{16u, 4}, {1u, 2}, {2u, 2}, {rate, 4}, {rate * 4, 4}, {4u, 2}, {16u, 2}})
        le(value, bytes);
    out.write("data", 4);
    le(data, 4);
    for (size_t i = 0; i < s.size(); ++i) {
        for (float v : {s.left[i], s.right[i]})
            le(static_cast<std::uint16_t>(
                   static_cast<std::int16_t>(std::clamp(v, -1.0f, 1.0f) * 32767)),
               2);
    }
    return static_cast<bool>(out);
}

Stereo slice(const Stereo& s, double fromSeconds, double seconds)
{
    Stereo out;
    out.rate = s.rate;
    const auto from = static_cast<size_t>(std::max(0.0, fromSeconds) * s.rate);
    const auto count = static_cast<size_t>(std::max(0.0, seconds) * s.rate);
    if (from >= s.size())
        return out;
    const size_t to = std::min(s.size(), from + count);
    out.left.assign(s.left.begin() + static_cast<long>(from),
                    s.left.begin() + static_cast<long>(to));
    out.right.assign(s.right.begin() + static_cast<long>(from),
                     s.right.begin() + static_cast<long>(to));
    return out;
}

double rms(const std::vector<float>& x)
{
    if (x.empty())
        return 0;
    double sum = 0;
    for (float v : x)
        sum += static_cast<double>(v) * v;
    return std::sqrt(sum / static_cast<double>(x.size()));
}

double peak(const std::vector<float>& x)
{
    double p = 0;
    for (float v : x)
        p = std::max(p, static_cast<double>(std::fabs(v)));
    return p;
}

std::vector<float> difference(const Stereo& s)
{
    std::vector<float> d(s.size());
    for (size_t i = 0; i < s.size(); ++i)
        d[i] = s.left[i] - s.right[i];
    return d;
}

std::vector<float> mix(const Stereo& s)
{
    std::vector<float> m(s.size());
    for (size_t i = 0; i < s.size(); ++i)
        m[i] = 0.5f * (s.left[i] + s.right[i]);
    return m;
}

double toneAmplitude(const std::vector<float>& x, int rate, double hz)
{
    if (x.empty() || rate <= 0)
        return 0;
    const double w = 2 * M_PI * hz / rate;
    const double coeff = 2 * std::cos(w);
    double s1 = 0, s2 = 0;
    for (float v : x) {
        const double s0 = v + coeff * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - coeff * s1 * s2;
    return 2 * std::sqrt(std::max(0.0, power)) / static_cast<double>(x.size());
}

double dominantFrequency(const std::vector<float>& x, int rate, double lo, double hi)
{
    // A coarse sweep on a short piece, then a fine one around the best.
    const std::vector<float> piece(
        x.begin(),
        x.begin() + static_cast<long>(std::min<size_t>(x.size(), static_cast<size_t>(rate))));
    double best = lo, bestAmp = -1;
    for (double f = lo; f <= hi; f += 5) {
        const double a = toneAmplitude(piece, rate, f);
        if (a > bestAmp)
            bestAmp = a, best = f;
    }
    const double centre = best;
    for (double f = centre - 5; f <= centre + 5; f += 0.25) {
        const double a = toneAmplitude(piece, rate, f);
        if (a > bestAmp)
            bestAmp = a, best = f;
    }
    return best;
}

double firstAbove(const std::vector<float>& x, int rate, double threshold)
{
    for (size_t i = 0; i < x.size(); ++i)
        if (std::fabs(x[i]) > threshold)
            return static_cast<double>(i) / rate;
    return -1;
}

double lastAbove(const std::vector<float>& x, int rate, double threshold)
{
    for (size_t i = x.size(); i-- > 0;)
        if (std::fabs(x[i]) > threshold)
            return static_cast<double>(i) / rate;
    return -1;
}

double worstSeam(const std::vector<float>& x, double* atSeconds, int rate)
{
    double worst = 0;
    size_t at = 0;
    for (size_t i = 2; i < x.size(); ++i) {
        const double d = std::fabs(x[i] - 2 * x[i - 1] + x[i - 2]);
        if (d > worst)
            worst = d, at = i;
    }
    if (atSeconds)
        *atSeconds = static_cast<double>(at) / rate;
    return worst;
}

double deepestDip(const std::vector<float>& x, int rate, double windowMs, double contextMs,
                  double* atSeconds)
{
    const auto n = static_cast<size_t>(windowMs * rate / 1000);
    const auto half = static_cast<size_t>(contextMs * rate / 2000);
    if (n == 0 || x.size() < 2 * half + n)
        return 1;
    // Running sums of squares make every window cheap.
    std::vector<double> sums(x.size() + 1, 0.0);
    for (size_t i = 0; i < x.size(); ++i)
        sums[i + 1] = sums[i] + static_cast<double>(x[i]) * x[i];
    const auto meanSquare = [&](size_t a, size_t b) { return (sums[b] - sums[a]) / double(b - a); };
    double deepest = 1e9;
    for (size_t start = half; start + n + half <= x.size(); start += n / 4 + 1) {
        const double context = meanSquare(start - half, start + n + half);
        if (context <= 1e-12)
            continue;
        const double ratio = std::sqrt(meanSquare(start, start + n) / context);
        if (ratio < deepest) {
            deepest = ratio;
            if (atSeconds)
                *atSeconds = static_cast<double>(start) / rate;
        }
    }
    return deepest;
}

std::vector<double> toneSequence(const std::vector<float>& x, int rate, double windowSeconds,
                                 double threshold)
{
    std::vector<double> tones;
    const auto window = static_cast<size_t>(windowSeconds * rate);
    if (window == 0)
        return tones;
    double candidate = 0;
    for (size_t at = 0; at + window <= x.size(); at += window) {
        const std::vector<float> part(x.begin() + static_cast<std::ptrdiff_t>(at),
                                      x.begin() + static_cast<std::ptrdiff_t>(at + window));
        if (peak(part) < threshold) {
            candidate = 0;
            continue;
        }
        const double hz = dominantFrequency(part, rate);
        const bool sameAsCandidate = candidate > 0 && std::abs(hz - candidate) < candidate * 0.05;
        const bool sameAsLast = !tones.empty() && std::abs(hz - tones.back()) < tones.back() * 0.05;
        if (sameAsCandidate && !sameAsLast)
            tones.push_back(hz);
        candidate = hz;
    }
    return tones;
}

} // namespace analysis
