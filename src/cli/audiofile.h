#pragma once
// kolvo-cli's way of playing one file as the player it belongs to does (the Digital Audio
// Player, or the MIDI Player for its kinds): the engines that player's engine order gives for
// its type, tried in the same order, set up from the settings. Without a window there are no
// notifications, so the state is read by polling, as the player's timer does.

#include "engines/session.h"
#include "platform/settings.h"

#include <memory>
#include <string>

class CliAudioFile
{
public:
    explicit CliAudioFile(AppSettings& settings);
    ~CliAudioFile();
    CliAudioFile(const CliAudioFile&) = delete;
    CliAudioFile& operator=(const CliAudioFile&) = delete;

    // Opens the file with the first engine that takes it and starts it; false with why the
    // last engine refused it when none does.
    bool start(const std::string& path, std::string& why);
    // The family that took the file, or the last one tried; null before start.
    const engines::EngineFamily* engine() const { return m_family; }
    // The open session; null before start or after a failed one.
    engines::Session* session() const { return m_session.get(); }

    // 530 opening, 526 playing, 529 paused, 525 stopped or ended; -1 when it failed.
    int mode();
    int positionMs();
    int lengthMs();
    std::string information();
    void stop();

private:
    AppSettings& m_settings;
    std::unique_ptr<engines::Session> m_session;
    const engines::EngineFamily* m_family = nullptr;
    int m_cookie = 0;
};
