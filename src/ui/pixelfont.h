#pragma once
// Two small dot-matrix fonts of our own for the LED look: a 3 x 5 figure font that fits track
// numbers into the 11 x 9 track-grid cells, and a 5 x 7 capital font for the labels of the
// indicator images. Each dot is one logical pixel, so text stays crisp at any scale.

#include <QColor>

#include <string_view>

class QPainter;

namespace pixelfont {

enum class Face {
    Tiny,  // 3 x 5, figures only
    Small, // 5 x 7, capitals, figures and a few signs
};

int glyphWidth(Face face);
int glyphHeight(Face face);
// Width of a text with one dot of space between characters.
int textWidth(std::string_view text, Face face);
// Draws text with its top-left corner at (x, y); characters the face lacks are left blank.
void draw(QPainter& painter, int x, int y, std::string_view text, const QColor& color, Face face);

} // namespace pixelfont
