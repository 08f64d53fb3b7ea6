// kolvo-cli cd: CD albums from and to the files of other CD players; a disc's table of
// contents and headless play are in cdplay.cpp.
#include "albums/cdtext.h"
#include "albums/profilefile.h"
#include "cli/commands.h"

#include <QFileInfo>

#include <cstdio>

namespace {

std::string extensionOf(const std::string& file)
{
    const std::string name = QFileInfo(QString::fromStdString(file)).fileName().toStdString();
    const size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : lowerAscii(name.substr(dot + 1));
}

} // namespace

int runCd(const CliArgs& args)
{
    if (!args.empty() && (args[0] == "toc" || args[0] == "play"))
        return runCdDisc(args);
    if (args.size() != 2 || (args[0] != "import" && args[0] != "export"))
        return cliUsage("cd takes import FILE, export FILE, toc DRIVE or play DRIVE [TRACK]");
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
    const bool ok = ext == "ini" ? ExportIniFile(file) : ExportText(file);
    return ok ? kCliOk : cliFail("cannot write " + file);
}
