#pragma once
// The SMTP dialogue of a submission as a line processor, free of sockets: each reply line
// moves the state and may give a command to send and an order to close.

#include <string>
#include <string_view>

// The mailbox of today's public CD database that takes submissions.
inline constexpr const char* kCddbSubmitMailbox = "gnudb-submit@gnudb.org";

class SmtpProtocol
{
public:
    enum State {
        Connecting = 0, // waiting for the greeting
        HeloSent = 1,
        MailFromSent = 2,
        RcptToSent = 3,
        DataSent = 4,
        MessageSent = 5,
        Failed = 6,
        Done = 7, // also: idle
    };

    struct Reaction
    {
        std::string send;
        bool close = false;
    };

    void begin(std::string sender, std::string recipient, std::string message);
    // The name HELO gives: the socket's local address once it is known.
    void setHeloHost(std::string host) { m_heloHost = std::move(host); }

    Reaction processLine(std::string_view line);

    int state() const { return m_state; }
    void setState(int state) { m_state = state; }

private:
    Reaction fail();

    int m_state = Done;
    std::string m_sender;
    std::string m_recipient;
    std::string m_message;
    std::string m_heloHost;
};

// The complete submission mail: headers, blank line, the record (already quoted-printable).
std::string BuildSubmissionMail(const std::string& from, const std::string& genre, unsigned discId,
                                const std::string& to, const std::string& body);
