#include "albums/profilefile.h"

#include "platform/text.h"

#include <QString>

#include <climits>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// "key=value" split; false for lines without "=" and comments.
bool splitKeyLine(std::string_view line, std::string_view& key, std::string_view& value)
{
    const std::string_view t = trimText(line);
    if (t.empty() || t[0] == ';' || t[0] == '[')
        return false;
    const size_t eq = t.find('=');
    if (eq == std::string_view::npos)
        return false;
    key = trimText(t.substr(0, eq));
    value = trimText(t.substr(eq + 1));
    return true;
}

// The name of a "[section]" line; false for other lines.
bool sectionOfLine(std::string_view line, std::string_view& name)
{
    const std::string_view t = trimText(line);
    if (t.empty() || t[0] != '[')
        return false;
    const size_t close = t.find(']');
    name =
        trimText(t.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
    return true;
}

// How a section is looked up: its name as text, decoded like the values (legacy bytes with the
// legacy code page), so "[Caf\xe9]" from a Windows-1252 file is the section of the key "Café";
// then case-folded.
std::string sectionKey(std::string_view name)
{
    name = trimText(name);
    bool ascii = true;
    for (char c : name)
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (ascii)
        return lowerAscii(name);
    return QString::fromStdString(text::decodeLegacy(name)).toCaseFolded().toStdString();
}

} // namespace

std::string_view trimText(std::string_view text)
{
    size_t b = 0, e = text.size();
    while (b < e && isSpace(text[b]))
        ++b;
    while (e > b && isSpace(text[e - 1]))
        --e;
    return text.substr(b, e - b);
}

int atoiText(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && isSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    long long v = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        v = v * 10 + (text[i++] - '0');
        if (v > static_cast<long long>(INT_MAX) + 1)
            v = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative)
        v = -v;
    if (v > INT_MAX)
        return INT_MAX;
    if (v < INT_MIN)
        return INT_MIN;
    return static_cast<int>(v);
}

std::string cutText(std::string_view text, size_t max)
{
    if (text.size() <= max)
        return std::string(text);
    size_t n = max;
    // Back off over continuation bytes so a UTF-8 character is kept whole or dropped whole.
    if (text::isValidUtf8(text)) {
        while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
            --n;
        return std::string(text.substr(0, n));
    }
    // Legacy text: a two-byte character of code page 949 is kept whole or dropped whole too.
    // Only the code page knows where its characters start, so the longest of the last few
    // prefixes that it reads without a broken character is taken; text with bytes it cannot
    // read at all is cut where it is.
    const std::string codePage = text::legacyCodePage();
    for (size_t back = 0; back < 4 && back < max; ++back) {
        if (text::convert(text.substr(0, max - back), codePage.c_str(), "UTF-8")) {
            n = max - back;
            break;
        }
    }
    return std::string(text.substr(0, n));
}

std::string lowerAscii(std::string_view text)
{
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    }
    return out;
}

bool equalsNoCase(std::string_view a, std::string_view b)
{
    bool ascii = true;
    for (std::string_view s : {a, b}) {
        for (char c : s)
            ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    }
    if (ascii)
        return a.size() == b.size() && lowerAscii(a) == lowerAscii(b);
    const QString qa = QString::fromUtf8(a.data(), static_cast<qsizetype>(a.size()));
    const QString qb = QString::fromUtf8(b.data(), static_cast<qsizetype>(b.size()));
    return qa.compare(qb, Qt::CaseInsensitive) == 0;
}

// ---------------------------------------------------------------------------------------------

ProfileFile ProfileFile::parse(std::string_view bytes)
{
    ProfileFile f;
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        bytes.remove_prefix(3);
        f.m_bom = true;
    }
    const size_t firstLf = bytes.find('\n');
    if (firstLf != std::string_view::npos && firstLf > 0 && bytes[firstLf - 1] == '\r')
        f.m_eol = "\r\n";
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t end = bytes.find('\n', pos);
        if (end == std::string_view::npos)
            end = bytes.size();
        std::string_view line = bytes.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        f.addLine(std::string(line));
        pos = end + 1;
    }
    return f;
}

void ProfileFile::addLine(const std::string& line)
{
    std::string_view name;
    if (sectionOfLine(line, name)) {
        Section s;
        s.name = std::string(name);
        s.lines.push_back(line);
        m_sectionIndex.emplace(sectionKey(name), m_sections.size());
        m_sections.push_back(std::move(s));
        return;
    }
    if (m_sections.empty())
        m_prefix.push_back(line);
    else
        m_sections.back().lines.push_back(line);
}

bool ProfileFile::load(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *this = ProfileFile();
        return false;
    }
    std::ostringstream s;
    s << in.rdbuf();
    *this = parse(s.str());
    return true;
}

std::string ProfileFile::serialize() const
{
    std::string out = m_bom ? "\xEF\xBB\xBF" : "";
    for (const std::string& l : m_prefix)
        out += l + m_eol;
    for (const Section& s : m_sections) {
        for (const std::string& l : s.lines)
            out += l + m_eol;
    }
    return out;
}

