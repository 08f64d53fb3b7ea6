#pragma once
// Sound from the sound card: CWaveInDevice captures through GStreamer (the default PulseAudio
// source, or the pipeline KOLVO_CAPTURE_SOURCE describes, such as "pulsesrc device=NAME") and
// hands full buffers to the user-interface thread; CWave owns one and passes each buffer to its
// receiver.
//
// It promises: the capture thread never waits on the user-interface thread (a buffer is posted
// and capture goes on, so a busy window loses no sound); buffers reach the receiver on the
// thread that made the device, in order, each the buffer size (a quarter of a second unless
// told otherwise) except none at all after Stop; a source that fails or disappears is told
// once, through the receiver's RecordingFailed.

#include "record/waveformat.h"

#include <QObject>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace record {

class CWave;

class WaveReceiver
{
public:
    virtual ~WaveReceiver() = default;
    // The bytes are valid during the call only.
    virtual void DataRecorded(CWave& wave, const std::uint8_t* bytes, size_t count, int zero) = 0;
    virtual void RecordingFailed(CWave& wave, const std::string& why)
    {
        (void)wave;
        (void)why;
    }
};

class CWaveInDevice : public QObject
{
    Q_OBJECT
public:
    CWaveInDevice();
    ~CWaveInDevice() override;

    // Opens the capture for the PCM format; bufferBytes 0 is a quarter of a second (rounded
    // down to a multiple of 4). deviceId -1 is the default source. False when GStreamer or the
    // source refuses.
    bool Open(const WAVEFORMATEX& format, int bufferBytes, int bufferCount, int deviceId);
    void Close();
    bool Start(CWave* wave);
    // Stops capturing; buffers in flight are no longer delivered.
    void Reset();
    void Pause();
    void Resume();
    bool IsOpen() const;
    // Bytes captured since the start (the device position).
    std::uint64_t GetPosition() const { return m_position; }
    int bufferSize() const { return m_bufferSize; }
    int bufferCount() const { return m_bufferCount; }
    const std::string& failure() const { return m_failure; }

private:
    struct Capture;
    void deliver(std::vector<std::uint8_t> bytes);
    void failed(const std::string& why);

    std::unique_ptr<Capture> m_capture;
    CWave* m_wave = nullptr;
    int m_bufferSize = 0;
    int m_bufferCount = 2;
    int m_inFlight = 0;
    bool m_stopping = true;
    std::atomic<std::uint64_t> m_position{0};
    std::string m_failure;
};

class CWave
{
public:
    CWave();
    ~CWave();
    CWave(const CWave&) = delete;
    CWave& operator=(const CWave&) = delete;

    // 0 unless bits is 8 or 16; reopens the recorder with the recording PCM format.
    int SetRecordingFormat(std::uint32_t rate, int bits, int channels, int bufferBytes,
                           int bufferCount, int device);
    // Opens the recorder if needed (4 buffers of a quarter second) and starts it; 1 on success.
    int StartRecording(int userValue, WaveReceiver* receiver);
    void PauseRecording();
    void ResumeRecording();
    // Closes the recorder and clears the user value.
    int StopRecording();
    // Bytes of the data block from an offset; false past its end.
    bool ReadData(std::vector<std::uint8_t>& out, int offset, int size) const;
    void Close();

    const WAVEFORMATEX& recordFormat() const { return m_format; }
    CWaveInDevice& recorder() { return *m_recorder; }
    CWaveBlock& block() { return m_block; }
    int userValue() const { return m_userValue; }

private:
    friend class CWaveInDevice;
    WAVEFORMATEX m_format = MakePcmFormat(11025, 8, 1);
    CWaveBlock m_block;
    std::unique_ptr<CWaveInDevice> m_recorder;
    WaveReceiver* m_receiver = nullptr;
    int m_userValue = 0;
};

} // namespace record
