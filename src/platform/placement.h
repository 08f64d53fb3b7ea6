#pragma once
// Windows remember their rectangles in the settings (left, top, right, bottom, with right and
// bottom just outside the window) and come back on the work area of the screen.

#include <QRect>

#include <array>
#include <string>

class Profile;

using RectValueNames = std::array<const char*, 4>; // left, top, right, bottom
inline constexpr RectValueNames kLeftTopRightBottom{"Left", "Top", "Right", "Bottom"};
inline constexpr RectValueNames kPosXYX2Y2{"PosX", "PosY", "PosX2", "PosY2"};

// A missing value reads as 0, so a window never saved reads as an empty rectangle.
QRect ReadWindowRect(const Profile& profile, const std::string& section,
                     const RectValueNames& names = kLeftTopRightBottom);
void WriteWindowRect(Profile& profile, const std::string& section, const QRect& rect,
                     const RectValueNames& names = kLeftTopRightBottom);

// The saved rectangle limited to the work area, or the fallback when less than minVisible
// pixels of it would show in either direction.
QRect FitToWorkArea(const QRect& saved, const QRect& workArea, const QRect& fallback,
                    int minVisible = 20);

// The primary screen's work area (the desktop without panels).
QRect DesktopWorkArea();
