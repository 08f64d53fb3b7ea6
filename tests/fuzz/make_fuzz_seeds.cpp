// Writes the first seeds of the fuzz targets that read whole files, made by the program's own
// code where it writes such files and by hand where it does not:
//   make_fuzz_seeds OUT   writes OUT/<target>/<name> for each seed
// The committed corpora started from these; long fuzz runs have grown and merged them since,
// so run this only to start a corpus again.
#include "albums/album.h"
#include "albums/id3tag.h"
#include "albums/songname.h"
#include "cddb/serverlist.h"
#include "fuzzhome.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "platform/text.h"

#include <cstdio>
#include <filesystem>

namespace {

std::string g_out;

void seed(const std::string& target, const std::string& name, std::string_view bytes)
{
    fuzzhome::write(g_out + "/" + target + "/" + name, bytes);
}

// Album databases as the program writes them.
void albumDatabases()
{
    fuzzhome::next("albums");
    Album cd(AlbumKindCd);
    cd.Open("6A0B1C03", 3);
    cd.setTitle("Seed \xEA\xB0\x80\xEB\x82\x98");
    cd.setArtist("Kolvo");
    cd.setGenre("misc");
    cd.setExtendedInfo("two lines\rof text");
    cd.GetSong(1)->title = "One";
    cd.GetSong(2)->title = "Two";
    cd.GetSong(2)->extendedInfo = "about two";
    cd.setProgram({3, 1});
    cd.Save();
    seed("fuzz_album_database", "cd-album", fuzzhome::read(Album::DatabasePath(AlbumKindCd)));

    Album audio(AlbumKindAudio);
    audio.Open("Default", 0);
    audio.AddSong("/music/a.mp3");
    audio.AddSong("/music/b.wav");
    audio.Save();
    audio.Open("Second", 0);
    audio.AddSong("http://radio.example.org/stream");
    audio.Save();
    seed("fuzz_album_database", "two-audio-albums",
         fuzzhome::read(Album::DatabasePath(AlbumKindAudio)));
    audio.DeleteAlbum();
    audio.Open("Default", 0);
    audio.DeleteAlbum();
    seed("fuzz_album_database", "emptied", fuzzhome::read(Album::DatabasePath(AlbumKindAudio)));
}

// Settings files: what the server list writes, and a hand-made file with window places,
// numbers of every form and a recording format that is too short.
void settingsFiles()
{
    fuzzhome::next("settings");
    paths::ensureDir(paths::configDir() + "/" + paths::kOrganization);
    SaveCddbServerList({"gnudb.gnudb.org:8880", "[::1]:8880", "http://localhost/~cddb/cddb.cgi"},
                       "gnudb.gnudb.org:8880");
    {
        Profile profile;
        profile.WriteProfileInt("MainController", "PosX", 10);
        profile.WriteProfileInt("MainController", "PosX2", 510);
        profile.WriteProfileString("Output", "Device", "alsa_output.seed");
        profile.sync();
    }
    seed("fuzz_settings_file", "servers", fuzzhome::read(paths::settingsFile()));
    seed("fuzz_settings_file", "by-hand",
         "[General]\nTimer=013000\nColorScheme=Seed Skin\n"
         "[CD]\nDrive=/nonexistent/sr9\nEMail=\"me@example.org\"\n"
         "[Print]\nTitleFontInfoColor=0xFFFFFF\nPageMarginLeft=-20\n"
         "[LyricViewer_0]\nLeft=100\nTop=100\nRight=99\nBottom=2147483647\n"
         "[Audio]\nRecordWAVStruct=@ByteArray(\\x1\\0\\x2\\0)\n");
}

// Legacy text in each code page, encoded by the program, with a character cut in half.
void legacyTexts()
{
    const std::pair<const char*, const char*> pages[] = {
        {"CP1252", "Caf\xC3\xA9 \xE2\x80\x93 na\xC3\xAFve \xE2\x82\xAC"},
        {"CP949", "\xED\x95\x9C\xEA\xB8\x80 \xEB\x85\xB8\xEB\x9E\x98\n\xEA\xB0\x80\xEB\x82\x98"},
        {"CP932", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE\xE3\x81\x86\xE3\x81\x9F "
                  "\xEF\xBD\xB6\xEF\xBE\x80\xEF\xBD\xB6\xEF\xBE\x85"},
    };
    for (const auto& [page, text] : pages) {
        const std::string target = "fuzz_legacy_text_cp" + std::string(page + 2);
        const std::string bytes = text::encodeLegacy(text, page).value_or("");
        seed(target, "text", bytes);
        seed(target, "cut", bytes.substr(0, bytes.size() - 1) + "\n1");
    }
    seed("fuzz_legacy_text_utf8", "damaged",
         "ok \xE6\x97\n\xC0\xAF \xED\xA0\x80 \xF4\x90\x80\x80 \xC3\xA9");
    seed("fuzz_legacy_text_utf8", "latin", "caf\xE9\n");
}

// The end of an MPEG audio file with an ID3v1 tag the program wrote, and an IMS header with a
// Korean title in Johab.
void songFiles()
{
    text::setLegacyCodePage("CP949");
    Id3Tag tag;
    tag.title = Id3FieldFromText("\xEB\x85\xB8\xEB\x9E\x98 Song", 30);
    tag.artist = "Kolvo";
    tag.year = "1998";
    tag.genre = 12;
    seed("fuzz_song_name", "id3v1", std::string(16, '\xFF') + "TAG" + FormatId3Tag(tag));
    text::setLegacyCodePage("");

    // The Johab codes of the syllables wanted, found through the program's own conversion.
    const std::string wansung = text::encodeLegacy("\xEA\xB0\x80\xEB\x82\x98", "CP949").value();
    std::string johab;
    for (size_t i = 0; i + 1 < wansung.size(); i += 2) {
        const unsigned want = static_cast<unsigned char>(wansung[i]) << 8 |
                              static_cast<unsigned char>(wansung[i + 1]);
        unsigned code = 0x8000;
        while (code < 0xFFFF && JohabToWansung(code) != want)
            ++code;
        if (JohabToWansung(code) == want)
            johab += {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
    }
    std::string ims = std::string("\x01\x00\x00\x00\x00\x00", 6) + johab + " tune";
    ims.resize(36, '\0');
    seed("fuzz_song_name", "ims", ims + std::string(28, '\x20'));
}

// Arguments, each ended by a NUL.
void commandLines()
{
    using namespace std::string_view_literals;
    seed("fuzz_command_line", "play", "/playaudio\0/music/song.mp3\0"sv);
    seed("fuzz_command_line", "commands", "-volume:80\0/timer:30\0/nosplash\0"sv);
    seed("fuzz_command_line", "odd", "/PLAYCD\0/timer:-5\0/volume:99999999999\0list.m3u\0"sv);
}

// MPEG frames by hand: MPEG-1 Layer 3, 128 kbps, 44.1 kHz (417 bytes a frame), behind an ID3
// version 2 tag, with an ID3v1 tag at the end; and the same frames with an Info header.
void mpegFiles()
{
    const std::string header("\xFF\xFB\x90\x64", 4);
    const std::string frame = header + std::string(413, '\0');
    std::string id3v2 = std::string("ID3\x03\x00\x00\x00\x00\x00\x14", 10) + std::string(20, '\0');
    Id3Tag tag;
    tag.title = "Frames";
    seed("fuzz_mpeg_file", "tagged", id3v2 + frame + frame + frame + "TAG" + FormatId3Tag(tag));
    std::string info = frame;
    info.replace(4 + 32, 12, std::string("Info\x00\x00\x00\x01\x00\x00\x00\x03", 12));
    seed("fuzz_mpeg_file", "info-header", info + frame + frame);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fuzz_seeds OUT\n");
        return 2;
    }
    g_out = std::filesystem::absolute(argv[1]).string();
    Album::setNotifier([](const std::string&) {});
    albumDatabases();
    settingsFiles();
    legacyTexts();
    songFiles();
    commandLines();
    mpegFiles();
    return 0;
}
