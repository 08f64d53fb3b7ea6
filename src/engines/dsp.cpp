#include "engines/dsp.h"

#include <algorithm>
#include <cmath>

namespace dsp {

namespace {

constexpr double kTwoPi = 6.283185307179586;

int glideSamples(int rate)
{
    return std::max(1, rate * kGlideMs / 1000);
}

float depthFraction(int depth)
{
    return static_cast<float>(std::clamp(depth, 0, 32)) / 32.0f;
}

} // namespace

void Ramp::jump(float value)
{
    m_value = m_target = value;
    m_left = 0;
}

void Ramp::setTarget(float target, int samples)
{
    if (target == m_target)
        return;
    m_target = target;
    if (samples <= 0) {
        m_value = target;
        m_left = 0;
        return;
    }
    m_left = samples;
    m_step = (target - m_value) / static_cast<float>(samples);
}

void DelayLine::resize(size_t samples)
{
    m_data.assign(std::max<size_t>(samples, 2), 0.0f);
    m_pos = 0;
}

void DelayLine::clear()
{
    std::fill(m_data.begin(), m_data.end(), 0.0f);
}

float DelayLine::read(float delay) const
{
    const size_t n = m_data.size();
    delay = std::clamp(delay, 1.0f, static_cast<float>(n - 1));
    const auto whole = static_cast<size_t>(delay);
    const float frac = delay - static_cast<float>(whole);
    const size_t a = (m_pos + n - whole) % n;
    const size_t b = (a + n - 1) % n;
    return m_data[a] + (m_data[b] - m_data[a]) * frac;
}

// ---- ChannelScaler ----

void ChannelScaler::configure(int rate)
{
    m_rate = rate > 0 ? rate : 44100;
    // The gain returns at 3 dB per second once the loud passage is over.
    m_agcRelease = static_cast<float>(std::pow(10.0, 3.0 / 20.0 / m_rate));
}

void ChannelScaler::setChannel(int channel)
{
    m_channel = (channel >= Stereo && channel <= Mono) ? channel : Stereo;
    retarget();
}

void ChannelScaler::setGain(float gain)
{
    m_gain = std::isfinite(gain) ? std::clamp(gain, 0.0f, 4.0f) : 1.0f;
    retarget();
}

void ChannelScaler::setAgc(bool on)
{
    m_agc = on;
    if (!on)
        m_agcGain = 1.0f;
}

void ChannelScaler::retarget()
{
    float ll = 1, lr = 0, rl = 0, rr = 1;
    switch (m_channel) {
    case Left:
        ll = 1, lr = 0, rl = 1, rr = 0;
        break;
    case Right:
        ll = 0, lr = 1, rl = 0, rr = 1;
        break;
    case Mono:
        ll = lr = rl = rr = 0.5f;
        break;
    default:
        break;
    }
    const int n = glideSamples(m_rate);
    m_ll.setTarget(ll, n);
    m_lr.setTarget(lr, n);
    m_rl.setTarget(rl, n);
    m_rr.setTarget(rr, n);
    m_level.setTarget(m_gain, n);
}

bool ChannelScaler::isIdle() const
{
    const bool settled =
        m_ll.settled() && m_lr.settled() && m_rl.settled() && m_rr.settled() && m_level.settled();
    return settled && !m_agc && m_channel == Stereo && m_level.value() == 1.0f;
}

void ChannelScaler::process(float* frames, size_t count)
{
    constexpr float kCeiling = 0.98f;
    for (size_t i = 0; i < count; ++i) {
        const float l = frames[2 * i], r = frames[2 * i + 1];
        const float g = m_level.next();
        float outL = (m_ll.next() * l + m_lr.next() * r) * g;
        float outR = (m_rl.next() * l + m_rr.next() * r) * g;
        if (m_agc) {
            const float peak = std::max(std::fabs(outL), std::fabs(outR)) * m_agcGain;
            if (peak > kCeiling)
                m_agcGain *= kCeiling / peak;
            else
                m_agcGain = std::min(1.0f, m_agcGain * m_agcRelease);
            outL *= m_agcGain;
            outR *= m_agcGain;
        }
        frames[2 * i] = outL;
        frames[2 * i + 1] = outR;
    }
}

// ---- ThreeD ----

void ThreeD::configure(int rate)
{
    m_rate = rate > 0 ? rate : 44100;
    // 11 ms sits between an echo and a colour: heard as width, not as a repeat.
    m_delay = 0.011f * static_cast<float>(m_rate);
    m_line.resize(static_cast<size_t>(m_delay) + 4);
    m_smooth = 1.0f - static_cast<float>(std::exp(-kTwoPi * 5000.0 / m_rate));
    m_lowpass = 0.0f;
}

void ThreeD::set(bool on, int depth)
{
    if (isIdle() && on) {
        m_line.clear();
        m_lowpass = 0.0f;
    }
    m_amount.setTarget(on ? 0.15f + 0.45f * depthFraction(depth) : 0.0f, glideSamples(m_rate));
}

void ThreeD::process(float* frames, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        const float l = frames[2 * i], r = frames[2 * i + 1];
        const float mid = 0.5f * (l + r), side = 0.5f * (l - r);
        const float g = m_amount.next();
        m_lowpass += m_smooth * (m_line.read(m_delay) - m_lowpass);
        m_line.push(mid);
        const float spread = g * m_lowpass;
        const float lifted = side * (1.0f + g);
        frames[2 * i] = mid + lifted + spread;
        frames[2 * i + 1] = mid - lifted - spread;
    }
}

