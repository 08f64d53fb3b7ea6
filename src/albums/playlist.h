#pragma once
// M3U and PLS play lists: reading them into albums, writing albums out as them, expanding them
// into lists of entries, and the temporary M3U hand-off of the player components.
//
// Entries are resolved against the list's own folder, so a list keeps working wherever it is
// opened from: a relative entry ("song.mp3", "sub/song.mp3", "../song.mp3") is joined to the
// list's folder and cleaned; an absolute one and a Windows drive path ("C:/...") stay as
// written. "\" in entries of lists made on Windows becomes "/". A "file://" URI of this machine
// becomes its path, percent escapes decoded; other URLs ("scheme://...") are kept whole.

#include "albums/mediakind.h"

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
// A title the list gives a song (M3U "#EXTINF:<seconds>,<title>", PLS "Title<k>") becomes the
// song's extended text, since a song has no display title of its own. Entries that are not
// files of the album's family are skipped, each with a log line saying which and why; their
// number goes to `skipped` when given. Other "#" lines of an M3U are directives, not entries.
int ImportList(Album& album, const std::string& file, bool merge, int* skipped = nullptr);
// False when the file could not be written.
bool ExportList(const Album& album, const std::string& file);

// Appends the resolved entries of a PLS file, or of any other play list read as lines,
// without checking them.
void ExpandPlayList(const std::string& file, std::vector<std::string>& list);

// Writes "$$TEMP$$.M3U" in the data folder, one path per line; its path, "" on failure.
std::string WriteTempPlayList(const std::vector<std::string>& paths);
// The path WriteTempPlayList writes, so a receiver knows the list is one to delete after use.
std::string TempPlayListPath();

// What names given together (several files on the command line, a folder, the Open choices)
// come to for one album family, in the order given: a file of a kind the family plays as it
// is; a play list's entries of such kinds, resolved; a folder's such files, its sub-folders
// included, in name order (play lists inside folders are left alone, their songs are there
// already). Other names are left out with a log line.
std::vector<std::string> CollectPlayableFiles(AlbumKind kind,
                                              const std::vector<std::string>& names);
