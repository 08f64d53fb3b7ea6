#include "players/rtf.h"

#include "platform/text.h"

#include <algorithm>
#include <cctype>
#include <map>

namespace {

constexpr int kMaxDepth = 200;

// Character set numbers of font tables and the code pages they stand for.
std::string codePageForCharset(int charset)
{
    switch (charset) {
    case 0:
        return "CP1252";
    case 128:
        return "CP932";
    case 129:
        return "CP949";
    case 130:
        return "JOHAB";
    case 134:
        return "CP936";
    case 136:
        return "CP950";
    case 161:
        return "CP1253";
    case 162:
        return "CP1254";
    case 163:
        return "CP1258";
    case 177:
        return "CP1255";
    case 178:
        return "CP1256";
    case 186:
        return "CP1257";
    case 204:
        return "CP1251";
    case 222:
        return "CP874";
    case 238:
        return "CP1250";
    default:
        return {};
    }
}

enum class Destination { Text, FontTable, ColorTable, Skip };

struct State
{
    Destination dest = Destination::Text;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    int halfPoints = 24;
    int colorIndex = 0;
    int font = -1;
    int unicodeSkip = 1;
};

class Parser
{
public:
    explicit Parser(std::string_view data)
        : m_data(data)
    {}

    RtfDocument run()
    {
        m_doc.paragraphs.emplace_back();
        while (m_pos < m_data.size()) {
            const char c = m_data[m_pos];
            if (c == '{') {
                ++m_pos;
                flushBytes();
                if (m_stack.size() >= kMaxDepth) {
                    skipGroup();
                    continue;
                }
                m_stack.push_back(m_state);
                if (m_pos < m_data.size() && m_data[m_pos] == '\\' && m_pos + 1 < m_data.size() &&
                    m_data[m_pos + 1] == '*') {
                    // An optional destination we do not know: skipped whole.
                    m_state.dest = Destination::Skip;
                }
            } else if (c == '}') {
                ++m_pos;
                flushBytes();
                endGroup();
            } else if (c == '\\') {
                ++m_pos;
                controlWord();
            } else if (c == '\r' || c == '\n') {
                ++m_pos;
            } else {
                ++m_pos;
                addByte(static_cast<unsigned char>(c));
            }
        }
        flushBytes();
        if (m_doc.paragraphs.back().runs.empty() && m_doc.paragraphs.size() > 1)
            m_doc.paragraphs.pop_back();
        return std::move(m_doc);
    }

private:
    void skipGroup()
    {
        int depth = 1;
        while (m_pos < m_data.size() && depth > 0) {
            const char c = m_data[m_pos++];
            if (c == '\\')
                ++m_pos;
            else if (c == '{')
                ++depth;
            else if (c == '}')
                --depth;
        }
    }

    void endGroup()
    {
        if (m_stack.empty())
            return;
        m_state = m_stack.back();
        m_stack.pop_back();
    }

    void controlWord()
    {
        if (m_pos >= m_data.size())
            return;
        const char c = m_data[m_pos];
        if (!std::isalpha(static_cast<unsigned char>(c))) {
            ++m_pos;
            controlSymbol(c);
            return;
        }
        std::string word;
        while (m_pos < m_data.size() && std::isalpha(static_cast<unsigned char>(m_data[m_pos])) &&
               word.size() < 32)
            word += m_data[m_pos++];
        bool hasParam = false;
        long param = 0;
        bool negative = false;
        if (m_pos < m_data.size() && m_data[m_pos] == '-') {
            negative = true;
            ++m_pos;
        }
        int digits = 0;
        while (m_pos < m_data.size() && std::isdigit(static_cast<unsigned char>(m_data[m_pos]))) {
            if (digits++ < 10)
                param = param * 10 + (m_data[m_pos] - '0');
            hasParam = true;
            ++m_pos;
        }
        param = std::min(param, 2147483647L);
        if (negative)
            param = -param;
        if (m_pos < m_data.size() && m_data[m_pos] == ' ')
            ++m_pos;
        apply(word, hasParam, static_cast<int>(param));
    }

