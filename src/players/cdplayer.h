#pragma once
// The CD Player: audio CDs (a drive, a disc image or a mounted disc's folder, whatever the
// "Drive" setting names) through the MCI CD-audio device. It watches the drive, knows a disc
// by the identity the device reports, keeps that disc's album in the CD album database with the
// timing read from the disc, asks the CD database for titles of a blank album when the user
// wants it, and plays tracks in the order of the play method and repeat mode, either straight
// through to the end of the disc or one track at a time.
//
// It stands on the player frame: the frame keeps the transport, the routed messages and the
// display; the CD Player replaces the tick (the device is polled, not an engine session's
// mode) and plays numbered tracks through a session on its own device.

#include "engines/mcidevice.h"
#include "players/playerframe.h"

#include <cstdint>
#include <string>
#include <vector>

// The album key of a disc: its identity (decimal text) read as a 32-bit integer, wrapping as
// the classic driver's callers did, in lower-case hexadecimal without leading zeros.
std::string CdAlbumKey(const char* identity);

// The disc's timing as the album keeps it, from the track positions and the disc length the
// device reports in milliseconds: start frames, the lead-out frame, the disc length and the
// track lengths, with the device's milliseconds turned into frames exactly as designed.
struct CdTiming
{
    std::vector<std::int32_t> startFrames;
    std::vector<std::int32_t> lengthsMs;
    std::int32_t leadOutFrame = 0;
    std::int32_t discLengthMs = 0;
};
CdTiming CdTimingOf(const std::vector<long>& trackPositionsMs, long discLengthMs);

class CdPlayer : public PlayerFrame
{
    Q_OBJECT
public:
    CdPlayer(PlayerHost& host, QWidget* parent);
    ~CdPlayer() override;

    bool discPresent() const { return m_discPresent; }
    bool doorOpen() const { return m_doorOpen; }
    bool singleTrack() const { return m_singleTrack; }
    const MciDevice& device() const { return m_device; }

    // Whether a track plays to the start of the next one rather than on to the end of the disc.
    bool playsOneTrack() const;
    // Plays from a position of the current track (TMSF), to the next track or to the end.
    void PlayFrom(int minutes, int seconds);

protected:
    bool OwnsStartMode(int startMode) const override { return startMode == StartModeAudioCd; }
    std::int32_t OpenTrack(int n) override;
    std::string TrackName(int n) const override;
    UINT EmptyAlbumHintId() const override { return playertext::AddAudioFiles; }
    bool OnPlayerCommand(int id) override;
    bool OnPlayerMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void OnTick() override;
    bool StopsBeforePlaying(int otherIndex) const override;
    int StateAfterStop() const override;
    bool FastSeekKeepsPause() const override { return false; }
    std::string OpeningText() const override { return {}; }
    std::string BuildInfoText() const override;
    void FillStatus(ComponentStatus& status) const override;
    LRESULT OnComponentCommand(LPARAM lParam) override;
    void LoadStartAlbum() override {}
    void paintEvent(QPaintEvent* e) override;

private:
    bool OpenDevice();
    int DeviceMode();
    void LoadDisc(int mode);
    void FollowDevice();
    void EndOfOneTrack();
    void ToggleDoor();
    void CheckDrive();
    void EditAlbum();
    void CycleWithContinuity(void (CdPlayer::*cycle)());
    void DriveChanged();
    void PlayTrack(int n, bool singleTrack);
    bool FillFromCdText();

    MciDevice m_device;
    std::string m_drive;
    bool m_discPresent = false;
    bool m_doorOpen = false;
    bool m_singleTrack = false;
    bool m_reload = false;
    bool m_fromCdText = false; // the disc's titles came from its CD-Text: the line says so
};
