// How the file album editor compares the paths of its songs: without regard to case where that
// names one file, folders as a tree, extensions as sort keys.

#include "albums/filealbumeditorpaths.h"

#include "albums/folderscan.h"

#include <QString>

#include <algorithm>

#include <sys/stat.h>

namespace editorpaths {
namespace {

QString fromUtf8(std::string_view s)
{
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

} // namespace

bool isAddress(std::string_view path)
{
    return path.find("://") != std::string_view::npos;
}

bool isAscii(std::string_view s)
{
    return std::all_of(s.begin(), s.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// A text folded for comparisons without regard to case.
std::string folded(std::string_view s)
{
    if (isAscii(s)) {
        std::string out(s);
        for (char& c : out)
            c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        return out;
    }
    return fromUtf8(s).toCaseFolded().toStdString();
}

bool sameName(std::string_view a, std::string_view b)
{
    return a == b || fromUtf8(a).toUpper() == fromUtf8(b).toUpper();
}

// Two spellings of one file: both exist and are the same file.
bool sameFile(const std::string& a, const std::string& b)
{
    if (isAddress(a) || isAddress(b))
        return false;
    struct stat sa, sb;
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

// Folders compare as a tree: component by component, so that a folder comes right before its
// sub-folders and before names that merely start with its name.
bool folderLess(std::string_view a, std::string_view b)
{
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const size_t ei = std::min(a.find('/', i), a.size());
        const size_t ej = std::min(b.find('/', j), b.size());
        const std::string_view ca = a.substr(i, ei - i), cb = b.substr(j, ej - j);
        if (ca != cb)
            return FileNameLess(ca, cb);
        i = ei + 1;
        j = ej + 1;
    }
    return a.size() - std::min(i, a.size()) < b.size() - std::min(j, b.size());
}

std::string extensionKey(const std::string& name)
{
    const size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string(" ") : name.substr(dot + 1);
}

} // namespace editorpaths
