#pragma once
// The skin of the program: the 28 slots (from a skin file or the built-in bitmaps), the glyph
// lists and the other built-in image lists. One instance for the whole program, on the
// user-interface thread. It starts with the built-in look; the main controller calls LoadSkin
// with the "ColorScheme" setting when it is created and again when the user picks another skin.

#include "ui/skinbitmap.h"
#include "ui/skinslots.h"

#include <QColor>
#include <QIcon>

#include <array>
#include <map>
#include <string>
#include <vector>

struct SkinChoice
{
    std::string displayName; // UTF-8
    std::string fileName;    // "" for the built-in look
};

class Skin
{
public:
    static Skin& instance();

    // (Re)loads the 28 slots. An empty name means the built-in look; otherwise the file is
    // looked for in the skin folders (a name holding a "/" is taken as a path). A missing or
    // refused file, or one that breaks off before its fourth slot, gives the built-in look;
    // slots 19-27 are always filled.
    void LoadSkin(const std::string& fileName);

    // The bitmap of slot n; an empty bitmap when the skin left it out or n is out of range.
    const SkinBitmap& Slot(int n) const;
    // The 32-pixel (large) or the 16-pixel glyph list.
    const ImageList& GlyphList(bool large) const;
    const ImageList& Indicators() const;
    const ImageList& Digits(int kind) const; // kinds 0-3
    const ImageList& TrackCells() const;
    const ImageList& PositionThumbs() const;
    const ImageList& TrayIcons() const;
    // A built-in image that skins do not replace (emblems, splash).
    const SkinBitmap& Builtin(int resourceId) const;
    // The window icon 99 (main window) or 337 (remote control), at every size we draw.
    QIcon WindowIcon(int resourceId) const;
    // Black or a light grey, whichever reads better on the slot's background.
    QColor TextColor(int slot) const;

    // What the last LoadSkin did.
    bool usingBuiltin() const { return m_usingBuiltin; }
    const std::string& loadedPath() const { return m_loadedPath; }
    // Goes up by one with every LoadSkin, so that caches of drawn panels know to redraw.
    int generation() const { return m_generation; }

    // The path a skin file name stands for, or "" when there is no such file.
    static std::string FindSkinFile(const std::string& fileName);
    // "[Original Color]" first, then every acceptable skin file of the skin folders (a file
    // name found in an earlier folder hides the same name in later ones). selected receives
    // the index of the entry for the current "ColorScheme".
    static std::vector<SkinChoice> ListSkins(const std::string& current, int* selected = nullptr);

private:
    Skin();
    const ImageList& list(int resourceId, int cellWidth) const;

    std::array<SkinBitmap, skin::kSlotCount> m_slots;
    bool m_usingBuiltin = true;
    std::string m_loadedPath;
    int m_generation = 0;
    mutable std::map<int, ImageList> m_lists;
    mutable std::map<int, SkinBitmap> m_builtins;
    mutable std::map<int, QColor> m_textColors;
};
