#include "record/encodingbatch.h"

#include "platform/log.h"
#include "platform/strings.h"
#include "record/kmpencengine.h"
#include "record/kreengine.h"
#include "record/wavefile.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace record {

namespace {

constexpr UINT IDS_ENCODE_SUCCESS = 1081;    // "[%d] Success : %s -> %s"
constexpr UINT IDS_ENCODE_NOT_PCM = 1082;    // "[%d] Fail : Not a WAVE PCM format."
constexpr UINT IDS_ENCODE_MP3_FORMAT = 1083; // "[%d] Fail : MP3 encoder supports only ..."
constexpr UINT IDS_ENCODE_FAIL = 1084;       // "[%d] Fail : %s."
constexpr size_t kChunkBytes = 8192;

std::string baseName(const std::string& path)
{
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

std::string encodedPathFor(const std::string& source, int type, const std::string& folder)
{
    std::string name = baseName(source);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0)
        name.resize(dot);
    name += type == 1 ? ".RA" : ".MP3";
    if (!folder.empty())
        return folder + (folder.back() == '/' ? "" : "/") + name;
    const size_t slash = source.find_last_of('/');
    return slash == std::string::npos ? name : source.substr(0, slash + 1) + name;
}

std::string fillIn(const std::string& format, const std::vector<std::string>& values)
{
    std::string out;
    size_t next = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size()) {
            const char c = format[i + 1];
            if (c == '%') {
                out += '%';
                ++i;
                continue;
            }
            if (c == 'd' || c == 's') {
                if (next < values.size())
                    out += values[next++];
                ++i;
                continue;
            }
        }
        out += format[i];
    }
    return out;
}

struct EncodingBatch::Worker
{
    int index = 0;
    std::string source;
    std::string output;
    std::unique_ptr<WaveSource> wave;
    WAVEFORMATEX format;
    std::uint32_t dataSize = 0;
    int type = 0;
    int bitRate = 128;
    int raProfile = 0;
    RealAudioClip clipTexts;
    int lastReported = -1;
    std::atomic<int> percent{0};
    std::atomic<bool> stop{false};
    std::atomic<bool> finished{false};
    int exitCode = 0;
    std::thread thread;

    void encode()
    {
        if (!open()) {
            exitCode = 1;
            finished = true;
            return;
        }
        std::vector<std::uint8_t> buffer(kChunkBytes);
        std::uint64_t done = 0;
        int posted = -1;
        for (;;) {
            const size_t got = wave->read(buffer.data(), buffer.size());
            if (got < 1)
                break;
            const int written = type == 0 ? KMPEncEngine_Write(buffer.data(), static_cast<int>(got))
                                          : KREEngine_Write(buffer.data(), static_cast<int>(got));
            if (written < 1) {
                exitCode = 2;
                break;
            }
            if (stop)
                break;
            done += got;
            const int p =
                dataSize ? static_cast<int>(std::min<std::uint64_t>(100, done * 100 / dataSize))
                         : 100;
            if (p != posted) {
                posted = p;
                percent = p;
            }
        }
        if (!close() && exitCode == 0)
            exitCode = 2;
        finished = true;
    }

    bool open()
    {
        std::string title = baseName(source);
        const size_t dot = title.rfind('.');
        if (dot != std::string::npos && dot > 0)
            title.resize(dot);
        if (type == 0) {
            Id3Tag tag;
            tag.title = Id3FieldFromText(title, 30);
            setMpegEncoderTag(tag);
            return KMPEncEngine_OpenWFX(output, format, bitRate) >= 1;
        }
        RealAudioClip clip{clipTexts.title.empty() ? title : clipTexts.title,
                           clipTexts.author,
                           clipTexts.copyright,
                           1,
                           1,
                           format};
        return KREEngine_Start(output, raProfile, clip) == 1;
    }

    bool close()
    {
        if (type == 0) {
            KMPEncEngine_Flush();
            return KMPEncEngine_Close() >= 1;
        }
        return KREEngine_Stop() >= 1;
    }
};

