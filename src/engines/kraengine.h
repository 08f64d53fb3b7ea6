#pragma once
// KRAEngine_: the RealAudio engine (.ra, .rm with cook, 14.4 or 28.8 sound, and .ram lists of
// clips). Play opens and starts in one call; the sound starts later: mode 530 until then.
// Notifications are message 0x7D4 with the play cookie: event 1 with 526 each time a clip
// starts (its length is known then), event 1 with 525 after the last clip, event 2 on failure.
// A clip that cannot be played is passed over for the next one of the list.

#include "platform/messages.h"

#include <cstdint>

std::int32_t KRAEngine_Play(HWND window, const char* path, int cookie);
std::int32_t KRAEngine_Stop();
std::int32_t KRAEngine_Pause();
std::int32_t KRAEngine_Resume();
std::int32_t KRAEngine_Seek(int ms);
std::int32_t KRAEngine_GetPosition();
std::int32_t KRAEngine_GetLength();
std::int32_t KRAEngine_GetMode();
std::int32_t KRAEngine_IsOpen();
std::int32_t KRAEngine_GetFileInfo(char* buffer, int size);
// Positive when another clip of the list starts; negative when there is none.
std::int32_t KRAEngine_GotoNextClip();
std::int32_t KRAEngine_GotoPrevClip();
