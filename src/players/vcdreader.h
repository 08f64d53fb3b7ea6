#pragma once
// The Video CD reader: what the Digital Video Player does with a Video CD 2.0. It reads the
// disc's description (vcddisc.h), turns it into the player's album, and carries out the play
// sequence: track mode for a disc without one (one song per entry point), play lists and
// selection lists with their waits, loops, time-outs and, for extended selection lists, the hot
// areas of the picture.
//
// The reader plays nothing itself. It asks its `VcdPlayback` (the player's viewer) to play a
// unit (a file on the disc from a start time, fed to the pipeline by the kolvovcdsrc element,
// see vcdsource.h) and polls it for its mode and position. Time for waits and time-outs comes
// from a `VcdClock`, so that tests can move it.
//
// The player passes song numbers as commands: 0 plays the current unit, a positive number
// selects (an entry in track mode, a selection number in a selection list), negative numbers
// navigate. Links that lead round in a circle without anything being played, descriptors
// beyond the play-sequence file and other damage stop the play sequence with a reason in
// failureText(); nothing waits or loops without the clock or the user moving it on.

#include "engines/vcddisc.h"
#include "engines/vcdformat.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

class Album;

// One thing to play: a file on the disc from a start time.
struct VcdUnit
{
    int item = 0;              // its play item number
    std::string drive;         // the disc, as the "Drive" setting names it
    std::string file;          // on the disc: "MPEGAV/AVSEQ01.DAT", "SEGMENT/ITEM0001.DAT"
    std::string uri;           // kolvovcd: URI of the file for a pipeline
    std::int64_t startMs = 0;  // seek there before playing
    std::int64_t lengthMs = 0; // 0 for a segment (a still or a short clip)
    // A track or an entry: the position slider, speed, frame steps and capture apply.
    bool sequence = false;
};

// A hot area of the picture, in 0-255 across and down, and the command a click on it gives
// (-4 previous, -3 next, -2 return, -1 default, or a selection number).
struct VcdHotArea
{
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    int command = 0;
    bool operator==(const VcdHotArea&) const = default;
};

// What the reader needs of the viewer.
class VcdPlayback
{
public:
    virtual ~VcdPlayback() = default;
    // Opens the unit, seeks to its start and plays it; false when it cannot be played. The
    // information text of the open file goes to `info`.
    virtual bool playUnit(const VcdUnit& unit, std::string* info) = 0;
    // Stops, keeping the last picture; closeUnit closes the file.
    virtual void stopUnit() = 0;
    virtual void closeUnit() = 0;
    virtual void pauseUnit() = 0;
    virtual void resumeUnit() = 0;
    // The mode of the open unit (525 stopped or ended, 526 playing, 529 paused; 525 when none).
    virtual int unitMode() = 0;
    // The position in the open file, in ms.
    virtual std::int64_t unitPositionMs() = 0;
    // The hot areas of the picture now (none: no hot areas).
    virtual void setHotAreas(const std::vector<VcdHotArea>& areas) = 0;
};

class VcdClock
{
public:
    virtual ~VcdClock() = default;
    virtual std::int64_t nowMs() = 0; // steady milliseconds
};

class VcdReader
{
public:
    enum Mode { ModeNone = 0, ModeTracks = 1, ModePlayList = 2, ModeSelection = 3 };
    // The navigation commands.
    static constexpr int kSelectDefault = -1;
    static constexpr int kReturn = -2;
    static constexpr int kNextList = -3;
    static constexpr int kPreviousList = -4;
    static constexpr int kNextItem = -10; // the end of an item
    static constexpr int kPreviousItem = -11;

    // `clock` (nullptr: the steady clock) and `random` (a number from 0 to n - 1; empty: a
    // generator of the reader's own) are the seams tests replace.
    explicit VcdReader(VcdPlayback& playback, VcdClock* clock = nullptr,
                       std::function<int(int)> random = {});
    // Does not call the viewer, which may be destroyed first; close() closes the unit.
    ~VcdReader();
    VcdReader(const VcdReader&) = delete;
    VcdReader& operator=(const VcdReader&) = delete;

    // Opens the disc and fills `album` (kept until close) with its first songs. False, with
    // failureText(), when `useVcd2Mode` is off, the disc or its description cannot be read,
    // or its first descriptor cannot.
    bool open(const std::string& drive, Album& album, bool useVcd2Mode);
    void close();
    bool isOpen() const;

    // 0 plays the current unit; a positive number selects; the navigation commands above.
    // 1 when something was done, 0 when the command does not apply or playing failed.
    int command(int n);
    // From the player's timer: follows the position and the end of the unit, and the waits.
    void poll();
    // Play/Pause on a track or entry unit: pauses or resumes it; false for other units (the
    // player then sends kSelectDefault) or when none plays. Seek, frame steps, speed, capture
    // and configuration go by the player straight to its engine while sequenceUnit() holds.
    bool pause();
    bool resume();

    int mode() const { return m_mode; }
    // 525 stopped (or the end of a unit, after its wait), 526 playing, 529 paused.
    int state() const { return m_state; }
    std::int64_t positionMs() const { return m_positionMs; }
    std::int64_t lengthMs() const { return m_unit.lengthMs; }
    const std::string& infoText() const { return m_info; }
    // Why the last open or command failed, or why the play sequence stopped.
    const std::string& failureText() const { return m_failure; }
    // The unit playing (or last played).
    const VcdUnit& unit() const { return m_unit; }
    // Whether a track or entry unit is open: the player forwards speed, steps and capture.
    bool sequenceUnit() const { return m_unitOpen && m_unit.sequence; }
    const engines::VcdDescription& description() const { return m_description; }
    // The descriptor in use (play list and selection list modes) and its offset.
    const engines::vcd::Descriptor& descriptor() const { return m_descriptor; }
    std::uint16_t descriptorOffset() const { return m_offset; }
    int loopCounter() const { return m_loopCounter; }
    // An end list was reached: the play sequence is over.
    bool ended() const { return m_ended; }
    // The hot areas an extended selection list gives (empty for other lists).
    std::vector<VcdHotArea> hotAreas() const;

private:
    enum class Read { Changed, NoLink, Failed };
    Read readDescriptor(std::uint16_t offset);
    int follow(std::uint16_t offset);
    int playCurrent();
    bool unitFor(int item, VcdUnit& unit) const;
    bool entryUnit(int index, VcdUnit& unit) const;
    void fillTrackAlbum();
    void clearAlbum();
    void stopSequence(const std::string& why);
    void closeUnit();
    int waitAfterEnd() const; // seconds (-1: for ever) the end of the unit is held
    int randomBelow(int n);

    VcdPlayback& m_playback;
    std::unique_ptr<VcdClock> m_ownClock;
    VcdClock* m_clock;
    std::function<int(int)> m_random;

    engines::VcdDisc m_disc;
    engines::VcdDescription m_description;
    Album* m_album = nullptr;
    bool m_open = false;
    int m_mode = ModeNone;
    int m_state = 525;
    std::string m_info;
    std::string m_failure;

    engines::vcd::Descriptor m_descriptor;
    std::uint16_t m_offset = engines::vcd::kNoOffset;
    bool m_ended = false; // an end list was reached
    int m_loopCounter = 1;
    // Descriptors entered since a unit last played: entering one again is a circle.
    std::set<std::uint16_t> m_enteredWithoutPlay;

    VcdUnit m_unit;
    bool m_unitOpen = false;
    std::int64_t m_positionMs = 0;
    bool m_endNoted = false;
    std::int64_t m_endTick = 0;
};
