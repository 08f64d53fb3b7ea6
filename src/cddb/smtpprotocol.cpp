#include "cddb/smtpprotocol.h"

#include "cddb/cddbprotocol.h"
#include "cddb/discid.h"

#include <cctype>

namespace {

char at(std::string_view s, size_t i)
{
    return i < s.size() ? s[i] : '\0';
}

bool codeIsDigits(std::string_view line)
{
    for (size_t i = 0; i < 3; ++i) {
        if (at(line, i) < '0' || at(line, i) > '9')
            return false;
    }
    return true;
}

} // namespace

void SmtpProtocol::begin(std::string sender, std::string recipient, std::string message)
{
    m_state = Connecting;
    m_sender = std::move(sender);
    m_recipient = std::move(recipient);
    m_message = std::move(message);
    if (m_heloHost.empty())
        m_heloHost = kCddbFallbackHost;
}

SmtpProtocol::Reaction SmtpProtocol::fail()
{
    m_state = Failed;
    return {{}, true};
}

SmtpProtocol::Reaction SmtpProtocol::processLine(std::string_view line)
{
    // Nothing said after the end of the dialogue can change its outcome.
    if (m_state == Failed || m_state == Done)
        return {};
    const char c0 = at(line, 0);
    if (c0 == '2' && at(line, 3) == '-')
        return {}; // a continuation of a multi-line reply: answered after its last line
    if (c0 != '2' && c0 != '3')
        return fail();

    const std::string_view code = line.substr(0, 3);
    switch (m_state) {
    case Connecting:
        if (!codeIsDigits(line))
            return {};
        if (code != "220")
            return fail();
        m_state = HeloSent;
        return {"HELO " + (m_heloHost.empty() ? std::string(kCddbFallbackHost) : m_heloHost) +
                    "\r\n",
                false};
    case HeloSent:
        if (!codeIsDigits(line))
            return {};
        if (code != "250")
            return fail();
        m_state = MailFromSent;
        return {"MAIL FROM: " + m_sender + "\r\n", false};
    case MailFromSent:
        if (!codeIsDigits(line))
            return {};
        if (code != "250")
            return fail();
        m_state = RcptToSent;
        return {"RCPT TO: " + m_recipient + "\r\n", false};
    case RcptToSent:
        if (code != "250" && code != "251")
            return fail();
        m_state = DataSent;
        return {"DATA\r\n", false};
    case DataSent:
        if (code != "354")
            return fail();
        m_state = MessageSent;
        return {m_message + "\r\n.\r\n", false};
    case MessageSent:
        if (code != "250")
            return fail();
        m_state = Done;
        return {"QUIT\r\n", true};
    default:
        return {};
    }
}

std::string BuildSubmissionMail(const std::string& from, const std::string& genre, unsigned discId,
                                const std::string& to, const std::string& body)
{
    std::string lower = genre;
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::string mail;
    mail += "From: " + from + "\r\n";
    mail += "Subject: cddb " + lower + " " + DiscIdText(discId) + "\r\n";
    mail += "To: " + to + "\r\n";
    mail += "MIME-Version: 1.0\r\n";
    mail += "Content-Type: text/plain;\tcharset=iso-8859-1\r\n";
    mail += "Content-Transfer-Encoding: quoted-printable\r\n";
    mail += "\r\n";
    mail += body;
    return mail;
}
