#pragma once
// Finding the media files of a folder, and of its sub-folders, for the file album editor's
// "Add Files in Folder" commands. It promises:
// - the files are those the album kind accepts, in the order a person reading the folder sees
//   them: each folder's entries by name (without regard to case, numbers by their value), a
//   sub-folder's files where the sub-folder comes among its parent's entries;
// - hidden entries (names starting with ".") are passed over, as the file manager hides them;
// - symbolic links are followed, and a folder reached twice (a link loop, or two links to one
//   folder) is read only once, so every scan ends;
// - what cannot be taken is reported, never dropped in silence: a folder that cannot be read, a
//   media file behind a dangling link, a name an album cannot hold (not UTF-8 text, or holding
//   a line break);
// - a scan can be watched and cancelled from another thread through a FolderScanControl.

#include "albums/mediakind.h"

#include <atomic>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

struct FolderScanProblem
{
    std::string path;   // as the file system spells it (may not be UTF-8)
    std::string reason; // one line, in the interface language where the program words it
};

struct FolderScanResult
{
    std::vector<std::string> files;
    std::vector<FolderScanProblem> problems;
    bool cancelled = false; // the files found up to the cancel are kept
};

// Shared between a scan and whoever watches it.
class FolderScanControl
{
public:
    void cancel() { m_cancelled.store(true, std::memory_order_relaxed); }
    bool cancelled() const { return m_cancelled.load(std::memory_order_relaxed); }
    // Media files found so far.
    size_t found() const { return m_found.load(std::memory_order_relaxed); }
    void addFound() { m_found.fetch_add(1, std::memory_order_relaxed); }

private:
    std::atomic<bool> m_cancelled{false};
    std::atomic<size_t> m_found{0};
};

// Whether an album can keep the path as a song: UTF-8 text without line breaks or form feeds
// (the album records separate their fields and lines with them).
bool IsStorableSongPath(std::string_view path);

// Compares two file names as the scan orders them: without regard to ASCII case, runs of
// digits by their value; equal names in that sense by their bytes.
bool FileNameLess(std::string_view a, std::string_view b);

// The media files of the kind in the folder (and with recurse, in its sub-folders).
FolderScanResult ScanFolder(AlbumKind kind, const std::string& folder, bool recurse,
                            FolderScanControl* control = nullptr);
