#pragma once
// The file encoding batch without its window: WAVE files in, MP3 or RealAudio files out, each
// file on a
// worker thread of its own that reads the samples in chunks of 8192 bytes, with at most as
// many workers at a time as the machine has cores. The file encoding dialog and kolvo-cli
// both run it.
//
// It promises:
// - every file ends waiting (never started, after a stop), done or failed, and a file that
//   ended has its one log line in the designed words ("[%d] Success : %s -> %s", "[%d] Fail :
//   Not a WAVE PCM format.", the MP3 format line, "[%d] Fail : %s.");
// - the listener is called on the thread that runs the batch only, never on a worker;
// - a stop lets the files being encoded end at their next chunk (their output counts as
//   produced) and starts no more.

#include "record/waveformat.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace record {

struct EncodeJob
{
    int type = 0; // 0 MPEG Layer 3, 1 RealAudio
    std::vector<std::string> files;
    int bitRate = 128; // kbps
    int raProfile = 0; // "RecordRAProfile"
    std::string clipTitle;
    std::string clipAuthor;
    std::string clipCopyright;
    // Where the outputs go; empty: beside each source.
    std::string outputFolder;
};

// The source path with its extension replaced by ".MP3" (or ".RA"), in `folder` when given.
std::string encodedPathFor(const std::string& source, int type, const std::string& folder = {});

// Fills the designed texts' %d and %s in order ("%%" is a percent sign).
std::string fillIn(const std::string& format, const std::vector<std::string>& values);

class EncodingBatch
{
public:
    enum class FileState { Waiting, Working, Done, Failed };

    struct Listener
    {
        virtual ~Listener() = default;
        virtual void fileStarted(int index, const std::string& outputPath)
        {
            (void)index;
            (void)outputPath;
        }
        virtual void progress(int index, int percent)
        {
            (void)index;
            (void)percent;
        }
        virtual void fileEnded(int index, bool success, const std::string& logLine)
        {
            (void)index;
            (void)success;
            (void)logLine;
        }
    };

    // maxWorkers 0: one per core.
    explicit EncodingBatch(EncodeJob job, int maxWorkers = 0);
    ~EncodingBatch();
    EncodingBatch(const EncodingBatch&) = delete;
    EncodingBatch& operator=(const EncodingBatch&) = delete;

    // Runs the batch to its end (or its stop). Between slices of 10 ms it calls `pump`, in which
    // the owner may dispatch its window messages and call requestStop.
    void run(Listener& listener, const std::function<void()>& pump = {});
    void requestStop() { m_stop = true; }
    bool stopRequested() const { return m_stop; }
    bool busy() const { return m_busy; }

    FileState state(int index) const { return m_states.at(static_cast<size_t>(index)); }
    // Every output written, in the order the files ended.
    const std::vector<std::string>& produced() const { return m_produced; }
    int workerLimit() const { return m_maxWorkers; }

private:
    struct Worker;
    void finishWorker(Worker& w, Listener& listener);

    EncodeJob m_job;
    int m_maxWorkers;
    std::atomic<bool> m_stop{false};
    bool m_busy = false;
    std::vector<FileState> m_states;
    std::vector<std::string> m_produced;
};

} // namespace record
