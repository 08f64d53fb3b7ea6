// kolvo-cli album: list, show, add to, import into, export and delete albums of one family.
#include "albums/album.h"
#include "cli/commands.h"

#include <QFileInfo>

#include <cstdio>
#include <fstream>

namespace {

bool parseKind(const std::string& word, AlbumKind& kind)
{
    static const struct
    {
        const char* name;
        AlbumKind kind;
    } kinds[] = {{"cd", AlbumKindCd},
                 {"audio", AlbumKindAudio},
                 {"midi", AlbumKindMidi},
                 {"video", AlbumKindVideo}};
    for (const auto& k : kinds) {
        if (word == k.name) {
            kind = k.kind;
            return true;
        }
    }
    return false;
}

// One value per line: a CR line break, a tab or a backslash would break the layout.
std::string escaped(const std::string& text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            out += c;
        }
    }
    return out;
}

bool readable(const std::string& file)
{
    const QFileInfo info(QString::fromStdString(file));
    return info.isFile() && info.isReadable();
}

// A file album keeps absolute paths; URLs and CD track titles stay as given.
std::string songTitle(AlbumKind kind, const std::string& arg)
{
    if (kind == AlbumKindCd || arg.find("://") != std::string::npos)
        return arg;
    return QFileInfo(QString::fromStdString(arg)).absoluteFilePath().toStdString();
}

int list(AlbumKind kind)
{
    for (const AlbumListEntry& e : Album(kind).ListAlbums())
        std::printf("%s\t%s\t%s\n", escaped(e.key).c_str(), escaped(e.title).c_str(),
                    escaped(e.artist).c_str());
    return kCliOk;
}

int show(AlbumKind kind, const std::string& key)
{
    Album a(kind);
    if (!a.LoadForReading(key))
        return cliFail("no album \"" + key + "\"");
    std::printf("title: %s\nartist: %s\ngenre: %s\next: %s\nrevision: %d\ndiscLengthMs: %d\n"
                "discEndFrame: %d\nprogram:",
                escaped(a.title()).c_str(), escaped(a.artist()).c_str(), escaped(a.genre()).c_str(),
                escaped(a.extendedInfo()).c_str(), a.revision(), a.discLengthMs(),
                a.discEndFrame());
    for (int32_t n : a.program())
        std::printf(" %d", n);
    std::printf("\n");
    for (const SongEntry& s : a.songs())
        std::printf("%d\t%s\t%s\t%d\t%d\n", s.number, escaped(s.title).c_str(),
                    escaped(s.extendedInfo).c_str(), s.lengthMs, s.startFrame);
    return kCliOk;
}

int add(AlbumKind kind, const std::string& key, const CliArgs& files)
{
    // A CD album's songs are the tracks of a disc, each at its place on it; a name or a file
    // would make an album of tracks that are nowhere.
    if (kind == AlbumKindCd)
        return cliFail("a CD album is made from a disc: cd import FILE, cddb query --offsets ... "
                       "--leadout F --save KEY, or the CD Player with the disc in the drive");
    std::vector<std::string> titles;
    for (const std::string& f : files) {
        if (MediaKindOf(kind, f) == MediaKindNone)
            return cliFail(f + " is not a file this album family plays");
        titles.push_back(songTitle(kind, f));
    }
    Album a(kind);
    if (!a.Open(key, 0))
        return cliFail(a.lastError());
    for (const std::string& t : titles)
        a.AddSong(t);
    if (!a.Save())
        return cliFail(a.lastError());
    return kCliOk;
}

int import(AlbumKind kind, const std::string& key, const std::string& file, bool merge)
{
    if (PlayListKind(file) < 0)
        return cliUsage(file + " is not a play list (.pls, .m3u or .ini)");
    if (!readable(file))
        return cliFail("cannot read " + file);
    Album a(kind);
    if (!a.Open(key, 0))
        return cliFail(a.lastError());
    int skipped = 0;
    const int added = a.Import(file, merge, &skipped);
    if (!a.Save())
        return cliFail(a.lastError());
    if (skipped > 0)
        std::fprintf(stderr, "kolvo-cli: %d %s of %s left out: not files this album family plays\n",
                     skipped, skipped == 1 ? "entry" : "entries", file.c_str());
    std::printf("%d\n", added);
    return kCliOk;
}

int exportTo(AlbumKind kind, const std::string& key, const std::string& file)
{
    if (PlayListKind(file) < 0)
        return cliUsage(file + " is not a play list (.pls, .m3u or .ini)");
    Album a(kind);
    if (!a.LoadForReading(key))
        return cliFail("no album \"" + key + "\"");
    if (!a.Export(file))
        return cliFail("cannot write " + file);
    return kCliOk;
}

int remove(AlbumKind kind, const std::string& key)
{
    Album a(kind);
    if (!a.LoadForReading(key))
        return cliFail("no album \"" + key + "\"");
    if (!a.DeleteAlbum())
        return cliFail(a.lastError().empty() ? "cannot delete \"" + key + "\"" : a.lastError());
    return kCliOk;
}

} // namespace

int runAlbum(const CliArgs& args)
{
    if (args.size() < 2)
        return cliUsage("album takes list, show, add, import, export or delete and a kind");
    const std::string& verb = args[0];
    AlbumKind kind;
    if (!parseKind(args[1], kind))
        return cliUsage("unknown album kind " + args[1] + " (cd, audio, midi or video)");
    const size_t n = args.size();
    // Readers see no albums in a database they cannot read; say why instead.
    std::string why;
    if ((verb == "list" || verb == "show" || verb == "export" || verb == "delete") &&
        !Album::CheckDatabase(kind, &why))
        return cliFail(why);
    if (verb == "list" && n == 2)
        return list(kind);
    if (verb == "show" && n == 3)
        return show(kind, args[2]);
    if (verb == "add" && n >= 4)
        return add(kind, args[2], CliArgs(args.begin() + 3, args.end()));
    if (verb == "import" && (n == 4 || (n == 5 && args[4] == "--merge")))
        return import(kind, args[2], args[3], n == 5);
    if (verb == "export" && n == 4)
        return exportTo(kind, args[2], args[3]);
    if (verb == "delete" && n == 3)
        return remove(kind, args[2]);
    return cliUsage("album " + verb + ": wrong arguments");
}
