#include "record/wave.h"

#include "engines/gstglue.h"
#include "engines/pipelinerunner.h"
#include "platform/log.h"

#include <gst/app/gstappsink.h>

#include <QMetaObject>
#include <QPointer>

#include <cstdlib>
#include <cstring>

namespace record {

// The capture pipeline: source ! audioconvert ! audioresample ! caps ! appsink, the sink's
// callback (on GStreamer's thread) cutting the sound into buffers and posting each.
struct CWaveInDevice::Capture
{
    std::mutex lock;
    GstElement* pipeline = nullptr;
    std::unique_ptr<engines::PipelineRunner> runner;
    std::vector<std::uint8_t> filling;
    size_t bufferSize = 0;
    QPointer<CWaveInDevice> owner;
    std::atomic<bool> capturing{false};

    ~Capture()
    {
        if (runner)
            runner->shutdown();
        if (pipeline) {
            gst_element_set_state(pipeline, GST_STATE_NULL);
            gst_object_unref(pipeline);
        }
    }

    static GstFlowReturn onSample(GstAppSink* sink, gpointer data)
    {
        auto* self = static_cast<Capture*>(data);
        GstSample* sample = gst_app_sink_pull_sample(sink);
        if (!sample)
            return GST_FLOW_EOS;
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        GstMapInfo map;
        if (buffer && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
            if (self->capturing) {
                CWaveInDevice* owner = self->owner.data();
                if (owner)
                    owner->m_position += map.size;
                self->filling.insert(self->filling.end(), map.data, map.data + map.size);
                while (self->filling.size() >= self->bufferSize) {
                    std::vector<std::uint8_t> full(
                        self->filling.begin(),
                        self->filling.begin() + static_cast<std::ptrdiff_t>(self->bufferSize));
                    self->filling.erase(self->filling.begin(),
                                        self->filling.begin() +
                                            static_cast<std::ptrdiff_t>(self->bufferSize));
                    // Posted, never waited for: the user-interface thread takes it when it can.
                    QPointer<CWaveInDevice> target = self->owner;
                    if (target)
                        QMetaObject::invokeMethod(
                            target.data(),
                            [target, bytes = std::move(full)]() mutable {
                                if (target)
                                    target->deliver(std::move(bytes));
                            },
                            Qt::QueuedConnection);
                }
            }
            gst_buffer_unmap(buffer, &map);
        }
        gst_sample_unref(sample);
        return GST_FLOW_OK;
    }
};

CWaveInDevice::CWaveInDevice()
{
    setObjectName(QStringLiteral("Voice Recording Window"));
}

CWaveInDevice::~CWaveInDevice()
{
    Close();
}

bool CWaveInDevice::IsOpen() const
{
    return m_capture != nullptr;
}

bool CWaveInDevice::Open(const WAVEFORMATEX& format, int bufferBytes, int bufferCount, int deviceId)
{
    Close();
    m_failure.clear();
    std::string error;
    if (!engines::ensureGstreamer(&error)) {
        m_failure = error;
        return false;
    }
    if (format.wFormatTag != kTagPcm ||
        (format.wBitsPerSample != 8 && format.wBitsPerSample != 16) || format.nChannels < 1 ||
        format.nChannels > 2 || format.nSamplesPerSec == 0) {
        m_failure = "not a PCM format the recorder takes";
        return false;
    }
    m_bufferSize = bufferBytes > 0 ? bufferBytes : static_cast<int>(format.nAvgBytesPerSec / 4);
    m_bufferSize -= m_bufferSize % 4;
    if (m_bufferSize < format.nBlockAlign)
        m_bufferSize = format.nBlockAlign * 4;
    m_bufferCount = bufferCount;

    const char* chosen = std::getenv("KOLVO_CAPTURE_SOURCE");
    std::string source = chosen && *chosen ? chosen : "pulsesrc";
    (void)deviceId; // the default source; the mixer chooses which one that is
    const std::string description =
        source + " ! audioconvert ! audioresample ! capsfilter caps=audio/x-raw,format=" +
        (format.wBitsPerSample == 8 ? "U8" : "S16LE") +
        ",layout=interleaved,rate=" + std::to_string(format.nSamplesPerSec) +
        ",channels=" + std::to_string(format.nChannels) +
        " ! appsink name=kolvosink sync=false emit-signals=false";
    GError* parseError = nullptr;
    GstElement* pipeline = gst_parse_launch(description.c_str(), &parseError);
    if (!pipeline || parseError) {
        m_failure = parseError ? parseError->message : "the capture pipeline cannot be made";
        if (parseError)
            g_error_free(parseError);
        if (pipeline)
            gst_object_unref(pipeline);
        return false;
    }
    auto capture = std::make_unique<Capture>();
    capture->pipeline = pipeline;
    capture->bufferSize = static_cast<size_t>(m_bufferSize);
    capture->owner = this;
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "kolvosink");
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = &Capture::onSample;
    gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, capture.get(), nullptr);
    gst_object_unref(sink);

    QPointer<CWaveInDevice> self = this;
    engines::PipelineRunner::Handlers handlers;
    handlers.message = [self](GstMessage* message) -> engines::PipelineRunner::Notice {
        if (GST_MESSAGE_TYPE(message) != GST_MESSAGE_ERROR)
            return {};
        const std::string why = engines::describeError(message);
        return [self, why] {
            if (self)
                QMetaObject::invokeMethod(
                    self.data(),
                    [self, why] {
                        if (self)
                            self->failed(why);
                    },
                    Qt::QueuedConnection);
        };
    };
    capture->runner = std::make_unique<engines::PipelineRunner>(capture->lock, handlers);
    {
        std::lock_guard guard(capture->lock);
        capture->runner->watch(pipeline);
    }
    // Ready, so that a source that cannot be opened says so now.
    if (gst_element_set_state(pipeline, GST_STATE_READY) == GST_STATE_CHANGE_FAILURE) {
        m_failure = "the sound source cannot be opened";
        return false;
    }
    m_capture = std::move(capture);
    m_stopping = true;
    return true;
}

