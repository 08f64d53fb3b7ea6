#pragma once
// The program's shared vocabulary: the numbers every layer speaks with. Component indexes,
// start modes, player and engine modes, the tick timer id, every window message the program
// defines (ours and the engines'), and the command ids the components share. Each number is
// defined here once; a second definition elsewhere is a bug. Message numbers are checked for
// collisions at compile time, so a new message cannot silently reuse another's number.

#include "platform/messages.h"

#include <array>
#include <cstdint>

// Component index: the component's toggle command minus 5800.
enum ComponentIndex : int {
    ComponentEffector = 0,
    ComponentMixer = 1,
    ComponentCd = 2,
    ComponentAudio = 3,
    ComponentMidi = 4,
    ComponentVideo = 5,
    ComponentRemote = 6,
    ComponentCount = 7,
};

// What to play at start (the command line's start mode). A player acts on the start modes
// it owns, which are not its component index: Video CD (2) is the video player's, not the
// CD Player's (index 2).
enum StartMode : int {
    StartModeNone = -1,
    StartModeAudioCd = 1,
    StartModeVideoCd = 2,
    StartModeAudio = 3,
    StartModeMidi = 4,
    StartModeVideo = 5,
    StartModeCd = 6, // whatever disc is in the drive; resolved at start
};

// Modes, as engines and the MCI report them, and the component states built on them.
constexpr int kModeNotReady = 524; // a component that is switched off
constexpr int kModeStopped = 525;
constexpr int kModePlaying = 526;
constexpr int kModeRecording = 527;
constexpr int kModeSeeking = 528;
constexpr int kModePaused = 529;
constexpr int kModeOpening = 530;

// The main controller's half-second tick, forwarded to every component and its display panel.
constexpr UINT kTickTimerId = 300;
constexpr int kTickMilliseconds = 500;

// Messages of the components (main controller <-> components, panels -> components).
constexpr UINT UM_COMPONENT_OFF = 0x6BC;
constexpr UINT UM_DISC_CHANGE = 0x6BD;
constexpr UINT UM_PLAY_SONG = 0x6C6;
constexpr UINT UM_CYCLE_PLAY_METHOD = 0x6C7;
constexpr UINT UM_CYCLE_REPEAT = 0x6C8;
constexpr UINT UM_CYCLE_TIME_DISPLAY = 0x6C9;
constexpr UINT UM_CYCLE_VIEWER_SIZE = 0x6CB;
constexpr UINT UM_REVERB_SPOT = 0x6CC;    // Sound Effector: wParam = room mode clicked
constexpr UINT UM_EQUALIZER_SPOT = 0x6CD; // Sound Effector: wParam = preset clicked
constexpr UINT UM_FX_SPOT = 0x6CE;        // Sound Effector: the F/X spot clicked
constexpr UINT UM_CONTROL_CLICK = 0x6D0;
constexpr UINT UM_GET_STATUS = 0x6E4;
constexpr UINT UM_COMMAND = 0x6E5;
constexpr UINT UM_GET_TITLES = 0x6E6;
constexpr UINT UM_SELECT_ALBUM = 0x6E7;
constexpr UINT UM_SETTINGS_CHANGED = 0x6F8;
constexpr UINT UM_SPECTRUM_VIEWER_CLOSED = 0x702; // to the remote control
// The video viewer's input to the Digital Video Player: wParam 1 with lParam -5 Pause,
// -4 Previous, -3 Next, -2 Stop, -1 Play/Pause or a song number; wParam 33 with a key code.
constexpr UINT UM_VIEWER_INPUT = 0x70C;
// The remote control's own messages: its display's track number was clicked (0x6CA); make
// component wParam the target (0x6EE); switch component wParam with Power and make it the
// target (0x6EF).
constexpr UINT UM_REMOTE_QUICK_TRACK = 0x6CA;
constexpr UINT UM_REMOTE_SELECT = 0x6EE;
constexpr UINT UM_REMOTE_POWER_SELECT = 0x6EF;

