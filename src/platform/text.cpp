#include "platform/text.h"

#include "platform/strings.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <iconv.h>
#include <mutex>

namespace text {
namespace {

std::mutex g_codePageMutex;
std::string g_codePageOverride;

class Iconv
{
public:
    Iconv(const char* to, const char* from)
        : m_cd(iconv_open(to, from))
    {}
    ~Iconv()
    {
        if (valid())
            iconv_close(m_cd);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;
    bool valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return m_cd; }

private:
    iconv_t m_cd;
};

// Whether iconv refuses `bytes` from a fresh start. Used after a refusal to learn where the bad
// sequence lies: glibc's CP949 converter consumes some invalid pairs before it reports them.
bool refuses(iconv_t cd, char* bytes, size_t size)
{
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* const end = bytes + size;
    char buffer[256];
    while (bytes < end) {
        char* const before = bytes;
        size_t left = static_cast<size_t>(end - bytes);
        char* outPtr = buffer;
        size_t outLeft = sizeof buffer;
        const size_t r = iconv(cd, &bytes, &left, &outPtr, &outLeft);
        const int error = r == static_cast<size_t>(-1) ? errno : 0;
        if (bytes < before || bytes > end)
            return true;
        if ((error != 0 && error != E2BIG) || (bytes == before && outPtr == buffer))
            return true;
    }
    return false;
}

// Converts as much as it can; on an invalid or unmappable sequence it either stops
// (strict) or writes the replacement and goes on after the sequence.
//
// iconv's own account of where it stopped is not trusted to stay inside the input: a converter
// may consume the bad bytes before it reports them, even the last ones, and a stuck converter
// may report nothing at all. Every step past a bad byte is checked against what is left.
std::optional<std::string> run(std::string_view input, const char* from, const char* to,
                               const char* replacement)
{
    Iconv cd(to, from);
    if (!cd.valid())
        return std::nullopt;
    std::string out;
    out.reserve(input.size() * 2 + 8);
    char* const end = const_cast<char*>(input.data()) + input.size();
    char* in = const_cast<char*>(input.data());
    char buffer[1024];
    while (in < end) {
        char* const start = in;
        size_t inLeft = static_cast<size_t>(end - in);
        char* outPtr = buffer;
        size_t outLeft = sizeof buffer;
        const size_t r = iconv(cd.get(), &in, &inLeft, &outPtr, &outLeft);
        // Taken before anything else can touch errno (appending may allocate).
        const int error = r == static_cast<size_t>(-1) ? errno : 0;
        if (in < start || in > end || outPtr < buffer || outPtr > buffer + sizeof buffer)
            return std::nullopt;
        out.append(buffer, outPtr);
        const bool moved = in != start || outPtr != buffer;
        if ((error == 0 || error == E2BIG) && moved)
            continue;
        // EILSEQ or EINVAL (a sequence cut by the end), or a converter that made no progress.
        if (!replacement)
            return std::nullopt;
        out += replacement;
        if (in == end)
            break; // the bad bytes were the last ones and are consumed already
        // Normally `in` is at the bad sequence and one byte of it is dropped; when the bytes
        // consumed do not convert on their own, the bad sequence was among them.
        if (in == start || !refuses(cd.get(), start, static_cast<size_t>(in - start)))
            ++in;
        iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
    }
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    iconv(cd.get(), nullptr, nullptr, &outPtr, &outLeft);
    out.append(buffer, outPtr);
    return out;
}

// The length of the valid UTF-8 sequence that starts at s[i]; 0 when none starts there.
size_t sequenceLength(std::string_view s, size_t i)
{
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80)
        return 1;
    size_t extra;
    unsigned min;
    unsigned cp;
    if ((c & 0xE0) == 0xC0) {
        extra = 1;
        min = 0x80;
        cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        extra = 2;
        min = 0x800;
        cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        extra = 3;
        min = 0x10000;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (i + extra >= s.size())
        return 0;
    for (size_t k = 1; k <= extra; ++k) {
        const auto cc = static_cast<unsigned char>(s[i + k]);
        if ((cc & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (cc & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return extra + 1;
}

// Text that was written as UTF-8 and got damaged: every byte that starts no valid sequence
// becomes U+FFFD. glibc's own UTF-8 decoder is not used for this: it lets sequences beyond
// U+10FFFF through.
std::string replacingInvalidUtf8(std::string_view s)
{
    std::string out;
    out.reserve(s.size() + 8);
    for (size_t i = 0; i < s.size();) {
        const size_t n = sequenceLength(s, i);
        if (n == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
        } else {
            out.append(s.substr(i, n));
            i += n;
        }
    }
    return out;
}

// "UTF-8", "utf8", "UTF_8": the names iconv takes for UTF-8.
bool namesUtf8(std::string_view codePage)
{
    std::string letters;
    for (char c : codePage) {
        if (c != '-' && c != '_')
            letters += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return letters == "UTF8";
}

} // namespace

bool isValidUtf8(std::string_view s)
{
    for (size_t i = 0; i < s.size();) {
        const size_t n = sequenceLength(s, i);
        if (n == 0)
            return false;
        i += n;
    }
    return true;
}

std::string legacyCodePage()
{
    {
        std::lock_guard lock(g_codePageMutex);
        if (!g_codePageOverride.empty())
            return g_codePageOverride;
    }
    if (const char* env = std::getenv("KOLVO_CODEPAGE"); env && *env)
        return env;
    // The ANSI code page a system in that language had.
    const std::string language = interfaceLanguage();
    if (language == "ja")
        return "CP932";
    if (language == "ko")
        return "CP949";
    return "CP1252";
}

void setLegacyCodePage(const std::string& codePage)
{
    std::lock_guard lock(g_codePageMutex);
    g_codePageOverride = codePage;
}

std::string decodeLegacy(std::string_view bytes)
{
    if (isValidUtf8(bytes))
        return std::string(bytes);
    const std::string cp = legacyCodePage();
    if (namesUtf8(cp))
        return replacingInvalidUtf8(bytes);
    if (auto r = run(bytes, cp.c_str(), "UTF-8", "\xEF\xBF\xBD"))
        return *r;
    // An unknown code page name: keep the ASCII and mark the rest.
    std::string out;
    for (char c : bytes)
        out += (static_cast<unsigned char>(c) < 0x80) ? std::string(1, c) : "\xEF\xBF\xBD";
    return out;
}

std::optional<std::string> convert(std::string_view input, const char* from, const char* to)
{
    return run(input, from, to, nullptr);
}

std::optional<std::string> encodeLegacy(std::string_view utf8, const std::string& codePage)
{
    return run(utf8, "UTF-8", codePage.c_str(), nullptr);
}

} // namespace text
