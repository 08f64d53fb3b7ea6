#pragma once
// How the file album editor compares the paths of its songs. A path is a duplicate of one in
// the list when it is spelled the same, or differs only in case and names the same file (two
// Linux files whose names differ only in case are two songs). Folders compare as a tree.

#include "albums/filealbumeditor.h"

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace editorpaths {

bool isAddress(std::string_view path);
bool isAscii(std::string_view s);
// A text folded for comparisons without regard to case.
std::string folded(std::string_view s);
bool sameName(std::string_view a, std::string_view b);
// Two spellings of one file: both exist and are the same file.
bool sameFile(const std::string& a, const std::string& b);
// Folders compare as a tree: component by component, so that a folder comes right before its
// sub-folders and before names that merely start with its name.
bool folderLess(std::string_view a, std::string_view b);
// The sort key of a file's extension (" " for none).
std::string extensionKey(const std::string& name);

// The paths of the list, found by their folded spelling; a path is in the list when it is
// spelled the same, or differs only in case and names the same file.
class SongPathIndex
{
public:
    explicit SongPathIndex(const std::vector<EditorSong>& rows)
    {
        m_byFold.reserve(rows.size() * 2);
        for (const EditorSong& row : rows)
            insert(row.path);
    }
    bool contains(const std::string& path) const
    {
        const auto it = m_byFold.find(folded(path));
        if (it == m_byFold.end())
            return false;
        if (std::find(it->second.begin(), it->second.end(), path) != it->second.end())
            return true;
        return std::any_of(it->second.begin(), it->second.end(),
                           [&path](const std::string& p) { return sameFile(p, path); });
    }
    void insert(const std::string& path) { m_byFold[folded(path)].push_back(path); }

private:
    std::unordered_map<std::string, std::vector<std::string>> m_byFold;
};

} // namespace editorpaths
