#pragma once
// The sound processing of Kolvo's own effects, on interleaved stereo float samples. Every
// setting glides to its new value over a few milliseconds, so changing an effect while music
// plays never steps inside the signal; a unit whose output equals its input says so (idle), so
// the element around it can let buffers pass untouched.

#include <cstddef>
#include <vector>

namespace dsp {

// How long a changed setting takes to reach its new value.
constexpr int kGlideMs = 30;

// A value moving to its target in a straight line.
class Ramp
{
public:
    explicit Ramp(float value = 0.0f)
        : m_value(value)
        , m_target(value)
    {}
    void jump(float value);
    void setTarget(float target, int samples);
    float next()
    {
        if (m_left > 0) {
            m_value += m_step;
            if (--m_left == 0)
                m_value = m_target;
        }
        return m_value;
    }
    float value() const { return m_value; }
    float target() const { return m_target; }
    bool settled() const { return m_left == 0; }

private:
    float m_value;
    float m_target;
    float m_step = 0.0f;
    int m_left = 0;
};

// A delay line read at fractional positions.
class DelayLine
{
public:
    void resize(size_t samples);
    void clear();
    void push(float x)
    {
        m_data[m_pos] = x;
        m_pos = m_pos + 1 == m_data.size() ? 0 : m_pos + 1;
    }
    // The sample pushed `delay` samples ago (1 = the last one), interpolated linearly.
    float read(float delay) const;
    size_t capacity() const { return m_data.size(); }

private:
    std::vector<float> m_data = std::vector<float>(1, 0.0f);
    size_t m_pos = 0;
};

// Channel choice (stereo, left, right, mono), output gain and automatic gain control, which
// lowers the gain at once when a sample would clip and lets it return slowly.
class ChannelScaler
{
public:
    enum Channel { Stereo = 0, Left = 1, Right = 2, Mono = 3 };

    void configure(int rate);
    void setChannel(int channel);
    void setGain(float gain);
    void setAgc(bool on);
    void process(float* frames, size_t count);
    bool isIdle() const;
    float agcGain() const { return m_agcGain; }

private:
    void retarget();
    int m_rate = 44100;
    int m_channel = Stereo;
    float m_gain = 1.0f;
    bool m_agc = false;
    float m_agcGain = 1.0f;
    float m_agcRelease = 1.0f;
    Ramp m_ll{1.0f}, m_lr{0.0f}, m_rl{0.0f}, m_rr{1.0f}, m_level{1.0f};
};

// 3D: a pseudo-stereo spread of the middle signal (a delayed, softened copy added to one side
// and taken from the other) together with a lift of the side signal.
class ThreeD
{
public:
    void configure(int rate);
    void set(bool on, int depth); // depth 0..32
    void process(float* frames, size_t count);
    bool isIdle() const { return m_amount.settled() && m_amount.value() == 0.0f; }

private:
    int m_rate = 44100;
    Ramp m_amount;
    DelayLine m_line;
    float m_delay = 0.0f;
    float m_smooth = 0.0f;
    float m_lowpass = 0.0f;
};

// Wide stereo: the side signal raised, the middle lowered a little to keep the loudness.
class StereoWidener
{
public:
    void configure(int rate);
    void set(bool on, int depth); // depth 0..32
    void process(float* frames, size_t count);
    bool isIdle() const { return m_width.settled() && m_width.value() == 0.0f; }

private:
    int m_rate = 44100;
    Ramp m_width;
};

// The F/X modes that are ours: flange, inverse flange, robot 1 (ring modulation) and robot 2
// (a metallic comb). Other modes (the pitch shifts, dry) leave the sound as it is here. A change
// of mode cross-fades from the old mode's output to the new one's.
class FxUnit
{
public:
    enum Mode { Flange = 0, InverseFlange = 1, Robot1 = 2, Robot2 = 3, Identity = -1 };

    void configure(int rate);
    void set(bool on, int fxMode); // fxMode 0..10
    void process(float* frames, size_t count);
    bool isIdle() const { return m_current == Identity && m_next == m_current; }

private:
    void render(int mode, float inL, float inR, float& outL, float& outR) const;
    void advanceState();
    void startCrossfade();

    int m_rate = 44100;
    int m_current = Identity;
    int m_next = Identity;
    int m_wanted = Identity;
    Ramp m_mix;
    DelayLine m_lineL, m_lineR; // flange
    DelayLine m_combL, m_combR; // robot 2
    double m_lfoPhase = 0.0;    // flange sweep
    double m_ringPhase = 0.0;   // robot 1
    float m_combDelay = 0.0f;
    float m_flangeL = 0.0f, m_flangeR = 0.0f; // the lines' outputs for this sample
    float m_echoL = 0.0f, m_echoR = 0.0f;
};

// A gain that glides to 0 or 1: the output chain goes quiet around a change it cannot make
// without a seam, then comes back.
class Fader
{
public:
    void configure(int rate) { m_rate = rate; }
    void fadeTo(float gain, int ms);
    void process(float* frames, size_t count);
    bool isSilent() const { return m_gain.settled() && m_gain.value() == 0.0f; }
    bool isIdle() const { return m_gain.settled() && m_gain.value() == 1.0f; }

private:
    int m_rate = 44100;
    Ramp m_gain{1.0f};
};

} // namespace dsp
