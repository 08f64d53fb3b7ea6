#pragma once
// One open media item on one engine family, behind one face. The players and kolvo-cli drive
// every engine through a Session, so an engine family is one adapter here, and the order in
// which a player tries the families for a media kind is one table (`engineOrder`), shared by
// the window and the command line alike.
//
// A Session wraps the designed functions of its family (`KMPEngine_Play`, `KAMEngine_Open`,
// the MCI device, ...) with their arguments, results and notifications unchanged: a result
// above 0 is success, the family's codes otherwise, and the engine posts its notification
// message with the play cookie to the context's window. Destroying a Session stops and closes
// what it opened.

#include "albums/mediakind.h"
#include "engines/videooutput.h"
#include "platform/vocabulary.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct AppSettings;

namespace engines {

class Session;

// What a session needs of the player that opens it.
struct SessionContext
{
    HWND window = 0; // where notifications go; 0: nobody listens, the session is polled
    AppSettings* settings = nullptr;
    int instance = 0; // of the instanced families: 0 audio, 1 video, 2 MIDI player
    int sizeMode = 0; // the video player's viewer size mode, passed to the engines' opens
};

// An engine family: its names and how to open a session on it.
struct EngineFamily
{
    const char* prefix; // the designed function prefix, "KMPEngine_"
    const char* name;   // in plain words, for people: "MPEG engine"
    std::unique_ptr<Session> (*make)(const SessionContext&);
};

extern const EngineFamily kMpegEngine;
extern const EngineFamily kRealAudioEngine;
extern const EngineFamily kGeneralEngine;
extern const EngineFamily kMciDevice;
extern const EngineFamily kMidiEngine;
extern const EngineFamily kImsEngine;
extern const EngineFamily kModuleEngine;
// The families of films (the video player's).
extern const EngineFamily kQuickTime3Engine;
extern const EngineFamily kQuickTimeEngine;
extern const EngineFamily kRealVideoEngine;

using EngineOrder = std::vector<const EngineFamily*>;

// The families a player tries for a media kind, first to last; the settings choose between
// the internal and the general engines.
EngineOrder engineOrder(AlbumKind player, MediaKind kind, const AppSettings& settings);

class Session
{
public:
    explicit Session(const EngineFamily& family, const SessionContext& context)
        : m_family(family)
        , m_context(context)
    {}
    virtual ~Session() = default;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    const EngineFamily& family() const { return m_family; }
    // The notification message the family posts (0: it posts none and is polled).
    virtual UINT notification() const = 0;

    // Opens and starts `path`; > 0 on success (a "later" result: the sound follows a
    // notification), else the family's failure code. Called once.
    virtual std::int32_t open(const std::string& path, int cookie) = 0;
    // The engine said by notification that it reached `mode` (ready or playing). False when
    // the item failed to start at that point.
    virtual bool ready(int mode)
    {
        (void)mode;
        return true;
    }

    // The engine's mode (525, 526, 529, 530).
    virtual int mode() = 0;
    // The engine lost the item (a failure it could not report otherwise).
    virtual bool failed() = 0;
    virtual int positionMs() = 0;
    virtual int lengthMs() = 0;
    virtual void pause() = 0;
    virtual void resume() = 0;
    // Moves to `ms`; a paused item stays paused where it was moved to.
    virtual void seek(int ms, bool paused) = 0;
    // The text for the information line; `atOpen` when read right after a successful open.
    virtual std::string infoText(bool atOpen = false) = 0;
    // Another clip of a list: true when one started.
    virtual bool nextClip() { return false; }
    virtual bool prevClip() { return false; }
    // Shows the family's output configuration, holding the item meanwhile; false when the
    // family has none.
    virtual bool configure(HWND owner)
    {
        (void)owner;
        return false;
    }
    // The internal MPEG engine runs the effects the display panel's indicator shows.
    virtual bool runsInternalEffects() const { return false; }
    // Whether the length and information are known as soon as open returned `result`.
    virtual bool knowsLengthAtOpen(std::int32_t result) const { return result == 1; }
    // Tempo and key, for the families that change them (MIDI, IMS, modules and the MCI
    // sequencer). baseTempo(): the song's own tempo in the family's unit, 0 when it has none
    // to change; setTempo takes a tempo in that same unit, so a caller scales the base by a
    // percentage and never needs to know the unit. hasKey(): the family moves notes by
    // semitones; key() is the shift set, -12..12 from the song's own. The setters are false
    // where the family cannot.
    virtual int baseTempo() { return 0; }
    virtual bool setTempo(int tempo)
    {
        (void)tempo;
        return false;
    }
    virtual bool hasKey() const { return false; }
    virtual int key() { return 0; }
    virtual bool setKey(int semitones)
    {
        (void)semitones;
        return false;
    }
    // The item carries karaoke words, which go to the context's window as they are sung.
    virtual bool isKaraoke() { return false; }

    // Pictures, for the families that show them; the defaults are those of sound-only ones.
    virtual bool sourceRect(RECT& rect)
    {
        (void)rect;
        return false;
    }
    virtual void setMovieRect(const RECT& rect) { (void)rect; }
    virtual bool showFullScreen(bool on)
    {
        (void)on;
        return false;
    }
    // Speed in thousandths (1000 normal).
    virtual bool setSpeed(int thousandths)
    {
        (void)thousandths;
        return false;
    }
    // Pauses and shows the next (or the previous) picture.
    virtual bool step(bool backward)
    {
        (void)backward;
        return false;
    }
    // The picture shown now as a packed DIB; empty when there is none.
    virtual std::vector<std::uint8_t> capture() { return {}; }

protected:
    const SessionContext& context() const { return m_context; }

private:
    const EngineFamily& m_family;
    SessionContext m_context;
};

// Why a file did not open, as the user needs to tell the causes apart: a missing file, a file
// this player does not play, a damaged one, or no way to make sound at all.
enum class OpenFailure { None, Other, NotPlayable, Damaged, Missing, SoundOutput };

// The phrase a reason of each cause starts with; engines and the GStreamer glue write their
// reasons this way so the cause can be read back from the log line.
const char* failureText(OpenFailure failure);
// The cause a reason names (Other when it names none).
OpenFailure failureOf(const std::string& reason);

// What came of trying a player's engines on one path.
struct OpenOutcome
{
    std::unique_ptr<Session> session;     // the one that took the path, else null
    std::int32_t result = 0;              // its result, or the last family's failure code
    const EngineFamily* family = nullptr; // the one that took it, or the last one tried
    // Why the path was refused: the cause, then the family whose refusal tells most (a sound
    // output that cannot be opened before a missing file, before damage, before a kind no
    // engine plays) with its code and reason from the log.
    std::string why;
    OpenFailure failure = OpenFailure::None;
};

// Tries the families in order until one opens `path`; `nextCookie` is asked for a fresh cookie
// before each open. Each try and each refusal is logged under "engines".
OpenOutcome openFirst(const EngineOrder& order, const SessionContext& context,
                      const std::string& path, const std::function<int()>& nextCookie);

// For messages: "result -9553 (the file cannot be reached)".
std::string describeResult(std::int32_t result);

} // namespace engines
