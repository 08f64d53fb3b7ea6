#pragma once
// The Digital Video Player: albums of films (AVI, QuickTime, MPEG, RealVideo), shown in its
// viewer window ("Kolvo Screen") at one of four size modes, at speeds of 25-400 %, stepped a
// picture at a time, a picture captured to a BMP file. Films open through the video rows of
// the engine order (the general engine's instance 1, the QuickTime and RealVideo engines, the
// media device's digital video last), each told of the viewer's child window.
//
// Video CD mode (5168 toggles it, 5169 turns it on and starts): the album comes from the disc
// the "Drive" setting names. The Video CD reader opens it when it is a Video CD 2.0 (and
// "DGVUseVCD2Mode" is 1): the album is then the reader's (entries in track mode, the items of a
// play list, the selections of a selection list), song numbers, Next, Previous, Stop, Play/Pause
// and the viewer's input are its commands, its units open through the engines by their
// kolvovcd: URIs, and its poll runs on the player's tick; the end of its play sequence leaves
// Video CD mode. Otherwise the album is the disc's "MPEGAV/*.DAT" files, played as films.
// UM_DISC_CHANGE with a disc reloads the album in Video CD mode; with "AutoRun" 1 a disc with
// an MPEGAV folder starts Video CD mode.

#include "players/playerframe.h"
#include "players/vcdreader.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class DigitDisplay;
class VideoViewer;
class QMenu;
class QAction;

// The Fast and Slow steps of the speed: +25 below 200 %, else +50, at most 400 %; -25 at or
// below 200 %, else -50, at least 25 %.
int FasterSpeed(int percent);
int SlowerSpeed(int percent);

class VideoPlayer : public PlayerFrame, private VcdPlayback
{
    Q_OBJECT
public:
    // Load sources.
    static constexpr int kLoadAlbum = 0;
    static constexpr int kLoadVideoCd = 1;
    static constexpr int kLoadPendingFile = 2;

    VideoPlayer(PlayerHost& host, QWidget* parent);
    ~VideoPlayer() override;

    VideoViewer* viewer() const { return m_viewer.get(); }
    DigitDisplay* speedDisplay() const { return m_speedDisplay; }
    int speed() const { return m_speed; }
    int sizeMode() const { return m_sizeMode; }
    int loadSource() const { return m_loadSource; }
    bool videoCdMode() const { return m_loadSource == kLoadVideoCd; }
    bool discPresent() const { return m_discPresent; }
    // The Video CD reader while it has the disc open in Video CD mode, else null.
    const VcdReader* vcdReader() const { return ReaderActive() ? m_vcd.get() : nullptr; }

    void SetSizeMode(int mode);
    void CycleSizeMode();
    // Only while playing; the display shows the percent, the engines get percent x 10.
    bool SetSpeed(int percent);
    void FrameStep(bool backward);
    // Command 5122: pause, take the picture, ask for a file, write it, play on. False when no
    // picture was taken or written.
    bool Capture();
    void ToggleVideoCdMode();
    void StartVideoCd();

    // Seams for tests: where a capture is written (the file dialog), and the speed menu.
    std::function<std::string(const std::string& suggested)> chooseCaptureFile;
    std::function<int(QMenu& menu, const QPoint& at)> popUpSpeedMenu;

    // The *.dat files of a disc's MPEGAV folder (any letter case), in name order.
    static std::vector<std::string> VideoCdDatFiles(const std::string& discFolder);
    // The folder a drive setting's disc is found in: the folder itself, or where the device is
    // mounted; "" when it is neither.
    static std::string DiscFolder(const std::string& drive);

protected:
    bool OwnsStartMode(int startMode) const override
    {
        // The Video CD start arrives as command 5169 from the main controller.
        return startMode == StartModeVideo;
    }
    UINT EmptyAlbumHintId() const override { return playertext::AddVideoFiles; }
    std::int32_t OpenTrack(int n) override;
    bool OnPlayerCommand(int id) override;
    // Open: a play list stands for its songs even when chosen alone; the album is the files'.
    QString OpenFilesFilter() const override;
    bool OpensOneListAsItIs() const override { return false; }
    void BeforePlayingOpenedFiles() override { m_loadSource = kLoadPendingFile; }
    bool OnPlayerMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void OnPlayerTick() override;
    void OnTick() override;
    LRESULT OnComponentCommand(LPARAM lParam) override;
    LRESULT onMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void ShowSpeedMenu();
    void HideViewer();
    void OnViewerInput(WPARAM kind, LPARAM value);
    void ApplySizeMode();
    void FitViewer();
    void PlaceMovie();
    void LoadAlbum();
    void Configure();
    bool Playing() const { return m_state == kModePlaying; }
    // Opens a film (a path, or a kolvovcd: URI) on the viewer through the engines for
    // `kindName` (the name its kind is told by); the open result.
    std::int32_t OpenFilm(const std::vector<std::string>& candidates, const std::string& kindName);
    // The end of the play sequence: back to the album, stopped, the disc closed.
    void LeaveVideoCd();
    bool ReaderActive() const { return videoCdMode() && m_vcd && m_vcd->isOpen(); }
    // Gives the reader a song number or a navigation command and follows what it did.
    int ReaderCommand(int n);
    void ReaderPlayPause();

    // The reader's playback: the viewer and the open session.
    bool playUnit(const VcdUnit& unit, std::string* info) override;
    void stopUnit() override;
    void closeUnit() override;
    void pauseUnit() override;
    void resumeUnit() override;
    int unitMode() override;
    std::int64_t unitPositionMs() override;
    void setHotAreas(const std::vector<VcdHotArea>& areas) override;

    std::unique_ptr<VideoViewer> m_viewer;
    DigitDisplay* m_speedDisplay = nullptr;
    int m_speed = 100;
    int m_sizeMode = 1;
    int m_loadSource = kLoadAlbum;
    bool m_discPresent = false;
    std::unique_ptr<VcdReader> m_vcd;
    bool m_unitStopped = false; // the reader stopped the unit (a play list's playing time)
};
