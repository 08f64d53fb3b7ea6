// kolvo-cli record OUT [--seconds N] [--type wav|mp3|ra] [--bitrate K]: records what the
// default sound source hears (KOLVO_CAPTURE_SOURCE chooses another) through the wave-in device,
// into a WAVE file in the recording format, an MP3 or a RealAudio 1.0 file (8 kHz mono), for N
// seconds or until Ctrl-C. On a terminal a line shows the time recorded and the levels.

#include "cli/commands.h"
#include "cli/recordoptions.h"
#include "platform/profile.h"
#include "platform/settings.h"
#include "platform/strings.h"
#include "record/acmwavewriter.h"
#include "record/fileencodingdialog.h"
#include "record/kmpencengine.h"
#include "record/kreengine.h"
#include "record/wave.h"

#include <QCoreApplication>
#include <QTimer>

#include <csignal>
#include <cstdio>

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

void onInterrupt(int)
{
    g_interrupted = 1;
}

std::string bar(int level)
{
    const int n = level * 20 / 32768;
    return std::string(static_cast<size_t>(n), '#') + std::string(static_cast<size_t>(20 - n), '.');
}

class Recorder : public record::WaveReceiver
{
public:
    Recorder(int type, std::uint64_t limitBytes, StatusLine& status)
        : m_type(type)
        , m_limit(limitBytes)
        , m_status(status)
    {}

    record::CAcmWaveWriter writer;
    bool firstWrite = true;
    bool done = false;
    bool failed = false;
    std::string failure;
    std::uint64_t written = 0;

    void DataRecorded(record::CWave& wave, const std::uint8_t* bytes, size_t count, int) override
    {
        if (done)
            return;
        if (m_limit && written + count >= m_limit) {
            count = static_cast<size_t>(m_limit - written);
            done = true;
        }
        int ok;
        if (m_type == 0) {
            ok = writer.write(bytes, count, nullptr, nullptr, firstWrite ? -1 : 0);
            firstWrite = false;
        } else if (m_type == 1) {
            ok = KMPEncEngine_Write(bytes, static_cast<int>(count)) >= 1;
        } else {
            ok = KREEngine_Write(bytes, static_cast<int>(count)) != 0;
        }
        written += count;
        if (!ok) {
            failed = true;
            done = true;
            failure = LoadString(2064);
            return;
        }
        if (m_status.terminal()) {
            const record::PeakLevels peak = record::PeakLevelsOf(wave.recordFormat(), bytes, count);
            const auto seconds = written / wave.recordFormat().nAvgBytesPerSec;
            char text[128];
            std::snprintf(text, sizeof text, "recording %llu:%02llu  L %s  R %s",
                          static_cast<unsigned long long>(seconds / 60),
                          static_cast<unsigned long long>(seconds % 60), bar(peak.left).c_str(),
                          bar(peak.right).c_str());
            m_status.show(text);
        }
    }
    void RecordingFailed(record::CWave&, const std::string& why) override
    {
        failed = true;
        done = true;
        failure = "the sound source failed: " + why;
    }

private:
    int m_type;
    std::uint64_t m_limit;
    StatusLine& m_status;
};

} // namespace

