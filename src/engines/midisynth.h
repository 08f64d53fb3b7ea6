#pragma once
// MIDI files played through FluidSynth into the output chain: the synthesizer, the SoundFont it
// sounds with, and one playback of one file, which both the MIDI engine and the MCI sequencer
// use.
//
// The file is read whole (engines/smf.h) and played by our own sequencer on a worker thread:
// it gives the synthesizer each event at its time, the time scaled by the tempo factor, notes
// moved by the key (never on channel 10, the drums), and renders the sound in between straight
// into the output chain in the MIDI role, so the effects, the equalizer and the spectrum apply
// as to any other sound. The output keeps a quarter second queued; positions are those heard,
// read from the output, so the karaoke words come exactly when their notes are heard. After
// the last event the synthesizer's release is played until it is silent, but never longer than
// a second and a half: a song ends where it ends, not after a long reverb tail.
//
// The SoundFont is loaded on the first play, not at start-up, and kept for the next.

#include "engines/karaoke.h"
#include "engines/outputchain.h"
#include "engines/smf.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace engines {

// The SoundFont the user chose (the "MIDI"/"SoundFont" setting); "" for the usual places.
void setSoundFontChoice(const std::string& path);
// The SoundFont a play uses: the user's choice when that file is there, else FluidR3_GM when it
// is installed, else TimGM6mb (the default package), else the system's default-GM.sf2, else any
// *.sf2 in /usr/share/sounds/sf2 (or $KOLVO_SF2_DIR for tests). "" when there is none.
std::string findSoundFont();
// Whether a synthesizer with that SoundFont is loaded and free, so a play starts at once.
bool soundFontReady(const std::string& soundFont);
// Loads a synthesizer with the SoundFont and keeps it for the next play (the slow part of a
// first play, for a thread of its own); false with `why`.
bool preloadSoundFont(const std::string& soundFont, std::string& why);
// Where findSoundFont looks, in order (for messages).
std::vector<std::string> soundFontPlaces();
// The folder of installed SoundFonts.
std::string soundFontDir();

class MidiSynth;

class MidiPlayback
{
public:
    struct Callbacks
    {
        // A karaoke cue became due (called on the playback's thread).
        std::function<void(const midi::KaraokeCue&)> karaoke;
        std::function<void()> ended; // the song was heard to its end
        std::function<void(const std::string& why)> failed;
    };

    // Reads the file; null with `why` (starting with the cause for people) when it cannot be
    // played. The SoundFont is not loaded yet.
    static std::unique_ptr<MidiPlayback> open(const std::string& path, std::string& why);
    ~MidiPlayback();
    MidiPlayback(const MidiPlayback&) = delete;
    MidiPlayback& operator=(const MidiPlayback&) = delete;

    // Loads the SoundFont (once per process and SoundFont) and starts the sound at the start;
    // false with `why` when no SoundFont can be loaded or the output cannot start.
    bool start(ChainRole role, Callbacks callbacks, std::string& why);
    // The SoundFont a start would use ("" when none is installed); chosen once per playback.
    const std::string& chooseSoundFont();
    // Plays from `ms` (after a stop, or again after the end).
    bool playFrom(double ms, std::string& why);
    void pause();
    void resume();
    // Moves to `ms` of the song; a paused playback stays paused, a stopped one stays stopped
    // there. The karaoke page around the new place is sent again.
    void seek(double ms);
    // Stops where it is (positionMs() stays there).
    void stop();

    int mode() const; // 525, 526 or 529
    double positionMs();
    double lengthMs() const { return m_song.lengthMs; }
    // 1.0 is the file's own tempo; 0.1..5.
    void setTempoFactor(double factor);
    double tempoFactor() const { return m_factor.load(); }
    // Semitones, -12..12.
    void setKey(int semitones);
    int key() const { return m_key.load(); }

    const midi::Song& song() const { return m_song; }
    const midi::KaraokeScript& karaoke() const { return m_karaoke; }
    const std::string& soundFont() const { return m_soundFont; }
    // "Standard MIDI file, format 1, 9 tracks, 120 BPM" and the like.
    std::string describe() const;

private:
    struct Run;
    MidiPlayback() = default;
    bool ensureSynth(std::string& why);
    void startAt(double ms, bool paused);
    void endRun();
    void work(Run* run);
    void postCuesUpTo(Run* run, double ms);

    midi::Song m_song;
    midi::KaraokeScript m_karaoke;
    std::string m_soundFont;
    ChainRole m_role = ChainRole::Midi;
    Callbacks m_callbacks;
    std::unique_ptr<MidiSynth> m_synth;
    std::unique_ptr<Run> m_run;
    double m_stoppedAt = 0; // where a stopped or ended playback stands
    std::atomic<double> m_factor{1.0};
    std::atomic<int> m_key{0};
};

// Renders a whole file as fast as it goes, without an output, for measurements: the frames
// rendered (stereo, 44.1 kHz), or -1 with `why`.
long long renderMidiFile(const std::string& path, const std::string& soundFont, std::string& why);

} // namespace engines
