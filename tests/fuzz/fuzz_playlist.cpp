// Play lists and INI files come from other programs. Reading them must not crash; a profile
// file must read the same after it is written out again, and a key written into it must read
// back while every other value stays as it was. An album section read from it keeps to the
// album's limits and survives being written out and read again.
#include "albums/album.h"
#include "albums/playlist.h"
#include "albums/profilefile.h"
#include "platform/text.h"

#include <cstdlib>
#include <string>

namespace {

void importAlbumSection(std::string_view bytes)
{
    // The album's key names its section; a fresh album's key is empty, so the input's first
    // lines are taken as the section "[]".
    const ProfileFile file = ProfileFile::parse("[]\n" + std::string(bytes));
    for (AlbumKind kind : {AlbumKindCd, AlbumKindAudio}) {
        for (bool merge : {false, true}) {
            Album album(kind);
            album.ImportIni(file, merge);
            if (album.songCount() > (kind == AlbumKindCd ? 99 : 100000))
                std::abort();
            album.CleanProgram();
            for (int32_t n : album.program())
                if (n < 1 || n > album.songCount())
                    std::abort();
            ProfileFile out;
            album.ExportIni(out);
            Album again(kind);
            again.ImportIni(ProfileFile::parse(out.serialize()), false);
            if (again.songCount() != album.songCount() || again.program() != album.program())
                std::abort();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (const std::string& entry : ReadLineList(bytes)) {
        if (entry.empty() || entry.size() > 2048 || !text::isValidUtf8(entry))
            std::abort();
        ResolvePlayListEntry(entry, "/music/list.m3u");
    }
    const ProfileFile file = ProfileFile::parse(bytes);
    ReadPlsList(file);
    const std::vector<std::string> sections = file.sectionNames();
    importAlbumSection(bytes);

    ProfileFile changed = ProfileFile::parse(file.serialize());
    if (changed.sectionNames() != sections)
        std::abort();
    changed.WriteString("fuzz section", "fuzz key", "fuzz value");
    changed.WriteInt("playlist", "NumberOfEntries", 3);
    const ProfileFile reread = ProfileFile::parse(changed.serialize());
    if (reread.GetString("Fuzz Section", "FUZZ KEY") != "fuzz value" ||
        reread.GetInt("playlist", "numberofentries", -1) != 3)
        std::abort();
    for (const std::string& s : sections) {
        if (equalsNoCase(s, "fuzz section") || equalsNoCase(s, "playlist"))
            continue;
        for (const char* key : {"title", "numtracks", "0", "File1"}) {
            if (reread.GetString(s, key, "\x01") != file.GetString(s, key, "\x01"))
                std::abort();
        }
    }
    return 0;
}
