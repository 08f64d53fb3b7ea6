#include "albums/playlist.h"

#include "albums/album.h"
#include "albums/profilefile.h"
#include "platform/paths.h"
#include "platform/text.h"

#include <fstream>
#include <sstream>

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

} // namespace

std::string ResolvePlayListEntry(std::string_view entry, std::string_view listFile)
{
    if (entry.find("://") != std::string_view::npos)
        return std::string(entry);
    std::string e(entry);
    for (char& c : e) {
        if (c == '\\')
            c = '/';
    }
    if (e.find('/') != std::string::npos)
        return e;
    const size_t slash = listFile.find_last_of("/\\");
    if (slash == std::string_view::npos)
        return e;
    std::string folder(listFile.substr(0, slash + 1));
    for (char& c : folder) {
        if (c == '\\')
            c = '/';
    }
    return folder + e;
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

int ImportList(Album& album, const std::string& file, bool merge)
{
    std::vector<std::string> entries;
    if (PlayListKind(file) == PlayListKindPls) {
        ProfileFile pls;
        pls.load(file);
        entries = ReadPlsList(pls);
    } else {
        std::string bytes;
        if (!readWhole(file, bytes))
            return 0;
        entries = ReadLineList(bytes);
    }
    int added = 0;
    int accepted = 0;
    for (const std::string& raw : entries) {
        const std::string entry = ResolvePlayListEntry(raw, file);
        if (album.MediaKindOf(entry) == MediaKindNone)
            continue;
        ++accepted;
        if (!merge) {
            if (SongEntry* s = album.GetSong(accepted)) {
                s->title = entry;
                s->extendedInfo.clear();
                s->lengthMs = 0;
                s->startFrame = 0;
            } else {
                album.AddSong(entry);
                ++added;
            }
        } else if (!album.FindSong(entry)) {
            album.AddSong(entry);
            ++added;
        }
    }
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
    for (const std::string& e : entries)
        list.push_back(ResolvePlayListEntry(e, file));
}

std::string WriteTempPlayList(const std::vector<std::string>& paths)
{
    paths::ensureDir(paths::dataDir());
    const std::string file = paths::dataDir() + "/$$TEMP$$.M3U";
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out)
        return {};
    for (const std::string& p : paths)
        out << p << '\n';
    out.flush();
    return out ? file : std::string();
}
