#include "record/cdcopy.h"

#include "albums/id3tag.h"
#include "platform/log.h"
#include "platform/strings.h"
#include "record/encodingbatch.h"
#include "record/kcddaengine.h"
#include "record/wavefile.h"

#include <QCoreApplication>
#include <QDir>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace record {

namespace {

constexpr int kBlockFrames = 300;
constexpr size_t kChunkBytes = 44100;
constexpr UINT IDS_DONE = 2098;

std::string twoDigits(std::uint32_t n)
{
    char text[16];
    std::snprintf(text, sizeof text, "%02u", n);
    return text;
}

// A part of a file name: a "/" would make a folder of it.
std::string namePart(std::string text)
{
    std::replace(text.begin(), text.end(), '/', '-');
    return text;
}

} // namespace

std::string cdOutputPath(const RecordJob& job, std::uint32_t track)
{
    std::string path = job.directory;
    if (path.empty() || path.back() != '/')
        path += '/';
    const std::string title =
        track >= 1 && track <= job.trackTitles.size() ? job.trackTitles[track - 1] : std::string();
    if (job.useSongInfo && !title.empty()) {
        std::vector<std::string> parts;
        if (job.useSongInfoSinger && !job.artist.empty())
            parts.push_back(namePart(job.artist));
        if (job.useSongInfoAlbumTitle && !job.albumTitle.empty())
            parts.push_back(namePart(job.albumTitle));
        if (job.useSongInfoTrackNumber)
            parts.push_back(twoDigits(track));
        parts.push_back(namePart(title));
        for (size_t i = 0; i < parts.size(); ++i)
            path += (i ? "-" : "") + parts[i];
    } else {
        path += twoDigits(track) + "-Track";
    }
    if (path.find('.') == std::string::npos)
        path += job.recordType == 1 ? ".mp3" : job.recordType == 2 ? ".ra" : ".wav";
    return path;
}

CdCopier::CdCopier(RecordJob& job, Listener& listener, QObject* parent)
    : QObject(parent)
    , m_job(job)
    , m_listener(listener)
    , m_tempPath(QDir::tempPath().toStdString() + "/$$rec$$.wav")
{}

CdCopier::~CdCopier()
{
    if (KCDDAEngine_IsOpen()) {
        KCDDAEngine_Stop();
        KCDDAEngine_Close();
    }
    finishOutput();
    ::unlink(m_tempPath.c_str());
}

void CdCopier::start()
{
    CdTrackTable table;
    if (KCDDAEngine_Open(
            m_job.drive, this, [this](int e, int v) { onNotify(e, v); }, table) <= 0) {
        m_listener.message(LoadString(kMsgCantStartCdReading));
        close();
        return;
    }
    startTrack();
}

void CdCopier::fail(unsigned message, bool withTrack)
{
    const std::string text = LoadString(message);
    m_listener.message(withTrack ? fillIn(text, {std::to_string(m_track)}) : text);
    m_busy = false;
    close();
}

