#pragma once
// The frame the four media players share: the state machine, the transport commands, the
// half-second position poll with end-of-song handling, the engine notifications, the routed
// component messages, the player settings and the information line. A player adds its
// engines and what it does differently.

#include "albums/album.h"
#include "players/component.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class DisplayPanel;
class LyricViewer;
struct ButtonDescriptor;

// Component states (the engines' mode numbers).
constexpr int kStateNotReady = 524;
constexpr int kStateStopped = 525;
constexpr int kStatePlaying = 526;
constexpr int kStateRecording = 527;
constexpr int kStatePaused = 529;
constexpr int kStateOpening = 530;

// Texts of the players that the string table holds under our own ids.
namespace playertext {
constexpr UINT CantPlay = 39200;       // "Can't play Track %d, %s File."
constexpr UINT ContactingHost = 39201; // "Contacting Host..."
constexpr UINT AddAudioFiles = 39202;
constexpr UINT AddMidiFiles = 39203;
constexpr UINT AddVideoFiles = 39204;
constexpr UINT RepeatTip = 39205;       // + " [No repeat]" ... (39206-39208)
constexpr UINT PlayMethodTip = 39209;   // (39210-39213)
constexpr UINT TimeDisplayTip = 39214;  // (39215-39216)
constexpr UINT NoSelectedSong = 39217;  // "There is no selected Song."
constexpr UINT NotAvailableYet = 39218; // a button whose feature is still to come
} // namespace playertext

class PlayerFrame : public ComponentWnd
{
    Q_OBJECT
public:
    ~PlayerFrame() override;

    // The frame's operations, as the commands, the remote control and the other players use
    // them. OpenAndPlay returns 1 when a song is playing (or opening), else 0.
    int OpenAndPlay(int n);
    void SetState(int state);
    void Next(bool user);
    void Previous(bool user);
    void StopPlayer(bool user);
    void Pause();
    void PlayPause();

    int state() const { return m_state; }
    Album& album() { return m_album; }
    const Album& album() const { return m_album; }
    const std::string& messageText() const { return m_message; }
    const std::string& infoText() const { return m_info; }
    const std::string& playingPath() const { return m_playingPath; }
    int positionSeconds() const { return m_position; }
    int cookie() const { return m_cookie; }
    DisplayPanel* panel() const { return m_panel; }
    LyricViewer* lyricViewer() const { return m_lyric.get(); }
    ComponentRecord& record() const;

    // The information line as it would be built now (without the message of a failure).
    std::string BuildInfoText() const;

protected:
    PlayerFrame(int index, AlbumKind kind, PlayerHost& host, QWidget* parent,
                const ButtonDescriptor* buttons, int panelKind, bool hasLyricViewer);

    // For the buttons of features still to come: they say so rather than nothing.
    void ShowNotAvailableYet();

    // --- what each player does its own way ---
    // Opens and starts `path` with the player's engines, in its order; before each engine
    // open it takes a new cookie with nextCookie(). Returns > 0 on success (and sets the
    // state), else the last engine's result code.
    virtual std::int32_t OpenEngines(const std::string& path) = 0;
    // The open engine's mode, or 0 when none is open.
    virtual int EngineMode() = 0;
    virtual int EnginePositionMs() = 0;
    virtual int EngineLengthMs() = 0;
    virtual void EnginePause() = 0;
    virtual void EngineResume() = 0;
    // Seeks and goes on in the same mode (a paused engine is paused again).
    virtual void EngineSeek(int ms) = 0;
    virtual void CloseEngines() = 0;
    virtual std::string EngineInfoText() = 0;
    virtual bool GotoNextClip() { return false; }
    virtual bool GotoPrevClip() { return false; }
    // Whether a notification message belongs to the open engine, and what to do when it
    // reports a ready (or playing) mode before the frame takes the song as playing; false
    // when the engine failed at that point.
    virtual bool IsEngineNotification(UINT msg) const = 0;
    virtual bool OnEngineReady(UINT msg, int mode);
    virtual UINT EmptyAlbumHintId() const = 0;
    // Commands the player adds or handles its own way; false for the frame's own handling.
    virtual bool OnPlayerCommand(int id);
    // Loads the album the player starts with (command line, recent, "Default").
    virtual void LoadStartAlbum();
    virtual bool IsRecording() const { return false; }

    int nextCookie();
    void ClearLyric();
    void ShowLyricFor(const std::string& path);
    void RedrawDisplay();
    void UpdateIndicators();
    void SaveAlbum();
    // Play-list files and media files dropped or handed over become songs; returns how many.
    int AddFiles(const std::vector<std::string>& paths);
    // The "play the pending file" command.
    void PlayPendingFile();

    LRESULT onMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void paintEvent(QPaintEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;

    Album m_album;
    int m_state = kStateNotReady;
    int m_position = 0; // whole seconds
    std::string m_message;
    std::string m_info;
    std::string m_playingPath;
    DisplayPanel* m_panel = nullptr;
    std::unique_ptr<LyricViewer> m_lyric;
    std::string m_engineInfo; // the open engine's information text

private:
    void OnCommand(int id);
    LRESULT OnComponentCommand(LPARAM lParam);
    void OnTick();
    void OnEngineNotification(UINT msg, WPARAM wParam, LPARAM lParam);
    void FastForward();
    void Rewind();
    void SeekSlider(int seconds);
    void CycleRepeat();
    void CyclePlayMethod();
    void CycleTimeDisplay();
    void FillStatus(ComponentStatus& status) const;
    void QuickAlbumSelect();
    void QuickTrackSelect();
    void EditProgram();
    void FailedToPlay(int n, const std::string& path);

    int m_cookie = 0;
};

// Dialog re-entrance: a second modal dialog asked for while one is open is ignored.
class ModalGuard
{
public:
    ModalGuard();
    ~ModalGuard();
    ModalGuard(const ModalGuard&) = delete;
    ModalGuard& operator=(const ModalGuard&) = delete;
    bool entered() const { return m_entered; }

private:
    bool m_entered;
};
