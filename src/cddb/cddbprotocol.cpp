#include "cddb/cddbprotocol.h"

#include <cstdio>

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

char at(std::string_view s, size_t i)
{
    return i < s.size() ? s[i] : '\0';
}

bool codeIsDigits(std::string_view line)
{
    return isDigit(at(line, 0)) && isDigit(at(line, 1)) && isDigit(at(line, 2));
}

// The blank-separated words of s, at most max of them; the rest of the text after them is
// left in rest.
std::vector<std::string_view> words(std::string_view s, size_t max, std::string_view* rest)
{
    std::vector<std::string_view> out;
    size_t i = 0;
    while (out.size() < max) {
        while (i < s.size() && isBlank(s[i]))
            ++i;
        if (i >= s.size())
            break;
        const size_t start = i;
        while (i < s.size() && !isBlank(s[i]))
            ++i;
        out.push_back(s.substr(start, i - start));
    }
    if (rest) {
        while (i < s.size() && isBlank(s[i]))
            ++i;
        *rest = s.substr(std::min(i, s.size()));
    }
    return out;
}

// What may stand in a query string: the unreserved characters as they are, the rest escaped.
std::string urlWord(const std::string& s)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || isDigit(ch) || c == '-' ||
            c == '.' || c == '_' || c == '~') {
            out += ch;
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        }
    }
    return out;
}

std::string helloSuffix(const CddbHello& hello)
{
    return "&hello=" + urlWord(hello.user) + "+" + urlWord(hello.host) + "+Kolvo+4.0&proto=1";
}

// Only plain printable ASCII may stand in the hello: anything else would break its words.
std::string helloWord(std::string_view s)
{
    std::string out;
    for (const char c : s) {
        if (c > ' ' && c < 0x7F)
            out += c;
    }
    return out;
}

} // namespace

CddbHello CddbHelloFor(const std::string& email, const std::string& localHost)
{
    const size_t at = email.rfind('@');
    if (at != std::string::npos) {
        CddbHello hello{helloWord(std::string_view(email).substr(0, at)),
                        helloWord(std::string_view(email).substr(at + 1))};
        if (!hello.user.empty() && !hello.host.empty())
            return hello;
    }
    return {kCddbHelloUser, localHost};
}

void CddbProtocol::begin(Mode mode, const CddbDiscInfo& info, CddbHello hello)
{
    m_mode = mode;
    m_state = mode == Http ? QuerySent : Connecting;
    m_multiLine = false;
    m_lines.clear();
    m_category.clear();
    m_discId.clear();
    m_info = info;
    m_hello = std::move(hello);
}

CddbProtocol::Reaction CddbProtocol::fail()
{
    m_state = Failed;
    return {{}, true};
}

CddbProtocol::Reaction CddbProtocol::processLine(std::string_view line)
{
    const char c0 = at(line, 0);
    const char c2 = at(line, 2);
    if (!m_multiLine) {
        if (c0 == '1' || c0 == '3')
            return {};
        if (c0 == '4' || c0 == '5')
            return fail();
        if (at(line, 1) == '1')
            m_multiLine = true;
    } else if (c0 == '.') {
        m_multiLine = false;
    }

    switch (m_state) {
    case Connecting:
        if (!codeIsDigits(line))
            return {};
        if (c2 == '0' || c2 == '1') {
            m_state = HelloSent;
            return {"cddb hello " + m_hello.user + " " + m_hello.host + " Kolvo 4.0\n", false};
        }
        return fail();
    case HelloSent:
        if (!codeIsDigits(line))
            return {};
        if (c2 == '0') {
            m_state = QuerySent;
            return {CddbQueryCommand(m_info) + "\n", false};
        }
        return fail();
    case QuerySent: {
        if (!codeIsDigits(line))
            return {};
        if (c2 == '0') {
            const auto w = words(line.substr(3), 2, nullptr);
            if (w.size() < 2)
                return fail();
            m_category = w[0];
            m_discId = w[1];
            m_state = ReadSent;
            if (m_mode == Cddbp)
                return {"cddb read " + m_category + " " + m_discId + "\n", false};
            return {};
        }
        if (c2 == '1') {
            if (!m_multiLine)
                return fail();
            m_lines.clear();
            m_state = ReceivingMatches;
            return {};
        }
        if (c2 == '2') {
            m_lines.clear();
            m_state = NoMatch;
            return {{}, true};
        }
        return fail();
    }
    case ReceivingMatches:
        if (m_multiLine)
            m_lines.emplace_back(line);
        else
            m_state = ChoiceWaiting;
        return {};
    case ReadSent:
        if (c2 != '0')
            return fail();
        if (!m_multiLine)
            return {{}, true};
        m_lines.clear();
        m_state = ReceivingRecord;
        return {};
    case ReceivingRecord:
        if (m_multiLine) {
            m_lines.emplace_back(line);
            return {};
        }
        m_state = Idle;
        return {{}, true};
    default:
        return {};
    }
}