bool CWaveInDevice::Start(CWave* wave)
{
    if (!m_capture)
        return false;
    m_wave = wave;
    m_inFlight = 0;
    m_position = 0;
    m_capture->filling.clear();
    m_stopping = false;
    m_capture->capturing = true;
    if (gst_element_set_state(m_capture->pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        m_failure = "the sound source cannot be started";
        m_stopping = true;
        return false;
    }
    return true;
}

void CWaveInDevice::Pause()
{
    if (m_capture)
        gst_element_set_state(m_capture->pipeline, GST_STATE_PAUSED);
}

void CWaveInDevice::Resume()
{
    if (m_capture)
        gst_element_set_state(m_capture->pipeline, GST_STATE_PLAYING);
}

void CWaveInDevice::Reset()
{
    m_stopping = true;
    if (m_capture) {
        m_capture->capturing = false;
        gst_element_set_state(m_capture->pipeline, GST_STATE_READY);
    }
    m_inFlight = 0;
}

void CWaveInDevice::Close()
{
    Reset();
    m_capture.reset();
    m_wave = nullptr;
}

void CWaveInDevice::deliver(std::vector<std::uint8_t> bytes)
{
    if (m_stopping || !m_wave || bytes.empty() || bytes.size() > static_cast<size_t>(m_bufferSize))
        return;
    if (m_wave->m_receiver)
        m_wave->m_receiver->DataRecorded(*m_wave, bytes.data(), bytes.size(), 0);
}

void CWaveInDevice::failed(const std::string& why)
{
    if (m_stopping || !m_wave)
        return;
    KLOG_WARNING("record", "recording: the sound source failed: %s", why.c_str());
    m_failure = why;
    CWave* wave = m_wave;
    Reset();
    if (wave->m_receiver)
        wave->m_receiver->RecordingFailed(*wave, why);
}

// ---------------------------------------------------------------------------------------------

CWave::CWave()
    : m_recorder(std::make_unique<CWaveInDevice>())
{}

CWave::~CWave()
{
    m_recorder->Close();
    Close();
}

int CWave::SetRecordingFormat(std::uint32_t rate, int bits, int channels, int bufferBytes,
                              int bufferCount, int device)
{
    if (bits != 8 && bits != 16)
        return 0;
    if (m_recorder->IsOpen())
        m_recorder->Close();
    m_format = MakeRecordingPcmFormat(rate, bits, channels);
    return m_recorder->Open(m_format, bufferBytes, bufferCount, device) ? 1 : 0;
}

int CWave::StartRecording(int userValue, WaveReceiver* receiver)
{
    if (!m_recorder->IsOpen() && !m_recorder->Open(m_format, 0, 4, -1))
        return 0;
    m_receiver = receiver;
    m_userValue = userValue;
    if (!m_recorder->Start(this)) {
        m_recorder->Close();
        return 0;
    }
    return 1;
}

void CWave::PauseRecording()
{
    m_recorder->Pause();
}

void CWave::ResumeRecording()
{
    m_recorder->Resume();
}

int CWave::StopRecording()
{
    m_userValue = 0;
    if (!m_recorder->IsOpen())
        return 0;
    m_recorder->Close();
    return 1;
}

bool CWave::ReadData(std::vector<std::uint8_t>& out, int offset, int size) const
{
    if (!m_block.data() || offset < 0 || offset >= m_block.size() || size < 0)
        return false;
    const int n = std::min(size, m_block.size() - offset);
    out.assign(m_block.data() + offset, m_block.data() + offset + n);
    return true;
}

void CWave::Close()
{
    m_block.Reset();
}

} // namespace record
