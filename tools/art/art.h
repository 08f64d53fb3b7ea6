#pragma once
// Kolvo's built-in art, drawn by code: the 28 skin slots of each of our looks, the glyph lists,
// the LED digit and indicator images, the track-grid cells, the position thumbs, the splash,
// the tray and window icons and the panel emblems. Every image is drawn at a scale of 1 or 2
// from the same geometry, so that 200 % screens get art of their own rather than blown-up
// pixels. Images that are drawn transparently carry magenta (0xFF00FF) where they are clear,
// images that are drawn through image lists carry an alpha channel.

#include <QImage>

#include <optional>
#include <string>
#include <vector>

namespace art {

enum class Theme {
    Original, // the built-in look, "[Original Color]": brushed aluminium
    Golden,   // "GoldEn.uib", the default skin: warm brushed gold
    Nightfall // the second skin: midnight blue steel with cyan light
};

std::optional<Theme> themeByName(const std::string& name);
const char* themeName(Theme theme);
// The display name a skin of this look carries.
const char* themeDisplayName(Theme theme);

// One built-in image by its resource id at scale 1 or 2; a null image for an unknown id.
// Slot images depend on the theme; the other images are the same for every theme.
QImage render(int resourceId, int scale, Theme theme = Theme::Original);

// Every resource id render() knows, slots first.
std::vector<int> resourceIds();

// The window icons (99 main window, 337 remote control) at a square pixel size.
QImage renderIcon(int resourceId, int size);
// The program's icon (the main window's) as an SVG document, from the same drawing.
QByteArray appIconSvg();

} // namespace art
