#include "engines/krvengine.h"

#include "engines/engineapi.h"
#include "engines/videoengine.h"

namespace {

engines::VideoFileEngine& rv()
{
    static engines::VideoFileEngine engine(
        {"RealVideo engine", kNotifyRealVideo, kRvNotFound, kRvFailed});
    return engine;
}

} // namespace

std::int32_t KRVEngine_Open(HWND window, const char* path, int cookie)
{
    return rv().open(window, path, cookie);
}
std::int32_t KRVEngine_Play()
{
    return rv().play();
}
std::int32_t KRVEngine_Stop()
{
    return rv().stop();
}
std::int32_t KRVEngine_Pause()
{
    return rv().pause();
}
std::int32_t KRVEngine_Resume()
{
    return rv().resume();
}
std::int32_t KRVEngine_Close()
{
    return rv().close();
}
std::int32_t KRVEngine_IsOpen()
{
    return rv().isOpen();
}
std::int32_t KRVEngine_Seek(int ms)
{
    return rv().seek(ms);
}
std::int32_t KRVEngine_GetPosition()
{
    return rv().position();
}
std::int32_t KRVEngine_GetLength()
{
    return rv().length();
}
std::int32_t KRVEngine_GetMode()
{
    return rv().mode();
}
std::int32_t KRVEngine_GetFileInfo(char* buffer, int size)
{
    return rv().fileInfo(buffer, size);
}
std::int32_t KRVEngine_GetSourceRect(RECT* rect)
{
    return rv().sourceRect(rect);
}
std::int32_t KRVEngine_SetMovieRect(const RECT* rect)
{
    return rv().setMovieRect(rect);
}
