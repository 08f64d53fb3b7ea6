#pragma once
// The command line: what to play at start, the splash flag, and volume and timer commands.

#include "platform/vocabulary.h"

#include <QStringList>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// Start command word: high 16 bits the kind, low 16 bits the value.
constexpr std::uint32_t kStartCommandVolume = 1;
constexpr std::uint32_t kStartCommandTimer = 2;
constexpr int kMaxStartCommands = 10;
constexpr int kTimerMinutesMax = 2376;

// Real paths on Linux often pass 255 bytes, so a file name is kept whole up to the longest
// path the system accepts; a longer parameter is refused rather than cut into another name.
constexpr size_t kMaxFileNameBytes = 4095;

class AppCommandLineInfo
{
public:
    int startMode = StartModeNone;
    // The file to play: the one named, or the temporary play list made of several names.
    std::string fileName;
    // Every file or folder named, in order; fileName is the last of them until the start mode
    // is resolved.
    std::vector<std::string> fileNames;
    // fileName is the temporary play list ResolveStartMode wrote, to be deleted after use.
    bool fileIsTemporary = false;
    std::array<std::uint32_t, kMaxStartCommands> startCommands{};
    int commandCount = 0;
    bool showSplash = true;

    // One parameter, with its leading "/" or "-" already removed when it is a flag.
    void ParseParam(const std::string& param, bool flag, bool last);
    // Every parameter after the program name, in order.
    void ParseCommandLine(const QStringList& arguments);
};

// "--help" (or "-h", "/?") and "--version" answer on stdout and end the program before anything
// else happens: no window, no settings written, no hand-over to a running Kolvo. They are
// looked for before the designed flags, which would read "--help" as the unknown flag "-help".
enum class InformationRequest { None, Help, Version };
InformationRequest FindInformationRequest(const QStringList& arguments);
// The text "--help" prints: how to start the program with a file and the flags it takes.
std::string CommandLineHelp();

// A parameter starting with "-" is a flag. One starting with "/" is a flag unless it reads as
// an absolute path: it has a second "/" or names an existing file or folder.
bool IsFlagParameter(const std::string& param);

// The leading-blanks, optional sign, digits-up-to-the-first-non-digit reading of the numbers
// of "volume:" and "timer:" (0 when there are no digits; saturates at the int range).
int ParseLeadingInt(const std::string& text);

// Resolves the start mode once the command line is parsed: by the file's media kind and
// play-list kind, and for "playcd" by what the CD drive holds. Clears the splash flag when
// something is to be played. Several names, or a folder, become one temporary play list of
// every audio file among them (folders in name order, sub-folders included) that the Digital
// Audio Player plays; it travels in the hand-over as its path, like the Open command's list.
void ResolveStartMode(AppCommandLineInfo& info, const std::string& cdDrive);

// The component a start mode switches on and tells to play; -1 for a mode without one.
int StartModeComponent(int startMode);

// The hand-over record a second instance sends to the first.
constexpr std::uint32_t kHandoverDataId = 0x7229;
constexpr size_t kHandoverHeaderSize = 44;

std::vector<std::uint8_t> BuildHandoverRecord(const AppCommandLineInfo& info);

struct HandoverRecord
{
    std::array<std::uint32_t, kMaxStartCommands> startCommands{};
    int startMode = StartModeNone;
    // The file to play: the one named, or the temporary play list made of several names.
    std::string fileName;
    // Every file or folder named, in order; fileName is the last of them until the start mode
    // is resolved.
    std::vector<std::string> fileNames;
    // fileName is the temporary play list ResolveStartMode wrote, to be deleted after use.
    bool fileIsTemporary = false;
};
// False for a block that is too short or has no terminating zero within it.
bool ParseHandoverRecord(const std::uint8_t* data, size_t size, HandoverRecord& out);
