#pragma once
// The list of CD database servers in the profile, section "CDDBServers_New": values "1",
// "2", ... in order (the first empty or missing one ends the list) and "Recent", the current
// server. An entry is a host for the line protocol ("host" or "host:port") or an "http://"
// URL of the CGI.

#include <string>
#include <vector>

inline constexpr const char* kCddbServerSection = "CDDBServers_New";

// The built-in list: 14 line-protocol hosts, then 11 HTTP URLs. The first is today's public
// CD database and the default current server.
const std::vector<std::string>& DefaultCddbServers();

// The stored entries, in order; empty when none is stored.
std::vector<std::string> LoadCddbServerList();
// Replaces the whole section: the entries as "1".."N", then "Recent".
void SaveCddbServerList(const std::vector<std::string>& servers, const std::string& current);

// "Recent"; when empty, the first default, which is then written to "Recent".
std::string CurrentCddbServer();
void SetCurrentCddbServer(const std::string& server);
