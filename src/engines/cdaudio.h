#pragma once
// The CD audio device of our MCI (device type MCI_DEVTYPE_CD_AUDIO), over the CD reader: a
// drive, a disc image or a folder opened by the "Drive" setting as element (without one, the
// first CD drive libcdio reports). It answers as the classic CD audio driver does:
//
//  - time formats MSF (the default), TMSF and milliseconds; a frame address becomes
//    milliseconds as frame x 1000 / 75 rounded up, so that ms x 0.075 truncated gives the
//    frame back;
//  - status: mode (530 with no disc or the tray open), position (current or of a track),
//    current track, length of a track or of the disc (lead-out - first track - 1 frame),
//    number of tracks, track type, media present, ready, time format;
//  - MCI_INFO_MEDIA_IDENTITY: the decimal sum over the tracks of M << 16 | S << 8 | F of each
//    start address, plus, below three tracks, the frame field of track 1 and the frames from
//    track 1 to the lead-out;
//  - play from/to (stopping before a data track), stop, pause, seek, door open and closed.
//
// The sound is read on a worker thread and pushed into the output chain in the CD role, so
// effects, equalizer and spectrum apply to it. A play asked with MCI_NOTIFY ends with
// MM_MCINOTIFY: successful at the end of its range, superseded by a newer play, aborted by
// stop, seek or the door, failure when the disc cannot be read or leaves the drive.

namespace engines {

// Registers the CD audio driver with our MCI. Called once where a program starts (not from a
// static initialiser, which the linker may drop from a static library); calling it again
// changes nothing.
void registerCdAudioDriver();

} // namespace engines