bool CdCopier::openOutput()
{
    if (m_job.recordType == 0) {
        if (m_writer.openConverter(cdAudioFormat(), m_job.recordFormat) != 1) {
            fail(kMsgCantInitAcm);
            return false;
        }
        if (m_writer.createFile(m_outputPath, m_job.recordFormat) != 1) {
            KLOG_WARNING("record", "CD copy: cannot create %s", m_outputPath.c_str());
            fail(kMsgCantWrite);
            return false;
        }
        m_outputOpen = true;
        return true;
    }
    if (m_job.recordType == 1) {
        m_mpeg = makeMpegEncoder();
        MpegEncoderUse use(m_mpeg.get());
        Id3Tag tag;
        const std::string title =
            m_track >= 1 && static_cast<size_t>(m_track) <= m_job.trackTitles.size()
                ? m_job.trackTitles[static_cast<size_t>(m_track - 1)]
                : std::string();
        tag.title = Id3FieldFromText(title, 30);
        tag.artist = Id3FieldFromText(m_job.artist, 30);
        tag.album = Id3FieldFromText(m_job.albumTitle, 30);
        setMpegEncoderTag(tag);
        const int opened =
            m_job.mpegBitRate > 0
                ? KMPEncEngine_OpenWFX(m_outputPath, cdAudioFormat(), m_job.mpegBitRate)
                : KMPEncEngine_OpenProfile(m_outputPath, m_job.mpegProfile);
        if (opened <= 0) {
            fail(kMsgCantWrite);
            return false;
        }
        m_outputOpen = true;
        return true;
    }
    m_realAudio = makeRealAudioEncoder();
    RealAudioEncoderUse use(m_realAudio.get());
    RealAudioClip clip;
    clip.title = !m_job.clipTitle.empty() ? m_job.clipTitle
                 : m_track >= 1 && static_cast<size_t>(m_track) <= m_job.trackTitles.size()
                     ? m_job.trackTitles[static_cast<size_t>(m_track - 1)]
                     : std::string();
    clip.author = !m_job.clipAuthor.empty() ? m_job.clipAuthor : m_job.artist;
    clip.copyright = m_job.clipCopyright;
    clip.format = cdAudioFormat();
    const int started = KREEngine_Start(m_outputPath, m_job.raProfile, clip);
    if (started != 1) {
        KLOG_WARNING("record", "CD copy: cannot start %s: %s", m_outputPath.c_str(),
                     realAudioEncoderError().c_str());
        fail(started < 0 ? kMsgCantInitAcm : kMsgCantWrite);
        return false;
    }
    m_outputOpen = true;
    return true;
}

void CdCopier::finishOutput()
{
    if (!m_outputOpen)
        return;
    m_outputOpen = false;
    if (m_job.recordType == 0) {
        m_writer.flush();
        if (m_writer.finishFile() != 1)
            KLOG_WARNING("record", "CD copy: cannot finish %s: %s", m_outputPath.c_str(),
                         m_writer.fileError().c_str());
        m_writer.close();
    } else if (m_job.recordType == 1) {
        MpegEncoderUse use(m_mpeg.get());
        KMPEncEngine_Flush();
        KMPEncEngine_Close();
    } else {
        RealAudioEncoderUse use(m_realAudio.get());
        KREEngine_Stop();
    }
}

void CdCopier::startTrack()
{
    if (m_job.selectedTracks.empty()) {
        m_busy = false;
        m_ended = true;
        m_listener.ended(true);
        return;
    }
    const std::uint32_t n = m_job.selectedTracks.front();
    m_job.selectedTracks.erase(m_job.selectedTracks.begin());
    m_outputPath = cdOutputPath(m_job, n);
    ++m_row;
    m_track = static_cast<int>(n);
    m_trackFrames = KCDDAEngine_GetTrackLength(m_track);
    m_trackSeconds = KCDDAEngine_GetTrackLengthMs(m_track) / 1000;
    m_lastPercent = m_lastSecond = -1;
    m_position = 0;
    m_job.firstWrite = true;
    if (!openOutput())
        return;
    m_blockFrames = std::min(m_trackFrames, kBlockFrames);
    if (KCDDAEngine_ReadTrackEx(m_track, m_tempPath, 0, m_blockFrames) <= 0) {
        fail(kMsgReadError, true);
        return;
    }
    m_produced.push_back(m_outputPath);
    m_busy = true;
    m_stop = false;
}

void CdCopier::showProgress(int value)
{
    if (m_trackFrames <= 0)
        return;
    const int percent = std::min(100, (m_blockFrames * value / m_trackFrames) / 10 +
                                          m_position * 100 / m_trackFrames);
    const int second = (m_blockFrames * value / 1000 + m_position) / 75;
    if (percent != m_lastPercent || second != m_lastSecond) {
        m_lastPercent = percent;
        m_lastSecond = second;
        m_listener.bars(percent, m_row * 100 + percent);
        char text[96];
        std::snprintf(text, sizeof text, "%d %% - [%d:%02d / %d:%02d]", percent, second / 60,
                      second % 60, m_trackSeconds / 60, m_trackSeconds % 60);
        m_listener.rowStatus(m_row, text);
    }
}

