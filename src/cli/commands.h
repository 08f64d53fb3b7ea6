#pragma once
// kolvo-cli: each command is a function over its own arguments (the words after its name).
// Exit codes: 0 success, 1 failure (one line on stderr), 2 usage.

#include <string>
#include <vector>

using CliArgs = std::vector<std::string>;

constexpr int kCliOk = 0;
constexpr int kCliFailed = 1;
constexpr int kCliUsage = 2;

int cliFail(const std::string& message);
int cliUsage(const std::string& message);

int runSettings(const CliArgs& args);
int runAlbum(const CliArgs& args);
int runCd(const CliArgs& args);
int runCdDisc(const CliArgs& args);
int runId3(const CliArgs& args);
int runName(const CliArgs& args);
int runCddb(const CliArgs& args);
int runSkin(const CliArgs& args);
int runFileInfo(const CliArgs& args);
int runPlayFiles(const CliArgs& args);
int runVideo(const CliArgs& args);
int runKaraoke(const CliArgs& args);
int runVcd(const CliArgs& args);
int runAssociate(const CliArgs& args);
int runEncode(const CliArgs& args);
int runCdCopy(const CliArgs& args);
int runRecord(const CliArgs& args);
