#pragma once
// The effect values the Sound Effector hands to the engines, what they mean for the output
// chain, and the one place they are kept: every output chain of the program follows the last
// values given, whichever engine they were given to.

#include <array>
#include <functional>

namespace engines {

struct EffectSettings
{
    int reverb = 0;
    int reverbMode = 0; // 0 hall, 1 room, 2 stage, 3 stadium
    int reverbDepth = 16;
    int chorus = 0; // 3D
    int chorusDepth = 16;
    int wide = 0;
    int wideDepth = 16;
    int fx = 0;
    int fxMode = 0; // 0..10: flange, inv. flange, robot 1, 2, pitch +1 +2 +4, -1 -2 -4, dry

    bool operator==(const EffectSettings&) const = default;
};

// Out-of-range values are pulled into range (depths 0..32, modes to their tables).
EffectSettings sanitized(const EffectSettings& settings);

constexpr int kEqualizerBands = 20;
using EqualizerCurve = std::array<int, kEqualizerBands>;

// Band values are gains in dB, limited to this range.
constexpr int kEqualizerMinDb = -12;
constexpr int kEqualizerMaxDb = 12;
// Centre frequency of each band in Hz: a geometric series from 31.5 Hz to 16 kHz.
double equalizerCentre(int band);
// The width of each band in Hz (the distance to its neighbours' midpoints).
double equalizerWidth(int band);

// The Sound Effector's presets, modes 0..5 (Rock, Pop, Jazz, Classic, Vocal, Flat).
extern const std::array<EqualizerCurve, 6> kEqualizerPresets;

struct ReverbRoom
{
    float roomSize;
    float damping;
    float width;
};
ReverbRoom reverbRoom(int mode);
// freeverb's wet level for a depth 0..32.
float reverbLevel(int depth);

// Semitones of the pitch F/X modes (4..9); 0 for the others.
int fxPitchSemitones(int fxMode);
// True when the settings ask the pitch shifter for anything.
bool wantsPitch(const EffectSettings& settings);

// The program-wide values. Setting them tells every listener (the live output chains).
EffectSettings currentEffects();
EqualizerCurve currentEqualizer();
void setCurrentEffects(const EffectSettings& settings);
void setCurrentEqualizer(const EqualizerCurve& curve);

using EffectsListener = std::function<void()>;
// Returns an id for removeEffectsListener. Listeners are called on the thread that set the
// values, outside the lock.
int addEffectsListener(EffectsListener listener);
void removeEffectsListener(int id);

} // namespace engines
