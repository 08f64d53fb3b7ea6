#pragma once
// What the engine tests share: generated fixtures (sox, lame, ffmpeg, tools/make-realaudio), a
// window that records engine notifications, waiting with the event loop running, and a
// recorder of what reaches the test's PulseAudio sink.

#include "analysis.h"
#include "engines/pcmoutput.h"
#include "platform/wnd.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace enginetest {

// Whether `text` holds `part`, with the text in the message either way.
inline ::testing::AssertionResult contains(const std::string& text, const std::string& part)
{
    return (text.find(part) != std::string::npos ? ::testing::AssertionSuccess()
                                                 : ::testing::AssertionFailure())
           << "\"" << part << "\" in \"" << text << "\"";
}

// A folder for this test program's fixtures, removed when the program ends.
const std::string& fixtureDir();
// Runs a shell command quietly; true when it exits 0.
bool sh(const std::string& command);

// A tone file made once per program: `kind` is wav, aiff, au, snd, mp3, mp2, ogg, flac, opus, ra
// (RealAudio 14.4, mono 8 kHz) or rm (RealMedia); left channel at `hz`, right at `rightHz` (0: the
// same), amplitude `amplitude`; a burst of `seconds` followed by `silence` seconds of silence.
std::string toneFile(const std::string& kind, double seconds, double hz, double rightHz = 0,
                     double amplitude = 0.5, double silence = 0);
// Both channels carry the sum of two sines of amplitude `amplitude` each.
std::string twoToneFile(const std::string& kind, double seconds, double hz1, double hz2,
                        double amplitude);
// How a WAVE file stores its samples: integer PCM of 8/16/24/32 bits or 32-bit IEEE float,
// either of them in the WAVE_FORMAT_EXTENSIBLE form.
enum class WaveForm { Pcm, Float, ExtensiblePcm, ExtensibleFloat };
// A stereo 44.1 kHz WAVE of `ms` of a decaying 220 Hz tone, written byte by byte as other
// programs write it, whose samples carry two MPEG Layer 3 frame headers one frame apart: what a
// frame scan over the whole file would take for MPEG audio.
std::string waveWithFalseMpegSync(const std::string& name, WaveForm form, int bits, int ms = 500);

// A MIDI file made once per program by tools/make-midi with `args`.
std::string midiFile(const std::string& name, const std::string& args);

// The exact length of a fixture in ms as GStreamer decodes it (soxi for the plain formats).
long fixtureLengthMs(const std::string& path);

struct Note
{
    UINT message;
    int cookie;
    int event;
    LPARAM value;
};

class NoteWindow : public Wnd
{
public:
    std::vector<Note> notes;
    bool has(UINT message, int cookie, int event, LPARAM value) const;
    bool hasEvent(UINT message, int cookie, int event) const;
    std::vector<Note> of(int cookie) const;

protected:
    LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
};

// Runs the event loop until `done` or `ms` have passed; returns done().
bool pumpUntil(const std::function<bool()>& done, int ms);
void pump(int ms);

// A sine at `hz` and half of full scale on both sides, pushed as 16-bit stereo PCM through the
// output chain of `role`: for `seconds` and then finished, or (0) until destroyed.
class PcmTone
{
public:
    PcmTone(engines::ChainRole role, double hz, double seconds = 0);
    ~PcmTone();
    bool done() const { return m_done; }
    int mode() const { return m_out.mode(); }

private:
    engines::PcmOutput m_out;
    std::atomic<bool> m_quit{false}, m_done{false};
    std::thread m_feeder;
};

// Whether the test's PulseAudio sink is there (the AUDIO tests' harness).
bool haveTestSink();

// Records the test sink's monitor with parec.
class SinkRecorder
{
public:
    SinkRecorder();
    ~SinkRecorder();
    // Starts parec and waits until it delivers sound.
    bool start();
    analysis::Stereo stop();

private:
    pid_t m_pid = -1;
    std::string m_path;
};

} // namespace enginetest
