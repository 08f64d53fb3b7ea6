#pragma once
// The desktop's list of default applications, mimeapps.list (the freedesktop.org MIME
// applications associations file), read and changed line by line: a change touches only the
// line of the type it changes, so every other byte of the file (comments, other groups, spacing,
// line ends, a missing final newline) stays as the user or other programs left it, and undoing a
// change gives back the file as it was.

#include <optional>
#include <string>
#include <vector>

namespace mimeapps {

inline constexpr const char* kDefaultGroup = "[Default Applications]";

// $XDG_CONFIG_HOME/mimeapps.list, where a user's choices are kept.
std::string userListPath();
// $XDG_DATA_HOME/applications, where a user's own desktop entries are kept.
std::string userApplicationsDir();

class List
{
public:
    // Reads the file; a file that does not exist is an empty list. False with the reason in
    // `error` when it cannot be read, and with the line number (1-based) in `badLine` when a line
    // is not a blank line, a comment, a group header or a key=value entry, or is not UTF-8.
    bool load(const std::string& path, std::string& error, int& badLine);
    // Writes it back (the link's target when the path is a symbolic link); removes the file when
    // `removeWhenEmpty` and nothing is left. False with the reason when it cannot be written.
    bool save(std::string& error, bool removeWhenEmpty) const;

    bool existed() const { return m_existed; }
    bool empty() const;
    // The whole line of the type in [Default Applications] as it stands
    // ("audio/mpeg=vlc.desktop;").
    std::optional<std::string> defaultLine(const std::string& type) const;
    bool hasDefaultGroup() const;
    // Makes `desktopId` the default of the type: its line is replaced where it stands, or added
    // at the end of the group (the group at the end of the file when there is none).
    void setDefault(const std::string& type, const std::string& desktopId);
    // Puts a line back as it was: `line` where the type's line stands (or at the group's end),
    // or, without a line, removes the type's line.
    void restoreLine(const std::string& type, const std::optional<std::string>& line);
    // Removes the [Default Applications] header when no entry is left under it.
    void removeDefaultGroupIfEmpty();
    std::string text() const;

private:
    int groupStart() const; // index of the header line, -1 without one
    int groupEnd() const;   // index after the group's last entry
    int find(const std::string& type) const;
    void insertInGroup(const std::string& line);

    std::string m_path;
    bool m_existed = false;
    // The file split at '\n'; a file ending in '\n' has a last empty element.
    std::vector<std::string> m_lines;
};

} // namespace mimeapps
