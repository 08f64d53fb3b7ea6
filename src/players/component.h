#pragma once
// What every component window of the main strip shares: its index, the messages the main
// controller routes to it, and the status record it fills.

#include "platform/messages.h"
#include "platform/settings.h"
#include "ui/skinpanel.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// Component messages.
constexpr UINT UM_COMPONENT_OFF = 0x6BC;
constexpr UINT UM_DISC_CHANGE = 0x6BD;
constexpr UINT UM_GET_STATUS = 0x6E4;
constexpr UINT UM_COMMAND = 0x6E5;
constexpr UINT UM_GET_TITLES = 0x6E6;
constexpr UINT UM_SELECT_ALBUM = 0x6E7;
constexpr UINT UM_SETTINGS_CHANGED = 0x6F8;

// Commands the components share (WM_COMMAND ids; also UM_COMMAND's low word).
namespace cmd {
constexpr int Play = 5104;
constexpr int Stop = 5102;
constexpr int Pause = 5103;
constexpr int Previous = 5107;
constexpr int Next = 5108;
constexpr int Repeat = 5112;
constexpr int Rewind = 5115;
constexpr int FastForward = 5116;
constexpr int PlayMethod = 5117;
constexpr int TimeDisplay = 5118;
constexpr int Open = 5119;
constexpr int PlayList = 5120;
constexpr int AlbumManagement = 5121;
constexpr int Record = 5122;
constexpr int Configure = 5142;
constexpr int QuickAlbumSelect = 5156;
constexpr int VideoCdPlay = 5169;
constexpr int Exit = 5171;
constexpr int PlayPending = 5173;
constexpr int ExitAndShutDown = 5174;
constexpr int ExitAndSuspend = 5175;
constexpr int QuickTrackSelect = 5176;
constexpr int SaveStream = 5178;
constexpr int Volume = 5180;
constexpr int Timer = 5181;
constexpr int Lyric = 5184;
constexpr int Power = 5700;
constexpr int MinimizeRestore = 5701;
constexpr int Preferences = 5142;
constexpr int ControlPanel = 5151;
constexpr int FirstToggle = 5800; // + component index
} // namespace cmd

// Stop with high word 1: the Stop one player sends the others before it plays.
constexpr LPARAM kStopFromOtherPlayer = 0x113EE;

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
