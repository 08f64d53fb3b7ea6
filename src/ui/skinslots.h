#pragma once
// The 28 skin slots in file order, with the resource id of each built-in bitmap and its size
// (a skin supplies the same sizes: controls draw at fixed coordinates), and the ids of the
// other built-in images. Shared with the art generator in tools/art.

#include <array>

namespace skin {

struct SlotInfo
{
    int resourceId;
    int width;
    int height;
    const char* role;
};

inline constexpr int kSlotCount = 28;

inline constexpr std::array<SlotInfo, kSlotCount> kSlots{{
    {172, 500, 50, "main controller background"},
    {450, 500, 100, "component panel background"},
    {391, 100, 240, "remote control background"},
    {454, 8, 8, "8 x 8 face, up"},
    {453, 8, 8, "8 x 8 face, down"},
    {31010, 10, 10, "10 x 10 face, up"},
    {31011, 10, 10, "10 x 10 face, down"},
    {312, 13, 13, "13 x 13 face, up"},
    {313, 13, 13, "13 x 13 face, down"},
    {157, 18, 18, "18 x 18 transport face, up"},
    {158, 18, 18, "18 x 18 transport face, down"},
    {140, 20, 13, "20 x 13 face, up"},
    {146, 20, 13, "20 x 13 face, down"},
    {133, 26, 26, "26 x 26 face, up"},
    {143, 26, 26, "26 x 26 face, down"},
    {170, 40, 40, "40 x 40 component face, up"},
    {169, 40, 40, "40 x 40 component face, down"},
    {221, 60, 14, "60 x 14 mode face, up"},
    {222, 60, 14, "60 x 14 mode face, down"},
    {342, 27, 58, "volume slider track"},
    {338, 18, 24, "volume slider thumb"},
    {30998, 18, 24, "volume slider thumb, disabled"},
    {341, 34, 13, "balance slider track"},
    {340, 16, 8, "balance slider thumb"},
    {30997, 16, 8, "balance slider thumb, disabled"},
    {31020, 17, 35, "small slider track"},
    {31021, 12, 16, "small slider thumb"},
    {31022, 12, 16, "small slider thumb, disabled"},
}};

// Slots 19 to 27 (slider tracks and thumbs) are always filled, from the built-in bitmaps when
// a skin lacks them.
inline constexpr int kFirstSliderSlot = 19;

// Slot numbers by role.
enum Slot : int {
    kMainBackground = 0,
    kPanelBackground = 1,
    kRemoteBackground = 2,
    kFace8Up = 3,
    kFace8Down = 4,
    kFace10Up = 5,
    kFace10Down = 6,
    kFace13Up = 7,
    kFace13Down = 8,
    kFace18Up = 9,
    kFace18Down = 10,
    kFace20Up = 11,
    kFace20Down = 12,
    kFace26Up = 13,
    kFace26Down = 14,
    kFace40Up = 15,
    kFace40Down = 16,
    kFace60Up = 17,
    kFace60Down = 18,
    kVolumeTrack = 19,
    kVolumeThumb = 20,
    kVolumeThumbDisabled = 21,
    kBalanceTrack = 22,
    kBalanceThumb = 23,
    kBalanceThumbDisabled = 24,
    kSmallTrack = 25,
    kSmallThumb = 26,
    kSmallThumbDisabled = 27,
};

// Built-in images that are not skin slots.
namespace res {
inline constexpr int kGlyphsLarge = 246;   // 19 glyphs of 32 x 32
inline constexpr int kGlyphsSmall = 331;   // 66 glyphs of 16 x 16
inline constexpr int kIndicators = 330;    // 60-pixel-wide indicator images
inline constexpr int kTrackCells = 224;    // 8 cells of 11 x 9
inline constexpr int kPositionThumb = 367; // 3 thumbs of 4 x 4: hot, pressed, normal
inline constexpr int kDigits0 = 196;       // digit images, 22 wide
inline constexpr int kDigits1 = 138;       // 14 wide
inline constexpr int kDigits2 = 199;       // 10 wide
inline constexpr int kDigits3 = 421;       // 7 wide
inline constexpr int kSplash = 173;
inline constexpr int kTrayIcons = 378; // 24 icons of 16 x 16, six per player
inline constexpr int kCdLogo = 135;    // CD Player panel, bottom right
inline constexpr int kCdBadge = 306;   // CD Player panel, at (4, 62)
inline constexpr int kEffectorBadge = 396;
inline constexpr int kMainIcon = 99;
inline constexpr int kRemoteIcon = 337;

inline constexpr int kLargeGlyphCount = 19;
inline constexpr int kSmallGlyphCount = 66;
inline constexpr int kIndicatorCount = 28;
inline constexpr int kIndicatorWidth = 60;
inline constexpr int kIndicatorHeight = 12;
inline constexpr int kDigitImageCount = 19;
inline constexpr int kTrackCellCount = 8;

struct DigitKind
{
    int resourceId;
    int width;   // image width
    int advance; // distance between cells
    int height;
};
inline constexpr std::array<DigitKind, 4> kDigitKinds{{
    {kDigits0, 22, 21, 30},
    {kDigits1, 14, 13, 18},
    {kDigits2, 10, 9, 12},
    {kDigits3, 7, 6, 10},
}};

// Sizes the window icons are drawn at.
inline constexpr std::array<int, 6> kIconSizes{16, 24, 32, 48, 64, 128};
} // namespace res

} // namespace skin
