#include "cli/audiofile.h"

#include "engines/engineapi.h"
#include "engines/kamengine.h"
#include "engines/kmpengine.h"
#include "engines/kraengine.h"

#include <cstdio>

using namespace engines;

CliAudioFile::CliAudioFile(const AppSettings& settings)
    : m_settings(settings)
{
    std::snprintf(m_wavDir, sizeof m_wavDir, "%s", settings.wavOutputDir.c_str());
    std::snprintf(m_streamDir, sizeof m_streamDir, "%s", settings.streamOutputDir.c_str());
}

CliAudioFile::~CliAudioFile()
{
    stop();
}

bool CliAudioFile::start(const std::string& path, std::string& why)
{
    stop();
    const AppSettings& s = m_settings;
    for (AudioEngine engine :
         audioEnginesFor(path, s.mpaUseInternal != 0, s.wavUseDirectShow != 0)) {
        m_engine = engine;
        std::int32_t r = 0;
        switch (engine) {
        case AudioEngine::Mpeg:
            KMPEngine_SetChannel(s.mp3Channel);
            KMPEngine_SetQuality(s.mp3Quality);
            KMPEngine_SetOutputOptions(s.mp3OutputType, s.mp3BufferCount, s.mp3Priority,
                                       s.saveStream);
            KMPEngine_SetEngine(s.mp3Engine);
            KMPEngine_SetScale(s.outScaleAgc, s.outScaleValue);
            r = KMPEngine_Play(0, path.c_str(), 1, m_wavDir, s.wavOutputAutomaticNaming,
                               m_streamDir);
            break;
        case AudioEngine::RealAudio:
            r = KRAEngine_Play(0, path.c_str(), 1);
            break;
        case AudioEngine::DirectShow:
            r = KAMEngine_Open(0, 0, path.c_str(), 1, nullptr, 0);
            if (r == 1) {
                m_amStarted = KAMEngine_Play(0) == 1;
                if (!m_amStarted) {
                    KAMEngine_Close(0);
                    r = kAmFailed;
                }
            }
            break;
        case AudioEngine::Mci:
            r = m_mci.openElement(path.c_str());
            if (r == 1) {
                m_mci.setTimeFormat(MCI_FORMAT_MILLISECONDS);
                r = m_mci.play(0, -1);
            }
            break;
        }
        if (r > 0) {
            m_open = true;
            return true;
        }
        why = std::string(audioEngineName(engine)) + " result " + std::to_string(r);
        if (IsFileNotReachable(r))
            why += " (the file cannot be reached)";
    }
    return false;
}

int CliAudioFile::mode()
{
    if (!m_open)
        return kModeStopped;
    switch (m_engine) {
    case AudioEngine::Mpeg:
        return KMPEngine_IsOpen() ? KMPEngine_GetMode() : -1;
    case AudioEngine::RealAudio:
        return KRAEngine_IsOpen() ? KRAEngine_GetMode() : -1;
    case AudioEngine::DirectShow: {
        if (!KAMEngine_IsOpen(0))
            return -1;
        const int mode = KAMEngine_GetMode(0);
        // An http address opens later; it starts once it is ready.
        if (!m_amStarted && mode == kModeStopped) {
            m_amStarted = KAMEngine_Play(0) == 1;
            return m_amStarted ? kModePlaying : -1;
        }
        return mode;
    }
    case AudioEngine::Mci: {
        const long mode = m_mci.status(MCI_STATUS_MODE);
        return mode == static_cast<long>(MCI_MODE_NOT_READY) || mode < 0 ? -1
                                                                         : static_cast<int>(mode);
    }
    }
    return -1;
}

int CliAudioFile::positionMs()
{
    if (!m_open)
        return 0;
    switch (m_engine) {
    case AudioEngine::Mpeg:
        return KMPEngine_GetPosition();
    case AudioEngine::RealAudio:
        return KRAEngine_GetPosition();
    case AudioEngine::DirectShow:
        return KAMEngine_GetPosition(0);
    case AudioEngine::Mci:
        return static_cast<int>(m_mci.position());
    }
    return 0;
}

int CliAudioFile::lengthMs()
{
    if (!m_open)
        return 0;
    switch (m_engine) {
    case AudioEngine::Mpeg:
        return KMPEngine_GetLength();
    case AudioEngine::RealAudio:
        return KRAEngine_GetLength();
    case AudioEngine::DirectShow:
        return KAMEngine_GetLength(0);
    case AudioEngine::Mci:
        return static_cast<int>(m_mci.length());
    }
    return 0;
}

std::string CliAudioFile::information()
{
    if (!m_open)
        return {};
    char buffer[1024] = {};
    const AppSettings& s = m_settings;
    switch (m_engine) {
    case AudioEngine::Mpeg: {
        const int flags[6] = {s.viewId3TagTitle, s.viewId3TagArtist,  s.viewId3TagAlbum,
                              s.viewId3TagYear,  s.viewId3TagComment, s.viewId3TagGenre};
        KMPEngine_GetFileInfo(buffer, sizeof buffer, s.viewFileInfo, flags);
        return buffer;
    }
    case AudioEngine::RealAudio:
        KRAEngine_GetFileInfo(buffer, sizeof buffer);
        return buffer;
    case AudioEngine::DirectShow:
        KAMEngine_GetFileInfo(0, buffer, sizeof buffer);
        return buffer;
    case AudioEngine::Mci:
        return m_mci.informationText();
    }
    return {};
}

void CliAudioFile::stop()
{
    if (!m_open)
        return;
    switch (m_engine) {
    case AudioEngine::Mpeg:
        KMPEngine_Stop();
        break;
    case AudioEngine::RealAudio:
        KRAEngine_Stop();
        break;
    case AudioEngine::DirectShow:
        KAMEngine_Close(0);
        break;
    case AudioEngine::Mci:
        m_mci.close();
        break;
    }
    m_open = false;
    m_amStarted = false;
}
