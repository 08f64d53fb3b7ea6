#pragma once
// How a song is named wherever it is shown: its file name, and, when the user wants it, the
// title and artist the file carries (ID3v1 for MPEG audio, else the ID3v2 or APE tag; the tags
// of Ogg, FLAC, MP4 and the other compressed kinds; the Korean title of an IMS file).

#include <string>

// The base name (after the last "/" of a URL, after the last "/" or "\" of a path), followed
// when `extended` is set by ",  [title / artist]" from the file. UTF-8.
std::string SongDisplayName(const std::string& path, bool extended);
// The title an IMS file carries (30 Johab bytes at offset 6), in UTF-8; "" when it has none.
std::string ImsSongTitle(const std::string& path);

// The two Korean codes the program knows: Johab (the combination code of KS X 1001 annex 3)
// and Wansung (KS X 1001 in its EUC form).
constexpr int kHangulJohab = 1;
constexpr int kHangulWansung = 6;

// Converts a zero-terminated byte string in place, from Johab to Wansung only (any other pair
// leaves the text as it is). A two-byte code without a Wansung counterpart becomes two blanks.
void ConvertHangulCode(int sourceCode, int targetCode, char* text);

// The Wansung code of one Johab code; 0 when there is none.
unsigned JohabToWansung(unsigned johab);
