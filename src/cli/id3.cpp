// kolvo-cli id3: show, write and remove the ID3v1 tag of a file.
#include "albums/filetags.h"
#include "albums/id3tag.h"
#include "albums/profilefile.h"
#include "cli/commands.h"

#include <QFileInfo>

#include <cctype>
#include <cstdio>
#include <string>

namespace {

int show(const std::string& file)
{
    Id3Tag tag;
    if (!ReadId3Tag(file, tag)) {
        const QFileInfo info(QString::fromStdString(file));
        return cliFail(info.isFile() && info.isReadable() ? file + " has no ID3v1 tag"
                                                          : "cannot read " + file);
    }
    std::printf("title: %s\nartist: %s\nalbum: %s\nyear: %s\ncomment: %s\ngenre: %d",
                Id3FieldText(tag.title).c_str(), Id3FieldText(tag.artist).c_str(),
                Id3FieldText(tag.album).c_str(), Id3FieldText(tag.year).c_str(),
                Id3FieldText(tag.comment).c_str(), tag.genre);
    const std::string genre = GenreName(tag.genre);
    std::printf(genre.empty() ? "\n" : " %s\n", genre.c_str());
    return kCliOk;
}

// A genre number (-1 for none) or a genre name from the table.
bool parseGenre(const std::string& text, int& genre)
{
    if (!text.empty() && (std::isdigit(static_cast<unsigned char>(text[0])) || text[0] == '-')) {
        size_t used = 0;
        try {
            genre = std::stoi(text, &used);
        } catch (...) {
            return false;
        }
        return used == text.size() && genre >= -1 && genre <= 255;
    }
    for (int n = 0; n < 128; ++n) {
        if (!GenreName(n).empty() && equalsNoCase(GenreName(n), text)) {
            genre = n;
            return true;
        }
    }
    return false;
}

int write(const std::string& file, const CliArgs& options)
{
    Id3Tag tag;
    ReadId3Tag(file, tag);
    const Id3Tag before = tag;
    for (size_t i = 0; i < options.size(); i += 2) {
        const std::string& option = options[i];
        if (i + 1 >= options.size())
            return cliUsage(option + " needs a value");
        const std::string& value = options[i + 1];
        struct Field
        {
            const char* option;
            std::string* target;
            size_t max;
        } fields[] = {{"--title", &tag.title, 30},
                      {"--artist", &tag.artist, 30},
                      {"--album", &tag.album, 30},
                      {"--year", &tag.year, 4},
                      {"--comment", &tag.comment, 30}};
        bool known = false;
        for (const Field& f : fields) {
            if (option != f.option)
                continue;
            known = true;
            *f.target = Id3FieldFromText(trimText(value), f.max + 1);
            if (f.target->size() > f.max)
                return cliFail(option + " takes at most " + std::to_string(f.max) +
                               " bytes in the tag: " + value);
        }
        if (option == "--genre") {
            known = true;
            if (!parseGenre(value, tag.genre))
                return cliFail("unknown genre " + value + " (a number from -1 to 255 or a name)");
        }
        if (!known)
            return cliUsage("unknown id3 write option " + option);
    }
    // As the tag editor does: an empty record is not written.
    if (tag.title.empty() && tag.artist.empty() && tag.album.empty() && tag.year.empty() &&
        tag.comment.empty() && tag.genre == -1)
        return kCliOk;
    std::string why;
    switch (WriteSongTag(file, before, tag, &why)) {
    case TagWrite::Written:
        return kCliOk;
    case TagWrite::NotMpegAudio:
        return cliFail("not writing an ID3 tag to " + file + ": " + why);
    case TagWrite::Failed:
        break;
    }
    return cliFail("cannot write the ID3 tag of " + file + ": " + why +
                   " (it must be a writable file of at least 128 bytes)");
}

} // namespace

int runId3(const CliArgs& args)
{
    if (args.size() < 2)
        return cliUsage("id3 takes show FILE, write FILE [options] or remove FILE");
    const std::string& verb = args[0];
    const std::string& file = args[1];
    if (verb == "show" && args.size() == 2)
        return show(file);
    if (verb == "write")
        return write(file, CliArgs(args.begin() + 2, args.end()));
    if (verb == "remove" && args.size() == 2) {
        if (!RemoveId3Tag(file))
            return cliFail("cannot remove the ID3 tag of " + file);
        return kCliOk;
    }
    return cliUsage("id3 " + verb + ": wrong arguments");
}
