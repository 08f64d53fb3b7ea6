#include "engines/mcidevice.h"

#include "engines/engineapi.h"

#include <cstring>

MciDevice::~MciDevice()
{
    close();
}

int MciDevice::send(UINT message, std::uint32_t flags, void* params)
{
    if (message != MCI_OPEN && m_deviceId == 0)
        return kMciNoDevice;
    if (!(flags & MCI_NOTIFY))
        flags |= MCI_WAIT;
    const MCIERROR err = mciSendCommand(m_deviceId, message, flags, params);
    if (err == 0) {
        m_errorText.clear();
        return 1;
    }
    char text[512] = {};
    mciGetErrorString(err, text, sizeof text);
    m_errorText = text;
    switch (err) {
    case MCIERR_FILE_NOT_FOUND:
    case MCIERR_CANNOT_READ_CD:
        return kMciNotFound;
    case MCIERR_FILE_NOT_SAVED:
        return kMciNotSaved;
    case MCIERR_FILE_READ:
        return kMciReadError;
    case MCIERR_FILE_WRITE:
        return kMciWriteError;
    default:
        return kMciFailed;
    }
}

int MciDevice::openWith(std::uint32_t flags, MCI_OPEN_PARMS& params)
{
    close();
    if (params.lpstrElementName)
        std::strncpy(m_element, params.lpstrElementName, sizeof m_element - 1);
    if (params.lpstrAlias)
        std::strncpy(m_alias, params.lpstrAlias, sizeof m_alias - 1);
    const int result = send(MCI_OPEN, flags, &params);
    m_deviceId = result == 1 ? params.wDeviceID : 0;
    return result;
}

int MciDevice::openElement(const char* name, const char* alias)
{
    MCI_OPEN_PARMS params;
    params.lpstrElementName = name;
    params.lpstrAlias = alias;
    std::uint32_t flags = MCI_OPEN_ELEMENT;
    if (alias)
        flags |= MCI_OPEN_ALIAS;
    return openWith(flags, params);
}

int MciDevice::openByType(std::uint32_t typeId, const char* element, const char* alias)
{
    MCI_OPEN_PARMS params;
    params.lpstrDeviceType = typeId;
    params.lpstrElementName = element;
    params.lpstrAlias = alias;
    std::uint32_t flags = MCI_OPEN_TYPE | MCI_OPEN_TYPE_ID;
    if (element)
        flags |= MCI_OPEN_ELEMENT;
    if (alias)
        flags |= MCI_OPEN_ALIAS;
    if (typeId == MCI_DEVTYPE_CD_AUDIO)
        flags |= MCI_OPEN_SHAREABLE;
    return openWith(flags, params);
}

int MciDevice::close()
{
    if (m_deviceId == 0)
        return 1;
    MCI_GENERIC_PARMS params;
    const int result = send(MCI_CLOSE, 0, &params);
    m_deviceId = 0;
    m_element[0] = m_alias[0] = '\0';
    return result;
}

int MciDevice::play(long from, long to, HWND notify)
{
    MCI_PLAY_PARMS params;
    std::uint32_t flags = 0;
    if (from != -1) {
        params.dwFrom = static_cast<std::uint32_t>(from);
        flags |= MCI_FROM;
    }
    if (to != -1) {
        params.dwTo = static_cast<std::uint32_t>(to);
        flags |= MCI_TO;
    }
    if (notify) {
        params.dwCallback = notify;
        flags |= MCI_NOTIFY;
    }
    return send(MCI_PLAY, flags, &params);
}

int MciDevice::stop()
{
    MCI_GENERIC_PARMS params;
    return send(MCI_STOP, 0, &params);
}

int MciDevice::pause()
{
    MCI_GENERIC_PARMS params;
    return send(MCI_PAUSE, 0, &params);
}

int MciDevice::seek(long position)
{
    MCI_SEEK_PARMS params;
    params.dwTo = static_cast<std::uint32_t>(position);
    return send(MCI_SEEK, MCI_TO, &params);
}

int MciDevice::setTimeFormat(std::uint32_t format)
{
    MCI_SET_PARMS params;
    params.dwTimeFormat = format;
    return send(MCI_SET, MCI_SET_TIME_FORMAT, &params);
}

int MciDevice::setDoor(bool open)
{
    MCI_SET_PARMS params;
    return send(MCI_SET, open ? MCI_SET_DOOR_OPEN : MCI_SET_DOOR_CLOSED, &params);
}

long MciDevice::status(std::uint32_t item)
{
    MCI_STATUS_PARMS params;
    params.dwItem = item;
    return send(MCI_STATUS, MCI_STATUS_ITEM, &params) == 1 ? static_cast<long>(params.dwReturn)
                                                           : -1;
}

long MciDevice::status(std::uint32_t item, std::uint32_t track)
{
    MCI_STATUS_PARMS params;
    params.dwItem = item;
    params.dwTrack = track;
    return send(MCI_STATUS, MCI_STATUS_ITEM | MCI_TRACK, &params) == 1
               ? static_cast<long>(params.dwReturn)
               : -1;
}

long MciDevice::position(long track)
{
    return track == -1 ? status(MCI_STATUS_POSITION)
                       : status(MCI_STATUS_POSITION, static_cast<std::uint32_t>(track));
}

long MciDevice::length(long track)
{
    return track == -1 ? status(MCI_STATUS_LENGTH)
                       : status(MCI_STATUS_LENGTH, static_cast<std::uint32_t>(track));
}

bool MciDevice::isAudioTrack(long track)
{
    return status(MCI_CDA_STATUS_TYPE_TRACK, static_cast<std::uint32_t>(track)) ==
           static_cast<long>(MCI_CDA_TRACK_AUDIO);
}

int MciDevice::info(std::uint32_t flags, char* buffer, std::uint32_t size)
{
    MCI_INFO_PARMS params;
    params.lpstrReturn = buffer;
    params.dwRetSize = size;
    return send(MCI_INFO, flags, &params);
}

std::string MciDevice::informationText() const
{
    return engines::mciInformationText(m_deviceId);
}
