#pragma once
// The CDDB exchange as a line processor, free of sockets: each line received from the server
// moves the state and may give a command to send and an order to close. CddbConnection runs
// it over the line protocol (CDDBP) or HTTP.

#include "cddb/discid.h"

#include <string>
#include <string_view>
#include <vector>

// The user name sent in the hello when the user has not set an e-mail address.
inline constexpr const char* kCddbHelloUser = "kolvo";
// The host name used when the local one is not known (hello, HELO).
inline constexpr const char* kCddbFallbackHost = "localhost";

// Who the hello names: the halves of the user's e-mail address when it has two, else the
// fixed user name and the given local host (which may be empty).
struct CddbHello
{
    std::string user;
    std::string host;
};
CddbHello CddbHelloFor(const std::string& email, const std::string& localHost);

class CddbProtocol
{
public:
    enum Mode { Cddbp = 0, Http = 1 };
    enum State {
        Connecting = 0, // waiting for the greeting
        HelloSent = 1,
        QuerySent = 2,
        ReceivingMatches = 3, // the list of inexact matches
        ReadSent = 4,
        ReceivingRecord = 5,
        Failed = 6,
        ChoiceWaiting = 7, // the list is complete, the user must choose
        NoMatch = 8,
        Idle = 9, // also: the record is complete
    };

    struct Reaction
    {
        std::string send; // bytes for the server, empty for none
        bool close = false;
    };

    // A fresh exchange: state 0 for CDDBP, 2 for HTTP (which has no greeting or hello).
    void begin(Mode mode, const CddbDiscInfo& info, CddbHello hello);
    // Who the hello names (for CDDBP known once the socket has its local address).
    void setHello(CddbHello hello) { m_hello = std::move(hello); }

    Reaction processLine(std::string_view line);
    // After a choice among inexact matches.
    Reaction requestRead(const std::string& category, const std::string& discId);

    int state() const { return m_state; }
    void setState(int state) { m_state = state; }
    Mode mode() const { return m_mode; }
    const std::vector<std::string>& receivedLines() const { return m_lines; }
    const std::string& category() const { return m_category; }
    const std::string& discIdText() const { return m_discId; }
    const CddbHello& hello() const { return m_hello; }

private:
    Reaction fail();

    Mode m_mode = Cddbp;
    int m_state = Idle;
    bool m_multiLine = false;
    std::vector<std::string> m_lines;
    std::string m_category;
    std::string m_discId;
    CddbDiscInfo m_info;
    CddbHello m_hello;
};

// The HTTP form of the two commands, the hello and the protocol level ("&proto=1") included.
std::string CddbHttpQueryUrl(const std::string& serverUrl, const CddbDiscInfo& info,
                             const CddbHello& hello);
std::string CddbHttpReadUrl(const std::string& serverUrl, const std::string& category,
                            const std::string& discId, const CddbHello& hello);

// A match line of a 211 reply split into category, disc id and the rest (the disc's artist
// and title), leading blanks removed. Missing words come back empty.
struct CddbMatch
{
    std::string category;
    std::string discId;
    std::string text;
};
CddbMatch SplitMatchLine(std::string_view line);

// A server string: "host", "host:port" (defaultPort when absent) or an "http://" URL (the
// scheme in any case). valid is false for an empty string or a port out of range.
struct CddbServerAddress
{
    bool valid = false;
    bool http = false;
    std::string host; // line protocol
    int port = 0;
    std::string url; // HTTP, as given
};
CddbServerAddress ParseCddbServer(const std::string& server, int defaultPort);
