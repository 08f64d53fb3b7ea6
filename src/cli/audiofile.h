#pragma once
// kolvo-cli's way of playing one audio file as the Digital Audio Player does: the engines its
// type calls for, tried in order, set up from the settings. Without a window there are no
// notifications, so the state is read by polling, as the player's timer does.

#include "engines/audioengines.h"
#include "engines/mcidevice.h"
#include "platform/settings.h"

#include <string>

class CliAudioFile
{
public:
    explicit CliAudioFile(const AppSettings& settings);
    ~CliAudioFile();
    CliAudioFile(const CliAudioFile&) = delete;
    CliAudioFile& operator=(const CliAudioFile&) = delete;

    // Opens the file with the first engine that takes it and starts it; false with the last
    // engine's result when none does.
    bool start(const std::string& path, std::string& why);
    engines::AudioEngine engine() const { return m_engine; }

    // 530 opening, 526 playing, 529 paused, 525 stopped or ended; -1 when it failed.
    int mode();
    int positionMs();
    int lengthMs();
    std::string information();
    void stop();

private:
    const AppSettings& m_settings;
    engines::AudioEngine m_engine = engines::AudioEngine::Mci;
    bool m_open = false;
    bool m_amStarted = false;
    MciDevice m_mci;
    char m_wavDir[256] = {};
    char m_streamDir[256] = {};
};
