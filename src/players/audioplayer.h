#pragma once
// The Digital Audio Player: albums of WAVE, AIFF, AU, MPEG audio and RealAudio files, played
// through the MPEG, RealAudio and general file engines, with the MCI device as the last
// resort; stream saving and lyrics.

#include "engines/mcidevice.h"
#include "players/playerframe.h"

class AudioPlayer : public PlayerFrame
{
    Q_OBJECT
public:
    AudioPlayer(PlayerHost& host, QWidget* parent);
    ~AudioPlayer() override;

    enum class Engine { None, Mpeg, RealAudio, General, Mci };
    Engine openEngine() const { return m_engine; }

    // Puts the demo songs into a new "Default" album when the album database does not exist
    // yet (the very first start). True when it did.
    static bool SeedDefaultAlbum(const std::string& demoDir);

protected:
    std::int32_t OpenEngines(const std::string& path) override;
    int EngineMode() override;
    int EnginePositionMs() override;
    int EngineLengthMs() override;
    void EnginePause() override;
    void EngineResume() override;
    void EngineSeek(int ms) override;
    void CloseEngines() override;
    std::string EngineInfoText() override;
    bool GotoNextClip() override;
    bool GotoPrevClip() override;
    bool IsEngineNotification(UINT msg) const override;
    bool OnEngineReady(UINT msg, int mode) override;
    UINT EmptyAlbumHintId() const override { return playertext::AddAudioFiles; }
    bool OnPlayerCommand(int id) override;

private:
    std::int32_t OpenMpeg(const std::string& path);
    std::int32_t OpenGeneral(const std::string& path);
    std::int32_t OpenMci(const std::string& path);
    void ApplyEffects();
    void OpenFiles();
    void ToggleSaveStream();
    void ToggleLyric();
    void Configure();

    Engine m_engine = Engine::None;
    MciDevice m_mci;
};
