#pragma once
// The skin sheet: every slot, glyph, digit set and indicator of the loaded skin and a sample of
// each panel with its controls, on one image, at scale 1 or 2. Needs a QApplication.

#include <QImage>

#include <string>

// Draws the sheet of the skin that is loaded now; skinFile is only its caption.
QImage renderSkinSheet(const std::string& skinFile, int scale);