// ---- StereoWidener ----

void StereoWidener::configure(int rate)
{
    m_rate = rate > 0 ? rate : 44100;
}

void StereoWidener::set(bool on, int depth)
{
    m_width.setTarget(on ? 0.25f + 1.25f * depthFraction(depth) : 0.0f, glideSamples(m_rate));
}

void StereoWidener::process(float* frames, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        const float l = frames[2 * i], r = frames[2 * i + 1];
        const float w = m_width.next();
        const float mid = 0.5f * (l + r) / (1.0f + 0.25f * w);
        const float side = 0.5f * (l - r) * (1.0f + w);
        frames[2 * i] = mid + side;
        frames[2 * i + 1] = mid - side;
    }
}

// ---- FxUnit ----

void FxUnit::configure(int rate)
{
    m_rate = rate > 0 ? rate : 44100;
    const auto ms = [this](double v) { return static_cast<size_t>(v * m_rate / 1000.0) + 4; };
    m_lineL.resize(ms(8));
    m_lineR.resize(ms(8));
    m_combDelay = static_cast<float>(0.006 * m_rate);
    m_combL.resize(static_cast<size_t>(m_combDelay) + 4);
    m_combR.resize(static_cast<size_t>(m_combDelay) + 4);
}

void FxUnit::set(bool on, int fxMode)
{
    int mode = Identity;
    if (on && fxMode >= Flange && fxMode <= Robot2)
        mode = fxMode;
    m_wanted = mode;
    if (m_next == m_current && m_wanted != m_current)
        startCrossfade();
}

void FxUnit::startCrossfade()
{
    if (m_current == Identity) {
        // Starting from silence in the lines: the effect fades in from the untouched sound.
        m_lineL.clear();
        m_lineR.clear();
        m_combL.clear();
        m_combR.clear();
        m_flangeL = m_flangeR = m_echoL = m_echoR = 0.0f;
    }
    m_next = m_wanted;
    m_mix.jump(0.0f);
    m_mix.setTarget(1.0f, glideSamples(m_rate));
}

void FxUnit::advanceState()
{
    // Flange: the delay sweeps between 1 and 5 ms, four seconds a cycle.
    m_lfoPhase += kTwoPi * 0.25 / m_rate;
    if (m_lfoPhase > kTwoPi)
        m_lfoPhase -= kTwoPi;
    m_ringPhase += kTwoPi * 30.0 / m_rate;
    if (m_ringPhase > kTwoPi)
        m_ringPhase -= kTwoPi;
    const double ms = 1.0 + 4.0 * (0.5 - 0.5 * std::cos(m_lfoPhase));
    const auto delay = static_cast<float>(ms * m_rate / 1000.0);
    m_flangeL = m_lineL.read(delay);
    m_flangeR = m_lineR.read(delay);
    m_echoL = m_combL.read(m_combDelay);
    m_echoR = m_combR.read(m_combDelay);
}

void FxUnit::render(int mode, float inL, float inR, float& outL, float& outR) const
{
    switch (mode) {
    case Flange:
        outL = 0.5f * (inL + m_flangeL);
        outR = 0.5f * (inR + m_flangeR);
        break;
    case InverseFlange:
        outL = 0.5f * (inL - m_flangeL);
        outR = 0.5f * (inR - m_flangeR);
        break;
    case Robot1: {
        const auto carrier = static_cast<float>(std::sin(m_ringPhase));
        outL = inL * carrier;
        outR = inR * carrier;
        break;
    }
    case Robot2:
        outL = 0.4f * (inL + 0.65f * m_echoL);
        outR = 0.4f * (inR + 0.65f * m_echoR);
        break;
    default:
        outL = inL;
        outR = inR;
        break;
    }
}

void FxUnit::process(float* frames, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        const float l = frames[2 * i], r = frames[2 * i + 1];
        advanceState();
        float outL, outR;
        render(m_current, l, r, outL, outR);
        if (m_next != m_current) {
            float bL, bR;
            render(m_next, l, r, bL, bR);
            const float mix = m_mix.next();
            outL += (bL - outL) * mix;
            outR += (bR - outR) * mix;
            if (m_mix.settled()) {
                m_current = m_next;
                if (m_wanted != m_current)
                    startCrossfade();
            }
        }
        // The lines always hear the sound, so a mode that comes in later starts from the
        // present, not from old audio.
        m_lineL.push(l + 0.45f * m_flangeL);
        m_lineR.push(r + 0.45f * m_flangeR);
        m_combL.push(l + 0.65f * m_echoL);
        m_combR.push(r + 0.65f * m_echoR);
        frames[2 * i] = outL;
        frames[2 * i + 1] = outR;
    }
}

// ---- Fader ----

void Fader::fadeTo(float gain, int ms)
{
    m_gain.setTarget(std::clamp(gain, 0.0f, 1.0f), std::max(1, m_rate * ms / 1000));
}

void Fader::process(float* frames, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        const float g = m_gain.next();
        frames[2 * i] *= g;
        frames[2 * i + 1] *= g;
    }
}

} // namespace dsp