    void controlSymbol(char c)
    {
        switch (c) {
        case '\\':
        case '{':
        case '}':
            addByte(static_cast<unsigned char>(c));
            break;
        case '~':
            addText("\xc2\xa0");
            break;
        case '_':
            addText("-");
            break;
        case '-':
            break; // optional hyphen
        case '*':
            break;
        case '\'': {
            if (m_pos + 2 > m_data.size())
                return;
            const int hi = text::hexDigitValue(m_data[m_pos]);
            const int lo = text::hexDigitValue(m_data[m_pos + 1]);
            m_pos += 2;
            if (hi >= 0 && lo >= 0)
                addByte(static_cast<unsigned char>(hi * 16 + lo));
            break;
        }
        case '\n':
        case '\r':
            newParagraph();
            break;
        default:
            break;
        }
    }

    void apply(const std::string& w, bool hasParam, int p)
    {
        flushBytes();
        const bool on = !hasParam || p != 0;
        if (w == "fonttbl")
            m_state.dest = Destination::FontTable;
        else if (w == "colortbl")
            startColorTable();
        else if (w == "stylesheet" || w == "info" || w == "pict" || w == "object" ||
                 w == "header" || w == "footer" || w == "listtable" || w == "listoverridetable" ||
                 w == "themedata" || w == "colorschememapping" || w == "latentstyles" ||
                 w == "datastore" || w == "xmlnstbl" || w == "rsidtbl" || w == "generator" ||
                 w == "fldinst")
            m_state.dest = Destination::Skip;
        else if (m_state.dest == Destination::ColorTable)
            colorWord(w, p);
        else if (m_state.dest == Destination::FontTable)
            fontWord(w, p);
        else if (w == "par" || w == "sect")
            newParagraph();
        else if (w == "line")
            addText("\n");
        else if (w == "tab")
            addText("\t");
        else if (w == "b")
            m_state.bold = on;
        else if (w == "i")
            m_state.italic = on;
        else if (w == "ul")
            m_state.underline = on;
        else if (w == "ulnone")
            m_state.underline = false;
        else if (w == "fs" && hasParam && p > 0 && p < 4000)
            m_state.halfPoints = p;
        else if (w == "cf" && hasParam && p >= 0)
            m_state.colorIndex = p;
        else if (w == "f" && hasParam)
            m_state.font = p;
        else if (w == "plain") {
            m_state.bold = m_state.italic = m_state.underline = false;
            m_state.halfPoints = 24;
            m_state.colorIndex = 0;
        } else if (w == "ansicpg" && hasParam)
            m_documentCodePage = "CP" + std::to_string(p);
        else if (w == "uc" && hasParam && p >= 0 && p < 10)
            m_state.unicodeSkip = p;
        else if (w == "u" && hasParam)
            unicodeChar(p);
        else if (w == "emdash")
            addText("\xe2\x80\x94");
        else if (w == "endash")
            addText("\xe2\x80\x93");
        else if (w == "lquote")
            addText("\xe2\x80\x98");
        else if (w == "rquote")
            addText("\xe2\x80\x99");
        else if (w == "ldblquote")
            addText("\xe2\x80\x9c");
        else if (w == "rdblquote")
            addText("\xe2\x80\x9d");
        else if (w == "bullet")
            addText("\xe2\x80\xa2");
    }

    void startColorTable()
    {
        m_state.dest = Destination::ColorTable;
        m_colors.clear();
        m_color = {};
    }

    void colorWord(const std::string& w, int p)
    {
        const int v = std::max(0, std::min(255, p));
        if (w == "red")
            m_color.value = (m_color.value & 0x00FFFF) | (v << 16), m_color.set = true;
        else if (w == "green")
            m_color.value = (m_color.value & 0xFF00FF) | (v << 8), m_color.set = true;
        else if (w == "blue")
            m_color.value = (m_color.value & 0xFFFF00) | v, m_color.set = true;
    }

    void fontWord(const std::string& w, int p)
    {
        if (w == "f")
            m_tableFont = p;
        else if (w == "fcharset")
            m_fontCodePages[m_tableFont] = codePageForCharset(p);
        else if (w == "cpg")
            m_fontCodePages[m_tableFont] = "CP" + std::to_string(p);
    }

