#pragma once
// KRVEngine_: the RealVideo engine (.rm films through GStreamer's RealMedia demuxer and libav's
// RealVideo and RealAudio decoders). One film at a time. Open loads it (its third argument is
// the viewer's play cookie), Play starts it; message 0x7A2 with the cookie reports event 1 with
// 526 when the picture starts (length known), 525 at the end, and event 2 on failure.

#include "engines/videooutput.h"
#include "platform/messages.h"

#include <cstdint>

std::int32_t KRVEngine_Open(HWND window, const char* path, int cookie);
std::int32_t KRVEngine_Play();
std::int32_t KRVEngine_Stop();
std::int32_t KRVEngine_Pause();
std::int32_t KRVEngine_Resume();
std::int32_t KRVEngine_Close();
std::int32_t KRVEngine_IsOpen();
std::int32_t KRVEngine_Seek(int ms);
std::int32_t KRVEngine_GetPosition();
std::int32_t KRVEngine_GetLength();
std::int32_t KRVEngine_GetMode();
std::int32_t KRVEngine_GetFileInfo(char* buffer, int size);
std::int32_t KRVEngine_GetSourceRect(RECT* rect);
std::int32_t KRVEngine_SetMovieRect(const RECT* rect);
