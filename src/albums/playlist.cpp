#include "albums/playlist.h"

#include "albums/folderscan.h"

#include "albums/album.h"
#include "albums/profilefile.h"
#include "platform/log.h"
#include "platform/paths.h"
#include "platform/text.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <strings.h>

namespace {

constexpr size_t kMaxLine = 511;
constexpr int kMaxM3uEntries = 1000000;

bool readWhole(const std::string& path, std::string& out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream s;
    s << in.rdbuf();
    out = s.str();
    return true;
}

// "C:/..." or "C:name": a path of another system's drive, which cannot be resolved here.
bool isDrivePath(std::string_view e)
{
    return e.size() >= 2 && e[1] == ':' && std::isalpha(static_cast<unsigned char>(e[0]));
}

bool startsWithNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() &&
           strncasecmp(text.data(), prefix.data(), prefix.size()) == 0;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The path of a "file://" URI naming this machine (no host or "localhost"), escapes decoded;
// nothing for any other URL. A "%" not followed by two hex digits stays as it is.
std::optional<std::string> localFileUri(std::string_view uri)
{
    constexpr std::string_view kScheme = "file://";
    if (!startsWithNoCase(uri, kScheme))
        return std::nullopt;
    std::string_view rest = uri.substr(kScheme.size());
    const size_t slash = rest.find('/');
    if (slash == std::string_view::npos)
        return std::nullopt;
    const std::string_view host = rest.substr(0, slash);
    if (!host.empty() && !(host.size() == 9 && startsWithNoCase(host, "localhost")))
        return std::nullopt;
    rest.remove_prefix(slash);
    std::string path;
    for (size_t i = 0; i < rest.size(); ++i) {
        const bool escape = rest[i] == '%' && i + 2 < rest.size() && hexDigit(rest[i + 1]) >= 0 &&
                            hexDigit(rest[i + 2]) >= 0;
        if (escape) {
            path += static_cast<char>(hexDigit(rest[i + 1]) * 16 + hexDigit(rest[i + 2]));
            i += 2;
        } else {
            path += rest[i];
        }
    }
    return path;
}

} // namespace

std::string ResolvePlayListEntry(std::string_view entry, std::string_view listFile)
{
    if (entry.find("://") != std::string_view::npos) {
        if (const std::optional<std::string> path = localFileUri(entry))
            return *path;
        return std::string(entry);
    }
    std::string e(entry);
    for (char& c : e) {
        if (c == '\\')
            c = '/';
    }
    // An entry with a folder of its own ("sub/song.mp3", "../song.mp3") stays as written, as
    // the classic resolution keeps it; only a bare name takes the list's folder.
    if (e.empty() || e.find('/') != std::string::npos || isDrivePath(e))
        return e;
    const size_t slash = listFile.find_last_of("/\\");
    if (slash == std::string_view::npos)
        return e;
    std::string folder(listFile.substr(0, slash + 1));
    for (char& c : folder) {
        if (c == '\\')
            c = '/';
    }
    if (isDrivePath(folder))
        return folder + e;
    return std::filesystem::path(folder + e).lexically_normal().string();
}

std::vector<std::string> ReadLineList(std::string_view bytes)
{
    std::vector<std::string> entries;
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF")
        bytes.remove_prefix(3);
    size_t pos = 0;
    while (pos < bytes.size() && static_cast<int>(entries.size()) < kMaxM3uEntries) {
        size_t end = bytes.find('\n', pos);
        if (end == std::string_view::npos)
            end = bytes.size();
        std::string_view line = bytes.substr(pos, end - pos);
        size_t next = end + 1;
        // A long line is read in pieces, as a 512-byte buffer reads it, but cut between
        // characters so that each piece is still text of the line's encoding.
        if (line.size() > kMaxLine) {
            line = line.substr(0, cutText(line, kMaxLine).size());
            next = pos + line.size();
        } else if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        const std::string_view entry = trimText(line);
        if (entry.empty())
            break;
        entries.push_back(text::decodeLegacy(entry));
        pos = next;
    }
    return entries;
}

std::vector<std::string> ReadPlsList(const ProfileFile& file)
{
    std::vector<std::string> entries;
    const int n = file.GetInt("playlist", "NumberOfEntries", 0);
    for (int k = 1; k <= n; ++k) {
        std::string entry = file.GetString("playlist", "File" + std::to_string(k));
        if (entry.empty())
            break;
        entries.push_back(std::move(entry));
    }
    return entries;
}