bool ProfileFile::save(const std::string& path) const
{
    const std::string temp = path + ".kolvo-new";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out)
            return false;
        const std::string data = serialize();
        out.write(data.data(), static_cast<std::streamsize>(data.size()));
        out.flush();
        if (!out) {
            std::remove(temp.c_str());
            return false;
        }
    }
    struct stat st;
    if (::stat(path.c_str(), &st) == 0)
        ::chmod(temp.c_str(), st.st_mode & 07777);
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

const ProfileFile::Section* ProfileFile::findSection(std::string_view section) const
{
    const auto it = m_sectionIndex.find(sectionKey(section));
    return it == m_sectionIndex.end() ? nullptr : &m_sections[it->second];
}

const std::string* ProfileFile::findValueLine(const Section& s, std::string_view key,
                                              size_t* line) const
{
    if (!s.indexed) {
        s.index.clear();
        for (size_t i = 1; i < s.lines.size(); ++i) {
            std::string_view k, v;
            if (splitKeyLine(s.lines[i], k, v))
                s.index.emplace(lowerAscii(k), i); // the first of equal keys wins
        }
        s.indexed = true;
    }
    const auto it = s.index.find(lowerAscii(trimText(key)));
    if (it == s.index.end())
        return nullptr;
    if (line)
        *line = it->second;
    return &s.lines[it->second];
}

std::vector<std::string> ProfileFile::sectionNames() const
{
    std::vector<std::string> names;
    for (size_t i = 0; i < m_sections.size(); ++i) {
        const auto it = m_sectionIndex.find(sectionKey(m_sections[i].name));
        if (it != m_sectionIndex.end() && it->second == i)
            names.push_back(text::decodeLegacy(m_sections[i].name));
    }
    return names;
}

bool ProfileFile::hasSection(std::string_view section) const
{
    return findSection(section) != nullptr;
}

bool ProfileFile::hasKey(std::string_view section, std::string_view key) const
{
    const Section* s = findSection(section);
    return s && findValueLine(*s, key, nullptr);
}

std::string ProfileFile::GetString(std::string_view section, std::string_view key,
                                   std::string_view defaultValue) const
{
    const Section* s = findSection(section);
    const std::string* line = s ? findValueLine(*s, key, nullptr) : nullptr;
    if (!line)
        return std::string(defaultValue);
    std::string_view k, v;
    splitKeyLine(*line, k, v);
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    return text::decodeLegacy(cutText(v, kMaxValue));
}

int ProfileFile::GetInt(std::string_view section, std::string_view key, int defaultValue) const
{
    const Section* s = findSection(section);
    const std::string* line = s ? findValueLine(*s, key, nullptr) : nullptr;
    if (!line)
        return defaultValue;
    std::string_view k, v;
    splitKeyLine(*line, k, v);
    return atoiText(v);
}

void ProfileFile::WriteString(std::string_view section, std::string_view key,
                              std::string_view value)
{
    const std::string keyText(trimText(key));
    std::string line = keyText + "=" + std::string(value);
    // A value cannot hold a line break in this format.
    for (char& c : line) {
        if (c == '\n' || c == '\r')
            c = ' ';
    }
    const std::string lookup = sectionKey(section);
    auto it = m_sectionIndex.find(lookup);
    if (it == m_sectionIndex.end()) {
        Section s;
        s.name = std::string(trimText(section));
        s.lines.push_back("[" + s.name + "]");
        it = m_sectionIndex.emplace(lookup, m_sections.size()).first;
        m_sections.push_back(std::move(s));
    }
    Section& s = m_sections[it->second];
    size_t at;
    if (findValueLine(s, keyText, &at)) {
        s.lines[at] = line;
        return;
    }
    // After the section's last non-blank line, so blank lines before the next section stay.
    size_t pos = s.lines.size();
    while (pos > 1 && trimText(s.lines[pos - 1]).empty())
        --pos;
    s.lines.insert(s.lines.begin() + static_cast<long>(pos), line);
    if (pos == s.lines.size() - 1)
        s.index.emplace(lowerAscii(keyText), pos);
    else
        s.indexed = false;
}

void ProfileFile::WriteInt(std::string_view section, std::string_view key, int value)
{
    WriteString(section, key, std::to_string(value));
}

std::shared_ptr<const ProfileFile> ProfileFile::cached(const std::string& path)
{
    static std::mutex mutex;
    static std::string cachedPath;
    static struct stat cachedStat;
    static std::shared_ptr<const ProfileFile> cachedFile;

    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return std::make_shared<const ProfileFile>();
    std::lock_guard lock(mutex);
    if (cachedFile && cachedPath == path && cachedStat.st_ino == st.st_ino &&
        cachedStat.st_dev == st.st_dev && cachedStat.st_size == st.st_size &&
        cachedStat.st_mtim.tv_sec == st.st_mtim.tv_sec &&
        cachedStat.st_mtim.tv_nsec == st.st_mtim.tv_nsec)
        return cachedFile;
    auto file = std::make_shared<ProfileFile>();
    file->load(path);
    cachedPath = path;
    cachedStat = st;
    cachedFile = file;
    return cachedFile;
}
