#pragma once
// The built-in images, drawn by tools/art and compiled in as PNG data at build time. Names are
// the resource id ("172"), with "@2x" for the double-resolution drawing, and "icon<id>-<size>"
// for the window icons.

#include <cstddef>

struct BuiltinBlob
{
    const char* name;
    const unsigned char* data;
    std::size_t size;
};

// Null when there is no such image.
const BuiltinBlob* findBuiltinArt(const char* name);
