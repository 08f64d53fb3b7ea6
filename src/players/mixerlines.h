#pragma once
// The Mixer's model, apart from any sound server: the designed arithmetic of volume (0-32) and
// balance (-8..+8) over a control's raw bounds, the lines of the three views (playback,
// recording, other destinations) with their destinations and select lists, and which lines the
// six columns show. The device (PulseAudio, or a fake in tests) fills snapshots of it; the
// panel reads them and asks the device to change values.

#include "platform/messages.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace mixer {

constexpr int kScale = 32;
constexpr int kColumns = 6;
constexpr int kViews = 3;
constexpr int kBalanceRange = 8;

// Rounds half away from zero, as the designed arithmetic does.
int roundHalfAway(double value);
// A raw channel value within its bounds to 0..32: round(r / R x 32), R = maximum - minimum;
// values beyond the bounds are held at them.
int toScale(std::int64_t raw, std::int64_t minimum, std::int64_t maximum);
// 0..32 back to a raw value: minimum + round(R x value / 32).
std::int64_t fromScale(int value, std::int64_t minimum, std::int64_t maximum);
// Balance of two channels on the 0..32 scale: 0 when equal; R < L: R / L x 8 - 8;
// R > L: 8 - L / R x 8.
int balanceOf(int left, int right);
struct Channels
{
    int left;
    int right;
    bool operator==(const Channels&) const = default;
};
// The channels of a volume and a balance: B = 0 both V; B < 0 left V and right
// round((B + 8) x V / 8); B > 0 right V and left round((8 - B) x V / 8).
Channels channelsFor(int volume, int balance);

// What a line is on the sound server.
enum class LineKind { Sink, Source, PlaybackStream, RecordingStream };

struct Line
{
    LineKind kind = LineKind::Sink;
    std::uint32_t index = 0; // the server's index of the device or stream
    std::string name;        // the server's name of a device (selecting a source uses it)
    std::string shortName;   // shown over the column
    std::string longName;    // the description
    int channels = 2;        // 1: a mono line (one value for both sides)
    bool hasVolume = true;
    bool hasMute = true;
    int left = 0, right = 0; // 0..32
    bool muted = false;
    int destination = 0; // index into View::destinations
    int selectBit = -1;  // its place in the destination's select list; -1 when not in it

    int volume() const { return left > right ? left : right; }
    int balance() const { return channels < 2 ? 0 : balanceOf(left, right); }
};

struct Destination
{
    bool hasSelect = false;
    bool multiple = false; // several sources may be on (a mixer list), not exactly one (a mux)
    std::uint32_t selectMask = 0;
};

struct View
{
    std::vector<Line> lines;
    std::vector<Destination> destinations;
};

struct Snapshot
{
    enum class State { Connecting, Connected, NoServer };
    State state = State::Connecting;
    std::array<View, kViews> views;
};

// What one column shows.
struct Column
{
    int line = -1; // index into the view's lines; -1: the column is empty
    bool volumeEnabled = false;
    bool balanceEnabled = false;
    enum class Switch { None, Mute, Select };
    Switch switchKind = Switch::None;
    bool switchOn = false; // checked: the sound is on (not muted), or the source is selected
    int volume = 16;
    int balance = 0;
};

// The lines a view shows: those with a volume or a mute control, in order.
std::vector<int> shownLines(const View& view);
// The six columns from the shown line `first` on.
std::array<Column, kColumns> buildColumns(const View& view, int first);
// Whether shown lines follow the six from `first`.
bool hasMore(const View& view, int first);
// The select mask after a switch of a line was set on or off: a mux gets exactly that bit,
// a mixer list gets the bit set or cleared.
std::uint32_t selectMaskAfter(const Destination& destination, int bit, bool on);

} // namespace mixer