// The mixer device's notices to its panel: a line or a control changed (also from elsewhere).
constexpr UINT MM_MIXM_LINE_CHANGE = 0x03D0;
constexpr UINT MM_MIXM_CONTROL_CHANGE = 0x03D1;

// Engine notifications, one per family. wParam = (cookie << 16) | event, lParam = value.
constexpr UINT kNotifyMidi = 0x798;
constexpr UINT kNotifyRealVideo = 0x7A2;
constexpr UINT kNotifyDirectShow = 0x7AC;
constexpr UINT kNotifyRealAudio = 0x7D4;
constexpr UINT kNotifyMpeg = 0x7DE;
constexpr UINT kNotifyCdReader = 0x7E8; // no cookie: wParam is the event

// The MIDI engines' karaoke events to the karaoke viewer: wParam = code (0 start, -1 and -2
// highlights, n > 0 a line), lParam = the record (engines/karaoke.h).
constexpr UINT UM_KARAOKE = 0x784;
// The karaoke viewer's own ten-second timer.
constexpr UINT kKaraokeTimerId = 100;

// The MCI's notice that a play asked to notify has ended.
constexpr UINT MM_MCINOTIFY = 0x03B9;

// Every message number the program dispatches, for the collision check below and for
// whoever needs to tell them apart.
inline constexpr std::array kAllMessages{
    WM_DESTROY,           WM_ENDSESSION,
    WM_COPYDATA,          WM_COMMAND,
    WM_SYSCOMMAND,        WM_TIMER,
    WM_HSCROLL,           WM_VSCROLL,
    WM_DROPFILES,         MM_MCINOTIFY,
    MM_MIXM_LINE_CHANGE,  MM_MIXM_CONTROL_CHANGE,
    UM_REVERB_SPOT,       UM_EQUALIZER_SPOT,
    UM_FX_SPOT,           UM_SPECTRUM_VIEWER_CLOSED,
    UM_COMPONENT_OFF,     UM_DISC_CHANGE,
    UM_PLAY_SONG,         UM_CYCLE_PLAY_METHOD,
    UM_CYCLE_REPEAT,      UM_CYCLE_TIME_DISPLAY,
    UM_CYCLE_VIEWER_SIZE, UM_CONTROL_CLICK,
    UM_GET_STATUS,        UM_COMMAND,
    UM_GET_TITLES,        UM_SELECT_ALBUM,
    UM_SETTINGS_CHANGED,  kNotifyMidi,
    kNotifyRealVideo,     kNotifyDirectShow,
    kNotifyRealAudio,     kNotifyMpeg,
    UM_VIEWER_INPUT,      kNotifyCdReader,
    UM_KARAOKE,           UM_REMOTE_QUICK_TRACK,
    UM_REMOTE_SELECT,     UM_REMOTE_POWER_SELECT,
};

constexpr bool allDistinct(const auto& values)
{
    for (std::size_t i = 0; i < values.size(); ++i)
        for (std::size_t j = i + 1; j < values.size(); ++j)
            if (values[i] == values[j])
                return false;
    return true;
}
static_assert(allDistinct(kAllMessages), "two messages share a number");

// The notification messages of the playing engines (not the CD reader's, which has no cookie).
constexpr bool isEngineNotification(UINT msg)
{
    return msg == kNotifyMidi || msg == kNotifyRealVideo || msg == kNotifyDirectShow ||
           msg == kNotifyRealAudio || msg == kNotifyMpeg;
}