void CdCopier::onNotify(int event, int value)
{
    if (m_cancelled || m_ended)
        return;
    switch (event) {
    case kCdReadingStarted:
        if (m_lastPercent < 0) {
            m_listener.rowIcon(m_row, RowIcon::Reading);
            m_listener.rowFile(m_row, m_outputPath);
            m_listener.bars(0, m_row * 100);
        }
        break;
    case kCdProgress:
        showProgress(value);
        if (m_stop) {
            m_busy = false;
            close();
        }
        break;
    case kCdBlockComplete:
        blockComplete();
        break;
    case kCdReadError:
        fail(kMsgReadError, true);
        break;
    default:
        break;
    }
}

void CdCopier::blockComplete()
{
    WAVEFORMATEX format;
    const auto data = readWaveFile(m_tempPath, format);
    if (!data) {
        KLOG_WARNING("record", "CD copy: the block of track %d cannot be read back", m_track);
        return;
    }
    m_listener.rowIcon(m_row, RowIcon::Encoding);

    std::mutex mutex;
    std::condition_variable wake;
    bool finished = false;
    bool ok = true;
    const int type = m_job.recordType;
    std::thread worker([&] {
        std::unique_ptr<MpegEncoderUse> mpegUse;
        std::unique_ptr<RealAudioEncoderUse> realAudioUse;
        if (type == 1)
            mpegUse = std::make_unique<MpegEncoderUse>(m_mpeg.get());
        else if (type == 2)
            realAudioUse = std::make_unique<RealAudioEncoderUse>(m_realAudio.get());
        for (size_t at = 0; at < data->size(); at += kChunkBytes) {
            const size_t n = std::min(kChunkBytes, data->size() - at);
            if (type == 0) {
                const int position = m_job.firstWrite ? -1 : 0;
                m_job.firstWrite = false;
                if (m_writer.write(data->data() + at, n, nullptr, nullptr, position) != 1) {
                    ok = false;
                    break;
                }
            } else if (type == 1 ? KMPEncEngine_Write(data->data() + at, static_cast<int>(n)) < 1
                                 : KREEngine_Write(data->data() + at, static_cast<int>(n)) == 0) {
                ok = false;
                break;
            }
            if (m_stop)
                break;
        }
        std::lock_guard lock(mutex);
        finished = true;
        wake.notify_one();
    });
    // Slices of at most 10 ms, in which the window's messages are dispatched (Cancel among them);
    // a block encoded sooner ends its slice at once.
    for (;;) {
        {
            std::unique_lock lock(mutex);
            if (wake.wait_for(lock, std::chrono::milliseconds(10), [&] { return finished; }))
                break;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (onEncodingSlice)
            onEncodingSlice();
    }
    worker.join();

    if (!ok) {
        KLOG_WARNING("record", "CD copy: writing %s failed%s%s", m_outputPath.c_str(),
                     m_job.recordType == 0 ? ": " : "",
                     m_job.recordType == 0 ? m_writer.fileError().c_str() : "");
        fail(kMsgCantWrite);
        return;
    }
    if (!m_stop) {
        m_position += kBlockFrames;
        if (m_position < m_trackFrames) {
            showProgress(0);
            m_blockFrames = std::min(m_trackFrames - m_position, kBlockFrames);
            if (KCDDAEngine_ReadTrackEx(m_track, m_tempPath, m_position, m_blockFrames) <= 0) {
                fail(kMsgReadError, true);
                return;
            }
            m_listener.rowIcon(m_row, RowIcon::Reading);
        } else {
            finishOutput();
            ::unlink(m_tempPath.c_str());
            m_listener.rowIcon(m_row, RowIcon::Done);
            m_listener.rowStatus(m_row, LoadString(IDS_DONE));
            m_listener.bars(100, (m_row + 1) * 100);
            startTrack();
            return;
        }
    }
    if (m_stop) {
        m_busy = false;
        close();
    }
}

void CdCopier::cancel()
{
    if (m_busy) {
        m_stop = true;
        return;
    }
    close();
}

void CdCopier::close()
{
    if (m_cancelled)
        return;
    m_cancelled = true;
    if (KCDDAEngine_IsOpen()) {
        KCDDAEngine_Stop();
        KCDDAEngine_Close();
    }
    finishOutput();
    ::unlink(m_tempPath.c_str());
    if (!m_ended) {
        m_ended = true;
        m_listener.ended(false);
    }
}

} // namespace record
