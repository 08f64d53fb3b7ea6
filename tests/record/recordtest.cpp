#include "recordtest.h"

#include "record/wavefile.h"
#include "support/testhome.h"

#include <complex>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>

namespace recordtest {

std::vector<std::uint8_t> tone(double hz, double seconds, std::uint32_t rate, int channels,
                               double amplitude, double right)
{
    const auto frames = static_cast<size_t>(seconds * rate);
    std::vector<std::uint8_t> out;
    out.reserve(frames * static_cast<size_t>(channels) * 2);
    for (size_t i = 0; i < frames; ++i) {
        const double wave = 32767.0 * std::sin(2 * M_PI * hz * static_cast<double>(i) / rate);
        for (int c = 0; c < channels; ++c) {
            const auto s = static_cast<std::int16_t>(
                std::lround(wave * (c == 1 && right >= 0 ? right : amplitude)));
            out.push_back(static_cast<std::uint8_t>(s & 0xFF));
            out.push_back(static_cast<std::uint8_t>((s >> 8) & 0xFF));
        }
    }
    return out;
}

RunResult run(const std::string& command, bool withStderr)
{
    RunResult r;
    FILE* pipe = ::popen((command + (withStderr ? " 2>&1" : " 2>/dev/null")).c_str(), "r");
    if (!pipe)
        return r;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        r.output.append(buffer, n);
    const int status = ::pclose(pipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

std::string quoted(const std::string& text)
{
    std::string out = "'";
    for (char c : text) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

RunResult kolvoCli(const std::string& args)
{
    return run(quoted(builtProgram("kolvo-cli")) + " " + args, true);
}

std::string python(const std::string& script)
{
    return run("/usr/bin/python3 -c " + quoted(script), true).output;
}

SoxStat soxStat(const std::string& path, const std::string& effects)
{
    SoxStat s;
    s.text = run("sox " + quoted(path) + " -n " + effects + " stat", true).output;
    const auto value = [&](const std::string& key) {
        const size_t at = s.text.find(key);
        return at == std::string::npos ? -1.0 : std::stod(s.text.substr(s.text.find(':', at) + 1));
    };
    s.seconds = value("Length (seconds)");
    s.hz = value("Rough   frequency");
    s.rms = value("RMS     amplitude");
    return s;
}

double decodedSeconds(const std::string& mp3, const std::string& scratch)
{
    if (run("mpg123 -q -w " + quoted(scratch) + " " + quoted(mp3), true).status != 0)
        return -1;
    const RunResult r = run("soxi -D " + quoted(scratch));
    return r.status == 0 ? std::stod(r.output) : -1;
}

void withFileSizeLimit(std::uint64_t bytes, const std::function<void()>& body)
{
    struct rlimit before
    {};
    ::getrlimit(RLIMIT_FSIZE, &before);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = before;
    small.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &small);
    body();
    ::setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, oldHandler);
}

std::thread playIntoTestSink(const std::string& wav, const std::vector<std::uint8_t>& pcm)
{
    writeBytes(wav, waveBytes(record::MakePcmFormat(44100, 16, 2), pcm));
    return std::thread([wav] { run("paplay -d \"$KOLVO_TEST_SINK\" " + quoted(wav)); });
}

std::string readBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

namespace {

void put32(std::string& s, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        s += static_cast<char>((v >> (8 * i)) & 0xFF);
}

} // namespace

std::string waveBytes(const record::WAVEFORMATEX& format, const std::vector<std::uint8_t>& data)
{
    const std::vector<std::uint8_t> fmt = format.bytes();
    std::string body = "WAVEfmt ";
    put32(body, static_cast<std::uint32_t>(fmt.size()));
    body.append(fmt.begin(), fmt.end());
    body += "data";
    put32(body, static_cast<std::uint32_t>(data.size()));
    body.append(data.begin(), data.end());
    std::string out = "RIFF";
    put32(out, static_cast<std::uint32_t>(body.size()));
    return out + body;
}

std::uint32_t le32(const std::string& b, size_t at)
{
    return static_cast<std::uint8_t>(b[at]) | static_cast<std::uint8_t>(b[at + 1]) << 8 |
           static_cast<std::uint8_t>(b[at + 2]) << 16 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at + 3])) << 24;
}

Probe probe(const std::string& path)
{
    Probe p;
    const RunResult r =
        run("ffprobe -v error -select_streams a:0 -show_entries "
            "stream=codec_name,sample_rate,channels:format=duration:format_tags=title,author "
            "-of default=nw=1 " +
            quoted(path));
    std::map<std::string, std::string> v;
    std::istringstream lines(r.output);
    for (std::string line; std::getline(lines, line);)
        if (const size_t eq = line.find('='); eq != std::string::npos)
            v[line.substr(0, eq)] = line.substr(eq + 1);
    p.codec = v["codec_name"];
    p.rate = std::atoi(v["sample_rate"].c_str());
    p.channels = std::atoi(v["channels"].c_str());
    if (!v["duration"].empty() && v["duration"] != "N/A")
        p.seconds = std::atof(v["duration"].c_str());
    p.title = v["TAG:title"];
    p.author = v["TAG:author"];
    return p;
}

std::string Probe::summary() const
{
    return codec + " " + std::to_string(rate) + " Hz " + std::to_string(channels) + " ch \"" +
           title + "\" by \"" + author + "\"";
}

std::vector<std::int16_t> decoded(const std::string& path, const std::string& scratch,
                                  std::uint32_t& rate, bool gstreamer, std::string* elements)
{
    std::remove(scratch.c_str());
    const RunResult r =
        gstreamer
            ? run("timeout 30 gst-launch-1.0 -v uridecodebin uri=" + quoted("file://" + path) +
                      " ! audioconvert ! " +
                      "audio/x-raw,format=S16LE ! wavenc ! filesink location=" + quoted(scratch),
                  true)
            : run("ffmpeg -hide_banner -loglevel error -y -i " + quoted(path) + " -c:a pcm_s16le " +
                      quoted(scratch),
                  true);
    if (elements)
        *elements = r.output;
    record::WAVEFORMATEX format;
    const auto data = record::readWaveFile(scratch, format);
    if (r.status != 0 || !data)
        return {};
    rate = format.nSamplesPerSec;
    std::vector<std::int16_t> samples(data->size() / 2);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<std::int16_t>((*data)[2 * i] | (*data)[2 * i + 1] << 8);
    return samples;
}

double strongestHz(const std::vector<std::int16_t>& samples, std::uint32_t rate, double from,
                   double to)
{
    double best = 0, bestPower = -1;
    for (double hz = from; hz <= to; hz += 2) {
        std::complex<double> sum;
        const std::complex<double> step = std::polar(1.0, -2 * M_PI * hz / rate);
        std::complex<double> turn = 1;
        for (std::int16_t s : samples) {
            sum += static_cast<double>(s) * turn;
            turn *= step;
        }
        if (std::norm(sum) > bestPower) {
            bestPower = std::norm(sum);
            best = hz;
        }
    }
    return best;
}

} // namespace recordtest

namespace recordtest {

double decodedTone(const std::string& path, const std::string& scratch, long from, long to)
{
    std::uint32_t rate = 0;
    const std::vector<std::int16_t> samples = decoded(path, scratch, rate);
    const long size = static_cast<long>(samples.size());
    if (from < 0)
        from += size;
    if (to < 0)
        to += size;
    if (from < 0 || to > size || from >= to)
        return -1;
    return strongestHz({samples.begin() + from, samples.begin() + to}, rate, 100, 3000);
}

} // namespace recordtest