int ImportList(Album& album, const std::string& file, bool merge, int* skipped)
{
    std::vector<std::string> entries;
    std::vector<std::string> listTitles;
    const bool pls = PlayListKind(file) == PlayListKindPls;
    if (pls) {
        ProfileFile list;
        list.load(file);
        entries = ReadPlsList(list);
        for (size_t k = 1; k <= entries.size(); ++k)
            listTitles.push_back(list.GetString("playlist", "Title" + std::to_string(k)));
    } else {
        std::string bytes;
        if (!readWhole(file, bytes))
            return 0;
        entries = ReadLineList(bytes);
    }
    int added = 0;
    int accepted = 0;
    int left = 0;
    std::string extinfTitle;
    for (size_t k = 0; k < entries.size(); ++k) {
        const std::string& raw = entries[k];
        std::string title = pls ? listTitles[k] : std::string();
        if (!pls && raw[0] == '#') {
            // "#EXTINF:<seconds>,<title>" names the entry on the next line; "#EXTM3U" and the
            // other directives are no entries.
            if (startsWithNoCase(raw, "#EXTINF:")) {
                const size_t comma = raw.find(',');
                extinfTitle = comma == std::string::npos
                                  ? std::string()
                                  : std::string(trimText(std::string_view(raw).substr(comma + 1)));
            }
            continue;
        }
        if (!pls) {
            title = std::move(extinfTitle);
            extinfTitle.clear();
        }
        const std::string entry = ResolvePlayListEntry(raw, file);
        if (album.MediaKindOf(entry) == MediaKindNone) {
            ++left;
            KLOG_INFO("albums",
                      "%s: entry %zu, \"%s\", skipped: not a kind of file this player plays",
                      file.c_str(), k + 1, raw.c_str());
            continue;
        }
        ++accepted;
        if (!merge) {
            if (SongEntry* s = album.GetSong(accepted)) {
                s->title = entry;
                s->extendedInfo = title;
                s->lengthMs = 0;
                s->startFrame = 0;
            } else {
                album.AddSong(entry, title);
                ++added;
            }
        } else if (!album.FindSong(entry)) {
            album.AddSong(entry, title);
            ++added;
        }
    }
    if (left > 0)
        KLOG_INFO("albums", "%s: %d of %zu entries skipped", file.c_str(), left, entries.size());
    if (skipped)
        *skipped = left;
    return added;
}

bool ExportList(const Album& album, const std::string& file)
{
    if (PlayListKind(file) == PlayListKindPls) {
        ProfileFile pls;
        pls.load(file);
        pls.WriteInt("playlist", "NumberOfEntries", album.songCount());
        for (int k = 1; k <= album.songCount(); ++k)
            pls.WriteString("playlist", "File" + std::to_string(k), album.GetSong(k)->title);
        return pls.save(file);
    }
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out)
        return false;
    for (const SongEntry& s : album.songs())
        out << s.title << '\n';
    out.flush();
    return static_cast<bool>(out);
}

void ExpandPlayList(const std::string& file, std::vector<std::string>& list)
{
    const int kind = PlayListKind(file);
    if (kind < 0)
        return;
    std::vector<std::string> entries;
    if (kind == PlayListKindPls) {
        ProfileFile pls;
        pls.load(file);
        entries = ReadPlsList(pls);
    } else {
        std::string bytes;
        if (!readWhole(file, bytes))
            return;
        entries = ReadLineList(bytes);
    }
    for (const std::string& e : entries) {
        if (kind != PlayListKindPls && e[0] == '#')
            continue; // "#EXTM3U", "#EXTINF:..." and other directives of extended M3U
        list.push_back(ResolvePlayListEntry(e, file));
    }
}

std::string TempPlayListPath()
{
    return paths::dataDir() + "/$$TEMP$$.M3U";
}

std::string WriteTempPlayList(const std::vector<std::string>& paths)
{
    paths::ensureDir(paths::dataDir());
    const std::string file = TempPlayListPath();
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out)
        return {};
    for (const std::string& p : paths)
        out << p << '\n';
    out.flush();
    return out ? file : std::string();
}

std::vector<std::string> CollectPlayableFiles(AlbumKind kind, const std::vector<std::string>& names)
{
    std::vector<std::string> out;
    for (const std::string& name : names) {
        std::error_code ec;
        const int listKind = PlayListKind(name);
        if (std::filesystem::is_directory(name, ec)) {
            // The album editor's scan: name order, each folder read once whatever links do.
            FolderScanResult scan = ScanFolder(kind, name, true);
            for (FolderScanProblem& problem : scan.problems)
                KLOG_INFO("albums", "%s: %s", problem.path.c_str(), problem.reason.c_str());
            for (std::string& file : scan.files)
                out.push_back(std::move(file));
        } else if (MediaKindOf(kind, name) != MediaKindNone) {
            out.push_back(name);
        } else if (listKind == PlayListKindPls || listKind == PlayListKindM3u) {
            std::vector<std::string> entries;
            ExpandPlayList(name, entries);
            for (std::string& e : entries) {
                if (MediaKindOf(kind, e) != MediaKindNone)
                    out.push_back(std::move(e));
            }
        } else {
            KLOG_INFO("albums", "%s left out: not a file this player plays", name.c_str());
        }
    }
    return out;
}
