#pragma once
// KMODEngine_: tracker modules (MOD, S3M, XM, IT and the other formats libopenmpt reads),
// rendered by libopenmpt into the output chain in the MIDI role. One module is open at a time:
// Open reads it, Play starts it, Close forgets it. The module engine posts no notifications;
// its mode is polled (525 once the end has been heard).
//
// Open's six integers: the sample rate (44100), then stereo (1) or mono (0), interpolation on
// (1: libopenmpt's default filter) or off (0: nearest sample), two unused, and volume ramping
// on (1) or off (0). A null pointer means 44100, 1, 1, 0, 0, 1.
//
// Beyond the designed calls the engine changes tempo and pitch where libopenmpt offers it
// (kolvo-cli's --tempo and --key): `setModuleTempo` and `setModuleKey`.

#include "platform/messages.h"

#include <cstdint>

std::int32_t KMODEngine_Open(HWND window, const char* path, int cookie, const int* options);
std::int32_t KMODEngine_Play();
std::int32_t KMODEngine_Stop();
std::int32_t KMODEngine_Close();
std::int32_t KMODEngine_Pause();
std::int32_t KMODEngine_Resume();
std::int32_t KMODEngine_Seek(int ms);
std::int32_t KMODEngine_GetPosition();
std::int32_t KMODEngine_GetLength();
std::int32_t KMODEngine_GetMode();
std::int32_t KMODEngine_IsOpen();
// "Format : Impulse Tracker (it)        Title : ...        Channels : 8        Instruments : 12"
std::int32_t KMODEngine_GetFileInfo(char* buffer, int size);

namespace engines {

// Tempo in percent of the module's own (10..500) and pitch in semitones (-12..12) for the open
// module; false when none is open.
bool setModuleTempo(int percent);
bool setModuleKey(int semitones);

} // namespace engines
