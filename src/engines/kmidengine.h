#pragma once
// KMIDEngine_: MIDI and karaoke MIDI files over FluidSynth (engines/midisynth.h). One file at a
// time; Play reads, opens and starts it in one call and answers 1 with the length known, Stop
// ends it. When the SoundFont is not loaded yet (the first song, or after another was chosen)
// Play answers 9450 at once, with the length known, and loads it on a thread of its own: the
// mode is 530 meanwhile, and event 1 with 526 tells that the song starts (event 2 with -9452
// that no SoundFont could be loaded). Notifications are message 0x798 with the play cookie:
// event 1 with 525 when the song has been heard to its end, event 2 when the sound output
// failed. While a karaoke file plays, its words go to the same window as the karaoke
// events of engines/karaoke.h (message 0x784), each when its notes are heard; the records they
// point to stay valid until the second Play after.
//
// Tempo: GetTempo gives the file's starting tempo in thousandths of a beat per minute
// (120 BPM is 120000); SetTempo takes a tempo in the same unit and plays the song that much
// faster or slower (10 % to 500 % of the file's own). Key: SetKey moves every note but the
// drums by -12..12 semitones from the next note on; GetKey(0) gives the key set.

#include "platform/messages.h"

#include <cstdint>

// Failures of our own: the file is there but cannot be played.
constexpr std::int32_t kMidiFailed = -9451;      // not a MIDI file, or damaged beyond playing
constexpr std::int32_t kMidiNoSoundFont = -9452; // no SoundFont to play with
constexpr std::int32_t kMidiNoOutput = -9453;    // the sound output failed

std::int32_t KMIDEngine_Play(HWND window, const char* path, int cookie);
std::int32_t KMIDEngine_Stop();
std::int32_t KMIDEngine_Pause();
std::int32_t KMIDEngine_Resume();
std::int32_t KMIDEngine_Seek(int ms);
std::int32_t KMIDEngine_GetPosition();
std::int32_t KMIDEngine_GetLength();
std::int32_t KMIDEngine_GetMode();
std::int32_t KMIDEngine_IsOpen();
std::int32_t KMIDEngine_GetFileInfo(char* buffer, int size);
std::int32_t KMIDEngine_GetTempo();
std::int32_t KMIDEngine_SetTempo(int tempo);
std::int32_t KMIDEngine_GetKey(int reserved);
std::int32_t KMIDEngine_SetKey(int key);
std::int32_t KMIDEngine_IsKaraoke();
// 20 band values 0..100 of what the MIDI Player sounds; nonzero when filled.
std::int32_t KMIDEngine_GetSpectrum(std::int32_t* buffer);
