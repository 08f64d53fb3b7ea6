#include "engines/cuesheet.h"

#include <cctype>

namespace engines {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string upper(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// One FILE line after its keyword: `"name with blanks" TYPE` or `name TYPE`.
bool parseFileLine(const std::string& rest, CueFileEntry& entry)
{
    size_t i = 0;
    while (i < rest.size() && isBlank(rest[i]))
        ++i;
    std::string name;
    size_t after;
    if (i < rest.size() && rest[i] == '"') {
        const size_t close = rest.find('"', i + 1);
        if (close == std::string::npos) {
            // An unclosed quote: the name runs to the end of the line.
            name = rest.substr(i + 1);
            after = rest.size();
        } else {
            name = rest.substr(i + 1, close - i - 1);
            after = close + 1;
        }
    } else {
        // Unquoted: the type is the last word, the name everything before it.
        size_t end = rest.size();
        while (end > i && isBlank(rest[end - 1]))
            --end;
        size_t typeStart = end;
        while (typeStart > i && !isBlank(rest[typeStart - 1]))
            --typeStart;
        size_t nameEnd = typeStart;
        while (nameEnd > i && isBlank(rest[nameEnd - 1]))
            --nameEnd;
        if (nameEnd == i) {
            // A single word: a name without a type.
            name = rest.substr(i, end - i);
            after = end;
        } else {
            name = rest.substr(i, nameEnd - i);
            after = typeStart;
        }
    }
    if (name.empty())
        return false;
    while (after < rest.size() && isBlank(rest[after]))
        ++after;
    size_t typeEnd = after;
    while (typeEnd < rest.size() && !isBlank(rest[typeEnd]))
        ++typeEnd;
    entry.name = std::move(name);
    entry.type = upper(rest.substr(after, typeEnd - after));
    return true;
}

} // namespace

std::vector<CueFileEntry> cueSheetFiles(const std::string& text)
{
    std::vector<CueFileEntry> files;
    size_t pos = 0;
    // A byte-order mark before the first keyword is not part of it.
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        pos = 3;
    while (pos < text.size()) {
        size_t end = pos;
        while (end < text.size() && text[end] != '\n' && text[end] != '\r')
            ++end;
        size_t i = pos;
        while (i < end && isBlank(text[i]))
            ++i;
        if (end - i > 4 && upper(text.substr(i, 4)) == "FILE" && isBlank(text[i + 4])) {
            CueFileEntry entry;
            if (parseFileLine(text.substr(i + 5, end - i - 5), entry))
                files.push_back(std::move(entry));
        }
        pos = end;
        while (pos < text.size() && (text[pos] == '\n' || text[pos] == '\r'))
            ++pos;
    }
    return files;
}

std::string tocSheetUnderFolder(const std::string& text, const std::string& folder)
{
    std::string out;
    out.reserve(text.size() + folder.size() * 4);
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = pos;
        while (end < text.size() && text[end] != '\n' && text[end] != '\r')
            ++end;
        size_t i = pos;
        while (i < end && isBlank(text[i]))
            ++i;
        size_t word = i;
        while (word < end && std::isupper(static_cast<unsigned char>(text[word])))
            ++word;
        const std::string keyword = text.substr(i, word - i);
        size_t quote = word;
        while (quote < end && isBlank(text[quote]))
            ++quote;
        const bool names = (keyword == "FILE" || keyword == "AUDIOFILE" || keyword == "DATAFILE") &&
                           quote > word && quote < end && text[quote] == '"';
        // "-" is standard input; an absolute name needs nothing.
        const bool relative =
            names && quote + 1 < end && text[quote + 1] != '/' && text[quote + 1] != '"' &&
            !(text[quote + 1] == '-' && quote + 2 < end && text[quote + 2] == '"');
        if (relative) {
            out.append(text, pos, quote + 1 - pos);
            out += folder;
            out += '/';
            out.append(text, quote + 1, end - quote - 1);
        } else {
            out.append(text, pos, end - pos);
        }
        pos = end;
        while (pos < text.size() && (text[pos] == '\n' || text[pos] == '\r'))
            out += text[pos++];
    }
    return out;
}

} // namespace engines
