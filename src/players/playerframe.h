#pragma once
// The frame the four media players share: the state machine, the transport commands, the
// half-second position poll with end-of-song handling, the engine notifications, the routed
// component messages, the player settings, the information line and the recording state. It
// drives the open track through an engines::Session, so a player adds only what is its own:
// the start modes it owns, how it opens a track (a file through the engine order, or a
// numbered CD track), its extra commands and messages.

#include "albums/album.h"
#include "engines/session.h"
#include "players/component.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class DisplayPanel;
class QMenu;
class LyricViewer;
struct ButtonDescriptor;

// Texts of the players that the string table holds under our own ids.
namespace playertext {
constexpr UINT CantPlay = 39200;       // "Can't play Track %d, %s File."
constexpr UINT ContactingHost = 39201; // "Contacting Host..."
constexpr UINT AddAudioFiles = 39202;
constexpr UINT AddMidiFiles = 39203;
constexpr UINT AddVideoFiles = 39204;
constexpr UINT RepeatTip = 39205;        // + " [No repeat]" ... (39206-39208)
constexpr UINT PlayMethodTip = 39209;    // (39210-39213)
constexpr UINT TimeDisplayTip = 39214;   // (39215-39216)
constexpr UINT NoSelectedSong = 39217;   // "There is no selected Song."
constexpr UINT NotAvailableYet = 39218;  // a button whose feature is still to come
constexpr UINT TitlesFromCdText = 39219; // "Titles read from the disc's CD-Text."
constexpr UINT RecordingTo = 2054;       // "Recording to %s."
} // namespace playertext

class PlayerFrame : public ComponentWnd
{
    Q_OBJECT
public:
    ~PlayerFrame() override;

    // The frame's operations, as the commands, the remote control and the other players use
    // them. OpenAndPlay returns 1 when a track is playing (or opening), else 0.
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
    // The open engine session, or null.
    engines::Session* session() const { return m_session.get(); }
    bool isRecording() const;

    // The information line as it would be built now (without the message of a failure).
    virtual std::string BuildInfoText() const;

protected:
    PlayerFrame(int index, AlbumKind kind, PlayerHost& host, QWidget* parent,
                const ButtonDescriptor* buttons, bool hasLyricViewer);

    // For the buttons of features still to come: they say so rather than nothing.
    void ShowNotAvailableYet();
    // Tells the other players to stop (UM_COMMAND Stop with 1, which a stopped player ignores):
    // only one player sounds at a time, and none plays over a recording.
    void StopOtherPlayers();

    // --- what each player does its own way ---
    // The start modes of the command line this player carries out at its first tick.
    virtual bool OwnsStartMode(int startMode) const = 0;
    // Opens track n of the album and starts it; on success the player hands the open
    // session to adoptSession() and returns > 0, else the last failure code. The default
    // plays the song's path (then the same path on the other drives) with the engines of
    // EnginesFor(); a player of numbered tracks (a CD) opens its own session instead.
    virtual std::int32_t OpenTrack(int n);
    // Where song n may be: its path, then the same path on the other drives; none for a song
    // without a path.
    std::vector<std::string> SongPaths(int n) const;
    // The once-a-session message box: the sound output cannot be opened, and why.
    void TellSoundOutputProblem(const std::string& why);
    // The engine families for a file, first to last.
    virtual engines::EngineOrder EnginesFor(const std::string& path) const;
    // What the failure message and the status call track n.
    virtual std::string TrackName(int n) const;
    virtual UINT EmptyAlbumHintId() const = 0;
    // Commands the player adds or handles its own way; false for the frame's own handling.
    virtual bool OnPlayerCommand(int id);
    // Messages the player adds; false for the frame's own handling.
    virtual bool OnPlayerMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
    // Runs on every tick once the frame has polled the engine (not while the player is off).
    virtual void OnPlayerTick() {}
    // The half-second tick. A player whose device is not an engine session (the CD) replaces
    // it; the pieces it is made of stay available below.
    virtual void OnTick();
    // Which of the other players it stops before it plays (all of them unless it says not).
    virtual bool StopsBeforePlaying(int otherIndex) const
    {
        (void)otherIndex;
        return true;
    }
    // The state Stop leaves (a CD Player without a disc stays without one).
    virtual int StateAfterStop() const { return kModeStopped; }
    // Whether Fast Forward and Rewind on a paused track keep it paused (the slider always does).
    virtual bool FastSeekKeepsPause() const { return true; }
    // The line shown while opening.
    virtual std::string OpeningText() const;
    virtual void FillStatus(ComponentStatus& status) const;
    virtual LRESULT OnComponentCommand(LPARAM lParam);
    // Loads the album the player starts with (command line, recent, "Default").
    virtual void LoadStartAlbum();