    void unicodeChar(int p)
    {
        unsigned cp = static_cast<unsigned>(p < 0 ? p + 65536 : p);
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            m_highSurrogate = cp;
        } else {
            if (cp >= 0xDC00 && cp <= 0xDFFF && m_highSurrogate) {
                cp = 0x10000 + ((m_highSurrogate - 0xD800) << 10) + (cp - 0xDC00);
            } else if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) {
                cp = 0xFFFD;
            }
            m_highSurrogate = 0;
            addText(utf8(cp));
        }
        // The fallback characters that follow are for readers without Unicode.
        for (int i = 0; i < m_state.unicodeSkip && m_pos < m_data.size(); ++i) {
            if (m_data[m_pos] == '\\' && m_pos + 1 < m_data.size() && m_data[m_pos + 1] == '\'')
                m_pos += 4;
            else if (m_data[m_pos] == '{' || m_data[m_pos] == '}' || m_data[m_pos] == '\\')
                break;
            else
                ++m_pos;
        }
    }

    static std::string utf8(unsigned cp)
    {
        std::string s;
        if (cp < 0x80) {
            s += static_cast<char>(cp);
        } else if (cp < 0x800) {
            s += static_cast<char>(0xC0 | (cp >> 6));
            s += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            s += static_cast<char>(0xE0 | (cp >> 12));
            s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            s += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            s += static_cast<char>(0xF0 | (cp >> 18));
            s += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            s += static_cast<char>(0x80 | (cp & 0x3F));
        }
        return s;
    }

    void addByte(unsigned char b)
    {
        if (m_state.dest == Destination::FontTable)
            return; // font names are not needed, only their character sets
        if (m_state.dest == Destination::ColorTable) {
            if (b == ';') {
                m_colors.push_back(m_color);
                m_color = {};
            }
            return;
        }
        if (m_state.dest != Destination::Text)
            return;
        m_bytes += static_cast<char>(b);
    }

    // Bytes of one run are decoded together, so double-byte characters stay whole.
    void flushBytes()
    {
        if (m_bytes.empty())
            return;
        std::string page = m_documentCodePage;
        if (auto it = m_fontCodePages.find(m_state.font);
            it != m_fontCodePages.end() && !it->second.empty())
            page = it->second;
        std::string decoded;
        if (auto r = text::convert(m_bytes, page.c_str(), "UTF-8"))
            decoded = *r;
        else
            decoded = text::decodeLegacy(m_bytes);
        m_bytes.clear();
        appendRun(decoded);
    }

    void addText(const std::string& s)
    {
        if (m_state.dest != Destination::Text || s.empty())
            return;
        flushBytes();
        appendRun(s);
    }

    void appendRun(const std::string& s)
    {
        auto& runs = m_doc.paragraphs.back().runs;
        std::optional<std::uint32_t> color;
        if (m_state.colorIndex > 0 && m_state.colorIndex < static_cast<int>(m_colors.size()) &&
            m_colors[m_state.colorIndex].set)
            color = m_colors[m_state.colorIndex].value;
        if (!runs.empty()) {
            RtfRun& last = runs.back();
            if (last.bold == m_state.bold && last.italic == m_state.italic &&
                last.underline == m_state.underline && last.halfPoints == m_state.halfPoints &&
                last.color == color) {
                last.text += s;
                return;
            }
        }
        runs.push_back(
            {s, m_state.bold, m_state.italic, m_state.underline, m_state.halfPoints, color});
    }

    void newParagraph()
    {
        flushBytes();
        if (m_state.dest == Destination::Text)
            m_doc.paragraphs.emplace_back();
    }

    struct Color
    {
        std::uint32_t value = 0;
        bool set = false;
    };

    std::string_view m_data;
    size_t m_pos = 0;
    RtfDocument m_doc;
    State m_state;
    std::vector<State> m_stack;
    std::string m_bytes;
    std::string m_documentCodePage = "CP1252";
    std::map<int, std::string> m_fontCodePages;
    int m_tableFont = -1;
    std::vector<Color> m_colors;
    Color m_color;
    unsigned m_highSurrogate = 0;
};

} // namespace

std::string RtfDocument::plainText() const
{
    std::string out;
    for (size_t i = 0; i < paragraphs.size(); ++i) {
        if (i)
            out += '\n';
        for (const RtfRun& r : paragraphs[i].runs)
            out += r.text;
    }
    return out;
}

RtfDocument ParseRtf(std::string_view data)
{
    return Parser(data).run();
}
