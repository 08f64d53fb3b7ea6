// Play lists and INI files from other programs: a profile file reads the same once written out,
// a key written reads back while every other value stays, and an album section keeps to the
// album's limits through being written out and read again.
#include "albums/album.h"
#include "albums/playlist.h"
#include "albums/profilefile.h"
#include "fuzzcheck.h"
#include "platform/text.h"

static void importAlbumSection(const std::string& bytes)
{
    // The album's key names its section; a fresh album's key is empty, so the input's first
    // lines are taken as the section "[]".
    const ProfileFile file = ProfileFile::parse("[]\n" + bytes);
    for (AlbumKind kind : {AlbumKindCd, AlbumKindAudio}) {
        for (bool merge : {false, true}) {
            Album album(kind), again(kind);
            album.ImportIni(file, merge);
            FUZZ_CHECK(album.songCount() <= (kind == AlbumKindCd ? 99 : 100000));
            album.CleanProgram();
            for (int32_t n : album.program())
                FUZZ_CHECK(n >= 1 && n <= album.songCount());
            ProfileFile out;
            album.ExportIni(out);
            again.ImportIni(ProfileFile::parse(out.serialize()), false);
            FUZZ_CHECK(again.songCount() == album.songCount() &&
                       again.program() == album.program());
        }
    }
}

FUZZ_TARGET
{
    for (const std::string& entry : ReadLineList(bytes)) {
        FUZZ_CHECK(!entry.empty() && entry.size() <= 2048 && text::isValidUtf8(entry));
        ResolvePlayListEntry(entry, "/music/list.m3u");
    }
    const ProfileFile file = ProfileFile::parse(bytes);
    ReadPlsList(file);
    const std::vector<std::string> sections = file.sectionNames();
    importAlbumSection(bytes);

    ProfileFile changed = ProfileFile::parse(file.serialize());
    FUZZ_CHECK(changed.sectionNames() == sections);
    changed.WriteString("fuzz section", "fuzz key", "fuzz value");
    changed.WriteInt("playlist", "NumberOfEntries", 3);
    const ProfileFile reread = ProfileFile::parse(changed.serialize());
    FUZZ_CHECK(reread.GetString("Fuzz Section", "FUZZ KEY") == "fuzz value" &&
               reread.GetInt("playlist", "numberofentries", -1) == 3);
    for (const std::string& s : sections) {
        if (equalsNoCase(s, "fuzz section") || equalsNoCase(s, "playlist"))
            continue;
        for (const char* key : {"title", "numtracks", "0", "File1"})
            FUZZ_CHECK(reread.GetString(s, key, "\x01") == file.GetString(s, key, "\x01"));
    }
}