    // Recording, for a player that records: the frame keeps the state (527), the paused flag
    // and the line "Recording to %s."; the player does the recording itself.
    virtual void PauseRecording() {}
    virtual void ResumeRecording() {}
    virtual void EndRecording(bool user) { (void)user; }
    virtual std::string RecordingPath() const { return {}; }
    // Once per tick while recording (the recorded seconds).
    virtual void OnRecordingTick() {}
    void BeginRecordingState(); // state 527, not paused

    void ForwardTickToPanel();
    void CycleRepeat();
    void CyclePlayMethod();
    void CycleTimeDisplay();
    void EditProgram();
    void QuickTrackSelect();
    // Album Management: the file album editor on the player's album kind. A player that is not
    // playing, paused or opening is stopped first; afterwards the album chosen in the editor is
    // read again and becomes the player's, and a playing, paused or opening player goes on only
    // when the song at its current number is still the same file. Not while recording.
    void AlbumManagement();
    int nextCookie();
    // What the engines are given: the window their notices go to (the MIDI Player names its
    // karaoke viewer, which passes them on) and the player's instance.
    virtual engines::SessionContext sessionContext();
    // Takes the session that opened the current track: its length and information when the
    // engine knows them already, the effect indicator.
    void adoptSession(std::unique_ptr<engines::Session> session, std::int32_t result);
    void CloseSession();
    void ClearLyric();
    void ShowLyricFor(const std::string& path);
    void RedrawDisplay();
    void UpdateIndicators();
    void SaveAlbum();
    // Play-list files and media files dropped or handed over become songs; returns how many.
    int AddFiles(const std::vector<std::string>& paths);
    // The "play the pending file" command.
    void PlayPendingFile();

    // Open: the files chosen in the Open dialog (from the folder last opened in) are played at
    // once as an album without a name, the ones the player plays in the order chosen, through a
    // temporary play list. One play list chosen alone is played as it is when the player says
    // so; otherwise a list stands for its songs.
    void OpenFiles();
    // The unnamed album of these songs, through a temporary play list, played at once.
    void PlayTemporaryList(const std::vector<std::string>& paths);
    // The Open dialog's file types.
    virtual QString OpenFilesFilter() const;
    // Whether one play list chosen alone is played as it is, keeping the titles it gives its
    // songs (a set of choices can only name songs).
    virtual bool OpensOneListAsItIs() const { return true; }
    // Runs just before the files opened are played.
    virtual void BeforePlayingOpenedFiles() {}

    LRESULT onMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void paintEvent(QPaintEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;

public:
    // The keys a desktop player answers to: Space play/pause, Left/Right seek, Up/Down (and
    // Page Up/Down) the previous and next song, +/- the master volume through the Mixer.
    // Returns false for any other key. The main window hands its keys here too.
    bool HandleKey(int key);

protected:
    void keyPressEvent(QKeyEvent* e) override;
    // The right-click menu: the player's own entries first, then the transport and the album
    // commands every player shares.
    void contextMenuEvent(QContextMenuEvent* e) override;
    virtual void AddOwnMenuEntries(QMenu&) {}

    Album m_album;
    int m_state = kModeNotReady;
    int m_position = 0; // whole seconds
    std::string m_message;
    std::string m_info;
    std::string m_playingPath;
    DisplayPanel* m_panel = nullptr;
    std::unique_ptr<LyricViewer> m_lyric;
    std::string m_engineInfo; // the open engine's information text

private:
    void OnCommand(int id);
    void OnEngineNotification(WPARAM wParam, LPARAM lParam);
    void FastForward();
    void Rewind();
    void SeekSlider(int seconds);
    void SeekTo(int ms, bool keepPause);
    void QuickAlbumSelect();
    void FailedToPlay(int n, const std::string& why);

    std::unique_ptr<engines::Session> m_session;
    int m_cookie = 0;
    bool m_recordingPaused = false;
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
