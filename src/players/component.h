#pragma once
// What every component window of the main strip shares: its index, the messages the main
// controller routes to it, and the status record it fills.

#include "albums/filealbumeditor.h"
#include "platform/messages.h"
#include "platform/settings.h"
#include "platform/vocabulary.h"
#include "ui/skinpanel.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// The status record of UM_GET_STATUS: twelve slots, the last three strings.
struct ComponentStatus
{
    int state = 0;
    int songCount = 0;
    int currentSong = 0;
    int timeDisplay = 0;
    int playMethod = 0;
    int repeat = 0;
    int positionSeconds = 0;
    int lengthSeconds = 0;
    int recordedSeconds = 0;
    std::string playingName;
    std::string albumTitle;
    std::string albumArtist;
};

// A recording from the sound card, made by the layer above the players for the Digital Audio
// Player: the options, the capture and the file. The player keeps the state.
class PlayerRecording
{
public:
    virtual ~PlayerRecording() = default;
    // The disc in the CD Player, for copying its tracks (no titles: no disc).
    struct CdDisc
    {
        std::string albumTitle;
        std::string artist;
        std::vector<std::string> trackTitles;
    };
    struct Started
    {
        std::string path;                // the file being recorded into; "" when none
        std::vector<std::string> copied; // the files a digital copy of CD tracks made
        // Recording the CD's tracks through the sound card: the track (from 1) the CD Player
        // is to play while this file records; 0 otherwise.
        std::uint32_t cdTrack = 0;
    };
    // Shows the recording options and starts a recording, or copies CD tracks; nothing when
    // the user cancelled or it could not start (the user was told why). Once the options are
    // accepted, before anything is recorded or copied, it calls onOptionsAccepted.
    virtual Started Start(QWidget* parent, const CdDisc& disc) = 0;
    // Set by the player before Start: it stops the other players there.
    std::function<void()> onOptionsAccepted;
    virtual void Pause() = 0;
    virtual void Resume() = 0;
    // Finishes the file. user: the Stop command (not the end of a track).
    virtual void Stop(bool user) = 0;
    // What became of the file recorded until the last Stop. Kept as recorded, unless the MPEG
    // type records the CD's tracks: then the ended track's WAVE file was turned into `mp3` and
    // deleted, or dropped (stopped by hand, or the encoding made nothing: `mp3` is empty).
    struct StoppedFile
    {
        bool kept = true;
        std::string mp3;
    };
    virtual StoppedFile Stopped() const { return {}; }
    // After Stop(false) at the end of a CD track: the file of the next chosen track, or no path
    // when none is left.
    virtual Started NextCdTrack() = 0;
    // True once a write or the source failed: the player stops (the user was told).
    virtual bool failed() const = 0;
    virtual int elapsedSeconds() const = 0;
    // The loudest left and right samples of the last buffer, 0..32768 (0 while paused).
    virtual std::pair<int, int> levels() const = 0;
    // Told the levels as each captured buffer arrives (on the player's thread, posted by the
    // capture, which never waits for it), and 0, 0 on pause and stop.
    virtual void setLevelsListener(std::function<void(int left, int right)> listener) = 0;
};

// What the components need of the application: its settings and its command-line record,
// and the main controller through which they reach each other.
class PlayerHost
{
public:
    virtual ~PlayerHost() = default;
    virtual AppSettings& settings() = 0;
    virtual void saveSettings() = 0;
    // The command-line record: what to play at start, and the file a second start handed over.
    virtual int& startMode() = 0;
    virtual std::string& pendingFile() = 0;
    virtual bool& pendingFileIsTemporary() = 0;
    // The main controller, which routes UM_* messages by component index.
    virtual HWND controller() const = 0;
    // What the file album editor gets from the layers above the players (the file encoder);
    // none by default.
    virtual FileAlbumEditorServices albumEditorServices() { return {}; }
    // A recording for the Digital Audio Player; none when recording is not built in.
    virtual std::unique_ptr<PlayerRecording> makeRecording() { return nullptr; }

    // Set once the user has been told the sound output cannot be opened: it is said once a
    // session, not for every song that fails for it.
    bool soundOutputProblemTold = false;
};

// A component panel, a child of the main controller stacked under its strip.
class ComponentWnd : public SkinPanel
{
    Q_OBJECT
public:
    ComponentWnd(int index, PlayerHost& host, QWidget* parent, int backgroundSlot,
                 int height = 100);

    int componentIndex() const { return m_index; }
    PlayerHost& host() const { return m_host; }

protected:
    // Sends a routed message through the main controller to another component.
    LRESULT sendToComponent(int index, UINT msg, LPARAM lParam);
    void postToController(UINT msg, WPARAM wParam, LPARAM lParam);
    void mousePressEvent(QMouseEvent* e) override;

private:
    int m_index;
    PlayerHost& m_host;
};
