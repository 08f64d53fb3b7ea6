#pragma once
// KAMEngine_: the general file engine. Instance 0 serves the Digital Audio Player (WAV, AIFF,
// AU/SND, MPEG audio and whatever else GStreamer decodes); instances 1 and 2 belong to the
// video and MIDI players. Open loads a file without starting it (9300 when the open completes
// later, for http addresses: event 1 with 530 follows); Play starts it. Notifications are
// message 0x7AC with the play cookie: event 1 with 530 ready (late opens only), event 1 with
// 525 at the end, event 2 on failure.

#include "engines/videooutput.h"
#include "platform/messages.h"

#include <cstdint>
#include <vector>

// result (may be null) receives 1 when the file has pictures, else 0. fullScreen: the video
// player's size mode; 3 asks the window for full screen at once.
std::int32_t KAMEngine_Open(int inst, HWND window, const char* path, int cookie, int* result,
                            int fullScreen);
std::int32_t KAMEngine_Play(int inst);
// Stops and goes back to the start; the file stays open.
std::int32_t KAMEngine_Stop(int inst);
// Stops for a while (a dialog): as Pause, resumed by Play.
std::int32_t KAMEngine_StopTemp(int inst);
std::int32_t KAMEngine_Pause(int inst);
std::int32_t KAMEngine_Resume(int inst);
std::int32_t KAMEngine_Close(int inst);
std::int32_t KAMEngine_IsOpen(int inst);
std::int32_t KAMEngine_Seek(int inst, int ms);
std::int32_t KAMEngine_GetPosition(int inst);
std::int32_t KAMEngine_GetLength(int inst);
std::int32_t KAMEngine_GetMode(int inst);
std::int32_t KAMEngine_GetFileInfo(int inst, char* buffer, int size);
std::int32_t KAMEngine_SetEffect(int inst, int reverb, int reverbMode, int reverbDepth, int chorus,
                                 int chorusDepth, int wide, int wideDepth, int fx, int fxMode);
// Speed in thousandths (1000 normal, 250..4000).
std::int32_t KAMEngine_SetSpeed(int inst, int speed);
// The output device and buffer dialog; 1 when the user confirmed it.
std::int32_t KAMEngine_Config(int inst, HWND window);

// Pictures (instance 1). The source rectangle is the picture's size at (0, 0).
std::int32_t KAMEngine_GetSourceRect(int inst, RECT* rect);
std::int32_t KAMEngine_SetMovieRect(int inst, const RECT* rect);
std::int32_t KAMEngine_ShowFullScreen(int inst, int on);
// Pauses, then moves `frames` pictures on (backward 0) or back (1).
std::int32_t KAMEngine_Step(int inst, int frames, int backward);
// The picture shown now as a packed DIB the caller owns; empty when there is none.
std::vector<std::uint8_t> KAMEngine_Capture(int inst);
