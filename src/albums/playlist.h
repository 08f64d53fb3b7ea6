#pragma once
// M3U and PLS play lists: reading them into albums, writing albums out as them, expanding them
// into lists of entries, and the temporary M3U hand-off of the player components.
//
// Entries are resolved against the list's own folder: an entry without a folder part gets the
// list's folder; entries with one stay as written. "\" in entries of lists made on Windows
// becomes "/"; URLs ("scheme://...") are kept whole.

#include <string>
#include <string_view>
#include <vector>

class Album;

std::string ResolvePlayListEntry(std::string_view entry, std::string_view listFile);

// The entries of an M3U file as read in text mode: one per line (CR LF taken as LF), each cut
// at 511 bytes (between characters) with the rest read as the next line, trimmed; the first
// blank line ends the list.
// A UTF-8 byte-order mark at the start is dropped. Entries are not resolved.
std::vector<std::string> ReadLineList(std::string_view bytes);

// The entries of a PLS file (section "playlist", NumberOfEntries, File1 ... FileN, up to the
// first missing one). Entries are not resolved.
class ProfileFile;
std::vector<std::string> ReadPlsList(const ProfileFile& file);

// PLS or M3U into the album (the album's Import does the dispatch): the number of songs added.
int ImportList(Album& album, const std::string& file, bool merge);
// False when the file could not be written.
bool ExportList(const Album& album, const std::string& file);

// Appends the resolved entries of a PLS file, or of any other play list read as lines,
// without checking them.
void ExpandPlayList(const std::string& file, std::vector<std::string>& list);

// Writes "$$TEMP$$.M3U" in the data folder, one path per line; its path, "" on failure.
std::string WriteTempPlayList(const std::vector<std::string>& paths);
