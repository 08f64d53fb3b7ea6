// The button layouts of every panel. Coordinates are in panel pixels; faces are skin slots.
#include "ui/buttons.h"

#include "ui/skinslots.h"

namespace buttons {
namespace {

using namespace skin;

constexpr std::uint32_t T = kButtonToggle;
constexpr std::uint32_t R = kButtonAutoRepeat;
constexpr ButtonDescriptor kEnd{-1, 0, 0, 0, 0, 0, 0, 0, 0, 0, kNoFace, kNoFace};

// Shorthands for the face sizes: position, then glyphs.
constexpr ButtonDescriptor b18(int id, std::uint32_t flags, int bg, int x, int y, int glyph,
                               int disabled = 0, int checked = 0)
{
    return {id, flags, bg, glyph, disabled, checked, x, y, 18, 18, kFace18Up, kFace18Down};
}
constexpr ButtonDescriptor b13(int id, std::uint32_t flags, int bg, int x, int y, int glyph,
                               int disabled = 0, int checked = 0)
{
    return {id, flags, bg, glyph, disabled, checked, x, y, 13, 13, kFace13Up, kFace13Down};
}
constexpr ButtonDescriptor b10(int id, std::uint32_t flags, int bg, int x, int y, int glyph,
                               int disabled = 0)
{
    return {id, flags, bg, glyph, disabled, 0, x, y, 10, 10, kFace10Up, kFace10Down};
}
constexpr ButtonDescriptor b26(int id, int bg, int x, int y, int glyph, int disabled)
{
    return {id, 0, bg, glyph, disabled, 0, x, y, 26, 26, kFace26Up, kFace26Down};
}
constexpr ButtonDescriptor b60(int id, int x, int y, int glyph)
{
    return {id, 0, kPanelBackground, glyph, 0, 0, x, y, 60, 14, kFace60Up, kFace60Down};
}
constexpr ButtonDescriptor b20(int id, int x, int y)
{
    return {id, T, kPanelBackground, 2, 0, 1, x, y, 20, 13, kFace20Up, kFace20Down};
}
constexpr ButtonDescriptor b40(int id, int x, int glyph, int checked)
{
    return {id, T, kMainBackground, glyph, 0, checked, x, 6, 40, 40, kFace40Up, kFace40Down};
}

constexpr int P = kPanelBackground;

// The row every media player shares.
#define KOLVO_PLAYER_ROW                                                                           \
    b18(5700, 0, P, 6, 6, 1), b18(5119, 0, P, 336, 6, 7), b18(5102, 0, P, 356, 6, 8),              \
        b18(5104, 0, P, 376, 6, 12), b18(5115, R, P, 396, 6, 3), b18(5116, R, P, 416, 6, 4),       \
        b18(5107, 0, P, 436, 6, 9), b18(5108, 0, P, 456, 6, 10), b60(5112, 40, 67, 17),            \
        b60(5117, 110, 67, 16), b60(5118, 180, 67, 15), b60(5120, 250, 67, 18),                    \
        b13(5176, 0, P, 26, 6, 57)

// Album Management and Quick Album Select, as on the MIDI Player.
#define KOLVO_ALBUM_BUTTONS b26(5121, P, 333, 32, 27, 28), b13(5156, 0, P, 319, 38, 49, 50)

// Fast and Slow, 10 x 10 steps.
#define KOLVO_SPEED_BUTTONS b10(5129, R, P, 486, 28, 39), b10(5128, R, P, 486, 38, 41)

} // namespace

const ButtonDescriptor kCdPlayer[] = {
    KOLVO_PLAYER_ROW,
    b26(5109, P, 333, 32, 29, 30),
    kEnd,
};

const ButtonDescriptor kMidiPlayer[] = {
    KOLVO_PLAYER_ROW,
    KOLVO_ALBUM_BUTTONS,
    KOLVO_SPEED_BUTTONS,
    b10(5160, R, P, 486, 48, 39),
    b10(5161, R, P, 486, 58, 41),
    kEnd,
};

const ButtonDescriptor kVideoPlayer[] = {
    KOLVO_PLAYER_ROW,
    b18(5150, 0, P, 6, 26, 18),
    b18(5179, 0, P, 6, 46, 43),
    b18(5122, 0, P, 476, 6, 11),
    b18(5131, R, P, 416, 28, 15),
    b18(5130, R, P, 436, 28, 14),
    KOLVO_ALBUM_BUTTONS,
    b13(5168, T, P, 340, 68, 25, 0, 26),
    KOLVO_SPEED_BUTTONS,
    kEnd,
};

const ButtonDescriptor kAudioPlayer[] = {
    KOLVO_PLAYER_ROW,    b18(5184, T, P, 6, 26, 63, 0, 62),   b18(5122, 0, P, 476, 6, 11),
    KOLVO_ALBUM_BUTTONS, b13(5178, T, P, 340, 68, 60, 0, 59), kEnd,
};

const ButtonDescriptor kSoundEffector[] = {
    b18(5700, 0, P, 6, 6, 1),
    b13(5640, T, P, 328, 55, 32, 33, 31),
    b13(5641, T, P, 355, 55, 32, 33, 31),
    b13(5642, T, P, 382, 55, 32, 33, 31),
    b13(5643, T, P, 413, 55, 32, 33, 31),
    b10(5163, R, P, 486, 10, 39, 40),
    b10(5164, R, P, 486, 20, 41, 42),
    b10(5182, R, P, 486, 51, 39, 40),
    b10(5183, R, P, 486, 61, 41, 42),
    b13(5165, T, P, 413, 6, 52, 0, 51),
    b13(5167, T, P, 413, 20, 54, 0, 53),
    b13(5177, 0, P, 26, 6, 58),
    kEnd,
};

const ButtonDescriptor kMixer[] = {
    b18(5700, 0, P, 6, 6, 1),
    b18(5123, 0, P, 6, 26, 34),
    b18(5172, T, P, 6, 46, 55, 0, 56),
    b20(5143, 425, 23),
    b20(5144, 425, 43),
    b20(5145, 425, 63),
    b18(5147, 0, P, 390, 6, 35, 36),
    b18(5148, 0, P, 390, 28, 37, 38),
    b13(6700, T, P, 26, 81, 32, 33, 31),
    b13(6701, T, P, 86, 81, 32, 33, 31),
    b13(6702, T, P, 146, 81, 32, 33, 31),
    b13(6703, T, P, 206, 81, 32, 33, 31),
    b13(6704, T, P, 266, 81, 32, 33, 31),
    b13(6705, T, P, 326, 81, 32, 33, 31),
    kEnd,
};

const ButtonDescriptor kMainController[] = {
    b18(5171, 0, kMainBackground, 6, 6, 1),
    b18(5701, 0, kMainBackground, 6, 26, 5),
    b18(5142, 0, kMainBackground, 26, 6, 43),
    b18(5151, 0, kMainBackground, 26, 26, 44),
    b40(5800, 60, 11, 12),
    b40(5801, 110, 1, 2),
    b40(5802, 160, 3, 4),
    b40(5803, 210, 5, 6),
    b40(5804, 260, 7, 8),
    b40(5805, 310, 9, 10),
    b40(5806, 360, 13, 14),
    kEnd,
};

namespace {
constexpr int RC = kRemoteBackground;
}

const ButtonDescriptor kRemoteControl[] = {
    b13(5700, 0, RC, 6, 6, 46),         b13(5136, 0, RC, 21, 6, 45),
    b13(5157, T, RC, 36, 6, 48, 0, 47), b13(5134, R, RC, 51, 6, 20),
    b13(5135, R, RC, 66, 6, 19),        b18(5171, 0, RC, 8, 24, 1),
    b18(5701, 0, RC, 30, 24, 5),        b18(5142, 0, RC, 52, 24, 43),
    b18(5156, 0, RC, 74, 24, 49),       b18(5119, 0, RC, 8, 98, 7),
    b18(5102, 0, RC, 30, 98, 8),        b18(5104, 0, RC, 52, 98, 12),
    b18(5122, 0, RC, 74, 98, 11),       b18(5115, R, RC, 8, 118, 3),
    b18(5116, R, RC, 30, 118, 4),       b18(5107, 0, RC, 52, 118, 9),
    b18(5108, 0, RC, 74, 118, 10),      b18(5168, T, RC, 8, 138, 25, 0, 26),
    b18(5150, 0, RC, 30, 138, 18),      b18(5172, T, RC, 52, 138, 55, 0, 56),
    b18(5120, 0, RC, 74, 138, 61),      b18(5301, 0, RC, 8, 162, 0),
    b18(5302, 0, RC, 30, 162, 0),       b18(5303, 0, RC, 52, 162, 0),
    b18(5304, 0, RC, 74, 162, 0),       b18(5305, 0, RC, 8, 182, 0),
    b18(5306, 0, RC, 30, 182, 0),       b18(5307, 0, RC, 52, 182, 0),
    b18(5308, 0, RC, 74, 182, 0),       b18(5127, 0, RC, 8, 202, 17),
    b18(5309, 0, RC, 30, 202, 0),       b18(5300, 0, RC, 52, 202, 0),
    b18(5126, 0, RC, 74, 202, 16),      kEnd,
};

std::span<const ButtonDescriptor> entries(const ButtonDescriptor* table)
{
    std::size_t n = 0;
    while (table && table[n].commandId >= 0)
        ++n;
    return {table, n};
}

const ButtonDescriptor* find(const ButtonDescriptor* table, int commandId)
{
    for (const ButtonDescriptor& d : entries(table)) {
        if (d.commandId == commandId)
            return &d;
    }
    return nullptr;
}

} // namespace buttons
