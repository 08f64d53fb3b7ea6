#include "engines/kqtengine.h"

#include "engines/engineapi.h"
#include "engines/videoengine.h"

#include <array>

namespace {

using engines::VideoFileEngine;

constexpr int kInstances = 3;
constexpr VideoFileEngine::Codes kQt3Codes{"QuickTime 3 engine", 0, kQtNotFound, kQtFailed};
constexpr VideoFileEngine::Codes kQtCodes{"QuickTime engine", 0, kQtNotFound, kQtFailed};

VideoFileEngine* qt3(int inst)
{
    static std::array<VideoFileEngine, kInstances> engines{
        VideoFileEngine(kQt3Codes), VideoFileEngine(kQt3Codes), VideoFileEngine(kQt3Codes)};
    return inst >= 0 && inst < kInstances ? &engines[static_cast<size_t>(inst)] : nullptr;
}

VideoFileEngine& qt()
{
    static VideoFileEngine engine(kQtCodes);
    return engine;
}

} // namespace

std::int32_t KQT3Engine_Open(int inst, HWND window, const char* path, int cookie, int)
{
    VideoFileEngine* e = qt3(inst);
    return e ? e->open(window, path, cookie) : kQtFailed;
}

#define KOLVO_QT3(call) return qt3(inst) ? qt3(inst)->call : 0

std::int32_t KQT3Engine_Play(int inst)
{
    KOLVO_QT3(play());
}
std::int32_t KQT3Engine_Stop(int inst)
{
    KOLVO_QT3(stop());
}
std::int32_t KQT3Engine_Pause(int inst)
{
    KOLVO_QT3(pause());
}
std::int32_t KQT3Engine_Resume(int inst)
{
    KOLVO_QT3(resume());
}
std::int32_t KQT3Engine_Close(int inst)
{
    KOLVO_QT3(close());
}
std::int32_t KQT3Engine_IsOpen(int inst)
{
    KOLVO_QT3(isOpen());
}
std::int32_t KQT3Engine_Seek(int inst, int ms)
{
    KOLVO_QT3(seek(ms));
}
std::int32_t KQT3Engine_GetPosition(int inst)
{
    KOLVO_QT3(position());
}
std::int32_t KQT3Engine_GetLength(int inst)
{
    KOLVO_QT3(length());
}
std::int32_t KQT3Engine_GetMode(int inst)
{
    return qt3(inst) ? qt3(inst)->mode() : kModeNotReady;
}
std::int32_t KQT3Engine_GetFileInfo(int inst, char* buffer, int size)
{
    KOLVO_QT3(fileInfo(buffer, size));
}
std::int32_t KQT3Engine_GetSourceRect(int inst, RECT* rect)
{
    KOLVO_QT3(sourceRect(rect));
}
std::int32_t KQT3Engine_SetMovieRect(int inst, const RECT* rect)
{
    KOLVO_QT3(setMovieRect(rect));
}
std::int32_t KQT3Engine_SetSpeed(int inst, int speed)
{
    KOLVO_QT3(setSpeed(speed));
}
std::int32_t KQT3Engine_Step(int inst, int frames, int backward)
{
    KOLVO_QT3(step(frames, backward));
}
std::int32_t KQT3Engine_Update(int inst)
{
    KOLVO_QT3(update());
}
std::int32_t KQT3Engine_OnIdle(int inst)
{
    KOLVO_QT3(isOpen());
}

#undef KOLVO_QT3

std::vector<std::uint8_t> KQT3Engine_Capture(int inst)
{
    return qt3(inst) ? qt3(inst)->capture() : std::vector<std::uint8_t>();
}

// The older engine's open has no cookie: it posts nothing to tell one open from another.
std::int32_t KQTEngine_Open(HWND window, const char* path, int)
{
    return qt().open(window, path, 0);
}
std::int32_t KQTEngine_Play()
{
    return qt().play();
}
std::int32_t KQTEngine_Stop()
{
    return qt().stop();
}
std::int32_t KQTEngine_Pause()
{
    return qt().pause();
}
std::int32_t KQTEngine_Resume()
{
    return qt().resume();
}
std::int32_t KQTEngine_Close()
{
    return qt().close();
}
std::int32_t KQTEngine_IsOpen()
{
    return qt().isOpen();
}
std::int32_t KQTEngine_Seek(int ms)
{
    return qt().seek(ms);
}
std::int32_t KQTEngine_GetPosition()
{
    return qt().position();
}
std::int32_t KQTEngine_GetLength()
{
    return qt().length();
}
std::int32_t KQTEngine_GetMode()
{
    return qt().mode();
}
std::int32_t KQTEngine_GetFileInfo(char* buffer, int size)
{
    return qt().fileInfo(buffer, size);
}
std::int32_t KQTEngine_GetSourceRect(RECT* rect)
{
    return qt().sourceRect(rect);
}
std::int32_t KQTEngine_SetMovieRect(const RECT* rect)
{
    return qt().setMovieRect(rect);
}
std::int32_t KQTEngine_SetSpeed(int speed)
{
    return qt().setSpeed(speed);
}
std::int32_t KQTEngine_Step(int frames, int backward)
{
    return qt().step(frames, backward);
}
std::vector<std::uint8_t> KQTEngine_Capture()
{
    return qt().capture();
}
std::int32_t KQTEngine_Update()
{
    return qt().update();
}
std::int32_t KQTEngine_OnIdle()
{
    return qt().isOpen();
}
