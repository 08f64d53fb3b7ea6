#pragma once
// MciDevice: the small MCI device object of the CD, MIDI and video players (and the audio
// player's last resort). Every command goes through one send routine that maps the outcome to
// a result: 1 success; -9201 no device is open; -9202 file not found or no readable CD;
// -9203 file not saved; -9204 file read error; -9205 file write error; -9200 any other error.

#include "engines/mci.h"

#include <string>

class MciDevice
{
public:
    MciDevice() = default;
    ~MciDevice();
    MciDevice(const MciDevice&) = delete;
    MciDevice& operator=(const MciDevice&) = delete;

    int openElement(const char* name, const char* alias = nullptr);
    int openByType(std::uint32_t typeId, const char* element = nullptr,
                   const char* alias = nullptr);
    int close();
    bool isOpen() const { return m_deviceId != 0; }
    MCIDEVICEID deviceId() const { return m_deviceId; }

    // from/to -1: from the current position / to the end. notify: the window told of the end.
    int play(long from = -1, long to = -1, HWND notify = 0);
    int stop();
    int pause();
    int seek(long position);
    int setTimeFormat(std::uint32_t format);
    int setDoor(bool open);
    // The value of a status item; -1 on failure.
    long status(std::uint32_t item);
    long status(std::uint32_t item, std::uint32_t track);
    // Of that track, or (-1) the current position / the whole medium.
    long position(long track = -1);
    long length(long track = -1);
    bool isAudioTrack(long track);
    int info(std::uint32_t flags, char* buffer, std::uint32_t size);
    // The information text of the open element: "44.100 kHz, 16 bit, Stereo, 1411 kbps".
    std::string informationText() const;

    // The text of the last failing command's error (not shown to the user).
    const std::string& lastErrorText() const { return m_errorText; }

private:
    int send(UINT message, std::uint32_t flags, void* params);
    int openWith(std::uint32_t flags, MCI_OPEN_PARMS& params);

    MCIDEVICEID m_deviceId = 0;
    char m_element[256] = {};
    char m_alias[256] = {};
    std::string m_errorText;
};
