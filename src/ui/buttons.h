#pragma once
// Button descriptors: every skin button is built from one constant record, and a panel's
// buttons form one array ended by a record whose command id is negative.

#include <cstdint>
#include <span>

struct ButtonDescriptor
{
    int commandId;       // control id, WM_COMMAND id and string id of the tooltip
    std::uint32_t flags; // kButtonToggle, kButtonAutoRepeat
    int background;      // slot copied under a button that has no face pair
    int glyph;           // 0 = none
    int disabledGlyph;   // 0 = the normal glyph
    int checkedGlyph;    // 0 = the normal glyph
    int x, y, width, height;
    int upFace, downFace; // slots, kNoFace when absent
};

constexpr std::uint32_t kButtonToggle = 0x2;
constexpr std::uint32_t kButtonAutoRepeat = 0x10000000;
constexpr int kNoFace = -1;

namespace buttons {

// The tables of the panels, each ended by a record with command id -1.
extern const ButtonDescriptor kCdPlayer[];
extern const ButtonDescriptor kAudioPlayer[];
extern const ButtonDescriptor kMidiPlayer[];
extern const ButtonDescriptor kVideoPlayer[];
extern const ButtonDescriptor kSoundEffector[];
extern const ButtonDescriptor kMixer[];
extern const ButtonDescriptor kMainController[];
extern const ButtonDescriptor kRemoteControl[];

// The records of a table up to its end record.
std::span<const ButtonDescriptor> entries(const ButtonDescriptor* table);
// The record with that command id, or null.
const ButtonDescriptor* find(const ButtonDescriptor* table, int commandId);

} // namespace buttons
