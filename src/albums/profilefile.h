#pragma once
// Profile files in the Windows form ("[section]" lines, "key=value" lines): PLS play lists,
// INI album sections, "cdplayer.ini". Read once and kept in memory; a write changes only the
// lines it must, so every other key, comment and blank line of the file stays as it was.
// Values and section names are legacy text: bytes that are not valid UTF-8 are decoded with the
// legacy code page. Section names match as text, without regard to case, so a section another
// program named in its code page is the section of the same name in UTF-8; key names match
// without regard to ASCII case.

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class ProfileFile
{
public:
    // The longest value a reader gets, in bytes (a 512-byte buffer with its terminator).
    static constexpr size_t kMaxValue = 511;

    ProfileFile() = default;
    static ProfileFile parse(std::string_view bytes);
    // An unreadable or missing file reads as an empty one; false then.
    bool load(const std::string& path);
    // Replaces the file through a temporary file in its folder; false when that fails.
    bool save(const std::string& path) const;
    std::string serialize() const;

    // Every section name once, in file order.
    std::vector<std::string> sectionNames() const;
    bool hasSection(std::string_view section) const;
    bool hasKey(std::string_view section, std::string_view key) const;
    // The value, trimmed, with one pair of enclosing quotes taken off, cut at kMaxValue bytes
    // (never inside a character, see cutText); the default when the key is missing.
    std::string GetString(std::string_view section, std::string_view key,
                          std::string_view defaultValue = {}) const;
    // The value's leading decimal number (sign allowed; 0 when there is none); the default
    // when the key is missing.
    int GetInt(std::string_view section, std::string_view key, int defaultValue) const;

    // Changes the key's line in place, or adds the key after the last line of its section,
    // or adds the section at the end of the file.
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void WriteInt(std::string_view section, std::string_view key, int value);

    // A parsed file shared between readers while it does not change on disk (same size,
    // modification time and inode): importing thousands of sections reads it once.
    static std::shared_ptr<const ProfileFile> cached(const std::string& path);

private:
    struct Section
    {
        std::string name;                                      // raw bytes of the name
        std::vector<std::string> lines;                        // the header line first
        mutable std::unordered_map<std::string, size_t> index; // lower-cased key -> line
        mutable bool indexed = false;
    };
    const Section* findSection(std::string_view section) const;
    const std::string* findValueLine(const Section& s, std::string_view key, size_t* line) const;
    void addLine(const std::string& line);

    std::vector<std::string> m_prefix; // lines before the first section
    std::vector<Section> m_sections;
    std::unordered_map<std::string, size_t> m_sectionIndex; // folded name text -> first one
    std::string m_eol = "\n";
    bool m_bom = false; // the file began with a UTF-8 byte-order mark, kept when written
};

// The leading decimal number of a text as the classic atoi reads it: white space, a sign,
// digits, the rest ignored; 0 when there is none; saturated at the 32-bit limits.
int atoiText(std::string_view text);
// Trimmed of the white space the classic runtime knows (space, tab, CR, LF, VT, FF).
std::string_view trimText(std::string_view text);
// Cut to at most max bytes, backing off so that a character is not split: a UTF-8 one when the
// text is UTF-8, else one of the legacy code page.
std::string cutText(std::string_view text, size_t max);
// Lower-cased ASCII.
std::string lowerAscii(std::string_view text);
// Equal without regard to case (ASCII letters, and other letters through Unicode case folding
// when both texts are valid UTF-8).
bool equalsNoCase(std::string_view a, std::string_view b);
