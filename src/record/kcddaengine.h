#pragma once
// The CD reading engine: the designed KCDDAEngine_ calls over the CD reader (engines/cdreader),
// reading a stretch of a track into a WAVE file on a thread of its own and telling the window
// that asked how it goes.
//
// Notifications reach `notify` on the thread of `target` (never on the reading thread), as
// the designed message 0x7E8 would: event 3 reading started, 5 progress (value: per mille of
// the stretch), 2 the stretch is in the file, 1 read error. One read runs at a time; Stop ends
// it and waits for its thread, and nothing of it is told afterwards.

#include "record/waveformat.h"

#include <QObject>

#include <array>
#include <cstdint>
#include <functional>
#include <string>

namespace record {

enum CdReadEvent {
    kCdReadError = 1,
    kCdBlockComplete = 2,
    kCdReadingStarted = 3,
    kCdProgress = 5,
};

// int32 track count, then each track's length in milliseconds (room for 100).
struct CdTrackTable
{
    std::int32_t count = 0;
    std::array<std::int32_t, 100> lengthMs{};
};

using CdNotify = std::function<void(int event, int value)>;

// The sound of a CD, as the engine writes it into its WAVE files.
WAVEFORMATEX cdAudioFormat();

// The album key the CD Player files a disc under, from the track starts and the lead-out
// (frames counted with the 2-second lead-in).
std::string cdAlbumKey(const std::vector<std::int32_t>& trackFrames, std::int32_t leadOutFrame);

} // namespace record

// Opens the disc `drive` names (a device or a disc image) and fills the table from its audio
// tracks; greater than 0 on success. Notifications go to `notify` on `target`'s thread.
int KCDDAEngine_Open(const std::string& drive, QObject* target, record::CdNotify notify,
                     record::CdTrackTable& table);
// The track's length in frames (sectors of 1/75 s); 0 for no such audio track.
int KCDDAEngine_GetTrackLength(int track);
int KCDDAEngine_GetTrackLengthMs(int track);
// Starts reading `count` frames of `track` from frame `start` on into the WAVE file `path`;
// greater than 0 when the read was started.
int KCDDAEngine_ReadTrackEx(int track, const std::string& path, int start, int count);
int KCDDAEngine_IsOpen();
// Ends a read in flight.
void KCDDAEngine_Stop();
void KCDDAEngine_Close();
// What the disc's audio tracks hold, for names: their starts (frames) and the lead-out.
bool KCDDAEngine_DiscLayout(std::vector<std::int32_t>& trackFrames, std::int32_t& leadOutFrame);
