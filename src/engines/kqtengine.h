#pragma once
// KQT3Engine_ and KQTEngine_: the two QuickTime engines, the second tried when the first
// refuses a film. KQT3Engine_ takes an instance first (1 for the video player). Neither posts
// notifications: the player polls the mode (526 once started, 525 at the end). Both decode
// through GStreamer's QuickTime demuxer; the older engine is the same decoder behind the older
// calls.

#include "engines/videooutput.h"
#include "platform/messages.h"

#include <cstdint>
#include <vector>

std::int32_t KQT3Engine_Open(int inst, HWND window, const char* path, int cookie, int reserved);
std::int32_t KQT3Engine_Play(int inst);
std::int32_t KQT3Engine_Stop(int inst);
std::int32_t KQT3Engine_Pause(int inst);
std::int32_t KQT3Engine_Resume(int inst);
std::int32_t KQT3Engine_Close(int inst);
std::int32_t KQT3Engine_IsOpen(int inst);
std::int32_t KQT3Engine_Seek(int inst, int ms);
std::int32_t KQT3Engine_GetPosition(int inst);
std::int32_t KQT3Engine_GetLength(int inst);
std::int32_t KQT3Engine_GetMode(int inst);
std::int32_t KQT3Engine_GetFileInfo(int inst, char* buffer, int size);
std::int32_t KQT3Engine_GetSourceRect(int inst, RECT* rect);
std::int32_t KQT3Engine_SetMovieRect(int inst, const RECT* rect);
std::int32_t KQT3Engine_SetSpeed(int inst, int speed);
std::int32_t KQT3Engine_Step(int inst, int frames, int backward);
// The picture shown now as a packed DIB (empty when there is none).
std::vector<std::uint8_t> KQT3Engine_Capture(int inst);
std::int32_t KQT3Engine_Update(int inst);
std::int32_t KQT3Engine_OnIdle(int inst);

std::int32_t KQTEngine_Open(HWND window, const char* path, int viewer);
std::int32_t KQTEngine_Play();
std::int32_t KQTEngine_Stop();
std::int32_t KQTEngine_Pause();
std::int32_t KQTEngine_Resume();
std::int32_t KQTEngine_Close();
std::int32_t KQTEngine_IsOpen();
std::int32_t KQTEngine_Seek(int ms);
std::int32_t KQTEngine_GetPosition();
std::int32_t KQTEngine_GetLength();
std::int32_t KQTEngine_GetMode();
std::int32_t KQTEngine_GetFileInfo(char* buffer, int size);
std::int32_t KQTEngine_GetSourceRect(RECT* rect);
std::int32_t KQTEngine_SetMovieRect(const RECT* rect);
std::int32_t KQTEngine_SetSpeed(int speed);
std::int32_t KQTEngine_Step(int frames, int backward);
std::vector<std::uint8_t> KQTEngine_Capture();
std::int32_t KQTEngine_Update();
std::int32_t KQTEngine_OnIdle();
