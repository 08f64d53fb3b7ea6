#pragma once
// kolvo-cli's way of playing one audio file as the Digital Audio Player does (or a MIDI, karaoke
// or other file of the MIDI Player as that player does): the engines the player's engine order
// gives for its type, tried in the same order, set up from the settings. Without a window there are
// no notifications, so the state is read by polling, as the player's timer does.

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

    // 530 opening, 526 playing, 529 paused, 525 stopped or ended; -1 when it failed.
    int mode();
    int positionMs();
    int lengthMs();
    std::string information();
    // As the MIDI Player's Fast, Slow, Key High and Key Low: the tempo as a percent of the
    // file's own (the engine's base tempo x percent / 100), the key in semitones. False when
    // the engine that took the file has no such control.
    bool setTempoPercent(int percent);
    bool setKey(int semitones);
    void stop();

private:
    AppSettings& m_settings;
    std::unique_ptr<engines::Session> m_session;
    const engines::EngineFamily* m_family = nullptr;
    int m_cookie = 0;
    int m_baseTempo = 0;
};
