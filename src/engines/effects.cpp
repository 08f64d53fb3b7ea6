#include "engines/effects.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>
#include <vector>

namespace engines {

const std::array<EqualizerCurve, 6> kEqualizerPresets = {{
    {8, 7, 6, 4, 2, 0, -2, -4, -2, 0, 0, 0, 2, 2, 4, 4, 6, 6, 8, 8},    // Rock
    {8, 7, 6, 4, 2, 0, 0, 0, 2, 4, 4, 5, 5, 6, 6, 8, 8, 6, 6, 4},       // Pop
    {8, 7, 6, 4, 2, 0, -2, -4, -2, 0, 4, 6, 4, 2, 0, -2, 0, 2, 4, 4},   // Jazz
    {4, 4, 6, 6, 4, 2, 0, -2, -4, -6, -6, -4, -2, 0, 2, 4, 6, 4, 2, 0}, // Classic
    {-4, -4, -2, 0, 2, 4, 6, 8, 6, 4, 4, 4, 4, 2, 2, 2, 2, 0, 0, 0},    // Vocal
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},       // Flat
}};

EffectSettings sanitized(const EffectSettings& s)
{
    EffectSettings out;
    out.reverb = s.reverb ? 1 : 0;
    out.reverbMode = std::clamp(s.reverbMode, 0, 3);
    out.reverbDepth = std::clamp(s.reverbDepth, 0, 32);
    out.chorus = s.chorus ? 1 : 0;
    out.chorusDepth = std::clamp(s.chorusDepth, 0, 32);
    out.wide = s.wide ? 1 : 0;
    out.wideDepth = std::clamp(s.wideDepth, 0, 32);
    out.fx = s.fx ? 1 : 0;
    out.fxMode = std::clamp(s.fxMode, 0, 10);
    return out;
}

double equalizerCentre(int band)
{
    band = std::clamp(band, 0, kEqualizerBands - 1);
    return 31.5 * std::pow(16000.0 / 31.5, band / static_cast<double>(kEqualizerBands - 1));
}

double equalizerWidth(int band)
{
    const double ratio = std::pow(16000.0 / 31.5, 1.0 / (kEqualizerBands - 1));
    return equalizerCentre(band) * (std::sqrt(ratio) - 1.0 / std::sqrt(ratio));
}

ReverbRoom reverbRoom(int mode)
{
    switch (std::clamp(mode, 0, 3)) {
    case 1: // room: small and soft
        return {0.45f, 0.55f, 0.8f};
    case 2: // stage: bright, medium
        return {0.7f, 0.25f, 1.0f};
    case 3: // stadium: huge, long tail
        return {0.95f, 0.15f, 1.0f};
    default: // hall
        return {0.82f, 0.35f, 1.0f};
    }
}

float reverbLevel(int depth)
{
    return 0.08f + 0.37f * static_cast<float>(std::clamp(depth, 0, 32)) / 32.0f;
}

int fxPitchSemitones(int fxMode)
{
    switch (fxMode) {
    case 4:
        return 1;
    case 5:
        return 2;
    case 6:
        return 4;
    case 7:
        return -1;
    case 8:
        return -2;
    case 9:
        return -4;
    default:
        return 0;
    }
}

bool wantsPitch(const EffectSettings& s)
{
    return s.fx && fxPitchSemitones(s.fxMode) != 0;
}

namespace {

struct SharedState
{
    std::mutex mutex;
    // Held while listeners run, so that once removeEffectsListener returns its listener is
    // neither running nor going to run.
    std::recursive_mutex dispatch;
    EffectSettings effects;
    EqualizerCurve equalizer{};
    std::map<int, EffectsListener> listeners;
    int nextId = 1;
};

SharedState& shared()
{
    static SharedState state;
    return state;
}

void notifyAll()
{
    std::lock_guard dispatching(shared().dispatch);
    std::vector<EffectsListener> copy;
    {
        std::lock_guard lock(shared().mutex);
        for (const auto& [id, l] : shared().listeners)
            copy.push_back(l);
    }
    for (const auto& l : copy)
        l();
}

} // namespace

EffectSettings currentEffects()
{
    std::lock_guard lock(shared().mutex);
    return shared().effects;
}

EqualizerCurve currentEqualizer()
{
    std::lock_guard lock(shared().mutex);
    return shared().equalizer;
}

void setCurrentEffects(const EffectSettings& settings)
{
    {
        std::lock_guard lock(shared().mutex);
        shared().effects = sanitized(settings);
    }
    notifyAll();
}

void setCurrentEqualizer(const EqualizerCurve& curve)
{
    {
        std::lock_guard lock(shared().mutex);
        for (int i = 0; i < kEqualizerBands; ++i)
            shared().equalizer[i] = std::clamp(curve[i], kEqualizerMinDb, kEqualizerMaxDb);
    }
    notifyAll();
}

int addEffectsListener(EffectsListener listener)
{
    std::lock_guard lock(shared().mutex);
    const int id = shared().nextId++;
    shared().listeners.emplace(id, std::move(listener));
    return id;
}

void removeEffectsListener(int id)
{
    std::lock_guard dispatching(shared().dispatch);
    std::lock_guard lock(shared().mutex);
    shared().listeners.erase(id);
}

} // namespace engines