int runRecord(const CliArgs& args)
{
    std::string out;
    double seconds = 0;
    RecordOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--seconds" || isRecordOption(a)) {
            if (i + 1 >= args.size())
                return cliUsage(a + " needs a value");
            const std::string& v = args[++i];
            if (a != "--seconds") {
                if (const int status = readRecordOption(
                        a, v, options, "--bitrate is an MPEG Layer 3 bit rate (32 to 320)");
                    status != kCliOk)
                    return status;
                continue;
            }
            try {
                seconds = std::stod(v);
            } catch (...) {
                seconds = -1;
            }
            if (!(seconds > 0))
                return cliUsage("--seconds takes a number of seconds above 0");
        } else if (a.rfind("--", 0) == 0) {
            return cliUsage("unknown option " + a);
        } else if (out.empty()) {
            out = a;
        } else {
            return cliUsage("record takes one OUT file");
        }
    }
    if (out.empty())
        return cliUsage("record needs the file to record into");

    Profile::SetRegistryKey(LoadString(1016));
    AppSettings settings;
    {
        const Profile profile;
        LoadSettingsFrom(profile, settings);
    }
    record::WAVEFORMATEX recordFormat = record::MakePcmFormat(44100, 16, 2);
    record::WAVEFORMATEX stored;
    if (record::WAVEFORMATEX::fromBytes(settings.recordFormat, stored) && stored.nSamplesPerSec &&
        stored.nChannels)
        recordFormat = stored;
    const int type = options.type;
    int bitRate = options.bitRate;
    if (bitRate == 0)
        bitRate = record::mpegBitRateTable()[static_cast<size_t>(record::bitRateEntryFor(
                                                 settings.recordMpegBitRate))]
                      .kbps;

    record::CWave wave;
    // MP3s are made from CD-like sound; WAVE files are captured in the recording format's
    // rate, bits and channels and converted to its tag; RealAudio is captured as the
    // recording format's PCM and converted to 8 kHz mono by its encoder.
    const bool mp3 = type == 1;
    const std::uint32_t rate = mp3 ? 44100 : recordFormat.nSamplesPerSec;
    const int bits = mp3 ? 16 : recordFormat.wBitsPerSample;
    const int channels = mp3 ? 2 : recordFormat.nChannels;
    if (wave.SetRecordingFormat(rate, bits == 8 ? 8 : 16, channels, 0, 4, -1) != 1)
        return cliFail(LoadString(2063) + " (" + wave.recorder().failure() + ")");
    const record::WAVEFORMATEX pcm = wave.recordFormat();
    const auto limit =
        seconds > 0 ? static_cast<std::uint64_t>(seconds * pcm.nSamplesPerSec) * pcm.nBlockAlign
                    : 0;
    StatusLine status;
    Recorder recorder(type, limit, status);
    if (type == 0) {
        if (recordFormat.wFormatTag == record::kTagPcm)
            recordFormat = pcm;
        if (recorder.writer.openConverter(pcm, recordFormat) != 1)
            return cliFail(LoadString(1066));
        if (recorder.writer.createFile(out, recordFormat) != 1)
            return cliFail(LoadString(2064));
    } else if (mp3) {
        if (KMPEncEngine_OpenWFX(out, pcm, bitRate) < 1)
            return cliFail(LoadString(2064));
    } else {
        record::RealAudioClip clip;
        clip.title = out.substr(out.rfind('/') + 1);
        clip.title = clip.title.substr(0, clip.title.rfind('.'));
        clip.format = pcm;
        const int started = KREEngine_Start(out, settings.recordRaProfile, clip);
        if (started != 1)
            return cliFail(LoadString(started < 0 ? 1066 : 2064) + " (" +
                           record::realAudioEncoderError() + ")");
    }

    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
    if (wave.StartRecording(0, &recorder) != 1)
        return cliFail(LoadString(2063) + " (" + wave.recorder().failure() + ")");
    // Sleeps until a buffer or the tick comes (the timed processEvents would spin); the tick
    // lets Ctrl-C end a recording whose source has gone quiet.
    QTimer tick;
    tick.start(100);
    while (!recorder.done && !g_interrupted)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    wave.StopRecording();
    if (type == 0) {
        recorder.writer.flush();
        recorder.writer.finishFile();
        recorder.writer.close();
    } else if (mp3) {
        KMPEncEngine_Flush();
        KMPEncEngine_Close();
    } else {
        KREEngine_Stop();
    }
    status.clear();
    if (recorder.failed)
        return cliFail(recorder.failure);
    std::printf("%s: %.2f s\n", out.c_str(),
                static_cast<double>(recorder.written) / pcm.nAvgBytesPerSec);
    return kCliOk;
}
