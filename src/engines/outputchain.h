#pragma once
// The output chain every engine's audio ends in:
//
//   decoded audio -> convert to float -> mono to stereo -> channel, gain, AGC -> 20-band equalizer
//   -> [reverb] -> 3D -> wide -> F/X -> [pitch] -> fader -> [spectrum, level] -> sink
//
// The elements in brackets join the chain only once they are first wanted, so a chain with the
// effects off costs little more than decoding. Once in, an effect stays until the chain ends
// and is switched off by gliding its setting to neutral, never by cutting it out. All effect
// and equalizer changes glide; the pitch shifter, which cannot start without a seam, is put in
// behind a short fade. The analysis taps are inserted while someone reads them and taken out
// again when nobody has for a few seconds.
//
// Chains are kept in a registry by role so that the spectrum can be asked of "whatever the
// digital audio player is sounding" or "the CD player's audio".

#include "engines/effects.h"
#include "engines/gstglue.h"

#include <gst/gst.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>

namespace engines {

enum class ChainRole { DigitalAudio = 0, Video = 1, Midi = 2, Cd = 3 };

struct OutputOptions
{
    int outputType = 0;     // 0 sound card, 1 WAVE file, 2 both
    std::string wavFile;    // where types 1 and 2 write
    int bufferCount = 10;   // the sound card buffer, in 20 ms units
    int quality = 0;        // 0 full rate, 1 at most 24 kHz, 2 at most 12 kHz
    int channel = 0;        // 0 stereo, 1 left, 2 right, 3 mono
    int scaleValue = 32768; // gain = scaleValue / 32768
    bool agc = false;
    std::string sink; // a GStreamer sink description; "" = audioSinkDescription()
};

// The sink the chains use: the override (kolvo-cli --sink), else KOLVO_AUDIO_SINK, else the
// output device of the settings ("Output"/"Device", a PulseAudio sink name), else the
// PulseAudio default.
std::string audioSinkDescription();
void setAudioSinkOverride(const std::string& description);

constexpr int kSpectrumBands = 20;
// GetSpectrum's flag bit: linear amplitudes instead of decibels.
constexpr int kSpectrumLinearFlag = 0x10000;
// Band values run from 0 (silence) to 100 (full scale).
constexpr int kSpectrumFullScale = 100;

class OutputChain
{
public:
    OutputChain(ChainRole role, OutputOptions options);
    ~OutputChain();
    OutputChain(const OutputChain&) = delete;
    OutputChain& operator=(const OutputChain&) = delete;

    // Creates the chain's elements inside `pipeline`. Decoded audio goes to sinkPad().
    bool build(GstBin* pipeline, std::string* error);
    GstPad* sinkPad() const { return m_sinkPad.get(); }
    ChainRole role() const { return m_role; }

    // Setup values that may also change while playing.
    void setChannel(int channel);
    void setScale(bool agc, int value);

    // The owner tells whether the chain's sound is being heard (mode 526).
    void setSounding(bool sounding);
    bool sounding() const;
    // 20 band values of what is heard now; false when nothing sounds.
    bool spectrum(std::int32_t* bands, int flags);
    // RMS level per channel, 0..32767; false when nothing sounds.
    bool levels(int& left, int& right);
    // Someone reads the analysis: keep the taps in the chain for the next few seconds.
    void keepTaps();
    // Element messages of the pipeline, handed over by the owner's bus thread.
    void handleElementMessage(GstMessage* message);
    // After a seek the stored analysis no longer matches the sound.
    void flushAnalysis();

    // When the first buffer reached the sink; the epoch until then.
    std::chrono::steady_clock::time_point firstBufferAt() const;
    // Counts the buffers and events that reached the sink while it was playing. A sink set
    // playing has left its preroll once this has grown: until then a pause can come before its
    // streaming thread woke up, which GStreamer's base sink then lets run on while paused.
    std::uint64_t sinkMoves() const { return m_sinkMoves.load(); }

    // Inspection for tests: which optional elements are in the chain now.
    bool hasReverb() const;
    bool hasPitch() const;
    // The sound card sink's buffer-time in microseconds; 0 without one.
    std::int64_t sinkBufferUs() const;

private:
    struct Glide
    {
        GObject* object = nullptr;
        const char* property = nullptr;
        double value = 0;
        double target = 0;
        double perSecond = 1;
    };
    struct Analysis
    {
        std::uint64_t streamTime = 0;
        std::array<float, kSpectrumBands> bands{};
        bool hasSpectrum = false;
    };

    void applyEffects();
    void applyEqualizer();
    void onBuffer(GstBuffer* buffer);
    void requestReverb();
    void requestPitch();
    void requestTaps(bool in);
    static GstPadProbeReturn bufferProbe(GstPad*, GstPadProbeInfo*, gpointer);
    static GstPadProbeReturn reverbProbe(GstPad*, GstPadProbeInfo*, gpointer);
    static GstPadProbeReturn pitchProbe(GstPad*, GstPadProbeInfo*, gpointer);
    static GstPadProbeReturn tapsProbe(GstPad*, GstPadProbeInfo*, gpointer);
    static GstPadProbeReturn firstBufferProbe(GstPad*, GstPadProbeInfo*, gpointer);
    static GstPadProbeReturn sinkMoveProbe(GstPad*, GstPadProbeInfo*, gpointer);
    void insertBetween(GstElement* before, GstElement* element, GstElement* after);
    std::int64_t audiblePosition();
    void bandsFromMagnitudes(const GValue* list, Analysis& a);

    ChainRole m_role;
    OutputOptions m_options;
    int m_listenerId = 0;
    bool m_registered = false;

    mutable std::mutex m_mutex;
    GstBin* m_bin = nullptr; // owned by the pipeline
    GstRef<GstPad> m_sinkPad;
    GstElement* m_scale = nullptr;
    GstElement* m_equalizer = nullptr;
    GstElement* m_threeD = nullptr;
    GstElement* m_wide = nullptr;
    GstElement* m_fx = nullptr;
    GstElement* m_fade = nullptr;
    GstElement* m_out = nullptr; // first element of the sink section
    GstElement* m_sink = nullptr;
    GstElement* m_cardSink = nullptr; // the audio sink inside the sound card section
    GstElement* m_reverb = nullptr;   // once inserted
    GstElement* m_pitch = nullptr;
    // The analysers are kept between insertions with a reference of our own; the elements
    // above belong to the pipeline.
    GstRef<GstElement> m_spectrum;
    GstRef<GstElement> m_level;
    bool m_reverbPending = false;
    bool m_pitchPending = false;
    bool m_tapsPending = false;
    bool m_tapsIn = false;

    EffectSettings m_effects;
    Glide m_reverbLevel;
    std::array<Glide, kEqualizerBands> m_bands{};
    double m_pitchRatio = 1.0;   // wanted (1 = no shift)
    double m_pitchApplied = 1.0; // set on the element
    enum class PitchStep { Steady, FadingOut, Holding } m_pitchStep = PitchStep::Steady;
    double m_pitchHold = 0;
    void stepPitch(double seconds);

    bool m_sounding = false;
    int m_analysisRate = 44100;
    std::deque<Analysis> m_analysis;
    std::array<double, 2> m_rms{};
    std::chrono::steady_clock::time_point m_tapsWanted{};

    std::chrono::steady_clock::time_point m_firstBuffer{};
    std::atomic<std::uint64_t> m_sinkMoves{0};
};

// The spectrum of the first sounding chain of a role; false when none sounds.
bool roleSpectrum(ChainRole role, std::int32_t* bands, int flags);

} // namespace engines
