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
#include <string>
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
