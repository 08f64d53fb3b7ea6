// kolvo-cli cd: CD albums from and to the files of other CD players, and the printed report of
// the CD albums as a PDF file; a disc's table of contents and headless play are in cdplay.cpp.
#include "albums/album.h"
#include "albums/cdtext.h"
#include "albums/profilefile.h"
#include "albums/reportprint.h"
#include "cli/commands.h"
#include "platform/profile.h"
#include "platform/settings.h"
#include "platform/strings.h"

#include <QFileInfo>
#include <QPageSize>

#include <cstdio>
#include <cstdlib>

namespace {

std::string extensionOf(const std::string& file)
{
    const std::string name = QFileInfo(QString::fromStdString(file)).fileName().toStdString();
    const size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : lowerAscii(name.substr(dot + 1));
}

bool parsePages(const std::string& text, ReportPageRange& range)
{
    const size_t dash = text.find('-');
    const std::string from = text.substr(0, dash);
    const std::string to = dash == std::string::npos ? from : text.substr(dash + 1);
    const auto number = [](const std::string& word, int& value) {
        if (word.empty() || word.size() > 3 || word.find_first_not_of("0123456789") != word.npos)
            return false;
        value = std::atoi(word.c_str());
        return value >= 1;
    };
    return number(from, range.from) && number(to, range.to);
}

bool parsePaper(const std::string& name, QPageSize& size)
{
    static const struct
    {
        const char* name;
        QPageSize::PageSizeId id;
    } papers[] = {{"a3", QPageSize::A3},         {"a4", QPageSize::A4},
                  {"a5", QPageSize::A5},         {"b5", QPageSize::B5},
                  {"letter", QPageSize::Letter}, {"legal", QPageSize::Legal}};
    for (const auto& p : papers) {
        if (lowerAscii(name) == p.name) {
            size = QPageSize(p.id);
            return true;
        }
    }
    return false;
}

// cd report OUT.pdf [--album KEY] [--pages FROM-TO] [--paper NAME]
int report(const CliArgs& args)
{
    std::string out, key;
    ReportPageRange range;
    QPageSize paper;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--album" && hasValue) {
            key = args[++i];
        } else if (a == "--pages" && hasValue) {
            if (!parsePages(args[++i], range))
                return cliUsage("--pages takes FROM-TO, pages from 1 to 999");
        } else if (a == "--paper" && hasValue) {
            if (!parsePaper(args[++i], paper))
                return cliUsage("unknown paper " + args[i] + " (a3, a4, a5, b5, letter, legal)");
        } else if (a.rfind("--", 0) != 0 && out.empty()) {
            out = a;
        } else {
            return cliUsage("cd report takes OUT.pdf [--album KEY] [--pages FROM-TO] "
                            "[--paper NAME]");
        }
    }
    if (out.empty())
        return cliUsage("cd report needs the PDF file to write");

    Profile::SetRegistryKey(LoadString(1016));
    AppSettings settings;
    {
        const Profile profile;
        LoadSettingsFrom(profile, settings);
    }
    std::vector<Album> albums;
    const bool selection = !key.empty();
    if (selection) {
        Album& album = albums.emplace_back(AlbumKindCd);
        if (!album.LoadForReading(key))
            return cliFail("no CD album " + key);
    } else {
        albums = loadReportAlbums(Album(AlbumKindCd).ListAlbumKeys());
    }
    std::string error;
    const int pages = printReportToPdf(out, settings, albums, selection, range, paper, &error);
    if (pages < 0)
        return cliFail(error);
    std::printf("%d\n", pages);
    return kCliOk;
}

} // namespace

int runCd(const CliArgs& args)
{
    if (!args.empty() && args[0] == "report")
        return report(args);
    if (!args.empty() && (args[0] == "toc" || args[0] == "play"))
        return runCdDisc(args);
    if (!args.empty() && args[0] == "copy")
        return runCdCopy(args);
    if (args.size() != 2 || (args[0] != "import" && args[0] != "export"))
        return cliUsage(
            "cd takes import FILE, export FILE, report OUT.pdf, toc DRIVE or play DRIVE [TRACK]");
    const std::string& file = args[1];
    const std::string ext = extensionOf(file);
    if (args[0] == "import") {
        if (ext != "ini" && ext != "dpc" && ext != "ncd")
            return cliUsage(file + ": cd import reads .ini, .dpc and .ncd files");
        const QFileInfo info(QString::fromStdString(file));
        if (!info.isFile() || !info.isReadable())
            return cliFail("cannot read " + file);
        std::vector<std::string> problems;
        const int imported = ImportCdFile(file, &problems);
        for (const std::string& p : problems)
            std::fprintf(stderr, "kolvo-cli: skipped: %s\n", p.c_str());
        std::printf("%d\n", imported);
        return kCliOk;
    }
    if (ext != "ini" && ext != "txt")
        return cliUsage(file + ": cd export writes .ini and .txt files");
    // An empty file would look like a successful export to whoever opens it later.
    if (Album(AlbumKindCd).ListAlbumKeys().empty())
        return cliFail("there are no CD albums to export; nothing written");
    const bool ok = ext == "ini" ? ExportIniFile(file) : ExportText(file);
    return ok ? kCliOk : cliFail("cannot write " + file);
}