// Commands the components share (WM_COMMAND ids; also UM_COMMAND's low word). A command id is
// also the string id of its tooltip.
namespace cmd {
constexpr int Play = 5104;
constexpr int Stop = 5102;
constexpr int Pause = 5103;
constexpr int Previous = 5107;
constexpr int Next = 5108;
constexpr int EditSongInformations = 5109;
constexpr int Repeat = 5112;
constexpr int Rewind = 5115;
constexpr int FastForward = 5116;
constexpr int PlayMethod = 5117;
constexpr int TimeDisplay = 5118;
constexpr int Open = 5119;
constexpr int PlayList = 5120;
constexpr int AlbumManagement = 5121;
constexpr int Record = 5122;
constexpr int Configure = 5142;
constexpr int Preferences = 5142;
constexpr int ControlPanel = 5151;
constexpr int QuickAlbumSelect = 5156;
constexpr int PlayCdTrack = 5158;
constexpr int VideoCdPlay = 5169;
constexpr int Exit = 5171;
constexpr int PlayPending = 5173;
constexpr int ExitAndShutDown = 5174;
constexpr int ExitAndSuspend = 5175;
constexpr int QuickTrackSelect = 5176;
constexpr int SaveStream = 5178;
constexpr int Volume = 5180;
constexpr int Timer = 5181;
constexpr int Lyric = 5184;
constexpr int CheckCdDrive = 5185;
constexpr int Power = 5700;
constexpr int MinimizeRestore = 5701;
constexpr int FirstToggle = 5800; // + component index
constexpr int About = 33077;

// The Mixer's and the master volume's commands (the remote control sends them too).
constexpr int Reset = 5123;
constexpr int VolumeDown = 5134;
constexpr int VolumeUp = 5135;
constexpr int ViewPlaybackMixer = 5143; // + view (0 playback, 1 recording, 2 other)
constexpr int MixerNext = 5147;
constexpr int MixerPrevious = 5148;
constexpr int Att = 5172;
constexpr int MixerFirstSwitch = 6700; // + column (0-5)
constexpr int MixerFirstVolume = 6500;
constexpr int MixerFirstBalance = 6600;

// The Sound Effector's commands.
constexpr int TimerDisplay = 5162; // the timer display's control id
constexpr int TimeIncrement = 5163;
constexpr int TimeDecrement = 5164;
constexpr int TimerOnOff = 5165;
constexpr int TimerPause = 5166;
constexpr int TimerStartPause = 5167;
constexpr int SpectrumModeSelect = 5177;
constexpr int FxModeUpper = 5182;
constexpr int FxModeLower = 5183;
constexpr int ReverbOnOff = 5640;
constexpr int ChorusOnOff = 5641;
constexpr int WideOnOff = 5642;
constexpr int FxOnOff = 5643;
constexpr int ReverbDepth = 5650; // slider ids: reverb, 3D, wide
constexpr int ChorusDepth = 5651;
constexpr int WideDepth = 5652;
constexpr int FirstTimerMenu = 33314; // the timer menu: 33314-33331

// The MIDI Player's tempo and key (the tempo and key displays take the ids of Fast and Key
// High for their clicks); the Digital Video Player's speed shares Slow and Fast.
constexpr int Slow = 5128;
constexpr int Fast = 5129;
constexpr int KeyHigh = 5160;
constexpr int KeyLow = 5161;

// The spectrum viewer and its menu.
constexpr int Menu = 5152;
constexpr int SpectrumWindow = 5157;
constexpr int Close = 33126;
constexpr int FirstSpectrumSize = 33134; // + size 0-3

// The Digital Video Player and its viewer.
constexpr int Capture = 5122; // the video player's use of the Record button
constexpr int FrameForward = 5130;
constexpr int FrameBackward = 5131;
constexpr int ViewerSize = 5150;   // the viewer's size mode, in turn
constexpr int SpeedDisplay = 5153; // the speed display's control id
constexpr int VideoCdMode = 5168;
constexpr int DriverConfiguration = 5179;
constexpr int FirstSpeedMenu = 33424; // 400, 300, 200, 150, 100, 75, 50, 25 %

// The remote control's commands and its menus.
constexpr int EnterNumber = 5126;
constexpr int ClearNumber = 5127;
constexpr int ChangeSize = 5136;
constexpr int FirstDigit = 5300;       // + digit 0-9
constexpr int FirstTargetMenu = 33065; // + target - 2 (targets 2-5)
constexpr int ShowHideRemote = 33069;
constexpr int RemoteAlwaysOnTop = 33076;
} // namespace cmd

// Stop with high word 1: the Stop one player sends the others before it plays.
constexpr LPARAM kStopFromOtherPlayer = 0x113EE;
