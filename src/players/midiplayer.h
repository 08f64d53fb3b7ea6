#pragma once
// The MIDI Player: albums of MIDI, karaoke MIDI, IMS files and tracker modules, each played by
// the families the engine order gives for its kind (MIDI and karaoke files: the MIDI engine
// over FluidSynth, then the MCI sequencer), with tempo and key control and the karaoke viewer.
//
// Fast and Slow step the tempo display by 10 % within 10..500 %, the engine getting the base
// tempo it reported x percent / 100; Key High and Key Low step the key display by a semitone
// within -12..12. Both only while a song plays, each display lit only while its control
// applies: a module shows neither, the MCI sequencer has a tempo but no key. The engines are
// given the karaoke viewer's window: it shows the words of a karaoke file and passes the
// engines' notices on to the player.

#include "players/playerframe.h"

#include <memory>

class DigitDisplay;
class KaraokeViewer;

class MidiPlayer : public PlayerFrame
{
    Q_OBJECT
public:
    MidiPlayer(PlayerHost& host, QWidget* parent);
    ~MidiPlayer() override;

    // The karaoke viewer (made when first needed).
    KaraokeViewer* karaokeViewer();
    DigitDisplay* tempoDisplay() const { return m_tempoDisplay; }
    DigitDisplay* keyDisplay() const { return m_keyDisplay; }
    int tempoPercent() const { return m_tempo; }
    int key() const { return m_key; }
    int baseTempo() const { return m_baseTempo; }

    static QString OpenFilter();

protected:
    bool OwnsStartMode(int startMode) const override { return startMode == StartModeMidi; }
    UINT EmptyAlbumHintId() const override { return playertext::AddMidiFiles; }
    std::int32_t OpenTrack(int n) override;
    engines::SessionContext sessionContext() override;
    bool OnPlayerCommand(int id) override;
    void OnPlayerTick() override;
    std::string OpeningText() const override;
    LRESULT onMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    QString OpenFilesFilter() const override { return OpenFilter(); }

private:
    // The open song's tempo, key and words: the displays, the karaoke viewer, the spectrum.
    void TakeSong();
    void Fast(bool faster);
    void ChangeKey(bool higher);
    void ShowTempo(int percent, bool lit);
    void ShowKey(int key, bool lit);
    // What a stop leaves: both displays dark, the viewer hidden, the spectrum source off.
    void AfterStop();

    std::unique_ptr<KaraokeViewer> m_karaoke;
    DigitDisplay* m_tempoDisplay = nullptr;
    DigitDisplay* m_keyDisplay = nullptr;
    int m_tempo = 100;
    int m_key = 0;
    int m_baseTempo = 0;
    bool m_spectrumRunning = false;
};