EncodingBatch::EncodingBatch(EncodeJob job, int maxWorkers)
    : m_job(std::move(job))
    , m_maxWorkers(maxWorkers > 0
                       ? maxWorkers
                       : std::max(1, static_cast<int>(std::thread::hardware_concurrency())))
    , m_states(m_job.files.size(), FileState::Waiting)
{}

EncodingBatch::~EncodingBatch() = default;

void EncodingBatch::finishWorker(Worker& w, Listener& listener)
{
    w.thread.join();
    w.wave.reset();
    const std::string number = std::to_string(w.index + 1);
    std::string line;
    bool success = w.exitCode == 0;
    if (success) {
        line = fillIn(LoadString(IDS_ENCODE_SUCCESS),
                      {number, baseName(w.source), baseName(w.output)});
        m_produced.push_back(w.output);
    } else {
        line = fillIn(LoadString(IDS_ENCODE_FAIL), {number, baseName(w.source)});
        // A write that failed leaves what was encoded: it counts.
        if (w.exitCode == 2)
            m_produced.push_back(w.output);
    }
    m_states[static_cast<size_t>(w.index)] = success ? FileState::Done : FileState::Failed;
    listener.fileEnded(w.index, success, line);
}

void EncodingBatch::run(Listener& listener, const std::function<void()>& pump)
{
    m_busy = true;
    m_stop = false;
    m_produced.clear();
    std::vector<std::unique_ptr<Worker>> running;
    size_t next = 0;
    while (true) {
        // Start files while there is a free core, checking each before it gets a worker.
        while (!m_stop && next < m_job.files.size() &&
               static_cast<int>(running.size()) < m_maxWorkers) {
            const int i = static_cast<int>(next++);
            const std::string& source = m_job.files[static_cast<size_t>(i)];
            const std::string number = std::to_string(i + 1);
            auto w = std::make_unique<Worker>();
            w->index = i;
            w->source = source;
            w->wave = openWaveFile(source, w->format, w->dataSize);
            if (!w->wave) {
                KLOG_INFO("record", "encoding: %s is not 16-bit PCM WAVE", source.c_str());
                m_states[static_cast<size_t>(i)] = FileState::Failed;
                listener.fileEnded(i, false, fillIn(LoadString(IDS_ENCODE_NOT_PCM), {number}));
                continue;
            }
            const WAVEFORMATEX& f = w->format;
            if (m_job.type == 0 && ((f.nSamplesPerSec != 44100 && f.nSamplesPerSec != 32000 &&
                                     f.nSamplesPerSec != 48000) ||
                                    f.nChannels != 2 || f.wBitsPerSample != 16)) {
                KLOG_INFO("record", "encoding: %s is %s", source.c_str(),
                          describeFormat(f).c_str());
                m_states[static_cast<size_t>(i)] = FileState::Failed;
                listener.fileEnded(i, false, fillIn(LoadString(IDS_ENCODE_MP3_FORMAT), {number}));
                continue;
            }
            w->output = encodedPathFor(source, m_job.type, m_job.outputFolder);
            w->type = m_job.type;
            w->bitRate = m_job.bitRate;
            w->raProfile = m_job.raProfile;
            w->clipTexts = {m_job.clipTitle, m_job.clipAuthor, m_job.clipCopyright, 1, 1,
                            w->format};
            m_states[static_cast<size_t>(i)] = FileState::Working;
            listener.fileStarted(i, w->output);
            Worker* raw = w.get();
            w->thread = std::thread([raw] { raw->encode(); });
            running.push_back(std::move(w));
        }
        if (running.empty())
            break;

        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (pump)
            pump();
        for (auto it = running.begin(); it != running.end();) {
            Worker& w = **it;
            if (m_stop)
                w.stop = true;
            const int p = w.percent;
            if (p != w.lastReported && !w.finished) {
                w.lastReported = p;
                listener.progress(w.index, p);
            }
            if (w.finished) {
                if (w.lastReported != p)
                    listener.progress(w.index, p);
                finishWorker(w, listener);
                it = running.erase(it);
            } else {
                ++it;
            }
        }
    }
    m_busy = false;
}

} // namespace record
