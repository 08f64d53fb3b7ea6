#include "record/kcddaengine.h"

#include "engines/cdreader.h"
#include "platform/log.h"
#include "record/wavefile.h"

#include <QMetaObject>
#include <QPointer>

#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace record {

WAVEFORMATEX cdAudioFormat()
{
    return MakePcmFormat(44100, 16, 2);
}

std::string cdAlbumKey(const std::vector<std::int32_t>& frames, std::int32_t leadOut)
{
    std::uint32_t sum = 0;
    for (std::int32_t f : frames) {
        const auto m = static_cast<std::uint32_t>(f / 4500),
                   s = static_cast<std::uint32_t>(f / 75 % 60),
                   fr = static_cast<std::uint32_t>(f % 75);
        sum += m << 16 | s << 8 | fr;
    }
    if (!frames.empty() && frames.size() < 3)
        sum += static_cast<std::uint32_t>(frames.front() % 75) +
               static_cast<std::uint32_t>(leadOut - frames.front());
    char text[16];
    std::snprintf(text, sizeof text, "%x", sum);
    return text;
}

namespace {

// Sectors read between progress notifications.
constexpr int kSectorsPerStep = 25;

struct Engine
{
    std::mutex mutex;
    std::unique_ptr<engines::CdReader> reader;
    engines::CdToc toc;
    QPointer<QObject> target;
    CdNotify notify;
    std::thread thread;
    std::atomic<bool> stop{false};
    // Each read has a number; notifications of an earlier one are dropped.
    std::shared_ptr<std::atomic<int>> generation = std::make_shared<std::atomic<int>>(0);

    void post(int gen, int event, int value)
    {
        if (!target)
            return;
        auto current = generation;
        CdNotify n = notify;
        QMetaObject::invokeMethod(
            target.data(),
            [current, gen, n, event, value] {
                if (current->load() == gen && n)
                    n(event, value);
            },
            Qt::QueuedConnection);
    }

    void join()
    {
        stop = true;
        if (thread.joinable())
            thread.join();
        stop = false;
        ++*generation;
    }
};

Engine& engine()
{
    static Engine e;
    return e;
}

const engines::CdTrack* audioTrack(const engines::CdToc& toc, int number)
{
    const engines::CdTrack* t = toc.track(number);
    return t && t->audio ? t : nullptr;
}

} // namespace

} // namespace record

using namespace record;

int KCDDAEngine_Open(const std::string& drive, QObject* target, CdNotify notify,
                     CdTrackTable& table)
{
    Engine& e = engine();
    KCDDAEngine_Close();
    auto reader = std::make_unique<engines::CdReader>();
    if (!reader->open(drive)) {
        KLOG_INFO("record", "CD copy: cannot open %s: %s", drive.c_str(),
                  reader->failureText().c_str());
        return 0;
    }
    engines::CdToc toc = reader->toc();
    if (toc.empty()) {
        KLOG_INFO("record", "CD copy: %s holds no disc", drive.c_str());
        return 0;
    }
    table = CdTrackTable{};
    table.count = std::min(99, toc.lastTrack());
    std::lock_guard lock(e.mutex);
    e.reader = std::move(reader);
    e.toc = std::move(toc);
    e.target = target;
    e.notify = std::move(notify);
    for (int t = 1; t <= table.count; ++t)
        table.lengthMs[static_cast<size_t>(t - 1)] = KCDDAEngine_GetTrackLengthMs(t);
    return 1;
}

int KCDDAEngine_GetTrackLength(int track)
{
    const Engine& e = engine();
    if (!e.reader)
        return 0;
    const engines::CdTrack* t = audioTrack(e.toc, track);
    return t ? e.toc.endLsn(track) - t->lsn : 0;
}

int KCDDAEngine_GetTrackLengthMs(int track)
{
    const int frames = KCDDAEngine_GetTrackLength(track);
    return (frames * 1000 + 74) / 75;
}

int KCDDAEngine_ReadTrackEx(int track, const std::string& path, int start, int count)
{
    Engine& e = engine();
    if (!e.reader)
        return 0;
    const int frames = KCDDAEngine_GetTrackLength(track);
    if (frames <= 0 || start < 0 || count <= 0 || start + count > frames)
        return 0;
    e.join();
    const int gen = *e.generation;
    const std::int32_t lsn = e.toc.track(track)->lsn + start;
    engines::CdReader* reader = e.reader.get();
    e.thread = std::thread([&e, reader, gen, lsn, count, path] {
        e.post(gen, kCdReadingStarted, 0);
        RiffWaveWriter file;
        if (!file.create(path, cdAudioFormat())) {
            KLOG_WARNING("record", "CD copy: cannot write %s: %s", path.c_str(),
                         file.error().c_str());
            e.post(gen, kCdReadError, 0);
            return;
        }
        std::vector<std::int16_t> samples(static_cast<size_t>(kSectorsPerStep) * 1176);
        int done = 0;
        while (done < count && !e.stop) {
            const int n = std::min(kSectorsPerStep, count - done);
            const int got = reader->read(lsn + done, n, samples.data());
            if (got > 0 && file.write(reinterpret_cast<const std::uint8_t*>(samples.data()),
                                      static_cast<size_t>(got) * 2352) !=
                               RiffWaveWriter::WriteResult::Written) {
                KLOG_WARNING("record", "CD copy: cannot write %s: %s", path.c_str(),
                             file.error().c_str());
                file.abandon();
                e.post(gen, kCdReadError, 0);
                return;
            }
            if (got < n) {
                KLOG_WARNING("record", "CD copy: sectors from %d could not be read: %s",
                             lsn + done + std::max(got, 0), reader->failureText().c_str());
                file.abandon();
                e.post(gen, kCdReadError, 0);
                return;
            }
            done += got;
            e.post(gen, kCdProgress,
                   static_cast<int>(static_cast<std::int64_t>(done) * 1000 / count));
        }
        if (e.stop) {
            file.abandon();
            return;
        }
        if (!file.finish()) {
            e.post(gen, kCdReadError, 0);
            return;
        }
        e.post(gen, kCdBlockComplete, 0);
    });
    return 1;
}

int KCDDAEngine_IsOpen()
{
    return engine().reader ? 1 : 0;
}

void KCDDAEngine_Stop()
{
    engine().join();
}

void KCDDAEngine_Close()
{
    Engine& e = engine();
    e.join();
    std::lock_guard lock(e.mutex);
    e.reader.reset();
    e.toc = {};
    e.notify = nullptr;
    e.target = nullptr;
}

bool KCDDAEngine_DiscLayout(std::vector<std::int32_t>& trackFrames, std::int32_t& leadOutFrame)
{
    const Engine& e = engine();
    if (!e.reader)
        return false;
    trackFrames.clear();
    for (const engines::CdTrack& t : e.toc.tracks)
        trackFrames.push_back(t.frame());
    leadOutFrame = e.toc.leadOutFrame();
    return true;
}