CddbProtocol::Reaction CddbProtocol::requestRead(const std::string& category,
                                                 const std::string& discId)
{
    m_category = category;
    m_discId = discId;
    m_state = ReadSent;
    if (m_mode == Cddbp)
        return {"cddb read " + category + " " + discId + "\n", false};
    return {};
}

std::string CddbHttpQueryUrl(const std::string& serverUrl, const CddbDiscInfo& info,
                             const CddbHello& hello)
{
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "?cmd=cddb+query+%08x+%d", info.discId, info.trackCount);
    std::string url = serverUrl + buffer;
    for (int i = 0; i < info.trackCount; ++i) {
        std::snprintf(buffer, sizeof buffer, "+%d", info.frameOffsets[i]);
        url += buffer;
    }
    std::snprintf(buffer, sizeof buffer, "+%d", info.discLength);
    url += buffer;
    return url + helloSuffix(hello);
}

std::string CddbHttpReadUrl(const std::string& serverUrl, const std::string& category,
                            const std::string& discId, const CddbHello& hello)
{
    return serverUrl + "?cmd=cddb+read+" + urlWord(category) + "+" + urlWord(discId) +
           helloSuffix(hello);
}

CddbMatch SplitMatchLine(std::string_view line)
{
    std::string_view rest;
    const auto w = words(line, 2, &rest);
    CddbMatch match;
    if (w.size() > 0)
        match.category = w[0];
    if (w.size() > 1)
        match.discId = w[1];
    match.text = rest;
    return match;
}

CddbServerAddress ParseCddbServer(const std::string& serverIn, int defaultPort)
{
    CddbServerAddress address;
    const std::string_view server = serverIn;
    std::string_view scheme = server.substr(0, 7);
    std::string lower(scheme);
    for (char& c : lower)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (lower == "http://") {
        address.http = true;
        address.url = serverIn;
        address.valid = server.size() > 7;
        return address;
    }
    std::string_view host = server;
    while (!host.empty() && isBlank(host.front()))
        host.remove_prefix(1);
    while (!host.empty() && isBlank(host.back()))
        host.remove_suffix(1);
    int port = defaultPort;
    const size_t colon = host.rfind(':');
    const size_t bracket = host.rfind(']');
    // "host:port", "[v6]:port"; a bare IPv6 address has colons but no port.
    const bool bareV6 = host.find(':') != colon && bracket == std::string_view::npos;
    if (colon != std::string_view::npos && !bareV6 &&
        (bracket == std::string_view::npos || bracket < colon)) {
        const std::string_view digits = host.substr(colon + 1);
        if (digits.empty() || digits.size() > 5)
            return address;
        port = 0;
        for (const char c : digits) {
            if (!isDigit(c))
                return address;
            port = port * 10 + (c - '0');
        }
        host = host.substr(0, colon);
    }
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    if (host.empty() || port < 1 || port > 65535)
        return address;
    address.valid = true;
    address.host = host;
    address.port = port;
    return address;
}
