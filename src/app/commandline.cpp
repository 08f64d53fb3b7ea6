#include "app/commandline.h"

#include "albums/mediakind.h"
#include "albums/playlist.h"
#include "platform/cdrom.h"

#include <QDir>
#include <QFileInfo>

#include <climits>
#include <cstdio>
#include <strings.h>

namespace {

bool startsWith(const std::string& s, const char* prefix)
{
    return s.rfind(prefix, 0) == 0;
}

void storeCommand(AppCommandLineInfo& info, std::uint32_t word)
{
    if (info.commandCount >= kMaxStartCommands)
        return;
    info.startCommands[info.commandCount++] = word;
}

// The shell's long form of a name: absolute and clean when the file exists, the text as given
// otherwise (an address, or a file that is not there).
std::string fullName(const std::string& name)
{
    const QFileInfo fi(QString::fromStdString(name));
    if (name.empty() || !fi.exists())
        return name;
    return QDir::cleanPath(fi.absoluteFilePath()).toStdString();
}

void putLe32(std::uint8_t* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t getLe32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

} // namespace

int ParseLeadingInt(const std::string& text)
{
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

InformationRequest FindInformationRequest(const QStringList& arguments)
{
    for (const QString& a : arguments) {
        if (a == QLatin1String("--help") || a == QLatin1String("-h") || a == QLatin1String("/?"))
            return InformationRequest::Help;
        if (a == QLatin1String("--version"))
            return InformationRequest::Version;
    }
    return InformationRequest::None;
}

std::string CommandLineHelp()
{
    return "usage: kolvo [FLAG...] [FILE]\n"
           "\n"
           "Kolvo plays FILE (a song, a tune, a video or a play list) in the player for its kind.\n"
           "When Kolvo is already running, it is handed the command line and this start ends.\n"
           "\n"
           "Flags start with \"/\" or \"-\" (upper or lower case):\n"
           "  /playaudio FILE   play FILE in the Digital Audio Player\n"
           "  /playmidi FILE    play FILE in the MIDI Player\n"
           "  /playvideo FILE   play FILE in the Digital Video Player\n"
           "  /playcd           play the disc in the CD drive (audio CD or Video CD)\n"
           "  /playaudiocd      play the audio CD in the drive\n"
           "  /playvideocd      play the Video CD in the drive\n"
           "  /volume:N         set the Mixer's volume to N\n"
           "  /timer:N          set the sleep timer to N minutes\n"
           "  /nosplash         start without the splash window\n"
           "  --help            show this text\n"
           "  --version         show the version of Kolvo and of the libraries it uses\n"
           "\n"
           "kolvo-cli does the same work from a terminal: see kolvo-cli --help.\n";
}

bool IsFlagParameter(const std::string& param)
{
    if (param.empty())
        return false;
    if (param[0] == '-')
        return true;
    if (param[0] != '/')
        return false;
    if (param.find('/', 1) != std::string::npos)
        return false;
    return !QFileInfo::exists(QString::fromStdString(param));
}

void AppCommandLineInfo::ParseParam(const std::string& param, bool flag, bool /*last*/)
{
    if (!flag) {
        if (param.size() > kMaxFileNameBytes) {
            std::fprintf(stderr, "Kolvo: a file name of %zu bytes is longer than %zu; ignored\n",
                         param.size(), kMaxFileNameBytes);
            return;
        }
        fileName = fullName(param);
        fileNames.push_back(fileName);
        return;
    }
    static const struct
    {
        const char* name;
        int mode;
    } kModes[] = {{"playaudiocd", StartModeAudioCd}, {"playvideocd", StartModeVideoCd},
                  {"playaudio", StartModeAudio},     {"playmidi", StartModeMidi},
                  {"playvideo", StartModeVideo},     {"playcd", StartModeCd}};
    for (const auto& m : kModes) {
        if (strcasecmp(param.c_str(), m.name) == 0) {
            startMode = m.mode;
            return;
        }
    }
    if (strcasecmp(param.c_str(), "nosplash") == 0) {
        showSplash = false;
        return;
    }
    if (startsWith(param, "volume:")) {
        const int value = ParseLeadingInt(param.substr(7));
        storeCommand(*this,
                     (kStartCommandVolume << 16) | (static_cast<std::uint32_t>(value) & 0xFFFF));
        return;
    }
    if (startsWith(param, "timer:")) {
        int value = ParseLeadingInt(param.substr(6));
        if (value > kTimerMinutesMax)
            value = kTimerMinutesMax;
        if (value < 2)
            value = 1;
        storeCommand(*this, (kStartCommandTimer << 16) | static_cast<std::uint32_t>(value));
    }
}

void AppCommandLineInfo::ParseCommandLine(const QStringList& arguments)
{
    for (int i = 0; i < arguments.size(); ++i) {
        std::string param = arguments[i].toStdString();
        const bool flag = IsFlagParameter(param);
        if (flag)
            param.erase(0, 1);
        ParseParam(param, flag, i + 1 == arguments.size());
    }
}

void ResolveStartMode(AppCommandLineInfo& info, const std::string& cdDrive)
{
    const bool folder =
        info.fileNames.size() == 1 && QFileInfo(QString::fromStdString(info.fileName)).isDir();
    // Several names: the last one is the file, as designed. A folder stands for its songs.
    if (folder) {
        const std::vector<std::string> songs = CollectPlayableFiles(AlbumKindAudio, info.fileNames);
        const std::string list = songs.empty() ? std::string() : WriteTempPlayList(songs);
        if (!list.empty()) {
            info.fileName = list;
            info.fileIsTemporary = true;
        } else {
            std::fprintf(stderr, "Kolvo: nothing to play in what was named\n");
            if (folder)
                info.fileName.clear();
        }
    }
    if (!info.fileName.empty() && info.startMode == StartModeNone) {
        // Later families win: ".rm" and ".ram" are audio and video, and go to the video player.
        if (MediaKindOf(AlbumKindAudio, info.fileName) != MediaKindNone)
            info.startMode = StartModeAudio;
        if (MediaKindOf(AlbumKindMidi, info.fileName) != MediaKindNone)
            info.startMode = StartModeMidi;
        if (MediaKindOf(AlbumKindVideo, info.fileName) != MediaKindNone)
            info.startMode = StartModeVideo;
        if (PlayListKind(info.fileName) >= 0)
            info.startMode = StartModeAudio;
    }
    if (info.startMode == StartModeCd) {
        if (cdrom::IsVideoCd(cdDrive))
            info.startMode = StartModeVideoCd;
        else if (cdrom::IsDiscReadable(cdDrive))
            info.startMode = StartModeAudioCd;
        else
            info.startMode = StartModeNone;
    }
    if (info.startMode != StartModeNone)
        info.showSplash = false;
}

int StartModeComponent(int startMode)
{
    switch (startMode) {
    case StartModeAudioCd:
        return ComponentCd;
    case StartModeAudio:
        return ComponentAudio;
    case StartModeMidi:
        return ComponentMidi;
    case StartModeVideoCd:
    case StartModeVideo:
        return ComponentVideo;
    default:
        return -1;
    }
}

std::vector<std::uint8_t> BuildHandoverRecord(const AppCommandLineInfo& info)
{
    std::vector<std::uint8_t> block(kHandoverHeaderSize + info.fileName.size() + 1, 0);
    for (int i = 0; i < kMaxStartCommands; ++i)
        putLe32(&block[4 * i], info.startCommands[i]);
    putLe32(&block[40], static_cast<std::uint32_t>(info.startMode));
    std::copy(info.fileName.begin(), info.fileName.end(), block.begin() + kHandoverHeaderSize);
    return block;
}

bool ParseHandoverRecord(const std::uint8_t* data, size_t size, HandoverRecord& out)
{
    if (!data || size < kHandoverHeaderSize + 1)
        return false;
    const auto* name = data + kHandoverHeaderSize;
    const size_t room = size - kHandoverHeaderSize;
    size_t length = 0;
    while (length < room && name[length] != 0)
        ++length;
    if (length == room)
        return false;
    for (int i = 0; i < kMaxStartCommands; ++i)
        out.startCommands[i] = getLe32(data + 4 * i);
    out.startMode = static_cast<int>(getLe32(data + 40));
    out.fileName.assign(reinterpret_cast<const char*>(name), length);
    return true;
}
